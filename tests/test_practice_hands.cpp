// The hands practised: which buttons of an event the learner plays and which of those held
// count, and the judges' rules on the bass side (the same place in the other bellows direction
// is a wrong direction there too).
#include <gtest/gtest.h>

#include "practice/practice.h"
#include "practice/practice_hands.h"

using namespace tastrello;

namespace {

PracticeHands handsWithBass(PracticedHands chosen) {
  PracticeHands hands;
  hands.bassSide(true);
  hands.choose(chosen);
  return hands;
}

}  // namespace

TEST(PracticeButtonsTest, BassButtonsKeepTheirPlaceAndDirectionApartFromEveryTrebleButton) {
  for (int place : {0, 1, 11, 17}) {
    for (bool push : {false, true}) {
      const int button = bassButton(place, push);
      EXPECT_TRUE(isBassButton(button));
      EXPECT_TRUE(isPracticeButton(button));
      EXPECT_EQ(bassPlaceOf(button), place);
      EXPECT_EQ(isPushBassButton(button), push);
      EXPECT_EQ(otherDirection(button), bassButton(place, !push));
    }
  }
  for (int treble = 0; treble < 2 * kButtonsPerBlock; ++treble) {
    EXPECT_FALSE(isBassButton(treble)) << treble;
    EXPECT_EQ(otherDirection(otherDirection(treble)), treble);
    EXPECT_NE(isPushButton(otherDirection(treble)), isPushButton(treble));
  }
  EXPECT_FALSE(isPracticeButton(-1));
  EXPECT_FALSE(isPracticeButton(2 * kButtonsPerBlock));
}

TEST(PracticeButtonsTest, AChordOfBothSidesNeedsTheBellowsOfAllItsButtons) {
  EXPECT_EQ(bellowsOfChord({bassButton(3, true)}), Bellows::Push);
  EXPECT_EQ(bellowsOfChord({10, bassButton(3, false)}), Bellows::Pull);
  EXPECT_EQ(bellowsOfChord({10 + kButtonsPerBlock, bassButton(3, true)}), Bellows::Push);
  EXPECT_EQ(bellowsOfChord({10, bassButton(3, true)}), Bellows::Both)
      << "a pull treble over a push bass cannot be played";
  EXPECT_EQ(bellowsOfChord({-4, 200}), Bellows::None) << "numbers of neither side";
}

TEST(PracticeButtonsTest, ATrebleButtonPastTheThirdRowCountsByItsPlaceAndTurnsWithTheBellows) {
  for (const ButtonAt at : {ButtonAt{false, 4, 2}, ButtonAt{true, 5, 16}, ButtonAt{true, 1, 13}}) {
    const int button = besideButton(at);
    EXPECT_TRUE(isBesideButton(button));
    EXPECT_TRUE(isPracticeButton(button));
    EXPECT_FALSE(isBassButton(button)) << "below every bass number";
    EXPECT_EQ(besideAt(button), at);
    const ButtonAt turned{!at.push, at.row, at.number};
    EXPECT_EQ(besideAt(otherDirection(button)), turned);
    EXPECT_EQ(bellowsOfChord({button}), at.push ? Bellows::Push : Bellows::Pull);
  }
  // With the keyboard's buttons: a pull chord over the fourth row's push button cannot be played.
  EXPECT_EQ(bellowsOfChord({10, besideButton({false, 4, 1})}), Bellows::Pull);
  EXPECT_EQ(bellowsOfChord({10, besideButton({true, 4, 1})}), Bellows::Both);
  const std::vector<int> chord{10, besideButton({false, 4, 2})};
  EXPECT_EQ(judgeButtons(chord, {10, besideButton({true, 4, 2})}), Verdict::WrongDirection);
  EXPECT_EQ(judgeButtons(chord, {10, besideButton({false, 4, 3})}), Verdict::WrongButton);
}

TEST(PracticeButtonsTest, TheJudgesTellABassInTheWrongDirectionFromAWrongBass) {
  const std::vector<int> chord{10, bassButton(2, false)};
  EXPECT_EQ(judgeButtons(chord, {10, bassButton(2, false)}), Verdict::Right);
  EXPECT_EQ(judgeButtons(chord, {10}), Verdict::Waiting) << "the bass is still to come";
  EXPECT_EQ(judgeButtons(chord, {bassButton(2, true)}), Verdict::WrongDirection);
  EXPECT_EQ(judgeButtons(chord, {10, bassButton(3, false)}), Verdict::WrongButton);
  // The place number of a neighbouring button is no direction of this one.
  EXPECT_EQ(judgeButtons(chord, {bassButton(3, true)}), Verdict::WrongButton);
  EXPECT_EQ(judgeButton(chord, bassButton(2, true)), Verdict::WrongDirection);
  EXPECT_EQ(judgeButton(chord, bassButton(1, true)), Verdict::WrongButton);
}

