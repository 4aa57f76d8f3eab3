// A private PipeWire of the test's own, as a desktop runs it: PipeWire, WirePlumber and
// pipewire-pulse (with a session bus for WirePlumber) in a temporary runtime folder, with one
// null sink, reached by PulseAudio clients through pipewire-pulse's socket. Optionally with the
// overrides PipeWire ships for virtual machines (a cycle of at least 1024 frames). The sound
// test and the sound benchmark run the same measures on it as on PulseAudio.
#pragma once

#include <fcntl.h>

#include <algorithm>
#include <sstream>

#include "pulse_harness.h"

namespace tastrello::testing {

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
    spawn({"pipewire"}, "pipewire");
    if (!waitFor([&] { return fs::exists(dir_ / "pipewire-0"); })) {
      why_ = "PipeWire did not start (see its log in " + dir_.string() + ")";
      return;
    }
    spawn({"wireplumber"}, "wireplumber");
    spawn({"pipewire-pulse"}, "pipewire-pulse");
    pulsePid_ = pids_.back();
    const std::string pactlHere = "PULSE_SERVER=" + server() + " pactl ";
    if (!waitFor([&] { return commandOutput(pactlHere + "info").find("PipeWire") != std::string::npos; })) {
      why_ = "pipewire-pulse did not answer (see its log in " + dir_.string() + ")";
      return;
    }
    commandOutput(pactlHere + "load-module module-null-sink sink_name=" + kSink +
                  " rate=48000 channels=2");
    commandOutput(pactlHere + "set-default-sink " + kSink);
    if (!waitFor([&] {
          return commandOutput(pactlHere + "info").find(std::string("Default Sink: ") + kSink) !=
                 std::string::npos;
        })) {
      why_ = "the null sink did not become the default (see the logs in " + dir_.string() + ")";
      return;
    }
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
  bool ready() const override { return ready_; }
  const std::string& whyNot() const override { return why_; }
  std::string name() const override { return vm_ ? "PipeWire (virtual machine)" : "PipeWire"; }
  std::string server() const override { return "unix:" + (dir_ / "pulse" / "native").string(); }
  std::size_t recordFrames() const override { return 1024; }
  void pause(std::chrono::milliseconds how_long) const override {
    ::kill(pulsePid_, SIGSTOP);
    std::this_thread::sleep_for(how_long);
    ::kill(pulsePid_, SIGCONT);
  }
  /// The graph's cycle while something plays, in frames at 48 kHz (the median of what
  /// PipeWire's profiler saw in `span`); 0 when it saw nothing.
  int cycleFrames(std::chrono::milliseconds span = std::chrono::milliseconds(1500)) const {
    const auto log = dir_ / "profiler.log";
    std::filesystem::remove(log);
    // pw-profiler writes its gnuplot scripts (Timing*.plot) into the folder it runs in: the
    // server's temporary folder, never the source tree.
    const std::string command = "cd " + dir_.string() + " && PIPEWIRE_RUNTIME_DIR=" +
                                dir_.string() + " timeout " +
                                std::to_string(double(span.count()) / 1000).substr(0, 4) +
                                " pw-profiler -o " + log.string() + " >/dev/null";
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
    if (periods.empty()) return 0;
    std::sort(periods.begin(), periods.end());
    return static_cast<int>(periods[periods.size() / 2] * 48000 / 1e6 + 0.5);
  }

 private:
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
  pid_t pulsePid_ = -1;
  bool ready_ = false;
  std::string why_;
};

}  // namespace tastrello::testing
