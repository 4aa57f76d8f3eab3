// Sound under load, measured at a sink: a private PulseAudio server with a null sink, the
// program's real FluidSynth audio output, the sink's monitor recorded, and the runs of digital
// silence inside a held four-note chord counted, idle and with busy loops on every core.
// Usage: tastrello_bench_sound [SECONDS per chord, default 20] [FRAMES ...]
//        tastrello_bench_sound replay   (replay timing at the sink, idle and loaded)
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
#include "pulse_harness.h"
#include "shell/text.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

struct Figures {
  Dropouts dropouts;
  std::string reported;  ///< the latency PulseAudio reports for the stream
  int counted = 0;       ///< underruns the synthesizer counted itself
  double inForce = 0;    ///< the buffer at the end, in milliseconds
};

/// The stream's buffer latency as `pactl` reports it, in milliseconds ("?" when not found).
std::string reportedLatency(const PulseServer& server) {
  const std::string text = server.pactl("list sink-inputs");
  std::smatch m;
  if (std::regex_search(text, m, std::regex("Buffer Latency: ([0-9]+) usec")))
    return std::to_string(std::stod(m[1]) / 1000.0).substr(0, 5) + " ms";
  return "?";
}

Figures holdChord(const PulseServer& server, FluidSynthPort::Options options, double seconds,
                  bool loaded) {
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
  {
    std::unique_ptr<CpuLoad> load;
    if (loaded) load = std::make_unique<CpuLoad>(std::chrono::seconds(int(seconds) + 5));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    figures.reported = reportedLatency(server);
    // As the window does: every two seconds the automatic buffer may grow.
    const auto until =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                               std::chrono::duration<double>(seconds - 0.3));
    while (std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(
          std::chrono::seconds(2), until - std::chrono::steady_clock::now()));
      synth.adaptBuffer();
    }
    figures.inForce = synth.latencyMs();
  }
  for (int pitch : {55, 60, 64, 67})
    synth.send(handle, 0x00000080u | unsigned(pitch) << 8, kAtOnce);
  figures.counted = synth.underruns();
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
void replayAtTheSink(const PulseServer& server, const std::filesystem::path& folder,
                     std::chrono::milliseconds lead, bool loaded, const char* what) {
  DiskFiles files(folder);
  OutputSwitch outputs(folder, {});
  LeadPort port(outputs, std::chrono::duration<double>(lead).count());
  Form1 form({&port, &files, &outputs});
  form.Form_Load();
  MainView view(form);
  form.Form_Activate();
  // A fixed buffer of the automatic start (1024 frames): a buffer that grows in the middle of
  // the run would move every later onset.
  outputs.useAudioBuffer(21);
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
  std::printf("%-46s %-6s %3zu onsets  deviation median %6.2f  p99 %6.2f  max %6.2f ms  [%s]\n",
              what, loaded ? "loaded" : "idle", found.size(), s.median, s.p99, s.max,
              outputs.synth().describe().c_str());
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
void clickToSound(const PulseServer& server, const std::filesystem::path& folder, bool loaded) {
  DiskFiles files(folder);
  OutputSwitch outputs(folder, {});
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
      "click on a key to its onset at the sink, %-6s %2zu of %zu clicks  median %6.2f  "
      "p99 %6.2f  max %6.2f ms  [%s]\n",
      loaded ? "loaded" : "idle", latency.size(), clicks.size(), s.median, s.p99, s.max,
      outputs.synth().describe().c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 20;
  PulseServer server;
  if (!server.ready()) {
    std::printf("sound benchmark skipped: %s\n", server.whyNot().c_str());
    return 0;
  }
  if (argc > 1 && std::string(argv[1]) == "replay") {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tastrello-bench-sound-" + std::to_string(::getpid()));
    seedUserFolder(TASTRELLO_DATA, folder);
    for (bool loaded : {false, true}) clickToSound(server, folder, loaded);
    std::printf("Replay at 150 ms a step, chords and silent rests in turn, onsets at the sink\n");
    for (bool loaded : {false, true}) {
      replayAtTheSink(server, folder, std::chrono::milliseconds(40), loaded,
                      "steps prepared 40 ms early (the program)");
      replayAtTheSink(server, folder, std::chrono::milliseconds(0), loaded,
                      "notes sent on the tick (baseline)");
    }
    std::filesystem::remove_all(folder);
    return 0;
  }
  std::printf(
      "Held four-note chord, %.0f s, PulseAudio null sink, dropouts = runs of >= 2 ms of "
      "silence\n",
      seconds);
  struct Setup {
    const char* what;
    int periodSize;
  };
  const Setup setups[] = {{"FluidSynth's default (64 frames)", 64},
                          {"the old fixed 128 frames", 128},
                          {"256 frames", 256},
                          {"384 frames", 384},
                          {"512 frames", 512},
                          {"1024 frames (the automatic start)", 1024},
                          {"automatic (the program's default)", 0},
                          {"2048 frames", 2048}};
  std::vector<Setup> chosen(std::begin(setups), std::end(setups));
  std::vector<std::string> names;
  if (argc > 2) {
    chosen.clear();
    for (int i = 2; i < argc; ++i)
      names.push_back(std::string(argv[i]) == "auto" ? "automatic"
                                                     : std::string(argv[i]) + " frames");
    for (int i = 2; i < argc; ++i)
      chosen.push_back({names[std::size_t(i - 2)].c_str(), std::atoi(argv[i])});
  }
  for (const auto& setup : chosen) {
    for (bool loaded : {false, true}) {
      FluidSynthPort::Options options;
      // 0: the program's automatic buffer, which starts at 1024 frames and grows after dropouts.
      options.adaptive = setup.periodSize == 0;
      if (setup.periodSize > 0) options.periodSize = setup.periodSize;
      const Figures f = holdChord(server, options, seconds, loaded);
      std::printf(
          "%-34s %-6s configured %6.1f ms, reported %-9s dropouts %4d (%.1f/min), "
          "longest %6.1f ms, sound %.1f s, counted by the program %d, buffer at the end "
          "%.1f ms\n",
          setup.what, loaded ? "loaded" : "idle", 1000.0 * options.periodSize / options.sampleRate,
          f.reported.c_str(), f.dropouts.count,
          f.dropouts.soundMs > 0 ? f.dropouts.count * 60000.0 / f.dropouts.soundMs : 0.0,
          f.dropouts.longestMs, f.dropouts.soundMs / 1000, f.counted, f.inForce);
      std::fflush(stdout);
    }
  }
  return 0;
}
