// The built-in synthesizer's real audio output, heard at a PulseAudio null sink of the test's
// own: the chord arrives whole, the buffer asked for is the one in force, and the automatic
// buffer grows after the sound ran dry. The dropout measure itself is checked on made-up sound.
#include <gtest/gtest.h>

#include <regex>

#include "platform/fluid_synth_port.h"
#include "pulse_harness.h"
#include "shell/standard_clock.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

std::vector<float> tone(double ms, double rate = 48000) {
  std::vector<float> out;
  for (int i = 0; i < int(ms * rate / 1000); ++i) {
    const float v = 0.3f * float(std::sin(i * 0.05));
    out.insert(out.end(), {v, v});
  }
  return out;
}

std::vector<float> silence(double ms, double rate = 48000) {
  return std::vector<float>(std::size_t(ms * rate / 1000) * 2, 0.0f);
}

std::vector<float> joined(std::initializer_list<std::vector<float>> parts) {
  std::vector<float> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

/// Waits until `done` or `limit`; true when done.
template <typename Done>
bool waitFor(Done done, std::chrono::milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

double bufferLatencyMs(const PulseServer& server) {
  std::smatch m;
  const std::string text = server.pactl("list sink-inputs");
  return std::regex_search(text, m, std::regex("Buffer Latency: ([0-9]+) usec"))
             ? std::stod(m[1]) / 1000
             : -1;
}

}  // namespace

TEST(DropoutTest, SilenceInsideTheSoundCountsAndSilenceAroundItDoesNot) {
  // Leading and trailing silence, a 1 ms gap (too short to count), gaps of 3 and 10 ms.
  const auto sound = joined({silence(50), tone(100), silence(1), tone(100), silence(3), tone(50),
                             silence(10), tone(20), silence(80)});
  const Dropouts d = findDropouts(sound, 2, 48000);
  EXPECT_EQ(d.count, 2);
  EXPECT_NEAR(d.longestMs, 10, 0.1);
  EXPECT_NEAR(d.soundMs, 284, 0.5);
  EXPECT_EQ(findDropouts(silence(100), 2, 48000).count, 0);
  EXPECT_EQ(findDropouts(tone(100), 2, 48000).count, 0);
}

class PulseSoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server.ready()) GTEST_SKIP() << "no PulseAudio server could run: " << server.whyNot();
  }
  /// Stops the server for 300 ms until the synthesizer has counted more than `seen` underruns.
  bool ranDry(const FluidSynthPort& synth, int seen) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      server.pause(std::chrono::milliseconds(300));
      if (waitFor([&] { return synth.underruns() > seen; }, std::chrono::seconds(2))) return true;
    }
    return false;
  }
  PulseServer server;
};

TEST_F(PulseSoundTest, AChordArrivesWholeWithTheBufferAskedForInForce) {
  FluidSynthPort synth(FluidSynthPort::Options{});
  std::uint32_t handle = 0;
  ASSERT_EQ(synth.open(-1, handle), 0) << synth.errorText(2);
  EXPECT_NE(synth.describe().find("pulseaudio"), std::string::npos) << synth.describe();
  EXPECT_NEAR(synth.latencyMs(), 21.3, 0.1);
  MonitorRecorder recorder(server);
  ASSERT_TRUE(waitFor([&] { return recorder.frames() > 4800; }, std::chrono::seconds(20)));
  for (int pitch : {55, 60, 64, 67})
    synth.send(handle, 0x00640090u | unsigned(pitch) << 8, kAtOnce);
  ASSERT_TRUE(waitFor([&] { return bufferLatencyMs(server) >= 0; }, std::chrono::seconds(10)));
  // FluidSynth asks PulseAudio for one period; with the old 128 frames that was 2 ms or less.
  EXPECT_GE(bufferLatencyMs(server), 5.0);
  const std::size_t before = recorder.frames();
  ASSERT_TRUE(
      waitFor([&] { return recorder.frames() > before + 48000; }, std::chrono::seconds(20)));
  synth.close(handle, kAtOnce);
  const Dropouts d = findDropouts(recorder.stop(), 2, 48000);
  EXPECT_GT(d.soundMs, 900) << "the chord did not reach the sink";
}

TEST_F(PulseSoundTest, NotesGivenTheirTimeSoundThenAndASilenceGivenItsTimeWaitsForIt) {
  FluidSynthPort synth(FluidSynthPort::Options{});
  std::uint32_t handle = 0;
  ASSERT_EQ(synth.open(-1, handle), 0) << synth.errorText(2);
  MonitorRecorder recorder(server);
  ASSERT_TRUE(waitFor([&] { return recorder.frames() > 9600; }, std::chrono::seconds(20)));
  // All sent at once from here: a note at +50 ms, silence at +200 ms, a note at +350 ms.
  const double now = StandardClock().seconds();
  synth.send(handle, 0x00643C90, now + 0.050);
  ASSERT_EQ(synth.close(handle, now + 0.200), 0);
  ASSERT_EQ(synth.open(-1, handle), 0);
  synth.send(handle, 0x00644390, now + 0.350);
  const std::size_t before = recorder.frames();
  ASSERT_TRUE(
      waitFor([&] { return recorder.frames() > before + 24000; }, std::chrono::seconds(20)));
  synth.close(handle, kAtOnce);
  const auto onsets = findOnsets(recorder.stop());
  ASSERT_EQ(onsets.size(), 2u) << "the silence did not come between the two chords";
  const double apartMs = double(onsets[1] - onsets[0]) * 1000.0 / 48000.0;
  // Each lands at the start of one of FluidSynth's 64-frame blocks (1.3 ms).
  EXPECT_NEAR(apartMs, 300, 3);
}

TEST_F(PulseSoundTest, TheAutomaticBufferGrowsAfterTheSoundRanDryAndAFixedOneDoesNot) {
  FluidSynthPort synth(FluidSynthPort::Options{});
  std::uint32_t handle = 0;
  ASSERT_EQ(synth.open(-1, handle), 0) << synth.errorText(2);
  EXPECT_FALSE(synth.adaptBuffer()) << "nothing ran dry yet";
  // A held note, and the server stopped for longer than the buffer lasts: the sound written
  // falls behind. (The output's first second only settles, so the stop is repeated until it
  // counts.)
  synth.send(handle, 0x00643C90, kAtOnce);
  ASSERT_TRUE(ranDry(synth, 0));
  EXPECT_TRUE(synth.adaptBuffer());
  EXPECT_NEAR(synth.latencyMs(), 42.7, 0.1);
  EXPECT_NE(synth.describe().find("automatic"), std::string::npos);
  EXPECT_EQ(synth.open(-1, handle), 0) << "the output runs again";

  synth.setBuffer(40);
  EXPECT_NEAR(synth.latencyMs(), 40, 0.5);
  synth.send(handle, 0x00643C90, kAtOnce);
  ASSERT_TRUE(ranDry(synth, synth.underruns()));
  EXPECT_FALSE(synth.adaptBuffer()) << "a buffer the user set stays as set";
  EXPECT_NEAR(synth.latencyMs(), 40, 0.5);
}
