#include "platform/pulse_output.h"

#include <pthread.h>
#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <sched.h>
#include <sys/time.h>

#include <algorithm>
#include <cstdint>

namespace tastrello {

namespace {

constexpr std::uint32_t kFrameBytes = 8;  // stereo float

bool settled(pa_context_state_t s) {
  return s == PA_CONTEXT_READY || s == PA_CONTEXT_FAILED || s == PA_CONTEXT_TERMINATED;
}

bool settled(pa_stream_state_t s) {
  return s == PA_STREAM_READY || s == PA_STREAM_FAILED || s == PA_STREAM_TERMINATED;
}

/// A PulseAudio main loop and context of its own, connected to the default server. The loop
/// is left locked when `open` succeeds.
struct Connection {
  pa_threaded_mainloop* loop = nullptr;
  pa_context* context = nullptr;

  bool open(std::string& why) {
    loop = pa_threaded_mainloop_new();
    if (!loop) {
      why = "no PulseAudio main loop";
      return false;
    }
    context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Tastrello");
    pa_context_set_state_callback(
        context,
        [](pa_context*, void* l) {
          pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(l), 0);
        },
        loop);
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(loop) < 0) {
      why = pa_strerror(pa_context_errno(context));
      return false;
    }
    pa_threaded_mainloop_lock(loop);
    while (!settled(pa_context_get_state(context))) pa_threaded_mainloop_wait(loop);
    if (pa_context_get_state(context) != PA_CONTEXT_READY) {
      why = pa_strerror(pa_context_errno(context));
      pa_threaded_mainloop_unlock(loop);
      return false;
    }
    return true;
  }

  /// Which server answered (the loop locked).
  PulseOutput::Server server() {
    struct Reply {
      pa_threaded_mainloop* loop;
      std::string name, version;
      bool done = false;
    } reply{loop, {}, {}};
    if (pa_operation* op = pa_context_get_server_info(
            context,
            [](pa_context*, const pa_server_info* i, void* data) {
              auto* r = static_cast<Reply*>(data);
              if (i) {
                r->name = i->server_name ? i->server_name : "";
                r->version = i->server_version ? i->server_version : "";
              }
              r->done = true;
              pa_threaded_mainloop_signal(r->loop, 0);
            },
            &reply)) {
      while (!reply.done && pa_operation_get_state(op) == PA_OPERATION_RUNNING)
        pa_threaded_mainloop_wait(loop);
      pa_operation_unref(op);
    }
    // pipewire-pulse names itself "PulseAudio (on PipeWire 0.3.65)".
    PulseOutput::Server server;
    const auto onPipeWire = reply.name.find("on PipeWire ");
    server.pipeWire = onPipeWire != std::string::npos;
    if (server.pipeWire) {
      std::string version = reply.name.substr(onPipeWire + 12);
      if (!version.empty() && version.back() == ')') version.pop_back();
      server.name = "PipeWire " + version + " (pulse)";
    } else {
      server.name = "PulseAudio " + reply.version;
    }
    return server;
  }

  /// Ends the loop and lets the context go; the stream, if any, must be gone before.
  void close() {
    if (loop) pa_threaded_mainloop_stop(loop);
    if (context) {
      pa_context_disconnect(context);
      pa_context_unref(context);
    }
    if (loop) pa_threaded_mainloop_free(loop);
    loop = nullptr;
    context = nullptr;
  }
};

std::uint32_t bytes(int frames) {
  return static_cast<std::uint32_t>(frames) * kFrameBytes;
}

}  // namespace

PulseOutput::Attributes PulseOutput::attributesFor(int bufferFrames, int blockFrames,
                                                   bool pipeWire) {
  Attributes a;
  if (!pipeWire) {
    // PulseAudio adjusts the sink's latency to the stream's: the buffer is the latency.
    a.tlength = bufferFrames;
    a.minreq = blockFrames;
    return a;
  }
  // pipewire-pulse asks for at least 256 frames at a time, and splits the buffer of a stream
  // that adjusts its latency into its node's latency (its cycle), (tlength - 2 x minreq) / 2,
  // and the rest, which it holds for the stream.
  a.minreq = std::max(blockFrames, 256);
  a.tlength = std::max(bufferFrames, 2 * kLeastPipeWireCycle + 2 * a.minreq);
  return a;
}

