// Records and lessons as MIDI files and back. Export: each event one step of the record's grid
// at its tempo, with its meter, each row of buttons on a channel of its own, the bellows as a
// controller. Import: the notes of a part as a tune (exchange/tune.h), with the file's meter,
// tempo and, where it has them, bellows and rows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/midi_file.h"
#include "exchange/tune.h"
#include "input/hands.h"
#include "records/meter.h"
#include "records/record_format.h"
#include "records/record_hands.h"
#include "sound/layout_format.h"

namespace tastrello {

/// Channels 1, 2 and 3 (0, 1, 2 on the wire) carry the buttons of rows 1, 2 and 3 (the
/// outer, middle and inner row: the column of a button's index); the bellows controller goes
/// out on channel 1 before the first chord and before each change of direction.
constexpr int kExportDivision = 480;

/// The channel (on the wire) of the left hand's notes, in a track of their own.
constexpr int kBassChannel = 4;

/// The channel (on the wire) of a treble row's buttons, rows from 1: rows 1 to 4 on channels 1
/// to 4, row 5 on channel 6, past the left hand's.
constexpr int trebleChannelOf(int row) {
  return row <= 4 ? row - 1 : kBassChannel + row - 4;
}

/// The treble row (from 0) whose buttons a channel (on the wire) carries in the program's own
/// file; -1 for the left hand's and the others.
constexpr int trebleRowOfChannel(int channel) {
  for (int row = 1; row <= kMaxTrebleRows; ++row)
    if (trebleChannelOf(row) == channel) return row - 1;
  return -1;
}

struct ExportSettings {
  int intervalMs = 550;       ///< one step, when the meter gives no tempo
  int program = 22;           ///< the instrument, 1..128
  int bellowsController = 2;  ///< "BELLOWS-CC:" (0..119)
  std::string name;
};

/// The bytes of a format 1 file of the record's events (button lines or rest markers): each
/// event one step of the meter's grid, its tempo (or one step `intervalMs` long), its time
/// signature with the metronome's click on each step, and a pickup as a first bar of its own
/// length. The controller's value is 127 for push and 0 for pull, as the input reads it. The
/// tracks end after the last event, a closing rest included; only the first runs on to the
/// time signature after a pickup longer than the record.
std::string exportRecordToMidi(const std::vector<std::string>& buttonLines,
                               const ButtonNotes& notes, const Meter& meter,
                               const ExportSettings& settings);

/// The same with the buttons beside the record: each bass button's notes on kBassChannel for
/// its step, and the bellows controller also where a bass turns the bellows in a silence of the
/// treble; each treble button of the rows past the third (on its row's channel) with the chord
/// of its step, the instrument giving its note.
std::string exportRecordToMidi(const std::vector<std::string>& buttonLines,
                               const ButtonNotes& notes, const Meter& meter,
                               const ExportSettings& settings, const RecordHands& hands,
                               const Instrument& instrument);

/// Each button's MIDI note in a layout; nothing where the layout holds no number.
ButtonNotes buttonNotesOf(const NoteLayout& layout);

/// A part of a file to import: a track, or a channel of a format 0 file.
struct MidiPart {
  int track = -1;    ///< -1: every track
  int channel = -1;  ///< -1: every channel
  int notes = 0;
  std::string label;  ///< "Track 2: Melody (120 notes)", in the language asked
  /// 0..127: every track (or channel of a format 0 file) whose notes this instrument plays,
  /// together; -1: the track and channel above.
  int program = -1;
};

/// The parts worth offering when a file has several (each with notes); empty when one. The
/// tracks (or channels) of one instrument are one part: a tune a notation program split into
/// parts by channel (the export's rows) comes back whole.
std::vector<MidiPart> midiParts(const MidiFileContent& file,
                                UiLanguage language = UiLanguage::English);

/// The tune of a part of the file: its notes, its meter and tempo from the time signatures and
/// tempo events, its end where every track says where it ends, and, when the file carries the
/// bellows controller (as the program's own export does), the bellows from it, the rows
/// from their channels (trebleRowOfChannel), the left hand from kBassChannel (`Tune::bassNotes`) and its end
/// where the tracks that play end (a time signature after it is no silence of the record's).
Tune tuneOfMidi(const MidiFileContent& file, const MidiPart& part, const ImportOptions& options);

/// The part as a record (see importTune).
ImportResult importMidi(const MidiFileContent& file, const MidiPart& part, const ButtonNotes& notes,
                        const ImportOptions& options = {});

}  // namespace tastrello
