#include "listen/onsets.h"

#include <algorithm>
#include <cmath>

namespace tastrello::listen {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLowestHz = 80, kHighestHz = 6000, kBandOctaves = 1.0 / 12;
/// Frames are this many hops long (43 ms at 48 kHz: fine enough in frequency for the partials
/// of a new chord to stand apart from those of the chord before), and a band at least a bin.
constexpr std::size_t kFrameHops = 8, kLeastBins = 1;
/// Band levels are compared with the loudest of `kReference` frames from `kLag` hops before:
/// an accordion's reeds take some 50 ms to speak, and over a single hop they rise little.
constexpr std::size_t kLag = 8, kReference = 3;
/// A band counts only what it rose beyond this: the reeds' beating and the swell of a held
/// chord move bands by a few dB, a new note by ten and more.
constexpr float kBandRise = 4;
/// At least this many bands must have risen by this much at once: one alone is a partial of a
/// reed pair rising out of its beat.
constexpr int kLeastRisen = 2;
constexpr float kRisenDb = 6;
/// Hops kept: the threshold follows their mean, and they reach back far enough to place an
/// onset once its rise is over (see `kPlaceAfterSeconds`).
constexpr std::size_t kKept = 32;
/// The detection function must rise above this many dB summed over the bands, and above its
/// recent mean by this factor.
constexpr float kLeastFlux = 20, kOverMean = 1.5f;
/// Onsets closer than this are one: the buttons of a chord are never pressed all at once.
constexpr double kLeastGapSeconds = 0.02;
/// Bands quieter than this are silence, whatever they do.
constexpr float kSilenceDb = -100;
/// A band's floor creeps up by this each hop while it is above it and drops by this while it
/// is below: it settles at about the 9th percentile of the band's level (and follows a held
/// chord up at 9 dB a second).
constexpr float kFloorUp = 0.05f, kFloorDown = 0.5f;
/// The noise of a band one bin wide reaches this far above that percentile; wider bands
/// fluctuate less.
constexpr float kNoiseReach = 12;
/// The onset is placed from the bands that rose most (at most this many, each by at least this),
/// where each first stood this far above its lowest level in the hops looked back.
constexpr std::size_t kPlacingBands = 24, kPlacingHops = 12;
constexpr float kPlacingRise = 10, kStartDb = 5;

std::size_t hopFor(double rate) {
  // About 5.3 ms: 256 samples at 44.1 and 48 kHz.
  std::size_t hop = 64;
  while (double(hop) * 2 <= rate * 0.0064) hop *= 2;
  return hop;
}

}  // namespace

OnsetDetector::OnsetDetector(double sampleRate)
    : rate_(sampleRate), hop_(hopFor(sampleRate)), window_(hop_ * kFrameHops), windowed_(hop_ * kFrameHops),
      fft_(hop_ * kFrameHops) {
  const std::size_t n = window_.size();
  for (std::size_t i = 0; i < n; ++i)
    window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * kPi * (double(i) + 0.5) / double(n)));
  magnitudes_.reserve(n / 2 + 1);
  const double bin = binHz();
  std::size_t first = std::max<std::size_t>(1, static_cast<std::size_t>(kLowestHz / bin));
  for (double octave = std::log2(kLowestHz) + kBandOctaves; octave <= std::log2(kHighestHz) + 1e-9;
       octave += kBandOctaves) {
    const auto last = std::max(first + kLeastBins, static_cast<std::size_t>(std::exp2(octave) / bin));
    if (last > n / 2) break;
    if (double(last) * bin > std::exp2(octave) + bin) continue;  // this band is in the last one
    bands_.emplace_back(first, last);
    first = last;
  }
  hops_.assign(kKept, Hop{0, 0, std::vector<float>(bands_.size(), kSilenceDb)});
  floor_.assign(bands_.size(), kSilenceDb);
  reference_.assign(bands_.size(), kSilenceDb);
  for (const auto& [from, to] : bands_)
    margin_.push_back(kNoiseReach / std::sqrt(static_cast<float>(to - from)) + 3);
}

double OnsetDetector::binHz() const {
  return rate_ / double(window_.size());
}

const OnsetDetector::Hop& OnsetDetector::hopAgo(std::size_t ago) const {
  return hops_[(newest_ + kKept - ago % kKept) % kKept];
}

float OnsetDetector::lastFlux() const {
  return hopAgo(0).flux;
}

std::optional<long long> OnsetDetector::step(const float* frame, long long end) {
  for (std::size_t i = 0; i < window_.size(); ++i) windowed_[i] = frame[i] * window_[i];
  fft_.magnitudes(windowed_.data(), magnitudes_);
  newest_ = (newest_ + 1) % kKept;
  filled_ = std::min(filled_ + 1, kKept);
  Hop& now = hops_[newest_];
  now.end = end;
  now.flux = fluxOf(now);
  return riseStarts();
}

