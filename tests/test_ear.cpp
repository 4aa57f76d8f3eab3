// The microphone as the window's input, apart from the window: the source as the settings
// keep it, the buttons a chord heard stands for (right, the bellows the wrong way, wrong notes,
// none expected), chords laid on the step grid for the editor, the latency kept across layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "exchange/midi_lesson.h"
#include "listen/ear.h"
#include "shipped_layouts.h"
#include "synthetic_sound.h"

using namespace tastrello;
using namespace tastrello::listen;
using tastrello::testing::captionsOf;
using tastrello::testing::shippedLayout;
using tastrello::testing::synthesize;
using tastrello::testing::SyntheticNote;
using tastrello::testing::SyntheticSound;

namespace {

ListenVerdict judged(Verdict verdict, std::vector<int> missing = {}, std::vector<int> extra = {}) {
  ListenVerdict v;
  v.verdict = verdict;
  v.judged = true;
  v.missing = std::move(missing);
  v.extra = std::move(extra);
  return v;
}

}  // namespace

class EarTest : public ::testing::Test {
 protected:
  NoteLayout layout = shippedLayout("G-C-F");
  ButtonNotes notes = buttonNotesOf(layout);
  Ear ear;

  void SetUp() override { ear.useLayout(notes, captionsOf(layout)); }
  int pitch(int button) const { return *notes[std::size_t(button)]; }
};

TEST_F(EarTest, TheSourceChosenIsKeptAsTheSettingsValueAndReadBack) {
  EXPECT_EQ(Ear::stored(std::nullopt), "");
  EXPECT_EQ(Ear::stored(std::string()), Ear::kDefaultSource);
  for (const std::optional<std::string>& source :
       {std::optional<std::string>(), std::optional<std::string>(""),
        std::optional<std::string>("alsa_input.usb-Zoom_H1-00.analog-stereo")})
    EXPECT_EQ(Ear::fromStored(Ear::stored(source)), source);
}

TEST_F(EarTest, AChordHeardRightIsItsButtonsAndTheBellowsTheWrongWayTheSamePlacesInTheOtherBlock) {
  ear.expect(std::vector<int>{44, 47});
  EXPECT_EQ(ear.buttonsOf(judged(Verdict::Right)), (std::vector<int>{44, 47}));
  EXPECT_EQ(ear.buttonsOf(judged(Verdict::WrongDirection)), (std::vector<int>{10, 13}));
  ear.expect(std::vector<int>{10, 33});  // pull, with the middle row's twelfth button
  EXPECT_EQ(ear.buttonsOf(judged(Verdict::WrongDirection)), (std::vector<int>{44, 67}));
  EXPECT_TRUE(ear.buttonsOf(judged(Verdict::Nothing)).empty());
}

TEST_F(EarTest, WrongNotesKeepTheButtonsThatSoundAndPutEachNoteTooManyOnTheChordsSide) {
  ear.expect(std::vector<int>{44, 47});
  int extraPitch = -1;
  for (int b = kButtonsPerBlock; b < kKeyCount && extraPitch < 0; ++b)
    if (notes[std::size_t(b)] && pitch(b) != pitch(44) && pitch(b) != pitch(47)) extraPitch = pitch(b);
  ASSERT_GE(extraPitch, 0);
  const std::vector<int> buttons = ear.buttonsOf(judged(Verdict::WrongNotes, {pitch(47)}, {extraPitch}));
  ASSERT_EQ(buttons.size(), 2u);
  EXPECT_EQ(buttons[0], 44);
  EXPECT_TRUE(isPushButton(buttons[1]));
  EXPECT_EQ(pitch(buttons[1]), extraPitch);
  // A note no button of the chord's side has stands for no button: the rest stay.
  EXPECT_EQ(ear.buttonsOf(judged(Verdict::WrongNotes, {pitch(44)}, {20})), std::vector<int>{47});
}

TEST_F(EarTest, WithNoChordExpectedEachNoteHeardGetsAButtonOfOneSide) {
  ListenVerdict heard;
  heard.heard = {pitch(44), pitch(47), pitch(50)};
  const std::vector<int> buttons = ear.buttonsOf(heard);
  ASSERT_EQ(buttons.size(), 3u);
  std::vector<int> pitches;
  for (int b : buttons) {
    EXPECT_EQ(isPushButton(b), isPushButton(buttons[0])) << b;
    pitches.push_back(pitch(b));
  }
  std::sort(pitches.begin(), pitches.end());
  std::vector<int> wanted = heard.heard;
  std::sort(wanted.begin(), wanted.end());
  EXPECT_EQ(pitches, wanted);
}

TEST_F(EarTest, ChordsHeardLieOnTheStepGridFromTheOneBefore) {
  EXPECT_EQ(ear.stepsSinceChord(10.0, 0.5), 1) << "the first chord of a record";
  EXPECT_EQ(ear.stepsSinceChord(10.56, 0.5), 1);
  EXPECT_EQ(ear.stepsSinceChord(11.55, 0.5), 2);
  EXPECT_EQ(ear.stepsSinceChord(13.0, 0.5), 3);
  EXPECT_EQ(ear.stepsSinceChord(13.1, 0.5), 1) << "two onsets close together are two steps";
  ear.forgetChords();
  EXPECT_EQ(ear.stepsSinceChord(20.0, 0.5), 1);
  EXPECT_EQ(ear.stepsSinceChord(21.0, 0), 1) << "no tempo: no rests";
}

