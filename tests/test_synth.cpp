// The built-in synthesizer rendered to memory: sound at the right pitch after a note-on,
// silence right after the device reset.
#include <fluidsynth.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <numbers>

#include "platform/fluid_synth_port.h"
#include "test_support.h"

using namespace tastrello;

namespace {

struct Block {
  std::vector<float> left, right;
};

Block render(FluidSynthPort& synth, int frames) {
  Block b{std::vector<float>(frames), std::vector<float>(frames)};
  synth.render(b.left.data(), b.right.data(), frames);
  return b;
}

double rms(const std::vector<float>& s, std::size_t from = 0) {
  double sum = 0;
  for (std::size_t i = from; i < s.size(); ++i) sum += s[i] * s[i];
  return std::sqrt(sum / double(std::max<std::size_t>(1, s.size() - from)));
}

/// Strength of one frequency in the signal (Goertzel).
double power(const std::vector<float>& s, double hz, double rate) {
  const double w = 2 * std::numbers::pi * hz / rate;
  double s1 = 0, s2 = 0;
  for (float x : s) {
    const double s0 = x + 2 * std::cos(w) * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  return s1 * s1 + s2 * s2 - 2 * std::cos(w) * s1 * s2;
}

}  // namespace

class SynthTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (FluidSynthPort::findSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont";
    // As the program starts it: the General MIDI font found, the reed font over it.
    FluidSynthPort::Options options;
    options.audioOutput = false;
    options.reedFont = TASTRELLO_REEDS;
    synth = std::make_unique<FluidSynthPort>(options);
    ASSERT_TRUE(synth->ready());
    ASSERT_EQ(synth->open(-1, handle), 0);
  }
  std::unique_ptr<FluidSynthPort> synth;
  std::uint32_t handle = 0;
};

TEST_F(SynthTest, NoteOnSoundsAtItsPitch) {
  EXPECT_LT(rms(render(*synth, 4800).left), 1e-6);
  ASSERT_EQ(synth->send(handle, 0x000015C0, kAtOnce), 0);  // accordion
  ASSERT_EQ(synth->send(handle, 0x00634590, kAtOnce), 0);  // a1 = 440 Hz
  const auto sound = render(*synth, 24000).left;
  EXPECT_GT(rms(sound), 0.01);
  const double rate = synth->sampleRate();
  const double at440 = power(sound, 440, rate);
  EXPECT_GT(at440, 5 * power(sound, 415.3, rate));
  EXPECT_GT(at440, 5 * power(sound, 466.2, rate));
}

TEST_F(SynthTest, AHeldFourNoteChordSitsAtAComfortableLevelAndNeverClips) {
  // The accordion (program 22) on a G-C-F push chord with the melody note: c1 e1 g1 c2.
  ASSERT_EQ(synth->send(handle, 0x000015C0, kAtOnce), 0);
  for (std::uint32_t note : {0x00633C90u, 0x00634090u, 0x00634390u, 0x00634890u})
    ASSERT_EQ(synth->send(handle, note, kAtOnce), 0);
  const auto sound = render(*synth, 96000);  // two seconds
  double peak = 0;
  for (const auto* side : {&sound.left, &sound.right})
    for (float x : *side) peak = std::max(peak, double(std::abs(x)));
  const double rmsDb = 20 * std::log10(rms(sound.left, 4800));  // after the attack
  const double peakDb = 20 * std::log10(peak);
  std::printf("four-note chord: %.1f dBFS RMS, peak %.1f dBFS\n", rmsDb, peakDb);
  EXPECT_NEAR(rmsDb, -16.0, 2.0);
  EXPECT_LT(peakDb, -1.0);
}