float OnsetDetector::fluxOf(Hop& now) {
  // A band then is the loudest of some frames: a reed pair's beating sinks a partial for a
  // moment, and rising out of that dip is no new sound.
  std::vector<float>& loudest = reference_;
  for (std::size_t b = 0; b < bands_.size(); ++b) {
    loudest[b] = kSilenceDb;
    for (std::size_t ago = kLag; ago < kLag + kReference; ++ago) loudest[b] = std::max(loudest[b], hopAgo(ago).levels[b]);
  }
  // A full-scale sine fills its bin with a quarter of the frame's length.
  const double scale = 4.0 / double(window_.size());
  for (std::size_t b = 0; b < bands_.size(); ++b) {
    double power = 0;
    for (std::size_t k = bands_[b].first; k < bands_[b].second; ++k)
      power += double(magnitudes_[k]) * magnitudes_[k];
    now.levels[b] = std::max(kSilenceDb, static_cast<float>(10 * std::log10(power * scale * scale + 1e-30)));
  }
  auto then = [&](std::size_t band) { return loudest[band]; };
  float flux = 0;
  int risen = 0;
  for (std::size_t b = 0; b < bands_.size(); ++b) {
    float before = std::max(then(b), floor_[b] + margin_[b]);
    if (b > 0) before = std::max(before, then(b - 1));
    if (b + 1 < bands_.size()) before = std::max(before, then(b + 1));
    flux += std::max(0.0f, now.levels[b] - before - kBandRise);
    if (now.levels[b] - before >= kRisenDb) ++risen;
    const float level = now.levels[b];
    floor_[b] = floor_[b] == kSilenceDb ? level
                : level > floor_[b]     ? std::min(level, floor_[b] + kFloorUp)
                                        : std::max(level, floor_[b] - kFloorDown);
  }
  // A note's partials rise together; a few bands alone are the reeds' beating or a swell.
  return risen >= kLeastRisen ? flux : 0.0f;
}

std::optional<long long> OnsetDetector::riseStarts() {
  if (filled_ < kKept) return std::nullopt;
  float mean = 0;
  for (std::size_t ago = 1; ago < kKept; ++ago) mean += hopAgo(ago).flux;
  mean /= float(kKept - 1);
  const float flux = hopAgo(0).flux;
  const bool above = flux >= kLeastFlux && flux >= kOverMean * mean;
  // One onset for each time the function rises through its threshold.
  const bool starts = above && !above_;
  above_ = above;
  const long long end = hopAgo(0).end;
  if (!starts || double(end - lastOnsetEnd_) < kLeastGapSeconds * rate_) return std::nullopt;
  lastOnsetEnd_ = end;
  return end;
}

std::optional<double> OnsetDetector::place(long long rise) const {
  std::size_t at = 0;
  while (at < filled_ && hopAgo(at).end > rise) ++at;
  if (at >= filled_ || hopAgo(at).end != rise) return std::nullopt;
  // The peak of the rise, within the hops since.
  std::size_t peak = at;
  for (std::size_t ago = at; ago-- > 0;)
    if (hopAgo(ago).flux > hopAgo(peak).flux) peak = ago;
  return placeOnset(peak);
}

double OnsetDetector::placeOnset(std::size_t peak) const {
  // The bands that rose most at the peak: the new notes' partials.
  const Hop& top = hopAgo(peak);
  const Hop& before = hopAgo(peak + kLag);
  std::vector<std::pair<float, std::size_t>> rises;
  for (std::size_t b = 0; b < bands_.size(); ++b)
    if (const float rise = top.levels[b] - std::max(before.levels[b], floor_[b]); rise >= kPlacingRise)
      rises.emplace_back(rise, b);
  std::sort(rises.rbegin(), rises.rend());
  if (rises.size() > kPlacingBands) rises.resize(kPlacingBands);
  // Each began where it first stood kStartDb above its lowest level in the hops before the
  // peak, placed between two hops by straight-line interpolation.
  std::vector<double> starts;
  for (const auto& [rise, b] : rises) {
    std::size_t lowest = peak;
    for (std::size_t ago = peak; ago < std::min(kKept, peak + kPlacingHops); ++ago)
      if (hopAgo(ago).levels[b] < hopAgo(lowest).levels[b]) lowest = ago;
    // Out of noise a band rises where it first stands clear of the noise.
    const float target = std::max(hopAgo(lowest).levels[b] + kStartDb, floor_[b] + margin_[b]);
    for (std::size_t ago = lowest; ago-- > peak;) {
      const float level = hopAgo(ago).levels[b];
      if (level < target) continue;
      const float previous = hopAgo(ago + 1).levels[b];
      const double t = level > previous ? double(target - previous) / double(level - previous) : 1.0;
      starts.push_back(double(hopAgo(ago + 1).end) + t * double(hop_));
      break;
    }
  }
  if (starts.empty()) return double(top.end) - double(window_.size()) / 2;
  std::sort(starts.begin(), starts.end());
  // Partials of a reed speak one after another (the high ones last): the onset is where the
  // first of them rose (a tenth of them: one alone may be the room). New sound enters a frame
  // at its end; under the window's taper a band stands out once the sound has filled about a
  // hop of it.
  return starts[starts.size() / 10] - 2.0 * double(hop_);
}

}  // namespace tastrello::listen
