// The computer keyboard as the accordion: which key (by its place on the keyboard, named as on
// a US keyboard) plays which button, and which keys are the bellows, the commit and the rests.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tastrello {

constexpr int kPullButtons = 34;  // positions 0..33; push adds 34

struct KeyMap {
  std::map<std::string, int> positions;  ///< key name -> position in the pull block (0..33)
  std::string bellows = "Space";         ///< held down: push
  std::string commit = "Return";         ///< while recording: take the chord
  std::string restPlay = "Z";            ///< while recording: a rest that rings on
  std::string restMute = "X";            ///< while recording: a silent rest
  bool operator==(const KeyMap&) const = default;
};

/// A line of a key map file that was skipped, and why.
struct KeyMapProblem {
  int line = 0;  ///< counted from 1
  std::string reason;
  bool operator==(const KeyMapProblem&) const = default;
};

/// The key names a map may use: letters, digits, the punctuation keys of the three letter rows
/// and the number row, and a few others, as Qt names them (Q, 1, Semicolon, BracketLeft ...).
bool isKnownKeyName(std::string_view name);

/// Reads a key map file: "KEY=POSITION" lines, "BELLOWS=KEY", "COMMIT=KEY", "REST-PLAY=KEY",
/// "REST-MUTE=KEY"; lines starting with "#" and empty lines are comments. A bad line (unknown
/// key, position outside 0..33, a key used twice, no "=") is skipped and reported; what the
/// file does not set keeps the defaults of KeyMap (with no positions).
KeyMap parseKeyMap(std::string_view bytes, std::vector<KeyMapProblem>& problems);

/// The map shipped as Data/Keymap.txt: three rows of the keyboard on the three rows of buttons.
KeyMap defaultKeyMap();

/// Each position's key name ("" where none), for showing the letters on the buttons.
std::vector<std::string> keyNamesByPosition(const KeyMap& map);

}  // namespace tastrello
