// The microphone on real sound servers the tests start: a rendered take played into the null
// sink is captured from its monitor, through PulseAudio's protocol (on PulseAudio and on
// PipeWire's bridge) and through PipeWire's own streams, and heard as the same take read from
// memory is heard; the sources are listed without the monitors; a source that is not there is
// refused with a reason; the program's microphone, which tries PipeWire's own streams first,
// captures through PulseAudio where PipeWire is not there.
#include <gtest/gtest.h>

#include <pulse/error.h>

#include <condition_variable>
#include <mutex>

#include "listen_eval.h"
#include "pipewire_harness.h"
#include "platform/microphone.h"
#include "platform/pipewire_capture.h"
#include "platform/pulse_capture.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

enum class Server : std::uint8_t { Pulse, PipeWire };
struct Setup {
  Server server;
  bool native;             ///< PipeWire's own capture, not PulseAudio's protocol
  bool either = false;     ///< the program's microphone, which tries PipeWire's first
};

std::string setupName(const ::testing::TestParamInfo<Setup>& info) {
  if (info.param.either)
    return std::string(info.param.server == Server::Pulse ? "PulseAudio" : "PipeWire") + "EitherWay";
  return std::string(info.param.server == Server::Pulse ? "PulseAudio" : "PipeWire") +
         (info.param.native ? "Native" : "ThroughPulse");
}

/// The blocks a capture delivered, joined, with each block's moment.
class Captured {
 public:
  SoundIn::Deliver deliver() {
    return [this](const float* samples, std::size_t count, SoundIn::Clock::time_point at) {
      std::lock_guard<std::mutex> lock(mutex_);
      moments_.emplace_back(samples_.size(), at);
      samples_.insert(samples_.end(), samples, samples + count);
      changed_.notify_all();
    };
  }
  /// Until at least `frames` were captured, or `limit` passed (a capture that stopped).
  bool waitFor(std::size_t frames, std::chrono::seconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return samples_.size() >= frames; });
  }
  std::vector<float> samples() {
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
  }
  std::vector<std::pair<std::size_t, SoundIn::Clock::time_point>> moments() {
    std::lock_guard<std::mutex> lock(mutex_);
    return moments_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<float> samples_;
  std::vector<std::pair<std::size_t, SoundIn::Clock::time_point>> moments_;
};

/// The first sample louder than `level`, or the end.
std::size_t firstSound(const std::vector<float>& samples, float level = 1e-3f) {
  std::size_t i = 0;
  while (i < samples.size() && std::abs(samples[i]) < level) ++i;
  return i;
}

int judgedRight(const TakeOutcome& outcome) {
  int right = 0;
  for (const ChordOutcome& o : outcome.chords) right += o.heard && o.verdict == listen::Verdict::Right;
  return right;
}

class SoundInTest : public ::testing::TestWithParam<Setup> {
 protected:
  void SetUp() override {
    if (GetParam().server == Server::Pulse)
      server = std::make_unique<PulseServer>();
    else
      server = std::make_unique<PipeWireServer>();
    if (!server->ready()) GTEST_SKIP() << "no " << server->name() << " server could run: " << server->whyNot();
    if (GetParam().either)
      capture = std::make_unique<Microphone>();
    else if (GetParam().native)
      capture = std::make_unique<PipeWireCapture>();
    else
      capture = std::make_unique<PulseCapture>();
  }
  void TearDown() override {
    capture.reset();  // before the server goes
  }
  /// Plays mono samples into the test's sink and waits until they were played.
  void play(const std::vector<float>& samples) {
    const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, 48000, 1};
    int error = 0;
    pa_simple* out = pa_simple_new(server->server().c_str(), "tastrello-test-player", PA_STREAM_PLAYBACK,
                                   SoundServer::kSink, "take", &format, nullptr, nullptr, &error);
    ASSERT_NE(out, nullptr) << pa_strerror(error);
    EXPECT_EQ(pa_simple_write(out, samples.data(), samples.size() * sizeof(float), &error), 0);
    EXPECT_EQ(pa_simple_drain(out, &error), 0);
    pa_simple_free(out);
  }
  std::unique_ptr<SoundServer> server;
  std::unique_ptr<SoundIn> capture;
  Captured captured;
};

}  // namespace

