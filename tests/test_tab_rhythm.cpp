// A record's rhythm written as printed music writes it: note values for the steps a chord
// holds, ties over bar lines, the pickup, rests of their lengths, beams by beat.
#include <gtest/gtest.h>

#include "records/record_format.h"
#include "tab_tunes.h"
#include "tablature/tab_rhythm.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

const std::string A = chord({button(2, 6)});  // on the middle line
const std::string B = chord({button(1, 7)});  // just below it

/// The record as written: each item its value in sixteenths ("4" a quarter, "8." a dotted
/// half), "r" before a rest, "R" for a whole bar's silence, "~" after a tied note, bars
/// parted by " | ".
std::string written(const std::vector<std::string>& lines, const Meter& meter) {
  std::string out;
  for (const RhythmBar& bar : notateRhythm(lines, meter)) {
    if (!out.empty()) out += " |";
    for (const RhythmItem& item : bar.items) {
      out += out.empty() ? "" : " ";
      if (item.barRest) {
        out += "R";
        continue;
      }
      out += (item.rest ? "r" : "") + std::to_string(item.value.base) +
             (item.value.dotted ? "." : "") + (item.tiedToNext ? "~" : "");
    }
  }
  return out;
}

const Meter kFourFour{};           // quarters
const Meter kEighths{4, 2, 0, 0};  // 4/4 on a grid of eighths
const Meter kSixteenths{4, 4, 0, 0};
const Meter kThreeFour{3, 1, 0, 0};

}  // namespace

// ---- Note values over every place and length a bar offers

TEST(TabNoteValueTest, EveryChordAndSilenceInsideABarIsWrittenInValuesThatAddUpToIt) {
  // Given each start in the bar and each length up to its end, the values fill exactly that
  // length, and rests are undotted on their own grid.
  std::vector<std::string> wrong;
  for (const Meter& meter : {kThreeFour, kFourFour, Meter{2, 1, 0, 0}, Meter{6, 1, 0, 0}}) {
    const int bar = meter.beatsPerBar * 4;
    for (int offset = 0; offset < bar; ++offset) {
      for (int length = 0; offset + length <= bar; ++length) {
        int notes = 0;
        for (const NoteValue& v : splitNote(offset, length, meter)) notes += v.sixteenths();
        int p = offset;
        bool restsOnGrid = true;
        for (const NoteValue& v : splitRest(offset, length, meter)) {
          restsOnGrid = restsOnGrid && !v.dotted && p % v.base == 0;
          p += v.sixteenths();
        }
        if (notes != length || p - offset != length || !restsOnGrid)
          wrong.push_back(std::to_string(meter.beatsPerBar) + "/4 at " + std::to_string(offset) +
                          " for " + std::to_string(length));
      }
    }
  }
  EXPECT_EQ(wrong, std::vector<std::string>{});
}

// ---- Note values, one value a test, each with the places it may and may not stand

TEST(TabNoteValueTest, QuarterIsOneStepOfARecordWithoutMeter) {
  // As recorded before meters existed: one event a beat, four to the bar.
  EXPECT_EQ(written({A, B, kBreakMute, A, B}, kFourFour), "4 4 r4 4 | 4");
  EXPECT_EQ(written({A}, kEighths), "2");  // one step of a finer grid is shorter
}

TEST(TabNoteValueTest, HalfOnAnyBeatWhereItKeepsTheMiddleOfTheBarVisible) {
  EXPECT_EQ(written(tune({{A, 2}, {B, 2}}), kFourFour), "8 8");
  EXPECT_EQ(written(tune({{A, 1}, {B, 2}, {A, 1}}), kFourFour), "4 8 4");  // syncopation
  EXPECT_EQ(written(tune({{A, 1}, {B, 2}}), kThreeFour), "4 8");
  // Starting on the third beat of a 3/4 bar it runs into the next bar: tied.
  EXPECT_EQ(written(tune({{A, 2}, {B, 2}}), kThreeFour), "8 4~ | 4");
}

TEST(TabNoteValueTest, WholeOnlyFromTheStartOfAFourFourBar) {
  EXPECT_EQ(written(tune({{A, 4}}), kFourFour), "16");
  EXPECT_EQ(written(tune({{A, 1}, {B, 4}, {A, 3}}), kFourFour), "4 8~ 4~ | 4 8~ 4");
  EXPECT_EQ(written(tune({{A, 4}}), kThreeFour), "8.~ | 4");
}

