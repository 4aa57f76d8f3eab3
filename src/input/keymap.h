// The computer keyboard as the accordion: which key (by its place on the keyboard, named as on
// a US keyboard) plays which button, and which keys are the bellows, the commit and the rests.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "sound/buttons.h"
#include "shell/ui_texts.h"

namespace tastrello {

struct KeyMap {
  std::map<std::string, int> positions;  ///< key name -> position in the pull block (0..33)
  std::string bellows = "Space";         ///< held down: push
  std::string commit = "Return";         ///< while recording: take the chord
  std::string restPlay = "Z";            ///< while recording: a rest that rings on
  std::string restMute = "X";            ///< while recording: a silent rest
  bool operator==(const KeyMap&) const = default;
};

/// A line of a key map file that was skipped, and why; or, with line 0, a binding the map as
/// a whole leaves out.
struct KeyMapProblem {
  int line = 0;  ///< counted from 1; 0 for the map as a whole
  std::string reason;
  bool operator==(const KeyMapProblem&) const = default;
};

/// The largest key map read: a map of every key fits in a few kilobytes.
constexpr std::size_t kLargestKeyMap = 256 * 1024;

/// The key names a map may use: letters, digits, the punctuation keys of the three letter rows
/// and the number row, and a few others, as Qt names them (Q, 1, Semicolon, BracketLeft ...).
bool isKnownKeyName(std::string_view name);

/// Reads a key map file: "KEY=POSITION" lines, "BELLOWS=KEY", "COMMIT=KEY", "REST-PLAY=KEY",
/// "REST-MUTE=KEY"; lines starting with "#" and empty lines are comments. A bad line (unknown
/// key, position outside 0..33, no "=", a key that already plays a button, a role set twice)
/// is skipped and reported in `language`; what the file does not set keeps the defaults of
/// KeyMap (with no positions).
/// A key does one thing. The four roles come first, in the order above, whether the file sets
/// them or they keep their defaults: a line that gives a role's key to a button or to a later
/// role is skipped (a skipped role keeps its default; a role whose default is taken too has
/// no key, reported with line 0). Without this, Space=3 would leave Space the bellows and
/// Z=3 would take away the recording's rest.
KeyMap parseKeyMap(std::string_view bytes, std::vector<KeyMapProblem>& problems,
                   UiLanguage language = UiLanguage::English);

/// The map shipped as Data/Keymap.txt: three rows of the keyboard on the three rows of buttons.
KeyMap defaultKeyMap();

/// Each position's key name ("" where none), for showing the letters on the buttons.
std::vector<std::string> keyNamesByPosition(const KeyMap& map);

/// What the learner's keyboard layout prints on keys a map may name: the key's name (its place,
/// as on a US keyboard) -> the character on it unshifted, one Windows-1252 byte ("z" on the
/// place of Y of a German keyboard). A front end reads it from the system; keys it could not
/// read are missing, and show their US names.
using KeyPrints = std::map<std::string, std::string>;

/// Reads the "KEY=CHARACTER" lines a front end sends. A line naming a key no map may name, or
/// giving anything but one printable character, is left out.
KeyPrints parseKeyPrints(std::string_view lines);
/// The lines `parseKeyPrints` reads.
std::string keyPrintsText(const KeyPrints& prints);

}  // namespace tastrello
