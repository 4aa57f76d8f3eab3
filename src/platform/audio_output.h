// The built-in synthesizer's own output to a sound server: PipeWire's native one
// (pipewire_output.h) or PulseAudio's (pulse_output.h, which pipewire-pulse also answers).
// FluidSynth's drivers render whole periods and never learn that the sound ran dry; these
// outputs render in small blocks, keep the buffer the server holds apart from the block, change
// it on the running stream, and say what they notice.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace tastrello {

class AudioOutput {
 public:
  using Clock = std::chrono::steady_clock;
  /// Fills the two buffers with `frames` frames, which will be heard from `heardAt` on. Called
  /// in the output's audio thread.
  using Render =
      std::function<void(float* left, float* right, int frames, Clock::time_point heardAt)>;
  /// What the output noticed, told in the audio thread.
  enum class Event {
    Underflow,  ///< the server said it had nothing left to play
    LateWrite,  ///< the sound was asked for so late that one more hiccup would have been heard
    Silence,    ///< the stream played less than the time that passed, and the server said nothing
  };
  using Notice = std::function<void(Event)>;
  /// PipeWire runs every program of the desktop at the shortest cycle any of them asks for:
  /// never less than this (10.7 ms at 48 kHz) is asked.
  static constexpr int kLeastPipeWireCycle = 512;

  struct Status {
    std::string server;     ///< "PulseAudio 16.1", "PipeWire 0.3.65", "PipeWire 0.3.65 (pulse)"
    int framesInForce = 0;  ///< the most a note waits before it is heard, in frames
    int cycleFrames = 0;    ///< on PipeWire the graph's cycle while the stream plays; else 0
    double latencyMs = 0;   ///< a note played now is heard this much later on average (0: not
                            ///< measured yet)
  };

  virtual ~AudioOutput() = default;
  /// Asks the running stream for another buffer; the sound goes on. False when refused.
  virtual bool resize(int bufferFrames) = 0;
  /// What the server and the stream's timing say now.
  virtual Status status() = 0;
  /// False once the server went away (a desktop's sound restarted) or failed the stream: no
  /// sound comes from this output any more.
  virtual bool alive() = 0;
};

}  // namespace tastrello
