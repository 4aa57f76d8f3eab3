// The built-in synthesizer's native PipeWire output, for desktops whose sound server is
// PipeWire. The synthesizer renders each cycle of the graph in the graph's own real-time
// thread, so a note waits for the next cycle and nothing else: through pipewire-pulse the same
// note also waited for two cycles of buffer that the bridge keeps, and for its main loop and
// socket. The graph's clock tells when each cycle is heard, and the stream's own view of it
// tells when the graph played on without the stream.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio_output.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct spa_io_position;

namespace tastrello {

/// What the graph's clock says of each cycle the stream renders: whether the graph ran cycles
/// without the stream (its part of them was silence), or the stream began its cycle so late
/// that one more hiccup would have been heard.
class CycleWatch {
 public:
  enum class Verdict { OnTime, Late, Missed };
  /// One cycle: the graph clock's `id`, its `position` and `duration` in frames at `rate`, the
  /// moment `cycleNs` the cycle began, and `nowNs`, when the stream began rendering it. Missed:
  /// the graph ran cycles without the stream since its last, or the stream began after the
  /// cycle's end; Late: after its middle. A run of troubled cycles is told at its first, and
  /// again only where it grows worse.
  Verdict cycle(std::uint32_t id, std::uint64_t position, std::uint64_t duration, double rate,
                std::int64_t cycleNs, std::int64_t nowNs);

 private:
  bool started_ = false;
  std::uint32_t clock_ = 0;
  std::uint64_t next_ = 0;  ///< the position the next cycle has when none is missed
  Verdict last_ = Verdict::OnTime;
};

/// Connects `stream` to the graph for stereo float at `rate`, linked where the session manager
/// links it, with its process called in the graph's real-time thread; `planar`: a buffer for
/// each channel, else the two interleaved. The stream's loop must be locked. pw_stream_connect's
/// result: 0, or a negative error number.
int connectStereo(pw_stream* stream, bool playback, bool planar, std::uint32_t rate);

class PipeWireOutput : public AudioOutput {
 public:
  /// Connects to the PipeWire of this session (PIPEWIRE_REMOTE, PIPEWIRE_RUNTIME_DIR or
  /// XDG_RUNTIME_DIR) and plays to its default sink. Nothing, with `why`, when it does not
  /// answer or no sink takes the stream within a few seconds.
  static std::unique_ptr<PipeWireOutput> open(double sampleRate, int bufferFrames, Render render,
                                              Notice notice, std::string& why);
  ~PipeWireOutput() override;

  PipeWireOutput(const PipeWireOutput&) = delete;
  PipeWireOutput& operator=(const PipeWireOutput&) = delete;

  bool resize(int bufferFrames) override;
  Status status() override;
  bool alive() override { return !lost_.load(); }

  /// The cycle asked of the graph for a buffer: a note waits up to a cycle for its turn and
  /// then up to about a cycle in the device, so half the buffer; never less than
  /// kLeastPipeWireCycle.
  static int cycleFor(int bufferFrames);

 private:
  PipeWireOutput() = default;
  /// In the graph's real-time thread: renders one cycle.
  void process();
  bool waitFor(bool (*done)(PipeWireOutput&), double seconds);

  struct Hooks;
  std::unique_ptr<Hooks> hooks_;
  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  Render render_;
  Notice notice_;
  double rate_ = 48000;
  std::string server_;
  bool coreDone_ = false;
  int coreSync_ = -1;
  std::string coreError_;
  int state_ = 0;  ///< the stream's pw_stream_state
  std::string streamError_;
  std::atomic<bool> lost_{false};  ///< the server went away, or the stream failed

  /// The graph's clock as the stream sees it, set by the main loop, read in each cycle.
  std::atomic<spa_io_position*> positionArea_{nullptr};
  CycleWatch watch_;  ///< touched only in the real-time thread
  // Written by the real-time thread, read by status().
  std::atomic<int> cycleFrames_{0};
  std::atomic<double> graphRate_{0};
  std::atomic<double> delayMs_{0};
};

}  // namespace tastrello
