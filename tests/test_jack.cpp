// One real MIDI path end to end: the port back end opens a JACK output (a JACK server with the
// dummy driver, started here) and a JACK input receives exactly the bytes sent.
#include <gtest/gtest.h>
#include <rtmidi/RtMidi.h>

#include <chrono>
#include <mutex>
#include <thread>

#include "fakes.h"
#include "jack_harness.h"
#include "platform/midi_input.h"
#include "platform/rtmidi_port.h"
#include "shell/standard_clock.h"

using namespace tastrello;
using namespace tastrello::testing;

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
      [&](std::uint32_t word, double) {
        std::lock_guard lock(mutex);
        words.push_back(word);
      },
      [] { return StandardClock().seconds(); }, RtMidiRawOut::System::Jack);
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

TEST(JackMidiTest, APortOpenedAgainGivesEachMessageTheMomentItWasSent) {
  JackServer server(true);
  if (!server.started()) GTEST_SKIP() << "jackd is not installed";
  const auto waiter = jackInput("waiter");
  if (!waiter && !server.running()) GTEST_SKIP() << "jackd could not run on this machine";
  ASSERT_TRUE(waiter) << "the JACK server runs but takes no client";
  auto instrument = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "instrument");
  instrument->openVirtualPort("out");

  // Each message as the input hands it over: its moment, and when it was handed over.
  std::mutex mutex;
  std::vector<std::pair<double, double>> moments;
  StandardClock clock;
  RtMidiInput input(
      [&](std::uint32_t, double at) {
        std::lock_guard lock(mutex);
        moments.emplace_back(at, clock.seconds());
      },
      [&clock] { return clock.seconds(); }, RtMidiRawOut::System::Jack);
  std::string source;
  for (const auto& name : RtMidiInput::portNames(RtMidiRawOut::System::Jack))
    if (name.find("instrument") != std::string::npos) source = name;
  ASSERT_FALSE(source.empty());

  // A controller nothing uses, sent until one arrives; the moment and what it was sent after.
  const std::vector<unsigned char> probe{0xB0, 0x6E, 0x00};
  const auto firstArriving = [&](double& sent, std::pair<double, double>& got) {
    for (int attempt = 0; attempt < 600; ++attempt) {
      sent = clock.seconds();
      instrument->sendMessage(&probe);
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
      while (std::chrono::steady_clock::now() < until) {
        std::lock_guard lock(mutex);
        if (!moments.empty()) {
          got = moments.front();
          moments.clear();
          return true;
        }
      }
    }
    return false;
  };
  double sent = 0;
  std::pair<double, double> got;
  ASSERT_EQ(input.open(source), "");
  ASSERT_TRUE(firstArriving(sent, got)) << "no message reached the input";
  // Opened again half a second on, as when a learner picks the same instrument once more: the
  // new port's first message has RtMidi's time 0, as the first one had.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  {
    std::lock_guard lock(mutex);
    moments.clear();  // probes of the first port still under way when one arrived
  }
  ASSERT_EQ(input.open(source), "");
  ASSERT_TRUE(firstArriving(sent, got)) << "no message reached the input opened again";
  EXPECT_GE(got.first, sent - 0.001) << "a moment before the message was sent";
  EXPECT_LE(got.first, got.second);
}
