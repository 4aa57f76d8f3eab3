// Listening, on reed-like sounds made in the test (tests/synthetic_sound.h): the transform's
// scale, the peaks of a frame, the judgement of a chord against the one expected (right, the
// bellows the wrong way, a wrong or missing button, nothing) with beating reeds, a sharp
// instrument, a bass note below and the chord before ringing on; the stream's onsets whatever
// the size of the blocks fed; tuning in. The rendered corpus is tested in test_listen_corpus.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "exchange/midi_lesson.h"
#include "listen/chords.h"
#include "listen/fft.h"
#include "listen/listener.h"
#include "listen/peaks.h"
#include "listen/tuning.h"
#include "synthetic_sound.h"

using namespace tastrello;
using namespace tastrello::listen;
using tastrello::testing::SyntheticNote;
using tastrello::testing::SyntheticSound;
using tastrello::testing::synthesize;

namespace {

constexpr int kRate = 48000;
constexpr double kPi = 3.14159265358979323846;

std::vector<float> sine(double hz, double amplitude, std::size_t frames, int rate = kRate) {
  std::vector<float> out(frames);
  for (std::size_t i = 0; i < frames; ++i)
    out[i] = static_cast<float>(amplitude * std::sin(2 * kPi * hz * double(i) / rate));
  return out;
}

ButtonNotes layoutNotes() {
  std::ifstream in(std::string(TASTRELLO_DATA) + "/Notes/Notes_G-C-F.txt", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::size_t lines = 0;
  return buttonNotesOf(*parseNoteLayout(bytes.str(), lines));
}

std::vector<SyntheticNote> chord(const std::vector<int>& pitches, double at = 0.3, double length = 0.5) {
  std::vector<SyntheticNote> notes;
  for (int p : pitches) notes.push_back({at, length, p, 0.05});
  return notes;
}

}  // namespace

// ---- The transform and the peaks

TEST(RealFftTest, ASineFillsItsBinWithHalfItsAmplitudeTimesTheFrame) {
  // Given a sine of amplitude 0.5 exactly on bin 32 of a 1024-sample frame (no window): the
  // bin holds 0.5 x 1024 / 2, its neighbours nothing.
  RealFft fft(1024);
  const auto frame = sine(32.0 * kRate / 1024, 0.5, 1024);
  std::vector<float> out;
  fft.magnitudes(frame.data(), out);
  ASSERT_EQ(out.size(), 513u);
  EXPECT_NEAR(out[32], 256.0, 0.5);
  EXPECT_LT(out[31], 0.5);
  EXPECT_LT(out[33], 0.5);
}

TEST(RealFftTest, TheConstantAndTheNyquistTermsComeOutOfTheirPackedPlace) {
  std::vector<float> frame(256);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = 0.25f + (i % 2 == 0 ? 0.5f : -0.5f);
  RealFft fft(256);
  std::vector<float> out;
  fft.magnitudes(frame.data(), out);
  EXPECT_NEAR(out[0], 0.25 * 256, 1e-3);
  EXPECT_NEAR(out[128], 0.5 * 256, 1e-3);
  EXPECT_LT(out[64], 1e-3);
}

TEST(PeakFinderTest, ASineAnywhereBetweenBinsIsFoundWithinAFractionOfAHertzAndAtItsLevel) {
  PeakFinder finder(kRate, 2048);
  FramePeaks found;
  for (double hz : {110.0, 261.6, 440.0, 1234.5, 3987.0, 5500.0}) {
    const auto frame = sine(hz, 0.1, 2048);
    finder.find(frame.data(), found);
    ASSERT_FALSE(found.peaks.empty()) << hz;
    const auto loudest = std::max_element(found.peaks.begin(), found.peaks.end(),
                                          [](const Peak& a, const Peak& b) { return a.db < b.db; });
    EXPECT_NEAR(loudest->hz, hz, 0.5) << hz;
    EXPECT_NEAR(loudest->db, -20.0, 0.5) << hz;
    EXPECT_NEAR(found.levelDb, -20.0, 0.5) << hz;
  }
}

TEST(PeakFinderTest, ALoudSineLeavesNoPeakOfItsWindowBesideIt) {
  // Given a sine 60 dB above a faint noise: its window's side lobes are no partials.
  SyntheticSound quiet;
  quiet.noiseLevel = 1e-4;
  auto frame = synthesize({}, quiet, 2048.0 / kRate);
  const auto loud = sine(1000.3, 0.5, 2048);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] += loud[i];
  PeakFinder finder(kRate, 2048);
  FramePeaks found;
  finder.find(frame.data(), found);
  for (const Peak& p : found.peaks) {
    if (std::abs(p.hz - 1000.3) > 5) {
      EXPECT_GT(std::abs(p.hz - 1000.3), 4 * 23.4) << p.hz << " " << p.db;
    }
  }
}

