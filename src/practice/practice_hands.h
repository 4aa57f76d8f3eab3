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

#include "instrument/instrument.h"
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

/// The treble's buttons past the keyboard's 68 (rows past the third, or past a row's length in a
/// record file) count from here, by their place on the instrument: a row of up to 16 buttons,
/// each in both bellows directions.
constexpr int kFirstBesideButton = 500;
constexpr int kBesideRowButtons = 16;
constexpr int besideButton(int row, int number, bool push) {
  return kFirstBesideButton + 2 * ((row - 1) * kBesideRowButtons + number - 1) + (push ? 1 : 0);
}
constexpr bool isBesideButton(int button) {
  return button >= kFirstBesideButton && button < kFirstBesideButton + 2 * 5 * kBesideRowButtons;
}
constexpr int besideRowOf(int button) {
  return (button - kFirstBesideButton) / 2 / kBesideRowButtons + 1;
}
constexpr int besideNumberOf(int button) {
  return (button - kFirstBesideButton) / 2 % kBesideRowButtons + 1;
}
static_assert(kFirstBesideButton + 2 * 5 * kBesideRowButtons <= kFirstBassButton);
inline int besideButton(const ButtonAt& at) { return besideButton(at.row, at.number, at.push); }
inline ButtonAt besideAt(int button) {
  return {button % 2 == 1, besideRowOf(button), besideNumberOf(button)};
}

/// A treble button (0..67), one beside them or a bass button.
constexpr bool isPracticeButton(int button) {
  return (button >= 0 && button < 2 * kButtonsPerBlock) || isBesideButton(button) ||
         isBassButton(button);
}

/// Whether a button pushes: the keyboard's push block, or the odd numbers beside and on the bass.
constexpr bool pushesBellows(int button) {
  return isBesideButton(button) || isBassButton(button) ? button % 2 == 1
                                                        : button >= kButtonsPerBlock;
}

/// The same place in the other bellows direction, on either side.
constexpr int otherDirection(int button) {
  if (isBesideButton(button) || isBassButton(button)) return button ^ 1;
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
