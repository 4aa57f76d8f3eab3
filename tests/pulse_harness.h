// A private PulseAudio server with a null sink, a recorder of its monitor, a CPU load of busy
// loops, and the measure of dropouts in what was recorded. The sound test and the sound
// benchmark share it (and the PipeWire harness builds on it). POSIX and the standard library.
#pragma once

#include <pulse/simple.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tastrello::testing {

/// Runs of digital silence inside a sound: each run of at least `minFrames` frames whose
/// samples are all below `floor`, between the first and the last sounding frame.
struct Dropouts {
  int count = 0;
  double longestMs = 0;
  double soundMs = 0;         ///< from the first to the last sounding frame
  std::vector<double> atMs;  ///< where each began, from the first sounding frame
  struct Run {
    std::size_t firstFrame;  ///< in the recording
    std::size_t frames;
  };
  std::vector<Run> runs;  ///< each one's frames in the recording
};

inline Dropouts findDropouts(const std::vector<float>& interleaved, int channels, double rate,
                             double minMs = 2.0, float floor = 1e-5f) {
  Dropouts d;
  const std::size_t frames = interleaved.size() / std::size_t(channels);
  auto silent = [&](std::size_t f) {
    for (int c = 0; c < channels; ++c)
      if (std::fabs(interleaved[f * std::size_t(channels) + std::size_t(c)]) >= floor) return false;
    return true;
  };
  std::size_t first = 0, last = frames;
  while (first < frames && silent(first)) ++first;
  while (last > first && silent(last - 1)) --last;
  if (first >= last) return d;
  d.soundMs = double(last - first) * 1000.0 / rate;
  const auto minFrames = std::size_t(minMs * rate / 1000.0);
  std::size_t run = 0;
  for (std::size_t f = first; f < last; ++f) {
    if (silent(f)) {
      ++run;
      continue;
    }
    if (run >= minFrames) {
      ++d.count;
      d.longestMs = std::max(d.longestMs, double(run) * 1000.0 / rate);
      d.atMs.push_back(double(f - run - first) * 1000.0 / rate);
      d.runs.push_back({f - run, run});
    }
    run = 0;
  }
  return d;
}

/// Frames of a stereo recording where a sound begins after at least 30 ms of silence.
inline std::vector<std::size_t> findOnsets(const std::vector<float>& stereo, double rate = 48000) {
  std::vector<std::size_t> out;
  std::size_t quiet = 0;
  const auto needed = std::size_t(0.030 * rate);
  for (std::size_t f = 0; f < stereo.size() / 2; ++f) {
    const float level = std::max(std::fabs(stereo[2 * f]), std::fabs(stereo[2 * f + 1]));
    if (level < 1e-4f) {
      ++quiet;
      continue;
    }
    if (level > 1e-3f) {
      if (quiet >= needed) out.push_back(f);
      quiet = 0;
    }
  }
  return out;
}