// ---- A chord against the one expected

namespace {

/// The frames the listener takes around an onset: 2048 samples ending 45 ms after it, and
/// 2048 ending 3 ms before it.
Sound soundAt(const std::vector<float>& audio, double onsetSeconds) {
  PeakFinder finder(kRate, 2048);
  Sound s;
  const auto onset = static_cast<std::size_t>(onsetSeconds * kRate);
  finder.find(audio.data() + onset + 45 * kRate / 1000 - 2048, s.after);
  finder.find(audio.data() + onset - 3 * kRate / 1000 - 2048, s.before);
  return s;
}

}  // namespace

class ChordJudgeTest : public ::testing::Test {
 protected:
  ButtonNotes notes = layoutNotes();
  PitchSpace space = pitchSpaceOf(notes);
  SyntheticSound sound;

  Judgement judgeButtons(const std::vector<int>& expected, const std::vector<int>& played,
                         const std::vector<SyntheticNote>& alsoSounding = {}) {
    std::vector<SyntheticNote> all = chord(expectationOf(played, notes).pitches);
    all.insert(all.end(), alsoSounding.begin(), alsoSounding.end());
    return judge(soundAt(synthesize(all, sound, 1.0), 0.3), expectationOf(expected, notes), space);
  }
  std::vector<int> otherSide(std::vector<int> buttons) {
    for (int& b : buttons) b = b >= 34 ? b - 34 : b + 34;
    return buttons;
  }
};

TEST_F(ChordJudgeTest, ChordsPlayedAsExpectedAreRightOnPushAndOnPull) {
  // Triads, a fourth-note chord, two neighbours and single buttons across the keyboard.
  for (const std::vector<int>& buttons :
       std::vector<std::vector<int>>{{44, 47, 50}, {10, 13, 16}, {7, 10, 13, 16}, {41, 44}, {3}, {59}, {24, 27}}) {
    for (const auto& played : {buttons, otherSide(buttons)}) {
      const Judgement j = judgeButtons(played, played);
      EXPECT_EQ(j.verdict, Verdict::Right) << ::testing::PrintToString(played) << " heard "
                                           << ::testing::PrintToString(j.heard.treble);
    }
  }
}

TEST_F(ChordJudgeTest, TheSameButtonsOnTheOtherSideAreTheWrongDirection) {
  for (const std::vector<int>& buttons : std::vector<std::vector<int>>{{44, 47, 50}, {10, 13}, {41}, {19, 22, 25}}) {
    const Judgement j = judgeButtons(buttons, otherSide(buttons));
    EXPECT_EQ(j.verdict, Verdict::WrongDirection) << ::testing::PrintToString(buttons);
    EXPECT_EQ(j.heard.treble, expectationOf(buttons, notes).otherSide);
  }
}

TEST_F(ChordJudgeTest, AWrongButtonNamesThePitchMissingAndThePitchThatSoundsInstead) {
  // c1 e1 g1 expected (44 47 50), c1 e1 a1 played (44 47 48).
  const Judgement j = judgeButtons({44, 47, 50}, {44, 47, 48});
  EXPECT_EQ(j.verdict, Verdict::WrongNotes);
  EXPECT_EQ(j.missing, std::vector<int>{67});
  EXPECT_EQ(j.extra, std::vector<int>{69});
}

TEST_F(ChordJudgeTest, AMissingButtonIsNamedAndNothingExtra) {
  const Judgement j = judgeButtons({44, 47, 50}, {44, 50});
  EXPECT_EQ(j.verdict, Verdict::WrongNotes);
  EXPECT_EQ(j.missing, std::vector<int>{64});
  EXPECT_TRUE(j.extra.empty());
}