TEST(TabNoteValueTest, DottedHalfFromABarsStartButNotOverTheMiddleOfFourFour) {
  EXPECT_EQ(written(tune({{A, 3}}), kThreeFour), "8.");
  EXPECT_EQ(written(tune({{A, 3}, {B, 1}}), kFourFour), "8. 4");
  EXPECT_EQ(written(tune({{A, 1}, {B, 3}}), kFourFour), "4 8~ 4");
}

TEST(TabNoteValueTest, DottedQuarterOnABeatAndTiedFromAnOffBeat) {
  EXPECT_EQ(written(tune({{A, 3}, {B, 1}, {A, 3}, {B, 1}}), kEighths), "4. 2 4. 2");
  EXPECT_EQ(written(tune({{A, 2}, {B, 3}, {A, 1}, {B, 2}}), kEighths), "4 4. 2 4");
  EXPECT_EQ(written(tune({{A, 1}, {B, 3}, {A, 4}}), kEighths), "2 2~ 4 8");
}

TEST(TabNoteValueTest, EighthsOnAGridOfEighths) {
  EXPECT_EQ(written(tune({{A, 1}, {B, 1}, {A, 1}, {B, 1}}), Meter{2, 2, 0, 0}), "2 2 2 2");
  // A quarter from the off-beat crosses the beat: two tied eighths.
  EXPECT_EQ(written(tune({{A, 1}, {B, 2}, {A, 1}}), Meter{2, 2, 0, 0}), "2 2~ 2 2");
}

TEST(TabNoteValueTest, SixteenthsOnAGridOfSixteenths) {
  EXPECT_EQ(written(tune({{A, 1}, {B, 1}, {A, 1}, {B, 1}, {A, 2}, {B, 2}}), kSixteenths),
            "1 1 1 1 2 2");
  EXPECT_EQ(written(tune({{A, 1}, {B, 4}, {A, 3}}), kSixteenths), "1 2.~ 1 2.");
}

TEST(TabNoteValueTest, DottedEighthInsideItsBeat) {
  EXPECT_EQ(written(tune({{A, 3}, {B, 1}}), kSixteenths), "2. 1");
  EXPECT_EQ(written(tune({{A, 1}, {B, 3}}), kSixteenths), "1 2.");
  EXPECT_EQ(written(tune({{A, 2}, {B, 3}, {A, 3}}), kSixteenths), "2 2~ 1 2.");
}

// ---- Ties, the pickup, rests and beams

TEST(TabRhythmTest, AChordHeldOverABarLineIsTiedAndEachPieceKeepsItsEvents) {
  const auto bars = notateRhythm(tune({{A, 2}, {B, 4}}), kFourFour);
  ASSERT_EQ(bars.size(), 2u);
  ASSERT_EQ(bars[0].items.size(), 2u);
  const RhythmItem& before = bars[0].items[1];
  const RhythmItem& after = bars[1].items.at(0);
  EXPECT_TRUE(before.tiedToNext);
  EXPECT_FALSE(after.tiedToNext);
  EXPECT_EQ(before.buttonLine, B);
  EXPECT_EQ(after.buttonLine, B);
  // Events 3 to 6 are the chord and its three ringing rests: two on each side of the line.
  EXPECT_EQ(std::make_pair(before.event, before.lastEvent), std::make_pair(3, 4));
  EXPECT_EQ(std::make_pair(after.event, after.lastEvent), std::make_pair(5, 6));
  EXPECT_EQ(written(tune({{A, 8}}), kFourFour), "16~ | 16");
  EXPECT_EQ(written(tune({{A, 2}}), Meter{4, 1, 1, 0}), "4~ | 4");  // out of the pickup
}

