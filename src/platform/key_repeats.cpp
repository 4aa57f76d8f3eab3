#include "platform/key_repeats.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <algorithm>

namespace tastrello {

void RepeatPairs::keyEvent(bool press, unsigned keycode, std::uint32_t time) {
  const bool pending = !releases_.empty() && releases_.back().verdict == Verdict::Waiting;
  if (pending) {
    const Release& last = releases_.back();
    decide(press && last.keycode == keycode && last.time == time ? Verdict::Repeat
                                                                  : Verdict::LetGo);
  }
  if (press) return;
  releases_.push_back({keycode, time, Verdict::Waiting, ++echoesAsked_});
  if (releases_.size() > kKept) releases_.pop_front();
}

void RepeatPairs::echoed() {
  ++echoesAnswered_;
  // Whatever the server sent with the release came before this answer: it was not a press.
  if (!releases_.empty() && releases_.back().verdict == Verdict::Waiting &&
      releases_.back().echo <= echoesAnswered_)
    decide(Verdict::LetGo);
}

void RepeatPairs::decide(Verdict verdict) {
  releases_.back().verdict = verdict;
}

RepeatPairs::Verdict RepeatPairs::verdict(unsigned keycode, std::uint32_t time) const {
  // The newest of that key and time: a stamp comes round again only after 49.7 days.
  const auto found = std::find_if(releases_.rbegin(), releases_.rend(), [&](const Release& r) {
    return r.keycode == keycode && r.time == time;
  });
  return found == releases_.rend() ? Verdict::LetGo : found->verdict;
}

ServerKeyOrder::ServerKeyOrder(std::function<void()> decided) : decided_(std::move(decided)) {
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection) return;
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const xcb_screen_iterator_t screen = xcb_setup_roots_iterator(setup);
  if (!screen.rem) return;
  // A window never shown, whose only use is the echo: its property changes are ours to see.
  echoWindow_ = xcb_generate_id(connection);
  const std::uint32_t mask[] = {XCB_EVENT_MASK_PROPERTY_CHANGE};
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, echoWindow_, screen.data->root, 0, 0, 1, 1,
                    0, XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                    mask);
  xcb_flush(connection);
  connection_ = connection;
  QCoreApplication::instance()->installNativeEventFilter(this);
}

ServerKeyOrder::~ServerKeyOrder() {
  if (!connection_) return;
  QCoreApplication::instance()->removeNativeEventFilter(this);
  auto* connection = static_cast<xcb_connection_t*>(connection_);
  xcb_destroy_window(connection, echoWindow_);
  xcb_flush(connection);
}

void ServerKeyOrder::askEcho() {
  // Nothing appended to a property of our own window: no change, but the server tells it.
  auto* connection = static_cast<xcb_connection_t*>(connection_);
  xcb_change_property(connection, XCB_PROP_MODE_APPEND, echoWindow_, XCB_ATOM_WM_NAME,
                      XCB_ATOM_STRING, 8, 0, nullptr);
  xcb_flush(connection);
}

bool ServerKeyOrder::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  switch (event->response_type & 0x7F) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE: {
      const auto* key = static_cast<const xcb_key_press_event_t*>(message);
      const bool press = (event->response_type & 0x7F) == XCB_KEY_PRESS;
      pairs_.keyEvent(press, key->detail, key->time);
      if (!press) askEcho();
      break;
    }
    case XCB_PROPERTY_NOTIFY: {
      const auto* change = static_cast<const xcb_property_notify_event_t*>(message);
      if (change->window != echoWindow_) break;
      pairs_.echoed();
      decided_();
      return true;  // the echo is ours alone
    }
    default:
      break;
  }
  return false;  // Qt goes on with the event as ever
}

}  // namespace tastrello
