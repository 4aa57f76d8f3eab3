// Sound under load, measured at a sink, on a private PulseAudio server and on a private
// PipeWire (with pipewire-pulse and WirePlumber) in the same run: the program's real FluidSynth
// audio output, the sink's monitor recorded, and the runs of digital silence inside a held
// four-note chord counted, idle and with busy loops on every core; PipeWire's cycle, the
// latency the output tells, the silence when the buffer grows. On PipeWire each measure is
// taken with the program's native output (its default there) and with its PulseAudio output
// through pipewire-pulse.
// Usage: tastrello_bench_sound [SECONDS per chord, default 20] [SETUP ...]
//          SETUP: auto (the program's default), pulse (the program's PulseAudio output, on
//          PipeWire through pipewire-pulse), fluidsynth (FluidSynth's own PulseAudio driver,
//          1024 frames), or a number of frames for a fixed buffer
//        tastrello_bench_sound replay   (click to onset and replay timing at the sink)
//        tastrello_bench_sound growth   (the silence when the buffer grows, and the latency
//                                        told against the latency heard)
#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "bench_support.h"
#include "platform/disk_files.h"
#include "platform/fluid_synth_port.h"
#include "platform/main_view.h"
#include "platform/output_switch.h"
#include "platform/working_folder.h"
#include "pipewire_harness.h"
#include "pulse_harness.h"
#include "sound/audio_buffer.h"
#include "shell/text.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

struct Figures {
  Dropouts dropouts;
  double told = 0;     ///< the latency the output tells (pa_stream_get_latency), ms
  int counted = 0;     ///< dropouts the program counted itself (all kinds)
  double inForce = 0;  ///< the buffer asked at the end, in milliseconds
  int cycle = 0;       ///< PipeWire's cycle while the chord played, frames (0: not PipeWire)
};

std::unique_ptr<SoundServer> startServer(int which) {
  if (which == 0) return std::make_unique<PulseServer>();
  return std::make_unique<PipeWireServer>(which == 2);
}

/// The program's outputs worth measuring on a server: its default, and on PipeWire also its
/// PulseAudio output through pipewire-pulse ("pulse").
std::vector<std::string> ownOutputs(const SoundServer& server) {
  if (dynamic_cast<const PipeWireServer*>(&server)) return {"", "pulse"};
  return {""};
}

/// How the program's output reaches the server, for the tables.
std::string outputName(const SoundServer& server, const std::string& driver) {
  if (!dynamic_cast<const PipeWireServer*>(&server)) return "";
  return driver.empty() ? "native" : "via pulse";
}

