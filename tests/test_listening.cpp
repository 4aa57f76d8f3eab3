// The listening a front end holds, fed through the shared fake microphone with reed-like
// sounds made in the test: chords judged against the chord expected and placed on the
// program's clock with the latency taken out, said in the learner's language; calibration by
// clicks; tuning in chord by chord; the meter's level.
#include <gtest/gtest.h>

#include "fakes.h"
#include "listen/listening.h"
#include "shipped_layouts.h"
#include "synthetic_sound.h"

using namespace tastrello;
using namespace tastrello::listen;
using tastrello::testing::captionsOf;
using tastrello::testing::FakeSoundIn;
using tastrello::testing::shippedLayout;
using tastrello::testing::SyntheticNote;
using tastrello::testing::SyntheticSound;
using tastrello::testing::synthesize;

namespace {

constexpr int kRate = 48000;

std::vector<SyntheticNote> notesAt(const std::vector<int>& pitches, double at, double length) {
  std::vector<SyntheticNote> notes;
  for (int p : pitches) notes.push_back({at, length, p, 0.05});
  return notes;
}

}  // namespace

class ListeningTest : public ::testing::Test {
 protected:
  NoteLayout layout = shippedLayout("G-C-F");
  ButtonNotes notes = buttonNotesOf(layout);
  Listening listening{notes, captionsOf(layout)};
  FakeSoundIn microphone;
  std::vector<ListenVerdict> verdicts;
  /// What the chord expected is when the capture reaches a moment (seconds of the sound).
  std::vector<std::pair<double, std::optional<std::vector<int>>>> expectations;
  /// The sound's first sample was captured at this moment of the program's clock.
  static constexpr double kCaptureStarts = 5.0;

  void SetUp() override {
    ASSERT_EQ(microphone.open("", kRate, [this](const float* samples, std::size_t count, SoundIn::Clock::time_point at) {
      const double seconds = std::chrono::duration<double>(at - microphone.origin).count();
      while (!expectations.empty() && expectations.front().first <= seconds) {
        listening.expect(expectations.front().second);
        expectations.erase(expectations.begin());
      }
      for (auto& v : listening.feed(samples, count, kRate, kCaptureStarts + seconds)) verdicts.push_back(v);
    }), "");
  }
};

TEST_F(ListeningTest, ChordsHeardThroughTheMicrophoneAreJudgedAtTheirMomentLessTheLatency) {
  // c1 e1 g1 pushed as expected; the same buttons pulled (d1 f1 g1); e1 g1 c2 as expected;
  // c1 alone where c1 e1 was expected. 0.45 s apart, each let go 50 ms before the next.
  SyntheticSound sound;
  sound.noiseLevel = 0.002;
  const std::vector<std::vector<int>> played{{60, 64, 67}, {62, 65, 67}, {64, 67, 72}, {60}};
  const std::vector<std::vector<int>> expected{{44, 47, 50}, {44, 47, 50}, {47, 50, 53}, {44, 47}};
  std::vector<SyntheticNote> all;
  for (std::size_t i = 0; i < played.size(); ++i) {
    const double at = 0.3 + 0.45 * double(i);
    const auto chord = notesAt(played[i], at, 0.4);
    all.insert(all.end(), chord.begin(), chord.end());
    expectations.emplace_back(at - 0.2, expected[i]);
  }
  listening.setLatency(0.02);
  ASSERT_TRUE(microphone.play(synthesize(all, sound, 2.4)));
  ASSERT_EQ(verdicts.size(), 4u);
  const std::vector<listen::Verdict> kinds{listen::Verdict::Right, listen::Verdict::WrongDirection, listen::Verdict::Right, listen::Verdict::WrongNotes};
  for (std::size_t i = 0; i < verdicts.size(); ++i) {
    EXPECT_EQ(verdicts[i].verdict, kinds[i]) << i;
    EXPECT_TRUE(verdicts[i].judged);
    EXPECT_NEAR(verdicts[i].at, kCaptureStarts + 0.3 + 0.45 * double(i) - 0.02, 0.015) << i;
  }
  EXPECT_EQ(verdicts[3].missing, std::vector<int>{64});
  EXPECT_EQ(listening.say(verdicts[0], UiLanguage::English), "Heard: right");
  EXPECT_EQ(listening.say(verdicts[1], UiLanguage::German), "Geh\xF6rt: die Kn\xF6pfe, aber der Balg falsch herum");
  EXPECT_EQ(listening.say(verdicts[3], UiLanguage::English), "Heard: e1 missing");
}

TEST_F(ListeningTest, WithNoChordExpectedThePitchesHeardAreSaidByTheirNames) {
  SyntheticSound sound;
  ASSERT_TRUE(microphone.play(synthesize(notesAt({60, 64, 67}, 0.3, 0.4), sound, 1.0)));
  ASSERT_EQ(verdicts.size(), 1u);
  EXPECT_FALSE(verdicts[0].judged);
  EXPECT_EQ(listening.say(verdicts[0], UiLanguage::English), "Heard: c1 e1 g1");
}

