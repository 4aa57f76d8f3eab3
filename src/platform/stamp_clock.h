// The moment a key went down, from the stamp the window system put on its event: milliseconds
// on the system's own clock, 32 bits wide (X11's server time, Windows' tick count). The event
// reaches the window's thread later, by however long the system and a busy thread took; the
// learner is judged by the stamp, moved onto the window object's clock.
#pragma once

#include <cstdint>

namespace tastrello {

class StampClock {
 public:
  /// The moment, on the clock read as `now` when the event is taken, at which the event stamped
  /// `stamp` happened. Never later than `now`.
  ///
  /// The distance between the two clocks is the least of (now - stamp) seen: the event that
  /// came quickest says it best, any later one only adds its delay. That least is let rise
  /// slowly (the two clocks may run at slightly different rates) and is learnt afresh when an
  /// event seems to have taken longer than any delay can (the system's clock was set back).
  double moment(std::uint32_t stamp, double now);

 private:
  static constexpr double kDrift = 1e-4;   // s a second: more than clock crystals drift apart
  static constexpr double kSetBack = 1.0;  // s: no event waits this long on a working machine
  bool started_ = false;
  std::uint32_t last_ = 0;    // the last stamp, to count its wraps
  std::int64_t stampMs_ = 0;  // the last stamp with its wraps counted
  double distance_ = 0;       // now - stamp of the quickest event, risen by the drift since
  double lastNow_ = 0;
};

}  // namespace tastrello