TEST_F(ChordJudgeTest, SilenceAndNoiseAloneAreNothing) {
  sound.noiseLevel = 0.003;
  EXPECT_EQ(judge(soundAt(synthesize({}, sound, 1.0), 0.3), expectationOf({44, 47, 50}, notes), space).verdict,
            Verdict::Nothing);
  sound.noiseLevel = 0;
  EXPECT_EQ(judge(soundAt(synthesize({}, sound, 1.0), 0.3), expectationOf({44}, notes), space).verdict,
            Verdict::Nothing);
}

TEST_F(ChordJudgeTest, ThreeReedsBeatingOnAnInstrumentAt446AreRightWithTheReferenceLearnt) {
  sound.reeds = {-20, 0, 20};
  sound.referenceCents = 23.5;
  space.referenceCents = 23.5;
  EXPECT_EQ(judgeButtons({44, 47, 50}, {44, 47, 50}).verdict, Verdict::Right);
  EXPECT_EQ(judgeButtons({10, 13, 16}, {44, 47, 50}).verdict, Verdict::WrongDirection);
}

TEST_F(ChordJudgeTest, NoiseTwentyDecibelsBelowTheChordLeavesItsVerdict) {
  // Each reed's fundamental at 0.05: the chord's RMS is about 0.12; noise at a tenth of that.
  sound.noiseLevel = 0.012;
  EXPECT_EQ(judgeButtons({44, 47, 50}, {44, 47, 50}).verdict, Verdict::Right);
  EXPECT_EQ(judgeButtons({44, 47, 50}, {10, 13, 16}).verdict, Verdict::WrongDirection);
}

TEST_F(ChordJudgeTest, ABassNoteBelowLeavesTheTrebleRightAndAddsNoTrebleNote) {
  // A (33) with its octave reed, sounding with the chord and from before it. (Which bass note
  // sounds is not told reliably yet: 55 Hz apart, its partials are closer than a frame of
  // 43 ms parts them; and a bass reed on a pitch of the treble is heard as the treble's.)
  for (double at : {0.3, 0.1}) {
    const Judgement j = judgeButtons({44, 47, 50}, {44, 47, 50}, {{at, 0.7, 33, 0.04}, {at, 0.7, 45, 0.02}});
    EXPECT_EQ(j.verdict, Verdict::Right) << at;
    EXPECT_EQ(j.heard.treble, (std::vector<int>{60, 64, 67})) << at;
  }
}

TEST_F(ChordJudgeTest, TheChordBeforeRingingOnIsNoExtraNote) {
  // d1 f1 a1 let go 20 ms before c1 e1 g1 begins, dying away in 60 ms.
  sound.releaseSeconds = 0.06;
  std::vector<SyntheticNote> before = chord({62, 65, 69}, 0.0, 0.28);
  Sound s = soundAt(synthesize([&] {
    auto all = chord({60, 64, 67});
    all.insert(all.end(), before.begin(), before.end());
    return all;
  }(), sound, 1.0), 0.3);
  s.ringing = {62, 65, 69};
  const Judgement j = judge(s, expectationOf({44, 47, 50}, notes), space);
  EXPECT_EQ(j.verdict, Verdict::Right) << ::testing::PrintToString(j.heard.treble);
}

namespace {

/// The partials of `pitch` below 6 kHz as peaks, the fundamental at `db` and each partial
/// 3 dB below the one before, over a floor at -75 dB.
std::vector<Peak> partialPeaks(int pitch, float db) {
  std::vector<Peak> peaks;
  const double f0 = frequencyOf(pitch, 0);
  for (int h = 1; h * f0 < 6000; ++h) {
    const float level = db - 3.0f * float(h - 1);
    peaks.push_back({float(h * f0), level, level + 75});
  }
  return peaks;
}

FramePeaks framePeaks(std::vector<Peak> peaks) {
  std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) { return a.hz < b.hz; });
  return {std::move(peaks), -20, 0.1f};
}

}  // namespace

