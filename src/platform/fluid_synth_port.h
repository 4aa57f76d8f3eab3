// The built-in synthesizer: FluidSynth with a General MIDI SoundFont, kept running for the
// whole program. "Closing" the device silences every voice at once, so a device reset costs
// a few microseconds instead of a new synthesizer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/services.h"

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

namespace tastrello {

class FluidSynthPort : public MidiPort {
 public:
  struct Options {
    std::string soundFont;    ///< empty: the first General MIDI font found on the system
    bool audioOutput = true;  ///< false: no audio driver; render() gives the sound instead
    int periodSize = 128;     ///< frames per audio period
    int periods = 2;
    double sampleRate = 48000;
  };

  explicit FluidSynthPort(Options options);
  ~FluidSynthPort() override;

  int open(int deviceId, std::uint32_t& handle) override;
  int send(std::uint32_t handle, std::uint32_t word) override;
  int close(std::uint32_t handle) override;
  std::string errorText(int code) override;

  /// Renders stereo samples into the two buffers (only without an audio output).
  void render(float* left, float* right, int frames);

  /// The SoundFont in use, the audio driver and the buffer latency, for the instrument panel.
  std::string describe() const;
  double latencyMs() const;
  double sampleRate() const { return options_.sampleRate; }
  bool ready() const { return synth_ != nullptr && fontId_ >= 0; }
  /// FluidSynth's own messages, kept for diagnosis.
  static std::vector<std::string>& diagnostics();

  /// The first existing file of the usual General MIDI SoundFonts, or "".
  static std::string findSoundFont();

 private:
  struct Deleters {
    void operator()(_fluid_hashtable_t* s) const;
    void operator()(_fluid_synth_t* s) const;
    void operator()(_fluid_audio_driver_t* d) const;
  };

  Options options_;
  std::unique_ptr<_fluid_hashtable_t, Deleters> settings_;
  std::unique_ptr<_fluid_synth_t, Deleters> synth_;
  std::unique_ptr<_fluid_audio_driver_t, Deleters> driver_;
  int fontId_ = -1;
  std::string driverName_;
  std::string startProblem_;
  std::uint32_t openHandle_ = 0;
  std::uint32_t nextHandle_ = 1;
};

}  // namespace tastrello
