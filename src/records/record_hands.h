// What a record file cannot hold, kept in a file of its own beside it ("Hands_" + the record's
// file name, in the records folder), as the meter is: the left hand's bass buttons, and the
// treble buttons of rows past the third (or past the three rows' lengths, or past a chord's four
// buttons). The record file stays as it always was, so that the original program still reads it
// and plays its treble; this program reads both and plays the whole instrument.
//
// Every button belongs to an event of the record (a chord, or a rest the treble holds or keeps
// silent), the one it sounds with. Windows-1252, CR LF; "#" starts a comment:
//
//   INSTRUMENT;file=Instrument_G-C-F-B_16-Bass.txt    the instrument the buttons are of
//   RECORD;events=32;check=5c1e09a7                   the record they were saved with
//   BASS;event=1;row=1;number=7;bellows=push          a bass button played with event 1
//   TREBLE;event=3;row=4;number=5;bellows=pull        a treble button of the fourth row
//
// Plain data and pure functions; the window reads and writes the file through its Files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/instrument.h"

namespace tastrello {

enum class Hand : std::uint8_t { Treble, Bass };

/// A button played with an event of the record.
struct HandButton {
  int event = 1;  ///< the record's event it sounds with, from 1
  Hand hand = Hand::Bass;
  ButtonAt at;  ///< its bellows direction, row (from the outside in) and number (from the top)
  bool operator==(const HandButton&) const = default;
};

/// A record's buttons beyond its file, in order of event.
struct RecordHands {
  std::string instrument;  ///< the instrument file they are of ("": none named)
  std::vector<HandButton> buttons;
  bool operator==(const RecordHands&) const = default;
};

/// The file beside a record: "Hands_" + the record's file name.
std::string handsFileName(const std::string& recordFile);

/// The largest hands file read: 200 events of many buttons each fit in well under this.
constexpr std::size_t kLargestHandsFile = 256 * 1024;

/// What is wrong with a line of a hands file (or, on line 0, with the file as a whole).
enum class HandsFault : std::uint8_t {
  Unreadable,        ///< line 0: the file is there but cannot be read (detail: why)
  TooLarge,          ///< line 0: larger than kLargestHandsFile
  UnknownLine,       ///< not a line the format has; left out
  BadFields,         ///< a field missing, repeated, unknown or not a number; left out
  OutsideRecord,     ///< an event the record does not have (detail: its events); left out
  NotOnInstrument,   ///< a row or number the instrument does not have; left out
  Twice,             ///< the same button of an event again (detail: the first line); left out
  AgainstBellows,    ///< a direction the event's other buttons do not take; kept
  OtherInstrument,   ///< saved for another instrument (detail: its file); kept
  RecordChanged,     ///< the record was changed without this file; kept where it fits
};

struct HandsProblem {
  int line = 0;  ///< counted from 1; 0 for the file as a whole
  HandsFault fault = HandsFault::UnknownLine;
  std::string detail;
  bool operator==(const HandsProblem&) const = default;
};

/// What the buttons are read against: the record they belong to and the instrument in force.
struct HandsContext {
  std::vector<std::string> buttonLines;  ///< the record's events, as its file gives them
  std::string instrumentFile;            ///< "Instrument_G-C-F-B_16-Bass.txt"
  std::vector<int> trebleRows;           ///< the instrument's row lengths
  std::vector<int> bassRows;
};

struct HandsRead {
  RecordHands hands;
  std::vector<HandsProblem> problems;  ///< in the order of the lines
};

/// Reads the file beside a record. `bytes` is nothing when the file could not be read; then
/// `readProblem` says why, or is "" when there is no such file: a record without bass or extra
/// rows, which is no problem. The lines that can be used are kept and every other one is
/// named; the record itself is never touched by what this file holds.
HandsRead readRecordHands(const std::optional<std::string>& bytes, const std::string& readProblem,
                          const HandsContext& context);

/// The instrument file a hands file names ("" when it names none): what to read it against.
std::string instrumentNamedIn(std::string_view bytes);

/// The file's bytes for a record of these button lines (CR LF).
std::string formatRecordHands(const RecordHands& hands,
                              const std::vector<std::string>& buttonLines);

/// What a save writes beside the record: nothing for a record without such buttons, unless a
/// file is already there (`fileThere`), which is then emptied, so that an old bass does not come
/// back with the record.
std::optional<std::string> handsSavedWith(const RecordHands& hands,
                                          const std::vector<std::string>& buttonLines,
                                          bool fileThere);

/// The check a RECORD line carries: the record's button lines, hashed (FNV-1a), in hex.
std::string recordCheck(const std::vector<std::string>& buttonLines);

// ---- Keeping the buttons with their events while the record is edited. Rows count events
// from 0, as the editor's list does.

/// An event inserted at `row`: the buttons of that event and after it move one on.
void insertHandsEvent(RecordHands& hands, int row);
/// The event at `row` removed with its buttons; those after it move one back.
void eraseHandsEvent(RecordHands& hands, int row);
/// The buttons of one hand played with an event (from 1), in the order they were added.
std::vector<ButtonAt> handButtons(const RecordHands& hands, int event, Hand hand);
/// Replaces the buttons of one hand played with an event (from 1), keeping the order by event.
void setHandButtons(RecordHands& hands, int event, Hand hand, const std::vector<ButtonAt>& at);

// ---- A treble chord of any instrument, split between the record file and the hands file.

/// The numbers a record file gives treble buttons: three rows of 11, 12 and 11 buttons.
const ButtonNumbering& recordNumbering();

/// A chord as the record file and the file beside it hold it.
struct SplitChord {
  std::string buttonLine;         ///< "07/10/", "" when no button fits the record file
  std::string nameLine;           ///< the buttons' names, as the record file writes them
  std::vector<ButtonAt> overflow;  ///< for the hands file
};

/// Splits a treble chord of `instrument`: the buttons of the first three rows that a record
/// file numbers go into its lines (at most four, in the order given), the others overflow.
SplitChord splitChord(const Instrument& instrument, const std::vector<ButtonAt>& chord);

/// An event's whole treble chord: the buttons of its record line and those of the hands file.
std::vector<ButtonAt> wholeChord(const std::string& buttonLine, const RecordHands& hands,
                                 int event);

/// The treble buttons beside the record that an event (from 1) plays besides those of its
/// record line ("" or a rest marker: none there); a button the line has too counts once.
std::vector<ButtonAt> trebleBeside(const std::string& buttonLine, const RecordHands& hands,
                                   int event);

/// The record's lines as its whole treble plays them: an event the record file keeps as a rest
/// while treble buttons beside it play is their chord, written "" (a chord of no button the
/// record file numbers), so that the ringing rests after it hold it on.
std::vector<std::string> linesPlayedWithBeside(const std::vector<std::string>& buttonLines,
                                               const RecordHands& hands);

}  // namespace tastrello