TEST(TabRhythmTest, ThePickupIsBarZeroCountedToItsEnd) {
  // A pickup as long as a bar (which no meter file can hold) makes the meter none at all.
  EXPECT_EQ(written({A, B, A, B, A}, Meter{4, 1, 4, 0}), written({A, B, A, B, A}, kFourFour));
  const Meter meter{3, 1, 1, 0};  // a pickup of one beat in 3/4
  EXPECT_EQ(written({A, B, A, B, A}, meter), "4 | 4 4 4 | 4");
  const auto bars = notateRhythm({A, B, A, B, A}, meter);
  ASSERT_EQ(bars.size(), 3u);
  EXPECT_EQ(bars[0].number, 0);
  EXPECT_EQ(bars[0].length, 4);
  EXPECT_EQ(bars[0].items[0].offset, 8);  // the last beat of a bar
  EXPECT_EQ(bars[1].number, 1);
  EXPECT_EQ(bars[1].start, 4);
  EXPECT_EQ(bars[2].length, 4);  // the record ends in its bar
  // Three eighths before 4/4: the first alone on the second beat, the others beamed.
  const Meter eighths{4, 2, 3, 0};
  const auto upbeat = notateRhythm(tune({{A, 1}, {B, 1}, {A, 1}, {B, 8}}), eighths);
  ASSERT_EQ(upbeat[0].items.size(), 3u);
  EXPECT_EQ(upbeat[0].beams, (std::vector<std::pair<int, int>>{{1, 2}}));
  // Every item's place in its bar is the meter's place of its step.
  for (const RhythmBar& bar : upbeat)
    for (const RhythmItem& item : bar.items)
      EXPECT_EQ(item.offset, barPlaceOf(eighths, item.start / 2).step * 2) << item.start;
}

TEST(TabRhythmTest, RestsStandOnTheirOwnGridAndAWholeBarIsOneRest) {
  EXPECT_EQ(written(tune({{"", 2}, {A, 2}}), kFourFour), "r8 8");
  EXPECT_EQ(written(tune({{A, 1}, {"", 2}, {A, 1}}), kFourFour), "4 r4 r4 4");
  EXPECT_EQ(written(tune({{"", 3}, {A, 1}}), kFourFour), "r8 r4 4");
  EXPECT_EQ(written(tune({{A, 1}, {"", 3}}), kFourFour), "4 r4 r8");
  EXPECT_EQ(written(tune({{A, 1}, {"", 3}, {A, 4}}), kEighths), "2 r2 r4 8");
  EXPECT_EQ(written(tune({{A, 3}, {"", 3}, {A, 2}}), kFourFour), "8. r4 | r8 8");
  EXPECT_EQ(written(tune({{"", 3}}), kThreeFour), "R");
  EXPECT_EQ(written(tune({{A, 4}, {"", 4}, {A, 4}}), kFourFour), "16 | R | 16");
  // Silent rests and ringing rests with nothing to ring are one silence.
  const auto bars = notateRhythm({kBreakMute, kBreakPlay, kBreakMute, kBreakMute}, kFourFour);
  ASSERT_EQ(bars.size(), 1u);
  ASSERT_EQ(bars[0].items.size(), 1u);
  EXPECT_TRUE(bars[0].items[0].barRest);
  EXPECT_EQ(std::make_pair(bars[0].items[0].event, bars[0].items[0].lastEvent),
            std::make_pair(1, 4));
}

TEST(TabRhythmTest, ShortNotesOfOneBeatShareABeamThatRestsAndLongNotesBreak) {
  const auto eighths = notateRhythm(tune({{A, 1}, {B, 1}, {A, 1}, {B, 1}, {A, 1}, {B, 1}}),
                                    kEighths);
  EXPECT_EQ(eighths[0].beams, (std::vector<std::pair<int, int>>{{0, 1}, {2, 3}, {4, 5}}));
  // A rest leaves its beat's eighth alone; a quarter belongs to no beam.
  const auto broken =
      notateRhythm(tune({{A, 1}, {"", 1}, {A, 1}, {A, 1}, {A, 2}, {A, 1}, {B, 1}}), kEighths);
  EXPECT_EQ(broken[0].beams, (std::vector<std::pair<int, int>>{{2, 3}, {5, 6}}));
  // Sixteenths and an eighth fill one beat; a dotted eighth and its sixteenth the next.
  const auto sixteenths =
      notateRhythm(tune({{A, 1}, {B, 1}, {A, 2}, {B, 3}, {A, 1}}), kSixteenths);
  EXPECT_EQ(sixteenths[0].beams, (std::vector<std::pair<int, int>>{{0, 2}, {3, 4}}));
  EXPECT_TRUE(notateRhythm({}, kFourFour).empty());
}
