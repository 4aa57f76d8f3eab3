// Replay: where a replay stands in the loaded record and what each step of it is. It works on
// the window's replay variables (the loop mode, the position, the direction, the tables of
// events) and keeps the count-in of its own; the window turns each step into sound, markers and
// the practice that goes with it.
#pragma once

#include <array>
#include <string>
#include <utility>

#include "replay/replay_variables.h"

namespace tastrello {

/// What one step of replay is.
enum class ReplayStepKind {
  Quiet,        ///< a step counted in before the span, or outside the tables: nothing happens
  DryRunDone,   ///< the dry run of a load has walked the whole record and stands at its start
  PassEnds,     ///< the span's last event is behind: a pass is over
  TurnsBack,    ///< going backwards, the span's start was reached: forwards from the next step
  Chord,        ///< an event with buttons
  RingingRest,  ///< a rest that lets the notes ring on
  SilentRest,   ///< a rest that silences them
};

/// How a replay runs through its span.
struct ReplayRules {
  int first = 1, last = 1;  ///< the span's events (the section, or the whole record)
  bool waits = false;       ///< practice that waits for the learner: forwards only, passes scored
  bool playsAlong = false;  ///< playing along: passes scored, each after a count-in
};

/// One step, as `Replay::advance` found it.
struct ReplayStep {
  ReplayStepKind kind = ReplayStepKind::Quiet;
  int event = 0;               ///< the event reached (Chord and rests)
  bool countInRan = false;     ///< the count-in ran down by one with this step
  bool passBegins = false;     ///< a scored pass begins with this event
  bool countsInAgain = false;  ///< PassEnds while playing along: the next pass comes after a count-in
};

class Replay {
 public:
  /// Bound to nothing: `bind` gives it the variables before it is used.
  Replay() = default;
  explicit Replay(ReplayVariables& variables) : variables_(&variables) {}
  /// Works on these variables from now on (the window's own, after a copy of the window); its
  /// count-in stays.
  void bind(ReplayVariables* variables) { variables_ = variables; }

  /// One step forwards or backwards. A chord's buttons and names are left in the variables'
  /// chordButtons and chordNames (fields 1..4).
  ReplayStep advance(const ReplayRules& rules);
  /// Counts in `steps` steps before the span's first event and goes forwards from there.
  void countIn(int steps, int first);
  /// Stops: the next start begins before the first event, forwards, and counts in afresh.
  void stop();
  /// Forgets a count-in under way.
  void endCountIn() { countIn_ = 0; }

  /// Steps left before the first event of a replay started afresh.
  int countInLeft() const { return countIn_; }

 private:
  ReplayStep passOver(const ReplayRules& rules);
  void readChord(int event);

  ReplayVariables* variables_ = nullptr;
  int countIn_ = 0;
};

/// The buttons and names of an event's line pair, fields 1..4 (index 0 unused): a field without
/// a number reads as button 0 (its name, empty, says it plays nothing).
std::pair<std::array<int, 5>, std::array<std::string, 5>> chordOfLines(const std::string& buttons,
                                                                      const std::string& names);

}  // namespace tastrello
