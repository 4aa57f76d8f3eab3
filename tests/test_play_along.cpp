// Playing along: each chord judged against its moment, the figures of a pass, its line in the
// history, and the learner's offset from tapping to clicks.
#include <gtest/gtest.h>

#include "practice/play_along.h"

using namespace tastrello;

namespace {

ChordDue chord(int event, double at, std::vector<int> buttons, double until = 0, int steps = 1) {
  return {event, at, until > 0 ? until : at + 0.5, std::move(buttons), steps};
}

}  // namespace

class PlayAlongJudgeTest : public ::testing::Test {
 protected:
  PlayAlongJudge judge{80, 0};
  /// Presses the buttons at `at` and lets them go a little later.
  void play(double at, const std::vector<int>& buttons, double holdFor = 0.1) {
    judge.held(at, buttons);
    judge.held(at + holdFor, {});
  }
};

TEST_F(PlayAlongJudgeTest, OnTimeIsInsideTheWindowAndItsEdgeEarlyAndLateBeyondWithTheirMs) {
  const struct {
    double at;
    Timing timing;
    int ms;
  } cases[] = {{10.0, Timing::OnTime, 0},   {10.080, Timing::OnTime, 80},
               {10.081, Timing::Late, 81},  {9.920, Timing::OnTime, -80},
               {9.919, Timing::Early, -81}, {10.250, Timing::Late, 250}};
  for (const auto& c : cases) {
    PlayAlongJudge j(80, 0);
    j.expect(chord(1, 10.0, {44}));
    j.held(c.at, {44});
    EXPECT_EQ(j.judge(c.at), (std::vector<TimedVerdict>{{1, c.timing, c.ms}})) << c.at;
    EXPECT_FALSE(j.pending()) << "a chord played right is judged at once";
  }
}

TEST_F(PlayAlongJudgeTest, AChordArrivesWhenItsLastButtonDoes) {
  judge.expect(chord(1, 10.0, {44, 47}));
  judge.held(9.98, {44});
  EXPECT_TRUE(judge.judge(10.0).empty());
  judge.held(10.06, {44, 47});
  EXPECT_EQ(judge.judge(10.06), (std::vector<TimedVerdict>{{1, Timing::OnTime, 60}}));
}

TEST_F(PlayAlongJudgeTest, TheOutputsLatencyAndTheLearnersOffsetAreTakenOut) {
  PlayAlongJudge late(50, 0.120);
  late.expect(chord(1, 10.0, {44}));
  late.held(10.120, {44});
  EXPECT_EQ(late.judge(10.2), (std::vector<TimedVerdict>{{1, Timing::OnTime, 0}}));
}

TEST_F(PlayAlongJudgeTest, NothingInItsTimeIsMissedOnceTheTimeIsPast) {
  judge.expect(chord(1, 10.0, {44}, 10.5));
  EXPECT_TRUE(judge.judge(10.2).empty());
  EXPECT_TRUE(judge.pending());
  EXPECT_EQ(judge.judge(10.26), (std::vector<TimedVerdict>{{1, Timing::Missed, 0}}));
  EXPECT_FALSE(judge.pending());
}

TEST_F(PlayAlongJudgeTest, AWrongButtonOrDirectionIsSaidOnceAChordAndTheRightOneStillCounts) {
  judge.expect(chord(1, 10.0, {44}));
  play(9.99, {10});   // the place of button 44 pulling: the wrong direction
  play(10.00, {11});  // a second wrong try: no second verdict
  judge.held(10.03, {44});
  EXPECT_EQ(judge.judge(10.1),
            (std::vector<TimedVerdict>{{1, Timing::WrongDirection, 0}, {1, Timing::OnTime, 30}}));
  judge.expect(chord(2, 11.0, {44}));
  play(11.0, {50});
  EXPECT_EQ(judge.judge(12.0), (std::vector<TimedVerdict>{{2, Timing::WrongButton, 0}}))
      << "a wrong try never put right is no missed chord besides";
}

TEST_F(PlayAlongJudgeTest, APressBelongsToTheChordWhoseMomentIsNearer) {
  judge.expect(chord(1, 10.0, {44}, 10.5));
  judge.expect(chord(2, 10.5, {47}, 11.0));
  play(10.2, {47});  // nearer the first chord: a wrong button there
  play(10.3, {47});  // nearer the second: early
  EXPECT_EQ(judge.judge(11.0),
            (std::vector<TimedVerdict>{{1, Timing::WrongButton, 0}, {2, Timing::Early, -200}}));
}

