// Where the program's own reed sounds are found: the presets of its reed SoundFont
// (tastrello-reeds.sf2, written at build time by scripts/reed_font.py, which reads these
// numbers from here). The font is stacked over the General MIDI one, so its presets take the
// place of the General MIDI presets of the same bank and program and every other instrument
// stays the General MIDI font's.
#pragma once

namespace tastrello {

/// The accordion the program plays (instrument 22 in the panel's counting from 1): a reed at
/// pitch and a quieter tremolo reed beating a little above it.
constexpr int kAccordionProgram = 21;
/// The tango accordion (instrument 24): one dry reed at pitch.
constexpr int kTangoAccordionProgram = 23;

/// The left hand's sounds, in a bank of their own so that no General MIDI instrument the
/// learner can choose is replaced. Where the reed font is missing, FluidSynth (and a GS
/// synthesizer) plays the General MIDI preset of the same program from bank 0 instead: the
/// tuba for the Helikon bass, the accordion for the chords.
constexpr int kReedBassBank = 1;
/// The Helikon bass: one deep reed with a strong fundamental, for the bass buttons (MIDI
/// notes about 28 to 52).
constexpr int kHelikonProgram = 58;
/// The chord reeds of the left hand (MIDI notes about 48 to 64).
constexpr int kBassChordProgram = 21;

}  // namespace tastrello
