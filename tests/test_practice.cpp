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

TEST(TempoRampTest, EachStepRaisesByItsShareAtLeastOneBeatAndNeverPastTheTarget) {
  const TempoRamp ramp{80, 100, 4, 2};
  EXPECT_EQ(raisedTempo(ramp, 80), 83);  // 3.2 beats rounded
  EXPECT_EQ(raisedTempo(ramp, 98), 100);
  EXPECT_EQ(raisedTempo(ramp, 100), 100);
  EXPECT_EQ(raisedTempo(TempoRamp{20, 40, 1, 2}, 20), 21);  // a share below one beat
  // The step counts from where the tempo stands: higher tempi rise by more beats.
  EXPECT_EQ(raisedTempo(TempoRamp{100, 300, 10, 1}, 200), 220);
}

TEST(TempoRampTest, TheSliderValuesOfOldHistoriesBecomeBeatsPerMinute) {
  // One event a beat at the replay's interval for the value (1150 ms at 20), held within the
  // practice tempi (5150 ms at 0 and 150 ms at 25 are beyond them).
  EXPECT_EQ(tempoOfSliderValue(20), 52);
  EXPECT_EQ(tempoOfSliderValue(24), 171);
  EXPECT_EQ(tempoOfSliderValue(25), kFastestTempo);
  EXPECT_EQ(tempoOfSliderValue(0), kSlowestTempo);
  EXPECT_LT(tempoOfSliderValue(14), tempoOfSliderValue(15));
  EXPECT_EQ(tempoOfSliderValue(99), tempoOfSliderValue(25));
}

TEST(HistoryTest, PassesAndTheRampReadBackAndDamagedLinesAreSkippedAndNamed) {
  History history;
  history.ramp = TempoRamp{60, 90, 5, 3};
  history.passes.push_back({"2026-12-08 19:40", 72, 1, 31, {31, 29, 2, 1, 45.2}});
  history.passes.push_back({"2026-12-08 19:42", 72, 5, 12, {8, 8, 0, 0, 9.0}});
  history.order = {false, false};
  const std::string bytes = formatHistory(history);
  std::vector<int> damaged;
  EXPECT_EQ(parseHistory(bytes, damaged), history);
  EXPECT_TRUE(damaged.empty());

  const std::string hurt = joinLines(
      {"# comment", formatPass(history.passes[0]), "PASS;x;tempo=99", "garbage", "",
       "PASS;2026;tempo=3;section=5-2;events=1;first=1;buttons=0;directions=0;seconds=1.0",
       "PASS;2026;tempo=3;section=1-2;events=1;first=2;buttons=0;directions=0;seconds=1.0",
       "PASS;2026;tempo=3;section=1-2;events=1;first=1;buttons=0;directions=0;seconds=nan",
       "RAMP;start=20;target=10;step=1;clean=1", formatPass(history.passes[1]),
       "PASS;2026;bpm=19;section=1-2;events=1;first=1;buttons=0;directions=0;seconds=1.0",
       "RAMP;from=90;to=80;percent=5;clean=1", "RAMP;from=80;to=90;percent=0;clean=1"});
  damaged.clear();
  const History read = parseHistory(hurt, damaged);
  EXPECT_EQ(read.passes, history.passes);
  EXPECT_FALSE(read.ramp);
  EXPECT_EQ(damaged, (std::vector<int>{3, 4, 6, 7, 8, 9, 11, 12, 13}));
  EXPECT_EQ(historyFileName("Lessons_2 Alle meine Entchen.txt"),
            "Practice_Lessons_2 Alle meine Entchen.txt");
}

TEST(HistoryTest, ThePassTimeIsReadAsAPlainDecimalWithAPointOrAComma) {
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
  EXPECT_EQ(secondsOf("1,5"), 1.5);  // as 1.3 wrote it on a German desktop
  for (const char* bad : {"", ".", "1.", ".5", "-1.0", "+1.0", "1e3", "1.2.3", "inf", " 1.0",
                          "1,5,0", "0x10"})
    EXPECT_EQ(secondsOf(bad), std::nullopt) << bad;
}

TEST(JudgeTest, EachHeldButtonIsRightWrongOrTheRightPlaceInTheOtherBlock) {
  EXPECT_EQ(judgeButton({44, 47}, 47), Verdict::Right);
  EXPECT_EQ(judgeButton({44, 47}, 13), Verdict::WrongDirection);
  EXPECT_EQ(judgeButton({44, 47}, 12), Verdict::WrongButton);
  EXPECT_EQ(judgeButton({10}, 44), Verdict::WrongDirection);
}

TEST(RampTest, TheTempoComesFromThePassesAtTheTempoInForceOnly) {
  const TempoRamp ramp{80, 90, 5, 2};
  auto pass = [](int tempo, bool clean) { return RampPass{tempo, clean}; };
  using Passes = std::vector<RampPass>;
  EXPECT_EQ(rampTempo(ramp, Passes{}), 80);
  EXPECT_EQ(rampTempo(ramp, Passes{pass(80, true)}), 80);
  EXPECT_EQ(rampTempo(ramp, Passes{pass(80, true), pass(80, true)}), 84);
  // Clean passes at an earlier tempo do not count towards the next step.
  EXPECT_EQ(rampTempo(ramp, Passes{pass(80, true), pass(80, true), pass(84, true)}), 84);
  EXPECT_EQ(rampTempo(ramp, Passes{pass(84, true), pass(84, false), pass(84, true)}), 84);
  EXPECT_EQ(rampTempo(ramp, Passes{pass(88, true), pass(88, true)}), 90);
  // A pass played outside the ramp (the tempo moved by hand) is held inside it.
  EXPECT_EQ(rampTempo(ramp, Passes{pass(200, true), pass(200, true)}), 90);
  EXPECT_EQ(rampTempo(ramp, Passes{pass(30, true), pass(30, true)}), 80);
  EXPECT_EQ(rampTempo(ramp, Passes{pass(90, true), pass(90, true)}), 90);
}

TEST(RampTest, PassesWaitedForAndPassesPlayedAlongEachKeepTheirOwnSteps) {
  std::vector<int> damaged;
  const std::string waited =
      "PASS;2026-12-08 19:40;bpm=80;section=1-2;events=2;first=2;buttons=0;directions=0;"
      "seconds=4.0";
  PlayAlongPass along;
  along.when = "2026-12-08 19:41";
  along.bpm = 70;
  along.last = 2;
  along.score.chords = 2;
  along.score.onTime = 2;
  const History h = parseHistory(joinLines({"RAMP;from=70;to=90;percent=5;clean=2", waited,
                                            formatPlayAlongPass(along), waited,
                                            formatPlayAlongPass(along)}),
                                 damaged);
  ASSERT_TRUE(damaged.empty());
  EXPECT_EQ(h.order, (std::vector<bool>{false, true, false, true}));
  EXPECT_EQ(rampTempo(*h.ramp, h.rampSteps(false)), 84);
  EXPECT_EQ(rampTempo(*h.ramp, h.rampSteps(true)), 74);
  // Written back, the passes keep their order and the ramp its place.
  EXPECT_EQ(parseHistory(formatHistory(h), damaged), h);
  EXPECT_TRUE(damaged.empty());
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
      "PASS;2026-12-08 19:40;bpm=90;section=1-2;events=2;first=2;buttons=0;directions=0;"
      "seconds=4.0";
  std::vector<int> damaged;
  History h = parseHistory(
      pass + "\r\n" + pass + "\r\nRAMP;from=85;to=120;percent=4;clean=2\r\n" + pass + "\r\n",
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
