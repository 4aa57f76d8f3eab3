// Key stamps moved onto the window object's clock: events delivered with jitter, the system's
// clock set back or forward, its 32-bit milliseconds wrapping, the two clocks drifting apart;
// and MIDI messages placed by RtMidi's times between them, a port opened again.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "platform/stamp_clock.h"

using namespace tastrello;

namespace {

/// A window system whose clock reads `base` ms when ours reads 0 and runs `rate` times as fast.
struct SystemClock {
  double base = 0;
  double rate = 1;
  std::uint32_t stampAt(double seconds) const {
    const double ms = std::floor(base + seconds * 1000 * rate);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(std::fmod(ms, 4294967296.0)));
  }
};

/// The stamp's millisecond cut off, the quickest delivery's 0.2 ms, and what the distance is let
/// rise between quick deliveries.
constexpr double kWithin = 0.002;

}  // namespace

class StampClockTest : public ::testing::Test {
 protected:
  StampClock stamps;
  SystemClock system{123456789, 1};
  std::mt19937 random{27};

  /// An event that happened at `at` and is taken `delay` later: how far its moment is from `at`.
  double errorOf(double at, double delay) {
    const double now = at + delay;
    const double moment = stamps.moment(system.stampAt(at), now);
    EXPECT_LE(moment, now + 1e-9) << "a moment after the event was taken";
    return moment - at;
  }
  /// Events every `every` seconds from `from`, each taken 0 to 30 ms late and one in ten at once,
  /// as a busy thread takes them. Returns the largest error after the first `settle` events.
  double run(double from, int count, double every, int settle = 10) {
    std::uniform_real_distribution<double> late(0, 0.030);
    double worst = 0;
    for (int i = 0; i < count; ++i) {
      const double delay = i % 10 == 0 ? 0.0002 : late(random);
      const double error = std::abs(errorOf(from + i * every, delay));
      if (i >= settle) worst = std::max(worst, error);
    }
    return worst;
  }
};

TEST_F(StampClockTest, JitteredDeliveriesGiveTheMomentToAMillisecond) {
  EXPECT_LT(run(5000, 200, 0.25), kWithin);
}

TEST_F(StampClockTest, TheFirstEventsDeliveredLateAreForgottenByTheFirstQuickOne) {
  EXPECT_NEAR(errorOf(10, 0.050), 0.050, kWithin) << "before any other, its own delay stands";
  EXPECT_NEAR(errorOf(10.5, 0.0001), 0, kWithin);
  EXPECT_NEAR(errorOf(11, 0.040), 0, kWithin) << "the late one is moved back to its stamp";
}

TEST_F(StampClockTest, TheSystemsClockSetBackIsLearntAfresh) {
  run(5000, 50, 0.25);
  system.base -= 3600 * 1000;  // an hour back
  EXPECT_NEAR(errorOf(5020, 0.010), 0.010, kWithin) << "the first after it counts from when taken";
  EXPECT_LT(run(5021, 100, 0.25, 1), kWithin);
}

TEST_F(StampClockTest, TheSystemsClockSetForwardIsTakenAtOnce) {
  run(5000, 50, 0.25);
  system.base += 3600 * 1000;
  EXPECT_LT(run(5020, 100, 0.25, 0), kWithin);
}

TEST_F(StampClockTest, StampsWrappingPastZeroGoOnEvenly) {
  // The 32-bit milliseconds wrap 10 s into the run.
  system.base = 4294967296.0 - 10000 - 5000 * 1000;
  EXPECT_LT(run(5000, 200, 0.25), kWithin);
}

TEST_F(StampClockTest, AStampOlderThanTheLastStepsBackInsteadOfWrapping) {
  // A key let go just before another went down, told after it.
  run(5000, 20, 0.25);
  EXPECT_NEAR(errorOf(5010.000, 0.0002), 0, kWithin);
  EXPECT_NEAR(errorOf(5009.990, 0.0150), 0, kWithin);
}

