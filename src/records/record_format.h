// The record file format and the texts of one event, as pure functions on bytes and values:
// the reader and writer, the display text built from a name line, and safe file names.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sound/buttons.h"
#include "sound/layout_format.h"

namespace tastrello {

inline const std::string kBreakPlay = "-BREAK PLAY-";
inline const std::string kBreakMute = "-BREAK MUTE-";
inline const std::string kEndMarker = "*-*";
constexpr int kMaxEvents = 200;  // events a record can hold

/// One step of a record as the editor keeps it: a chord or a rest, in three texts.
struct RecordEvent {
  std::string display;     ///< what the editor list shows
  std::string nameLine;    ///< note names of the buttons, each followed by "/"; or the rest marker
  std::string buttonLine;  ///< two-digit button numbers, each followed by "/"; or the rest marker
  bool operator==(const RecordEvent&) const = default;
};

/// A record file as read, before anything of the window changes.
struct RecordContent {
  std::string layoutName;
  std::vector<std::string> buttonLines;  ///< per event: button line or rest marker
  std::vector<std::string> nameLines;    ///< per event: name line or rest marker
};

/// The bellows direction of an event's buttons; None for a rest or no valid button.
Bellows bellowsOf(const std::string& buttonLine);
/// The buttons of an event's button line, read from the columns the replay reads (1, 4, 7 and
/// 10); fields without a digit and numbers past the keyboard are left out.
std::vector<int> buttonsOfLine(const std::string& buttonLine);
/// The bellows direction of buttons 0..67; None when none is a button of the keyboard.
Bellows bellowsOfButtons(const std::vector<int>& buttons);

/// Whether a button line (or a whole file line) is one of the two rest markers.
bool isRestMarker(std::string_view line);

/// A rest as an event: the marker in all three texts.
RecordEvent restEvent(const std::string& marker);

/// Up to four note names of a name line, split at "/" (two-letter names sit at the columns
/// 1, 4, 7 and 10; splitting keeps three-letter names whole).
std::array<std::string, 4> nameLineFields(const std::string& nameLine);

/// The display text of a chord read from a file: four pieces, each followed by a blank,
/// joined by a blank ("c1  e1  g1   ").
std::string displayTextFromNameLine(const std::string& nameLine);

/// The event as the reader builds it from a button line and a name line.
RecordEvent eventFromLines(const std::string& buttonLine, const std::string& nameLine);

/// Why a record file was refused.
struct RecordProblem {
  enum class Kind { None, Empty, TooManyEvents } kind = Kind::None;
  int line = 0;  ///< the line where the record grew past kMaxEvents events
};

/// Reads record file bytes. Nothing, with `problem` saying why, when the file is empty or
/// holds more than kMaxEvents events. Rest or chord is decided by the button line.
std::optional<RecordContent> parseRecord(std::string_view bytes, RecordProblem& problem);

/// The bytes of a record file: the layout name, each event's button line and (for a chord)
/// its name line, the end marker and a line holding one blank; every line ends with CR LF.
std::string formatRecord(const RecordContent& record);

/// Whether an event can be written and read back as the same event: a rest is its marker in
/// both lines; a chord has a button line the reader takes for a chord and a name line that
/// does not end the file. Line ends inside either line are never writable.
bool isWritableEvent(const std::string& buttonLine, const std::string& nameLine);

/// The button and name lines of a chord of these buttons, named by the buttons' captions.
std::pair<std::string, std::string> eventLines(const std::vector<int>& buttons,
                                               const std::array<std::string, kKeyCount>& captions);

/// A safe file name (shell/text.h) that is not blank.
bool isSafeRecordName(const std::string& name);

/// The name a record is saved under, as typed: its file name without the kind's prefix
/// ("Records_", "Lessons_") and without ".txt" ("Records_Polka.txt" gives "Polka").
std::string recordNameOf(const std::string& fileName);

}  // namespace tastrello
