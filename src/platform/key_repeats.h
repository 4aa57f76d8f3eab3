// Which key releases an X server sent for the repeats of a key held down. Without detectable
// auto-repeat the server sends each repeat as a release and a press of the same key with the
// same server time, one right after the other; a release let go for real is followed by
// anything else. Whether the press came is known only once the server's next word has been
// read, and a busy window reads it whenever it gets to it: so the server is asked for an echo
// at each release, and the answer comes after whatever the server sent with the release.
#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <deque>
#include <functional>

namespace tastrello {

/// The server's key events in the order the server sent them, and the echoes asked for at its
/// releases: which release was half of a repeat.
class RepeatPairs {
 public:
  enum class Verdict {
    Waiting,  ///< nothing from the server read since the release yet
    Repeat,   ///< the press of the same key with the same time came right after it
    LetGo,    ///< something else came first, or the echo did: the key was let go
  };

  /// A key event the server sent. A release waits for the next one (or the echo asked for
  /// with it); every other event decides the release before it.
  void keyEvent(bool press, unsigned keycode, std::uint32_t time);
  /// The answer to the echo asked for at the oldest release still unanswered: the server has
  /// nothing more to send from before it.
  void echoed();
  /// What the release of `keycode` at `time` was. A release the server was not seen sending
  /// (one Qt made up, or long forgotten) is let go: nothing would ever decide it.
  Verdict verdict(unsigned keycode, std::uint32_t time) const;

 private:
  struct Release {
    unsigned keycode;
    std::uint32_t time;
    Verdict verdict;
    std::uint64_t echo;  ///< the echo asked for with it
  };
  void decide(Verdict verdict);

  static constexpr std::size_t kKept = 64;  // far more than a window ever lags behind
  std::deque<Release> releases_;  ///< the latest, newest last; only the newest may be waiting
  std::uint64_t echoesAsked_ = 0;
  std::uint64_t echoesAnswered_ = 0;
};

/// On Qt's own connection to an X server: sees the server's key events before Qt makes them
/// into QKeyEvents, and asks for the echo at each release (a property of a window of its own
/// touched without a change, which the server answers with a PropertyNotify in order with
/// every other event). `decided` is called on the window's thread when an echo came back (a
/// release decided by a key event is followed by that event's own QKeyEvent). `active()` is
/// false off X11 (offscreen, Wayland, Windows): nothing is watched there.
class ServerKeyOrder : public QAbstractNativeEventFilter {
 public:
  explicit ServerKeyOrder(std::function<void()> decided);
  ~ServerKeyOrder() override;
  ServerKeyOrder(const ServerKeyOrder&) = delete;
  ServerKeyOrder& operator=(const ServerKeyOrder&) = delete;

  bool active() const { return connection_ != nullptr; }
  RepeatPairs::Verdict verdict(unsigned keycode, std::uint32_t time) const {
    return pairs_.verdict(keycode, time);
  }

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  void askEcho();

  std::function<void()> decided_;
  RepeatPairs pairs_;
  void* connection_ = nullptr;  ///< xcb_connection_t, kept out of this header
  std::uint32_t echoWindow_ = 0;
};

}  // namespace tastrello
