// MIDI ports of the system (ALSA sequencer on Linux) through RtMidi. Closing a port silences
// nothing by itself, so the port remembers every note it started and ends them on close.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "shell/services.h"
#include "shell/ui_texts.h"

namespace tastrello {

/// Raw byte output to one named port. Real implementation: RtMidiRawOut.
class RawMidiOut {
 public:
  virtual ~RawMidiOut() = default;
  /// Opens the port; returns "" or what went wrong.
  virtual std::string openPort(const std::string& name) = 0;
  /// Sends one message; returns "" or what went wrong.
  virtual std::string sendBytes(const std::vector<unsigned char>& bytes) = 0;
  virtual void closePort() = 0;
};

class RtMidiRawOut : public RawMidiOut {
 public:
  /// The system's MIDI: the ALSA sequencer on Linux; JACK where asked for.
  enum class System { Alsa, Jack };
  /// `language` words what went wrong (English when not given).
  explicit RtMidiRawOut(System system = System::Alsa, std::function<UiLanguage()> language = {});
  ~RtMidiRawOut() override;
  std::string openPort(const std::string& name) override;
  std::string sendBytes(const std::vector<unsigned char>& bytes) override;
  void closePort() override;
  /// The names of the system's MIDI output ports (empty without a MIDI system).
  static std::vector<std::string> portNames(System system = System::Alsa);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::function<UiLanguage()> language_;
};

/// A MidiPort on a raw output that ends, on close, every note started since the open, then
/// sends "all sound off" and "all notes off" on channel 1. The system port is opened at the
/// first open and kept until the port object goes (or a send fails).
class NoteTrackingPort : public MidiPort {
 public:
  /// `language` words its own reasons (English when not given).
  NoteTrackingPort(std::unique_ptr<RawMidiOut> out, std::string portName,
                   std::function<UiLanguage()> language = {})
      : out_(std::move(out)), portName_(std::move(portName)), language_(std::move(language)) {}
  /// Closes the system port.
  ~NoteTrackingPort() override;

  int open(int deviceId, std::uint32_t& handle) override;
  /// Sends each message at once: RtMidi takes no time stamps.
  int send(std::uint32_t handle, std::uint32_t word, SoundTime at) override;
  int close(std::uint32_t handle, SoundTime at) override;
  std::string errorText(int code) override;

 private:
  int fail(std::string text);
  std::string say(Text text, std::initializer_list<std::string> args = {}) const;

  std::unique_ptr<RawMidiOut> out_;
  std::string portName_;
  std::function<UiLanguage()> language_;
  std::set<std::pair<int, int>> sounding_;  ///< (channel, note) started since the open
  bool rawOpen_ = false;                    ///< the system port, opened at the first open
  std::uint32_t openHandle_ = 0;
  std::uint32_t nextHandle_ = 1;
  std::map<int, std::string> errors_;  ///< texts of the latest codes handed out
  int nextCode_ = 100000;
};

}  // namespace tastrello
