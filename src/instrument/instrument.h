// The whole instrument as plain data: its treble rows with the push and pull note of every
// button, and its bass side, whose buttons sound a deep bass or a chord, each with the letter
// Griffschrift writes under the staff. Also the numbers records give the buttons, and which
// buttons sound a pitch (for the fingering search).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sound/layout_format.h"

namespace tastrello {

/// One treble button: the note it sounds pushing and pulling, each with the name players use
/// ("c1", "f#", "b2").
struct TrebleButton {
  std::string pushName;
  int push = 0;
  std::string pullName;
  int pull = 0;
  bool operator==(const TrebleButton&) const = default;
};

/// A treble row: its key as players name it ("G", "Es") and its buttons from the top.
struct TrebleRow {
  std::string key;
  std::vector<TrebleButton> buttons;
  bool operator==(const TrebleRow&) const = default;
};

/// What a bass button sounds in one bellows direction: a bass (one note) or a chord (several),
/// with its name ("F", "Dm").
struct BassSound {
  std::string name;
  std::vector<int> notes;
  bool operator==(const BassSound&) const = default;
};

/// A bass button: its Griffschrift letter (a capital for a bass, a small letter for a chord;
/// "A"/"a" serve treble row 1, "B"/"b" row 2 ...) and what it sounds pushing and pulling.
struct BassButton {
  std::string letter;
  BassSound push;
  BassSound pull;
  bool chord() const { return push.notes.size() > 1; }
  bool operator==(const BassButton&) const = default;
};

/// A row of the bass side, its buttons from the top.
struct BassRow {
  std::vector<BassButton> buttons;
  bool operator==(const BassRow&) const = default;
};

/// An instrument. Rows count from the outside in, on both sides. A three-row instrument may
/// take its treble from a note layout file (`layout`): its rows then name their keys and their
/// buttons come from the layout (`takeTrebleFromLayout`), so the treble is written in one place.
struct Instrument {
  std::string name;
  std::string layout;  ///< "Notes_G-C-F.txt", or empty when the rows list their buttons
  std::vector<TrebleRow> treble;
  std::vector<BassRow> bass;
  bool operator==(const Instrument&) const = default;
};

constexpr int kMaxTrebleRows = 5;
constexpr int kMaxRowButtons = 16;
constexpr int kMaxBassRows = 3;
constexpr int kMaxChordNotes = 4;
/// The rows and their lengths a three-row note layout gives: the left, middle and right column
/// of each block.
constexpr int kLayoutRows = 3;

/// The pitch class (0 = C ... 11 = H) of a key as German players name it: C, Cis, Des, D, Dis,
/// Es, E, F, Fis, Ges, G, Gis, As, A, B (B flat), H. Nothing for any other name.
std::optional<int> keyPitchClass(std::string_view key);

/// Fills the rows of an instrument that names a layout with the layout's buttons: row 1 is the
/// left column of the blocks, row 2 the middle one, row 3 the right one, each button with its
/// caption (trailing blanks dropped) and note from the push and the pull block. Nothing when it
/// worked; otherwise the first button (counted as the layout counts, 0..67) whose caption or
/// note the layout leaves unset, or whose note is not a MIDI note.
std::optional<int> takeTrebleFromLayout(Instrument& instrument, const NoteLayout& layout);

/// A button by its place: the bellows direction, its row counted from the outside in and its
/// number in the row from the top (both from 1).
struct ButtonAt {
  bool push = false;
  int row = 1;
  int number = 1;
  bool operator==(const ButtonAt&) const = default;
};

/// The numbers a side's buttons carry in records. The pull block comes first, then the push
/// block, each as long as the side has buttons; within a block the buttons go rank by rank from
/// the top, each rank from the outermost row in, leaving out rows that have ended. For a
/// treble of 11, 12 and 11 buttons this is exactly the numbering of records/buttons.h (0..67),
/// so existing records keep their buttons; a four-row treble of 11, 12, 11 and 11 buttons has
/// 0..44 pulling and 45..89 pushing. The bass side is numbered by the same rule on its own.
class ButtonNumbering {
 public:
  explicit ButtonNumbering(const std::vector<int>& rowLengths);
  int blockSize() const { return static_cast<int>(order_.size()); }
  int count() const { return 2 * blockSize(); }
  std::optional<int> numberOf(const ButtonAt& at) const;
  std::optional<ButtonAt> placeOf(int number) const;

 private:
  std::vector<int> rowLengths_;
  std::vector<ButtonAt> order_;  ///< the pull block in order
};

/// The treble button at a place (its direction aside); nothing for a place the instrument lacks.
const TrebleButton* trebleButtonAt(const Instrument& instrument, const ButtonAt& at);

std::vector<int> trebleRowLengths(const Instrument& instrument);
std::vector<int> bassRowLengths(const Instrument& instrument);

/// A button that sounds a pitch: its number (as ButtonNumbering gives it) and its place.
struct ButtonChoice {
  int id = 0;
  ButtonAt at;
  bool operator==(const ButtonChoice&) const = default;
};

/// A set of pitch classes as bits (bit 0 = C ... bit 11 = H): what a chord is, whatever its
/// voicing.
using PitchClasses = std::uint16_t;
PitchClasses pitchClassesOf(const std::vector<int>& notes);

/// Which buttons sound what, for choosing buttons for a melody and its accompaniment.
struct PitchMap {
  /// Per MIDI pitch, the treble buttons that sound it, pulling and pushing, in number order.
  std::array<std::vector<ButtonChoice>, 128> treble;
  /// Per MIDI pitch, the bass buttons whose sound has it, basses and chords alike.
  std::array<std::vector<ButtonChoice>, 128> bass;
  /// Per pitch class, the buttons that sound it as a bass (one note): a bass line's choices,
  /// whatever octave it is written in.
  std::array<std::vector<ButtonChoice>, 12> basses;
  /// Per set of pitch classes, the buttons that sound it as a chord.
  std::map<PitchClasses, std::vector<ButtonChoice>> chords;
};

PitchMap pitchMap(const Instrument& instrument);

}  // namespace tastrello
