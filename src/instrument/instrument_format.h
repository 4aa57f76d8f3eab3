// The instrument file: a text file in Notes/ ("Instrument_G-C-F-B_16-Bass.txt"; the note list's
// pattern "NOTES*.*" does not list it) that a teacher can read and edit. Windows-1252, CR LF;
// lines starting with "#" and empty lines are comments.
//
//   NAME=Steirische G-C-F-B, 16 Bässe
//   ROW=G                      a treble row, from the outside in, with its key
//    1  H   47   d   50        its buttons from the top: number, push name and note, pull
//    2  d   50   f#  54        name and note (MIDI 0..127)
//   ...
//   BASS-ROW                   a row of the bass side, from the outside in
//    1  C  F  41        C  36          number, Griffschrift letter, push name and notes, pull
//    2  c  F  53+57+60  C  48+52+55    name and notes ("+" joins a chord's notes)
//
// A three-row instrument may say "LAYOUT=Notes_G-C-F.txt" instead: its three ROW lines then
// give only the keys, and the buttons come from that layout file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "instrument/instrument.h"

namespace tastrello {

/// What is wrong with a line of an instrument file (or, on line 0, with the file as a whole).
enum class InstrumentFault {
  UnknownLine,        ///< not a line the format has
  NameTwice,          ///< a second NAME (detail: the line of the first)
  LayoutTwice,        ///< a second LAYOUT (detail: the line of the first)
  BadLayoutName,      ///< LAYOUT names no layout file ("Notes*.txt")
  BadKey,             ///< ROW names no key (C, Cis, Des, ... B, H)
  TooManyRows,        ///< more treble or bass rows than the window can show
  ButtonOutsideRow,   ///< a button line before any ROW or BASS-ROW
  ButtonsWithLayout,  ///< a treble button where the layout gives the buttons
  WrongNumber,        ///< not the next number of its row (detail: the number expected)
  TooManyButtons,     ///< a row longer than an instrument has
  FieldCount,         ///< too few or too many fields on a button line
  BadNote,            ///< a note that is not a whole number 0..127
  TooManyNotes,       ///< a chord of more than four notes
  BadLetter,          ///< a bass letter not a capital for a bass or a small letter for a chord
  MixedSound,         ///< a bass in one direction and a chord in the other
  EmptyRow,           ///< a row without buttons (on the line of its ROW or BASS-ROW)
  NoName,             ///< line 0: the file has no NAME
  NoTreble,           ///< line 0: the file has no ROW
  LayoutRows,         ///< line 0: a layout gives three rows, the file has another number
};

struct InstrumentProblem {
  int line = 0;        ///< counted from 1; 0 for the file as a whole
  InstrumentFault fault = InstrumentFault::UnknownLine;
  std::string detail;  ///< the text at fault, or the line or number it is measured against
  bool operator==(const InstrumentProblem&) const = default;
};

/// The largest instrument file read: five rows and a bass side fit in a few kilobytes.
constexpr std::size_t kLargestInstrumentFile = 64 * 1024;

/// Reads an instrument file. Every problem is listed, in the order of the lines; the
/// instrument comes back only when there is none (a file with a skipped button would move the
/// buttons after it, and records would play the wrong ones). An instrument naming a layout
/// comes back with its rows' keys but no buttons: `takeTrebleFromLayout` fills them.
std::optional<Instrument> parseInstrument(std::string_view bytes,
                                          std::vector<InstrumentProblem>& problems);

/// Writes an instrument as its file (comments saying what the columns are). Names must be
/// single words and notes MIDI notes, as parseInstrument reads them; an instrument that names
/// a layout is written with its rows' keys only.
std::string instrumentFileText(const Instrument& instrument);

}  // namespace tastrello
