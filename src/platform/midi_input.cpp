#include "platform/midi_input.h"

#include "platform/rtmidi_system.h"
#include "platform/stamp_clock.h"

namespace tastrello {

struct RtMidiInput::Impl {
  RtMidi::Api api;
  Sink sink;
  std::function<double()> now;
  std::unique_ptr<RtMidiIn> in;
  MidiMoments moments;  ///< touched by RtMidi's thread alone while a port is open
};

RtMidiInput::RtMidiInput(Sink sink, std::function<double()> now, RtMidiRawOut::System system)
    : impl_(std::make_unique<Impl>()) {
  impl_->api = rtMidiApi(system);
  impl_->sink = std::move(sink);
  impl_->now = std::move(now);
}

RtMidiInput::~RtMidiInput() {
  close();
}

std::optional<std::uint32_t> RtMidiInput::packMessage(const std::vector<unsigned char>& bytes) {
  if (bytes.empty() || bytes[0] < 0x80 || bytes[0] >= 0xF0) return std::nullopt;
  const std::uint32_t data1 = bytes.size() > 1 ? bytes[1] & 0x7F : 0;
  const std::uint32_t data2 = bytes.size() > 2 ? bytes[2] & 0x7F : 0;
  return bytes[0] | data1 << 8 | data2 << 16;
}

std::vector<std::string> RtMidiInput::portNames(RtMidiRawOut::System system) {
  return rtMidiPortNames<RtMidiIn>(system);
}

std::string RtMidiInput::open(const std::string& name, UiLanguage language) {
  close();
  if (name.empty()) return {};
  try {
    auto in = std::make_unique<RtMidiIn>(impl_->api, "Tastrello");
    for (unsigned i = 0; i < in->getPortCount(); ++i) {
      if (in->getPortName(i) != name) continue;
      impl_->moments.restart();  // a new RtMidiIn counts from its own first message
      in->setCallback(
          [](double sinceLast, std::vector<unsigned char>* message, void* data) {
            auto& impl = *static_cast<Impl*>(data);
            const double at = impl.moments.moment(sinceLast, impl.now());
            if (const auto word = packMessage(*message)) impl.sink(*word, at);
          },
          impl_.get());
      // Every message comes through, the clock's and the sensing ones too: JACK's input counts
      // the time to the next message from one it ignores.
      in->ignoreTypes(false, false, false);
      in->openPort(i, "Tastrello in");
      impl_->in = std::move(in);
      name_ = name;
      return {};
    }
    return uiText(language, Text::MidiInputMissing, {name});
  } catch (const RtMidiError& e) {
    return e.getMessage();
  }
}

void RtMidiInput::close() {
  if (!impl_->in) return;
  try {
    impl_->in->closePort();
  } catch (const RtMidiError&) {
    // Closing a port that went away: nothing left to do.
  }
  impl_->in.reset();
  name_.clear();
}

std::vector<std::string> RtMidiPorts::inputs() {
  return RtMidiInput::portNames();
}

}  // namespace tastrello
