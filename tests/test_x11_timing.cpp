// Keys pressed on the real window, on its own X server, at known moments while a record plays
// along with the real clock: each chord's deviation as judged is within 5 ms of the one pressed,
// on an idle machine and with both cores busy, and so is each early release of a held chord.
#include <gtest/gtest.h>

#include <cstdio>

#include "x11_harness.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr double kWithinMs = 5;
constexpr int kChords = 16;
constexpr int kBpm = 120;

void print(const char* label, const KeyTimingErrors& e) {
  std::printf(
      "[ figures  ] %s: %zu presses, judged minus pressed (ms): median %+.1f, p99 %+.1f, "
      "largest %.1f; the server took them after: median %.1f, p99 %.1f; judged by the moment "
      "taken instead: median %+.1f, p99 %+.1f, largest %.1f; %zu early releases: largest %.1f (the "
      "server took them after: largest %.1f)\n",
      label, e.stamped.size(), percentile(e.stamped, 0.5), percentile(e.stamped, 0.99),
      largest(e.stamped), percentile(e.serverLag, 0.5), percentile(e.serverLag, 0.99),
      percentile(e.taken, 0.5), percentile(e.taken, 0.99), largest(e.taken), e.releases.size(),
      largest(e.releases), largest(e.releaseLag));
}

}  // namespace

class KeyTimingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (xServer->display.empty()) GTEST_SKIP() << xServer->why;
    window = std::make_unique<AlongOnX>(xServer->display);
    ASSERT_TRUE(window->active()) << "the window never got the keyboard";
  }
  /// Plays the record along and checks every press and early release against the truth.
  void playAndCheck(const char* label) {
    KeyTimingErrors errors;
    const std::string problem = window->play(kChords, kBpm, errors);
    ASSERT_EQ(problem, "");
    print(label, errors);
    // The server stamps a key when it takes it: the truth lies between the moment it was sent
    // and the server's answer.
    expectJudgedByTheTruth(errors, kChords, kWithinMs);
  }
  std::unique_ptr<AlongOnX> window;
};

TEST_F(KeyTimingTest, OnAnIdleMachineDeviationsAreJudgedWithinFiveMilliseconds) {
  playAndCheck("idle");
}

TEST_F(KeyTimingTest, WithBothCoresBusyDeviationsAreStillJudgedWithinFiveMilliseconds) {
  BusyCores busy(2);
  playAndCheck("both cores busy");
}
