// A private PipeWire of the test's own, as a desktop runs it: PipeWire, WirePlumber and
// pipewire-pulse (with a session bus for WirePlumber) in a temporary runtime folder, with one
// null sink, reached by PulseAudio clients through pipewire-pulse's socket. Optionally with the
// overrides PipeWire ships for virtual machines (a cycle of at least 1024 frames). The sound
// test and the sound benchmark run the same measures on it as on PulseAudio.
#pragma once

#include <fcntl.h>
#include <pipewire/pipewire.h>

#include <algorithm>
#include <sstream>

#include "platform/pipewire_output.h"
#include "pulse_harness.h"

namespace tastrello::testing {

/// The sound a sink played, laid out on the graph's clock: the frames of each cycle a
/// recording got in their place, and a gap of silence, counted, where it got none. Each cycle
/// hands a recording what the sink played in the cycle before (the sink drives the graph: it
/// takes what its streams rendered at the end of a cycle, and hands it to its monitor at the
/// start of the next); a recording whose thread was held up gets the latest of what it missed,
/// or nothing of it, and what it got goes where it was played, never closing up the sound on
/// either side of what it lost.
class GraphTimeline {
 public:
  /// Room for `seconds` at 48 kHz, taken now: nothing grows in the graph's real-time thread.
  explicit GraphTimeline(int seconds) {
    samples_.reserve(2 * 48000 * std::size_t(seconds));
    cycles_.reserve(48000 * std::size_t(seconds) / 128);
    gaps_.reserve(4096);
  }
  struct Buffer {
    const float* stereo;  ///< interleaved
    std::uint32_t frames;
  };
  /// What a cycle gave, oldest first: the cycle's `position` on the graph's clock at `rate`,
  /// the moment `startNs` it began, and the buffers the recording held then. The newest ends
  /// where the cycle begins; each one before it where the next begins.
  void cycle(std::uint64_t position, double startNs, double rate, const Buffer* buffers,
             std::size_t count) {
    std::uint64_t start = position;
    for (std::size_t i = 0; i < count; ++i) {
      if (buffers[i].frames > start) return;
      start -= buffers[i].frames;
    }
    for (std::size_t i = 0; i < count; start += buffers[i++].frames)
      place(buffers[i], start, startNs - double(position - start) * 1e9 / rate);
  }
  std::size_t frames() const { return samples_.size() / 2; }
  const std::vector<float>& samples() const { return samples_; }
  /// When frame `frame` was played, on the monotonic clock.
  std::chrono::steady_clock::time_point playedAt(std::size_t frame) const {
    // The last stretch that began at or before the frame.
    auto cycle = std::upper_bound(cycles_.begin(), cycles_.end(), frame,
                                  [](std::size_t f, const Stretch& c) { return f < c.firstFrame; });
    if (cycle == cycles_.begin()) return {};
    --cycle;
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(
        cycle->nsec + static_cast<long long>(double(frame - cycle->firstFrame) * 1e9 / 48000)));
  }
  /// Frames from `from` to `to` that no cycle gave (all of them, once the room ran out).
  std::size_t framesMissed(std::size_t from, std::size_t to) const {
    if (full_) return to - from;
    std::size_t missed = 0;
    for (const Gap& g : gaps_) {
      const std::size_t begin = std::max(from, g.firstFrame);
      const std::size_t end = std::min(to, g.firstFrame + g.frames);
      if (begin < end) missed += end - begin;
    }
    return missed;
  }

 private:
  struct Stretch {
    std::size_t firstFrame;
    long long nsec;
  };
  struct Gap {
    std::size_t firstFrame;
    std::size_t frames;
  };
  void place(const Buffer& b, std::uint64_t start, double startNs) {
    if (b.frames == 0 || full_) return;
    if (samples_.empty()) origin_ = start;
    // A stretch given twice (none should be) is kept as it came first.
    if (start < origin_ + frames()) return;
    const std::size_t at = std::size_t(start - origin_);
    const std::size_t gap = at - frames();
    if (2 * (at + b.frames) > samples_.capacity() || cycles_.size() == cycles_.capacity() ||
        gaps_.size() == gaps_.capacity()) {
      full_ = true;
      return;
    }
    if (gap > 0) gaps_.push_back({frames(), gap});
    samples_.resize(2 * at, 0.0f);  // within the room taken: no allocation
    cycles_.push_back({at, static_cast<long long>(startNs)});
    samples_.insert(samples_.end(), b.stereo, b.stereo + 2 * std::size_t(b.frames));
  }

