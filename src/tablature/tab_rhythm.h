// A record's rhythm written the way printed music writes it: the events on the meter's grid cut
// into bars, each chord and each silence spelled as note values (tied where one value cannot
// hold it), and the short notes of a beat beamed together. Plain data and pure functions; the
// geometry of the page is tab_layout's.
//
// Time is counted in sixteenths from the record's start; the beat is a quarter. The rules are
// the common ones of engraving:
// - a note shorter than a beat stays inside its beat; a note of a beat or more starts on a beat;
// - in a bar of an even number of beats (four or more) the middle of the bar stays visible,
//   except for a note that starts the bar and the syncopated half or dotted quarter that starts
//   the beat before the middle;
// - rests are never dotted, stand on their own value's grid (an eighth rest on an eighth, a half
//   rest on the bar's first or middle beat), and a silence filling a whole bar is one whole rest;
// - eighths and sixteenths of one beat share a beam; a rest breaks it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "records/meter.h"

namespace tastrello {

/// A note value: its length as a power of two in sixteenths (16 a whole note ... 1 a
/// sixteenth), and whether it is dotted (half as long again).
struct NoteValue {
  int base = 4;
  bool dotted = false;
  int sixteenths() const { return dotted ? base * 3 / 2 : base; }
  bool operator==(const NoteValue&) const = default;
};

/// One written chord or rest.
struct RhythmItem {
  int event = 0;         ///< the first event of the record it stands for (from 1)
  int lastEvent = 0;     ///< and the last (a held chord and a silence stand for several)
  long long start = 0;   ///< sixteenths from the record's start
  int offset = 0;        ///< sixteenths from its bar's start (a pickup counted to its end)
  NoteValue value;
  bool rest = false;
  bool barRest = false;  ///< the silence of a whole bar: one whole rest in the bar's middle
  bool tiedToNext = false;
  std::string buttonLine;  ///< the chord's button line ("" for a rest)
  bool operator==(const RhythmItem&) const = default;
};

struct RhythmBar {
  long long number = 1;  ///< 0 for the pickup, full bars from 1
  long long start = 0;   ///< sixteenths from the record's start
  int length = 16;       ///< the sixteenths it holds (a pickup, or a last bar, may be short)
  int fullLength = 16;   ///< the meter's bar
  std::vector<RhythmItem> items;
  /// The beamed groups: the first and the last item of each (indices into `items`).
  std::vector<std::pair<int, int>> beams;
};

/// The sixteenths of one step of the meter's grid.
int stepSixteenths(const Meter& meter);

/// The values a chord of `length` sixteenths is written in, tied, when it starts `offset`
/// sixteenths into a bar of `meter`; it must end within the bar.
std::vector<NoteValue> splitNote(int offset, int length, const Meter& meter);
/// The rests a silence is written in, the same way.
std::vector<NoteValue> splitRest(int offset, int length, const Meter& meter);

/// The record (button lines and rest markers) in bars; an impossible meter counts as none (4/4,
/// a step a beat). An empty record has no bar.
std::vector<RhythmBar> notateRhythm(const std::vector<std::string>& buttonLines,
                                    const Meter& meter);

}  // namespace tastrello
