#include "instrument/instrument_places.h"

#include <algorithm>

#include "instrument/instrument.h"

namespace tastrello {

namespace {

constexpr int kPixel = 15;  // twips, at 96 dots per inch
constexpr int kRankPitch = 720;
constexpr int kKeyHeight = 495;
constexpr int kButtonGap = 105;      // between the columns of a block, as three rows have it
constexpr int kBlockGap = 360;       // between the pull and the push block of four or more rows
constexpr int kBassGap = 60;

int wholePixels(int twips) {
  return twips / kPixel * kPixel;
}

/// The columns of one kind of treble: where each block's first column stands, how far the
/// columns are apart and how large a button is.
struct TrebleGeometry {
  int blockLeft[2];  ///< pull, push
  int pitch;
  int width;
  int height;
  int rankPitch;
};

int firstTop(int row, bool push) {
  // Odd rows start lower; the even rows of the push block sit a little lower than the pull
  // block's, as the window has always drawn the middle row.
  return row % 2 == 0 ? (push ? 600 : 480) : 840;
}

/// Ranks stay 720 apart unless a row is too long to end above the bass side.
int rankPitch(const std::vector<int>& rows) {
  int pitch = kRankPitch;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r] < 2) continue;
    const int room = kBassBandTop - kBassGap - kKeyHeight - firstTop(static_cast<int>(r + 1), true);
    pitch = std::min(pitch, wholePixels(room / (rows[r] - 1)));
  }
  return pitch;
}

TrebleGeometry trebleGeometry(const std::vector<int>& rowLengths) {
  const int rows = static_cast<int>(rowLengths.size());
  // Three rows (and fewer) keep the window's own places: 615 x 495, 720 apart.
  if (rows <= 3) return {{6240, 9000}, 720, 615, kKeyHeight, rankPitch(rowLengths)};
  // Two blocks of `rows` columns and the gap between them fill the room.
  const int room = kInstrumentRight - kInstrumentLeft - kBlockGap + 2 * kButtonGap;
  const int pitch = wholePixels(room / (2 * rows));
  const int width = pitch - kButtonGap;
  const int block = (rows - 1) * pitch + width;
  return {{kInstrumentLeft, kInstrumentLeft + block + kBlockGap},
          pitch,
          width,
          wholePixels(width * kKeyHeight / 615),
          rankPitch(rowLengths)};
}

TwipRect treblePlace(const TrebleGeometry& g, const ButtonAt& at) {
  const int slotTop = firstTop(at.row, at.push) + g.rankPitch * (at.number - 1);
  const int left = g.blockLeft[at.push ? 1 : 0] + g.pitch * (at.row - 1);
  return {left, slotTop + wholePixels((kKeyHeight - g.height) / 2), g.width, g.height};
}

int bassSize(const std::vector<int>& rows, int left) {
  const int rowCount = static_cast<int>(rows.size());
  const int longest = *std::max_element(rows.begin(), rows.end());
  const int byHeight = (kBassBandBottom - kBassBandTop - (rowCount - 1) * kBassGap) / rowCount;
  // The longest row, set off by half a button, and the gaps between its buttons fill the band.
  const int byWidth = ((kBassBandRight - left) * 2 - (2 * longest - 1) * kBassGap) / (2 * longest + 1);
  return wholePixels(std::min({405, byHeight, byWidth}));
}

std::vector<TwipRect> bassPlaces(const std::vector<int>& rows, int left) {
  const ButtonNumbering numbering(rows);
  std::vector<TwipRect> places;
  if (numbering.blockSize() == 0) return places;
  const int size = bassSize(rows, left);
  const int pitch = size + kBassGap;
  const int longest = *std::max_element(rows.begin(), rows.end());
  for (int id = 0; id < numbering.count(); ++id) {
    const ButtonAt at = *numbering.placeOf(id);
    const int length = rows[static_cast<std::size_t>(at.row - 1)];
    const int halves = (longest - length) + (at.row % 2 == 0 ? 1 : 0) + 2 * (at.number - 1);
    places.push_back({left + wholePixels(halves * pitch / 2),
                      kBassBandTop + (at.row - 1) * pitch, size, size});
  }
  return places;
}

}  // namespace

InstrumentPlaces placeInstrument(const std::vector<int>& trebleRows,
                                 const std::vector<int>& bassRows) {
  InstrumentPlaces places;
  const TrebleGeometry geometry = trebleGeometry(trebleRows);
  const ButtonNumbering numbering(trebleRows);
  for (int id = 0; id < numbering.count(); ++id)
    places.treble.push_back(treblePlace(geometry, *numbering.placeOf(id)));
  places.bass = bassPlaces(bassRows, geometry.blockLeft[0]);
  return places;
}

}  // namespace tastrello