std::unique_ptr<PulseOutput> PulseOutput::open(double sampleRate, int blockFrames, int bufferFrames,
                                               Render render, Notice notice, std::string& why) {
  std::unique_ptr<PulseOutput> out(new PulseOutput());
  out->render_ = std::move(render);
  out->notice_ = std::move(notice);
  out->blockFrames_ = blockFrames;
  out->rate_ = sampleRate;
  Connection connection;
  const bool connected = connection.open(why);
  out->loop_ = connection.loop;
  out->context_ = connection.context;
  if (!connected) return nullptr;
  // Which server answers decides the buffer attributes (see attributesFor).
  const Server server = connection.server();
  out->pipeWire_ = server.pipeWire;
  out->server_ = server.name;

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
      [](pa_stream*, std::size_t n, void* self) { static_cast<PulseOutput*>(self)->write(n); },
      out.get());
  pa_stream_set_underflow_callback(
      out->stream_,
      [](pa_stream*, void* self) {
        auto* output = static_cast<PulseOutput*>(self);
        ++output->underflowsSinceTiming_;
        if (output->notice_) output->notice_(Event::Underflow);
      },
      out.get());
  pa_stream_set_latency_update_callback(
      out->stream_, [](pa_stream*, void* self) { static_cast<PulseOutput*>(self)->timingUpdated(); },
      out.get());
  const Attributes wanted = attributesFor(bufferFrames, blockFrames, out->pipeWire_);
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = bytes(wanted.tlength);  // what keeps the sound from running dry
  attr.minreq = bytes(wanted.minreq);    // asked for little at a time: a new note waits little
  attr.prebuf = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);
  auto flags = PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING;
  if (wanted.adjustLatency) flags |= PA_STREAM_ADJUST_LATENCY;
  if (pa_stream_connect_playback(out->stream_, nullptr, &attr, static_cast<pa_stream_flags_t>(flags),
                                 nullptr, nullptr) < 0) {
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

std::optional<PulseOutput::Server> PulseOutput::answering() {
  Connection connection;
  std::string why;
  std::optional<Server> server;
  if (connection.open(why)) {
    server = connection.server();
    pa_threaded_mainloop_unlock(connection.loop);
  }
  connection.close();
  return server;
}

PulseOutput::~PulseOutput() {
  if (loop_) pa_threaded_mainloop_stop(loop_);
  if (stream_) {
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
  }
  Connection{loop_, context_}.close();
}

bool PulseOutput::resize(int bufferFrames) {
  const Attributes wanted = attributesFor(bufferFrames, blockFrames_, pipeWire_);
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<std::uint32_t>(-1);
  attr.tlength = bytes(wanted.tlength);
  attr.minreq = bytes(wanted.minreq);
  attr.prebuf = static_cast<std::uint32_t>(-1);
  attr.fragsize = static_cast<std::uint32_t>(-1);
  struct Done {
    pa_threaded_mainloop* loop;
    bool done = false;
    bool ok = false;
  } done{loop_};
  pa_threaded_mainloop_lock(loop_);
  pa_operation* op = pa_stream_set_buffer_attr(
      stream_, &attr,
      [](pa_stream*, int success, void* data) {
        auto* d = static_cast<Done*>(data);
        d->ok = success != 0;
        d->done = true;
        pa_threaded_mainloop_signal(d->loop, 0);
      },
      &done);
  if (op) {
    while (!done.done && pa_operation_get_state(op) == PA_OPERATION_RUNNING)
      pa_threaded_mainloop_wait(loop_);
    pa_operation_unref(op);
  }
  // The playback's pace starts afresh with the new buffer.
  tracking_ = false;
  pa_threaded_mainloop_unlock(loop_);
  return done.ok;
}

double PulseOutput::latencyNowMs() {
  pa_usec_t usec = 0;
  int negative = 0;
  if (pa_stream_get_latency(stream_, &usec, &negative) != 0) return 0;
  return negative ? 0 : double(usec) / 1000.0;
}

PulseOutput::Status PulseOutput::status() {
  Status s;
  s.server = server_;
  pa_threaded_mainloop_lock(loop_);
  s.latencyMs = latencyNowMs();
  if (const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream_)) {
    const int tlength = static_cast<int>(attr->tlength / kFrameBytes);
    const int minreq = static_cast<int>(attr->minreq / kFrameBytes);
    if (pipeWire_) {
      // A note waits for the bridge's next request, half a cycle on average, and is then
      // played after the tlength frames it holds (see write).
      s.cycleFrames = bridgeCycle(tlength, minreq);
      s.framesInForce = s.cycleFrames + tlength;
      s.latencyMs = 1000.0 * (s.cycleFrames / 2.0 + tlength) / rate_;
    } else {
      // PulseAudio splits the buffer between the stream's own (tlength) and the sink's.
      const pa_timing_info* t = pa_stream_get_timing_info(stream_);
      const int sinkFrames =
          t ? static_cast<int>(double(t->configured_sink_usec) * rate_ / 1e6 + 0.5) : 0;
      s.framesInForce = tlength + sinkFrames;
    }
  }
  pa_threaded_mainloop_unlock(loop_);
  return s;
}

