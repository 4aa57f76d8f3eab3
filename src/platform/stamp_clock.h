// The moment an input event happened, from the stamp the system put on it, moved onto the
// window object's clock: a key's milliseconds on the window system's own clock, 32 bits wide
// (X11's server time, Windows' tick count), or the time RtMidi gives a MIDI message. The event
// reaches the window's thread later, by however long the system and a busy thread took; the
// learner is judged by the stamp.
#pragma once

#include <cstdint>

namespace tastrello {

class StampClock {
 public:
  /// The moment, on the clock read as `now` when the event is taken, at which the event stamped
  /// `stamp` (milliseconds, wrapping at 32 bits) happened. Never later than `now`.
  ///
  /// The distance between the two clocks is the least of (now - stamp) seen: the event that
  /// came quickest says it best, any later one only adds its delay. That least is let rise
  /// slowly (the two clocks may run at slightly different rates) and is learnt afresh when an
  /// event seems to have taken longer than any delay can (the system's clock was set back).
  double moment(std::uint32_t stamp, double now);
  /// The same for a stamp in seconds on a clock that does not wrap.
  double momentOfSeconds(double stamped, double now);

 private:
  static constexpr double kDrift = 1e-4;   // s a second: more than clock crystals drift apart
  static constexpr double kSetBack = 1.0;  // s: no event waits this long on a working machine
  bool wrapping_ = false;     // a 32-bit stamp was seen
  std::uint32_t last_ = 0;    // the last stamp, to count its wraps
  std::int64_t stampMs_ = 0;  // the last stamp with its wraps counted
  bool started_ = false;
  double distance_ = 0;  // now - stamp of the quickest event, risen by the drift since
  double lastNow_ = 0;
};

/// The moments of the messages of one MIDI input port. RtMidi stamps each message with the
/// seconds since the message before it, from the MIDI system's own clock (the ALSA sequencer
/// queue's time as the message arrived, JACK's time of the cycle that brought it), and the
/// first message since the port opened with 0. Their sum places each message on that clock,
/// counted from the first; a port opened again counts on a clock of its own from its first.
class MidiMoments {
 public:
  /// The moment of a message RtMidi stamped `sinceLast`, taken at `now`. Every message RtMidi
  /// hands over must be told, those passed on or not: each one's time counts for the next.
  double moment(double sinceLast, double now);
  /// The port was opened (again): its next message is its first.
  void restart() { *this = MidiMoments(); }

 private:
  double stamped_ = 0;  ///< the last message's place on the port's clock
  StampClock clock_;
};

}  // namespace tastrello
