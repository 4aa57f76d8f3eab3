// The window variables of the instrument and its sound: the MIDI output's handle, the note and
// instrument of the next note, the note layout in force with its key table, and the keyboard's
// lit chord. The window object is built on them (it inherits them under their names).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "shell/colour.h"
#include "sound/layout_format.h"

namespace tastrello {

struct SoundVariables {
  std::uint32_t midiOutHandle = 0;
  int noteNumber = 0;
  int instrumentNumber = 22;
  std::string noteFileName = "Notes_G-C-F.txt";
  std::array<std::optional<std::string>, kKeyTableSize> keyNotes;
  int litKeyCount = 0;
  Colour keyIdleColor = kIdleKeyColour;
  Colour keyLitColor = kLitKeyColour;
  bool panelExpanded = false;
};

}  // namespace tastrello
