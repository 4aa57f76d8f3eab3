// The window's controls as plain state. The view shows them; the logic never asks the view.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sound/buttons.h"
#include "shell/colour.h"

namespace tastrello {

/// The bass side's buttons in the window: three rows of sixteen, the most an instrument has.
constexpr int kBassKeyCount = 48;
/// The treble's buttons beside the keyboard's 68: five rows of sixteen in each block, less the
/// 34 a block of the keyboard has.
constexpr int kRowKeyCount = 2 * (5 * 16 - kButtonsPerBlock);

/// Everything a control shows. Positions and sizes are in twips (15 twips = 1 pixel at 96 dpi).
struct Control {
  std::string caption;
  Colour backColor = kDefaultColour;
  int fontSize = 9;
  bool bold = false;
  bool visible = true;
  bool enabled = true;
  bool border = false;
  int left = 0, top = 0, width = 0, height = 0;
  std::string tag;
  std::string toolTip;   ///< shown when the pointer rests on the control ("" for none)
  std::string picture;   ///< name of the image shown ("" for none)
  std::string picture2;  ///< second image of controls that hold a pair
};

/// A check box or option button: 0 cleared, 1 ticked.
struct Toggle : Control {
  int value = 0;
};


/// A list of text lines with at most one selected line (-1 for none).
struct ListBox : Control {
  std::vector<std::string> items;
  int selected = -1;
  /// Per row of a list of events: the direction the view marks (empty for other lists).
  std::vector<Bellows> bellows;
  /// Rows of a marked stretch (the section of a record view), -1 and -1 for none.
  int markedFirst = -1, markedLast = -1;
  /// Per row: a short note the view shows beside it (how a chord was played), or "".
  std::vector<std::string> rowNotes;
};

/// A list of the file names in `folder` that match `pattern`.
struct FileList : ListBox {
  std::string folder;
  std::string pattern;
};

struct TextField : Control {
  std::string text;
};

struct Slider : Control {
  int value = 0;
  int minimum = 0;
  int maximum = 0;
};

/// A drop-down list: what each entry shows (`items`) and the value it stands for (`values`).
struct Chooser : ListBox {
  std::vector<std::string> values;
};

/// One column of a chart: a bar of `height` in `colour` (0 to 1 of the chart's height; -1 to 1
/// around its middle when the chart is centred), a point of its line at `line` (0 to 1; negative
/// for none) and a short note under it; or a cross where it has no value to show.
struct ChartColumn {
  double height = 0;
  Colour colour = kDefaultColour;
  double line = -1;
  std::string note;
  bool cross = false;  ///< no bar but a cross on the middle: a value it does not have
  bool operator==(const ChartColumn&) const = default;
};

/// A chart of columns, oldest on the left, in a row of `places` places. Its caption is its title;
/// a centred chart shades the band from -`band` to `band` (the "good" zone) around its middle.
struct Chart : Control {
  std::vector<ChartColumn> columns;
  int places = 1;
  bool centred = false;
  double band = 0;
  std::string scaleTop, scaleBottom;  ///< the words at the top and the bottom of the scale
  std::string footer;       ///< a line under the chart: what its line stands for now
};

/// A repeating timer: while enabled its tick runs every `interval` milliseconds. The window
/// object keeps its time: `due` is the moment (on its clock, in seconds) of the next tick, or
/// negative while the timer does not count.
struct Timer {
  bool enabled = false;
  int interval = 0;
  double due = -1;
};

/// Standard picture names; the view maps them to its artwork.
namespace pictures {
inline const std::string kRepeat = "repeat";
inline const std::string kSingle = "single";
inline const std::string kReplace = "replace";
inline const std::string kInsert = "insert";
inline const std::string kArrowsLeft = "arrows-left";
inline const std::string kArrowsRight = "arrows-right";
}  // namespace pictures

}  // namespace tastrello