TEST(PracticeButtonsTest, PlayingAlongJudgesTheBassByItsMomentAsTheTreble) {
  PlayAlongJudge judge(80);
  const int bass = bassButton(4, false);
  judge.expect({1, 10.0, 11.0, {12, bass}, 1});
  judge.held(10.02, {12});
  EXPECT_TRUE(judge.judge(10.03).empty()) << "half the chord is no verdict yet";
  judge.held(10.05, {12, bass});
  const auto verdicts = judge.judge(10.06);
  ASSERT_EQ(verdicts.size(), 1u);
  EXPECT_EQ(verdicts[0].timing, Timing::OnTime);
  EXPECT_EQ(verdicts[0].ms, 50) << "the chord is there when its last button is";

  judge.expect({2, 11.0, 12.0, {bass}, 1});
  judge.held(11.0, {});
  judge.held(11.01, {otherDirection(bass)});
  const auto wrong = judge.judge(11.02);
  ASSERT_EQ(wrong.size(), 1u);
  EXPECT_EQ(wrong[0].timing, Timing::WrongDirection);
}

TEST(PracticeHandsTest, EachChoiceGivesTheLearnerItsSideOfTheEvent) {
  const std::vector<int> treble{10, 13}, bass{bassButton(0, false)};
  EXPECT_EQ(handsWithBass(PracticedHands::Right).chord(treble, bass), treble);
  EXPECT_EQ(handsWithBass(PracticedHands::Left).chord(treble, bass), bass);
  EXPECT_EQ(handsWithBass(PracticedHands::Both).chord(treble, bass),
            (std::vector<int>{10, 13, bassButton(0, false)}));
  // An event without a bass leaves nothing to the left hand: replay passes it as a rest.
  EXPECT_TRUE(handsWithBass(PracticedHands::Left).chord(treble, {}).empty());
}

TEST(PracticeHandsTest, OnlyTheHandsPractisedCountOfWhatIsHeldEachBassInTheBellowsDirection) {
  const std::vector<int> treble{44};
  const std::vector<int> places{2, 5};
  EXPECT_EQ(handsWithBass(PracticedHands::Right).held(treble, places, true), treble);
  EXPECT_EQ(handsWithBass(PracticedHands::Left).held(treble, places, true),
            (std::vector<int>{bassButton(2, true), bassButton(5, true)}));
  EXPECT_EQ(handsWithBass(PracticedHands::Both).held(treble, places, false),
            (std::vector<int>{44, bassButton(2, false), bassButton(5, false)}));
}

TEST(PracticeHandsTest, WithoutABassSideTheRightHandIsPractisedAndTheChoiceComesBackWithOne) {
  PracticeHands hands;
  hands.choose(PracticedHands::Left);
  EXPECT_EQ(hands.practised(), PracticedHands::Right);
  EXPECT_TRUE(hands.learnerPlaysTreble());
  EXPECT_FALSE(hands.learnerPlaysBass());
  EXPECT_EQ(hands.chord({10}, {bassButton(1, false)}), std::vector<int>{10});
  hands.bassSide(true);
  EXPECT_EQ(hands.practised(), PracticedHands::Left);
  EXPECT_FALSE(hands.learnerPlaysTreble());
}

TEST(PracticeHandsTest, TheStoredValueIsReadBackAndAnythingElseIsRefusedWithTheChoiceKept) {
  PracticeHands hands;
  for (PracticedHands h : {PracticedHands::Left, PracticedHands::Both, PracticedHands::Right}) {
    PracticeHands stored;
    stored.choose(h);
    ASSERT_TRUE(hands.read(stored.value())) << stored.value();
    EXPECT_EQ(hands.chosen(), h);
  }
  hands.choose(PracticedHands::Both);
  for (const char* bad : {"left", "BOTH ", "LINKS", "2"}) {
    EXPECT_FALSE(hands.read(bad)) << bad;
    EXPECT_EQ(hands.chosen(), PracticedHands::Both) << bad;
  }
  EXPECT_TRUE(hands.read(""));
  EXPECT_EQ(hands.chosen(), PracticedHands::Right) << "an empty value is the right hand";
}
