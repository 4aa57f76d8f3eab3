#include "platform/fluid_synth_port.h"

#include <fluidsynth.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <iomanip>
#include <sstream>

namespace tastrello {

namespace {

enum Error {
  kNoSynth = 1,
  kNoAudio = 2,
  kNotOpen = 3,
  kNoPreset = 4,
  kBadMessage = 5,
};

void keepLogLine(int level, const char* message, void*) {
  auto& lines = FluidSynthPort::diagnostics();
  if (lines.size() < 200) lines.push_back(std::to_string(level) + ": " + message);
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

std::vector<std::string>& FluidSynthPort::diagnostics() {
  static std::vector<std::string> lines;
  return lines;
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
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
    fluid_set_log_function(level, keepLogLine, nullptr);

  settings_.reset(new_fluid_settings());
  if (!settings_) {
    startProblem_ = "FluidSynth could not be set up.";
    return;
  }
  fluid_settings_setint(settings_.get(), "synth.dynamic-sample-loading", 1);
  fluid_settings_setnum(settings_.get(), "synth.sample-rate", options_.sampleRate);
  // Reverb and chorus tails would outlast the device reset that must silence everything.
  fluid_settings_setint(settings_.get(), "synth.reverb.active", 0);
  fluid_settings_setint(settings_.get(), "synth.chorus.active", 0);
  // A held four-note accordion chord near -16 dBFS RMS with its peaks below -1 dBFS: as loud
  // as other programs, never clipping (measured by the rendering test).
  fluid_settings_setnum(settings_.get(), "synth.gain", 1.6);

  synth_.reset(new_fluid_synth(settings_.get()));
  if (!synth_) {
    startProblem_ = "FluidSynth could not start a synthesizer.";
    return;
  }
  const std::string font = options_.soundFont.empty() ? findSoundFont() : options_.soundFont;
  if (font.empty()) {
    startProblem_ = "No General MIDI SoundFont found (install fluid-soundfont-gm).";
    return;
  }
  std::error_code ec;
  if (!std::filesystem::is_regular_file(font, ec)) {
    // A FIFO or a device would block the start before any window appears.
    startProblem_ = "The SoundFont " + font + " is not a readable file.";
    return;
  }
  fontId_ = fluid_synth_sfload(synth_.get(), font.c_str(), 1);
  if (fontId_ < 0) {
    startProblem_ = "The SoundFont " + font + " could not be loaded.";
    return;
  }
  options_.soundFont = font;

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

void FluidSynthPort::startDriver() {
  if (!options_.audioOutput || !synth_) return;
  fluid_settings_setint(settings_.get(), "audio.period-size", options_.periodSize);
  fluid_settings_setint(settings_.get(), "audio.periods", options_.periods);
  lastBlock_ = 0;
  // PulseAudio (which also serves PipeWire desktops) through the program's own output; ALSA
  // and JACK through FluidSynth's drivers after it.
  driverName_ = "pulseaudio";
  std::string why;
  pulse_ = PulseOutput::open(
      options_.sampleRate, kPulseBlock, options_.periodSize,
      [this](float* left, float* right, int frames, std::chrono::steady_clock::time_point at) {
        float* out[] = {left, right};
        renderBlockAt(frames, out, at);
      },
      [this] {
        // The server had nothing left to play. Silence running dry is heard by nobody.
        if (fluid_synth_get_active_voice_count(synth_.get()) > 0) ++underruns_;
      },
      why);
  if (pulse_) {
    startProblem_.clear();
    return;
  }
  for (const char* name : {"alsa", "jack"}) {
    fluid_settings_setstr(settings_.get(), "audio.driver", name);
    driverName_ = name;
    driver_.reset(new_fluid_audio_driver2(settings_.get(), &FluidSynthPort::renderBlock, this));
    if (driver_) {
      startProblem_.clear();
      return;
    }
  }
  driverName_.clear();
  startProblem_ = "No audio output could be opened (PulseAudio: " + why +
                  "; ALSA and JACK "
                  "neither).";
}

void FluidSynthPort::stopOutput() {
  pulse_.reset();
  driver_.reset();
}

int FluidSynthPort::renderBlock(void* data, int frames, int nfx, float* fx[], int nout,
                                float* out[]) {
  // ALSA and JACK (FluidSynth's drivers) ask for each block when it is due.
  if (nfx != 0 || nout != 2) {
    for (int i = 0; i < nout; ++i) std::fill(out[i], out[i] + frames, 0.0f);
    for (int i = 0; i < nfx; ++i) std::fill(fx[i], fx[i] + frames, 0.0f);
    return fluid_synth_process(static_cast<FluidSynthPort*>(data)->synth_.get(), frames, nfx, fx,
                               nout, out);
  }
  static_cast<FluidSynthPort*>(data)->renderBlockAt(frames, out, std::chrono::steady_clock::now());
  return FLUID_OK;
}

void FluidSynthPort::renderBlockAt(int frames, float* out[2],
                                   std::chrono::steady_clock::time_point at) {
  // The sequencer's time at the start of this block, and the moment the block stands for: a
  // message due later than that moment goes that much later into the sound.
  lastBlock_ = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
  if (sequencer_) blockTick_ = fluid_sequencer_get_tick(sequencer_.get());
  std::fill(out[0], out[0] + frames, 0.0f);
  std::fill(out[1], out[1] + frames, 0.0f);
  fluid_synth_process(synth_.get(), frames, 0, nullptr, 2, out);
}

int FluidSynthPort::bufferFrames(int milliseconds, double sampleRate) {
  if (milliseconds <= 0) return kAutomaticStart;
  const auto blocks = std::lround(milliseconds * sampleRate / 1000.0 / 64);
  return std::clamp(static_cast<int>(blocks) * 64, 64, 2 * kAutomaticLimit);
}

void FluidSynthPort::setBuffer(int milliseconds) {
  options_.adaptive = milliseconds <= 0;
  const int wanted = bufferFrames(milliseconds, options_.sampleRate);
  if (wanted == options_.periodSize) return;
  options_.periodSize = wanted;
  if (!outputRunning()) return;
  stopOutput();
  startDriver();
}

bool FluidSynthPort::adaptBuffer() {
  const int seen = underruns_;
  if (seen == underrunsSeen_) return false;
  underrunsSeen_ = seen;
  if (!options_.adaptive || !outputRunning() || options_.periodSize >= kAutomaticLimit)
    return false;
  options_.periodSize = std::min(kAutomaticLimit, options_.periodSize * 2);
  stopOutput();
  startDriver();
  return true;
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
  const long long blockNs = lastBlock_;
  if (at <= kAtOnce || !sequencer_ || !outputRunning() || blockNs == 0) return false;
  // The block that began at blockNs sounds one buffer later; a message due `ahead` after that
  // moment goes `ahead` into the sound after the block's first tick, a constant latency.
  const auto dueNs = static_cast<long long>(at * 1e9);
  const double ticks = double(blockTick_) + double(dueNs - blockNs) * kTicksPerSecond / 1e9;
  if (ticks <= double(fluid_sequencer_get_tick(sequencer_.get()))) return false;
  return fluid_sequencer_send_at(sequencer_.get(), event, static_cast<unsigned>(ticks), 1) ==
         FLUID_OK;
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

std::string FluidSynthPort::errorText(int code) {
  switch (code) {
    case kNoSynth:
      return startProblem_.empty() ? "The built-in synthesizer is not ready." : startProblem_;
    case kNoAudio:
      return startProblem_.empty() ? "The built-in synthesizer has no audio output."
                                   : startProblem_;
    case kNotOpen:
      return "The built-in synthesizer is not open.";
    case kNoPreset:
      return "The SoundFont has no instrument with this number.";
    case kBadMessage:
      return "The built-in synthesizer does not take this message.";
    default:
      return "Unknown error " + std::to_string(code) + " of the built-in synthesizer.";
  }
}

void FluidSynthPort::render(float* left, float* right, int frames) {
  if (synth_) fluid_synth_write_float(synth_.get(), frames, left, 0, 1, right, 0, 1);
}

double FluidSynthPort::latencyMs() const {
  // ALSA holds every period; PulseAudio's buffer is one (see Options::periodSize); JACK's is
  // the server's own.
  const int periods = driverName_ == "alsa" ? options_.periods : 1;
  return 1000.0 * options_.periodSize * periods / options_.sampleRate;
}

std::string FluidSynthPort::describe() const {
  std::ostringstream out;
  out << "Built-in synthesizer";
  if (!driverName_.empty())
    out << " (" << driverName_ << ", " << std::fixed << std::setprecision(1) << latencyMs() << " ms"
        << (options_.adaptive ? ", automatic" : "") << ", " << underruns_
        << (underruns_ == 1 ? " underrun" : " underruns") << ")";
  return out.str();
}

}  // namespace tastrello
