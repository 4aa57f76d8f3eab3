// What the window object keeps of the hands: the key map, the keys and MIDI notes held, the
// bellows, and the MIDI input's settings.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "input/hands.h"
#include "input/keymap.h"

namespace tastrello {

/// The highest controller number that can tell the bellows: 120 to 127 are channel mode
/// messages, not controllers.
constexpr int kLastBellowsController = 119;

struct HandInput {
  KeyMap keyMap;
  KeyPrints printed;                  ///< what the learner's layout prints on the keys
  Hands keys;                         ///< positions held on the computer keyboard
  std::vector<std::string> keysDown;  ///< claimed keys now held, to ignore their repeats

  // A MIDI instrument: the pitches held, newest last, and the button each sounds on (-1: none,
  // the pitch itself sounds).
  std::vector<int> pitches;
  std::map<int, int> pitchButtons;
  bool midiPush = false;
  std::optional<bool> controllerPush;  ///< the bellows as the instrument last said
  std::optional<int> lastButton;
  std::string midiInSetting;   ///< "MIDI-IN:": the input port's name ("" for none)
  int bellowsController = -1;  ///< "BELLOWS-CC:": the controller that tells the bellows
                               ///< (0..kLastBellowsController), -1 for none

  /// Takes a "BELLOWS-CC:" value: a controller 0..119, or empty for none. False, with the
  /// controller left as it was, for anything else.
  bool readBellowsController(const std::string& value);
};

}  // namespace tastrello
