#include "take_render.h"

#include <fluidsynth.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <tuple>

namespace tastrello::testing {

namespace {

const char* const kFonts[] = {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/TimGM6mb.sf2"};

std::string fontPath(const std::string& wanted) {
  if (!wanted.empty()) return wanted;
  for (const char* font : kFonts)
    if (std::filesystem::exists(font)) return font;
  return {};
}

struct SettingsDeleter {
  void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};
struct SynthDeleter {
  void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
};

/// One synthesizer per SoundFont and rate, kept for the whole run: loading a font costs more
/// than rendering a take.
class Synth {
 public:
  Synth(const std::string& font, bool reedFont, int rate) {
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    settings_.reset(new_fluid_settings());
    fluid_settings_setnum(settings_.get(), "synth.sample-rate", rate);
    fluid_settings_setint(settings_.get(), "synth.dynamic-sample-loading", 1);
    fluid_settings_setint(settings_.get(), "synth.reverb.active", 1);
    fluid_settings_setint(settings_.get(), "synth.chorus.active", 0);
    fluid_settings_setint(settings_.get(), "synth.polyphony", 256);
    fluid_settings_setnum(settings_.get(), "synth.reverb.room-size", 0.6);
    fluid_settings_setnum(settings_.get(), "synth.reverb.damp", 0.4);
    fluid_settings_setnum(settings_.get(), "synth.reverb.level", 0.8);
    synth_.reset(new_fluid_synth(settings_.get()));
    ok_ = fluid_synth_sfload(synth_.get(), font.c_str(), 1) != FLUID_FAILED;
    // Loaded last, its presets take the place of the General MIDI ones of the same program.
    if (reedFont) ok_ = ok_ && fluid_synth_sfload(synth_.get(), TASTRELLO_REEDS, 1) != FLUID_FAILED;
  }
  bool ok() const { return ok_; }
  fluid_synth_t* get() { return synth_.get(); }

 private:
  std::unique_ptr<fluid_settings_t, SettingsDeleter> settings_;
  std::unique_ptr<fluid_synth_t, SynthDeleter> synth_;
  bool ok_ = false;
};

Synth& synthFor(const std::string& font, bool reedFont, int rate) {
  static std::map<std::tuple<std::string, bool, int>, std::unique_ptr<Synth>> synths;
  auto& synth = synths[{font, reedFont, rate}];
  if (!synth) synth = std::make_unique<Synth>(font, reedFont, rate);
  return *synth;
}

struct Message {
  long long at = 0;
  int channel = 0, pitch = 0, velocity = 0;  ///< velocity 0: let go
};

/// Renders notes on channels `first`.. (one a reed), each channel bent to its reed's cents.
std::vector<float> renderPart(const std::vector<TakeNote>& notes, const std::vector<double>& reeds,
                              int firstChannel, const TakeSound& sound, long long frames,
                              std::mt19937& random) {
  std::vector<float> out(std::size_t(frames), 0.0f);
  if (notes.empty()) return out;
  Synth& synth = synthFor(fontPath(sound.soundFont), sound.reedFont, sound.sampleRate);
  fluid_synth_t* s = synth.get();
  fluid_synth_system_reset(s);
  std::uniform_int_distribution<int> spread(-12, 12);
  std::vector<Message> messages;
  for (std::size_t r = 0; r < reeds.size(); ++r) {
    const int channel = firstChannel + int(r);
    fluid_synth_program_change(s, channel, sound.program);
    fluid_synth_cc(s, channel, 91, sound.reverb);
    // Bend range two semitones: 8192 is in tune, 4096 a semitone.
    const double cents = sound.referenceCents + reeds[r];
    fluid_synth_pitch_bend(s, channel, std::clamp(int(std::lround(8192 + cents / 100 * 4096)), 0, 16383));
    for (const TakeNote& n : notes) {
      const int velocity = std::clamp(n.velocity + spread(random), 1, 127);
      messages.push_back({n.at, channel, n.pitch, velocity});
      messages.push_back({n.at + std::max(1LL, n.length), channel, n.pitch, 0});
    }
  }
  std::stable_sort(messages.begin(), messages.end(),
                   [](const Message& a, const Message& b) { return a.at < b.at; });
  std::vector<float> right(out.size());
  long long done = 0;
  auto renderTo = [&](long long until) {
    until = std::min(until, frames);
    if (until <= done) return;
    fluid_synth_write_float(s, int(until - done), out.data(), int(done), 1, right.data(), int(done), 1);
    done = until;
  };
  for (const Message& m : messages) {
    // A message is applied at the next block: keep every one on the grid.
    renderTo((m.at + kRenderBlock - 1) / kRenderBlock * kRenderBlock);
    if (m.velocity > 0)
      fluid_synth_noteon(s, m.channel, m.pitch, m.velocity);
    else
      fluid_synth_noteoff(s, m.channel, m.pitch);
  }
  renderTo(frames);
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = 0.5f * (out[i] + right[i]);
  fluid_synth_all_sounds_off(s, -1);
  return out;
}

/// The RMS of a part where its notes sound.
double soundingRms(const std::vector<float>& part, const std::vector<TakeNote>& notes) {
  std::vector<bool> sounding(part.size(), false);
  for (const TakeNote& n : notes)
    for (long long i = n.at; i < std::min<long long>(n.at + n.length, long(part.size())); ++i) sounding[std::size_t(i)] = true;
  double sum = 0;
  long long count = 0;
  for (std::size_t i = 0; i < part.size(); ++i)
    if (sounding[i]) {
      sum += double(part[i]) * part[i];
      ++count;
    }
  return count > 0 ? std::sqrt(sum / double(count)) : 0.0;
}

/// A room's hiss (pink, by Paul Kellet's filter) and the bellows' breath (low, swelling and
/// fading about once a second), mixed half and half by power, RMS 1.
std::vector<float> roomNoise(std::size_t frames, int rate, std::mt19937& random) {
  std::normal_distribution<double> white(0, 1);
  std::vector<float> noise(frames);
  double b0 = 0, b1 = 0, b2 = 0, low = 0;
  const double lowCoefficient = std::exp(-2 * M_PI * 300.0 / rate);
  std::vector<double> pink(frames), breath(frames);
  for (std::size_t i = 0; i < frames; ++i) {
    const double w = white(random);
    b0 = 0.99765 * b0 + w * 0.0990460;
    b1 = 0.96300 * b1 + w * 0.2965164;
    b2 = 0.57000 * b2 + w * 1.0526913;
    pink[i] = b0 + b1 + b2 + w * 0.1848;
    low = lowCoefficient * low + (1 - lowCoefficient) * white(random);
    breath[i] = low * (1.2 + std::sin(2 * M_PI * 0.9 * double(i) / rate));
  }
  auto rms = [](const std::vector<double>& v) {
    double s = 0;
    for (double x : v) s += x * x;
    return std::sqrt(s / double(std::max<std::size_t>(1, v.size())));
  };
  const double p = rms(pink), b = rms(breath);
  for (std::size_t i = 0; i < frames; ++i)
    noise[i] = static_cast<float>(std::sqrt(0.5) * (pink[i] / p + breath[i] / b));
  return noise;
}

}  // namespace

long long onBlock(double seconds, int sampleRate) {
  const auto frame = static_cast<long long>(std::ceil(seconds * sampleRate));
  return (frame + kRenderBlock - 1) / kRenderBlock * kRenderBlock;
}

bool haveSoundFont(std::string& why) {
  if (!fontPath({}).empty()) return true;
  why = "no General MIDI SoundFont (fluid-soundfont-gm or timgm6mb-soundfont) is installed";
  return false;
}

std::vector<float> renderTake(const std::vector<TakeNote>& treble, const std::vector<TakeNote>& bass,
                              const TakeSound& sound, double seconds) {
  const auto frames = static_cast<long long>(seconds * sound.sampleRate);
  std::mt19937 random(sound.seed);
  std::vector<float> mix = renderPart(treble, sound.reedCents, 0, sound, frames, random);
  const double trebleRms = soundingRms(mix, treble);
  const double gain = trebleRms > 0 ? std::pow(10, sound.trebleDb / 20) / std::sqrt(2) / trebleRms : 1;
  for (float& x : mix) x = static_cast<float>(x * gain);
  if (!bass.empty()) {
    // A bass note has a reed an octave above its own, as the bass side's notes have.
    std::vector<TakeNote> reeds = bass;
    for (const TakeNote& n : bass) reeds.push_back({n.at, n.length, n.pitch + 12, n.velocity - 15});
    const std::vector<float> low = renderPart(reeds, {sound.reedCents.front()}, 8, sound, frames, random);
    const double lowRms = soundingRms(low, bass);
    const double lowGain = lowRms > 0 ? trebleRms * gain * std::pow(10, -sound.bassBelowDb / 20) / lowRms : 0;
    for (std::size_t i = 0; i < mix.size(); ++i) mix[i] += static_cast<float>(low[i] * lowGain);
  }
  if (sound.noiseBelowDb > 0) {
    const std::vector<float> noise = roomNoise(mix.size(), sound.sampleRate, random);
    const double level = trebleRms * gain * std::pow(10, -sound.noiseBelowDb / 20);
    for (std::size_t i = 0; i < mix.size(); ++i) mix[i] += static_cast<float>(noise[i] * level);
  }
  return mix;
}

bool writeSoundFile(const std::string& path, const std::vector<float>& samples, int sampleRate) {
  SF_INFO info{};
  info.samplerate = sampleRate;
  info.channels = 1;
  const std::string ext = std::filesystem::path(path).extension().string();
  if (ext == ".flac")
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  else if (ext == ".ogg")
    info.format = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
  else
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!file) return false;
  const sf_count_t written = sf_write_float(file, samples.data(), sf_count_t(samples.size()));
  sf_close(file);
  return written == sf_count_t(samples.size());
}

}  // namespace tastrello::testing
