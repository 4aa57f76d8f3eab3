#include "platform/pipewire_output.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>
#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace tastrello {

namespace {

constexpr double kConnectSeconds = 3;  ///< for the server, and for a sink to take the stream

/// The node latency that asks the graph for cycles of `frames` at `rate`.
std::string nodeLatency(int frames, double rate) {
  return std::to_string(frames) + "/" + std::to_string(static_cast<int>(rate));
}

std::int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int severity(CycleWatch::Verdict v) {
  return v == CycleWatch::Verdict::Missed ? 2 : v == CycleWatch::Verdict::Late ? 1 : 0;
}

}  // namespace

CycleWatch::Verdict CycleWatch::cycle(std::uint32_t id, std::uint64_t position,
                                      std::uint64_t duration, double rate, std::int64_t cycleNs,
                                      std::int64_t nowNs) {
  // A new clock, or one set back, is measured afresh from here.
  const bool fresh = !started_ || id != clock_ || position < next_;
  const bool skipped = !fresh && position > next_;
  started_ = true;
  clock_ = id;
  next_ = position + duration;
  const double periodNs = rate > 0 ? double(duration) * 1e9 / rate : 0;
  const double lateNs = double(nowNs - cycleNs);
  Verdict v = Verdict::OnTime;
  if (skipped || (periodNs > 0 && lateNs > periodNs))
    v = Verdict::Missed;
  else if (periodNs > 0 && lateNs > periodNs / 2)
    v = Verdict::Late;
  // A run of troubled cycles (a stall the graph catches up on, say) is told once, and again
  // only when it grows worse.
  const Verdict told = severity(v) > severity(last_) ? v : Verdict::OnTime;
  last_ = v;
  return told;
}

/// The C callbacks, with the hooks PipeWire keeps them by.
struct PipeWireOutput::Hooks {
  spa_hook core{};
  spa_hook stream{};
  pw_core_events coreEvents{};
  pw_stream_events streamEvents{};

  Hooks() {
    coreEvents.version = PW_VERSION_CORE_EVENTS;
    coreEvents.info = [](void* data, const pw_core_info* info) {
      // Taken while the output opens; status() reads it unlocked afterwards.
      auto* self = static_cast<PipeWireOutput*>(data);
      if (info && info->version && self->server_.empty())
        self->server_ = std::string("PipeWire ") + info->version;
    };
    coreEvents.done = [](void* data, std::uint32_t id, int seq) {
      auto* self = static_cast<PipeWireOutput*>(data);
      if (id == PW_ID_CORE && seq == self->coreSync_) self->coreDone_ = true;
      pw_thread_loop_signal(self->loop_, false);
    };
    coreEvents.error = [](void* data, std::uint32_t id, int, int res, const char* message) {
      auto* self = static_cast<PipeWireOutput*>(data);
      if (id == PW_ID_CORE) {
        // At the start the reason why not; later, the server went away (or broke with us).
        self->coreError_ = message ? message : std::strerror(-res);
        self->lost_ = true;
        pw_thread_loop_signal(self->loop_, false);
      }
    };
    streamEvents.version = PW_VERSION_STREAM_EVENTS;
    streamEvents.state_changed = [](void* data, pw_stream_state, pw_stream_state state,
                                    const char* error) {
      auto* self = static_cast<PipeWireOutput*>(data);
      self->state_ = state;
      if (error) self->streamError_ = error;
      if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)
        self->lost_ = true;
      pw_thread_loop_signal(self->loop_, false);
    };
    streamEvents.io_changed = [](void* data, std::uint32_t id, void* area, std::uint32_t size) {
      if (id != SPA_IO_Position) return;
      auto* self = static_cast<PipeWireOutput*>(data);
      self->positionArea_.store(
          area && size >= sizeof(spa_io_position) ? static_cast<spa_io_position*>(area) : nullptr);
    };
    streamEvents.process = [](void* data) { static_cast<PipeWireOutput*>(data)->process(); };
  }
};

int connectStereo(pw_stream* stream, bool playback, bool planar, std::uint32_t rate) {
  spa_audio_info_raw format{};
  format.format = planar ? SPA_AUDIO_FORMAT_F32P : SPA_AUDIO_FORMAT_F32;
  format.rate = rate;
  format.channels = 2;
  format.position[0] = SPA_AUDIO_CHANNEL_FL;
  format.position[1] = SPA_AUDIO_CHANNEL_FR;
  std::uint8_t podBytes[1024];
  spa_pod_builder builder{};
  spa_pod_builder_init(&builder, podBytes, sizeof podBytes);
  const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
  const auto flags = static_cast<pw_stream_flags>(
      PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS | PW_STREAM_FLAG_RT_PROCESS);
  return pw_stream_connect(stream, playback ? PW_DIRECTION_OUTPUT : PW_DIRECTION_INPUT,
                           PW_ID_ANY, flags, params, 1);
}