  std::vector<float> samples_;
  std::vector<Stretch> cycles_;
  std::vector<Gap> gaps_;
  std::uint64_t origin_ = 0;  ///< the graph's position of the first frame
  bool full_ = false;
};

/// Records the null sink's monitor as the graph hands it over (GraphTimeline), with the
/// graph's own moment for each frame, on the monotonic clock (the steady clock's). PulseAudio's
/// protocol on PipeWire tells a recording's latency only roughly, so that the frames' moments
/// were off by up to a cycle or two; the graph's clock is not. The recording's thread runs in
/// real time where the system allows it, as the program's output does: at normal priority a
/// busy machine held it up for cycle after cycle.
class GraphRecording : public SinkRecording {
 public:
  explicit GraphRecording(const std::string& sink) {
    pw_init(nullptr, nullptr);
    events_.version = PW_VERSION_STREAM_EVENTS;
    events_.io_changed = [](void* data, std::uint32_t id, void* area, std::uint32_t size) {
      if (id == SPA_IO_Position)
        static_cast<GraphRecording*>(data)->position_.store(
            area && size >= sizeof(spa_io_position) ? static_cast<spa_io_position*>(area)
                                                    : nullptr);
    };
    events_.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char*) {
      auto* self = static_cast<GraphRecording*>(data);
      self->state_ = state;
      pw_thread_loop_signal(self->loop_, false);
    };
    events_.process = [](void* data) { static_cast<GraphRecording*>(data)->process(); };
    loop_ = pw_thread_loop_new("tastrello-test-recorder", nullptr);
    // The configuration that runs the stream's thread in real time, as the output's.
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                              pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    pw_thread_loop_start(loop_);
    pw_thread_loop_lock(loop_);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_) {
      // A long cycle of its own (the most PipeWire runs): the recording never shortens the
      // graph's cycle.
      pw_properties* props = pw_properties_new(
          PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
          "Music", PW_KEY_TARGET_OBJECT, sink.c_str(), PW_KEY_STREAM_CAPTURE_SINK, "true",
          PW_KEY_NODE_LATENCY, "2048/48000", PW_KEY_NODE_NAME, "tastrello-test-recorder",
          nullptr);
      stream_ = pw_stream_new(core_, "tastrello-test-recorder", props);
      pw_stream_add_listener(stream_, &hook_, &events_, this);
      connectStereo(stream_, false, false, 48000);
      timespec until{};
      pw_thread_loop_get_time(loop_, &until, 10 * SPA_NSEC_PER_SEC);
      while (state_ != PW_STREAM_STATE_STREAMING && state_ != PW_STREAM_STATE_ERROR)
        if (pw_thread_loop_timed_wait_full(loop_, &until) != 0) break;
    }
    pw_thread_loop_unlock(loop_);
  }
  ~GraphRecording() override { stop(); }
  bool running() const override { return state_ == PW_STREAM_STATE_STREAMING; }
  std::size_t frames() const override { return recorded_; }
  std::vector<float> stop() override {
    if (loop_) {
      pw_thread_loop_lock(loop_);
      if (stream_) pw_stream_destroy(stream_);
      if (core_) pw_core_disconnect(core_);
      pw_thread_loop_unlock(loop_);
      pw_thread_loop_stop(loop_);
      pw_context_destroy(context_);
      pw_thread_loop_destroy(loop_);
      loop_ = nullptr;
      stream_ = nullptr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return timeline_.samples();
  }
  std::chrono::steady_clock::time_point playedAt(std::size_t frame) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeline_.playedAt(frame);
  }
  std::size_t framesMissed(std::size_t from, std::size_t to) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return timeline_.framesMissed(from, to);
  }

 private:
  static constexpr int kLongestSeconds = 150;
  void process() {
    // Every buffer the stream holds, oldest first.
    pw_buffer* held[16];
    GraphTimeline::Buffer buffers[std::size(held)];
    std::size_t count = 0;
    while (count < std::size(held) && (held[count] = pw_stream_dequeue_buffer(stream_))) {
      const spa_data& d = held[count]->buffer->datas[0];
      const std::uint32_t offset = std::min(d.chunk->offset, d.maxsize);
      buffers[count] = {
          d.data ? reinterpret_cast<const float*>(static_cast<const char*>(d.data) + offset)
                 : nullptr,
          d.data ? std::min(d.chunk->size, d.maxsize - offset) / std::uint32_t(2 * sizeof(float))
                 : 0};
      ++count;
    }
    if (const spa_io_position* position = position_.load()) {
      const spa_io_clock& clock = position->clock;
      const double rate = clock.rate.num > 0 ? double(clock.rate.denom) / clock.rate.num : 48000;
      std::lock_guard<std::mutex> lock(mutex_);
      timeline_.cycle(clock.position, double(clock.nsec), rate, buffers, count);
      recorded_ = timeline_.frames();
    }
    for (std::size_t i = 0; i < count; ++i) pw_stream_queue_buffer(stream_, held[i]);
  }

  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  spa_hook hook_{};
  pw_stream_events events_{};
  std::atomic<int> state_{PW_STREAM_STATE_UNCONNECTED};
  std::atomic<spa_io_position*> position_{nullptr};
  std::atomic<std::size_t> recorded_{0};
  std::mutex mutex_;
  GraphTimeline timeline_{kLongestSeconds};
};