TEST_F(PlayAlongJudgeTest, APressBeforeItsChordIsHandedOverStillCountsForIt) {
  // Replay hands a chord over shortly before it sounds; a learner earlier than that has
  // already pressed when the chord arrives.
  judge.expect(chord(1, 10.0, {44}, 10.5));
  play(10.0, {44});
  judge.held(10.35, {47, 50});  // early for chord 2, which is not handed over yet
  judge.expect(chord(2, 10.5, {47, 50}, 11.0));
  EXPECT_EQ(judge.judge(10.5),
            (std::vector<TimedVerdict>{{1, Timing::OnTime, 0}, {2, Timing::Early, -150}}));
  // A press let go before its chord came still played it; one long before is forgotten.
  judge.held(10.6, {});
  judge.held(10.8, {53});
  judge.held(10.85, {});
  judge.expect(chord(3, 11.0, {53}, 11.5));
  EXPECT_EQ(judge.judge(11.5), (std::vector<TimedVerdict>{{3, Timing::Early, -200}}));
  judge.held(11.6, {56});
  judge.expect(chord(4, 13.0, {56}, 13.5));
  EXPECT_EQ(judge.judge(13.5), (std::vector<TimedVerdict>{{4, Timing::Missed, 0}}));
}

TEST_F(PlayAlongJudgeTest, AChordPlayedAndLetGoBeforeItWasHandedOverIsPlayedHoweverShort) {
  // Given: each chord pressed 60 ms before its moment and let go 20 ms before it, before
  // replay hands it over; the third rings on through two rests and so is let go too early.
  judge.expect(chord(1, 10.0, {44}, 10.5));
  play(10.0, {44});
  judge.held(10.44, {47, 50});
  judge.held(10.48, {50});
  judge.held(10.485, {});
  judge.expect(chord(2, 10.5, {47, 50}, 11.0));
  judge.held(10.94, {53});
  judge.held(10.98, {});
  judge.expect(chord(3, 11.0, {53}, 12.5, 3));
  EXPECT_EQ(judge.judge(11.0), (std::vector<TimedVerdict>{{1, Timing::OnTime, 0},
                                                          {2, Timing::OnTime, -60},
                                                          {3, Timing::OnTime, -60},
                                                          {3, Timing::LetGoEarly, 1520}}));
  EXPECT_FALSE(judge.pending());
}

TEST_F(PlayAlongJudgeTest, AStrokeNearerTheChordBeforeIsNoTryAtTheNext) {
  // Given: chord 1 played, judged and done with, then struck again; chord 2 is not handed over
  // yet. The stroke lies nearer chord 1's moment: no wrong button for chord 2.
  judge.expect(chord(1, 10.0, {44}, 10.5));
  play(10.0, {44});
  EXPECT_EQ(judge.judge(10.1), (std::vector<TimedVerdict>{{1, Timing::OnTime, 0}}));
  play(10.2, {44}, 0.03);
  judge.expect(chord(2, 10.5, {47}, 11.0));
  judge.held(10.5, {47});
  EXPECT_EQ(judge.judge(10.6), (std::vector<TimedVerdict>{{2, Timing::OnTime, 0}}));
}

TEST_F(PlayAlongJudgeTest, AChordOfButtonsPressedOneByOneBeforeItCameArrivesWithItsLast) {
  judge.expect(chord(1, 10.0, {44}, 10.5));
  play(10.0, {44});
  judge.held(10.30, {47});
  judge.held(10.40, {47, 50});
  judge.expect(chord(2, 10.5, {47, 50}, 11.0));
  EXPECT_EQ(judge.judge(10.5),
            (std::vector<TimedVerdict>{{1, Timing::OnTime, 0}, {2, Timing::Early, -100}}));
}

