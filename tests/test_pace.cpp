// How replay keeps time, apart from any window: the step's length at a tempo on a grid, and the
// count-in that leads to the beat of the first event, whatever the pickup or the section.
#include <gtest/gtest.h>

#include "replay/pace.h"

using namespace tastrello;

namespace {

Pace practisingAt(int tempo, Meter meter, int firstEvent = 1) {
  Pace pace;
  pace.practising = true;
  pace.practiceTempo = tempo;
  pace.meter = meter;
  pace.countInClicked = true;
  pace.firstEvent = firstEvent;
  return pace;
}

}  // namespace

TEST(PaceTest, StepIsTheBeatSharedByTheGridRoundedToTheNearestMillisecond) {
  EXPECT_EQ(practisingAt(120, {4, 1, 0, 0}).stepInterval(), 500);
  EXPECT_EQ(practisingAt(120, {4, 2, 0, 0}).stepInterval(), 250);
  // 60000 / (90 * 4) = 166.67: rounded up, not cut.
  EXPECT_EQ(practisingAt(90, {4, 4, 0, 0}).stepInterval(), 167);
  // 60000 / (70 * 2) = 428.57.
  EXPECT_EQ(practisingAt(70, {3, 2, 0, 0}).stepInterval(), 429);
}

TEST(PaceTest, FreeReplayKeepsTheSlidersStepWhateverTheRecordsGrid) {
  Pace pace = practisingAt(120, {3, 4, 1, 100});
  pace.practising = false;
  pace.sliderInterval = 950;
  EXPECT_EQ(pace.stepInterval(), 950);
  EXPECT_EQ(pace.stepsPerBeat(), 1);
  EXPECT_EQ(pace.countInBar(), kCountInClicks);
  EXPECT_EQ(pace.firstEventPlace(), 0);  // no meter: every event is on a beat
}

TEST(PaceTest, AGridOfNothingStillStepsOnceABeat) {
  // A meter read from a damaged file never reaches here with 0 steps, but a stray one must
  // not divide by zero.
  Pace pace = practisingAt(100, {4, 0, 0, 0});
  EXPECT_EQ(pace.stepsPerBeat(), 1);
  EXPECT_EQ(pace.stepInterval(), 600);
  EXPECT_EQ(pace.countInBar(), 1);
}

TEST(PaceTest, WithoutTheClickTheCountInIsTwoSilentSteps) {
  Pace pace = practisingAt(120, {3, 2, 2, 0}, 5);
  pace.countInClicked = false;
  EXPECT_EQ(pace.countInSteps(), 2);
}

TEST(PaceTest, TheCountInIsABarAndOnToTheFirstEventsBeat) {
  // 3/4 in eighths from the bar's start: one bar of six steps.
  EXPECT_EQ(practisingAt(100, {3, 2, 0, 0}).countInSteps(), 6);
  // A pickup of one beat (two steps) is the bar's last beat: the bar, then four steps more.
  EXPECT_EQ(practisingAt(100, {3, 2, 2, 0}).countInSteps(), 10);
  // A section from the 4th event of 4/4 quarters starts on the bar's last beat.
  EXPECT_EQ(practisingAt(100, {4, 1, 0, 0}, 4).countInSteps(), 7);
  // ... and from the 5th on the next bar's first.
  EXPECT_EQ(practisingAt(100, {4, 1, 0, 0}, 5).countInSteps(), 4);
}

TEST(PaceTest, TheCountInsPlaceRunsThroughItsBarUpToTheFirstEvent) {
  const Pace pace = practisingAt(100, {3, 1, 1, 0});  // a pickup of one beat: event 1 on beat 3
  const int steps = pace.countInSteps();
  ASSERT_EQ(steps, 5);
  // With all steps left the count-in is on the bar's first beat; it counts on from there, and
  // the last step before the event is the beat before the event's.
  std::vector<int> places;
  for (int left = steps; left >= 1; --left) places.push_back(pace.countInPlace(left));
  EXPECT_EQ(places, (std::vector<int>{0, 1, 2, 0, 1}));
}
