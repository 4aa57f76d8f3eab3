#include "platform/output_switch.h"

#include "platform/log_port.h"
#include "platform/rtmidi_port.h"

namespace tastrello {

OutputSwitch::OutputSwitch(std::filesystem::path root, FluidSynthPort::Options synthOptions)
    : root_(std::move(root)), synthOptions_(std::move(synthOptions)) {}

FluidSynthPort& OutputSwitch::synth() {
  if (!synth_) synth_ = std::make_unique<FluidSynthPort>(synthOptions_);
  return *synth_;
}

void OutputSwitch::choose(const std::string& setting) {
  choice_ = setting == "SYNTH" ? std::string() : setting;
  other_.reset();
  if (choice_.rfind("LOG:", 0) == 0) {
    other_ = std::make_unique<LogPort>(root_ / choice_.substr(4), start_);
  } else if (!choice_.empty()) {
    other_ = std::make_unique<NoteTrackingPort>(std::make_unique<RtMidiRawOut>(), choice_);
  }
}

MidiPort& OutputSwitch::current() {
  if (other_) return *other_;
  return synth();
}

int OutputSwitch::open(int deviceId, std::uint32_t& handle) {
  return current().open(deviceId, handle);
}
int OutputSwitch::send(std::uint32_t handle, std::uint32_t word) {
  return current().send(handle, word);
}
int OutputSwitch::close(std::uint32_t handle) {
  return current().close(handle);
}
std::string OutputSwitch::errorText(int code) {
  return current().errorText(code);
}

}  // namespace tastrello