namespace {

/// Clicks (2 ms of a loud burst) at `moments` (seconds), over faint noise, `seconds` long.
std::vector<float> clicks(const std::vector<double>& moments, double seconds) {
  SyntheticSound quiet;
  quiet.noiseLevel = 0.001;
  std::vector<float> sound = synthesize({}, quiet, seconds);
  for (double at : moments)
    for (std::size_t i = 0; i < kRate / 500; ++i) sound[std::size_t(at * kRate) + i] += (i % 2 ? 0.4f : -0.4f);
  return sound;
}

}  // namespace

TEST_F(ListeningTest, CalibrationTakesTheDelayFromEachClickPlayedToTheClickHeard) {
  listening.startCalibration();
  // A knock before any click is no click heard late; then five clicks heard 73 ms after they
  // were played.
  std::vector<double> heardAt{0.2};
  for (int k = 0; k < 5; ++k) {
    listening.clickPlayed(kCaptureStarts + 0.5 + 0.4 * k);
    heardAt.push_back(0.5 + 0.4 * k + 0.073);
  }
  EXPECT_EQ(Listening::say(listening.calibration(), UiLanguage::English), "");
  ASSERT_TRUE(microphone.play(clicks(heardAt, 3.0)));
  const Calibration c = listening.calibration();
  EXPECT_EQ(c.clicksPlayed, 5);
  EXPECT_EQ(c.clicksHeard, 5);
  ASSERT_TRUE(c.latency);
  EXPECT_NEAR(*c.latency, 0.073, 0.001);
  EXPECT_EQ(Listening::say(c, UiLanguage::English), "Calibrated: the microphone hears 73 ms late.");
  listening.endCalibration();
  EXPECT_NEAR(listening.latency(), 0.073, 0.001);
  EXPECT_EQ(listening.mode(), Listening::Mode::Judging);
}

TEST_F(ListeningTest, TooFewClicksHeardLeaveTheLatencyAsItWas) {
  listening.setLatency(0.04);
  listening.startCalibration();
  for (int k = 0; k < 5; ++k) listening.clickPlayed(kCaptureStarts + 0.5 + 0.4 * k);
  // Two clicks heard: the loudspeaker was off, or the microphone too far from it.
  ASSERT_TRUE(microphone.play(clicks({0.58, 0.98}, 3.0)));
  EXPECT_FALSE(listening.calibration().latency);
  listening.endCalibration();
  EXPECT_DOUBLE_EQ(listening.latency(), 0.04);
}

TEST_F(ListeningTest, TuningInAsksForEachChordInTurnAndLearnsTheInstrumentsA) {
  listening.startTuning();
  TuningStep step = listening.tuningStep();
  ASSERT_EQ(step.count, 6);
  EXPECT_EQ(step.index, 0);
  EXPECT_EQ(listening.say(step, UiLanguage::English).rfind("Tuning in, chord 1 of 6: play ", 0), 0u);
  EXPECT_NE(listening.say(step, UiLanguage::English).find("on the push"), std::string::npos);
  // An instrument at A = 446 Hz, two reeds beating, each chord a second.
  SyntheticSound sound;
  sound.referenceCents = 23.4;
  sound.reeds = {0, 12};
  for (int i = 0; i < step.count; ++i) {
    const auto chord = listening.tuningStep().buttons;
    ASSERT_FALSE(chord.empty()) << i;
    ASSERT_TRUE(microphone.play(synthesize(notesAt(expectationOf(chord, notes).pitches, 0.1, 0.8), sound, 1.0)));
  }
  step = listening.tuningStep();
  EXPECT_EQ(step.index, step.count);
  EXPECT_EQ(step.report.status, TuningReport::Status::Fine);
  EXPECT_NEAR(step.report.referenceCents, 23.4 + 6, 6.0);  // the two reeds' middle
  EXPECT_EQ(listening.say(step, UiLanguage::English).rfind("Tuned in: the instrument is at A = 44", 0), 0u);
  listening.endTuning();
  EXPECT_EQ(listening.mode(), Listening::Mode::Judging);
}

TEST_F(ListeningTest, TuningInWithNothingPlayedSaysItHeardNothing) {
  listening.startTuning();
  SyntheticSound quiet;
  quiet.noiseLevel = 0.0005;
  ASSERT_TRUE(microphone.play(synthesize({}, quiet, 3.0)));
  TuningStep step = listening.tuningStep();
  step.index = step.count;  // the learner gave up
  EXPECT_EQ(listening.say(step, UiLanguage::English), "The microphone hears nothing: is the right one chosen?");
}

TEST_F(ListeningTest, TheMeterShowsTheLevelOfTheLast50Milliseconds) {
  std::vector<float> sine(kRate / 2);
  for (std::size_t i = 0; i < sine.size(); ++i) sine[i] = 0.1f * float(std::sin(2 * 3.14159265358979 * 440 * double(i) / kRate));
  ASSERT_TRUE(microphone.play(sine));
  EXPECT_NEAR(listening.levelDb(), -20.0, 0.5);
  ASSERT_TRUE(microphone.play(std::vector<float>(kRate / 2, 0.0f)));
  EXPECT_LT(listening.levelDb(), -60.0);
}
