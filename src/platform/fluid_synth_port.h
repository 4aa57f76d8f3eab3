// The built-in synthesizer: FluidSynth with a General MIDI SoundFont, kept running for the
// whole program. "Closing" the device silences every voice at once, so a device reset costs
// a few microseconds instead of a new synthesizer.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/pulse_output.h"
#include "shell/services.h"

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;
struct _fluid_sequencer_t;
struct _fluid_event_t;

namespace tastrello {

class FluidSynthPort : public MidiPort {
 public:
  struct Options {
    std::string soundFont;    ///< empty: the first General MIDI font found on the system
    bool audioOutput = true;  ///< false: no audio driver; render() gives the sound instead
    /// Frames of the audio buffer: with PulseAudio the whole buffer the server holds (rendered
    /// in blocks of kPulseBlock frames); with ALSA a period, of which there are `periods`.
    /// 1024 frames (21.3 ms) held a chord for every minute measured without a dropout while
    /// both cores were busy (scripts/bench); 512 dropped out once in one of three such
    /// minutes, 384 three or four times a minute, the former 128 about 240 times.
    int periodSize = kAutomaticStart;
    int periods = 2;
    double sampleRate = 48000;
    /// Grow the buffer when the sound runs dry (the automatic setting), up to kAutomaticLimit.
    bool adaptive = true;
  };
  static constexpr int kAutomaticStart = 1024;
  static constexpr double kTicksPerSecond = 10000;
  /// Frames rendered per write to PulseAudio: a new note waits at most this long (2.7 ms).
  static constexpr int kPulseBlock = 128;
  static constexpr int kAutomaticLimit = 4096;

  explicit FluidSynthPort(Options options);
  ~FluidSynthPort() override;

  int open(int deviceId, std::uint32_t& handle) override;
  /// A message given a moment the sound has not reached yet sounds then rather than at once:
  /// a replay step prepared a little early thus keeps its time however late the window's
  /// thread was; FluidSynth's sequencer places the messages in the audio thread's blocks.
  /// `at` is on the standard clock's scale (StandardClock::seconds).
  int send(std::uint32_t handle, std::uint32_t word, SoundTime at) override;
  int close(std::uint32_t handle, SoundTime at) override;
  std::string errorText(int code) override;
  /// Messages are handed over this long before their moment, when the output schedules.
  double leadSeconds() override { return outputRunning() ? kLeadSeconds : 0; }
  static constexpr double kLeadSeconds = 0.040;

  /// Renders stereo samples into the two buffers (only without an audio output).
  void render(float* left, float* right, int frames);

  /// The SoundFont in use, the audio driver and the buffer latency, for the instrument panel.
  std::string describe() const;
  /// The audio buffer in force, in milliseconds.
  double latencyMs() const;
  /// The frames of a buffer of `milliseconds` (0: the automatic start), whole blocks of 64.
  static int bufferFrames(int milliseconds, double sampleRate);
  /// A fixed buffer of `milliseconds`, or the automatic one (0); a running output restarts.
  void setBuffer(int milliseconds);
  /// Times PulseAudio ran out of sound to play while notes sounded (ALSA and JACK: not
  /// counted).
  int underruns() const { return underruns_; }
  /// The automatic buffer after underruns: the next larger one (twice, up to the limit), the
  /// output restarted; true when it grew. Called from the window's thread now and then.
  bool adaptBuffer();
  double sampleRate() const { return options_.sampleRate; }
  bool ready() const { return synth_ != nullptr && fontId_ >= 0; }
  /// FluidSynth's own messages, kept for diagnosis.
  static std::vector<std::string>& diagnostics();

  /// The first existing file of the usual General MIDI SoundFonts, or "".
  static std::string findSoundFont();

 private:
  void startDriver();
  void stopOutput();
  bool outputRunning() const { return driver_ || pulse_; }
  /// Hands an event to the sequencer for `at`; false when it is due already (send it now).
  bool schedule(_fluid_event_t* event, SoundTime at);
  static int renderBlock(void* self, int frames, int nfx, float* fx[], int nout, float* out[]);
  /// Renders a block the audio output asked for, which stands for the moment `at`.
  void renderBlockAt(int frames, float* out[2], std::chrono::steady_clock::time_point at);

  struct Deleters {
    void operator()(_fluid_hashtable_t* s) const;
    void operator()(_fluid_synth_t* s) const;
    void operator()(_fluid_audio_driver_t* d) const;
    void operator()(_fluid_sequencer_t* s) const;
    void operator()(_fluid_event_t* e) const;
  };

  Options options_;
  std::unique_ptr<_fluid_hashtable_t, Deleters> settings_;
  std::unique_ptr<_fluid_synth_t, Deleters> synth_;
  /// Goes after the audio output and before the synthesizer (see the destructor).
  std::unique_ptr<_fluid_sequencer_t, Deleters> sequencer_;
  std::unique_ptr<_fluid_event_t, Deleters> event_;
  std::unique_ptr<_fluid_audio_driver_t, Deleters> driver_;  ///< ALSA or JACK
  std::unique_ptr<PulseOutput> pulse_;
  short synthDestination_ = -1;
  std::atomic<unsigned> blockTick_{0};  ///< the sequencer's tick when the last block began
  int fontId_ = -1;
  std::string driverName_;
  std::string startProblem_;
  std::uint32_t openHandle_ = 0;
  std::uint32_t nextHandle_ = 1;
  std::atomic<long long> lastBlock_{0};  ///< steady-clock nanoseconds of the last block
  std::atomic<int> underruns_{0};
  int underrunsSeen_ = 0;
};

}  // namespace tastrello
