#include "platform/fluid_synth_port.h"

#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iomanip>
#include <mutex>
#include <sstream>

#include "platform/pipewire_output.h"
#include "platform/pulse_output.h"

namespace tastrello {

namespace {

enum Error {
  kNoSynth = 1,
  kNoAudio = 2,
  kNotOpen = 3,
  kNoPreset = 4,
  kBadMessage = 5,
};

/// FluidSynth's warnings and errors, for the window's list of problems. FluidSynth logs from
/// any thread, the audio thread too, so the lines are kept under a lock and handed over once.
struct LogLines {
  std::mutex mutex;
  std::vector<std::pair<bool, std::string>> lines;  ///< an error (else a warning), its words
  int dropped = 0;
};

LogLines& logLines() {
  static LogLines log;
  return log;
}

void keepLogLine(int level, const char* message, void*) {
  LogLines& log = logLines();
  std::lock_guard<std::mutex> lock(log.mutex);
  // A fault repeated in every block must not grow without bound until the next report.
  if (log.lines.size() >= 20) {
    ++log.dropped;
    return;
  }
  log.lines.emplace_back(level != FLUID_WARN, message ? message : "");
}

/// The lines kept since the last call, FluidSynth's own words framed in `language`.
std::vector<std::string> takeLogLines(UiLanguage language) {
  LogLines& log = logLines();
  std::lock_guard<std::mutex> lock(log.mutex);
  std::vector<std::string> out;
  for (const auto& [error, words] : log.lines)
    out.push_back(uiText(language, error ? Text::SynthLogError : Text::SynthLogWarning, {words}));
  log.lines.clear();
  if (log.dropped > 0)
    out.push_back(uiText(language, Text::SynthMoreLines, {std::to_string(log.dropped)}));
  log.dropped = 0;
  return out;
}

}  // namespace

void FluidSynthPort::Deleters::operator()(_fluid_hashtable_t* s) const {
  delete_fluid_settings(s);
}
void FluidSynthPort::Deleters::operator()(_fluid_synth_t* s) const {
  delete_fluid_synth(s);
}
void FluidSynthPort::Deleters::operator()(_fluid_audio_driver_t* d) const {
  delete_fluid_audio_driver(d);
}
void FluidSynthPort::Deleters::operator()(_fluid_sequencer_t* s) const {
  delete_fluid_sequencer(s);
}
void FluidSynthPort::Deleters::operator()(_fluid_event_t* e) const {
  delete_fluid_event(e);
}

std::vector<std::string> FluidSynthPort::driversBuilt() {
  std::vector<std::string> names;
  fluid_settings_t* settings = new_fluid_settings();
  if (!settings) return names;
  fluid_settings_foreach_option(
      settings, "audio.driver", &names, [](void* data, const char*, const char* option) {
        static_cast<std::vector<std::string>*>(data)->push_back(option);
      });
  delete_fluid_settings(settings);
  return names;
}

std::string FluidSynthPort::findSoundFont() {
  for (const char* candidate :
       {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
        "/usr/share/sounds/sf3/default-GM.sf3", "/usr/share/sounds/sf2/TimGM6mb.sf2"}) {
    std::error_code ec;
    if (std::filesystem::exists(candidate, ec)) return candidate;
  }
  return {};
}

FluidSynthPort::FluidSynthPort(Options options) : options_(std::move(options)) {
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN})
    fluid_set_log_function(level, keepLogLine, nullptr);
  // Its information and debugging lines are for FluidSynth's own developers.
  for (int level : {FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);

  settings_.reset(new_fluid_settings());
  if (!settings_) {
    startProblem_.emplace(Text::SynthNotSetUp, std::string());
    return;
  }
  fluid_settings_setint(settings_.get(), "synth.dynamic-sample-loading", 1);
  fluid_settings_setnum(settings_.get(), "synth.sample-rate", options_.sampleRate);
  // Reverb and chorus tails would outlast the device reset that must silence everything.
  fluid_settings_setint(settings_.get(), "synth.reverb.active", 0);
  fluid_settings_setint(settings_.get(), "synth.chorus.active", 0);
  fluid_settings_setnum(settings_.get(), "synth.gain", kGain);

  synth_.reset(new_fluid_synth(settings_.get()));
  if (!synth_) {
    startProblem_.emplace(Text::SynthNotMade, std::string());
    return;
  }
  const std::string font = options_.soundFont.empty() ? findSoundFont() : options_.soundFont;
  if (font.empty()) {
    startProblem_.emplace(Text::SynthNoSoundFont, std::string());
    return;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(font, ec)) {
    // A FIFO or a device would block the start before any window appears.
    startProblem_.emplace(Text::SynthFontNotFile, font);
    return;
  }
  fontId_ = fluid_synth_sfload(synth_.get(), font.c_str(), 1);
  if (fontId_ < 0) {
    startProblem_.emplace(Text::SynthFontNotLoaded, font);
    return;
  }
  options_.soundFont = font;
  loadReedFont();

  // The sequencer runs on the synthesizer's own clock (its samples), in tenths of a
  // millisecond.
  sequencer_.reset(new_fluid_sequencer2(0));
  event_.reset(new_fluid_event());
  if (sequencer_ && event_) {
    fluid_sequencer_set_time_scale(sequencer_.get(), kTicksPerSecond);
    synthDestination_ = fluid_sequencer_register_fluidsynth(sequencer_.get(), synth_.get());
    fluid_event_set_source(event_.get(), -1);
    fluid_event_set_dest(event_.get(), synthDestination_);
  }
  startDriver();
}

