// The 68 buttons as records number them, and the bellows direction they need: the one place
// where the keyboard's geometry is worked out.
#pragma once

#include <cstdint>
#include <string>

namespace tastrello {

/// Buttons 0-33 sound pulling (the left block), 34-67 pushing: the same places, 34 apart.
constexpr int kButtonsPerBlock = 34;

/// The bellows direction a chord needs: pull, push, or both at once (which no chord can have).
enum class Bellows : std::uint8_t { None, Pull, Push, Both };

inline bool isPushButton(int button) {
  return button >= kButtonsPerBlock;
}

/// A button's place: its row (1 to 3: the left, middle and right column of its block) and its
/// number in the row from the top. In a block a button's index is 3 x (number - 1) + (row - 1), except the last
/// (33), the twelfth button of the middle row.
struct ButtonPlace {
  bool push = false;
  int row = 1;
  int number = 1;
  bool operator==(const ButtonPlace&) const = default;
};

constexpr ButtonPlace placeOf(int button) {
  const int place = button % kButtonsPerBlock;
  const bool last = place == kButtonsPerBlock - 1;
  return {button >= kButtonsPerBlock, last ? 2 : place % 3 + 1, last ? 12 : place / 3 + 1};
}

/// A button as a field of a record's button line: two digits and a slash ("07/").
inline std::string buttonField(int button) {
  return std::string(1, char('0' + button / 10 % 10)) + char('0' + button % 10) + "/";
}

}  // namespace tastrello
