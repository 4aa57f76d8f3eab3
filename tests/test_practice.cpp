// Practice on plain data: verdicts from buttons and pitches, the score of a pass, the tempo
// ramp and the history file.
#include <gtest/gtest.h>

#include "practice/practice.h"
#include "shell/text.h"

using namespace tastrello;

TEST(JudgeTest, ButtonsAreRightOnlyWhenExactlyTheEventsInEitherOrder) {
  EXPECT_EQ(judgeButtons({44, 47}, {}), Verdict::Waiting);
  EXPECT_EQ(judgeButtons({44, 47}, {47}), Verdict::Waiting);  // partial: keep waiting
  EXPECT_EQ(judgeButtons({44, 47}, {47, 44}), Verdict::Right);
  EXPECT_EQ(judgeButtons({44, 47}, {44, 50}), Verdict::WrongButton);
  // The same places in the pull block: right buttons, wrong bellows direction.
  EXPECT_EQ(judgeButtons({44, 47}, {10}), Verdict::WrongDirection);
  EXPECT_EQ(judgeButtons({10}, {44}), Verdict::WrongDirection);
  EXPECT_EQ(judgeButtons({44}, {44, 44}), Verdict::Right);
}

TEST(JudgeTest, PitchesCountTheDirectionOnlyWhenTheInstrumentTellsIt) {
  EXPECT_EQ(judgePitches({60, 64}, true, {64, 60}, std::nullopt), Verdict::Right);
  EXPECT_EQ(judgePitches({60, 64}, true, {60}, std::nullopt), Verdict::Waiting);
  EXPECT_EQ(judgePitches({60, 64}, true, {61}, std::nullopt), Verdict::WrongButton);
  EXPECT_EQ(judgePitches({60, 64}, true, {60, 64}, false), Verdict::WrongDirection);
  EXPECT_EQ(judgePitches({60, 64}, true, {60, 64}, true), Verdict::Right);
}

TEST(PassCounterTest, FirstTriesAndWrongTriesAreCountedOncePerHolding) {
  PassCounter pass;
  pass.beginEvent();
  pass.judged(Verdict::Waiting);
  pass.judged(Verdict::Right);  // right at the first try
  pass.beginEvent();
  pass.judged(Verdict::WrongButton);
  pass.judged(Verdict::WrongButton);  // still the same wrong holding
  pass.judged(Verdict::WrongDirection);
  pass.judged(Verdict::Right);  // right, but not at the first try
  pass.beginEvent();
  pass.judged(Verdict::Right);
  pass.finish(12.5);
  EXPECT_EQ(pass.score(), (PassScore{3, 2, 1, 1, 12.5}));
  EXPECT_FALSE(pass.score().clean());
}

TEST(TempoRampTest, TheTempoRisesAfterCleanPassesUpToTheTarget) {
  const TempoRamp ramp{15, 18, 2, 2};
  const PassScore clean{4, 4, 0, 0, 10}, faulty{4, 3, 1, 0, 10};
  EXPECT_EQ(nextTempo(ramp, 15, {clean}), 15);  // one clean pass is not yet two
  EXPECT_EQ(nextTempo(ramp, 15, {faulty, clean, clean}), 17);
  EXPECT_EQ(nextTempo(ramp, 15, {clean, faulty}), 15);
  EXPECT_EQ(nextTempo(ramp, 17, {clean, clean}), 18);  // never past the target
  EXPECT_EQ(nextTempo(ramp, 18, {clean, clean}), 18);
}

TEST(HistoryTest, PassesAndTheRampReadBackAndDamagedLinesAreSkippedAndNamed) {
  History history;
  history.ramp = TempoRamp{12, 20, 1, 3};
  history.passes.push_back({"2026-12-08 19:40", 14, 1, 31, {31, 29, 2, 1, 45.2}});
  history.passes.push_back({"2026-12-08 19:42", 14, 5, 12, {8, 8, 0, 0, 9.0}});
  const std::string bytes = formatHistory(history);
  std::vector<int> damaged;
  EXPECT_EQ(parseHistory(bytes, damaged), history);
  EXPECT_TRUE(damaged.empty());

  const std::string hurt = joinLines(
      {"# comment", formatPass(history.passes[0]), "PASS;x;tempo=99", "garbage", "",
       "PASS;2026;tempo=3;section=5-2;events=1;first=1;buttons=0;directions=0;seconds=1.0",
       "PASS;2026;tempo=3;section=1-2;events=1;first=2;buttons=0;directions=0;seconds=1.0",
       "PASS;2026;tempo=3;section=1-2;events=1;first=1;buttons=0;directions=0;seconds=nan",
       "RAMP;start=20;target=10;step=1;clean=1", formatPass(history.passes[1])});
  damaged.clear();
  const History read = parseHistory(hurt, damaged);
  EXPECT_EQ(read.passes, history.passes);
  EXPECT_FALSE(read.ramp);
  EXPECT_EQ(damaged, (std::vector<int>{3, 4, 6, 7, 8, 9}));
  EXPECT_EQ(historyFileName("Lessons_2 Alle meine Entchen.txt"),
            "Practice_Lessons_2 Alle meine Entchen.txt");
}