TEST_F(EarTest, TheLatencyCalibratedOutlivesANewLayout) {
  ear.setLatencyMs(42);
  const NoteLayout other = shippedLayout("A-D-G");
  ear.useLayout(buttonNotesOf(other), captionsOf(other));
  EXPECT_EQ(ear.latencyMs(), 42);
  EXPECT_NEAR(ear.listening().latency(), 0.042, 1e-9);
}

TEST_F(EarTest, TheMeterShowsNothingWithoutAMicrophoneAndItsBarGrowsWithTheLevel) {
  EXPECT_EQ(ear.meter(UiLanguage::English), "");
  ear.choose(std::string());
  const std::string silent = ear.meter(UiLanguage::English);
  EXPECT_EQ(silent.find('|'), std::string::npos) << silent;
  EXPECT_NE(silent.find("-120 dB"), std::string::npos) << silent;
  // A loud sine for a tenth of a second: the bar fills most of the way.
  std::vector<float> tone(4800);
  for (std::size_t i = 0; i < tone.size(); ++i) tone[i] = 0.5f * float(std::sin(0.0575 * double(i)));
  ear.hear(tone, 48000, 1.0, UiLanguage::English);
  const std::string loud = ear.meter(UiLanguage::English);
  EXPECT_GE(std::count(loud.begin(), loud.end(), '|'), 15) << loud;
}

TEST_F(EarTest, ACalibrationThatHeardNoClickKeepsTheLatencyAndSaysSo) {
  ear.setLatencyMs(30);
  ear.startCalibration();
  ASSERT_TRUE(ear.calibrating());
  for (int k = 0; k < 5; ++k) ear.clickPlayed(1.0 + 0.4 * k);
  ear.hear(std::vector<float>(48000 * 3, 0.0f), 48000, 1.0, UiLanguage::English);
  const Ear::CalibrationEnd end = ear.endCalibration(UiLanguage::English);
  EXPECT_FALSE(end.measured);
  EXPECT_NE(end.says.find("30 ms"), std::string::npos) << end.says;
  EXPECT_EQ(ear.latencyMs(), 30);
  EXPECT_FALSE(ear.calibrating());
}

TEST_F(EarTest, TuningInSaysTheFirstChordAndEndsWithTheWholeLearnt) {
  const std::string first = ear.startTuning(UiLanguage::English);
  EXPECT_TRUE(ear.tuningIn());
  EXPECT_EQ(first, ear.listening().say(ear.listening().tuningStep(), UiLanguage::English));
  // Silence moves no step on: nothing new to read.
  EXPECT_EQ(ear.hear(std::vector<float>(4800, 0.0f), 48000, 1.0, UiLanguage::English).tuningSays, "");
  EXPECT_TRUE(ear.tuningIn());
}

TEST_F(EarTest, TheALearntByTuningInStaysForEveryLayoutHeardAfter) {
  SyntheticSound sound;
  sound.referenceCents = 20;
  ear.startTuning(UiLanguage::English);
  double at = 1.0;
  for (int round = 0; round < 40 && ear.tuningIn(); ++round) {
    const TuningStep step = ear.listening().tuningStep();
    std::vector<SyntheticNote> chord;
    for (int b : step.buttons) chord.push_back({0.05, 0.6, pitch(b)});
    ear.hear(synthesize(chord, sound, 0.8), sound.sampleRate, at, UiLanguage::English);
    at += 0.8;
  }
  ASSERT_FALSE(ear.tuningIn());
  EXPECT_NEAR(ear.referenceCents(), 20, 3);
  const NoteLayout other = shippedLayout("A-D-G");
  ear.useLayout(buttonNotesOf(other), captionsOf(other));
  EXPECT_DOUBLE_EQ(ear.listening().referenceCents(), ear.referenceCents());
}

TEST_F(EarTest, TheAIsKeptInHertzWithOneDecimalAndOnlyWithinASemitoneOf440) {
  EXPECT_EQ(Ear::storedA(0), "440.0");
  const auto cents = Ear::centsOfStoredA("442.0");
  ASSERT_TRUE(cents);
  EXPECT_NEAR(*cents, 1200 * std::log2(442.0 / 440), 1e-9);
  EXPECT_EQ(Ear::storedA(*cents), "442.0");
  EXPECT_TRUE(Ear::centsOfStoredA("466"));   // 99 cents sharp
  EXPECT_TRUE(Ear::centsOfStoredA("415.5"));  // 99 cents flat
  for (const char* refused : {"", "415.2", "466.2", "480", "441,5", "441.55", "441.", ".5", "-440",
                              "+441", "a440", "440.x"})
    EXPECT_EQ(Ear::centsOfStoredA(refused), std::nullopt) << refused;
  ear.setReferenceCents(*cents);
  EXPECT_DOUBLE_EQ(ear.listening().referenceCents(), *cents);
}
