// The microphone the program opens: PipeWire's own capture where a PipeWire server answers,
// else PulseAudio's (which pipewire-pulse answers too), as the sound output chooses its way.
#pragma once

#include "platform/pipewire_capture.h"
#include "platform/pulse_capture.h"

namespace tastrello {

class Microphone : public SoundIn, public SoundSources {
 public:
  std::string open(const std::string& name, int sampleRate, Deliver deliver) override;
  void close() override;
  double latencyMs() override;
  std::vector<SoundSource> list(std::string& why) override;

 private:
  PipeWireCapture pipewire_;
  PulseCapture pulse_;
  SoundIn* inForce_ = nullptr;
};

}  // namespace tastrello