bool PulseOutput::alive() {
  pa_threaded_mainloop_lock(loop_);
  const bool ready = pa_context_get_state(context_) == PA_CONTEXT_READY &&
                     pa_stream_get_state(stream_) == PA_STREAM_READY;
  pa_threaded_mainloop_unlock(loop_);
  return ready;
}

int PulseOutput::bridgeCycle(int tlength, int minreq) {
  // pipewire-pulse keeps tlength at the cycle and two requests (see attributesFor).
  return tlength > 2 * minreq ? tlength - 2 * minreq : minreq;
}

void PulseOutput::timingUpdated() {
  const pa_timing_info* t = pa_stream_get_timing_info(stream_);
  if (!t || t->read_index_corrupt || !t->playing) {
    tracking_ = false;
    return;
  }
  // The moment the timing was current, on the steady clock: the reply may reach this thread
  // late on a busy machine, and that must not look like a lag of the playback.
  timeval now{};
  gettimeofday(&now, nullptr);
  const auto age = std::chrono::microseconds(std::max<long long>(
      0, static_cast<long long>(pa_timeval_diff(&now, &t->timestamp))));
  const Clock::time_point at = Clock::now() - age;
  const long long played = t->read_index / static_cast<long long>(kFrameBytes);
  const int underflows = underflowsSinceTiming_;
  underflowsSinceTiming_ = 0;
  if (!tracking_ || underflows > 0) {
    // A told underflow is counted as such; the pace is measured afresh from here.
    tracking_ = true;
    playedFrom_ = played;
    trackedFrom_ = at;
    lag_.reset();
    return;
  }
  const double passedMs = std::chrono::duration<double, std::milli>(at - trackedFrom_).count();
  const double lag = passedMs - double(played - playedFrom_) * 1000.0 / rate_;
  if (lag_.fellSilent(lag) && notice_) notice_(Event::Silence);
}

void PulseOutput::write(std::size_t n) {
  if (!prioritySet_) {
    // As FluidSynth does for its own audio thread; refused without the right to it.
    prioritySet_ = true;
    sched_param priority{};
    priority.sched_priority = 60;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &priority);
  }
  const auto frames = static_cast<int>(n / kFrameBytes);
  // What is still to be played when the server asks: a frame written now is heard that much
  // later. Before the first timing update the server's buffer stands in for it; on PipeWire
  // it always does, as the bridge's timing drifts: it asks just after a cycle took its frames,
  // and a frame written then plays after the rest of the tlength frames it holds and the
  // cycle until they begin to play, tlength frames in all.
  const auto now = Clock::now();
  const double measuredMs = latencyNowMs();
  const bool measured = measuredMs > 0;
  if (measured && measuredMs < kLateMs && notice_) notice_(Event::LateWrite);
  double aheadMs = measuredMs;
  if (!measured || pipeWire_) {
    const pa_buffer_attr* attr = pa_stream_get_buffer_attr(stream_);
    aheadMs = attr ? 1000.0 * (attr->tlength / kFrameBytes) / rate_ : 0;
  }
  left_.resize(std::size_t(blockFrames_));
  right_.resize(std::size_t(blockFrames_));
  both_.resize(2 * std::size_t(frames));
  for (int done = 0; done < frames; done += blockFrames_) {
    const int count = std::min(blockFrames_, frames - done);
    const auto heardAt = now + std::chrono::nanoseconds(static_cast<long long>(
                                   (aheadMs / 1000.0 + double(done) / rate_) * 1e9));
    render_(left_.data(), right_.data(), count, heardAt);
    for (int i = 0; i < count; ++i) {
      both_[2 * std::size_t(done + i)] = left_[std::size_t(i)];
      both_[2 * std::size_t(done + i) + 1] = right_[std::size_t(i)];
    }
  }
  pa_stream_write(stream_, both_.data(), both_.size() * sizeof(float), nullptr, 0,
                  PA_SEEK_RELATIVE);
}

}  // namespace tastrello