void FluidSynthPort::loadReedFont() {
  if (options_.reedFont.empty()) return;
  std::error_code ec;
  // Loaded after the General MIDI font, it is searched first: its presets win.
  if (std::filesystem::is_regular_file(options_.reedFont, ec))
    reedFontId_ = fluid_synth_sfload(synth_.get(), options_.reedFont.c_str(), 1);
  if (reedFontId_ < 0) reedFontProblem_ = options_.reedFont;
}

void FluidSynthPort::startDriver(bool ownOnly) {
  if (!options_.audioOutput || !synth_) return;
  fluid_settings_setint(settings_.get(), "audio.period-size", options_.periodSize);
  fluid_settings_setint(settings_.get(), "audio.periods", options_.periods);
  anchored_ = false;
  anchor_.store(0, 0);
  std::string why = "not tried";
  const bool own = options_.driver.empty() || options_.driver == "pipewire" ||
                   options_.driver == "pulse";
  if (own) {
    output_ = openOwnOutput(why);
    if (output_) {
      driverName_ = output_->status().server;
      startProblem_.reset();
      return;
    }
    if (!options_.driver.empty() || ownOnly) {
      driverName_.clear();
      startProblem_.emplace(Text::SynthNoOutput, why);
      return;
    }
  }
  const std::vector<std::string> fallbacks{"alsa", "jack"};
  for (const std::string& name :
       options_.driver.empty() ? fallbacks : std::vector<std::string>{options_.driver}) {
    fluid_settings_setstr(settings_.get(), "audio.driver", name.c_str());
    driverName_ = name;
    driver_.reset(new_fluid_audio_driver2(settings_.get(), &FluidSynthPort::renderBlock, this));
    if (driver_) {
      startProblem_.reset();
      return;
    }
  }
  driverName_.clear();
  startProblem_.emplace(Text::SynthNoOutput, why);
}

bool FluidSynthPort::playsPipeWireNatively(const std::optional<PulseOutput::Server>& answering,
                                           const char* pulseServer) {
  // PipeWire is played natively, since its PulseAudio bridge holds two more cycles of sound
  // than the graph needs; PulseAudio through its own protocol. Where PulseAudio's clients are
  // sent to a server elsewhere on the network, that server plays: PipeWire here is not it.
  if (answering && !answering->pipeWire) return false;
  std::istringstream servers(pulseServer ? pulseServer : "");
  for (std::string server; servers >> server;) {
    // "{machine-id}unix:/path" names a socket of one machine: the one it runs on here.
    if (server.front() == '{') server.erase(0, std::min(server.size(), server.find('}') + 1));
    if (server.rfind("unix:", 0) != 0 && server.rfind("/", 0) != 0) return false;
  }
  return true;
}