int PipeWireOutput::cycleFor(int bufferFrames) {
  return std::max(kLeastPipeWireCycle, bufferFrames / 2);
}

bool PipeWireOutput::waitFor(bool (*done)(PipeWireOutput&), double seconds) {
  timespec until{};
  pw_thread_loop_get_time(loop_, &until, static_cast<std::int64_t>(seconds * 1e9));
  while (!done(*this))
    if (pw_thread_loop_timed_wait_full(loop_, &until) != 0) return done(*this);
  return true;
}

std::unique_ptr<PipeWireOutput> PipeWireOutput::open(double sampleRate, int bufferFrames,
                                                     Render render, Notice notice,
                                                     std::string& why) {
  pw_init(nullptr, nullptr);
  std::unique_ptr<PipeWireOutput> out(new PipeWireOutput());
  out->render_ = std::move(render);
  out->notice_ = std::move(notice);
  out->rate_ = sampleRate;
  out->hooks_ = std::make_unique<Hooks>();
  out->loop_ = pw_thread_loop_new("tastrello-pipewire", nullptr);
  if (!out->loop_) {
    why = "no PipeWire main loop";
    return nullptr;
  }
  // The client configuration that gives the stream's thread real-time priority where the
  // system allows it.
  out->context_ = pw_context_new(pw_thread_loop_get_loop(out->loop_),
                                 pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr),
                                 0);
  if (!out->context_ || pw_thread_loop_start(out->loop_) < 0) {
    why = "PipeWire could not be set up";
    return nullptr;
  }
  pw_thread_loop_lock(out->loop_);
  const auto fail = [&](std::string reason) {
    why = std::move(reason);
    pw_thread_loop_unlock(out->loop_);
    return nullptr;
  };
  out->core_ = pw_context_connect(out->context_, nullptr, 0);
  if (!out->core_) return fail(std::string("PipeWire does not answer: ") + std::strerror(errno));
  pw_core_add_listener(out->core_, &out->hooks_->core, &out->hooks_->coreEvents, out.get());
  out->coreSync_ = pw_core_sync(out->core_, PW_ID_CORE, 0);
  if (!out->waitFor([](PipeWireOutput& o) { return o.coreDone_ || !o.coreError_.empty(); },
                    kConnectSeconds) ||
      !out->coreError_.empty())
    return fail("PipeWire does not answer: " +
                (out->coreError_.empty() ? std::string("no reply") : out->coreError_));
  if (out->server_.empty()) out->server_ = std::string("PipeWire ") + pw_get_library_version();

  const std::string latency = nodeLatency(cycleFor(bufferFrames), sampleRate);
  pw_properties* props = pw_properties_new(
      PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE, "Music",
      PW_KEY_APP_NAME, "Tastrello", PW_KEY_NODE_NAME, "tastrello", PW_KEY_NODE_DESCRIPTION,
      "Tastrello", PW_KEY_MEDIA_NAME, "Built-in synthesizer", PW_KEY_NODE_LATENCY,
      latency.c_str(), nullptr);
  out->stream_ = pw_stream_new(out->core_, "Built-in synthesizer", props);
  if (!out->stream_) return fail(std::string("no PipeWire stream: ") + std::strerror(errno));
  pw_stream_add_listener(out->stream_, &out->hooks_->stream, &out->hooks_->streamEvents,
                         out.get());

  // Planar: the synthesizer renders each channel straight into its buffer. Connecting until
  // the stream says otherwise.
  out->state_ = PW_STREAM_STATE_CONNECTING;
  if (const int error = connectStereo(out->stream_, true, true, std::uint32_t(sampleRate));
      error < 0)
    return fail(std::string("the PipeWire stream did not connect: ") + std::strerror(-error));
  // Streaming once a sink took it; a desktop without any sink leaves it waiting.
  const bool streaming = out->waitFor(
      [](PipeWireOutput& o) {
        return o.state_ == PW_STREAM_STATE_STREAMING || o.state_ == PW_STREAM_STATE_ERROR ||
               o.state_ == PW_STREAM_STATE_UNCONNECTED;
      },
      kConnectSeconds);
  if (!streaming || out->state_ != PW_STREAM_STATE_STREAMING)
    return fail(out->streamError_.empty() ? "no PipeWire sink took the stream"
                                          : "PipeWire: " + out->streamError_);
  pw_thread_loop_unlock(out->loop_);
  return out;
}

