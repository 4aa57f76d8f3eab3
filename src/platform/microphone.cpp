#include "platform/microphone.h"

namespace tastrello {

std::string Microphone::open(const std::string& name, int sampleRate, Deliver deliver) {
  close();
  if (std::string why = missingSource(*this, name); !why.empty()) return why;
  const std::string pipewireWhy = pipewire_.open(name, sampleRate, deliver);
  if (pipewireWhy.empty()) {
    inForce_ = &pipewire_;
    return "";
  }
  const std::string pulseWhy = pulse_.open(name, sampleRate, std::move(deliver));
  if (pulseWhy.empty()) {
    inForce_ = &pulse_;
    return "";
  }
  return "PipeWire: " + pipewireWhy + "; PulseAudio: " + pulseWhy;
}

void Microphone::close() {
  if (inForce_) inForce_->close();
  inForce_ = nullptr;
}

double Microphone::latencyMs() {
  return inForce_ ? inForce_->latencyMs() : 0;
}

std::vector<SoundSource> Microphone::list(std::string& why) {
  std::string pipewireWhy;
  std::vector<SoundSource> sources = pipewire_.list(pipewireWhy);
  if (!sources.empty() || pipewireWhy.empty()) return sources;
  sources = pulse_.list(why);
  if (sources.empty() && !why.empty()) why = "PipeWire: " + pipewireWhy + "; PulseAudio: " + why;
  return sources;
}

}  // namespace tastrello