/// The peak of a chord held for a second, in dBFS, on the accordion at the program's velocity.
double chordPeakDb(FluidSynthPort& synth, std::uint32_t& handle, const std::vector<int>& pitches) {
  synth.send(handle, 0x000015C0, kAtOnce);
  for (int p : pitches) synth.send(handle, 0x00630090u | std::uint32_t(p) << 8, kAtOnce);
  std::vector<float> left(48000), right(48000);
  synth.render(left.data(), right.data(), 48000);
  synth.close(handle, kAtOnce);
  synth.open(-1, handle);
  std::vector<float> tail(4800);
  synth.render(tail.data(), tail.data(), 4800);  // the reset's last block
  double peak = 1e-9;
  for (const auto* side : {&left, &right})
    for (float x : *side) peak = std::max(peak, double(std::abs(x)));
  return 20 * std::log10(peak);
}

TEST_F(SynthTest, TheLoudestFourButtonChordOfEveryShippedLayoutPeaksAtMinusOneDbfsOrBelow) {
  // Any four buttons make a chord in free play (the same pitch on two buttons too). Peaks add
  // at most, so the loudest chords are among those of the loudest single notes: each layout's
  // eight loudest buttons, all 70 chords of four of them, rendered.
  tastrello::testing::MemoryFiles files;
  files.loadShippedData();
  std::map<int, double> notePeak;
  double loudest = -100;
  std::string which;
  for (const auto& [path, bytes] : files.files) {
    // The layouts alone: the instrument files beside them are no tunings of the 68 buttons.
    if (path.rfind("Notes/Notes_", 0) != 0) continue;
    Form1 form({synth.get(), &files, nullptr});
    form.Form_Load();
    form.noteFileName = path.substr(6);
    ASSERT_TRUE(form.loadNoteLayout()) << path;
    std::vector<std::pair<double, int>> buttons;  // peak, pitch
    for (int b = 0; b < kKeyCount; ++b) {
      const auto pitch = form.keyNote(b);
      if (!pitch || *pitch <= 0) continue;
      if (!notePeak.count(*pitch)) notePeak[*pitch] = chordPeakDb(*synth, handle, {*pitch});
      buttons.push_back({notePeak[*pitch], *pitch});
    }
    ASSERT_GE(buttons.size(), 8u) << path;
    std::sort(buttons.rbegin(), buttons.rend());
    for (int a = 0; a < 8; ++a)
      for (int b = a + 1; b < 8; ++b)
        for (int c = b + 1; c < 8; ++c)
          for (int d = c + 1; d < 8; ++d) {
            const std::vector<int> chord{buttons[a].second, buttons[b].second, buttons[c].second,
                                         buttons[d].second};
            const double peak = chordPeakDb(*synth, handle, chord);
            if (peak > loudest) {
              loudest = peak;
              which = path + ": " + std::to_string(chord[0]) + " " + std::to_string(chord[1]) +
                      " " + std::to_string(chord[2]) + " " + std::to_string(chord[3]);
            }
          }
  }
  ASSERT_FALSE(which.empty()) << "no layout was found";
  std::printf("loudest four-button chord: %s, peak %.2f dBFS\n", which.c_str(), loudest);
  EXPECT_LE(loudest, -1.0) << which;
}

TEST_F(SynthTest, DeviceResetSilencesWithinAFewMilliseconds) {
  synth->send(handle, 0x000015C0, kAtOnce);
  for (std::uint32_t note : {0x00633C90u, 0x00634090u, 0x00634390u})
    synth->send(handle, note, kAtOnce);
  render(*synth, 9600);
  ASSERT_EQ(synth->close(handle, kAtOnce), 0);
  std::uint32_t again = 0;
  ASSERT_EQ(synth->open(-1, again), 0);
  const auto after = render(*synth, 480).left;            // 10 ms
  EXPECT_LT(rms(after, 240), 1e-4);                       // silent from 5 ms on
  ASSERT_EQ(synth->send(again, 0x00633C90, kAtOnce), 0);  // and plays again at once
  EXPECT_GT(rms(render(*synth, 4800).left), 0.005);
}

