// Playing along: the record runs at its tempo and does not wait; each chord the learner plays is
// judged against the moment it was due: on time, early or late by how many milliseconds, a
// wrong button, the wrong bellows direction, missed, or (a chord held through ringing rests)
// let go too early. Plain data and pure functions; the window object feeds it the moments.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tastrello {

/// A chord of the record as replay plays it: when it sounds and how long it is held.
struct ChordDue {
  int event = 0;             ///< in the record, from 1
  double at = 0;             ///< the moment it sounds (seconds on the window object's clock)
  double until = 0;          ///< the moment its hold ends (the next event that is no ringing rest)
  std::vector<int> buttons;  ///< 0..67
  int steps = 1;             ///< steps it lasts: held through ringing rests when more than one
  bool operator==(const ChordDue&) const = default;
};

enum class Timing : unsigned char {
  OnTime,          ///< the whole chord, within the window around its moment
  Early,           ///< the whole chord, before the window
  Late,            ///< the whole chord, after the window
  WrongButton,     ///< a button the chord does not have, in its time
  WrongDirection,  ///< the chord's place in the other bellows direction
  Missed,          ///< nothing of it in its time
  LetGoEarly,      ///< played, then let go before its hold ended
};

struct TimedVerdict {
  int event = 0;
  Timing timing = Timing::Missed;
  int ms = 0;  ///< Early/Late/OnTime: the deviation (negative: early); LetGoEarly: how much
  bool operator==(const TimedVerdict&) const = default;
};

/// The figures of a pass played along.
struct TimingScore {
  int chords = 0;
  int onTime = 0, early = 0, late = 0, missed = 0;
  int wrongButtons = 0, wrongDirections = 0, letGoEarly = 0;
  int meanMs = 0;    ///< the mean deviation of the chords played right (early negative)
  int spreadMs = 0;  ///< their standard deviation
  bool operator==(const TimingScore&) const = default;
  /// The share of the chords on time, in percent.
  int onTimePercent() const { return chords > 0 ? (onTime * 100 + chords / 2) / chords : 0; }
  bool clean() const { return chords > 0 && onTime == chords && letGoEarly == 0; }
};

/// Counts the verdicts of a pass.
TimingScore scoreOf(const std::vector<TimedVerdict>& verdicts);

class PlayAlongJudge {
 public:
  /// `windowMs`: how far from its moment a chord is still on time. `offsetSeconds`: when the
  /// learner's playing arrives after a chord's moment when it is right (the latency the output
  /// reports, and the learner's own offset from the tap calibration).
  PlayAlongJudge(int windowMs = 80, double offsetSeconds = 0);

  /// A chord is due at `due.at`: replay has just handed it over.
  void expect(const ChordDue& due);
  /// The buttons held changed at `now`: `held` are the buttons held after the change.
  void held(double now, const std::vector<int>& held);
  /// The verdicts that are final at `now`, in the order of their chords. A chord played right
  /// is judged at once; one not played right, once its time is past; a held chord's hold, when
  /// it is let go early or its hold has ended.
  std::vector<TimedVerdict> judge(double now);
  /// Whether chords are still to be judged (their time or hold not yet over).
  bool pending() const { return !open_.empty(); }
  /// Drops every chord still open (replay stopped).
  void clear() {
    open_.clear();
    loose_.clear();
    lastExpected_.reset();
  }

  int windowMs() const { return windowMs_; }

 private:
  struct Open {
    ChordDue due;
    double expected = 0;       ///< when the learner's chord should arrive
    double earliest = 0;       ///< a press before this belongs to the chord before
    double latest = 0;         ///< after this the chord is missed
    std::vector<int> pressed;  ///< its buttons pressed in its time
    bool played = false;       ///< all of it held at once
    bool onsetJudged = false;  ///< its onset's verdict given
    bool wrongGiven = false;   ///< a wrong verdict given (once a chord)
    double playedAt = 0;
    bool holdOver = false;
  };

  /// A change of the buttons held that no open chord took: the next chord expected takes it
  /// when it falls in that chord's reach (a learner early by more than replay's lead), also
  /// when its buttons were let go again before that chord was handed over.
  struct Change {
    double at = 0;
    std::vector<int> pressed, released;
    std::vector<int> held;  ///< the buttons held just after it
  };

  /// The open chord a press at `now` belongs to (the one whose expected moment is nearest).
  Open* chordFor(double now);
  void keepLoose(Change change);
  void takeLoose(Open& chord);
  /// Presses at `at` on `chord`; `held` are the buttons held just after them.
  void press(Open& chord, double at, const std::vector<int>& pressed, const std::vector<int>& held);
  /// Buttons let go at `at`: a played chord that rings on is judged for its hold.
  void letGo(Open& chord, double at, const std::vector<int>& released);

  int windowMs_;
  double offset_;
  std::vector<Open> open_;
  std::optional<double> lastExpected_;  ///< the moment of the chord expected last
  std::vector<int> held_;
  std::vector<Change> loose_;
  std::vector<TimedVerdict> ready_;
};

/// A pass played along as a line of the history: "PLAY;2026-12-09 18:00;bpm=80;section=1-12;
/// chords=10;ontime=8;early=1;late=0;missed=1;buttons=0;directions=0;short=0;mean=-12;spread=20;
/// window=80". Whole numbers only, so that no locale changes it.
struct PlayAlongPass {
  std::string when;
  int bpm = 0;
  int first = 1, last = 1;
  TimingScore score;
  int windowMs = 80;
  bool operator==(const PlayAlongPass&) const = default;
};
std::string formatPlayAlongPass(const PlayAlongPass& pass);
/// Nothing when the line is no valid PLAY line.
std::optional<PlayAlongPass> parsePlayAlongPass(std::string_view line);

/// The learner's own offset from a tap calibration: the median of each tap's distance from the
/// click nearest it (taps further than half a beat from every click are left out). Nothing when
/// fewer than half the clicks got a tap.
std::optional<double> tapOffset(const std::vector<double>& clicks, const std::vector<double>& taps,
                                double beatSeconds);

}  // namespace tastrello