class PipeWireServer : public SoundServer {
 public:
  /// `virtualMachine`: PipeWire's own overrides for a virtual machine, in force.
  explicit PipeWireServer(bool virtualMachine = false) : vm_(virtualMachine) {
    namespace fs = std::filesystem;
    for (const char* program : {"pipewire", "wireplumber", "pipewire-pulse", "dbus-daemon"}) {
      const std::string probe = std::string("command -v ") + program + " >/dev/null 2>&1";
      if (std::system(probe.c_str()) != 0) {
        why_ = std::string(program) + " is not installed (scripts/setup installs it)";
        return;
      }
    }
    dir_ = fs::temp_directory_path() / ("tastrello-pipewire-" + std::to_string(::getpid()) +
                                        (vm_ ? "-vm" : ""));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "config" / "pipewire" / "pipewire.conf.d");
    fs::create_directories(dir_ / "config" / "pipewire" / "pipewire-pulse.conf.d");
    fs::permissions(dir_, fs::perms::owner_all);
    if (vm_) {
      // What pipewire.conf and pipewire-pulse.conf apply when they detect a virtual machine.
      std::ofstream(dir_ / "config/pipewire/pipewire.conf.d/vm.conf")
          << "context.properties = { default.clock.min-quantum = 1024 }\n";
      std::ofstream(dir_ / "config/pipewire/pipewire-pulse.conf.d/vm.conf")
          << "pulse.properties = { pulse.min.quantum = 1024/48000 }\n";
    }
    const std::string bus = "unix:path=" + (dir_ / "bus").string();
    spawn({"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus}, "dbus");
    if (!waitFor([&] { return fs::exists(dir_ / "bus"); })) {
      why_ = "the session bus did not start (see " + dir_.string() + ")";
      return;
    }
    if (!startServers()) return;
    ready_ = true;
    ::setenv("PULSE_SERVER", server().c_str(), 1);
    ::setenv("PULSE_SINK", kSink, 1);
    ::setenv("PIPEWIRE_RUNTIME_DIR", dir_.c_str(), 1);
  }
  ~PipeWireServer() override {
    for (auto pid = pids_.rbegin(); pid != pids_.rend(); ++pid) {
      ::kill(*pid, SIGCONT);
      ::kill(*pid, SIGTERM);
      ::waitpid(*pid, nullptr, 0);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  /// PipeWire, WirePlumber and pipewire-pulse; the session bus stays.
  bool restart() override {
    stopServers();
    ready_ = startServers();
    return ready_;
  }
  bool ready() const override { return ready_; }
  const std::string& whyNot() const override { return why_; }
  std::string name() const override { return vm_ ? "PipeWire (virtual machine)" : "PipeWire"; }
  std::string server() const override { return "unix:" + (dir_ / "pulse" / "native").string(); }
  std::unique_ptr<SinkRecording> record() const override {
    return std::make_unique<GraphRecording>(kSink);
  }
  /// PipeWire itself stops: its graph runs no cycle for a while, for the program's own streams
  /// and for pipewire-pulse's alike.
  void pause(std::chrono::milliseconds how_long) const override {
    ::kill(pipeWirePid_, SIGSTOP);
    std::this_thread::sleep_for(how_long);
    ::kill(pipeWirePid_, SIGCONT);
  }
  /// The graph's cycle while something plays, in frames at 48 kHz (the median of what
  /// PipeWire's profiler saw in `span`); 0 when it saw nothing.
  int cycleFrames(std::chrono::milliseconds span = std::chrono::milliseconds(1500)) const {
    // pw-profiler writes its plots and their page (Timing*.plot, Timings.html,
    // generate_timings.sh) into the folder it runs in: a folder of its own, made for the run
    // and removed after it, never the folder the tests run in or the source tree.
    const auto folder = dir_ / "profiler";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const auto log = folder / "profiler.log";
    const std::string command = "cd '" + folder.string() + "' && PIPEWIRE_RUNTIME_DIR='" +
                                dir_.string() + "' timeout " +
                                std::to_string(double(span.count()) / 1000).substr(0, 4) +
                                " pw-profiler -o '" + log.string() + "' >/dev/null";
    commandOutput(command);
    std::ifstream in(log);
    std::vector<double> periods;
    std::string line;
    while (std::getline(in, line)) {
      // The fourth column: the driver's cycle in microseconds.
      std::istringstream fields(line);
      double column[4] = {};
      if (fields >> column[0] >> column[1] >> column[2] >> column[3]) periods.push_back(column[3]);
    }
    in.close();
    std::filesystem::remove_all(folder);
    if (periods.empty()) return 0;
    std::sort(periods.begin(), periods.end());
    return static_cast<int>(periods[periods.size() / 2] * 48000 / 1e6 + 0.5);
  }

 private:
  /// PipeWire, WirePlumber and pipewire-pulse, with the null sink as the default.
  bool startServers() {
    namespace fs = std::filesystem;
    spawn({"pipewire"}, "pipewire");
    pipeWirePid_ = pids_.back();
    if (!waitFor([&] { return fs::exists(dir_ / "pipewire-0"); })) {
      why_ = "PipeWire did not start (see its log in " + dir_.string() + ")";
      return false;
    }
    spawn({"wireplumber"}, "wireplumber");
    spawn({"pipewire-pulse"}, "pipewire-pulse");
    // pactl's words in English, whatever the language of the desktop the tests run on.
    const std::string pactlHere = "LC_ALL=C PULSE_SERVER=" + server() + " pactl ";
    if (!waitFor([&] { return commandOutput(pactlHere + "info").find("PipeWire") != std::string::npos; })) {
      why_ = "pipewire-pulse did not answer (see its log in " + dir_.string() + ")";
      return false;
    }
    commandOutput(pactlHere + "load-module module-null-sink sink_name=" + kSink +
                  " rate=48000 channels=2");
    commandOutput(pactlHere + "set-default-sink " + kSink);
    if (!waitFor([&] {
          return commandOutput(pactlHere + "info").find(std::string("Default Sink: ") + kSink) !=
                 std::string::npos;
        })) {
      why_ = "the null sink did not become the default (see the logs in " + dir_.string() + ")";
      return false;
    }
    return true;
  }
  /// Ends the daemons the session bus aside (it was started first).
  void stopServers() {
    while (pids_.size() > 1) {
      ::kill(pids_.back(), SIGCONT);
      ::kill(pids_.back(), SIGTERM);
      ::waitpid(pids_.back(), nullptr, 0);
      pids_.pop_back();
    }
    std::error_code ec;
    for (const char* socket : {"pipewire-0", "pipewire-0.lock", "pipewire-0-manager",
                               "pipewire-0-manager.lock"})
      std::filesystem::remove(dir_ / socket, ec);
  }
  template <typename Done>
  static bool waitFor(Done done) {
    for (int tries = 0; tries < 200; ++tries) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void spawn(const std::vector<std::string>& argv, const std::string& logName) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // the servers die with the test, however it ends
      const std::string dir = dir_.string();
      ::setenv("HOME", dir.c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
      ::setenv("PIPEWIRE_RUNTIME_DIR", dir.c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
      ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
      ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + dir + "/bus").c_str(), 1);
      ::unsetenv("PULSE_SERVER");
      ::unsetenv("PIPEWIRE_REMOTE");
      const std::string log = dir + "/" + logName + ".log";
      const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (fd >= 0) {
        ::dup2(fd, 1);
        ::dup2(fd, 2);
      }
      std::vector<char*> args;
      for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
      args.push_back(nullptr);
      ::execvp(args[0], args.data());
      ::_exit(127);
    }
    if (pid > 0) pids_.push_back(pid);
  }

  bool vm_;
  std::filesystem::path dir_;
  std::vector<pid_t> pids_;
  pid_t pipeWirePid_ = -1;
  bool ready_ = false;
  std::string why_;
};

}  // namespace tastrello::testing
