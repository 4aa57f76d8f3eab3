// A record as tablature ("Griffschrift") for the three-row instrument, laid out on pages:
// pure geometry, drawn by the platform on the screen, to PDF and to SVG.
//
// The conventions followed are the common ones of published Griffschrift tutors:
// - the staff of five lines shows buttons, not pitches: a note's height is its button's number
//   in its row, counted from the top of the instrument, and higher numbers stand higher;
// - row 1 (the outer row, the left column of each block in the window) stands between the
//   lines; its button 7 between the second and the middle line;
// - row 2 (the middle row) stands on the lines; its button 6 on the middle line;
// - row 3 (the inner row) stands on the lines like row 2, with a cross as its note head;
// - push (bellows closing) is marked by a bar under the staff for as long as it lasts; notes
//   without the bar are played pulling;
// - a silent rest is written as a rest, a rest that lets the chord ring on as a hold mark.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "shell/controls.h"

namespace tastrello {

/// Where one button goes on the staff.
struct TabNote {
  int row = 1;         ///< 1 (outer), 2 (middle), 3 (inner)
  int number = 1;      ///< the button's number in its row, from the top
  int step = 0;        ///< 0 the bottom line, each step half a line space higher (8: top line)
  bool cross = false;  ///< the inner row's cross head
  bool operator==(const TabNote&) const = default;
};

/// The staff place of a button (0..67; the push block's buttons as the pull block's).
TabNote tabNoteOf(int button);

enum class TabRest { None, Ringing, Silent };

struct TabEvent {
  int number = 0;  ///< the event in the record, from 1
  double x = 0;    ///< the left edge of its column
  std::vector<TabNote> notes;
  Bellows bellows = Bellows::None;
  TabRest rest = TabRest::None;
};

/// One staff across the page.
struct TabSystem {
  double top = 0;  ///< y of the top line
  std::vector<TabEvent> events;
  std::vector<std::pair<double, double>> pushBars;  ///< from x to x, under the staff
};

struct TabPage {
  std::vector<TabSystem> systems;
};

/// The page in points (1/72 inch). The default box fits both A4 and Letter.
struct TabGeometry {
  double width = 595, height = 792;
  double margin = 42;
  double header = 54;  ///< the record's name and tuning above the first staff
  double footer = 22;  ///< the page number
  double lineGap = 6;  ///< between two staff lines
  double column = 26;  ///< the width of one event
  double indent = 18;  ///< before the first event of a staff

  static constexpr int kHighestStep = 16;  ///< row 2's button 12
  static constexpr int kLowestStep = -9;   ///< row 1's button 1
  /// y of a staff step, for a staff whose top line is at `top`.
  double stepY(double top, int step) const { return top + (8 - step) * lineGap / 2; }
  /// The height one staff takes with its ledger lines, its push bar and the gap to the next.
  double systemHeight() const;
  int eventsPerSystem() const;
  int systemsPerPage() const;
};

/// Lays the events (each a button line or a rest marker) out on pages. An empty record gives
/// one empty page.
std::vector<TabPage> layoutTablature(const std::vector<std::string>& buttonLines,
                                     const TabGeometry& geometry = {});

/// The page and system that hold an event (from 1); the last page when it is past the end.
std::pair<int, int> tabPlaceOf(const std::vector<TabPage>& pages, int event);

/// "G-C-F" from "Notes_G-C-F.txt" (the name itself when it has neither prefix nor ending).
std::string tuningName(const std::string& layoutFile);

}  // namespace tastrello
