// The built-in synthesizer: FluidSynth with a General MIDI SoundFont, kept running for the
// whole program. "Closing" the device silences every voice at once, so a device reset costs
// a few microseconds instead of a new synthesizer.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/audio_output.h"
#include "platform/pulse_output.h"
#include "shell/services.h"
#include "shell/ui_texts.h"

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;
struct _fluid_sequencer_t;
struct _fluid_event_t;

namespace tastrello {

class FluidSynthPort : public MidiPort {
 public:
  /// Sees every block the audio output renders, in its thread, in order (for tests).
  using Tap = std::function<void(const float* left, const float* right, int frames)>;
  struct Options {
    std::string soundFont;    ///< empty: the first General MIDI font found on the system
    /// The program's own reed SoundFont (src/sound/reed_presets.h), loaded over the General
    /// MIDI font so that its accordion and bass presets are played instead of that font's;
    /// empty: none.
    std::string reedFont;
    bool audioOutput = true;  ///< false: no audio driver; render() gives the sound instead
    /// Frames of the audio buffer, as the window object's policy gives it
    /// (sound/audio_buffer.h): with PulseAudio the buffer the server holds (rendered in
    /// blocks of kPulseBlock frames); with PipeWire twice the graph's cycle; with ALSA a
    /// period, of which there are `periods`.
    int periodSize = 1024;
    int periods = 2;
    double sampleRate = 48000;
    /// "": the program's own output to the desktop's sound server (PipeWire's own where
    /// PipeWire serves the desktop, else PulseAudio's), else ALSA or JACK. "pipewire" or
    /// "pulse": that output of the program's alone; a FluidSynth driver's name ("pulseaudio",
    /// "alsa", "jack"): that driver alone (to compare with, in the benchmark).
    std::string driver;
    Tap tap;
    /// The language its reasons are worded in (English when not given); asked each time.
    std::function<UiLanguage()> language;
  };
  static constexpr double kTicksPerSecond = 10000;
  /// The synthesizer applies a message at the start of one of its blocks of this many frames.
  static constexpr int kSynthBlock = 64;
  /// The synthesizer's frame at which a message due at `dueNs` is applied: the start of the
  /// block nearest to it, when frame `frame` is heard at `heardNs`.
  static long long blockFor(long long frame, long long heardNs, long long dueNs, double rate);
  /// The sequencer's tick for a message to sound from the block that starts at frame `frame`.
  /// The sequencer's clock is the synthesizer's frames counted in whole milliseconds
  /// (FluidSynth's sample timer, run as each block begins), and a voice it starts sounds from
  /// the block after the one it was started in: the tick of the block before.
  static unsigned tickFor(long long frame, double rate);
  /// Frames rendered per write to PulseAudio: a new note waits at most this long (2.7 ms).
  static constexpr int kPulseBlock = 128;
  /// The synthesizer's gain: a held four-note accordion chord near -16 dBFS RMS, as loud as
  /// other programs (measured by the rendering test).
  static constexpr double kGain = 1.6;
  /// The loudest chords (four low notes of a layout peak 4.4 dB above that chord, other
  /// instruments more) are held below this peak by a limiter: never a clipped sample.
  static constexpr float kPeakLimit = 0.84f;  // -1.5 dBFS

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

  /// What the output says of itself; hands FluidSynth's new warnings and errors over once.
  /// Where the sound server the program played to went away, it is looked for again first
  /// (every two seconds at the most): the sound comes back when the server does.
  AudioReport report();
  /// The driver, the buffer and the latency in a line, for the benchmark's tables.
  std::string describe();
  /// The buffer asked for, in milliseconds.
  double bufferMs() const { return 1000.0 * options_.periodSize / options_.sampleRate; }
  /// Another buffer size: PipeWire's and PulseAudio's streams take it while they play; ALSA
  /// and JACK restart.
  void setBufferFrames(int frames);
  /// Times the server said it had nothing left while notes sounded (ALSA, JACK: not counted).
  int underruns() const { return underruns_; }
  /// Times the server had nothing left, whether notes sounded or not.
  int serverUnderflows() const { return serverUnderflows_; }
  int lateWrites() const { return lateWrites_; }
  int silences() const { return silences_; }
  double sampleRate() const { return options_.sampleRate; }
  bool ready() const { return synth_ != nullptr && fontId_ >= 0; }
  /// Whether the reed SoundFont was loaded over the General MIDI one.
  bool reedsLoaded() const { return reedFontId_ >= 0; }

