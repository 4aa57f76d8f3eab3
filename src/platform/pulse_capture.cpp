#include "platform/pulse_capture.h"

#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/mainloop.h>
#include <pulse/simple.h>

#include <cmath>
#include <vector>

namespace tastrello {

namespace {

/// The server is given this long to answer a listing.
constexpr auto kListSeconds = std::chrono::seconds(3);

struct Listing {
  std::vector<SoundSource> sources;
  bool done = false;
};

void collectSource(pa_context*, const pa_source_info* info, int eol, void* data) {
  auto* listing = static_cast<Listing*>(data);
  if (eol != 0 || !info) {
    listing->done = true;
    return;
  }
  // A sink's monitor is what the computer plays, not a microphone.
  if (info->monitor_of_sink != PA_INVALID_INDEX) return;
  listing->sources.push_back({info->name ? info->name : "", info->description ? info->description : ""});
}

}  // namespace

PulseCapture::~PulseCapture() {
  close();
}

std::string PulseCapture::open(const std::string& name, int sampleRate, Deliver deliver) {
  close();
  if (std::string why = missingSource(*this, name); !why.empty()) return why;
  const pa_sample_spec format{PA_SAMPLE_FLOAT32NE, static_cast<std::uint32_t>(sampleRate), 1};
  const auto blockFrames = static_cast<std::size_t>(std::lround(kBlockMs / 1000 * sampleRate));
  // The server hands over a fragment at a time: one block, so that no sound waits for more.
  pa_buffer_attr attributes{};
  attributes.maxlength = static_cast<std::uint32_t>(-1);
  attributes.fragsize = static_cast<std::uint32_t>(blockFrames * sizeof(float));
  int error = 0;
  stream_ = pa_simple_new(nullptr, "Tastrello", PA_STREAM_RECORD, name.empty() ? nullptr : name.c_str(),
                          "Mikrofon", &format, nullptr, &attributes, &error);
  if (!stream_) return std::string("PulseAudio: ") + pa_strerror(error);
  deliver_ = std::move(deliver);
  stop_ = false;
  thread_ = std::thread([this, blockFrames, sampleRate] { run(blockFrames, sampleRate); });
  return "";
}

void PulseCapture::run(std::size_t blockFrames, int sampleRate) {
  std::vector<float> block(blockFrames);
  while (!stop_) {
    int error = 0;
    if (pa_simple_read(stream_, block.data(), block.size() * sizeof(float), &error) < 0) return;
    const Clock::time_point now = Clock::now();
    // The server's latency is how long the sound now read waited since it was captured; the
    // block's first sample is its length older.
    const pa_usec_t waited = pa_simple_get_latency(stream_, &error);
    const double blockSeconds = double(blockFrames) / sampleRate;
    latencyMs_ = double(waited) / 1000 + blockSeconds * 1000;
    const auto capturedAt =
        now - std::chrono::microseconds(waited) - std::chrono::microseconds(std::llround(blockSeconds * 1e6));
    deliver_(block.data(), block.size(), capturedAt);
  }
}

void PulseCapture::close() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (stream_) pa_simple_free(stream_);
  stream_ = nullptr;
  latencyMs_ = 0;
}

std::vector<SoundSource> PulseCapture::list(std::string& why) {
  std::unique_ptr<pa_mainloop, void (*)(pa_mainloop*)> loop(pa_mainloop_new(), pa_mainloop_free);
  std::unique_ptr<pa_context, void (*)(pa_context*)> context(
      pa_context_new(pa_mainloop_get_api(loop.get()), "Tastrello"), pa_context_unref);
  Listing listing;
  // The chooser lists the sources whenever it is filled (at start-up too): asking must never
  // start a sound server of its own, as the output's connection never does.
  if (!context || pa_context_connect(context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    why = "PulseAudio does not answer";
    return {};
  }
  const auto until = Clock::now() + kListSeconds;
  pa_operation* asking = nullptr;
  while (!listing.done && Clock::now() < until) {
    const pa_context_state_t state = pa_context_get_state(context.get());
    if (!PA_CONTEXT_IS_GOOD(state)) break;
    if (state == PA_CONTEXT_READY && !asking)
      asking = pa_context_get_source_info_list(context.get(), collectSource, &listing);
    // Waits for the server's answers a tenth of a second at a time, so that the deadline holds.
    if (pa_mainloop_prepare(loop.get(), 100000) < 0 || pa_mainloop_poll(loop.get()) < 0 ||
        pa_mainloop_dispatch(loop.get()) < 0)
      break;
  }
  if (asking) pa_operation_unref(asking);
  pa_context_disconnect(context.get());
  if (!listing.done) why = std::string("PulseAudio: ") + pa_strerror(pa_context_errno(context.get()));
  return listing.sources;
}

}  // namespace tastrello
