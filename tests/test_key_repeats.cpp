// The X server's key events in its order: which releases were halves of a repeat, decided by
// what the server sent next or by the echo asked for with the release, never by how soon the
// window got to them.
#include <gtest/gtest.h>

#include "platform/key_repeats.h"

using namespace tastrello;
using Verdict = RepeatPairs::Verdict;

namespace {

constexpr unsigned kA = 38, kSpace = 65;

}  // namespace

class RepeatPairsTest : public ::testing::Test {
 protected:
  void press(unsigned key, std::uint32_t time) { pairs.keyEvent(true, key, time); }
  void release(unsigned key, std::uint32_t time) { pairs.keyEvent(false, key, time); }
  RepeatPairs pairs;
};

TEST_F(RepeatPairsTest, AReleaseWaitsForTheServersNextWordHoweverLongThatTakes) {
  press(kA, 1000);
  release(kA, 1660);
  EXPECT_EQ(pairs.verdict(kA, 1660), Verdict::Waiting);
  press(kA, 1660);
  EXPECT_EQ(pairs.verdict(kA, 1660), Verdict::Repeat);
  // The echo asked for with it comes after the press, and changes nothing.
  pairs.echoed();
  EXPECT_EQ(pairs.verdict(kA, 1660), Verdict::Repeat);
}

TEST_F(RepeatPairsTest, TheEchoBeforeAnyPressMeansTheKeyWasLetGo) {
  press(kA, 1000);
  release(kA, 1200);
  pairs.echoed();
  EXPECT_EQ(pairs.verdict(kA, 1200), Verdict::LetGo);
  // A press with that time read after the echo came later than any repeat's: a new stroke.
  press(kA, 1200);
  EXPECT_EQ(pairs.verdict(kA, 1200), Verdict::LetGo);
}

TEST_F(RepeatPairsTest, AnythingButThePressOfThatKeyAtThatTimeLetsItGo) {
  release(kA, 500);
  press(kSpace, 500);  // another key
  EXPECT_EQ(pairs.verdict(kA, 500), Verdict::LetGo);
  release(kA, 600);
  press(kA, 601);  // the same key struck again a millisecond later
  EXPECT_EQ(pairs.verdict(kA, 600), Verdict::LetGo);
  release(kA, 700);
  release(kSpace, 700);  // two keys let go at once: the second one waits
  EXPECT_EQ(pairs.verdict(kA, 700), Verdict::LetGo);
  EXPECT_EQ(pairs.verdict(kSpace, 700), Verdict::Waiting);
}

TEST_F(RepeatPairsTest, AnEarlierReleasesEchoDoesNotDecideALaterOne) {
  release(kA, 100);  // echo 1
  press(kA, 100);
  release(kA, 140);  // echo 2
  pairs.echoed();    // the answer to echo 1
  EXPECT_EQ(pairs.verdict(kA, 140), Verdict::Waiting)
      << "the server may still be sending what came with the second release";
  press(kA, 140);
  pairs.echoed();
  EXPECT_EQ(pairs.verdict(kA, 140), Verdict::Repeat);
}

TEST_F(RepeatPairsTest, AKeyHeldForSecondsIsOneStrokeWhateverOrderTheEchoesComeIn) {
  // Space held for the bellows, A held over it: the server repeats A, 25 times a second.
  press(kSpace, 900);
  press(kA, 1000);
  int echoesOwed = 0;
  for (std::uint32_t t = 1660; t < 4000; t += 40) {
    release(kA, t);
    ++echoesOwed;
    press(kA, t);
    if (t % 200 == 0) {  // the answers come in bunches, long after
      for (; echoesOwed > 0; --echoesOwed) pairs.echoed();
    }
  }
  for (std::uint32_t t = 1660; t < 4000; t += 40)
    ASSERT_EQ(pairs.verdict(kA, t), Verdict::Repeat) << "at " << t;
  release(kA, 4010);
  for (; echoesOwed > 0; --echoesOwed) pairs.echoed();
  EXPECT_EQ(pairs.verdict(kA, 4010), Verdict::Waiting);
  pairs.echoed();
  EXPECT_EQ(pairs.verdict(kA, 4010), Verdict::LetGo);
}

TEST_F(RepeatPairsTest, AReleaseTheServerNeverSentIsLetGo) {
  // One Qt made up, or one so old that it was forgotten: nothing would ever decide it.
  EXPECT_EQ(pairs.verdict(kA, 1234), Verdict::LetGo);
  release(kA, 10);
  press(kA, 10);
  for (std::uint32_t t = 20; t < 2000; t += 10) {
    release(kSpace, t);
    press(kSpace, t);
  }
  EXPECT_EQ(pairs.verdict(kA, 10), Verdict::LetGo);
  EXPECT_EQ(pairs.verdict(kSpace, 1990), Verdict::Repeat);
}
