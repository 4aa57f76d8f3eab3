// The microphone through PipeWire's own streams: a capture stream whose process runs in the
// graph's real-time thread and hands each cycle's samples over as they come, with the graph's
// moment for them; the sources are the graph's Audio/Source nodes.
#pragma once

#include <atomic>
#include <memory>

#include "platform/sound_in.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;
struct pw_buffer;

namespace tastrello {

class PipeWireCapture : public SoundIn, public SoundSources {
 public:
  PipeWireCapture();
  ~PipeWireCapture() override;
  PipeWireCapture(const PipeWireCapture&) = delete;
  PipeWireCapture& operator=(const PipeWireCapture&) = delete;

  std::string open(const std::string& name, int sampleRate, Deliver deliver) override;
  void close() override;
  double latencyMs() override { return latencyMs_.load(); }
  std::vector<SoundSource> list(std::string& why) override;

 private:
  struct Hooks;
  /// The loop, context and core: "" or why not.
  std::string connect();
  /// In the graph's real-time thread: the cycle's samples.
  void process();
  void deliverBuffer(pw_buffer* buffer);
  bool waitFor(bool (*done)(PipeWireCapture&), double seconds);

  std::unique_ptr<Hooks> hooks_;
  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  Deliver deliver_;
  int rate_ = 48000;
  int state_ = 0;  ///< the stream's pw_stream_state
  std::string streamError_;
  std::atomic<double> latencyMs_{0};
  // Listing: the core's answer to a sync, and what the registry announced before it.
  int listSync_ = -1;
  bool listDone_ = false;
  std::vector<SoundSource> listed_;
};

}  // namespace tastrello
