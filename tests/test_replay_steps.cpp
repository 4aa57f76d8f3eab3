// The replay on its own: the steps it takes through a span in each mode, where passes end and
// begin, the count-in before the first event, the dry run of a load, and what a chord's lines
// give. No window: plain replay variables.
#include <gtest/gtest.h>

#include <vector>

#include "records/record_format.h"
#include "replay/replay.h"

using namespace tastrello;

namespace {

class ReplayStepTest : public ::testing::Test {
 protected:
  /// A record of `events` chords (button lines "10/", "11/" ...) loaded as replay sees it.
  void load(int events) {
    for (int k = 1; k <= events; ++k) {
      v.eventButtonLines[std::size_t(k)] = std::to_string(9 + k) + "/";
      v.eventNameLines[std::size_t(k)] = "c" + std::to_string(k) + "/";
    }
    v.replayEnd = events + 1;
    v.replayStep = 1;  // as the window starts: forwards
  }
  /// The position after each of `n` steps, with the kind of each step.
  std::vector<int> positions(int n, const ReplayRules& rules) {
    std::vector<int> seen;
    for (int i = 0; i < n; ++i) {
      kinds.push_back(replay.advance(rules).kind);
      seen.push_back(v.replayPosition);
    }
    return seen;
  }
  ReplayVariables v;
  Replay replay{v};
  std::vector<ReplayStepKind> kinds;
};

TEST_F(ReplayStepTest, SingleLoopsThroughTheSpanAndEachTurnIsAPassEnd) {
  load(3);
  EXPECT_EQ(positions(9, {1, 3}), (std::vector<int>{1, 2, 3, 0, 1, 2, 3, 0, 1}));
  EXPECT_EQ(kinds[3], ReplayStepKind::PassEnds);
  EXPECT_EQ(kinds[0], ReplayStepKind::Chord);
}

TEST_F(ReplayStepTest, RepeatTurnsAtBothEndsOfASectionAndNeverLeavesIt) {
  load(8);
  v.replayMode = ReplayMode::Repeat;
  v.replayPosition = 2;  // stopped before the section 3..5
  const auto seen = positions(12, {3, 5});
  EXPECT_EQ(seen, (std::vector<int>{3, 4, 5, 6, 5, 4, 3, 2, 3, 4, 5, 6}));
  EXPECT_EQ(kinds[3], ReplayStepKind::PassEnds);
  EXPECT_EQ(kinds[7], ReplayStepKind::TurnsBack);
  for (std::size_t i = 0; i < seen.size(); ++i) {
    if (kinds[i] == ReplayStepKind::Chord) {
      EXPECT_GE(seen[i], 3);
      EXPECT_LE(seen[i], 5);
    }
  }
}

TEST_F(ReplayStepTest, PracticeGoesForwardsInRepeatModeAndScoresAPassFromItsFirstEvent) {
  load(4);
  v.replayMode = ReplayMode::Repeat;
  const ReplayRules waits{2, 3, true, false};
  v.replayPosition = 1;
  std::vector<bool> begins;
  std::vector<int> seen;
  for (int i = 0; i < 6; ++i) {
    const ReplayStep step = replay.advance(waits);
    begins.push_back(step.passBegins);
    seen.push_back(v.replayPosition);
  }
  EXPECT_EQ(seen, (std::vector<int>{2, 3, 1, 2, 3, 1}));
  EXPECT_EQ(begins, (std::vector<bool>{true, false, false, true, false, false}));
  // Plain replay scores nothing.
  v.replayPosition = 1;
  v.replayMode = ReplayMode::Single;
  EXPECT_FALSE(replay.advance({2, 3}).passBegins);
}

TEST_F(ReplayStepTest, PlayingAlongEndsAPassWithoutTurningAndTheCountInPlacesTheNext) {
  load(4);
  const ReplayRules along{2, 3, false, true};
  replay.countIn(2, along.first);
  EXPECT_EQ(v.replayPosition, 0);
  ReplayStep step = replay.advance(along);
  EXPECT_EQ(step.kind, ReplayStepKind::Quiet);  // counted in: event 1 is outside the span
  EXPECT_TRUE(step.countInRan);
  EXPECT_EQ(replay.countInLeft(), 1);
  step = replay.advance(along);
  EXPECT_EQ(step.kind, ReplayStepKind::Chord);
  EXPECT_TRUE(step.passBegins);
  EXPECT_EQ(replay.countInLeft(), 0);
  replay.advance(along);
  step = replay.advance(along);
  EXPECT_EQ(step.kind, ReplayStepKind::PassEnds);
  EXPECT_TRUE(step.countsInAgain);
  EXPECT_EQ(v.replayPosition, 4) << "the position waits for the count-in";
  EXPECT_FALSE(step.countInRan);
}

TEST_F(ReplayStepTest, ACountInLongerThanTheRecordBeforeTheSpanStaysQuietUntilTheFirstEvent) {
  load(2);
  replay.countIn(8, 1);
  std::vector<ReplayStepKind> seen;
  for (int i = 0; i < 8; ++i) seen.push_back(replay.advance({1, 2, true, false}).kind);
  std::vector<ReplayStepKind> expected(7, ReplayStepKind::Quiet);
  expected.push_back(ReplayStepKind::Chord);
  EXPECT_EQ(seen, expected);
}

TEST_F(ReplayStepTest, TheDryRunWalksTheWholeRecordOnceAndStandsAtItsStart) {
  load(3);
  v.replayMode = ReplayMode::Test;
  EXPECT_EQ(positions(4, {2, 2}), (std::vector<int>{1, 2, 3, 0}));
  EXPECT_EQ(kinds.back(), ReplayStepKind::DryRunDone);
  EXPECT_TRUE(v.testPassDone);
}

TEST_F(ReplayStepTest, RestsAreTheirKindAndLeaveTheChordPlayedLast) {
  load(3);
  v.eventButtonLines[2] = kBreakPlay;
  v.eventButtonLines[3] = kBreakMute;
  EXPECT_EQ(replay.advance({1, 3}).kind, ReplayStepKind::Chord);
  EXPECT_EQ(replay.advance({1, 3}).kind, ReplayStepKind::RingingRest);
  EXPECT_EQ(replay.advance({1, 3}).kind, ReplayStepKind::SilentRest);
  EXPECT_EQ(v.chordButtons[1], 10);
  EXPECT_EQ(v.chordNames[1], "c1");
}

TEST_F(ReplayStepTest, StepsPastTheTablesPlayNothing) {
  load(3);
  v.replayEnd = kMaxEvents + 5;  // a span reaching past the tables
  v.replayPosition = kMaxEvents;
  EXPECT_EQ(replay.advance({1, kMaxEvents + 3}).kind, ReplayStepKind::Quiet);
  EXPECT_EQ(v.replayPosition, kMaxEvents + 1);
}

TEST_F(ReplayStepTest, StopForgetsTheCountInAndStartsBeforeTheFirstEventForwards) {
  load(3);
  v.replayMode = ReplayMode::Repeat;
  v.replayStep = -1;
  v.replayPosition = 2;
  v.replayStarted = true;
  replay.countIn(4, 1);
  replay.stop();
  EXPECT_EQ(replay.countInLeft(), 0);
  EXPECT_EQ(v.replayPosition, 0);
  EXPECT_EQ(v.replayStep, 1);
  EXPECT_FALSE(v.replayStarted);
}

TEST(ChordOfLinesTest, FourFieldsOfButtonsAndNamesAndEmptyFieldsAsNone) {
  const auto [buttons, names] = chordOfLines("44/47/ 5/", "g1/h1/Cis/");
  EXPECT_EQ(buttons[1], 44);
  EXPECT_EQ(buttons[2], 47);
  EXPECT_EQ(buttons[3], 5);
  EXPECT_EQ(buttons[4], 0);
  EXPECT_EQ(names[3], "Cis");
  EXPECT_EQ(names[4], "");
}

}  // namespace