TEST_F(ChordJudgeTest, ALetGoNoteSwellingInItsTailIsNotPlayedAgain) {
  // d1 let go before f1 sounds: its tail, beating in the room, rose 9 dB across the onset, yet
  // stays 10 dB below f1. Expected e1 on push, f1 (the same button pulled) is the wrong way.
  Sound s;
  auto after = partialPeaks(65, -24);
  const auto tail = partialPeaks(62, -34);
  after.insert(after.end(), tail.begin(), tail.end());
  s.after = framePeaks(after);
  s.before = framePeaks(partialPeaks(62, -43));
  s.ringing = {62};
  const Expectation expected{{64}, {65}};
  const Judgement j = judge(s, expected, space);
  EXPECT_EQ(j.verdict, Verdict::WrongDirection) << ::testing::PrintToString(j.heard.treble);
  // Pressed again, as loud as the chord, it is an extra note.
  s.after = framePeaks([] {
    auto both = partialPeaks(65, -24), again = partialPeaks(62, -25);
    both.insert(both.end(), again.begin(), again.end());
    return both;
  }());
  EXPECT_EQ(judge(s, expected, space).verdict, Verdict::WrongNotes);
}

namespace {

/// The partials of `pitch` as peaks over a floor at `floorDb`, the fundamental at `db`.
std::vector<Peak> partialPeaksOver(int pitch, float db, float floorDb) {
  auto peaks = partialPeaks(pitch, db);
  for (Peak& p : peaks) p.prominence = p.db - floorDb;
  return peaks;
}

std::vector<Peak> joined(std::vector<Peak> a, const std::vector<Peak>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

}  // namespace

TEST_F(ChordJudgeTest, AMissingButtonWhosePitchStillHangsInTheRoomIsMissing) {
  // c1 e1 g1 expected, c1 g1 played; e1, from a chord two before (no longer the chord that
  // rings on), hangs in the room 16 dB down, as loud before the onset as after it: it is no
  // button pressed now.
  Sound s;
  s.after = framePeaks(joined(joined(partialPeaks(60, -24), partialPeaks(67, -24)), partialPeaks(64, -40)));
  s.before = framePeaks(partialPeaks(64, -40));
  const Judgement j = judge(s, expectationOf({44, 47, 50}, notes), space);
  EXPECT_EQ(j.verdict, Verdict::WrongNotes) << ::testing::PrintToString(j.heard.treble);
  EXPECT_EQ(j.missing, std::vector<int>{64});
}

TEST_F(ChordJudgeTest, InASilentRoomTracesFarBelowTheChordAreNoNotes) {
  // No noise: the floor lies at the window's leakage, 140 dB down, and a trace of d1 rising
  // 55 dB below c1 e1 g1 still stands 65 dB above it.
  Sound s;
  s.after = framePeaks(joined(joined(joined(partialPeaksOver(60, -20, -140), partialPeaksOver(64, -20, -140)),
                                     partialPeaksOver(67, -20, -140)),
                              partialPeaksOver(62, -75, -140)));
  s.before = framePeaks({});
  const Judgement j = judge(s, expectationOf({44, 47, 50}, notes), space);
  EXPECT_EQ(j.verdict, Verdict::Right) << ::testing::PrintToString(j.heard.treble);
}

TEST_F(ChordJudgeTest, ButtonsThatSoundTheSameOnBothSidesCannotBeWrongWayRound) {
  // Button 16 pulling and 50 pushing are both g1: the bellows cannot be heard.
  ASSERT_EQ(notes[16], notes[50]);
  EXPECT_EQ(judgeButtons({50}, {16}).verdict, Verdict::Right);
}

TEST_F(ChordJudgeTest, AnOctaveOfAPitchHeardIsHiddenInItsPartials) {
  // The limit, stated: c1 and c2 expected (44 53), c1 alone played, counts as right; the
  // fifth above is no partial and is missed.
  EXPECT_TRUE(hiddenIn(72, {60}));
  EXPECT_TRUE(hiddenIn(79, {60}));
  EXPECT_TRUE(hiddenIn(84, {60}));
  EXPECT_FALSE(hiddenIn(67, {60}));
  EXPECT_FALSE(hiddenIn(60, {72}));
  EXPECT_EQ(judgeButtons({44, 53}, {44}).verdict, Verdict::Right);
}

TEST(ExpectationTest, ButtonsGiveTheirPitchesAndTheSamePlacesOnTheOtherSide) {
  const ButtonNotes notes = layoutNotes();
  const Expectation e = expectationOf({50, 44, 47, 99, -1}, notes);
  EXPECT_EQ(e.pitches, (std::vector<int>{60, 64, 67}));
  EXPECT_EQ(e.otherSide, (std::vector<int>{62, 65, 67}));
}

// ---- The stream

namespace {

struct Take {
  std::vector<float> audio;
  std::vector<double> onsets;  ///< seconds
};

/// c1 e1 g1, d1 f1 g1 (its buttons pulled), e1 g1 c2 and c1 again, 0.45 s apart, each let go
/// 50 ms before the next; faint noise.
Take fourChords() {
  SyntheticSound s;
  s.noiseLevel = 0.002;
  Take t;
  std::vector<SyntheticNote> notes;
  const std::vector<std::vector<int>> chords{{60, 64, 67}, {62, 65, 67}, {64, 67, 72}, {60}};
  for (std::size_t i = 0; i < chords.size(); ++i) {
    const double at = 0.3 + 0.45 * double(i);
    t.onsets.push_back(at);
    for (int p : chords[i]) notes.push_back({at, 0.4, p, 0.05});
  }
  t.audio = synthesize(notes, s, 2.4);
  return t;
}

std::vector<Heard> listenInBlocks(const std::vector<float>& audio, std::size_t block,
                                  const std::vector<std::pair<double, Expectation>>& expected = {}) {
  Listener listener(kRate, pitchSpaceOf(layoutNotes()));
  std::vector<Heard> heard;
  std::size_t next = 0;
  for (std::size_t at = 0; at < audio.size(); at += block) {
    while (next < expected.size() && double(at) >= expected[next].first * kRate) listener.expect(expected[next++].second);
    listener.feed(audio.data() + at, std::min(block, audio.size() - at));
    for (Heard& h : listener.take()) heard.push_back(std::move(h));
  }
  return heard;
}

std::vector<const Heard*> chordsOf(const std::vector<Heard>& heard) {
  std::vector<const Heard*> chords;
  for (const Heard& h : heard)
    if (h.kind == Heard::Kind::Chord) chords.push_back(&h);
  return chords;
}

}  // namespace

TEST(ListenerTest, EachChordIsHeardNearItsMomentAndJudgedSoonAfter) {
  // Soon: within 80 ms of the chord's first sound. The aim is 60 ms; where the listening
  // stands against it is the benchmark's to say (tastrello_bench_listen).
  const Take take = fourChords();
  const ButtonNotes notes = layoutNotes();
  const std::vector<std::pair<double, Expectation>> expected{{0.0, expectationOf({44, 47, 50}, notes)},
                                                             {0.5, expectationOf({44, 47, 50}, notes)},
                                                             {0.95, expectationOf({47, 50, 53}, notes)},
                                                             {1.4, expectationOf({44}, notes)}};
  const auto heard = listenInBlocks(take.audio, 128, expected);
  const auto chords = chordsOf(heard);
  ASSERT_EQ(chords.size(), 4u);
  const Verdict verdicts[] = {Verdict::Right, Verdict::WrongDirection, Verdict::Right, Verdict::Right};
  for (std::size_t i = 0; i < 4; ++i) {
    const double onset = take.onsets[i] * kRate;
    EXPECT_NEAR(chords[i]->at, onset, 0.015 * kRate) << i;
    EXPECT_LE(double(chords[i]->decidedAt) - onset, 0.080 * kRate) << i;
    EXPECT_TRUE(chords[i]->judged);
    EXPECT_EQ(chords[i]->judgement.verdict, verdicts[i]) << i;
  }
}

TEST(ListenerTest, WhatIsHeardDoesNotDependOnTheSizeOfTheBlocksFed) {
  const Take take = fourChords();
  const auto reference = listenInBlocks(take.audio, 128);
  ASSERT_FALSE(reference.empty());
  for (std::size_t block : {1u, 37u, 4096u}) {
    const auto heard = listenInBlocks(take.audio, block);
    ASSERT_EQ(heard.size(), reference.size()) << block;
    for (std::size_t i = 0; i < heard.size(); ++i) {
      EXPECT_EQ(heard[i].kind, reference[i].kind) << block;
      EXPECT_DOUBLE_EQ(heard[i].at, reference[i].at) << block;
      EXPECT_EQ(heard[i].judgement.heard.treble, reference[i].judgement.heard.treble) << block;
    }
  }
}

TEST(ListenerTest, WithNoChordExpectedThePitchesAreToldAndTheSilenceAfterTheLast) {
  const Take take = fourChords();
  const auto heard = listenInBlocks(take.audio, 512);
  const auto chords = chordsOf(heard);
  ASSERT_EQ(chords.size(), 4u);
  EXPECT_FALSE(chords[0]->judged);
  EXPECT_EQ(chords[0]->judgement.heard.treble, (std::vector<int>{60, 64, 67}));
  EXPECT_EQ(chords[3]->judgement.heard.treble, (std::vector<int>{60}));
  ASSERT_EQ(heard.back().kind, Heard::Kind::Silence);
  EXPECT_GT(heard.back().at, (take.onsets[3] + 0.3) * kRate);
  EXPECT_LT(heard.back().at, (take.onsets[3] + 0.5) * kRate);
}

TEST(ListenerTest, NoiseAloneIsNeverAChord) {
  SyntheticSound s;
  s.noiseLevel = 0.01;
  EXPECT_TRUE(chordsOf(listenInBlocks(synthesize({}, s, 3.0), 128)).empty());
}

TEST(ListenerTest, AChordPlayedAgainAfterItWasLetGoIsHeardAgain) {
  SyntheticSound s;
  std::vector<SyntheticNote> notes;
  for (double at : {0.3, 0.6, 0.9})
    for (int p : {69, 72}) notes.push_back({at, 0.22, p, 0.05});
  EXPECT_EQ(chordsOf(listenInBlocks(synthesize(notes, s, 1.5), 128)).size(), 3u);
}

namespace {

/// c1 e1 g1 from 0.3 s with g1 speaking `lateSeconds` after c1 and e1 (a reed slow to speak),
/// then d1 f1 a1 from 0.8 s; faint noise.
std::vector<float> chordWithALateReed(double lateSeconds, const std::vector<int>& played = {60, 64, 67}) {
  SyntheticSound s;
  s.noiseLevel = 0.002;
  s.reeds = {-8, 8};
  std::vector<SyntheticNote> notes;
  for (int p : played) notes.push_back({p == 67 ? 0.3 + lateSeconds : 0.3, 0.4, p, 0.05});
  for (int p : {62, 65, 69}) notes.push_back({0.8, 0.4, p, 0.05});
  return synthesize(notes, s, 1.5);
}

}  // namespace

class SecondLookTest : public ::testing::Test {
 protected:
  ButtonNotes notes = layoutNotes();
  Expectation triad = expectationOf({44, 47, 50}, notes);  // c1 e1 g1 pushed
  std::vector<std::pair<double, Expectation>> expected{{0.0, triad}, {0.6, expectationOf({45, 48, 51}, notes)}};
  double rate = kRate;
};

TEST_F(SecondLookTest, ANoteSlowToSpeakIsHeardRightAtTheSecondLook) {
  // Given g1 speaking 20 ms late: the frame ending 45 ms after the onset holds too little of
  // it; the one 10 ms later holds enough. (From about 25 ms late on even that one is too early:
  // a delay nearer that edge would judge differently as WebAssembly, whose onsets can lie a few
  // milliseconds apart from the desktop's.)
  const auto heard = listenInBlocks(chordWithALateReed(0.020), 128, expected);
  const auto chords = chordsOf(heard);
  ASSERT_FALSE(chords.empty());
  EXPECT_NEAR(chords[0]->at, 0.3 * rate, 0.015 * rate);
  EXPECT_EQ(chords[0]->judgement.verdict, Verdict::Right) << ::testing::PrintToString(chords[0]->judgement.heard.treble);
  EXPECT_GE(double(chords[0]->decidedAt), chords[0]->at + (Listener::kVerdictSeconds + Listener::kSecondLookSeconds) * rate);
}

TEST_F(SecondLookTest, AMissingButtonStaysMissingAtTheSecondLook) {
  const auto heard = listenInBlocks(chordWithALateReed(0.0, {60, 67}), 128, expected);
  const auto chords = chordsOf(heard);
  ASSERT_FALSE(chords.empty());
  EXPECT_EQ(chords[0]->judgement.verdict, Verdict::WrongNotes);
  EXPECT_EQ(chords[0]->judgement.missing, std::vector<int>{64});
}

TEST_F(SecondLookTest, TheSecondLookJudgesAgainstTheChordExpectedAtTheFirst) {
  // Practice moves on to the next chord between the two looks: the chord played is still
  // judged against the one it was played for.
  const auto audio = chordWithALateReed(0.020);
  const auto once = listenInBlocks(audio, 1, expected);
  const auto first = chordsOf(once);
  ASSERT_FALSE(first.empty());
  // Midway between the looks, from when the second one decided: the first look's moment after
  // the onset depends on where the onset was placed.
  const double between = double(first[0]->decidedAt) / rate - Listener::kSecondLookSeconds / 2;
  expected.insert(expected.begin() + 1, {between, expectationOf({45, 48, 51}, notes)});
  const auto heard = listenInBlocks(audio, 1, expected);
  const auto chords = chordsOf(heard);
  ASSERT_FALSE(chords.empty());
  EXPECT_EQ(chords[0]->judgement.verdict, Verdict::Right);
  EXPECT_GT(double(chords[0]->decidedAt), between * rate);
}

TEST_F(SecondLookTest, ChordsAreToldInTheOrderTheySoundedWhileOneWaitsForItsSecondLook) {
  const auto heard = listenInBlocks(chordWithALateReed(0.025), 128, expected);
  for (std::size_t i = 1; i < heard.size(); ++i) {
    EXPECT_LE(heard[i - 1].decidedAt, heard[i].decidedAt) << i;
    if (heard[i].kind == Heard::Kind::Chord && heard[i - 1].kind == Heard::Kind::Chord) {
      EXPECT_LT(heard[i - 1].at, heard[i].at) << i;
    }
  }
  EXPECT_EQ(chordsOf(heard).size(), 2u);
}

// ---- Tuning in

namespace {

TuningReport tuneIn(const std::vector<float>& audio, const std::vector<std::vector<int>>& chords) {
  TuningIn tuner(kRate, chords);
  for (std::size_t at = 0; at < audio.size(); at += 128)
    tuner.feed(audio.data() + at, std::min<std::size_t>(128, audio.size() - at));
  return tuner.report();
}

std::vector<SyntheticNote> tuningChords(double level) {
  std::vector<SyntheticNote> notes;
  double at = 0.3;
  for (const std::vector<int>& c : std::vector<std::vector<int>>{{60, 64, 67}, {62, 65, 69}, {55, 59, 62}}) {
    for (int p : c) notes.push_back({at, 0.8, p, level});
    at += 1.0;
  }
  return notes;
}

const std::vector<std::vector<int>> kTuningChords{{60, 64, 67}, {62, 65, 69}, {55, 59, 62}};

}  // namespace

TEST(TuningInTest, AnInstrumentTunedToA446IsLearntToAFewCents) {
  for (double cents : {0.0, 7.9, 23.5}) {
    SyntheticSound s;
    s.referenceCents = cents;
    s.reeds = {-10, 10};
    s.noiseLevel = 0.001;
    const TuningReport r = tuneIn(synthesize(tuningChords(0.05), s, 3.5), kTuningChords);
    EXPECT_EQ(r.status, TuningReport::Status::Fine) << cents;
    EXPECT_NEAR(r.referenceCents, cents, 3.0);
    EXPECT_EQ(r.chordsHeard, 3);
    EXPECT_GT(r.levelDb - r.noiseDb, 30);
  }
}

TEST(TuningInTest, AFaintInstrumentIsTooQuietAndALoudOneThatClipsTooLoud) {
  SyntheticSound s;
  s.noiseLevel = 0.0002;
  EXPECT_EQ(tuneIn(synthesize(tuningChords(0.0003), s, 3.5), kTuningChords).status, TuningReport::Status::TooQuiet);
  auto loud = synthesize(tuningChords(0.3), s, 3.5);
  for (float& x : loud) x = std::clamp(x, -1.0f, 1.0f);
  const TuningReport r = tuneIn(loud, kTuningChords);
  EXPECT_EQ(r.status, TuningReport::Status::TooLoud);
  EXPECT_GT(r.clippedSamples, 0);
}

TEST(TuningInTest, NothingPlayedIsNothingHeard) {
  SyntheticSound s;
  s.noiseLevel = 0.001;
  const TuningReport r = tuneIn(synthesize({}, s, 2.0), kTuningChords);
  EXPECT_EQ(r.status, TuningReport::Status::NothingHeard);
  EXPECT_EQ(r.chordsHeard, 0);
}