TEST_F(SynthTest, OldHandleAndMissingInstrumentsAreRefused) {
  ASSERT_EQ(synth->close(handle, kAtOnce), 0);
  EXPECT_NE(synth->send(handle, 0x00633C90, kAtOnce), 0);
  std::uint32_t h = 0;
  ASSERT_EQ(synth->open(-1, h), 0);
  EXPECT_EQ(synth->send(h, 0x00000FC0, kAtOnce), 0);
  EXPECT_FALSE(synth->errorText(2).empty());
}

TEST(SynthBufferTest, TheBufferAskedIsTheOneGivenAndWithoutAnOutputNothingIsCounted) {
  FluidSynthPort::Options options;
  options.audioOutput = false;
  FluidSynthPort synth(options);
  EXPECT_NEAR(synth.bufferMs(), 21.3, 0.1);  // 1024 frames at 48 kHz
  synth.setBufferFrames(1920);
  EXPECT_NEAR(synth.bufferMs(), 40, 0.01);
  const AudioReport r = synth.report();
  EXPECT_FALSE(r.running);
  EXPECT_FALSE(r.problem.empty());
  EXPECT_EQ(r.bufferFrames, 1920);
  EXPECT_EQ(r.dropouts(), 0);
}

TEST(SynthStartTest, ASoundFontThatIsNoFileIsRefusedWithoutBlocking) {
  const auto fifo = std::filesystem::temp_directory_path() /
                    ("tastrello-font-" + std::to_string(::getpid()) + ".sf2");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  FluidSynthPort::Options options;
  options.audioOutput = false;
  options.soundFont = fifo.string();
  FluidSynthPort synth(options);  // would hang here if it opened the FIFO
  std::filesystem::remove(fifo);
  EXPECT_FALSE(synth.ready());
  std::uint32_t h = 0;
  const int code = synth.open(-1, h);
  EXPECT_NE(synth.errorText(code).find("not a readable file"), std::string::npos);
}

TEST(SynthStartTest, ItsReasonsAreWordedInTheLanguageInForceWhenTheyAreShown) {
  UiLanguage language = UiLanguage::German;
  FluidSynthPort::Options options;
  options.audioOutput = false;
  options.soundFont = "/nonexistent/Font.sf2";
  options.language = [&language] { return language; };
  FluidSynthPort synth(options);
  std::uint32_t h = 0;
  const int code = synth.open(-1, h);
  EXPECT_EQ(synth.errorText(code), "Die SoundFont /nonexistent/Font.sf2 ist keine lesbare Datei.");
  language = UiLanguage::Spanish;  // the learner clicks another flag: the same reason, in Spanish
  EXPECT_EQ(synth.errorText(code), "La SoundFont /nonexistent/Font.sf2 no es un archivo legible.");
  EXPECT_EQ(synth.errorText(-77), "Error desconocido -77 del sintetizador integrado.");
}

// A shipped lesson replayed tick by tick on the real synthesizer, rendering the audio that
// each 150 ms tick would be heard for.

TEST_F(SynthTest, ReplayedLessonSoundsOnItsTicksAndFallsSilentOnAMuteRest) {
  tastrello::testing::MemoryFiles files;
  files.loadShippedData();
  Form1 form({synth.get(), &files, nullptr});
  form.Form_Load();
  form.Form_Activate();
  form.clickToggle(form.RecordLession);
  form.RecordList.selected = 0;  // the C major scale: 8 notes, a mute rest, 8 notes back
  form.RecordList_Click();
  ASSERT_EQ(form.eventButtonLines[9], "-BREAK MUTE-");
  form.Speed.value = 25;
  form.PlayStop_Click();
  const int frames = static_cast<int>(synth->sampleRate() * 0.150);
  const int fiveMs = static_cast<int>(synth->sampleRate() * 0.005);
  for (int tick = 0; tick <= 10; ++tick) {
    form.Timer1_Timer();
    const auto block = render(*synth, frames).left;
    const std::vector<float> onset(block.begin(), block.begin() + 2 * fiveMs);
    const int event = form.replayPosition;
    if (tick == 0) {
      EXPECT_LT(rms(block), 1e-4) << "the first tick after a load is a rest tick";
    } else if (event == 9) {
      EXPECT_LT(rms(block, fiveMs), 1e-4) << "silent after the mute rest";
    } else {
      EXPECT_GT(rms(onset), 1e-3) << "sound starts on tick " << tick;
      EXPECT_GT(rms(block), 0.01) << "event " << event;
    }
  }
}

