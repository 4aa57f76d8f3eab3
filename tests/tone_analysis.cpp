#include "tone_analysis.h"
#include "file_bytes.h"

#include <kissfft/kissfft.hh>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <set>

#include "instrument/instrument_format.h"
#include "sound/layout_format.h"

namespace tastrello::testing {

namespace {

double cents(double hz, double reference) { return 1200 * std::log2(hz / reference); }

/// Nuttall's four-term Blackman-Harris window: side lobes below -92 dB, so that the skirt of a
/// loud partial never shows as a partial of its own.
std::vector<double> blackmanHarris(std::size_t n) {
  std::vector<double> w(n);
  const double step = 2 * std::numbers::pi / double(n - 1);
  for (std::size_t i = 0; i < n; ++i) {
    const double x = step * double(i);
    w[i] = 0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) -
           0.01168 * std::cos(3 * x);
  }
  return w;
}

std::vector<double> magnitudes(const std::vector<double>& windowed, std::size_t fftSize) {
  std::vector<double> padded(fftSize, 0.0);
  std::copy(windowed.begin(), windowed.end(), padded.begin());
  const kissfft<double> fft(fftSize / 2, false);
  std::vector<std::complex<double>> bins(fftSize / 2);
  fft.transform_real(padded.data(), bins.data());
  std::vector<double> m(bins.size());
  for (std::size_t k = 1; k < bins.size(); ++k) m[k] = std::abs(bins[k]);
  m[0] = 0;  // packs the DC and Nyquist bins together: neither is a partial
  return m;
}

}  // namespace

Spectrum partialsOf(const std::vector<float>& samples, double rate, double floorDb) {
  Spectrum s;
  if (samples.size() < 16) return s;
  const std::vector<double> w = blackmanHarris(samples.size());
  std::vector<double> windowed(samples.size());
  double windowSum = 0, windowSquares = 0, energy = 0;
  for (std::size_t i = 0; i < samples.size(); ++i) {
    windowed[i] = w[i] * samples[i];
    windowSum += w[i];
    windowSquares += w[i] * w[i];
    energy += windowed[i] * windowed[i];
  }
  s.power = energy / windowSquares;
  std::size_t fftSize = 1;
  while (fftSize < 4 * samples.size()) fftSize *= 2;
  const std::vector<double> m = magnitudes(windowed, fftSize);
  const double binHz = rate / double(fftSize);
  const double top = *std::max_element(m.begin(), m.end());
  if (top <= 0) return s;
  const double floor = top * std::pow(10.0, floorDb / 20);
  const auto first = std::max<std::size_t>(3, std::size_t(20 / binHz));
  for (std::size_t k = first; k + 3 < m.size(); ++k) {
    if (m[k] < floor || m[k] < m[k - 1] || m[k] < m[k + 1] || m[k] < m[k - 2] || m[k] < m[k + 2])
      continue;
    if (m[k] == m[k - 1]) continue;  // a flat top is taken once, at its last bin
    const double a = std::log(m[k - 1]), b = std::log(m[k]), c = std::log(m[k + 1]);
    const double shift = 0.5 * (a - c) / (a - 2 * b + c);
    const double peak = std::exp(b - 0.25 * (a - c) * shift);
    const double amplitude = 2 * peak / windowSum;
    s.partials.push_back({(double(k) + shift) * binHz, amplitude * amplitude / 2, 0});
  }
  std::sort(s.partials.begin(), s.partials.end(),
            [](const Partial& x, const Partial& y) { return x.power > y.power; });
  if (!s.partials.empty()) {
    const double loudest = s.partials.front().power;
    for (Partial& p : s.partials) p.db = 10 * std::log10(p.power / loudest);
  }
  return s;
}

