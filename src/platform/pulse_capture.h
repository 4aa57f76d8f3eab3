// The microphone through PulseAudio (and PipeWire's pipewire-pulse): a record stream of the
// simple API read in a thread of its own, in blocks of about 5 ms, and the server's list of
// sources through its introspection.
#pragma once

#include <atomic>
#include <memory>
#include <thread>

#include "platform/sound_in.h"

struct pa_simple;

namespace tastrello {

class PulseCapture : public SoundIn, public SoundSources {
 public:
  /// The block read at a time, in milliseconds: what a verdict waits at most for its sound.
  static constexpr double kBlockMs = 5.3;

  ~PulseCapture() override;
  std::string open(const std::string& name, int sampleRate, Deliver deliver) override;
  void close() override;
  double latencyMs() override { return latencyMs_.load(); }
  std::vector<SoundSource> list(std::string& why) override;

 private:
  void run(std::size_t blockFrames, int sampleRate);

  pa_simple* stream_ = nullptr;
  Deliver deliver_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<double> latencyMs_{0};
};

}  // namespace tastrello
