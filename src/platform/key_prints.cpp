#include "platform/key_prints.h"

#include <QtGui/qguiapplication_platform.h>

#include <QGuiApplication>
#include <QString>
#include <memory>

#include "platform/key_names.h"
#include "shell/text.h"

// Last: Xlib's headers define macros (None, Bool, Status ...) that other headers use as names.
#include <X11/XKBlib.h>
#include <xkbcommon/xkbcommon.h>

namespace tastrello {

namespace {

/// The accent a dead key puts on the next letter, as the key prints it.
char32_t deadKeyAccent(std::uint32_t keysym) {
  switch (keysym) {
    case XKB_KEY_dead_grave:
      return U'`';
    case XKB_KEY_dead_acute:
      return U'\u00B4';
    case XKB_KEY_dead_circumflex:
      return U'^';
    case XKB_KEY_dead_tilde:
      return U'~';
    case XKB_KEY_dead_macron:
      return U'\u00AF';
    case XKB_KEY_dead_diaeresis:
      return U'\u00A8';
    case XKB_KEY_dead_cedilla:
      return U'\u00B8';
    case XKB_KEY_dead_abovering:
      return U'\u02DA';
    case XKB_KEY_dead_caron:
      return U'\u02C7';
    default:
      return 0;
  }
}

struct KeyboardDeleter {
  void operator()(XkbDescPtr keyboard) const { XkbFreeKeyboard(keyboard, 0, True); }
};

}  // namespace

std::string printedCharacter(std::uint32_t keysym) {
  char32_t c = deadKeyAccent(keysym);
  if (c == 0) c = xkb_keysym_to_utf32(keysym);
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return {};  // a control key prints nothing
  return QString::fromUcs4(&c, 1).toStdString();
}

std::optional<KeyPrints> keyPrintsOfTheServer() {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  Display* display = x11 ? x11->display() : nullptr;
  if (!display) return std::nullopt;
  // Read afresh each time: Xlib's own copy of the keymap follows changes only through events,
  // and Qt takes the connection's events itself.
  const std::unique_ptr<XkbDescRec, KeyboardDeleter> keyboard(
      XkbGetMap(display, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd));
  XkbStateRec state{};
  if (!keyboard || XkbGetState(display, XkbUseCoreKbd, &state) != Success) return std::nullopt;
  KeyPrints prints;
  for (const auto& [evdev, name] : evdevKeyNames()) {
    const unsigned keycode = evdev + 8;
    if (keycode < keyboard->min_key_code || keycode > keyboard->max_key_code) continue;
    const int groups = XkbKeyNumGroups(keyboard.get(), keycode);
    if (groups == 0) continue;
    // A key with fewer groups than the one in force wraps around, as the server does unless
    // told otherwise.
    const KeySym keysym = XkbKeySymEntry(keyboard.get(), keycode, 0, state.group % groups);
    const auto printed = utf8ToCp1252(printedCharacter(static_cast<std::uint32_t>(keysym)));
    if (printed && printed->size() == 1) prints[name] = *printed;
  }
  return prints;
}

}  // namespace tastrello