std::unique_ptr<AudioOutput> FluidSynthPort::openOwnOutput(std::string& why) {
  auto render = [this](float* left, float* right, int frames,
                       std::chrono::steady_clock::time_point at) {
    float* out[] = {left, right};
    renderBlockAt(frames, out, at);
  };
  auto notice = [this](AudioOutput::Event event) { this->notice(event); };
  // The desktop's sound server decides (see playsPipeWireNatively).
  const std::optional<PulseOutput::Server> pulse =
      options_.driver.empty() ? PulseOutput::answering() : std::nullopt;
  if (options_.driver == "pipewire" ||
      (options_.driver.empty() && playsPipeWireNatively(pulse, std::getenv("PULSE_SERVER")))) {
    std::string pipeWireWhy;
    if (auto output = PipeWireOutput::open(options_.sampleRate, options_.periodSize, render,
                                           notice, pipeWireWhy))
      return output;
    why = pipeWireWhy;
    if (options_.driver == "pipewire" || !pulse) return nullptr;
  }
  return PulseOutput::open(options_.sampleRate, kPulseBlock, options_.periodSize, render, notice,
                           why);
}

void FluidSynthPort::stopOutput() {
  output_.reset();
  driver_.reset();
}

void FluidSynthPort::restartLostOutput() {
  if (output_ && !output_->alive()) {
    stopOutput();
    outputLost_ = true;
    nextTry_ = {};
  }
  if (!outputLost_ || outputRunning()) return;
  const auto now = std::chrono::steady_clock::now();
  if (now < nextTry_) return;
  nextTry_ = now + std::chrono::seconds(2);
  startDriver(true);
  outputLost_ = !outputRunning();
}

void FluidSynthPort::notice(AudioOutput::Event event) {
  if (event == AudioOutput::Event::Underflow) ++serverUnderflows_;
  // Silence running dry, and a late request while nothing sounds, are heard by nobody.
  if (fluid_synth_get_active_voice_count(synth_.get()) == 0) return;
  switch (event) {
    case AudioOutput::Event::Underflow:
      ++underruns_;
      break;
    case AudioOutput::Event::LateWrite:
      ++lateWrites_;
      break;
    case AudioOutput::Event::Silence:
      ++silences_;
      break;
  }
}

int FluidSynthPort::renderBlock(void* data, int frames, int nfx, float* fx[], int nout,
                                float* out[]) {
  // ALSA and JACK (FluidSynth's drivers) ask for each block when it is due; it is heard
  // after the periods already queued.
  auto* self = static_cast<FluidSynthPort*>(data);
  if (nfx != 0 || nout != 2) {
    for (int i = 0; i < nout; ++i) std::fill(out[i], out[i] + frames, 0.0f);
    for (int i = 0; i < nfx; ++i) std::fill(fx[i], fx[i] + frames, 0.0f);
    return fluid_synth_process(self->synth_.get(), frames, nfx, fx, nout, out);
  }
  const auto queued = std::chrono::nanoseconds(static_cast<long long>(
      1e9 * (self->options_.periods - 1) * self->options_.periodSize / self->options_.sampleRate));
  self->renderBlockAt(frames, out, std::chrono::steady_clock::now() + queued);
  return FLUID_OK;
}

void FluidSynthPort::Anchor::store(long long frame, long long heardNs) {
  sequence_.fetch_add(1);  // odd: being written
  frame_.store(frame);
  heardNs_.store(heardNs);
  sequence_.fetch_add(1);
}

bool FluidSynthPort::Anchor::load(long long& frame, long long& heardNs) const {
  for (;;) {
    const unsigned before = sequence_.load();
    if (before % 2 == 1) continue;
    frame = frame_.load();
    heardNs = heardNs_.load();
    if (sequence_.load() == before) return heardNs != 0;
  }
}

long long FluidSynthPort::blockFor(long long frame, long long heardNs, long long dueNs,
                                   double rate) {
  const double due = double(frame) + double(dueNs - heardNs) * rate / 1e9;
  return static_cast<long long>(std::llround(due / kSynthBlock)) * kSynthBlock;
}

unsigned FluidSynthPort::tickFor(long long frame, double rate) {
  // As FluidSynth counts: its frames as a 32-bit number, whole milliseconds of them, and the
  // sequencer's ticks from those (it began at tick 0 at the synthesizer's frame 0).
  const auto before = static_cast<std::uint32_t>(std::max(0LL, frame - kSynthBlock));
  const auto ms = static_cast<long>(1000.0 * double(before) / rate);
  return static_cast<unsigned>(double(ms) * kTicksPerSecond / 1000.0);
}

