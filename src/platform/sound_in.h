// A microphone: sound captured from a source of the sound server, one channel of float samples
// handed over in blocks as they come, each with the moment its first sample reached the device.
// Listing the sources is a role of its own (SoundSources).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "shell/services.h"

namespace tastrello {

/// Real implementations: PulseCapture (pulse_capture.h; PulseAudio, and PipeWire through
/// pipewire-pulse) and PipeWireCapture (pipewire_capture.h, PipeWire's own streams). The shared
/// fake is FakeSoundIn in tests/fakes.h.
class SoundIn {
 public:
  using Clock = std::chrono::steady_clock;
  /// A block of `count` samples; the first reached the device at `capturedAt`. Called in the
  /// capture's own thread, never after `close` returned.
  using Deliver = std::function<void(const float* samples, std::size_t count, Clock::time_point capturedAt)>;

  virtual ~SoundIn() = default;
  /// Starts capturing from the source `name` ("": the server's default source; a sink's name
  /// followed by ".monitor": what that sink plays) at `sampleRate`, one channel. Returns ""
  /// once sound flows, else why not (in English, for the status line); a capture already open
  /// is closed first.
  virtual std::string open(const std::string& name, int sampleRate, Deliver deliver) = 0;
  /// Stops capturing; idempotent.
  virtual void close() = 0;
  /// How long a block's first sample took from the device to `Deliver`, as the server tells
  /// it, in milliseconds; 0 while nothing was delivered.
  virtual double latencyMs() = 0;
};

/// Why a microphone cannot be opened on `name`: "" for the default source (""), a sink's
/// monitor, or a source `sources` lists; else that it is not there. PipeWire (and its bridge)
/// would capture the default source in place of one that is not there, without a word.
inline std::string missingSource(SoundSources& sources, const std::string& name) {
  const std::string monitor = ".monitor";
  if (name.empty() || (name.size() > monitor.size() && name.compare(name.size() - monitor.size(), monitor.size(), monitor) == 0))
    return "";
  std::string why;
  for (const SoundSource& s : sources.list(why))
    if (s.name == name) return "";
  return "no sound source named " + name + (why.empty() ? "" : " (" + why + ")");
}

}  // namespace tastrello
