#include "listen/peaks.h"

#include <algorithm>
#include <cmath>

namespace tastrello::listen {

namespace {

constexpr std::size_t kPadding = 4;
constexpr double kPi = 3.14159265358979323846;
/// The floor is a low percentile of the spectrum half an octave around each point: low enough
/// to sit in the valleys between the partials of a chord even where its notes lie close, high
/// enough to follow coloured noise.
constexpr double kFloorSpan = 1.0 / 2, kFloorStep = 1.0 / 6, kFloorPercentile = 0.10;
/// A local maximum this close to one this much stronger is leakage of its window (a side
/// lobe), not a partial: the Hann window's side lobes lie 31 dB down within three bins.
constexpr std::size_t kSideLobeBins = 3;
constexpr float kSideLobeDb = 20;

float toDb(float amplitude) {
  return 20.0f * std::log10(std::max(amplitude, 1e-7f));
}

}  // namespace

PeakFinder::PeakFinder(double sampleRate, std::size_t frameLength)
    : rate_(sampleRate), window_(frameLength), fft_(frameLength * kPadding) {
  for (std::size_t i = 0; i < frameLength; ++i)
    window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * kPi * (double(i) + 0.5) / double(frameLength)));
  const std::size_t size = frameLength * kPadding;
  padded_.assign(size, 0.0f);
  magnitudes_.reserve(size / 2 + 1);
  const double binHz = sampleRate / double(size);
  firstBin_ = static_cast<std::size_t>(kLowestHz / binHz);
  lastBin_ = std::min(size / 2 - 1, static_cast<std::size_t>(kHighestHz / binHz));
  db_.assign(size / 2 + 1, -140.0f);
  floor_.assign(size / 2 + 1, -140.0f);
  scratch_.reserve(size / 2 + 1);
  floorPoints_.reserve(std::size_t(std::log2(kHighestHz / kLowestHz) / kFloorStep) + 4);
}

void PeakFinder::find(const float* frame, FramePeaks& out) {
  out.peaks.clear();
  const std::size_t length = window_.size();
  double energy = 0, windowSum = 0;
  float largest = 0;
  for (std::size_t i = 0; i < length; ++i) {
    energy += double(frame[i]) * frame[i];
    largest = std::max(largest, std::abs(frame[i]));
    padded_[i] = frame[i] * window_[i];
    windowSum += window_[i];
  }
  out.levelDb = toDb(static_cast<float>(std::sqrt(2 * energy / double(length))));
  out.peakSample = largest;
  fft_.magnitudes(padded_.data(), magnitudes_);
  const auto scale = static_cast<float>(2 / windowSum);
  for (std::size_t k = firstBin_ - 1; k <= lastBin_ + 1; ++k) db_[k] = toDb(magnitudes_[k] * scale);
  estimateFloor();

  const double binHz = rate_ / double(fft_.size());
  for (std::size_t k = firstBin_; k <= lastBin_; ++k) {
    const float a = db_[k - 1], b = db_[k], c = db_[k + 1];
    if (!(b > a && b >= c) || b - floor_[k] < kLeast || isSideLobe(k)) continue;
    const float curvature = a - 2 * b + c;
    const float offset = curvature < 0 ? 0.5f * (a - c) / curvature : 0.0f;
    const float level = b - 0.25f * (a - c) * offset;
    out.peaks.push_back({static_cast<float>((double(k) + offset) * binHz), level, level - floor_[k]});
  }
  // What lies far below the loudest partial is the window's leakage or the microphone's own
  // noise, not the instrument.
  float loudest = -200;
  for (const Peak& p : out.peaks) loudest = std::max(loudest, p.db);
  out.peaks.erase(std::remove_if(out.peaks.begin(), out.peaks.end(),
                                 [&](const Peak& p) { return p.db < loudest - kRangeDb; }),
                  out.peaks.end());
  if (out.peaks.size() > kMostPeaks) {
    std::nth_element(out.peaks.begin(), out.peaks.begin() + long(kMostPeaks), out.peaks.end(),
                     [](const Peak& x, const Peak& y) { return x.prominence > y.prominence; });
    out.peaks.resize(kMostPeaks);
    std::sort(out.peaks.begin(), out.peaks.end(),
              [](const Peak& x, const Peak& y) { return x.hz < y.hz; });
  }
}

bool PeakFinder::isSideLobe(std::size_t bin) const {
  const std::size_t reach = kSideLobeBins * kPadding;
  const std::size_t from = bin > reach ? bin - reach : 0;
  const std::size_t to = std::min(db_.size() - 1, bin + reach);
  for (std::size_t k = from; k <= to; ++k)
    if (db_[k] >= db_[bin] + kSideLobeDb) return true;
  return false;
}

void PeakFinder::estimateFloor() {
  const double binHz = rate_ / double(fft_.size());
  // At the low end half an octave is narrow against the window's main lobe: at least five
  // bins of the unpadded frame each side.
  const double leastSpanHz = 5.0 * kPadding * binHz;
  auto& points = floorPoints_;  // (log2 of the centre, floor)
  points.clear();
  for (double octave = std::log2(kLowestHz); octave <= std::log2(kHighestHz) + kFloorStep;
       octave += kFloorStep) {
    const double centre = std::exp2(octave);
    const double span = std::max(centre * (std::exp2(kFloorSpan) - 1), leastSpanHz);
    const auto lo = std::max(firstBin_, static_cast<std::size_t>((centre - span) / binHz));
    const auto hi = std::min(lastBin_, static_cast<std::size_t>((centre + span) / binHz));
    if (hi <= lo) continue;
    scratch_.assign(db_.begin() + long(lo), db_.begin() + long(hi) + 1);
    const auto nth = scratch_.begin() + long(double(scratch_.size() - 1) * kFloorPercentile);
    std::nth_element(scratch_.begin(), nth, scratch_.end());
    points.emplace_back(octave, *nth);
  }
  std::size_t p = 0;
  for (std::size_t k = firstBin_; k <= lastBin_; ++k) {
    const double octave = std::log2(std::max(double(k) * binHz, 1.0));
    while (p + 2 < points.size() && points[p + 1].first < octave) ++p;
    const auto& [x0, y0] = points[p];
    const auto& [x1, y1] = points[std::min(p + 1, points.size() - 1)];
    const double t = x1 > x0 ? std::clamp((octave - x0) / (x1 - x0), 0.0, 1.0) : 0.0;
    floor_[k] = static_cast<float>(y0 + (y1 - y0) * t);
  }

}

}  // namespace tastrello::listen