/// Busy loops on every core at normal priority until destroyed or until `limit` passes.
class CpuLoad {
 public:
  explicit CpuLoad(std::chrono::seconds limit) {
    const auto until = std::chrono::steady_clock::now() + limit;
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < cores; ++i)
      threads_.emplace_back([this, until] {
        volatile double x = 1;
        while (!stop_ && std::chrono::steady_clock::now() < until)
          for (int k = 0; k < 10000; ++k) x = x * 1.0000001 + 1e-9;
      });
  }
  ~CpuLoad() {
    stop_ = true;
    for (auto& t : threads_) t.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

/// Runs `command` through the shell and gives what it printed (standard output and error).
inline std::string commandOutput(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen((command + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
    ::pclose(p);
  }
  return out;
}

/// What a sink played, recorded while alive, and when each frame was played, on the steady
/// clock. `stop` gives the samples (stereo float at 48 kHz).
class SinkRecording {
 public:
  virtual ~SinkRecording() = default;
  virtual bool running() const = 0;
  /// Frames recorded so far.
  virtual std::size_t frames() const = 0;
  /// The samples recorded so far; the recording ends.
  virtual std::vector<float> stop() = 0;
  /// When a frame recorded was played at the sink.
  virtual std::chrono::steady_clock::time_point playedAt(std::size_t frame) = 0;
  /// Frames from `from` to `to` that the recording itself did not get (its thread held up past
  /// what the server keeps for it): silence in the samples, whatever was played there.
  virtual std::size_t framesMissed(std::size_t /*from*/, std::size_t /*to*/) { return 0; }
};

class SoundServer;
/// Records the sink's monitor through PulseAudio's protocol (see its definition below).
std::unique_ptr<SinkRecording> recordThroughPulse(const SoundServer& server);

/// A sound server of the test's own with one null sink, reached by PulseAudio clients (the
/// program's output, pactl and the monitor recorder) through its socket.
class SoundServer {
 public:
  static constexpr const char* kSink = "tastrello_test_sink";
  virtual ~SoundServer() = default;
  virtual bool ready() const = 0;
  virtual const std::string& whyNot() const = 0;
  /// "PulseAudio", "PipeWire", "PipeWire (virtual machine)".
  virtual std::string name() const = 0;
  /// The PulseAudio clients' server address, "unix:/...".
  virtual std::string server() const = 0;
  /// Makes the clients' streams miss the server for a while, as a machine too busy to run it
  /// would: the daemon (PulseAudio, or PipeWire with its graph) stops.
  virtual void pause(std::chrono::milliseconds how_long) const = 0;
  /// Stops the server and starts it again, as a desktop's restart of its sound does; its
  /// clients lose their connections. False, with whyNot, when it did not come back.
  virtual bool restart() = 0;
  /// Records what the sink plays, from now on.
  virtual std::unique_ptr<SinkRecording> record() const { return recordThroughPulse(*this); }
  /// `pactl` output in English, e.g. about the stream of a client.
  std::string pactl(const std::string& args) const {
    return commandOutput("LC_ALL=C PULSE_SERVER=" + server() + " pactl " + args);
  }
};

/// A PulseAudio daemon of the test's own, with one null sink, reached through its socket.
class PulseServer : public SoundServer {
 public:
  PulseServer() {
    namespace fs = std::filesystem;
    dir_ = fs::temp_directory_path() / ("tastrello-pulse-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    socket_ = (dir_ / "native").string();
    if (std::system("command -v pulseaudio >/dev/null 2>&1") != 0) {
      why_ = "pulseaudio is not installed (scripts/setup installs it)";
      return;
    }
    ready_ = startDaemon();
  }
  ~PulseServer() {
    stopDaemon();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  bool restart() override {
    stopDaemon();
    ready_ = startDaemon();
    return ready_;
  }
  bool ready() const override { return ready_; }
  void pause(std::chrono::milliseconds how_long) const override {
    ::kill(pid_, SIGSTOP);
    std::this_thread::sleep_for(how_long);
    ::kill(pid_, SIGCONT);
  }
  const std::string& whyNot() const override { return why_; }
  std::string name() const override { return "PulseAudio"; }
  std::string server() const override { return "unix:" + socket_; }

 private:
  void stopDaemon() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  /// The daemon with its null sink, answering on the socket.
  bool startDaemon() {
    pid_ = ::fork();
    if (pid_ == 0) {
      // The server dies with the test however it ends, and holds none of the test's output
      // streams: an orphan holding them would keep the test runner waiting.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (const int null = ::open("/dev/null", O_RDWR); null >= 0) ::dup2(null, 1);
      const std::string home = dir_.string();
      ::setenv("HOME", home.c_str(), 1);
      ::setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
      const std::string sink = "module-null-sink sink_name=" + std::string(kSink) + " rate=48000";
      const std::string native =
          "module-native-protocol-unix socket=" + socket_ + " auth-anonymous=1";
      const std::string log = (dir_ / "daemon.log").string();
      std::freopen(log.c_str(), "w", stderr);
      ::execlp("pulseaudio", "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
               "--use-pid-file=no", "--log-target=stderr", "-L", sink.c_str(), "-L", native.c_str(),
               static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // Ready when a client gets an answer through the socket.
    const std::string probe = "PULSE_SERVER=unix:" + socket_ + " pactl info >/dev/null 2>&1";
    for (int tries = 0; tries < 200; ++tries) {
      if (std::system(probe.c_str()) == 0) {
        ::setenv("PULSE_SERVER", ("unix:" + socket_).c_str(), 1);
        ::setenv("PULSE_SINK", kSink, 1);
        return true;
      }
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        why_ = "the PulseAudio daemon ended at start (see its log in " + dir_.string() + ")";
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    why_ = "the PulseAudio daemon did not answer within 10 s";
    return false;
  }
  std::filesystem::path dir_;
  std::string socket_;
  pid_t pid_ = -1;
  bool ready_ = false;
  std::string why_;
};

/// Records the sink's monitor (stereo float at 48 kHz) through PulseAudio's protocol while
/// alive, and knows when each frame was played: the time of each read less the recording's
/// latency, as the server tells it.
class PulseMonitorRecording : public SinkRecording {
 public:
  /// Reads 5 ms at a time: a fine grid of moments.
  explicit PulseMonitorRecording(const SoundServer& server) : chunk_(240) {
    pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 48000, 2};
    pa_buffer_attr attr{};
    attr.maxlength = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(chunk_ * 2 * sizeof(float));
    const std::string device = std::string(SoundServer::kSink) + ".monitor";
    int error = 0;
    stream_ = pa_simple_new(server.server().c_str(), "tastrello-test", PA_STREAM_RECORD,
                            device.c_str(), "monitor", &format, nullptr, &attr, &error);
    if (!stream_) return;
    reader_ = std::thread([this] {
      std::vector<float> chunk(chunk_ * 2);
      while (!stopping_) {
        if (pa_simple_read(stream_, chunk.data(), chunk.size() * sizeof(float), nullptr) < 0) break;
        const auto now = std::chrono::steady_clock::now();
        const auto latency = std::chrono::microseconds(pa_simple_get_latency(stream_, nullptr));
        std::lock_guard<std::mutex> lock(mutex_);
        samples_.insert(samples_.end(), chunk.begin(), chunk.end());
        // The last frame read was played `latency` ago.
        reads_.push_back({samples_.size() / 2, now - latency});
        recorded_ = samples_.size() / 2;
      }
    });
  }
  std::vector<float> stop() override {
    stopping_ = true;
    if (reader_.joinable()) reader_.join();
    if (stream_) pa_simple_free(stream_);
    stream_ = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
  }
  ~PulseMonitorRecording() override { stop(); }
  bool running() const override { return stream_ != nullptr; }
  std::size_t frames() const override { return recorded_; }
  /// The sink plays at a
  /// steady 48 kHz, so every read tells when frame 0 was played; the median of what the later
  /// half of the reads tell is kept, as a server's first latency figures can be far off
  /// (PulseAudio's monitor reports hundreds of milliseconds too much until a playing stream
  /// has settled its sink).
  std::chrono::steady_clock::time_point playedAt(std::size_t frame) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::chrono::steady_clock::duration> starts;
    for (const auto& read :
         std::vector<Read>(reads_.begin() + std::ptrdiff_t(reads_.size() / 2), reads_.end()))
      starts.push_back(read.at.time_since_epoch() -
                       std::chrono::microseconds(static_cast<long long>(double(read.frames) * 1e6 / 48000)));
    if (starts.empty()) return std::chrono::steady_clock::time_point{};
    std::nth_element(starts.begin(), starts.begin() + std::ptrdiff_t(starts.size() / 2), starts.end());
    return std::chrono::steady_clock::time_point(starts[starts.size() / 2]) +
           std::chrono::microseconds(static_cast<long long>(double(frame) * 1e6 / 48000));
  }

 private:
  std::size_t chunk_;
  struct Read {
    std::size_t frames;  ///< frames recorded after this read
    std::chrono::steady_clock::time_point at;
  };
  pa_simple* stream_ = nullptr;
  std::thread reader_;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> recorded_{0};
  std::mutex mutex_;
  std::vector<float> samples_;
  std::vector<Read> reads_;
};

inline std::unique_ptr<SinkRecording> recordThroughPulse(const SoundServer& server) {
  return std::make_unique<PulseMonitorRecording>(server);
}

/// The recording the server makes best of its sink (SoundServer::record).
class MonitorRecorder {
 public:
  explicit MonitorRecorder(const SoundServer& server) : recording_(server.record()) {}
  bool running() const { return recording_->running(); }
  std::size_t frames() const { return recording_->frames(); }
  std::vector<float> stop() { return recording_->stop(); }
  std::chrono::steady_clock::time_point playedAt(std::size_t frame) {
    return recording_->playedAt(frame);
  }
  std::size_t framesMissed(std::size_t from, std::size_t to) {
    return recording_->framesMissed(from, to);
  }

 private:
  std::unique_ptr<SinkRecording> recording_;
};

}  // namespace tastrello::testing