namespace {

/// Partials of one reed agree this closely in their offset from the pitch's harmonics.
constexpr double kSameReedCents = 2.5;
/// Reeds are looked for this far from the pitch (a semitone: a sample further off plays
/// another note) among the harmonics up to the eighth, which lie far enough apart (two
/// semitones and more) that a partial's harmonic number is never in doubt.
constexpr double kReedSearchCents = 100;
constexpr int kHighestSortingHarmonic = 8;

struct Centre {
  double weightedCents = 0;
  double power = 0;
  double cents() const { return weightedCents / power; }
};

/// The offsets from the pitch at which reeds sound: the partials near the pitch's first
/// harmonics, grouped by their offset, the loudest first.
std::vector<double> reedOffsets(const Spectrum& spectrum, double pitchHz) {
  std::vector<Centre> centres;
  for (const Partial& p : spectrum.partials) {  // loudest first: they found the groups
    const long h = std::lround(p.hz / pitchHz);
    if (h < 1 || h > kHighestSortingHarmonic) continue;
    const double c = cents(p.hz, double(h) * pitchHz);
    if (std::abs(c) > kReedSearchCents) continue;
    auto near = std::find_if(centres.begin(), centres.end(), [&](const Centre& x) {
      return std::abs(x.cents() - c) <= kSameReedCents;
    });
    if (near == centres.end()) near = centres.insert(centres.end(), Centre{});
    near->weightedCents += c * p.power;
    near->power += p.power;
  }
  std::vector<double> offsets;
  for (const Centre& c : centres) offsets.push_back(c.cents());
  return offsets;
}

}  // namespace

ToneReading readTone(const Spectrum& spectrum, double pitchHz) {
  ToneReading reading;
  reading.pitchHz = pitchHz;
  const std::vector<double> offsets = reedOffsets(spectrum, pitchHz);
  std::vector<Reed> reeds(offsets.size());
  for (std::size_t r = 0; r < offsets.size(); ++r) reeds[r].cents = offsets[r];
  for (const Partial& p : spectrum.partials) {
    // The reed on whose series the partial lies most closely.
    std::size_t best = reeds.size();
    double bestOff = kOnSeriesCents;
    for (std::size_t r = 0; r < reeds.size(); ++r) {
      const double fundamental = pitchHz * std::pow(2.0, reeds[r].cents / 1200);
      const long h = std::lround(p.hz / fundamental);
      if (h < 1) continue;
      const double off = std::abs(cents(p.hz, double(h) * fundamental));
      if (off <= bestOff) best = r, bestOff = off;
    }
    if (best == reeds.size()) {
      if (p.db >= kStrongDb) reading.stray.push_back(p);
      continue;
    }
    Reed& reed = reeds[best];
    reed.share += p.power / spectrum.power;
    reed.loudestDb = std::max(reed.loudestDb, p.db);
    ++reed.harmonics;
  }
  std::erase_if(reeds, [](const Reed& r) { return r.harmonics == 0; });
  std::sort(reeds.begin(), reeds.end(),
            [](const Reed& a, const Reed& b) { return a.share > b.share; });
  reading.reeds = reeds;
  return reading;
}

namespace {

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  char text[200];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

}  // namespace

std::string outOfTune(const ToneReading& reading) {
  if (reading.reeds.empty()) return "no partial lies near a harmonic of the pitch";
  const Reed& main = reading.reeds.front();
  if (std::abs(main.cents) > kOnSeriesCents)
    return format("its main reed lies %+.1f cents from the pitch", main.cents);
  if (main.share <= 0.5)
    return format("the reed at pitch carries only %.0f %% of the sound", 100 * main.share);
  const Reed* tremolo = nullptr;
  for (auto r = std::next(reading.reeds.begin()); r != reading.reeds.end(); ++r) {
    if (r->loudestDb < kStrongDb) continue;
    const double above = r->cents - main.cents;
    if (!tremolo && above > 0 && above <= kTremoloMaxCents) {
      tremolo = &*r;
      continue;
    }
    return format("a reed %+.1f cents from the pitch sounds a partial at %.0f dB", r->cents,
                  r->loudestDb);
  }
  if (!reading.stray.empty())
    return format("a partial at %.1f Hz (%.0f dB) lies on no reed's series",
                  reading.stray.front().hz, reading.stray.front().db);
  return "";
}