Figures holdChord(const SoundServer& server, FluidSynthPort::Options options, bool automatic,
                  double seconds, bool loaded) {
  Figures figures;
  FluidSynthPort synth(options);
  std::uint32_t handle = 0;
  if (synth.open(-1, handle) != 0) {
    std::fprintf(stderr, "no sound: %s\n", synth.errorText(2).c_str());
    return figures;
  }
  MonitorRecorder recorder(server);
  const auto start = std::chrono::steady_clock::now();
  while (recorder.frames() < 4800 &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  synth.send(handle, 0x15C0, kAtOnce);  // accordion
  for (int pitch : {55, 60, 64, 67})
    synth.send(handle, 0x00640090u | unsigned(pitch) << 8, kAtOnce);
  AudioBuffer buffer = audio_buffer::start({}, options.sampleRate);
  buffer.frames = options.periodSize;
  {
    std::unique_ptr<CpuLoad> load;
    if (loaded) load = std::make_unique<CpuLoad>(std::chrono::seconds(int(seconds) + 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    figures.told = synth.report().latencyMs;
    if (const auto* pipeWire = dynamic_cast<const PipeWireServer*>(&server))
      figures.cycle = pipeWire->cycleFrames();
    // As the window does: every two seconds the automatic buffer may grow.
    const auto until =
        start + std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::duration<double>(seconds));
    while (std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(
          std::chrono::seconds(2), until - std::chrono::steady_clock::now()));
      if (!automatic) continue;
      buffer = audio_buffer::afterDropouts(buffer, synth.report().dropouts());
      synth.setBufferFrames(buffer.frames);
    }
    figures.inForce = synth.bufferMs();
  }
  for (int pitch : {55, 60, 64, 67})
    synth.send(handle, 0x00000080u | unsigned(pitch) << 8, kAtOnce);
  figures.counted = synth.report().dropouts();
  synth.close(handle, kAtOnce);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  figures.dropouts = findDropouts(recorder.stop(), 2, 48000);
  return figures;
}

struct Stats {
  double median = 0, p99 = 0, max = 0;
};

Stats stats(std::vector<double> v) {
  Stats s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  s.median = v[v.size() / 2];
  s.p99 = v[std::min(v.size() - 1, std::size_t(0.99 * double(v.size() - 1)))];
  s.max = v.back();
  return s;
}

/// The synthesizer with the lead asked for: 0 sends each step on its tick, as an output that
/// places nothing in time would (the baseline).
class LeadPort : public MidiPort {
 public:
  LeadPort(MidiPort& inner, double lead) : inner_(inner), lead_(lead) {}
  int open(int id, std::uint32_t& h) override { return inner_.open(id, h); }
  int send(std::uint32_t h, std::uint32_t word, SoundTime at) override {
    return inner_.send(h, word, lead_ > 0 ? at : kAtOnce);
  }
  int close(std::uint32_t h, SoundTime at) override {
    return inner_.close(h, lead_ > 0 ? at : kAtOnce);
  }
  std::string errorText(int code) override { return inner_.errorText(code); }
  double leadSeconds() override { return lead_; }

 private:
  MidiPort& inner_;
  double lead_;
};

/// Replays chords and silent rests in turn through the real window and the built-in
/// synthesizer; the deviation of each chord's onset at the sink from n x interval.
void replayAtTheSink(const SoundServer& server, const std::filesystem::path& folder,
                     const std::string& driver, std::chrono::milliseconds lead, bool loaded,
                     const char* what) {
  DiskFiles files(folder);
  FluidSynthPort::Options options;
  options.driver = driver;
  OutputSwitch outputs(folder, options);
  LeadPort port(outputs, std::chrono::duration<double>(lead).count());
  Form1 form({&port, &files, &outputs});
  form.Form_Load();
  MainView view(form);
  form.Form_Activate();
  // A fixed buffer of the automatic start (1024 frames): a buffer that grows in the middle of
  // the run would move every later onset.
  outputs.useAudioBuffer(audio_buffer::kAutomaticStart);
  std::vector<std::string> lines{"Notes_G-C-F.txt"};
  for (int i = 0; i < 60; ++i)
    lines.insert(lines.end(), {"44/47/50/", "c1/e1/g1/", "-BREAK MUTE-"});
  loadBenchRecord(form, files, "Records_Timing.txt", lines);
  form.Speed.value = 25;  // 150 ms a step
  form.Speed_Click();
  const int interval = form.tempoInterval();
  MonitorRecorder recorder(server);
  while (recorder.frames() < 9600) QApplication::processEvents(QEventLoop::AllEvents, 5);
  {
    std::unique_ptr<CpuLoad> load;
    if (loaded) load = std::make_unique<CpuLoad>(std::chrono::seconds(30));
    form.PlayStop_Click();
    view.render();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(interval * 122);
    while (std::chrono::steady_clock::now() < until)
      QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    form.StopReplay_Click();
    view.render();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto found = findOnsets(recorder.stop());
  // Each onset against its place on the grid of chords (every second step), the grid laid
  // where the onsets sit on the whole (their median offset): the steady latency is no error.
  std::vector<double> offset;
  for (std::size_t k = 0; k < found.size(); ++k) {
    const double ms = double(found[k] - found[0]) * 1000.0 / 48000.0;
    offset.push_back(ms - std::round(ms / (2.0 * interval)) * 2.0 * interval);
  }
  std::vector<double> sorted = offset;
  std::sort(sorted.begin(), sorted.end());
  const double middle = sorted.empty() ? 0 : sorted[sorted.size() / 2];
  std::vector<double> deviation;
  for (double o : offset) deviation.push_back(std::fabs(o - middle));
  const Stats s = stats(deviation);
  if (std::getenv("TASTRELLO_ONSETS"))
    for (std::size_t k = 0; k < std::min<std::size_t>(found.size(), 12); ++k)
      std::printf("   onset %zu at %.2f ms\n", k, double(found[k] - found[0]) * 1000.0 / 48000.0);
  std::printf("%-10s %-9s %-46s %-6s %3zu onsets  deviation median %6.2f  p99 %6.2f  max %6.2f ms  [%s]\n",
              server.name().c_str(), outputName(server, driver).c_str(), what, loaded ? "loaded" : "idle", found.size(), s.median,
              s.p99, s.max, outputs.synth().describe().c_str());
  std::fflush(stdout);
}

/// Spins the window's event loop for a while.
void spin(std::chrono::milliseconds span) {
  const auto until = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < until)
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
}

/// A mouse click on a key of the real window to the onset of its note at the sink, measured
/// on one clock: the click's time, and the time the sink played the onset's frame.
void clickToSound(const SoundServer& server, const std::filesystem::path& folder,
                  const std::string& driver, bool loaded) {
  DiskFiles files(folder);
  FluidSynthPort::Options options;
  options.driver = driver;
  OutputSwitch outputs(folder, options);
  Form1 form({&outputs, &files, &outputs});
  form.Form_Load();
  MainView view(form);
  view.show();
  form.Form_Activate();
  view.render();
  MonitorRecorder recorder(server);
  while (recorder.frames() < 9600) spin(std::chrono::milliseconds(5));
  std::vector<std::chrono::steady_clock::time_point> clicks;
  {
    std::unique_ptr<CpuLoad> load;
    if (loaded) load = std::make_unique<CpuLoad>(std::chrono::seconds(40));
    QWidget* key = view.keyWidget(44);
    for (int i = 0; i < 60; ++i) {
      spin(std::chrono::milliseconds(150));
      clicks.push_back(std::chrono::steady_clock::now());
      QTest::mouseClick(key, Qt::LeftButton);
      spin(std::chrono::milliseconds(150));
      QTest::mouseClick(key, Qt::LeftButton);  // a click on the lit key lets it go: silence
    }
    spin(std::chrono::milliseconds(300));
  }
  const auto samples = recorder.stop();
  const auto found = findOnsets(samples);
  std::vector<double> latency;
  std::size_t next = 0;
  for (const auto& click : clicks) {
    while (next < found.size() && recorder.playedAt(found[next]) < click) ++next;
    if (next == found.size()) break;
    const double ms =
        std::chrono::duration<double, std::milli>(recorder.playedAt(found[next]) - click).count();
    if (ms < 140) latency.push_back(ms);
  }
  const Stats s = stats(latency);
  std::printf(
      "%-10s %-9s click on a key to its onset at the sink, %-6s %2zu of %zu clicks  median %6.2f  "
      "p99 %6.2f  max %6.2f ms  [%s]\n",
      server.name().c_str(), outputName(server, driver).c_str(), loaded ? "loaded" : "idle", latency.size(), clicks.size(), s.median, s.p99, s.max,
      outputs.synth().describe().c_str());
  std::fflush(stdout);
}

/// The silence at the sink while the buffer of a held chord grows 1024 -> 2048 -> 4096 frames
/// on the running stream, and the latency told against the latency heard for a note.
void growth(const SoundServer& server, const std::string& driver) {
  FluidSynthPort::Options options;
  options.driver = driver;
  FluidSynthPort synth(options);
  std::uint32_t handle = 0;
  if (synth.open(-1, handle) != 0) return;
  MonitorRecorder recorder(server);
  while (recorder.frames() < 48000) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  // A note alone: heard after how long, against the latency told.
  synth.send(handle, 0x15C0, kAtOnce);
  const auto sent = std::chrono::steady_clock::now();
  synth.send(handle, 0x00643C90, kAtOnce);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const AudioReport told = synth.report();
  for (int pitch : {55, 64, 67}) synth.send(handle, 0x00640090u | unsigned(pitch) << 8, kAtOnce);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  int cycle = 0;
  if (const auto* pipeWire = dynamic_cast<const PipeWireServer*>(&server))
    cycle = pipeWire->cycleFrames();
  const std::size_t from = recorder.frames();
  synth.setBufferFrames(2048);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  synth.setBufferFrames(4096);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const AudioReport grown = synth.report();
  synth.close(handle, kAtOnce);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto samples = recorder.stop();
  double heardMs = -1;
  for (std::size_t onset : findOnsets(samples)) {
    heardMs = std::chrono::duration<double, std::milli>(recorder.playedAt(onset) - sent).count();
    if (heardMs > 0) break;
  }
  const std::vector<float> during(samples.begin() + std::ptrdiff_t(2 * from), samples.end());
  const Dropouts d = findDropouts(during, 2, 48000, 0.5);
  std::printf(
      "%-27s %-9s 1024 frames asked: %5d in force, cycle %4s, latency told %5.1f ms, note heard "
      "after %5.1f ms | grown to 4096 while playing: %5d in force, latency told %5.1f ms, "
      "silences of 0.5 ms or more %d (longest %.1f ms)\n",
      server.name().c_str(), outputName(server, driver).c_str(), told.framesInForce,
      cycle > 0 ? std::to_string(cycle).c_str() : "-",
      told.latencyMs, heardMs, grown.framesInForce, grown.latencyMs, d.count, d.longestMs);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  std::string drivers;
  for (const auto& name : FluidSynthPort::driversBuilt()) drivers += " " + name;
  std::printf("FluidSynth's audio drivers in this build:%s\n", drivers.c_str());
  if (mode == "growth") {
    for (int which : {0, 1, 2}) {
      const auto server = startServer(which);
      if (!server->ready()) {
        std::printf("%s skipped: %s\n", server->name().c_str(), server->whyNot().c_str());
        continue;
      }
      for (const std::string& driver : ownOutputs(*server)) growth(*server, driver);
    }
    return 0;
  }
  if (mode == "replay") {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tastrello-bench-sound-" + std::to_string(::getpid()));
    seedUserFolder(TASTRELLO_DATA, folder);
    for (int which : {0, 1}) {
      const auto server = startServer(which);
      if (!server->ready()) {
        std::printf("%s skipped: %s\n", server->name().c_str(), server->whyNot().c_str());
        continue;
      }
      for (const std::string& driver : ownOutputs(*server)) {
        for (bool loaded : {false, true}) clickToSound(*server, folder, driver, loaded);
        for (bool loaded : {false, true}) {
          replayAtTheSink(*server, folder, driver, std::chrono::milliseconds(40), loaded,
                          "steps prepared 40 ms early (the program)");
          replayAtTheSink(*server, folder, driver, std::chrono::milliseconds(0), loaded,
                          "notes sent on the tick (baseline)");
        }
      }
    }
    std::filesystem::remove_all(folder);
    return 0;
  }
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
  std::vector<std::string> setups;
  for (int i = 2; i < argc; ++i) setups.push_back(argv[i]);
  if (setups.empty()) setups = {"auto", "pulse", "fluidsynth"};
  std::printf(
      "Held four-note chord, %.0f s, null sink, dropouts = runs of >= 2 ms of silence\n",
      seconds);
  for (int which : {0, 1}) {
    const auto server = startServer(which);
    if (!server->ready()) {
      std::printf("%s skipped: %s\n", server->name().c_str(), server->whyNot().c_str());
      continue;
    }
    const bool pipeWire = dynamic_cast<const PipeWireServer*>(server.get()) != nullptr;
    for (const std::string& setup : setups) {
      // On PulseAudio the program's default is its PulseAudio output.
      if (setup == "pulse" && !pipeWire) continue;
      for (bool loaded : {false, true}) {
        FluidSynthPort::Options options;
        const bool automatic = setup == "auto" || setup == "pulse";
        std::string what = setup == "pulse" ? "the program via pulse, automatic"
                           : automatic      ? "the program, automatic"
                                            : "";
        if (setup == "pulse") {
          options.driver = "pulse";
        } else if (setup == "fluidsynth") {
          options.driver = "pulseaudio";
          what = "FluidSynth's PulseAudio driver, 1024";
        } else if (!automatic) {
          options.periodSize = std::atoi(setup.c_str());
          what = "the program, fixed " + setup;
        }
        const Figures f = holdChord(*server, options, automatic, seconds, loaded);
        std::printf(
            "%-10s %-36s %-6s dropouts %4d (%.1f/min), longest %6.1f ms, cycle %5s frames, "
            "latency told %5.1f ms, counted by the program %d, buffer at the end %.1f ms\n",
            server->name().c_str(), what.c_str(), loaded ? "loaded" : "idle", f.dropouts.count,
            f.dropouts.soundMs > 0 ? f.dropouts.count * 60000.0 / f.dropouts.soundMs : 0.0,
            f.dropouts.longestMs, f.cycle > 0 ? std::to_string(f.cycle).c_str() : "-", f.told,
            f.counted, f.inForce);
        // Where they were: a harness's own hiccup falls on the same moment in every run.
        for (double at : f.dropouts.atMs) std::printf("           a dropout %.1f ms into the sound\n", at);
        std::fflush(stdout);
      }
    }
  }
  return 0;
}
