// The built-in synthesizer's own PulseAudio output (also through pipewire-pulse on PipeWire
// desktops). FluidSynth's PulseAudio driver asks the server for a buffer of one period and
// renders a whole period per write, so a larger buffer also meant a longer wait before a new
// note was rendered, and it never learns that the sound ran dry. Here the buffer the server
// holds (which keeps the sound from running dry) and the block rendered per request (which
// bounds how long a new note waits) are chosen apart; the buffer changes on the running stream;
// and what the server says of the stream, and what its timing shows when it says nothing, is
// passed on.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace tastrello {

/// How far a stream's playback fell behind the clock, from readings of its timing, and
/// whether it fell further: a silence the server did not report. A read index moves in whole
/// cycles of the server (10.7 ms on PipeWire), so one reading may lag by up to a cycle more
/// than the playback does; the least of a few readings does not, and a real gap raises every
/// reading after it.
class PlaybackLag {
 public:
  /// A lag of the playback behind the clock by this much more, unreported, is a silence.
  static constexpr double kSilenceMs = 4.0;
  /// Readings a silence must show in before it counts; the first ones set where it starts.
  static constexpr int kReadings = 3;

  /// Measures afresh (a new stream, a new buffer, a gap the server told of).
  void reset() { count_ = 0; }
  /// One reading of the lag, in milliseconds from where the measure started; true when the
  /// playback fell silent since the silence last answered.
  bool fellSilent(double lagMs) {
    readings_[std::size_t(count_++ % kReadings)] = lagMs;
    if (count_ < kReadings) return false;
    double least = readings_[0];
    for (double r : readings_) least = r < least ? r : least;
    const bool silent = count_ > kReadings && least - answered_ >= kSilenceMs;
    // A lower lag is the measure's own jitter (a real gap only ever adds): it is followed.
    if (count_ == kReadings || silent || least < answered_) answered_ = least;
    return silent;
  }

 private:
  std::array<double, kReadings> readings_{};
  int count_ = 0;
  double answered_ = 0;  ///< how far the playback fell behind, answered already
};

class PulseOutput {
 public:
  using Clock = std::chrono::steady_clock;
  /// Fills the two buffers with `frames` frames, which will be heard from `heardAt` on.
  using Render = std::function<void(float* left, float* right, int frames, Clock::time_point heardAt)>;
  /// What the output noticed, told in the audio thread.
  enum class Event {
    Underflow,  ///< the server said it had nothing left to play
    LateWrite,  ///< the server asked for sound when less than kLateMs were left to play
    Silence,    ///< the stream played less than the time that passed, and the server said nothing
  };
  using Notice = std::function<void(Event)>;
  /// A request that finds less than this left to play came late: one more scheduling hiccup
  /// would have been heard.
  static constexpr double kLateMs = 2.0;
  /// On PipeWire the stream's own cycle: the node latency the buffer asks for at least, so
  /// that the program never pulls every application on the desktop down to short cycles.
  static constexpr int kPipeWireCycle = 512;

  /// Connects to the default server and sink. Nothing, with `why`, when none answers.
  static std::unique_ptr<PulseOutput> open(double sampleRate, int blockFrames, int bufferFrames,
                                           Render render, Notice notice, std::string& why);
  ~PulseOutput();

  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  /// Asks the running stream for another buffer; the sound goes on. False when refused.
  bool resize(int bufferFrames);

  struct Status {
    std::string server;     ///< "PulseAudio 16.1", "PipeWire 0.3.65"
    bool pipeWire = false;  ///< the server is pipewire-pulse
    int framesInForce = 0;  ///< the buffer the server holds for the stream
    int cycleFrames = 0;    ///< on PipeWire the node latency the server made of the buffer; else 0
    double latencyMs = 0;   ///< a frame written now is heard this much later (0: not known yet)
  };
  Status status();

  /// The buffer attributes asked for `bufferFrames` (tlength, minreq, in frames) on a PipeWire
  /// or a PulseAudio server. pipewire-pulse makes its node's cycle (tlength - 2 x minreq) / 2,
  /// so on PipeWire tlength is at least what gives a cycle of kPipeWireCycle.
  struct Attributes {
    int tlength = 0;
    int minreq = 0;
    bool adjustLatency = true;
  };
  static Attributes attributesFor(int bufferFrames, int blockFrames, bool pipeWire);

 private:
  PulseOutput() = default;
  /// In the main loop's thread: the server asks for `bytes`.
  void write(std::size_t bytes);
  /// In the main loop's thread: the stream's timing was brought up to date.
  void timingUpdated();
  bool applyAttributes(int bufferFrames, bool onRunningStream);
  double latencyNowMs();

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  Render render_;
  Notice notice_;
  int blockFrames_ = 0;
  double rate_ = 48000;
  bool pipeWire_ = false;
  std::string server_;
  bool prioritySet_ = false;
  std::vector<float> left_, right_, both_;
  // The playback's progress against the clock, for silences the server does not report.
  bool tracking_ = false;
  long long playedFrom_ = 0;        ///< read index (frames) when tracking began
  Clock::time_point trackedFrom_;   ///< the moment of that read index
  PlaybackLag lag_;
  int underflowsSinceTiming_ = 0;   ///< underflows told since the last timing update
};

}  // namespace tastrello
