// Reed-like notes made by adding partials, for the listening tests that must run in the logic
// suite (natively and under node) without a synthesizer: each note is two or three reeds a few
// cents apart, each with twenty partials falling off as a reed's do and a little uneven, with
// an attack and a release; and room noise. Deterministic for a seed. Standard library only.
#pragma once

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace tastrello::testing {

struct SyntheticNote {
  double at = 0;        ///< seconds
  double length = 0.4;  ///< seconds until it is let go
  int pitch = 60;
  double level = 0.1;  ///< amplitude of the fundamental of each reed
};

struct SyntheticSound {
  int sampleRate = 48000;
  double referenceCents = 0;           ///< the instrument's A against 440 Hz
  std::vector<double> reeds{0};        ///< cents of each reed against the note
  double attackSeconds = 0.02, releaseSeconds = 0.03;
  double noiseLevel = 0;               ///< RMS of white noise added
  std::uint32_t seed = 1;
};

/// The notes mixed into `seconds` of sound.
inline std::vector<float> synthesize(const std::vector<SyntheticNote>& notes, const SyntheticSound& s,
                                     double seconds) {
  const auto frames = static_cast<std::size_t>(seconds * s.sampleRate);
  std::vector<double> mix(frames, 0.0);
  std::mt19937 random(s.seed);
  std::uniform_real_distribution<double> unit(0, 1);
  constexpr double kTwoPi = 6.283185307179586;
  for (const SyntheticNote& n : notes) {
    for (double cents : s.reeds) {
      const double f0 = 440 * std::exp2((n.pitch - 69) / 12.0 + (s.referenceCents + cents) / 1200);
      for (int h = 1; h <= 20 && h * f0 < s.sampleRate / 2.2; ++h) {
        // A reed's partials fall off about as 1/h, each a little louder or softer.
        const double amplitude = n.level / std::pow(h, 0.9) * (0.6 + 0.8 * unit(random));
        const double phase = kTwoPi * unit(random);
        const auto first = static_cast<std::size_t>(n.at * s.sampleRate);
        const auto last = std::min(frames, static_cast<std::size_t>((n.at + n.length + s.releaseSeconds) * s.sampleRate));
        for (std::size_t i = first; i < last; ++i) {
          const double t = double(i - first) / s.sampleRate;
          double envelope = std::min(1.0, t / s.attackSeconds);
          if (t > n.length) envelope *= std::max(0.0, 1 - (t - n.length) / s.releaseSeconds);
          mix[i] += envelope * amplitude * std::sin(kTwoPi * h * f0 * t + phase);
        }
      }
    }
  }
  std::normal_distribution<double> noise(0, s.noiseLevel > 0 ? s.noiseLevel : 1);
  std::vector<float> out(frames);
  for (std::size_t i = 0; i < frames; ++i)
    out[i] = static_cast<float>(mix[i] + (s.noiseLevel > 0 ? noise(random) : 0.0));
  return out;
}

}  // namespace tastrello::testing