double tremoloBeatHz(const ToneReading& reading) {
  if (reading.reeds.size() < 2 || reading.reeds[1].loudestDb < kStrongDb) return 0;
  return reading.pitchHz * std::abs(std::exp2(reading.reeds[1].cents / 1200) -
                                    std::exp2(reading.reeds[0].cents / 1200));
}

double noteHz(int note) { return 440.0 * std::pow(2.0, (note - 69) / 12.0); }

std::string noteName(int note) {
  static const char* const german[] = {"c", "c#", "d", "es", "e", "f",
                                       "f#", "g", "g#", "a", "b", "h"};
  static const char* const scientific[] = {"C", "C#", "D", "Eb", "E", "F",
                                           "F#", "G", "G#", "A", "Bb", "B"};
  const int octave = note / 12 - 1;  // 60 is C4
  std::string name = german[note % 12];
  if (octave >= 4) {
    name += std::to_string(octave - 3);  // c1, c2, ...
  } else if (octave <= 2) {
    name[0] = char(std::toupper(name[0]));  // C (great octave), C1 below it ...
    if (octave < 2) name += std::to_string(2 - octave);
  }
  return name + " (" + scientific[note % 12] + std::to_string(octave) + ")";
}

std::vector<float> holdNote(FluidSynthPort& synth, int bank, int program, int note,
                            double skipSeconds, int frames) {
  std::uint32_t handle = 0;
  if (synth.open(-1, handle) != 0) return {};
  const auto word = [](int status, int data1, int data2) {
    return std::uint32_t(status | data1 << 8 | data2 << 16);
  };
  synth.send(handle, word(0xB0, 0, bank), kAtOnce);
  synth.send(handle, word(0xC0, program, 0), kAtOnce);
  synth.send(handle, word(0x90, note, 99), kAtOnce);
  constexpr int kChunk = 4800;
  std::vector<float> left(kChunk), right(kChunk);
  for (auto skip = std::lround(skipSeconds * synth.sampleRate()); skip > 0; skip -= kChunk)
    synth.render(left.data(), right.data(), int(std::min<long>(skip, kChunk)));
  std::vector<float> mixed;
  mixed.reserve(std::size_t(frames));
  for (int done = 0; done < frames; done += kChunk) {
    const int n = std::min(kChunk, frames - done);
    synth.render(left.data(), right.data(), n);
    for (int i = 0; i < n; ++i) mixed.push_back(0.5f * (left[std::size_t(i)] + right[std::size_t(i)]));
  }
  synth.close(handle, kAtOnce);
  synth.render(left.data(), right.data(), kChunk);  // the silence takes effect
  return mixed;
}

namespace {

void addLayoutNotes(const std::string& bytes, std::set<int>& notes) {
  std::size_t lines = 0;
  const auto layout = parseNoteLayout(bytes, lines);
  if (!layout) return;
  for (const auto& field : layout->notes) {
    if (!field || field->empty() || field->size() > 3 ||
        !std::all_of(field->begin(), field->end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    const int note = std::stoi(*field);
    if (note > 0 && note < 128) notes.insert(note);
  }
}

/// An instrument's own treble rows (those taken from a layout have none of their own).
void addInstrumentTrebleNotes(const std::string& bytes, std::set<int>& notes) {
  std::vector<InstrumentProblem> problems;
  const auto instrument = parseInstrument(bytes, problems);
  if (!instrument) return;
  for (const auto& row : instrument->treble)
    for (const auto& button : row.buttons) notes.insert({button.push, button.pull});
}

}  // namespace

std::vector<int> shippedLayoutNotes(const std::string& dataFolder) {
  std::set<int> notes;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dataFolder + "/Notes", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("Notes_", 0) == 0) addLayoutNotes(fileBytes(entry.path()), notes);
    if (name.rfind("Instrument_", 0) == 0) addInstrumentTrebleNotes(fileBytes(entry.path()), notes);
  }
  notes.erase(0);
  return {notes.begin(), notes.end()};
}

}  // namespace tastrello::testing