  /// Whether the program's output plays to PipeWire natively, given the server that answers
  /// PulseAudio's clients (none, PulseAudio, or PipeWire's bridge) and where they are sent
  /// (PULSE_SERVER, or null): where PipeWire serves this machine's desktop, or nothing answers.
  static bool playsPipeWireNatively(const std::optional<PulseOutput::Server>& answering,
                                    const char* pulseServer);
  /// The first existing file of the usual General MIDI SoundFonts, or "".
  static std::string findSoundFont();
  /// FluidSynth's audio drivers in this build ("alsa", "jack", "pulseaudio", ...).
  static std::vector<std::string> driversBuilt();

 private:
  /// Starts the output that `options_.driver` asks for; `ownOnly`: the program's own outputs
  /// to PipeWire and PulseAudio alone, never ALSA or JACK (which would take the device from a
  /// sound server coming back).
  void startDriver(bool ownOnly = false);
  void stopOutput();
  /// Starts the program's own output again where its server went away.
  void restartLostOutput();
  bool outputRunning() const { return driver_ || output_; }
  /// The program's own output to the sound server that `options_.driver` asks for.
  std::unique_ptr<AudioOutput> openOwnOutput(std::string& why);
  /// Hands an event to the sequencer for `at`; false when it is due already (send it now).
  bool schedule(_fluid_event_t* event, SoundTime at);
  static int renderBlock(void* self, int frames, int nfx, float* fx[], int nout, float* out[]);
  /// Renders a block the audio output asked for, which will be heard from `heardAt` on.
  void renderBlockAt(int frames, float* out[2], std::chrono::steady_clock::time_point heardAt);
  /// Keeps every sample at or below kPeakLimit: the gain falls at once to what the loudest
  /// frame needs and comes back over about 100 ms, so a loud chord is turned down as a whole
  /// rather than clipped at each peak.
  void limit(float* left, float* right, int frames);
  /// In the audio thread: counts what the program's own output noticed.
  void notice(AudioOutput::Event event);

  struct Deleters {
    void operator()(_fluid_hashtable_t* s) const;
    void operator()(_fluid_synth_t* s) const;
    void operator()(_fluid_audio_driver_t* d) const;
    void operator()(_fluid_sequencer_t* s) const;
    void operator()(_fluid_event_t* e) const;
  };

  /// Which frame of the synthesizer is heard when: written by the audio thread, read by the
  /// window's, always as one pair (the sequence number is odd while the pair is being written).
  class Anchor {
   public:
    void store(long long frame, long long heardNs);
    /// False before the first block.
    bool load(long long& frame, long long& heardNs) const;

   private:
    std::atomic<unsigned> sequence_{0};
    std::atomic<long long> frame_{0};
    std::atomic<long long> heardNs_{0};
  };

  Options options_;
  std::unique_ptr<_fluid_hashtable_t, Deleters> settings_;
  std::unique_ptr<_fluid_synth_t, Deleters> synth_;
  /// Goes after the audio output and before the synthesizer (see the destructor).
  std::unique_ptr<_fluid_sequencer_t, Deleters> sequencer_;
  std::unique_ptr<_fluid_event_t, Deleters> event_;
  std::unique_ptr<_fluid_audio_driver_t, Deleters> driver_;  ///< ALSA or JACK
  std::unique_ptr<AudioOutput> output_;  ///< the program's own: PipeWire or PulseAudio
  bool outputLost_ = false;  ///< its server went away, and no output has come back yet
  std::chrono::steady_clock::time_point nextTry_;  ///< when to look for the server again
  short synthDestination_ = -1;
  Anchor anchor_;
  // The audio thread's own smoothed pair, from which anchor_ is published.
  bool anchored_ = false;
  long long anchorFrame_ = 0;
  double anchorNs_ = 0;
  long long framesRendered_ = 0;  ///< by the synthesizer since it was made (audio thread)
  float limiterGain_ = 1.0f;
  int fontId_ = -1;
  int reedFontId_ = -1;
  /// The reed SoundFont that could not be loaded, until a report has said so.
  std::string reedFontProblem_;
  void loadReedFont();
  std::string driverName_;
  /// Why the synthesizer or its output did not start, kept as a text of the table and its
  /// detail so that it is worded in the language in force when it is shown.
  std::optional<std::pair<Text, std::string>> startProblem_;
  std::string say(Text text, std::initializer_list<std::string> args = {}) const;
  std::uint32_t openHandle_ = 0;
  std::uint32_t nextHandle_ = 1;
  std::atomic<int> underruns_{0};
  std::atomic<int> serverUnderflows_{0};
  std::atomic<int> lateWrites_{0};
  std::atomic<int> silences_{0};
};

}  // namespace tastrello
