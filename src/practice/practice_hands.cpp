#include "practice/practice_hands.h"

namespace tastrello {

namespace {

constexpr struct {
  PracticedHands hands;
  const char* value;
} kValues[] = {{PracticedHands::Right, "RIGHT"},
               {PracticedHands::Left, "LEFT"},
               {PracticedHands::Both, "BOTH"}};

}  // namespace

Bellows bellowsOfChord(const std::vector<int>& buttons) {
  bool pull = false, push = false;
  for (int button : buttons) {
    if (!isPracticeButton(button)) continue;
    (pushesBellows(button) ? push : pull) = true;
  }
  if (pull && push) return Bellows::Both;
  if (pull) return Bellows::Pull;
  return push ? Bellows::Push : Bellows::None;
}

bool PracticeHands::read(const std::string& value) {
  if (value.empty()) {
    chosen_ = PracticedHands::Right;
    return true;
  }
  for (const auto& entry : kValues) {
    if (value != entry.value) continue;
    chosen_ = entry.hands;
    return true;
  }
  return false;
}

std::string PracticeHands::value() const {
  for (const auto& entry : kValues)
    if (entry.hands == chosen_) return entry.value;
  return "";
}

std::vector<int> PracticeHands::chord(const std::vector<int>& treble,
                                      const std::vector<int>& bass) const {
  std::vector<int> buttons;
  if (learnerPlaysTreble()) buttons = treble;
  if (learnerPlaysBass()) buttons.insert(buttons.end(), bass.begin(), bass.end());
  return buttons;
}

std::vector<int> PracticeHands::held(const std::vector<int>& treble,
                                     const std::vector<int>& bassPlaces, bool push) const {
  std::vector<int> buttons;
  if (learnerPlaysTreble()) buttons = treble;
  if (learnerPlaysBass())
    for (int place : bassPlaces) buttons.push_back(bassButton(place, push));
  return buttons;
}

}  // namespace tastrello