TEST_F(PlayAlongJudgeTest, AChordHeldThroughRingingRestsIsJudgedForItsHold) {
  judge.expect(chord(1, 10.0, {44, 47}, 11.5, 3));
  judge.held(10.0, {44, 47});
  judge.held(11.0, {44});  // one of its buttons let go half a second early
  EXPECT_EQ(judge.judge(11.0),
            (std::vector<TimedVerdict>{{1, Timing::OnTime, 0}, {1, Timing::LetGoEarly, 500}}));
  judge.held(11.2, {});
  judge.expect(chord(2, 12.0, {44}, 13.5, 3));
  judge.held(12.0, {44});
  judge.held(13.45, {});  // inside the last window of the hold: held long enough
  EXPECT_EQ(judge.judge(13.6), (std::vector<TimedVerdict>{{2, Timing::OnTime, 0}}));
  EXPECT_FALSE(judge.pending());
}

TEST(TimingScoreTest, ThePassCountsEveryChordOnceAndItsDeviations) {
  const auto s = scoreOf({{1, Timing::OnTime, 20},
                          {2, Timing::WrongButton, 0},
                          {2, Timing::Late, 100},
                          {3, Timing::Early, -120},
                          {4, Timing::Missed, 0},
                          {4, Timing::LetGoEarly, 300},
                          {5, Timing::OnTime, 0}});
  EXPECT_EQ(s.chords, 5);
  EXPECT_EQ(s.onTime, 2);
  EXPECT_EQ(s.early, 1);
  EXPECT_EQ(s.late, 1);
  EXPECT_EQ(s.missed, 1);
  EXPECT_EQ(s.wrongButtons, 1);
  EXPECT_EQ(s.letGoEarly, 1);
  EXPECT_EQ(s.meanMs, 0);     // (20 + 100 - 120 + 0) / 4
  EXPECT_EQ(s.spreadMs, 79);  // sqrt((400 + 10000 + 14400 + 0) / 4) = 78.7
  EXPECT_EQ(s.onTimePercent(), 40);
  EXPECT_FALSE(s.clean());
  EXPECT_TRUE(scoreOf({{1, Timing::OnTime, 5}}).clean());
  EXPECT_FALSE(TimingScore{}.clean());
}

TEST(PlayAlongLineTest, APassReadsBackAsWrittenAndDamagedLinesAreRefused) {
  const PlayAlongPass pass{"2026-12-09 18:00", 84, 3, 12, {10, 7, 1, 1, 1, 1, 0, 2, -14, 31}, 60};
  const std::string line = formatPlayAlongPass(pass);
  EXPECT_EQ(line,
            "PLAY;2026-12-09 18:00;bpm=84;section=3-12;chords=10;ontime=7;early=1;late=1;"
            "missed=1;buttons=1;directions=0;short=2;mean=-14;spread=31;window=60");
  EXPECT_EQ(parsePlayAlongPass(line), pass);
  for (const std::string& bad : std::vector<std::string>{
           line.substr(0, line.size() - 3), line + ";extra=1", "PASS" + line.substr(4),
           std::string(line).replace(line.find("ontime=7"), 8, "ontime=70"),
           std::string(line).replace(line.find("bpm=84"), 6, "bpm=8,4"),
           std::string(line).replace(line.find("3-12"), 4, "12-3"),
           std::string(line).replace(line.find("mean=-14"), 8, "mean=-1.4")})
    EXPECT_FALSE(parsePlayAlongPass(bad)) << bad;
}

TEST(TapCalibrationTest, TheOffsetIsTheMedianDistanceOfTheTapsFromTheirClicks) {
  std::vector<double> clicks;
  for (int i = 0; i < 8; ++i) clicks.push_back(1.0 + 0.5 * i);
  const std::vector<double> taps{1.03, 1.52, 2.04, 2.53, 3.03, 3.61 /* a stray */, 4.02};
  const auto offset = tapOffset(clicks, taps, 0.5);
  ASSERT_TRUE(offset);
  EXPECT_NEAR(*offset, 0.03, 1e-9);
  // A tap nearer the next click than its own counts for that one: -0.2 from 1.5.
  EXPECT_NEAR(*tapOffset(clicks, {1.3, 1.8, 2.3, 2.8}, 0.5), -0.2, 1e-9);
  EXPECT_FALSE(tapOffset(clicks, {1.0, 1.5, 2.0}, 0.5)) << "too few taps to say";
  EXPECT_FALSE(tapOffset({}, {1.0}, 0.5));
}
