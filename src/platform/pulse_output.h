// The built-in synthesizer's own PulseAudio output. FluidSynth's PulseAudio driver asks the
// server for a buffer of one period and renders a whole period per write, so a larger buffer
// also meant a longer wait before a new note was rendered, and it never learns that the sound
// ran dry. Here the buffer the server holds (which keeps the sound from running dry) and the
// block rendered per request (which bounds how long a new note waits) are chosen apart, and
// the server's word that the stream ran dry is passed on.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

namespace tastrello {

class PulseOutput {
 public:
  /// Fills the two buffers with `frames` frames; `at` is the time at which, had this block
  /// been asked for alone, it would have been asked for (see write()).
  using Render = std::function<void(float* left, float* right, int frames,
                                    std::chrono::steady_clock::time_point at)>;

  /// Connects to the default server and sink. Nothing, with `why`, when none answers.
  /// `underflow` runs in the audio thread each time the server had nothing left to play.
  static std::unique_ptr<PulseOutput> open(double sampleRate, int blockFrames, int bufferFrames,
                                           Render render, std::function<void()> underflow,
                                           std::string& why);
  ~PulseOutput();

  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

 private:
  PulseOutput() = default;
  /// In the main loop's thread: the server asks for `bytes`.
  void write(std::size_t bytes);

  pa_threaded_mainloop* loop_ = nullptr;
  pa_context* context_ = nullptr;
  pa_stream* stream_ = nullptr;
  Render render_;
  std::function<void()> underflow_;
  int blockFrames_ = 0;
  double rate_ = 48000;
  bool prioritySet_ = false;
  std::vector<float> left_, right_, both_;
};

}  // namespace tastrello
