// A MIDI input port of the system (the ALSA sequencer on Linux, JACK where asked for) through
// RtMidi. Messages arrive on RtMidi's own thread and are handed to a sink as packed words.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/rtmidi_port.h"

namespace tastrello {

/// The system's MIDI ports by name, in and out.
class RtMidiPorts : public MidiPorts {
 public:
  std::vector<std::string> inputs() override;
  std::vector<std::string> outputs() override { return RtMidiRawOut::portNames(); }
};

class RtMidiInput {
 public:
  /// Called on RtMidi's thread for each channel message: status | data1 << 8 | data2 << 16,
  /// and when it was played, on the clock `now` reads (see MidiMoments).
  using Sink = std::function<void(std::uint32_t word, double at)>;

  /// `now` is read on RtMidi's thread as each message is taken.
  RtMidiInput(Sink sink, std::function<double()> now,
              RtMidiRawOut::System system = RtMidiRawOut::System::Alsa);
  ~RtMidiInput();
  RtMidiInput(const RtMidiInput&) = delete;
  RtMidiInput& operator=(const RtMidiInput&) = delete;

  /// Opens the port of that name ("" closes); returns "" or what went wrong, in `language`.
  std::string open(const std::string& name, UiLanguage language = UiLanguage::English);
  void close();
  const std::string& openName() const { return name_; }
  /// The names of the system's MIDI input ports (empty without a MIDI system).
  static std::vector<std::string> portNames(
      RtMidiRawOut::System system = RtMidiRawOut::System::Alsa);

  /// A message as bytes to a word; nothing for system messages (clock, sensing, SysEx).
  static std::optional<std::uint32_t> packMessage(const std::vector<unsigned char>& bytes);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string name_;
};

}  // namespace tastrello
