#include "platform/pipewire_capture.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>
#include <spa/pod/builder.h>
#include <spa/utils/result.h>

#include <cerrno>
#include <cmath>
#include <cstring>

namespace tastrello {

namespace {

constexpr double kConnectSeconds = 3;  ///< for the server, and for a source to feed the stream
/// The cycle asked for: about 5 ms, what a verdict waits at most for its sound.
constexpr int kCycleFrames = 256;
const std::string kMonitor = ".monitor";

}  // namespace

struct PipeWireCapture::Hooks {
  spa_hook stream{}, core{}, registry{};
  pw_stream_events streamEvents{};
  pw_core_events coreEvents{};
  pw_registry_events registryEvents{};
  pw_registry* registryProxy = nullptr;

  Hooks() {
    streamEvents.version = PW_VERSION_STREAM_EVENTS;
    streamEvents.state_changed = [](void* data, pw_stream_state, pw_stream_state state, const char* error) {
      auto* self = static_cast<PipeWireCapture*>(data);
      self->state_ = state;
      if (error) self->streamError_ = error;
      pw_thread_loop_signal(self->loop_, false);
    };
    streamEvents.process = [](void* data) { static_cast<PipeWireCapture*>(data)->process(); };
    coreEvents.version = PW_VERSION_CORE_EVENTS;
    coreEvents.done = [](void* data, std::uint32_t id, int seq) {
      auto* self = static_cast<PipeWireCapture*>(data);
      if (id == PW_ID_CORE && seq == self->listSync_) self->listDone_ = true;
      pw_thread_loop_signal(self->loop_, false);
    };
    registryEvents.version = PW_VERSION_REGISTRY_EVENTS;
    registryEvents.global = [](void* data, std::uint32_t, std::uint32_t, const char* type, std::uint32_t,
                               const spa_dict* props) {
      auto* self = static_cast<PipeWireCapture*>(data);
      if (!props || std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0) return;
      const char* kind = spa_dict_lookup(props, PW_KEY_MEDIA_CLASS);
      // Microphones and line inputs, and virtual sources made of them ("Audio/Source/Virtual").
      if (!kind || std::strncmp(kind, "Audio/Source", 12) != 0) return;
      const char* name = spa_dict_lookup(props, PW_KEY_NODE_NAME);
      const char* description = spa_dict_lookup(props, PW_KEY_NODE_DESCRIPTION);
      if (name) self->listed_.push_back({name, description ? description : name});
    };
  }
};

PipeWireCapture::PipeWireCapture() : hooks_(std::make_unique<Hooks>()) {
  pw_init(nullptr, nullptr);
}

PipeWireCapture::~PipeWireCapture() {
  close();
  if (!loop_) return;
  pw_thread_loop_lock(loop_);
  if (hooks_->registryProxy) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(hooks_->registryProxy));
  if (core_) pw_core_disconnect(core_);
  pw_thread_loop_unlock(loop_);
  pw_thread_loop_stop(loop_);
  if (context_) pw_context_destroy(context_);
  pw_thread_loop_destroy(loop_);
}

bool PipeWireCapture::waitFor(bool (*done)(PipeWireCapture&), double seconds) {
  timespec until{};
  pw_thread_loop_get_time(loop_, &until, static_cast<std::int64_t>(seconds * 1e9));
  while (!done(*this))
    if (pw_thread_loop_timed_wait_full(loop_, &until) != 0) return done(*this);
  return true;
}

std::string PipeWireCapture::connect() {
  if (core_) return "";
  if (!loop_) {
    loop_ = pw_thread_loop_new("tastrello-capture", nullptr);
    if (!loop_) return "no PipeWire main loop";
    // The configuration that gives the stream's thread real-time priority where allowed.
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                              pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    if (!context_ || pw_thread_loop_start(loop_) < 0) return "PipeWire could not be set up";
  }
  pw_thread_loop_lock(loop_);
  core_ = pw_context_connect(context_, nullptr, 0);
  if (core_) pw_core_add_listener(core_, &hooks_->core, &hooks_->coreEvents, this);
  pw_thread_loop_unlock(loop_);
  return core_ ? "" : std::string("PipeWire does not answer: ") + std::strerror(errno);
}