TEST_P(SoundInTest, ATakePlayedIntoTheSinkIsHeardFromItsMonitorAsFromMemory) {
  std::string why;
  if (!haveSoundFont(why)) GTEST_SKIP() << why;
  TakeSound sound;
  sound.reverb = 30;
  CorpusTake take = lessonTake(std::string(TASTRELLO_DATA) + "/Records/Lessons_1 C-Dur Tonleiter.txt", 120, sound);
  const std::vector<float> rendered = renderCorpusTake(take);
  ASSERT_EQ(capture->open(std::string(SoundServer::kSink) + ".monitor", 48000, captured.deliver()), "");
  play(rendered);
  // The sink played it all; the monitor hands it over a little later.
  const std::size_t wanted = firstSound(captured.samples()) + rendered.size();
  ASSERT_TRUE(captured.waitFor(wanted, std::chrono::seconds(30)));
  const double latency = capture->latencyMs();
  capture->close();
  std::vector<float> heard = captured.samples();
  const std::size_t offset = firstSound(heard) - firstSound(rendered);
  ASSERT_LT(firstSound(heard), heard.size());
  heard.erase(heard.begin(), heard.begin() + std::ptrdiff_t(offset));
  heard.resize(rendered.size());
  // Heard through the server as from memory: every chord the memory's listening hears right.
  const TakeOutcome fromMemory = listenTo(take, rendered, 0), throughServer = listenTo(take, heard, 0);
  EXPECT_GE(judgedRight(fromMemory), int(take.chords.size()) - 1);
  EXPECT_GE(judgedRight(throughServer), judgedRight(fromMemory)) << judgedRight(throughServer) << " of " << take.chords.size();
  EXPECT_GT(latency, 0.0);
  std::printf("%s: %d of %zu chords right through the capture, latency told %.1f ms\n", server->name().c_str(),
              judgedRight(throughServer), take.chords.size(), latency);
}

TEST_P(SoundInTest, EachBlockIsToldNoEarlierThanTheOneBefore) {
  ASSERT_EQ(capture->open(std::string(SoundServer::kSink) + ".monitor", 48000, captured.deliver()), "");
  ASSERT_TRUE(captured.waitFor(24000, std::chrono::seconds(30)));
  capture->close();
  const auto moments = captured.moments();
  ASSERT_GT(moments.size(), 2u);
  for (std::size_t i = 1; i < moments.size(); ++i) {
    // A block's first sample cannot reach the device before the block before it.
    EXPECT_GE(moments[i].second, moments[i - 1].second) << "block " << i;
  }
}

TEST_P(SoundInTest, TheSourcesListedAreTheServersInputsWithoutMonitors) {
  // A source of its own, as a microphone is: the sink's sound remapped (both servers have it).
  server->pactl(std::string("load-module module-remap-source source_name=tastrello_test_microphone master=") +
                SoundServer::kSink + ".monitor");
  std::string why;
  std::vector<SoundSource> sources;
  auto listed = [&] {
    sources = dynamic_cast<SoundSources&>(*capture).list(why);
    return std::any_of(sources.begin(), sources.end(), [](const SoundSource& s) { return s.name == "tastrello_test_microphone"; });
  };
  // The server takes the module a moment after pactl returns.
  for (int tries = 0; tries < 100 && !listed(); ++tries) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(listed()) << why;
  for (const SoundSource& s : sources) {
    EXPECT_EQ(s.name.find(".monitor"), std::string::npos) << s.name;
    EXPECT_NE(s.name, SoundServer::kSink);
  }
}

TEST_P(SoundInTest, ASourceThatIsNotThereIsRefusedWithAReason) {
  // PipeWire would take the default source in its place, unsaid.
  const std::string why = capture->open("tastrello_no_such_source", 48000, captured.deliver());
  EXPECT_NE(why.find("tastrello_no_such_source"), std::string::npos) << why;
  capture->close();
}

INSTANTIATE_TEST_SUITE_P(Captures, SoundInTest,
                         ::testing::Values(Setup{Server::Pulse, false}, Setup{Server::PipeWire, false},
                                           Setup{Server::PipeWire, true},
                                           // With PulseAudio alone the program's microphone
                                           // finds no PipeWire and captures through PulseAudio.
                                           Setup{Server::Pulse, false, true}),
                         setupName);
