#include "platform/rtmidi_port.h"

#include "platform/rtmidi_system.h"

namespace tastrello {

struct RtMidiRawOut::Impl {
  RtMidi::Api api;
  std::unique_ptr<RtMidiOut> out;
};

RtMidiRawOut::RtMidiRawOut(System system, std::function<UiLanguage()> language)
    : impl_(std::make_unique<Impl>()), language_(std::move(language)) {
  impl_->api = rtMidiApi(system);
}
RtMidiRawOut::~RtMidiRawOut() {
  closePort();
}

std::vector<std::string> RtMidiRawOut::portNames(System system) {
  return rtMidiPortNames<RtMidiOut>(system);
}

std::string RtMidiRawOut::openPort(const std::string& name) {
  try {
    impl_->out = std::make_unique<RtMidiOut>(impl_->api, "Tastrello");
    for (unsigned i = 0; i < impl_->out->getPortCount(); ++i) {
      if (impl_->out->getPortName(i) == name) {
        impl_->out->openPort(i, "Tastrello out");
        return {};
      }
    }
    impl_->out.reset();
    return uiText(language_ ? language_() : UiLanguage::English, Text::MidiPortMissing, {name});
  } catch (const RtMidiError& e) {
    impl_->out.reset();
    return e.getMessage();
  }
}

std::string RtMidiRawOut::sendBytes(const std::vector<unsigned char>& bytes) {
  if (!impl_->out)
    return uiText(language_ ? language_() : UiLanguage::English, Text::MidiPortNotOpen);
  try {
    impl_->out->sendMessage(&bytes);
    return {};
  } catch (const RtMidiError& e) {
    return e.getMessage();
  }
}

void RtMidiRawOut::closePort() {
  if (!impl_->out) return;
  try {
    impl_->out->closePort();
  } catch (const RtMidiError&) {
  }
  impl_->out.reset();
}

int NoteTrackingPort::fail(std::string text) {
  const int code = nextCode_++;
  errors_[code] = std::move(text).substr(0, 128);
  if (errors_.size() > 64) errors_.erase(errors_.begin());
  return code;
}

NoteTrackingPort::~NoteTrackingPort() {
  if (rawOpen_) out_->closePort();
}

int NoteTrackingPort::open(int, std::uint32_t& handle) {
  handle = 0;
  sounding_.clear();
  if (!rawOpen_) {
    const std::string error = out_->openPort(portName_);
    if (!error.empty()) return fail(error);
    rawOpen_ = true;
  }
  openHandle_ = nextHandle_++;
  handle = openHandle_;
  return 0;
}

int NoteTrackingPort::send(std::uint32_t handle, std::uint32_t word, SoundTime) {
  if (handle == 0 || handle != openHandle_) return fail(say(Text::MidiPortNotOpen));
  const auto status = static_cast<unsigned char>(word & 0xFF);
  const auto data1 = static_cast<unsigned char>((word >> 8) & 0xFF);
  const auto data2 = static_cast<unsigned char>((word >> 16) & 0xFF);
  std::vector<unsigned char> bytes{status, data1};
  const int kind = status & 0xF0;
  if (kind != 0xC0 && kind != 0xD0) bytes.push_back(data2);
  const std::string error = out_->sendBytes(bytes);
  if (!error.empty()) {
    // The port may have gone (a device unplugged): the next open opens it afresh.
    out_->closePort();
    rawOpen_ = false;
    return fail(error);
  }
  const int channel = status & 0x0F;
  if (kind == 0x90 && data2 > 0) sounding_.insert({channel, data1});
  if (kind == 0x80 || (kind == 0x90 && data2 == 0)) sounding_.erase({channel, data1});
  return 0;
}

int NoteTrackingPort::close(std::uint32_t handle, SoundTime) {
  if (handle == 0 || handle != openHandle_) return fail(say(Text::MidiPortNotOpen));
  for (const auto& [channel, note] : sounding_)
    out_->sendBytes(
        {static_cast<unsigned char>(0x80 | channel), static_cast<unsigned char>(note), 0});
  sounding_.clear();
  out_->sendBytes({0xB0, 120, 0});  // all sound off
  out_->sendBytes({0xB0, 123, 0});  // all notes off
  // The system port itself stays open: closing it right after these messages could drop
  // them (JACK unregisters the port before the receiving client has read its cycle), and
  // the device reset would make a new client at every chord of a replay.
  openHandle_ = 0;
  return 0;
}

std::string NoteTrackingPort::errorText(int code) {
  const auto it = errors_.find(code);
  if (it != errors_.end()) return it->second;
  return say(Text::MidiPortError, {std::to_string(code)});
}

std::string NoteTrackingPort::say(Text text, std::initializer_list<std::string> args) const {
  return uiText(language_ ? language_() : UiLanguage::English, text, args);
}

}  // namespace tastrello
