// The built-in synthesizer's own PulseAudio output, also through pipewire-pulse on PipeWire
// desktops where the program cannot reach PipeWire itself. FluidSynth's PulseAudio driver asks
// the server for a buffer of one period and renders a whole period per write, so a larger
// buffer also meant a longer wait before a new note was rendered. Here the buffer the server
// holds (which keeps the sound from running dry) and the block rendered per request (which
// bounds how long a new note waits) are chosen apart, and what the server says of the stream,
// and what its timing shows when it says nothing, is passed on.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio_output.h"

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

class PulseOutput : public AudioOutput {
 public:
  /// A request that finds less than this left to play came late: one more scheduling hiccup
  /// would have been heard.
  static constexpr double kLateMs = 2.0;

  /// Which server answers PulseAudio's clients here: its name as PulseOutput's status gives
  /// it, and whether it is PipeWire's bridge; nothing when none answers.
  struct Server {
    std::string name;
    bool pipeWire = false;
  };
  static std::optional<Server> answering();

  /// Connects to the default server and sink. Nothing, with `why`, when none answers.
  static std::unique_ptr<PulseOutput> open(double sampleRate, int blockFrames, int bufferFrames,
                                           Render render, Notice notice, std::string& why);
  ~PulseOutput() override;

  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  bool resize(int bufferFrames) override;
  Status status() override;
  bool alive() override;

  /// The buffer attributes asked for `bufferFrames` (tlength, minreq, in frames) on a PipeWire
  /// or a PulseAudio server. pipewire-pulse makes its node's cycle (tlength - 2 x minreq) / 2,
  /// so on PipeWire tlength is at least what gives a cycle of kLeastPipeWireCycle.
  struct Attributes {
    int tlength = 0;
    int minreq = 0;
    bool adjustLatency = true;
  };
  static Attributes attributesFor(int bufferFrames, int blockFrames, bool pipeWire);

  /// The cycle pipewire-pulse runs a stream's node at, from the buffer it gives the stream
  /// (tlength, minreq, in frames). Its own latency figures drift by tens of milliseconds
  /// between its timing updates; the program works its latency out from these.
  static int bridgeCycle(int tlength, int minreq);

 private:
  PulseOutput() = default;
  /// In the main loop's thread: the server asks for `bytes`.
  void write(std::size_t bytes);
  /// In the main loop's thread: the stream's timing was brought up to date.
  void timingUpdated();
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