PipeWireOutput::~PipeWireOutput() {
  if (!loop_) return;
  pw_thread_loop_lock(loop_);
  // Destroying the stream takes it out of the real-time thread before anything it renders
  // with goes.
  if (stream_) pw_stream_destroy(stream_);
  if (core_) pw_core_disconnect(core_);
  pw_thread_loop_unlock(loop_);
  pw_thread_loop_stop(loop_);
  if (context_) pw_context_destroy(context_);
  pw_thread_loop_destroy(loop_);
}

bool PipeWireOutput::resize(int bufferFrames) {
  const std::string latency = nodeLatency(cycleFor(bufferFrames), rate_);
  const spa_dict_item item{PW_KEY_NODE_LATENCY, latency.c_str()};
  const spa_dict dict{0, 1, &item};
  pw_thread_loop_lock(loop_);
  // The graph takes the new cycle at one of its cycles' ends: the sound goes on.
  pw_stream_update_properties(stream_, &dict);
  pw_thread_loop_unlock(loop_);
  return true;
}

AudioOutput::Status PipeWireOutput::status() {
  Status s;
  s.server = server_;
  const int cycle = cycleFrames_.load();
  const double graphRate = graphRate_.load();
  if (cycle <= 0 || graphRate <= 0) return s;
  s.cycleFrames = cycle;
  const double cycleMs = 1000.0 * cycle / graphRate;
  const double delayMs = delayMs_.load();
  // A note waits for the next cycle, half of one on average, and then the device's delay.
  s.latencyMs = cycleMs / 2 + delayMs;
  s.framesInForce = static_cast<int>(std::lround((cycleMs + delayMs) * rate_ / 1000.0));
  return s;
}

void PipeWireOutput::process() {
  pw_buffer* b = pw_stream_dequeue_buffer(stream_);
  if (!b) return;
  const std::int64_t nowNs = monotonicNs();
  spa_buffer* buf = b->buffer;
  if (const spa_io_position* position = positionArea_.load()) {
    const spa_io_clock& clock = position->clock;
    const double rate = clock.rate.num > 0 ? double(clock.rate.denom) / clock.rate.num : rate_;
    const CycleWatch::Verdict v = watch_.cycle(clock.id, clock.position, clock.duration, rate,
                                               std::int64_t(clock.nsec), nowNs);
    cycleFrames_.store(static_cast<int>(clock.duration));
    graphRate_.store(rate);
    if (v != CycleWatch::Verdict::OnTime && notice_)
      notice_(v == CycleWatch::Verdict::Late ? Event::LateWrite : Event::Silence);
  }
  // When this cycle is heard: the graph's moment for it (on the monotonic clock, which is the
  // steady clock's) and the delay of everything between the stream and the device.
  pw_time time{};
#if PW_CHECK_VERSION(0, 3, 50)
  pw_stream_get_time_n(stream_, &time, sizeof time);
  const double buffered = double(time.buffered);  // in the resampler, at the stream's rate
#else
  // Before 0.3.50 (Ubuntu 22.04) the delay of an output stream is told as a negative number.
  pw_stream_get_time(stream_, &time);
  time.delay = time.delay < 0 ? -time.delay : time.delay;
  const double buffered = 0;
#endif
  const double tickNs =
      time.rate.denom > 0 ? 1e9 * time.rate.num / time.rate.denom : 1e9 / rate_;
  const double delayNs = double(time.delay) * tickNs + buffered * 1e9 / rate_;
  delayMs_.store(delayNs / 1e6);
  const std::int64_t cycleNs = time.now > 0 ? time.now : nowNs;
  const Clock::time_point heardAt{
      std::chrono::nanoseconds(cycleNs + static_cast<std::int64_t>(delayNs))};

  if (buf->n_datas < 2 || !buf->datas[0].data || !buf->datas[1].data) {
    pw_stream_queue_buffer(stream_, b);
    return;
  }
  const std::uint32_t room =
      std::min(buf->datas[0].maxsize, buf->datas[1].maxsize) / std::uint32_t(sizeof(float));
#if PW_CHECK_VERSION(0, 3, 49)
  std::uint64_t wanted = b->requested;  // what the resampler needs, where there is one
#else
  std::uint64_t wanted = 0;
#endif
  if (wanted == 0) wanted = std::uint64_t(std::max(1, cycleFrames_.load()));
  const auto frames = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, room));
  render_(static_cast<float*>(buf->datas[0].data), static_cast<float*>(buf->datas[1].data),
          static_cast<int>(frames), heardAt);
  for (std::uint32_t i = 0; i < 2; ++i) {
    buf->datas[i].chunk->offset = 0;
    buf->datas[i].chunk->stride = sizeof(float);
    buf->datas[i].chunk->size = frames * std::uint32_t(sizeof(float));
  }
  pw_stream_queue_buffer(stream_, b);
}

}  // namespace tastrello