TEST(SequencerTimingTest, ANoteGivenTheTickForABlockSoundsFromThatBlockAndNotBefore) {
  // FluidSynth's sequencer on the synthesizer's own clock, as the program runs it: whatever
  // the block's place against the millisecond, a note given the tick for a block starts in it.
  const std::string font = FluidSynthPort::findSoundFont();
  if (font.empty()) GTEST_SKIP() << "no General MIDI SoundFont";
  constexpr double kRate = 48000;
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRate);
  fluid_settings_setint(settings, "synth.reverb.active", 0);
  fluid_settings_setint(settings, "synth.chorus.active", 0);
  fluid_synth_t* synth = new_fluid_synth(settings);
  ASSERT_GE(fluid_synth_sfload(synth, font.c_str(), 1), 0);
  fluid_synth_program_change(synth, 0, 21);
  fluid_sequencer_t* sequencer = new_fluid_sequencer2(0);
  fluid_sequencer_set_time_scale(sequencer, FluidSynthPort::kTicksPerSecond);
  const short destination = fluid_sequencer_register_fluidsynth(sequencer, synth);
  fluid_event_t* event = new_fluid_event();
  fluid_event_set_source(event, -1);
  fluid_event_set_dest(event, destination);

  long long rendered = 0;
  std::vector<float> left(512), right(512);
  for (long long block = 40; block < 64; ++block) {
    const long long frame = block * FluidSynthPort::kSynthBlock + 9600 * (block - 40);
    fluid_event_noteon(event, 0, 60, 100);
    ASSERT_EQ(fluid_sequencer_send_at(sequencer, event, FluidSynthPort::tickFor(frame, kRate), 1),
              FLUID_OK);
    long long firstSound = -1;
    while (rendered < frame + 4800) {
      std::fill(left.begin(), left.end(), 0.0f);
      std::fill(right.begin(), right.end(), 0.0f);
      float* out[] = {left.data(), right.data()};
      fluid_synth_process(synth, 512, 0, nullptr, 2, out);
      for (int i = 0; i < 512 && firstSound < 0; ++i)
        if (std::fabs(left[std::size_t(i)]) > 1e-6f) firstSound = rendered + i;
      rendered += 512;
    }
    EXPECT_GE(firstSound, frame) << "block " << block << ": sounded early";
    EXPECT_LT(firstSound, frame + FluidSynthPort::kSynthBlock) << "block " << block;
    fluid_synth_all_sounds_off(synth, -1);
  }
  delete_fluid_event(event);
  delete_fluid_sequencer(sequencer);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
}

TEST(SequencerTimingTest, AMomentIsTakenToTheNearestBlock) {
  // Frame 4800 is heard at 1 s. 0.6 ms later is frame 4828.8, nearer to 4800 than to 4864;
  // 0.7 ms later is 4833.6, nearer to 4864. 151 ms later is 12048, nearer to 12032 than to
  // 12096; 11 ms earlier is 4272, nearer to 4288 than to 4224.
  const long long heard = 1'000'000'000;
  EXPECT_EQ(FluidSynthPort::blockFor(4800, heard, heard, 48000), 4800);
  EXPECT_EQ(FluidSynthPort::blockFor(4800, heard, heard + 600'000, 48000), 4800);
  EXPECT_EQ(FluidSynthPort::blockFor(4800, heard, heard + 700'000, 48000), 4864);
  EXPECT_EQ(FluidSynthPort::blockFor(4800, heard, heard + 151'000'000, 48000), 12032);
  EXPECT_EQ(FluidSynthPort::blockFor(4800, heard, heard - 11'000'000, 48000), 4288);
}
