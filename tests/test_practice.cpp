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

TEST(HistoryTest, ThePassTimeIsReadAsAPlainDecimalOnly) {
  const auto secondsOf = [](const std::string& value) -> std::optional<double> {
    std::vector<int> damaged;
    const History h = parseHistory(
        "PASS;2026;tempo=3;section=1-2;events=1;first=1;buttons=0;directions=0;seconds=" + value,
        damaged);
    if (h.passes.empty()) return std::nullopt;
    return h.passes[0].score.seconds;
  };
  EXPECT_EQ(secondsOf("0"), 0.0);
  EXPECT_EQ(secondsOf("12.5"), 12.5);
  EXPECT_EQ(secondsOf("12.34"), 12.3);  // kept to a tenth, as written
  EXPECT_EQ(secondsOf("10000000.5"), std::nullopt);
  EXPECT_EQ(secondsOf("007.0"), 7.0);
  for (const char* bad : {"", ".", "1.", ".5", "-1.0", "+1.0", "1e3", "1.2.3", "inf", " 1.0",
                          "1,5", "0x10"})
    EXPECT_EQ(secondsOf(bad), std::nullopt) << bad;
}

TEST(JudgeTest, EachHeldButtonIsRightWrongOrTheRightPlaceInTheOtherBlock) {
  EXPECT_EQ(judgeButton({44, 47}, 47), Verdict::Right);
  EXPECT_EQ(judgeButton({44, 47}, 13), Verdict::WrongDirection);
  EXPECT_EQ(judgeButton({44, 47}, 12), Verdict::WrongButton);
  EXPECT_EQ(judgeButton({10}, 44), Verdict::WrongDirection);
}

TEST(RampTest, TheTempoComesFromThePassesAtTheTempoInForceOnly) {
  const TempoRamp ramp{15, 18, 1, 2};
  auto pass = [](int tempo, bool clean) {
    PassRecord p;
    p.tempo = tempo;
    p.score = {4, clean ? 4 : 3, clean ? 0 : 1, 0, 10};
    return p;
  };
  EXPECT_EQ(rampTempo(ramp, {}), 15);
  EXPECT_EQ(rampTempo(ramp, {pass(15, true)}), 15);
  EXPECT_EQ(rampTempo(ramp, {pass(15, true), pass(15, true)}), 16);
  // Clean passes at an earlier tempo do not count towards the next step.
  EXPECT_EQ(rampTempo(ramp, {pass(15, true), pass(15, true), pass(16, true)}), 16);
  EXPECT_EQ(rampTempo(ramp, {pass(16, true), pass(16, false), pass(16, true)}), 16);
  // A pass played outside the ramp (the slider moved by hand) is held inside it.
  EXPECT_EQ(rampTempo(ramp, {pass(25, true), pass(25, true)}), 18);
  EXPECT_EQ(rampTempo(ramp, {pass(3, true), pass(3, true)}), 15);
  EXPECT_EQ(rampTempo(ramp, {pass(18, true), pass(18, true)}), 18);
}

TEST(SectionTest, ASpanStaysInsideTheRecordWhateverWasMarked) {
  EXPECT_EQ(Section{}.span(7), (std::pair<int, int>{1, 7}));
  EXPECT_EQ((Section{3, 5}.span(7)), (std::pair<int, int>{3, 5}));
  EXPECT_EQ((Section{3, 9}.span(7)), (std::pair<int, int>{3, 7}));
  EXPECT_EQ((Section{9, 12}.span(7)), (std::pair<int, int>{7, 7}));
  EXPECT_EQ((Section{3, 5}.span(0)), (std::pair<int, int>{1, 0}));
}

TEST(HistoryFileTest, ARampLineHoldsFromWhereItStandsAndOffEndsIt) {
  const std::string pass =
      "PASS;2026-12-08 19:40;tempo=15;section=1-2;events=2;first=2;buttons=0;directions=0;"
      "seconds=4.0";
  std::vector<int> damaged;
  History h = parseHistory(
      pass + "\r\n" + pass + "\r\nRAMP;start=15;target=20;step=1;clean=2\r\n" + pass + "\r\n",
      damaged);
  EXPECT_TRUE(damaged.empty());
  ASSERT_TRUE(h.ramp);
  EXPECT_EQ(h.rampFrom, 2u);
  EXPECT_EQ(h.rampPasses().size(), 1u);
  EXPECT_EQ(parseHistory(formatHistory(h), damaged), h);
  h = parseHistory(formatHistory(h) + "RAMP;off\r\n", damaged);
  EXPECT_FALSE(h.ramp);
  EXPECT_EQ(h.rampPasses().size(), 3u);
  EXPECT_TRUE(damaged.empty());
  parseHistory("RAMP;of\r\nRAMP;off;x=1\r\n", damaged);
  EXPECT_EQ(damaged, (std::vector<int>{1, 2}));
}
