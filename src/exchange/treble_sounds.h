// What a record's treble sounds, event by event, as the MIDI and the MusicXML export write it:
// the buttons of its record lines with the notes of the layout in force, and the treble buttons
// kept beside the record (rows past the third) with the notes of the instrument they are of.
#pragma once

#include <string>
#include <vector>

#include "input/hands.h"
#include "instrument/instrument.h"
#include "records/record_hands.h"

namespace tastrello {

/// A treble button an event sounds: its place and its MIDI note.
struct SoundingButton {
  ButtonAt at;
  int pitch = 0;
  bool operator==(const SoundingButton&) const = default;
};

/// An event's treble: the buttons that sound (the record line's first, in its order; notes
/// outside 0..127 left out) and the bellows all its buttons ask for (None for a rest).
struct EventTreble {
  std::vector<SoundingButton> sounds;
  Bellows bellows = Bellows::None;
};

/// The record's treble beside it: the buttons and the instrument they are of.
struct TrebleBeside {
  const RecordHands& hands;
  const Instrument& instrument;
};

/// Each event's treble, for the lines as the treble plays them (linesPlayedWithBeside; without
/// buttons beside, the record's own lines).
std::vector<EventTreble> trebleOfRecord(const std::vector<std::string>& buttonLines,
                                        const ButtonNotes& notes, const TrebleBeside* beside);

}  // namespace tastrello
