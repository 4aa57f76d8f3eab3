#include "platform/pulse_output.h"

#include <pthread.h>
#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdint>

namespace tastrello {

namespace {

bool settled(pa_context_state_t s) {
  return s == PA_CONTEXT_READY || s == PA_CONTEXT_FAILED || s == PA_CONTEXT_TERMINATED;
}

bool settled(pa_stream_state_t s) {
  return s == PA_STREAM_READY || s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED;
}

}  // namespace

std::unique_ptr<PulseOutput> PulseOutput::open(double sampleRate, int blockFrames, int bufferFrames,
                                               Render render, std::function<void()> underflow,
                                               std::string& why) {
  std::unique_ptr<PulseOutput> out(new PulseOutput());
  out->render_ = std::move(render);
  out->underflow_ = std::move(underflow);
  out->blockFrames_ = blockFrames;
  out->rate_ = sampleRate;
  out->loop_ = pa_threaded_mainloop_new();
  if (!out->loop_) {
    why = "no PulseAudio main loop";
    return nullptr;
  }
  out->context_ = pa_context_new(pa_threaded_mainloop_get_api(out->loop_), "Tastrello");
  pa_context_set_state_callback(
      out->context_,
      [](pa_context*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
      },
      out->loop_);
  if (pa_context_connect(out->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
      pa_threaded_mainloop_start(out->loop_) < 0) {
    why = pa_strerror(pa_context_errno(out->context_));
    return nullptr;
  }
  pa_threaded_mainloop_lock(out->loop_);
  while (!settled(pa_context_get_state(out->context_))) pa_threaded_mainloop_wait(out->loop_);
  if (pa_context_get_state(out->context_) != PA_CONTEXT_READY) {
    why = pa_strerror(pa_context_errno(out->context_));
    pa_threaded_mainloop_unlock(out->loop_);
    return nullptr;
  }
  const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(sampleRate), 2};
  out->stream_ = pa_stream_new(out->context_, "Built-in synthesizer", &format, nullptr);
  pa_stream_set_state_callback(
      out->stream_,
      [](pa_stream*, void* loop) {
        pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0);
      },
      out->loop_);
  pa_stream_set_write_callback(
      out->stream_,
      [](pa_stream*, std::size_t bytes, void* self) {
        static_cast<PulseOutput*>(self)->write(bytes);
      },
      out.get());
  pa_stream_set_underflow_callback(
      out->stream_,
      [](pa_stream*, void* self) {
        auto* output = static_cast<PulseOutput*>(self);
        if (output->underflow_) output->underflow_();
      },
      out.get());
  const auto bytes = [](int frames) { return static_cast<std::uint32_t>(frames) * 8u; };
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = bytes(bufferFrames);  // the latency: what keeps the sound from running dry
  attr.minreq = bytes(blockFrames);    // asked for a block at a time: a new note waits little
  attr.prebuf = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);
  const auto flags = static_cast<pa_stream_flags_t>(
      PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING);
  if (pa_stream_connect_playback(out->stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
    why = pa_strerror(pa_context_errno(out->context_));
    pa_threaded_mainloop_unlock(out->loop_);
    return nullptr;
  }
  while (!settled(pa_stream_get_state(out->stream_))) pa_threaded_mainloop_wait(out->loop_);
  const bool ready = pa_stream_get_state(out->stream_) == PA_STREAM_READY;
  if (!ready) why = pa_strerror(pa_context_errno(out->context_));
  pa_threaded_mainloop_unlock(out->loop_);
  if (!ready) return nullptr;
  return out;
}

PulseOutput::~PulseOutput() {
  if (loop_) pa_threaded_mainloop_stop(loop_);
  if (stream_) {
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
  }
  if (context_) {
    pa_context_disconnect(context_);
    pa_context_unref(context_);
  }
  if (loop_) pa_threaded_mainloop_free(loop_);
}

void PulseOutput::write(std::size_t bytes) {
  if (!prioritySet_) {
    // As FluidSynth does for its own audio thread; refused without the right to it.
    prioritySet_ = true;
    sched_param priority{};
    priority.sched_priority = 60;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
  }
  const auto frames = static_cast<int>(bytes / 8);
  const auto now = std::chrono::steady_clock::now();
  left_.resize(std::size_t(blockFrames_));
  right_.resize(std::size_t(blockFrames_));
  both_.resize(2 * std::size_t(frames));
  // The blocks asked for now go to the end of what the server holds; each gets the time at
  // which it would have been asked for alone, so that its place in the sound and its time
  // keep one distance.
  for (int done = 0; done < frames; done += blockFrames_) {
    const int n = std::min(blockFrames_, frames - done);
    const auto ahead = std::chrono::nanoseconds(
        static_cast<long long>(double(frames - done - blockFrames_) * 1e9 / rate_));
    render_(left_.data(), right_.data(), n, now - ahead);
    for (int i = 0; i < n; ++i) {
      both_[2 * std::size_t(done + i)] = left_[std::size_t(i)];
      both_[2 * std::size_t(done + i) + 1] = right_[std::size_t(i)];
    }
  }
  pa_stream_write(stream_, both_.data(), both_.size() * sizeof(float), nullptr, 0,
                  PA_SEEK_RELATIVE);
}

}  // namespace tastrello
