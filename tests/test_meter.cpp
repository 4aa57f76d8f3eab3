// A record's meter file and its events laid on the grid.
#include <gtest/gtest.h>

#include "records/meter.h"
#include "records/record_format.h"
#include "shell/text.h"

using namespace tastrello;

TEST(MeterFileTest, WhatIsWrittenReadsBackTheSame) {
  for (const Meter m : {Meter{}, Meter{3, 2, 1, 0}, Meter{6, 4, 23, 96}, Meter{12, 1, 11, 300}}) {
    std::string problem;
    EXPECT_EQ(parseMeter(formatMeter(m), problem), m) << formatMeter(m);
    EXPECT_EQ(problem, "");
  }
  EXPECT_EQ(formatMeter(Meter{3, 2, 1, 96}), "METER;beats=3;steps=2;pickup=1\r\nTEMPO;bpm=96\r\n");
}

TEST(MeterFileTest, ImpossibleMetersAreRefusedWithTheLine) {
  for (const char* line : {"METER;beats=4;steps=3;pickup=0", "METER;beats=0;steps=1;pickup=0",
                           "METER;beats=4;steps=1;pickup=4", "METER;beats=4;steps=1;pickup=-1",
                           "METER;beats=4;steps=1", "METER;beats=4;steps=1;pickup=0;extra=1",
                           "METER;beats=4;steps=1;pickup=0x", "METER;beats=4;beats=4;pickup=0",
                           "METER;beats=99999999999;steps=1;pickup=0"}) {
    std::string problem;
    EXPECT_FALSE(parseMeter(line, problem)) << line;
    EXPECT_NE(problem.find(line), std::string::npos) << problem;
  }
  std::string problem;
  EXPECT_FALSE(parseMeter("", problem));
  EXPECT_EQ(problem, "no METER line");
}

TEST(MeterFileTest, CommentsAndUnknownKindsAreSkippedAndTheLastValidLineWins) {
  std::string problem;
  const auto m = parseMeter(
      "# written by hand\nSWING;amount=2\nMETER;beats=3;steps=1;pickup=0\nTEMPO;bpm=5000\n"
      "METER;beats=6;steps=2;pickup=3\r\nMETER;beats=0;steps=1;pickup=0\n",
      problem);
  ASSERT_TRUE(m);
  EXPECT_EQ(*m, (Meter{6, 2, 3, 0}));  // the tempo out of range is none
}

TEST(MeterFileTest, ALineOfAKnownKindThatIsNotUsedIsNamedAndTheMeterStillCounts) {
  for (const char* tempo :
       {"TEMPO;bpm=301", "TEMPO;bpm=19", "TEMPO;bpm=0", "TEMPO;bpm=-120", "TEMPO;bpm=99999999999",
        "TEMPO;bpm=", "TEMPO;speed=90", "TEMPO;bpm=90;bpm=90", "TEMPO"}) {
    std::string problem;
    const auto m = parseMeter(joinLines({"METER;beats=3;steps=2;pickup=1", tempo}), problem);
    ASSERT_TRUE(m) << tempo;
    EXPECT_EQ(*m, (Meter{3, 2, 1, 0})) << tempo;
    EXPECT_NE(problem.find(tempo), std::string::npos) << problem;
  }
  // The edges of the range are tempi.
  for (int bpm : {kSlowestTempo, kFastestTempo}) {
    std::string problem;
    const auto m =
        parseMeter("METER;beats=4;steps=1;pickup=0\nTEMPO;bpm=" + std::to_string(bpm), problem);
    EXPECT_EQ(m, (Meter{4, 1, 0, bpm}));
    EXPECT_EQ(problem, "");
  }
  // A later valid line still wins, and each refused one is still named.
  std::string problem;
  EXPECT_EQ(parseMeter("METER;beats=4;steps=1;pickup=0\nTEMPO;bpm=500\nTEMPO;bpm=96\n"
                       "METER;beats=0;steps=1;pickup=0\n",
                       problem),
            (Meter{4, 1, 0, 96}));
  EXPECT_NE(problem.find("TEMPO;bpm=500"), std::string::npos) << problem;
  EXPECT_NE(problem.find("METER;beats=0;steps=1;pickup=0"), std::string::npos) << problem;
  // Without a METER line the file is refused for that, whatever its TEMPO lines say.
  EXPECT_FALSE(parseMeter("TEMPO;bpm=500\n", problem));
  EXPECT_EQ(problem, "no METER line");
}

TEST(TimelineTest, RingingRestsLengthenTheChordAndSilentRestsAreSilence) {
  const std::vector<std::string> events{"44/",      kBreakPlay, kBreakPlay, "47/50/",
                                        kBreakMute, kBreakPlay, "10/",      kBreakMute};
  EXPECT_EQ(timeline(events), (std::vector<TimedEvent>{{1, 0, 3, false},
                                                       {4, 3, 1, false},
                                                       {5, 4, 1, true},
                                                       {6, 5, 1, true},
                                                       {7, 6, 1, false},
                                                       {8, 7, 1, true}}));
}

TEST(TimelineTest, ARecordOpeningWithARingingRestOpensWithSilence) {
  EXPECT_EQ(timeline({kBreakPlay, kBreakPlay, "44/"}),
            (std::vector<TimedEvent>{{1, 0, 1, true}, {2, 1, 1, true}, {3, 2, 1, false}}));
  EXPECT_TRUE(timeline({}).empty());
}

TEST(TimelineTest, EveryStepBelongsToExactlyOneEvent) {
  // Whatever the mix of chords and rests, the events tile the record's steps without gaps.
  const std::vector<std::string> kinds{"44/", kBreakPlay, kBreakMute};
  for (unsigned seed = 1; seed < 200; ++seed) {
    std::vector<std::string> events;
    unsigned x = seed;
    for (int i = 0; i < 30; ++i) {
      x = x * 1103515245u + 12345u;
      events.push_back(kinds[(x >> 16) % 3]);
    }
    long long next = 0;
    for (const auto& e : timeline(events)) {
      EXPECT_EQ(e.step, next);
      EXPECT_EQ(e.event, e.step + 1);
      next += e.steps;
    }
    EXPECT_EQ(next, 30);
  }
}

TEST(BarPlaceTest, StepsCountIntoBarsAfterThePickup) {
  const Meter threeFourEighths{3, 2, 2, 0};  // 6 steps a bar, a pickup of one beat
  EXPECT_EQ(barPlaceOf(threeFourEighths, 0), (BarPlace{0, 4}));
  EXPECT_EQ(barPlaceOf(threeFourEighths, 1), (BarPlace{0, 5}));
  EXPECT_EQ(barPlaceOf(threeFourEighths, 2), (BarPlace{1, 0}));
  EXPECT_EQ(barPlaceOf(threeFourEighths, 7), (BarPlace{1, 5}));
  EXPECT_EQ(barPlaceOf(threeFourEighths, 8), (BarPlace{2, 0}));
  EXPECT_EQ(barPlaceOf(Meter{}, 9), (BarPlace{3, 1}));
}