void FluidSynthPort::renderBlockAt(int frames, float* out[2],
                                   std::chrono::steady_clock::time_point heardAt) {
  // The synthesizer's frame at the start of this block, and the moment it will be heard: a
  // message due later than that moment goes that much later into the sound. The moment a
  // server's timing gives jitters with the machine's load (PipeWire's graph clock does not);
  // the pair published follows the measure slowly and jumps only when the sound really moved
  // (a buffer that grew, a silence), so that messages sent at different moments keep their
  // distance.
  const long long frame = framesRendered_;
  framesRendered_ += frames;
  if (sequencer_) {
    const double measured =
        double(std::chrono::duration_cast<std::chrono::nanoseconds>(heardAt.time_since_epoch())
                   .count());
    const double predicted =
        anchorNs_ + double(frame - anchorFrame_) * 1e9 / options_.sampleRate;
    const double error = measured - predicted;
    if (!anchored_ || std::abs(error) > 4e6)
      anchorNs_ = measured;
    else
      anchorNs_ = predicted + error / 16;
    anchored_ = true;
    anchorFrame_ = frame;
    anchor_.store(frame, static_cast<long long>(anchorNs_));
  }
  std::fill(out[0], out[0] + frames, 0.0f);
  std::fill(out[1], out[1] + frames, 0.0f);
  fluid_synth_process(synth_.get(), frames, 0, nullptr, 2, out);
  limit(out[0], out[1], frames);
  if (options_.tap) options_.tap(out[0], out[1], frames);
}

void FluidSynthPort::limit(float* left, float* right, int frames) {
  const float release = 1.0f - std::exp(-1.0f / (0.1f * float(options_.sampleRate)));
  float g = limiterGain_;
  for (int i = 0; i < frames; ++i) {
    const float peak = std::max(std::abs(left[i]), std::abs(right[i]));
    const float wanted = peak > kPeakLimit ? kPeakLimit / peak : 1.0f;
    g = wanted < g ? wanted : g + (wanted - g) * release;
    left[i] *= g;
    right[i] *= g;
  }
  limiterGain_ = g;
}

void FluidSynthPort::setBufferFrames(int frames) {
  if (frames == options_.periodSize) return;
  options_.periodSize = frames;
  if (output_) {
    output_->resize(frames);
    return;
  }
  if (!driver_) return;
  stopOutput();
  startDriver();
}

FluidSynthPort::~FluidSynthPort() {
  stopOutput();  // stop the audio thread before the synthesizer goes
  event_.reset();
  sequencer_.reset();
  synth_.reset();
  settings_.reset();
}

int FluidSynthPort::open(int, std::uint32_t& handle) {
  handle = 0;
  if (!ready()) return kNoSynth;
  if (options_.audioOutput && !outputRunning()) return kNoAudio;
  openHandle_ = nextHandle_++;
  if (nextHandle_ == 0) nextHandle_ = 1;
  handle = openHandle_;
  return 0;
}

bool FluidSynthPort::schedule(fluid_event_t* event, SoundTime at) {
  long long frame = 0;
  long long heardNs = 0;
  if (at <= kAtOnce || !sequencer_ || !outputRunning() || !anchor_.load(frame, heardNs))
    return false;
  // The block heard nearest to `at`, as far from the anchor's frame as `at` is from its moment.
  const auto dueNs = static_cast<long long>(at * 1e9);
  const unsigned tick = tickFor(blockFor(frame, heardNs, dueNs, options_.sampleRate),
                                options_.sampleRate);
  if (tick <= fluid_sequencer_get_tick(sequencer_.get())) return false;
  return fluid_sequencer_send_at(sequencer_.get(), event, tick, 1) == FLUID_OK;
}

int FluidSynthPort::send(std::uint32_t handle, std::uint32_t word, SoundTime at) {
  if (handle == 0 || handle != openHandle_) return kNotOpen;
  const int status = word & 0xFF;
  const int data1 = (word >> 8) & 0x7F;
  const int data2 = (word >> 16) & 0x7F;
  const int channel = status & 0x0F;
  fluid_event_t* event = event_.get();
  switch (status & 0xF0) {
    case 0x90:
      if (event) fluid_event_noteon(event, channel, short(data1), short(data2));
      if (!event || !schedule(event, at)) fluid_synth_noteon(synth_.get(), channel, data1, data2);
      return 0;
    case 0x80:
      if (event) fluid_event_noteoff(event, channel, short(data1));
      if (!event || !schedule(event, at)) fluid_synth_noteoff(synth_.get(), channel, data1);
      return 0;
    case 0xB0:
      if (event) fluid_event_control_change(event, channel, short(data1), data2);
      if (!event || !schedule(event, at)) fluid_synth_cc(synth_.get(), channel, data1, data2);
      return 0;
    case 0xC0: {
      fluid_sfont_t* font = fluid_synth_get_sfont_by_id(synth_.get(), fontId_);
      if (!font || !fluid_sfont_get_preset(font, 0, data1)) return kNoPreset;
      if (event) fluid_event_program_change(event, channel, data1);
      if (!event || !schedule(event, at)) fluid_synth_program_change(synth_.get(), channel, data1);
      return 0;
    }
    default:
      return kBadMessage;
  }
}

