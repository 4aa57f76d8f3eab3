// A MIDI instrument played along with a record on the real window, at known moments, through a
// JACK server of the test's own: each chord's deviation as judged is within 5 ms of the one
// played, with both cores busy and the window's own thread busy drawing, and so is each early
// release of a held chord. The instrument sends active sensing between its notes, as
// keyboards do.
#include <gtest/gtest.h>

#include <cstdio>

#include "midi_learner.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr double kWithinMs = 5;
constexpr int kChords = 16;
constexpr int kBpm = 120;

}  // namespace

class MidiTimingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server.started()) GTEST_SKIP() << "jackd is not installed";
    // Once the server takes clients, the instrument.
    if (!jackInput("waiter") && !server.running())
      GTEST_SKIP() << "jackd could not run on this machine";
    auto made = std::make_unique<JackInstrument>();
    ASSERT_TRUE(made->ready()) << made->whyNot();
    instrument = made.get();
    ASSERT_TRUE(carries()) << "the instrument's messages never reached the witness";
    window = std::make_unique<AlongOnX>(std::move(made), RtMidiRawOut::System::Jack);
    const std::string port = JackInstrument::portName();
    ASSERT_FALSE(port.empty());
    window->form.chooseMidiInput(port);
    window->view->settle();  // the window opens the input it is asked for
    ASSERT_TRUE(reachesTheWindow()) << "no note reached the window";
  }
  /// JACK connects a port in its own time: what is sent before is lost.
  bool carries() {
    double seen = 0;
    for (int attempt = 0; attempt < 60; ++attempt)
      if (instrument->deliver({0xFE}, seen)) return true;
    return false;
  }
  /// A note sent until the window object holds it, then let go.
  bool reachesTheWindow() {
    const auto pitch = static_cast<unsigned>(window->form.keyNote(0).value_or(60));
    for (int attempt = 0; attempt < 60; ++attempt) {
      instrument->send(pitch, true);
      if (runUntil([this] { return !window->form.hands.pitches.empty(); }, 1000)) {
        instrument->send(pitch, false);
        return runUntil([this] { return window->form.hands.pitches.empty(); }, 5000);
      }
    }
    return false;
  }

  JackServer server{true};
  JackInstrument* instrument = nullptr;  // owned by the window's learner
  std::unique_ptr<AlongOnX> window;
};

TEST_F(MidiTimingTest, WithBothCoresAndTheWindowBusyChordsAreJudgedByWhenTheyWerePlayed) {
  BusyCores busy(2);
  KeyTimingErrors errors;
  const std::string problem = window->play(kChords, kBpm, errors, 30);
  ASSERT_EQ(problem, "");
  std::printf(
      "[ figures  ] %zu chords, judged minus played (ms): median %+.1f, p99 %+.1f, largest %.1f; "
      "JACK had carried them after: median %.1f, p99 %.1f; %zu early releases: largest %.1f\n",
      errors.stamped.size(), percentile(errors.stamped, 0.5), percentile(errors.stamped, 0.99),
      largest(errors.stamped), percentile(errors.serverLag, 0.5),
      percentile(errors.serverLag, 0.99), errors.releases.size(), largest(errors.releases));
  // The truth lies between the moment a note was sent and the moment JACK had carried it.
  expectJudgedByTheTruth(errors, kChords, kWithinMs);
}
