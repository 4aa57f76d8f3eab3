#include "platform/fluid_synth_port.h"

#include <fluidsynth.h>

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
  fluid_settings_setint(settings_.get(), "audio.period-size", options_.periodSize);
  fluid_settings_setint(settings_.get(), "audio.periods", options_.periods);

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

  if (!options_.audioOutput) return;
  // PulseAudio also serves PipeWire desktops; ALSA and JACK come after it.
  for (const char* name : {"pulseaudio", "alsa", "jack"}) {
    fluid_settings_setstr(settings_.get(), "audio.driver", name);
    driver_.reset(new_fluid_audio_driver(settings_.get(), synth_.get()));
    if (driver_) {
      driverName_ = name;
      return;
    }
  }
  startProblem_ = "No audio output could be opened (tried PulseAudio, ALSA and JACK).";
}

FluidSynthPort::~FluidSynthPort() {
  driver_.reset();  // stop the audio thread before the synthesizer goes
  synth_.reset();
  settings_.reset();
}

int FluidSynthPort::open(int, std::uint32_t& handle) {
  handle = 0;
  if (!ready()) return kNoSynth;
  if (options_.audioOutput && !driver_) return kNoAudio;
  openHandle_ = nextHandle_++;
  if (nextHandle_ == 0) nextHandle_ = 1;
  handle = openHandle_;
  return 0;
}

int FluidSynthPort::send(std::uint32_t handle, std::uint32_t word) {
  if (handle == 0 || handle != openHandle_) return kNotOpen;
  const int status = word & 0xFF;
  const int data1 = (word >> 8) & 0x7F;
  const int data2 = (word >> 16) & 0x7F;
  const int channel = status & 0x0F;
  switch (status & 0xF0) {
    case 0x90:
      fluid_synth_noteon(synth_.get(), channel, data1, data2);
      return 0;
    case 0x80:
      fluid_synth_noteoff(synth_.get(), channel, data1);
      return 0;
    case 0xB0:
      fluid_synth_cc(synth_.get(), channel, data1, data2);
      return 0;
    case 0xC0: {
      fluid_sfont_t* font = fluid_synth_get_sfont_by_id(synth_.get(), fontId_);
      if (!font || !fluid_sfont_get_preset(font, 0, data1)) return kNoPreset;
      fluid_synth_program_change(synth_.get(), channel, data1);
      return 0;
    }
    default:
      return kBadMessage;
  }
}

int FluidSynthPort::close(std::uint32_t handle) {
  if (handle == 0 || handle != openHandle_) return kNotOpen;
  // Stops every voice at once, without release: the device is silent from the next block.
  fluid_synth_all_sounds_off(synth_.get(), -1);
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
  return 1000.0 * options_.periodSize * options_.periods / options_.sampleRate;
}

std::string FluidSynthPort::describe() const {
  std::ostringstream out;
  out << "Built-in synthesizer";
  if (!driverName_.empty())
    out << " (" << driverName_ << ", " << std::fixed << std::setprecision(1) << latencyMs()
        << " ms)";
  return out.str();
}

}  // namespace tastrello
