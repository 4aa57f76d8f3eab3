// One real MIDI path end to end: the port back end opens a JACK output (a JACK server with the
// dummy driver, started here) and a JACK input receives exactly the bytes sent.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "fakes.h"
#include "platform/midi_input.h"
#include "platform/rtmidi_port.h"

using namespace tastrello;

namespace {

class JackServer {
 public:
  JackServer() {
    if (!std::filesystem::exists("/usr/bin/jackd")) return;
    name_ = "tastrello-test-" + std::to_string(::getpid());
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    ::setenv("JACK_NO_START_SERVER", "1", 1);
    pid_ = ::fork();
    if (pid_ == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      // Synchronous, with a long client timeout: each cycle waits for every client, so that a
      // client the loaded machine makes late still gets its messages (in the default
      // asynchronous mode a cycle goes on without it and its input of that cycle is lost).
      ::execl("/usr/bin/jackd", "jackd", "--no-realtime", "--sync", "-t", "10000", "-n",
              name_.c_str(), "-d", "dummy", "-r", "48000", "-p", "128",
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
std::unique_ptr<RtMidiIn> jackInput(const std::string& client) {
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

}  // namespace

TEST(JackMidiTest, PortBackEndSendsTheExactBytesAndEndsItsNotesOnClose) {
  JackServer server;
  if (!server.started()) GTEST_SKIP() << "jackd is not installed";

  const auto in = jackInput("receiver");
  if (!in && !server.running()) GTEST_SKIP() << "jackd could not run on this machine";
  ASSERT_TRUE(in) << "the JACK server runs but takes no client";

  std::string target;
  for (const auto& name : RtMidiRawOut::portNames(RtMidiRawOut::System::Jack))
    if (name.find("receiver") != std::string::npos) target = name;
  ASSERT_FALSE(target.empty());

  NoteTrackingPort port(std::make_unique<RtMidiRawOut>(RtMidiRawOut::System::Jack), target);
  std::uint32_t handle = 0;
  ASSERT_EQ(port.open(-1, handle), 0);

  // JACK makes a connection in its own time: what is sent before the server's graph holds it
  // is lost. Probe (a controller nothing uses) until one arrives, then send for real; probes
  // still under way arrive first and are left out.
  const std::vector<unsigned char> probe{0xB0, 0x6E, 0x00};
  const auto next = [&in](std::chrono::seconds limit) {
    std::vector<unsigned char> message;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (in->getMessage(&message); message.empty() && std::chrono::steady_clock::now() < deadline;
         in->getMessage(&message))
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return message;
  };
  bool connected = false;
  for (int attempt = 0; attempt < 120 && !connected; ++attempt) {
    ASSERT_EQ(port.send(handle, 0x00006EB0, kAtOnce), 0);
    connected = !next(std::chrono::seconds(1)).empty();
  }
  ASSERT_TRUE(connected) << "no message reached the JACK input in two minutes";

  ASSERT_EQ(port.send(handle, 0x000015C0, kAtOnce), 0);
  ASSERT_EQ(port.send(handle, 0x00633C90, kAtOnce), 0);
  ASSERT_EQ(port.close(handle, kAtOnce), 0);

  const std::vector<std::vector<unsigned char>> expected = {
      {0xC0, 0x15}, {0x90, 0x3C, 0x63}, {0x80, 0x3C, 0x00}, {0xB0, 0x78, 0x00}, {0xB0, 0x7B, 0x00}};
  std::vector<std::vector<unsigned char>> received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (received.size() < expected.size() && std::chrono::steady_clock::now() < deadline) {
    auto message = next(std::chrono::seconds(1));
    if (!message.empty() && message != probe) received.push_back(std::move(message));
  }
  EXPECT_EQ(received, expected);
}

TEST(JackMidiTest, NotesFromAnInstrumentReachTheWindowObjectAndSoundOnTheirButtons) {
  JackServer server;
  if (!server.started()) GTEST_SKIP() << "jackd is not installed";
  // Once the server takes clients, the instrument: an output port of its own.
  const auto waiter = jackInput("waiter");
  if (!waiter && !server.running()) GTEST_SKIP() << "jackd could not run on this machine";
  ASSERT_TRUE(waiter) << "the JACK server runs but takes no client";
  auto instrument = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "instrument");
  instrument->openVirtualPort("out");

  std::mutex mutex;
  std::vector<std::uint32_t> words;  // as the input hands them over, on its own thread
  RtMidiInput input(
      [&](std::uint32_t word) {
        std::lock_guard lock(mutex);
        words.push_back(word);
      },
      RtMidiRawOut::System::Jack);
  std::string source;
  for (const auto& name : RtMidiInput::portNames(RtMidiRawOut::System::Jack))
    if (name.find("instrument") != std::string::npos) source = name;
  ASSERT_FALSE(source.empty());
  ASSERT_EQ(input.open(source), "");

  const auto taken = [&] {
    std::lock_guard lock(mutex);
    auto out = std::move(words);
    words.clear();
    return out;
  };
  // Probe until the connection carries messages, as the output test does.
  const std::vector<unsigned char> probe{0xB0, 0x6E, 0x00};
  bool connected = false;
  for (int attempt = 0; attempt < 1200 && !connected; ++attempt) {
    instrument->sendMessage(&probe);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    connected = !taken().empty();
  }
  ASSERT_TRUE(connected) << "no message reached the program's input in two minutes";

  tastrello::testing::FakePort port;
  tastrello::testing::MemoryFiles files;
  files.loadShippedData();
  Form1 form({&port, &files});
  form.Form_Load();
  form.Form_Activate();
  port.log.clear();
  const std::vector<std::vector<unsigned char>> played = {{0x90, 0x3C, 0x64}, {0x80, 0x3C, 0x00}};
  for (const auto& message : played) instrument->sendMessage(&message);
  std::vector<std::uint32_t> received;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (received.size() < played.size() && std::chrono::steady_clock::now() < deadline) {
    for (std::uint32_t word : taken())
      if (word != 0x00006EB0u) received.push_back(word);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_EQ(received, (std::vector<std::uint32_t>{0x00643C90u, 0x00003C80u}));
  for (std::uint32_t word : received) form.MidiIn_Message(word);
  // c1 sounds on its button and stops again.
  EXPECT_EQ(port.log, (std::vector<std::string>{"000015C0", "00633C90", "00003C80"}));
}
