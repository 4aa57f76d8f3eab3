// A tune read from a file (MIDI or MusicXML), made into a record: its notes laid on the grid of
// the record (quarters, eighths or sixteenths, whichever places them with the least needless
// detail), held notes as ringing rests and silences as silent rests, and buttons and bellows
// chosen for the tuning in force by a shortest-path search. Only as much of the tune as a
// record holds is laid out and fingered, so a huge file costs no more than a short one.
// Plain data and pure functions; what went wrong comes back as structured notes that the
// window object and the converter put into words.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "input/hands.h"
#include "instrument/instrument.h"
#include "records/meter.h"
#include "records/record_hands.h"
#include "shell/ui_texts.h"
#include "sound/layout_format.h"

namespace tastrello {

/// A note as the file gives it, in ticks (of `Tune::division` a quarter note).
struct TuneNote {
  long long tick = 0;
  long long length = 0;
  int pitch = 0;
  int row = -1;  ///< 0..4: the row of buttons the file puts it on, from 0; -1: any
  bool operator==(const TuneNote&) const = default;
};

/// Why something of the tune was changed or left out, or what the import decided; the window
/// object and the converter say it in the learner's language (`describe`).
struct ImportNote {
  enum class Kind : std::uint8_t {
    NoButton,      ///< `note` has no button in either direction; left out
    NoButtonPush,  ///< `note` has no button pushing (the chord's direction); left out
    NoButtonPull,  ///< the same pulling
    ChordCut,      ///< a chord of `count` notes; the four highest kept
    Merged,        ///< notes less than a step apart became one chord (`count` times in all)
    RecordFull,    ///< the tune goes on; a record holds `count` events, `other` notes left out
    Grid,          ///< the grid chosen (`count` steps a beat), largest shift `other` ms
    TempoChanges,  ///< the tempo changes `count` times; the first kept (`other` per minute)
    MeterChanges,  ///< the time signature changes `count` times; the first kept
    MeterNotKept,  ///< the time signature `note` has no bar of whole quarters: 4/4 used
    PartialBar,    ///< a bar too short or too long for its time signature, read as it is
  };
  Kind kind = Kind::NoButton;
  long long bar = 0;  ///< where (0: the pickup; -1: nowhere in particular)
  int beat = 0;       ///< 1.. within the bar
  std::string note;   ///< a note's name as the layout names it, or a time signature
  long long count = 0;
  long long other = 0;
  bool operator==(const ImportNote&) const = default;
};

/// The note in words, in the language: "bar 3, beat 2: g#1 has no button in either
/// direction; left out".
std::string describe(const ImportNote& note, UiLanguage language);

/// A chord symbol of the tune (MusicXML's <harmony>): where it starts, its root's pitch class
/// (0 = C ... 11 = H; -1: no chord from here on), and whether its triad is minor.
struct TuneHarmony {
  long long tick = 0;
  int root = 0;
  bool minor = false;
  bool operator==(const TuneHarmony&) const = default;
};

/// A tune to import: its notes in order of onset, and what the file says of its time and of
/// the bellows.
struct Tune {
  int division = 480;           ///< ticks per quarter note
  std::vector<TuneNote> notes;  ///< in order of tick
  /// Changes of the bellows (tick, push) when the file says them, in order of tick; the
  /// search then keeps to them.
  std::vector<std::pair<long long, bool>> bellows;
  int beatsPerBar = 4;                     ///< quarter beats a bar
  long long pickupTicks = 0;               ///< the length of a shorter first bar (0: none)
  int stepsPerBeatAtLeast = 1;             ///< the file's own grid where it says one (1, 2 or 4)
  int tempo = 0;                           ///< quarter beats per minute (0: none given)
  long long microsPerQuarter = 500000;     ///< the first tempo, for shifts in milliseconds
  std::vector<ImportNote> notesOnReading;  ///< what the reader of the file decided
  /// Where the file says the tune ends: the silence after its last note up to there is part of
  /// the tune (a lesson's closing rest, the rest of a last bar). Nothing: it ends with its notes.
  std::optional<long long> endTick;
  std::vector<TuneHarmony> harmonies = {};  ///< the chord symbols, in order of tick
  std::vector<TuneNote> bassNotes = {};     ///< the left hand's notes, where the file has them
};

/// One event of an imported record.
struct ImportedEvent {
  std::vector<int> buttons;  ///< the buttons a record file numbers; none: a rest there
  bool ringing = false;      ///< a rest through which the chord before rings on
  /// Treble buttons a record file cannot hold (rows past the third), kept beside it: with
  /// none in `buttons` the record file has a silent rest where they play.
  std::vector<ButtonAt> beside = {};
  /// Whether the event is a chord, in the record file or beside it.
  bool plays() const { return !buttons.empty() || !beside.empty(); }
  bool operator==(const ImportedEvent&) const = default;
};

/// The record line of an event: its buttons ("01/44/") or the rest marker.
std::string buttonLineOf(const ImportedEvent& event);

struct ImportResult {
  std::vector<ImportedEvent> events;
  Meter meter;                    ///< beats a bar, the grid chosen, the pickup, the tempo
  std::vector<ImportNote> notes;  ///< what was left out, changed or decided
  int bellowsChanges = 0;         ///< among the events kept
  long long largestShiftMs = 0;   ///< the farthest an onset or end was moved onto the grid
  long long firstGridStep = 0;    ///< the step of the grid, from the tune's start, of event 1
};

/// The step of the imported record (from 0) that a tick of the tune falls on, as its notes
/// were placed; negative before the record's start.
long long recordStepOf(long long tick, const Tune& tune, const ImportResult& result);

struct ImportOptions {
  int maxEvents = 200;
  double chordWindowBeats = 1.0 / 16;  ///< notes starting this close to a chord's first join it
  int bellowsController = 2;           ///< the file's bellows controller ("BELLOWS-CC:")
  /// The buttons' captions, for naming notes as the layout names them (empty: names made
  /// in the same manner).
  std::array<std::string, kKeyCount> captions{};
};

/// The quarter beats of a bar of a time signature (`numerator` over 2 to the
/// `denominatorPower`): 6/8 is three, 2/2 four; nothing when the bar is no whole number of
/// quarters from 1 to 12 (7/8, 3/16).
std::optional<int> quarterBeatsPerBar(int numerator, int denominatorPower);

/// The tune as a record: laid on the grid, fingered, and cut at `maxEvents` events.
ImportResult importTune(const Tune& tune, const ButtonNotes& notes, const ImportOptions& options);

/// The same on an instrument of more rows than a record file holds: fingered over all its rows,
/// each chord split as splitChord splits it (the buttons a record file numbers in `buttons`, the
/// others `beside`), the notes no button has named as the instrument names its buttons.
ImportResult importTune(const Tune& tune, const Instrument& instrument, const ImportOptions& options);

/// What each button a record file numbers sounds on an instrument: its first three rows as far
/// as they reach (nothing for the places they lack). A layout whose notes these are is the
/// instrument's for the record file.
ButtonNotes recordNotesOf(const Instrument& instrument);

/// Whether a layout sounds as the instrument's first three rows, button for button where the
/// instrument has one: a record file of the instrument's may name that layout.
bool sameFirstRows(const Instrument& instrument, const ButtonNotes& layout);

/// The treble buttons of an imported record that go beside its file, by event (from 1).
std::vector<HandButton> trebleBesideOf(const ImportResult& imported);

/// The record file's button and name lines of an imported event: a rest's marker twice, or its
/// buttons named as the instrument names them (splitChord).
std::pair<std::string, std::string> recordLinesOf(const ImportedEvent& event,
                                                  const Instrument& instrument);

/// A pitch's name as the layout names it: the caption of a button with that pitch, or, for a
/// pitch no button has, a name made in the same manner ("g#1", "es", "H").
std::string pitchName(int pitch, const ButtonNotes& notes,
                      const std::array<std::string, kKeyCount>& captions);

/// The costs of the fingering search, exposed for the tests that check its choices.
struct FingeringCosts {
  int reversal = 12;  ///< turning the bellows
  int jump = 1;       ///< per step of the hand between chords
  int spread = 1;     ///< per step between the buttons of one chord
  int longRun = 3;    ///< per event beyond `airEvents` in one direction
  int airEvents = 12;
};

/// A chord to finger: its pitches, and what the file says of their rows and of the bellows.
struct ChordToFinger {
  std::vector<int> pitches;
  std::vector<int> rows;     ///< per pitch (or empty): its row from 0, -1 for any
  std::optional<bool> push;  ///< the bellows direction the file gives
  bool restBefore = false;   ///< silence before it: time to turn the bellows
};

/// A pitch left out of its chord: no button in `push`'s direction (nothing: in either).
struct MissingPitch {
  int chord = 0;
  int pitch = 0;
  std::optional<bool> push;
  bool operator==(const MissingPitch&) const = default;
};

/// The buttons for each chord (empty pitches: a rest), chosen over all the chords given.
/// Pitches no button has (in the direction chosen or given) are left out of their chord and
/// listed in `missing`, in order of chord.
std::vector<ImportedEvent> fingerChords(const std::vector<ChordToFinger>& chords,
                                        const ButtonNotes& notes,
                                        std::vector<MissingPitch>& missing,
                                        const FingeringCosts& costs = {});
/// The same on an instrument of any rows: each chord's buttons by their places (rows from 1;
/// the rows a chord gives count from 0, as for a layout).
std::vector<std::vector<ButtonAt>> fingerChords(const std::vector<ChordToFinger>& chords,
                                                const Instrument& instrument,
                                                std::vector<MissingPitch>& missing,
                                                const FingeringCosts& costs = {});
/// The same for chords of pitches alone.
std::vector<ImportedEvent> fingerChords(const std::vector<std::vector<int>>& chords,
                                        const ButtonNotes& notes,
                                        std::vector<std::pair<int, int>>& missing,
                                        const FingeringCosts& costs = {});

}  // namespace tastrello
