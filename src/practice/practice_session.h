// A practice session: the chord waited for, the tries at it and the pass they are counted in,
// for practice that waits for the learner; and the opening of a pass for playing along, whose
// judge hears what was held during the count-in. It works on the window's practice state; the
// window shows what it says (colours, messages, the score) and keeps the history file.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "practice/practice.h"

namespace tastrello {

/// What a try at the chord waited for came to.
struct PracticeTry {
  /// Each button tried, as it is to the chord (Right, WrongDirection or WrongButton).
  std::vector<std::pair<int, Verdict>> colours;
  /// The verdict taken, when the try counts: something went down, or a wrong try was let go.
  std::optional<Verdict> verdict;
  /// With a wrong verdict: the buttons tried that are not the chord's (all tried when each is).
  std::vector<int> wrong;
};

class PracticeSession {
 public:
  /// Bound to nothing: `bind` gives it the state before it is used.
  PracticeSession() = default;
  explicit PracticeSession(PracticeState& state) : state_(&state) {}
  void bind(PracticeState* state) { state_ = state; }

  /// Opens a pass at event `first`, `now`; playing along hears chords `latencySeconds` late
  /// (the output's latency) and with the learner's own offset.
  void beginPass(int first, double now, double latencySeconds);
  /// Closes the pass open (nothing when none is): its record, the span's last event `last`, its
  /// time in tenths of a second, kept in the history and as the latest pass.
  std::optional<PassRecord> finishPass(double now, int last, const std::string& when);

  /// Waits for a chord of these buttons (treble or bass, others left out). False when none
  /// is left: a line that names no button is passed over as a rest is.
  bool waitFor(const std::vector<int>& buttons);
  /// The buttons held now from keys or a MIDI instrument; `pressed`: something went down
  /// (a release is judged only while a wrong try is corrected).
  PracticeTry held(const std::vector<int>& buttons, bool pressed);
  /// The pitches a MIDI instrument holds, each on the button it was placed on (-1: none), against
  /// the pitches of the chord waited for; the bellows counts when the instrument tells it.
  PracticeTry heldPitches(const std::vector<int>& wantedPitches, const std::vector<int>& pitches,
                          const std::vector<int>& buttons, std::optional<bool> controllerPush,
                          bool pressed);
  /// The next click begins a new try (the last try's buttons go dark first).
  bool freshTry() const { return state_->clicked.empty(); }
  /// A click on a button: the mouse holds nothing, so a wrong try ends with its click.
  PracticeTry clicked(int button);
  /// The chord was played: nothing is waited for until the next.
  void chordPlayed();
  /// Practice switched or stopped: no pass is open and nothing is waited for.
  void drop();

  bool waiting() const { return state_->waiting; }
  const std::vector<int>& wanted() const { return state_->wanted; }

 private:
  PracticeTry take(Verdict verdict, std::vector<std::pair<int, Verdict>> colours,
                   const std::vector<int>& held, bool counts);

  PracticeState* state_ = nullptr;
};

}  // namespace tastrello