std::string PipeWireCapture::open(const std::string& name, int sampleRate, Deliver deliver) {
  close();
  if (std::string why = connect(); !why.empty()) return why;
  if (std::string why = missingSource(*this, name); !why.empty()) return why;
  deliver_ = std::move(deliver);
  rate_ = sampleRate;
  // A sink's monitor, in PulseAudio's naming, is the sink captured.
  const bool monitor = name.size() > kMonitor.size() && name.compare(name.size() - kMonitor.size(), kMonitor.size(), kMonitor) == 0;
  const std::string target = monitor ? name.substr(0, name.size() - kMonitor.size()) : name;
  const std::string latency = std::to_string(kCycleFrames) + "/" + std::to_string(sampleRate);
  pw_properties* props = pw_properties_new(PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
                                           PW_KEY_MEDIA_ROLE, "Music", PW_KEY_APP_NAME, "Tastrello",
                                           PW_KEY_NODE_NAME, "tastrello-microphone", PW_KEY_MEDIA_NAME,
                                           "Mikrofon", PW_KEY_NODE_LATENCY, latency.c_str(), nullptr);
  if (!target.empty()) pw_properties_set(props, PW_KEY_TARGET_OBJECT, target.c_str());
  if (monitor) pw_properties_set(props, PW_KEY_STREAM_CAPTURE_SINK, "true");
  pw_thread_loop_lock(loop_);
  stream_ = pw_stream_new(core_, "Mikrofon", props);
  if (!stream_) {
    pw_thread_loop_unlock(loop_);
    return std::string("no PipeWire stream: ") + std::strerror(errno);
  }
  pw_stream_add_listener(stream_, &hooks_->stream, &hooks_->streamEvents, this);
  spa_audio_info_raw format{};
  format.format = SPA_AUDIO_FORMAT_F32;
  format.rate = static_cast<std::uint32_t>(sampleRate);
  format.channels = 1;
  format.position[0] = SPA_AUDIO_CHANNEL_MONO;
  std::uint8_t podBytes[1024];
  spa_pod_builder builder{};
  spa_pod_builder_init(&builder, podBytes, sizeof podBytes);
  const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &format)};
  state_ = PW_STREAM_STATE_CONNECTING;
  streamError_.clear();
  const auto flags = static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                                  PW_STREAM_FLAG_RT_PROCESS);
  const int error = pw_stream_connect(stream_, PW_DIRECTION_INPUT, PW_ID_ANY, flags, params, 1);
  const bool streaming = error >= 0 && waitFor([](PipeWireCapture& c) {
    return c.state_ == PW_STREAM_STATE_STREAMING || c.state_ == PW_STREAM_STATE_ERROR;
  }, kConnectSeconds) && state_ == PW_STREAM_STATE_STREAMING;
  pw_thread_loop_unlock(loop_);
  if (streaming) return "";
  const std::string why = error < 0 ? std::string("the PipeWire stream did not connect: ") + spa_strerror(error)
                          : streamError_.empty() ? "no PipeWire source fed the stream"
                                                 : "PipeWire: " + streamError_;
  close();
  return why;
}

void PipeWireCapture::close() {
  if (!loop_ || !stream_) return;
  pw_thread_loop_lock(loop_);
  // Destroying the stream takes it out of the real-time thread: no block comes after this.
  pw_stream_destroy(stream_);
  stream_ = nullptr;
  pw_thread_loop_unlock(loop_);
  latencyMs_ = 0;
}

void PipeWireCapture::process() {
  // Every buffer queued for the stream, oldest first: a cycle the thread was late for leaves
  // more than one.
  while (pw_buffer* b = pw_stream_dequeue_buffer(stream_)) deliverBuffer(b);
}

void PipeWireCapture::deliverBuffer(pw_buffer* b) {
  const spa_buffer* buf = b->buffer;
  if (buf->n_datas >= 1 && buf->datas[0].data && buf->datas[0].chunk) {
    const spa_chunk& chunk = *buf->datas[0].chunk;
    const auto* samples = reinterpret_cast<const float*>(static_cast<const std::uint8_t*>(buf->datas[0].data) +
                                                         std::min(chunk.offset, buf->datas[0].maxsize));
    const std::size_t count = std::min(chunk.size, buf->datas[0].maxsize - std::min(chunk.offset, buf->datas[0].maxsize)) / sizeof(float);
    // The cycle began at `now`; its samples reached the device `delay` before the cycle, and
    // the first of them a cycle's length earlier still.
    pw_time time{};
    pw_stream_get_time_n(stream_, &time, sizeof time);
    const double tickNs = time.rate.denom > 0 ? 1e9 * time.rate.num / time.rate.denom : 1e9 / rate_;
    const double delayNs = double(time.delay) * tickNs + double(count) * 1e9 / rate_;
    latencyMs_ = delayNs / 1e6;
    const Clock::time_point capturedAt{std::chrono::nanoseconds(time.now - static_cast<std::int64_t>(delayNs))};
    if (count > 0) deliver_(samples, count, capturedAt);
  }
  pw_stream_queue_buffer(stream_, b);
}

std::vector<SoundSource> PipeWireCapture::list(std::string& why) {
  if (why = connect(); !why.empty()) return {};
  pw_thread_loop_lock(loop_);
  listed_.clear();
  listDone_ = false;
  // A registry announces every node once, when it is made; the core's answer to a sync comes
  // after them. A fresh one for each listing.
  hooks_->registryProxy = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
  spa_zero(hooks_->registry);
  pw_registry_add_listener(hooks_->registryProxy, &hooks_->registry, &hooks_->registryEvents, this);
  listSync_ = pw_core_sync(core_, PW_ID_CORE, 0);
  const bool answered = waitFor([](PipeWireCapture& c) { return c.listDone_; }, kConnectSeconds);
  std::vector<SoundSource> sources = listed_;
  pw_proxy_destroy(reinterpret_cast<pw_proxy*>(hooks_->registryProxy));
  hooks_->registryProxy = nullptr;
  pw_thread_loop_unlock(loop_);
  if (!answered) why = "PipeWire did not answer";
  return sources;
}

}  // namespace tastrello
