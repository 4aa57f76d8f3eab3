// Which hands the learner practises on an instrument with a bass side: the right hand (the
// treble, the only choice without a bass side), the left hand (the bass side) or both; the
// program plays the hand the learner leaves out.
//
// Practice and playing along judge both sides as one chord. A bass button counts under a
// number of its own beside the treble's 0..67, one for each bellows direction of its place, so
// that the judges' rules (the right button, the same place in the other bellows direction, a
// wrong button; early, late, missed) hold for the bass unchanged.
#pragma once

#include <string>
#include <vector>

#include "sound/buttons.h"

namespace tastrello {

enum class PracticedHands { Right, Left, Both };

/// The first number of the bass buttons as practice counts them: far above the treble's.
constexpr int kFirstBassButton = 1000;

/// A bass place (0.., as the bass side numbers its buttons) in a bellows direction.
constexpr int bassButton(int place, bool push) {
  return kFirstBassButton + 2 * place + (push ? 1 : 0);
}
constexpr bool isBassButton(int button) { return button >= kFirstBassButton; }
constexpr int bassPlaceOf(int button) { return (button - kFirstBassButton) / 2; }
constexpr bool isPushBassButton(int button) { return (button - kFirstBassButton) % 2 == 1; }

/// A treble button (0..67) or a bass button.
constexpr bool isPracticeButton(int button) {
  return (button >= 0 && button < 2 * kButtonsPerBlock) || isBassButton(button);
}

/// The same place in the other bellows direction, on either side.
constexpr int otherDirection(int button) {
  if (isBassButton(button)) return bassButton(bassPlaceOf(button), !isPushBassButton(button));
  return button < kButtonsPerBlock ? button + kButtonsPerBlock : button - kButtonsPerBlock;
}

/// The bellows direction a chord of either side needs.
Bellows bellowsOfChord(const std::vector<int>& buttons);

class PracticeHands {
 public:
  /// The hands chosen; they count only while there is a bass side to play.
  PracticedHands chosen() const { return chosen_; }
  void choose(PracticedHands hands) { chosen_ = hands; }
  /// Whether the instrument in force has a bass side: without one the right hand is practised
  /// whatever was chosen, and the choice comes back with the next bass side.
  void bassSide(bool present) { bassSide_ = present; }

  /// The hands practised now.
  PracticedHands practised() const { return bassSide_ ? chosen_ : PracticedHands::Right; }
  bool learnerPlaysTreble() const { return practised() != PracticedHands::Left; }
  bool learnerPlaysBass() const { return practised() != PracticedHands::Right; }

  /// "PRACTICE-HANDS:": "RIGHT", "LEFT" or "BOTH", empty for the right hand. False, with the
  /// choice left as it was, for anything else.
  bool read(const std::string& value);
  std::string value() const;

  /// The chord the learner is to play: of an event's treble buttons (0..67) and bass buttons
  /// (as bassButton numbers them), those of the hands practised.
  std::vector<int> chord(const std::vector<int>& treble, const std::vector<int>& bass) const;
  /// What counts of what the learner holds: the treble buttons, and the bass places held, each
  /// sounding in the bellows' direction; a hand the program plays does not count.
  std::vector<int> held(const std::vector<int>& treble, const std::vector<int>& bassPlaces,
                        bool push) const;

 private:
  PracticedHands chosen_ = PracticedHands::Right;
  bool bassSide_ = false;
};

}  // namespace tastrello
