// A JACK server of the test's own (the dummy driver, no sound device) and the MIDI clients
// the tests make on it: the one MIDI system a machine without the ALSA sequencer can run.
#pragma once

#include <fcntl.h>
#include <rtmidi/RtMidi.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace tastrello::testing {

class JackServer {
 public:
  /// `realtime`: its cycles and its clients' run in real time where the system allows it (a
  /// desktop's JACK does), else at normal priority, on time only as far as a busy machine lets.
  explicit JackServer(bool realtime = false) {
    if (!std::filesystem::exists("/usr/bin/jackd")) return;
    name_ = "tastrello-test-" + std::to_string(::getpid());
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // the server dies with the test, however it ends
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      // Synchronous, with a long client timeout: each cycle waits for every client, so that a
      // client the loaded machine makes late still gets its messages (in the default
      // asynchronous mode a cycle goes on without it and its input of that cycle is lost).
      ::execl("/usr/bin/jackd", "jackd", realtime ? "--realtime" : "--no-realtime", "--sync",
              "-t", "10000", "-n", name_.c_str(), "-d", "dummy", "-r", "48000", "-p", "128",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~JackServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  /// False once the server process has ended (it could not start here).
  bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

 private:
  std::string name_;
  pid_t pid_ = -1;
};

/// An input client with a port of its own, once the server takes clients (nothing when it
/// never does). Waiting uses an input client: an output client that fails to connect leaks
/// in the library.
inline std::unique_ptr<RtMidiIn> jackInput(const std::string& client) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    try {
      auto in = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, client);
      in->openVirtualPort("in");
      return in;
    } catch (const RtMidiError&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  return nullptr;
}

}  // namespace tastrello::testing
