// A record as tablature ("Griffschrift") for the three-row instrument, engraved on pages: pure
// geometry in points (1/72 inch), written as SVG by tab_svg and shown, printed and saved from
// that one SVG by every front end.
//
// The conventions followed are the common ones of published Griffschrift tutors:
// - the staff of five lines shows buttons, not pitches: a note's height is its button's number
//   in its row, counted from the top of the instrument, and higher numbers stand higher; there
//   is no clef (a clef would claim pitches);
// - row 1 (the outer row, the left column of each block in the window) stands between the
//   lines; its button 7, the orientation button, between the second and the middle line;
// - row 2 (the middle row) stands on the lines; its button 6 on the middle line, just above
//   row 1's button 7 as the two sit side by side on the instrument;
// - row 3 (the inner row) stands on the lines like row 2 and is marked with a cross: the cross
//   is the head of its black notes, and stands before the open head of a half or whole note so
//   that the value stays readable;
// - a four-row instrument's row 4 stands between the lines as row 1 does, and a five-row one's
//   row 5 on the lines as rows 2 and 3 do; both are marked with a double cross, which is the
//   head of their black notes and stands before an open head, as row 3's cross does;
// - push (bellows closing) is a bar under the staff for as long as it lasts; notes without the
//   bar are played pulling;
// - the bass is written under the staff as the letters of its buttons, each at the moment it is
//   played (a capital for a bass, a small letter for a chord, as the instrument names them);
//   the push bar runs under the letters too, as both hands play with the one bellows, and under
//   a rest of the treble while the bass is pushed;
// - note values, rests, ties, bars and beams as in ordinary printed music (tab_rhythm).
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "records/meter.h"
#include "sound/buttons.h"
#include "records/record_hands.h"
#include "sound/layout_format.h"
#include "tablature/tab_rhythm.h"

namespace tastrello {

/// Where one button goes on the staff.
struct TabNote {
  int row = 1;         ///< 1 (outer), 2 (middle), 3 (inner)
  int number = 1;      ///< the button's number in its row, from the top
  int step = 0;        ///< 0 the bottom line, each step half a line space higher (8: top line)
  bool cross = false;  ///< the inner row's cross
  bool doubleCross = false;  ///< row 4 and row 5's double cross
  bool operator==(const TabNote&) const = default;
};

/// The staff place of a button (0..67; the push block's buttons as the pull block's).
TabNote tabNoteOf(int button);
/// The staff place of a button of any row (1 to 5).
TabNote tabNoteAt(const ButtonAt& at);

/// A bass button played with an event of the record: its letter and its bellows direction.
struct TabBass {
  int event = 1;
  std::string letter;
  bool push = false;
  bool operator==(const TabBass&) const = default;
};

/// What a tablature shows.
struct TabDocument {
  std::string title;   ///< the record's name, Windows-1252 as the logic keeps it
  std::string tuning;  ///< "G-C-F"
  Meter meter;         ///< its bars and grid (4/4, a step a beat, when the record has none)
  int tempo = 0;       ///< quarters a minute shown at the head; 0 shows none
  std::vector<std::string> buttonLines;
  std::string heading = "Griffschrift";  ///< the kind of sheet, in the language in force
  /// The treble buttons the record file does not hold (rows past the third), with their events;
  /// an event the record file keeps silent is their chord.
  std::vector<HandButton> trebleBeside = {};
  std::vector<TabBass> bass = {};  ///< the left hand's buttons, in order of event
  bool operator==(const TabDocument&) const = default;
};

/// Adds a record's buttons beside its file to the document: its treble buttons past the third
/// row, and its bass buttons with the letters the instrument gives them (buttons the instrument
/// does not have are left out).
void addHands(TabDocument& document, const RecordHands& hands, const Instrument& instrument);

/// The page and its engraving's sizes, in points. The default page fits both A4 and Letter.
struct TabGeometry {
  double width = 595, height = 792;
  double marginX = 42, marginTop = 38, marginBottom = 36;
  double space = 5;  ///< between two staff lines: a staff 20 pt (about 7 mm) high
  double titleSize = 17, textSize = 9;

