// Records and lessons as MIDI files and back. Export: each event one beat at the record's
// tempo, each row of buttons on a channel of its own, the bellows as a controller. Import:
// notes grouped into chords by onset, and buttons and bellows chosen for the whole piece by a
// shortest-path search over its events.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "exchange/midi_file.h"
#include "input/hands.h"
#include "sound/layout_format.h"

namespace tastrello {

/// Channels 1, 2 and 3 (0, 1, 2 on the wire) carry the buttons of rows 1, 2 and 3 (the
/// outer, middle and inner row: the column of a button's index); the bellows controller goes
/// out on channel 1 before the first chord and before each change of direction.
constexpr int kExportDivision = 480;

struct ExportSettings {
  int intervalMs = 550;       ///< one event, one beat
  int program = 22;           ///< the instrument, 1..128
  int bellowsController = 2;  ///< "BELLOWS-CC:" (0..119)
  std::string name;
};

/// The bytes of a format 1 file of the record's events (button lines or rest markers).
/// The controller's value is 127 for push and 0 for pull, as the input reads it.
std::string exportRecordToMidi(const std::vector<std::string>& buttonLines,
                               const ButtonNotes& notes, const ExportSettings& settings);

/// Each button's MIDI note in a layout; nothing where the layout holds no number.
ButtonNotes buttonNotesOf(const NoteLayout& layout);

/// The button and name lines of an imported chord, with the captions of the buttons.
std::pair<std::string, std::string> eventLines(const std::vector<int>& buttons,
                                               const std::array<std::string, kKeyCount>& captions);

/// A part of a file to import: a track, or a channel of a format 0 file.
struct MidiPart {
  int track = -1;    ///< -1: every track
  int channel = -1;  ///< -1: every channel
  int notes = 0;
  std::string label;  ///< "Track 2: Melody (120 notes)"
};

/// The parts worth offering when a file has several (each with notes); empty when one.
std::vector<MidiPart> midiParts(const MidiFileContent& file);

struct ImportedEvent {
  std::vector<int> buttons;  ///< empty: a rest
  bool operator==(const ImportedEvent&) const = default;
};

struct ImportResult {
  std::vector<ImportedEvent> events;
  std::vector<std::string> problems;  ///< pitches without a button, chords cut, events left out
  int bellowsChanges = 0;
};

/// Import tuning: notes starting within `chordWindow` ticks of a chord's first are in it.
struct ImportOptions {
  int maxEvents = 200;
  double chordWindowBeats = 1.0 / 16;
};

ImportResult importMidi(const MidiFileContent& file, const MidiPart& part, const ButtonNotes& notes,
                        const ImportOptions& options = {});

/// The costs of the fingering search, exposed for the tests that check its choices.
struct FingeringCosts {
  int reversal = 12;  ///< turning the bellows
  int jump = 1;       ///< per step of the hand between chords
  int spread = 1;     ///< per step between the buttons of one chord
  int longRun = 3;    ///< per event beyond `airEvents` in one direction
  int airEvents = 12;
};

/// The buttons for each chord of pitches (empty: a rest), chosen over the whole piece.
/// Pitches no button has are left out of their chord and listed in `missing` by event index.
std::vector<ImportedEvent> fingerChords(const std::vector<std::vector<int>>& chords,
                                        const ButtonNotes& notes,
                                        std::vector<std::pair<int, int>>& missing,
                                        const FingeringCosts& costs = {});

}  // namespace tastrello