TEST_F(StampClockTest, AStallOfSecondsCostsOnlyTheEventsInIt) {
  run(5000, 20, 0.25);
  EXPECT_NEAR(errorOf(5010, 3.0), 3.0, kWithin) << "its own delay, as without a stamp";
  EXPECT_LT(run(5011, 100, 0.25, 1), kWithin);
}

TEST_F(StampClockTest, ClocksDriftingApartAreFollowed) {
  // 50 parts a million either way, for an hour of events two a second.
  for (double rate : {1 - 50e-6, 1 + 50e-6}) {
    stamps = StampClock();
    system.rate = rate;
    EXPECT_LT(run(5000, 7200, 0.5), kWithin + 0.0005) << "rate " << rate;
  }
}

// ---- MIDI messages: RtMidi's seconds since the message before, summed on the port's clock.

class MidiMomentsTest : public ::testing::Test {
 protected:
  /// A message played at `at` on our clock and taken `delay` later: how far its moment is
  /// from `at`. RtMidi tells the time since the message before, 0 for the port's first.
  double errorOf(double at, double delay) {
    const double sinceLast = first ? 0 : at - lastPlayed;
    first = false;
    lastPlayed = at;
    const double now = at + delay;
    const double moment = moments.moment(sinceLast, now);
    EXPECT_LE(moment, now + 1e-9) << "a moment after the message was taken";
    return moment - at;
  }
  /// The port opened again: RtMidi starts afresh.
  void reopen() {
    moments.restart();
    first = true;
  }
  /// Messages every `every` seconds from `from`, each taken 0 to 40 ms late (one in eight at
  /// once); the largest error after the first `settle`.
  double run(double from, int count, double every, int settle = 8) {
    std::uniform_real_distribution<double> late(0, 0.040);
    double worst = 0;
    for (int i = 0; i < count; ++i) {
      const double error = std::abs(errorOf(from + i * every, i % 8 == 0 ? 0.0003 : late(random)));
      if (i >= settle) worst = std::max(worst, error);
    }
    return worst;
  }
  MidiMoments moments;
  std::mt19937 random{36};
  bool first = true;
  double lastPlayed = 0;
};

TEST_F(MidiMomentsTest, MessagesTakenLateByABusyThreadKeepTheMomentsTheyWerePlayed) {
  EXPECT_LT(run(700, 300, 0.125), 0.0005);
}

TEST_F(MidiMomentsTest, TheFirstMessageCountsFromWhenTakenUntilAQuickOneCorrectsIt) {
  EXPECT_NEAR(errorOf(50, 0.030), 0.030, 1e-9) << "nothing tells the first one better";
  EXPECT_NEAR(errorOf(50.5, 0.0002), 0.0002, 1e-6);
  // The distance learnt is let rise by what clocks may drift in the half second since.
  EXPECT_NEAR(errorOf(51, 0.035), 0.0002, 1e-4) << "the late one is moved back to its time";
}

TEST_F(MidiMomentsTest, APortOpenedAgainCountsOnItsOwnClockFromItsFirstMessage) {
  run(700, 50, 0.125);
  // The new port's first message comes 40 s on: RtMidi's time restarts at 0 with it.
  reopen();
  EXPECT_NEAR(errorOf(760, 0.0003), 0.0003, 1e-6);
  EXPECT_NEAR(errorOf(760.2, 0.025), 0.0003, 1e-4);
  EXPECT_LT(run(761, 100, 0.125, 0), 0.0005);
}

TEST_F(MidiMomentsTest, APortClockRunningApartIsFollowed) {
  // 50 parts a million either way: an hour of messages two a second.
  std::uniform_real_distribution<double> late(0, 0.020);
  for (double rate : {1 - 50e-6, 1 + 50e-6}) {
    moments.restart();
    double worst = 0;
    for (int i = 0; i < 7200; ++i) {
      const double at = 100 + i * 0.5;
      const double sinceLast = i == 0 ? 0 : 0.5 * rate;
      const double delay = i % 10 == 0 ? 0.0002 : late(random);
      const double error = std::abs(moments.moment(sinceLast, at + delay) - at);
      if (i >= 10) worst = std::max(worst, error);
    }
    EXPECT_LT(worst, 0.001) << "rate " << rate;
  }
}
