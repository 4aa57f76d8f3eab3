// Where an instrument's buttons stand in the window, in twips, as a pure function of its rows.
//
// The treble is drawn twice, as the window always has: the pull block on the left, the push
// block on the right, each row a column from the outside in, its buttons from the top, every
// other row set off by half a button. Three rows stand exactly where the window has always put
// them. Four and five rows share the same room between the lists on the left (which end at
// 5820) and the panel on the right (from 11460): the columns move closer and the buttons grow
// smaller so that both blocks fit. Ranks stay where they are unless a row is longer than the
// window's (rows of 13 or more buttons): then the ranks move closer, to end above the bass side.
//
// The bass side is drawn once, as a player sees it and as Griffschrift names it (a letter, with
// the bellows direction shown apart): a band under the treble blocks, from the treble's left
// edge to the copyright picture, above the status line. Its rows lie one under the other, the
// outer row on top, each button of a row to the right of the one above it on the instrument,
// inner rows set off by half a button and shorter rows centred on the longest. A bass button's
// pull number and its push number share its place: a click plays it in the direction the
// bellows go.
#pragma once

#include <vector>

namespace tastrello {

/// A rectangle of the window's client area in twips.
struct TwipRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const TwipRect&) const = default;
};

struct InstrumentPlaces {
  std::vector<TwipRect> treble;  ///< by treble button number (ButtonNumbering)
  std::vector<TwipRect> bass;    ///< by bass button number
};

/// The band the bass side may use, and the room the treble blocks of four and five rows share.
constexpr int kInstrumentLeft = 6000;
constexpr int kInstrumentRight = 11400;
constexpr int kBassBandTop = 9180;
constexpr int kBassBandBottom = 10020;
constexpr int kBassBandRight = 13680;

/// The places of every treble and bass button, given the number of buttons in each row (rows
/// from the outside in). Three rows of 11, 12 and 11 buttons give the window's 68 keys.
InstrumentPlaces placeInstrument(const std::vector<int>& trebleRows,
                                 const std::vector<int>& bassRows);

}  // namespace tastrello
