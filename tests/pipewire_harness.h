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

/// Records the null sink's monitor as the graph hands it over, each cycle with the graph's own
/// moment for it, on the monotonic clock (the steady clock's). The sink drives the graph: it
/// takes what its streams rendered at the end of a cycle, and hands it to its monitor at the
/// start of the next (a driver's outputs are processed as its cycle begins), so the frames a
/// recording gets in a cycle were played in the cycle before. PulseAudio's protocol on PipeWire
/// tells a recording's latency only roughly, so that the frames' moments were off by up to a
/// cycle or two; the graph's clock is not.
class GraphRecording : public SinkRecording {
 public:
  explicit GraphRecording(const std::string& sink) {
    // Room for the longest recording made, taken now: growing a vector of several megabytes
    // in the graph's real-time thread takes longer than a cycle, and the cycle's sound is lost.
    samples_.reserve(2 * 48000 * std::size_t(kLongestSeconds));
    cycles_.reserve(48000 * std::size_t(kLongestSeconds) / 128);
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
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
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
    return samples_;
  }
  std::chrono::steady_clock::time_point playedAt(std::size_t frame) override {
    std::lock_guard<std::mutex> lock(mutex_);
    // The last cycle that began at or before the frame.
    auto cycle = std::upper_bound(cycles_.begin(), cycles_.end(), frame,
                                  [](std::size_t f, const Cycle& c) { return f < c.firstFrame; });
    if (cycle == cycles_.begin()) return {};
    --cycle;
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(
        cycle->nsec + static_cast<long long>(double(frame - cycle->firstFrame) * 1e9 / 48000)));
  }

 private:
  static constexpr int kLongestSeconds = 150;
  struct Cycle {
    std::size_t firstFrame;
    long long nsec;
  };
  void process() {
    pw_buffer* b = pw_stream_dequeue_buffer(stream_);
    if (!b) return;
    const spa_data& d = b->buffer->datas[0];
    const spa_io_position* position = position_.load();
    if (d.data && position) {
      const std::uint32_t offset = std::min(d.chunk->offset, d.maxsize);
      const std::uint32_t size = std::min(d.chunk->size, d.maxsize - offset);
      const auto* samples = reinterpret_cast<const float*>(static_cast<const char*>(d.data) + offset);
      const spa_io_clock& clock = position->clock;
      const double cycleNs =
          clock.rate.denom > 0 ? double(clock.duration) * 1e9 * clock.rate.num / clock.rate.denom : 0;
      std::lock_guard<std::mutex> lock(mutex_);
      const std::size_t count = size / sizeof(float);
      if (samples_.size() + count <= samples_.capacity() && cycles_.size() < cycles_.capacity()) {
        cycles_.push_back(
            {samples_.size() / 2, static_cast<long long>(double(clock.nsec) - cycleNs)});
        samples_.insert(samples_.end(), samples, samples + count);
        recorded_ = samples_.size() / 2;
      }
    }
    pw_stream_queue_buffer(stream_, b);
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
  std::vector<float> samples_;
  std::vector<Cycle> cycles_;
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
