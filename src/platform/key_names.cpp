#include "platform/key_names.h"

#include <QMetaEnum>
#include <map>

namespace tastrello {

// Linux input event codes of the keys a key map may name (linux/input-event-codes.h).
const std::map<std::uint32_t, std::string>& evdevKeyNames() {
  static const std::map<std::uint32_t, std::string> names = [] {
    std::map<std::uint32_t, std::string> n;
    const char* numberRow[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "Minus", "Equal"};
    for (std::uint32_t i = 0; i < 12; ++i) n[2 + i] = numberRow[i];
    const char* topRow[] = {"Q", "W", "E", "R", "T",           "Y",
                            "U", "I", "O", "P", "BracketLeft", "BracketRight"};
    for (std::uint32_t i = 0; i < 12; ++i) n[16 + i] = topRow[i];
    const char* homeRow[] = {"A", "S", "D", "F",         "G",          "H",
                             "J", "K", "L", "Semicolon", "Apostrophe", "QuoteLeft"};
    for (std::uint32_t i = 0; i < 12; ++i) n[30 + i] = homeRow[i];
    const char* bottomRow[] = {"Z", "X", "C", "V", "B", "N", "M", "Comma", "Period", "Slash"};
    for (std::uint32_t i = 0; i < 10; ++i) n[44 + i] = bottomRow[i];
    n[14] = "Backspace";
    n[15] = "Tab";
    n[28] = "Return";
    n[29] = "Control";
    n[42] = "Shift";
    n[43] = "Backslash";
    n[54] = "Shift";
    n[56] = "Alt";
    n[57] = "Space";
    n[58] = "CapsLock";
    n[86] = "Less";    // the key beside the left Shift on ISO keyboards
    n[96] = "Return";  // the keypad's Enter
    return n;
  }();
  return names;
}

std::string physicalKeyName(std::uint32_t nativeScanCode, int qtKey, bool scanCodesAreEvdev) {
  if (scanCodesAreEvdev && nativeScanCode >= 8) {
    const auto it = evdevKeyNames().find(nativeScanCode - 8);
    if (it != evdevKeyNames().end()) return it->second;
  }
  if (qtKey == Qt::Key_Enter) return "Return";
  const char* name = QMetaEnum::fromType<Qt::Key>().valueToKey(qtKey);
  if (!name) return {};
  const std::string full = name;
  return full.rfind("Key_", 0) == 0 ? full.substr(4) : full;
}

}  // namespace tastrello