  double headWidth() const { return 1.18 * space; }
  double headHeight() const { return 0.9 * space; }
  double stemWidth() const { return 0.12 * space; }
  double beamThickness() const { return 0.48 * space; }
  double beamGap() const { return 0.76 * space; }  ///< from one beam's centre to the next
  double pushThickness() const { return 0.45 * space; }
  double letterSize() const { return textSize + 2; }  ///< the bass letters
  /// The height of a staff step above the top line (negative: higher), 0 being the top line.
  double stepY(int step) const { return (8 - step) * space / 2; }
  /// The first page's title and the line under it (baselines).
  double titleBaseline() const { return marginTop + titleSize; }
  double subtitleBaseline() const { return titleBaseline() + textSize + 7; }
  double footerBaseline() const { return height - marginBottom + textSize + 4; }
  /// Where the staves may go: from the top (below the title on the first page) to the bottom.
  double contentTop(bool first) const { return first ? subtitleBaseline() + 10 : marginTop; }
  double contentBottom() const { return height - marginBottom; }
};

/// A line from (x0, y0) to (x1, y1).
struct TabLine {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool operator==(const TabLine&) const = default;
};

/// A note head: its button and its centre.
struct TabHead {
  TabNote note;
  double x = 0, y = 0;
};

/// One written chord or rest with its glyphs' places. Within a system every y is measured from
/// the staff's top line (downwards), every x from the page's left edge.
struct TabItem {
  RhythmItem rhythm;           ///< its value, tie, events and time
  Bellows bellows = Bellows::None;
  double x = 0;                ///< the centre of its heads in their column (of its rest)
  double left = 0, right = 0;  ///< what it covers: its heads to the start of the next column
  std::vector<TabHead> heads;  ///< from the lowest to the highest
  std::vector<TabLine> ledgers;
  int stem = 0;  ///< 1 up, -1 down, 0 none
  TabLine stemLine;
  int flags = 0;  ///< flags at the stem's end (an eighth or sixteenth without a beam)
  std::vector<std::pair<double, double>> dots;
  bool pushed = false;  ///< under the push bar
  double markY = 0;     ///< where a chord that mixes pull and push is marked (baseline)
};

/// A bass letter under the staff: its x (the letter's centre) and its event.
struct TabLetter {
  double x = 0;
  std::string text;
  bool push = false;
  int event = 1;
};

/// A tie from one head towards the same button's head in the next item (or the staff's end).
struct TabTie {
  double x0 = 0, x1 = 0, y = 0;
  bool above = false;
};

struct TabBarLine {
  double x = 0;
  bool final = false;
};

/// One staff across the page.
struct TabSystem {
  double top = 0;              ///< the page's y of the top line
  double left = 0, right = 0;  ///< where the staff lines begin and end
  double above = 0;            ///< the highest glyph, from the top line (negative: above it)
  double below = 0;            ///< the lowest glyph, from the top line
  long long firstBar = 1;      ///< the number of the bar it starts with (0: the pickup)
  bool showsBarNumber = false;
  bool showsMeter = false;  ///< the time signature at its start
  double meterX = 0;        ///< the time signature's centre
  std::vector<TabItem> items;
  std::vector<TabBarLine> barLines;
  std::vector<TabLine> beams;  ///< centre lines, each beamThickness() thick
  std::vector<TabTie> ties;
  std::vector<std::pair<double, double>> pushBars;  ///< from x to x
  double pushY = 0;                                 ///< the push bars' top edge
  std::vector<TabLetter> letters;                   ///< the bass, in order of time
  double letterY = 0;                               ///< the bass letters' baseline
};

struct TabPage {
  bool head = false;  ///< the first page: the title, the tuning and the tempo
  double tempoX = 0, tempoY = 0;  ///< the tempo mark's baseline (on the first page)
  std::vector<TabSystem> systems;
};

/// Engraves the document on pages. An empty record gives one page with an empty staff.
std::vector<TabPage> layoutTablature(const TabDocument& document, const TabGeometry& geometry = {});

/// Where an event is marked while replay shows it: the column of the item that holds it, the
/// height of its staff, in the page's points.
struct TabBox {
  double x = 0, y = 0, width = 0, height = 0;
};
/// The mark of an event (from 1) on a page; nothing when the page does not show it.
std::optional<TabBox> tabMarkOf(const std::vector<TabPage>& pages, int page, int event,
                                const TabGeometry& geometry = {});

/// The page and system that show an event (from 1); the last page when it is past the end.
std::pair<int, int> tabPlaceOf(const std::vector<TabPage>& pages, int event);

}  // namespace tastrello