int FluidSynthPort::close(std::uint32_t handle, SoundTime at) {
  if (handle == 0 || handle != openHandle_) return kNotOpen;
  // Stops every voice at once, without release: the device is silent from the next block (or
  // from the moment `at`). Nothing scheduled before plays after a silence now.
  fluid_event_t* event = event_.get();
  if (event) fluid_event_all_sounds_off(event, -1);
  if (!event || !schedule(event, at)) {
    if (sequencer_) fluid_sequencer_remove_events(sequencer_.get(), -1, -1, -1);
    fluid_synth_all_sounds_off(synth_.get(), -1);
  }
  openHandle_ = 0;
  return 0;
}

std::string FluidSynthPort::say(Text text, std::initializer_list<std::string> args) const {
  return uiText(options_.language ? options_.language() : UiLanguage::English, text, args);
}

std::string FluidSynthPort::errorText(int code) {
  if ((code == kNoSynth || code == kNoAudio) && startProblem_)
    return say(startProblem_->first, {startProblem_->second});
  switch (code) {
    case kNoSynth:
      return say(Text::SynthNotReady);
    case kNoAudio:
      return say(Text::SynthNoAudio);
    case kNotOpen:
      return say(Text::SynthNotOpen);
    case kNoPreset:
      return say(Text::SynthNoPreset);
    case kBadMessage:
      return say(Text::SynthBadMessage);
    default:
      return say(Text::SynthUnknownError, {std::to_string(code)});
  }
}

void FluidSynthPort::render(float* left, float* right, int frames) {
  if (!synth_) return;
  fluid_synth_write_float(synth_.get(), frames, left, 0, 1, right, 0, 1);
  framesRendered_ += frames;
  limit(left, right, frames);
}

AudioReport FluidSynthPort::report() {
  restartLostOutput();
  AudioReport r;
  r.running = outputRunning();
  r.driver = driverName_;
  r.soundFont = options_.soundFont;
  r.problem = r.running ? std::string() : errorText(kNoAudio);
  r.bufferFrames = options_.periodSize;
  r.sampleRate = options_.sampleRate;
  r.underruns = underruns_;
  r.lateWrites = lateWrites_;
  r.silences = silences_;
  r.problems = takeLogLines(options_.language ? options_.language() : UiLanguage::English);
  if (!reedFontProblem_.empty()) {
    r.problems.push_back(say(Text::SynthReedFontNotLoaded, {reedFontProblem_}));
    reedFontProblem_.clear();
  }
  if (output_) {
    const AudioOutput::Status s = output_->status();
    r.framesInForce = s.framesInForce;
    r.cycleFrames = s.cycleFrames;
    r.latencyMs = s.latencyMs;
  } else if (driver_) {
    // ALSA holds every period; JACK's buffer is the server's own, not known here.
    const int periods = driverName_ == "alsa" ? options_.periods : 1;
    r.framesInForce = options_.periodSize * periods;
    r.latencyMs = 1000.0 * r.framesInForce / options_.sampleRate;
  }
  return r;
}

std::string FluidSynthPort::describe() {
  const AudioReport r = report();
  if (!r.running) return "Built-in synthesizer (no audio output)";
  std::ostringstream out;
  out << std::fixed << std::setprecision(1) << "Built-in synthesizer (" << r.driver << ", buffer "
      << bufferMs() << " ms asked, " << 1000.0 * r.framesInForce / r.sampleRate
      << " ms in force, latency " << r.latencyMs << " ms, " << r.underruns << " underruns, "
      << r.lateWrites << " late writes, " << r.silences << " silences)";
  return out.str();
}

}  // namespace tastrello
