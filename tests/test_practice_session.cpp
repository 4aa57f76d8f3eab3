// The practice session on its own: what is waited for, how tries from keys, a MIDI instrument
// and the mouse are judged and counted, when a release counts, and a pass opened and closed.
// No window: a plain practice state.
#include <gtest/gtest.h>

#include "practice/practice_session.h"

using namespace tastrello;

namespace {

// Buttons 40 and 41 push; 6 and 7 are their places pulling.
const std::vector<int> kChord{40, 41};

class PracticeSessionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(session.waitFor(kChord)); }
  PracticeState state;
  PracticeSession session{state};
};

TEST_F(PracticeSessionTest, ButtonsOffTheKeyboardAreLeftOutAndAChordOfNoneIsNotWaitedFor) {
  EXPECT_FALSE(session.waitFor({-1, 68}));
  EXPECT_FALSE(session.waiting());
  EXPECT_TRUE(session.waitFor({70, 5, 67}));
  EXPECT_EQ(session.wanted(), (std::vector<int>{5, 67}));
}

TEST_F(PracticeSessionTest, AWrongTryIsCountedOnceAndItsReleaseIsJudgedUntilItIsPutRight) {
  state.passOpen = true;
  session.waitFor(kChord);
  PracticeTry t = session.held({40, 12}, true);
  ASSERT_TRUE(t.verdict);
  EXPECT_EQ(*t.verdict, Verdict::WrongButton);
  EXPECT_EQ(t.wrong, std::vector<int>{12});
  EXPECT_EQ(t.colours, (std::vector<std::pair<int, Verdict>>{{40, Verdict::Right},
                                                             {12, Verdict::WrongButton}}));
  // Letting the wrong button go is judged (the learner corrects), and counts no second fault.
  t = session.held({40}, false);
  ASSERT_TRUE(t.verdict);
  EXPECT_EQ(*t.verdict, Verdict::Waiting);
  t = session.held({40, 41}, true);
  EXPECT_EQ(t.verdict, Verdict::Right);
  EXPECT_EQ(state.pass.score().wrongButtons, 1);
  EXPECT_EQ(state.pass.score().rightFirstTry, 0);
  EXPECT_EQ(state.pass.score().events, 1);
}

TEST_F(PracticeSessionTest, AReleaseAfterNoWrongTryIsNotJudgedButColoursWhatIsHeld) {
  EXPECT_EQ(session.held({40}, true).verdict, Verdict::Waiting);
  const PracticeTry t = session.held({41}, false);
  EXPECT_FALSE(t.verdict);
  EXPECT_EQ(t.colours.size(), 1u);
}

TEST_F(PracticeSessionTest, TheRightPlacesPulledAreTheWrongDirectionAndAllOfThemAreNamed) {
  const PracticeTry t = session.held({6, 7}, true);
  EXPECT_EQ(t.verdict, Verdict::WrongDirection);
  EXPECT_EQ(t.wrong, (std::vector<int>{6, 7}));
  for (const auto& [button, verdict] : t.colours) EXPECT_EQ(verdict, Verdict::WrongDirection);
}

TEST_F(PracticeSessionTest, AWrongClickEndsItsTryAndTheNextClickStartsAFreshOne) {
  EXPECT_TRUE(session.freshTry());
  EXPECT_EQ(session.clicked(40).verdict, Verdict::Waiting);
  EXPECT_FALSE(session.freshTry());
  const PracticeTry wrong = session.clicked(12);
  EXPECT_EQ(wrong.verdict, Verdict::WrongButton);
  EXPECT_EQ(wrong.wrong, std::vector<int>{12});
  EXPECT_TRUE(session.freshTry()) << "the mouse holds nothing after a wrong try";
  session.clicked(41);
  EXPECT_EQ(session.clicked(40).verdict, Verdict::Right);
  session.chordPlayed();
  EXPECT_FALSE(session.waiting());
  EXPECT_TRUE(session.freshTry());
}

TEST_F(PracticeSessionTest, PitchesFromAnInstrumentThatSaysPullAreTheWrongDirection) {
  const PracticeTry pulled = session.heldPitches({67, 71}, {67, 71}, {40, 41}, false, true);
  EXPECT_EQ(pulled.verdict, Verdict::WrongDirection);
  // Its buttons are the chord's own (the instrument placed the pitches there): they are named.
  EXPECT_EQ(pulled.wrong, (std::vector<int>{40, 41}));
  const PracticeTry pushed = session.heldPitches({67, 71}, {67, 72}, {40, -1}, true, true);
  EXPECT_EQ(pushed.verdict, Verdict::WrongButton);
  EXPECT_EQ(pushed.colours, (std::vector<std::pair<int, Verdict>>{{40, Verdict::Right}}))
      << "a pitch on no button colours nothing";
}

TEST_F(PracticeSessionTest, APassIsScoredOnceFromItsFirstEventInTenthsOfASecond) {
  state.heldBeforePass = {{1.0, {40, 41}}};
  session.beginPass(3, 10.0, 0.1);
  EXPECT_TRUE(state.heldBeforePass.empty());
  session.waitFor(kChord);
  session.held({40, 41}, true);
  const auto pass = session.finishPass(12.36, 5, "2026-12-10 23:30");
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->first, 3);
  EXPECT_EQ(pass->last, 5);
  EXPECT_DOUBLE_EQ(pass->score.seconds, 2.4);
  EXPECT_EQ(pass->score.rightFirstTry, 1);
  EXPECT_EQ(state.history.passes.size(), 1u);
  EXPECT_EQ(state.lastPass, pass);
  EXPECT_FALSE(session.finishPass(13, 5, "later")) << "a pass is closed once";
  // A section shortened under a pass: its first event is held inside what is left.
  session.beginPass(9, 20, 0);
  EXPECT_EQ(session.finishPass(21, 4, "x")->first, 4);
}

TEST_F(PracticeSessionTest, DroppingLeavesNoPassNoChordAndNoCorrectionBehind) {
  session.beginPass(1, 0, 0);
  session.held({12}, true);
  ASSERT_TRUE(state.correcting);
  session.drop();
  EXPECT_FALSE(session.waiting());
  EXPECT_FALSE(state.correcting);
  EXPECT_FALSE(session.finishPass(5, 1, "x"));
}

}  // namespace
