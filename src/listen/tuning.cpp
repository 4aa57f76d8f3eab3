#include "listen/tuning.h"

#include <algorithm>
#include <cmath>

#include "listen/chords.h"

namespace tastrello::listen {

namespace {

/// A partial counts for the pitch it is nearest to within this (an instrument tuned at 446 Hz
/// lies 23 cents above 440, and its reeds beat up to 20 cents around that).
constexpr double kWidestCents = 70;
constexpr int kPartials = 8, kMeasuredPartials = 4;
/// A frame holds a chord when more than this share of its notes sound, each with two of its
/// first three partials standing this far above the floor.
constexpr double kChordShare = 0.6;
constexpr float kClearDb = 20;
constexpr float kClipping = 0.999f;

double frameSeconds(double rate) {
  return rate > 60000 ? 8192 / rate : 4096 / rate;
}

double weightedMedian(std::vector<std::pair<float, float>> values) {
  std::sort(values.begin(), values.end());
  double total = 0;
  for (const auto& v : values) total += v.second;
  double running = 0;
  for (const auto& [value, weight] : values) {
    running += weight;
    if (running >= total / 2) return value;
  }
  return values.empty() ? 0.0 : values.back().first;
}

}  // namespace

TuningIn::TuningIn(double sampleRate, std::vector<std::vector<int>> chords)
    : rate_(sampleRate), chords_(std::move(chords)),
      peaks_(sampleRate, static_cast<std::size_t>(std::lround(frameSeconds(sampleRate) * sampleRate))),
      frame_(peaks_.frameLength()), hop_(peaks_.frameLength() / 2), heard_(chords_.size(), false) {}

void TuningIn::feed(const float* samples, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (std::abs(samples[i]) >= kClipping) ++clipped_;
    frame_[filled_++] = samples[i];
    if (filled_ == frame_.size()) {
      analyse();
      // Frames overlap by half.
      std::copy(frame_.begin() + long(hop_), frame_.end(), frame_.begin());
      filled_ -= hop_;
    }
  }
}

void TuningIn::analyse() {
  peaks_.find(frame_.data(), found_);
  frameLevels_.push_back(found_.levelDb);
  // Which chord the frame holds: the one most of whose notes sound their first partials
  // (anywhere within the widest tuning), of equals the one whose partials carry most of the
  // frame's peaks.
  std::size_t bestChord = chords_.size();
  double bestNotes = kChordShare, bestCarried = 0;
  std::vector<Deviation> bestDeviations, deviations;
  for (std::size_t c = 0; c < chords_.size(); ++c) {
    deviations.clear();
    double carried = 0;
    int sounding = 0;
    for (int pitch : chords_[c]) {
      int low = 0;
      for (int h = 1; h <= kPartials; ++h) {
        const int at = nearestWithin(h * frequencyOf(pitch, 0));
        if (at < 0) continue;
        const Peak& p = found_.peaks[std::size_t(at)];
        if (p.prominence < kClearDb) continue;
        if (h <= 3) ++low;
        carried += p.prominence;
        // The pitch is measured on its first partials alone, where they are no partial of
        // another note of the chord (a major third's fourth partial lies 14 cents above the
        // root's fifth).
        if (h <= kMeasuredPartials && !nearOtherPartial(p.hz, pitch, chords_[c]))
          deviations.push_back({static_cast<float>(1200 * std::log2(p.hz / (h * frequencyOf(pitch, 0)))),
                                std::min(p.prominence, 30.0f)});
      }
      if (low >= 2) ++sounding;
    }
    const double notes = chords_[c].empty() ? 0 : double(sounding) / double(chords_[c].size());
    if (notes > bestNotes || (notes == bestNotes && bestChord < chords_.size() && carried > bestCarried)) {
      bestNotes = notes;
      bestCarried = carried;
      bestChord = c;
      bestDeviations = deviations;
    }
  }
  if (bestChord == chords_.size()) return;
  heard_[bestChord] = true;
  chordLevels_.push_back(found_.levelDb);
  deviations_.insert(deviations_.end(), bestDeviations.begin(), bestDeviations.end());
}

bool TuningIn::nearOtherPartial(double hz, int pitch, const std::vector<int>& chord) {
  return std::any_of(chord.begin(), chord.end(), [&](int other) {
    if (other == pitch) return false;
    for (int h = 1; h <= kPartials; ++h)
      if (std::abs(1200 * std::log2(hz / (h * frequencyOf(other, 0)))) <= kWidestCents) return true;
    return false;
  });
}

int TuningIn::nearestWithin(double hz) const {
  int best = -1;
  double nearest = kWidestCents;
  for (std::size_t i = 0; i < found_.peaks.size(); ++i) {
    const double cents = std::abs(1200 * std::log2(found_.peaks[i].hz / hz));
    if (cents <= nearest) {
      nearest = cents;
      best = static_cast<int>(i);
    }
  }
  return best;
}

TuningReport TuningIn::report() const {
  TuningReport r;
  r.clippedSamples = clipped_;
  r.chordsHeard = static_cast<int>(std::count(heard_.begin(), heard_.end(), true));
  if (!frameLevels_.empty()) {
    std::vector<float> levels = frameLevels_;
    std::sort(levels.begin(), levels.end());
    r.noiseDb = levels[levels.size() / 20];  // the quietest frames: between the chords
  }
  if (chordLevels_.empty()) {
    r.status = clipped_ > 0 ? TuningReport::Status::TooLoud : TuningReport::Status::NothingHeard;
    return r;
  }
  std::vector<float> levels = chordLevels_;
  std::sort(levels.begin(), levels.end());
  r.levelDb = levels[levels.size() / 2];
  // A first look over the whole width, then again close around it: partials of another
  // chord's notes that happened to fall near stay out.
  std::vector<std::pair<float, float>> all;
  for (const Deviation& d : deviations_) all.emplace_back(d.cents, d.weight);
  const double first = weightedMedian(all);
  std::vector<std::pair<float, float>> near;
  for (const auto& d : all)
    if (std::abs(d.first - first) <= 30) near.push_back(d);
  r.referenceCents = near.empty() ? first : weightedMedian(near);
  if (clipped_ > 0)
    r.status = TuningReport::Status::TooLoud;
  else if (r.levelDb < kQuietestDb || r.levelDb - r.noiseDb < kLeastAboveNoiseDb)
    r.status = TuningReport::Status::TooQuiet;
  else
    r.status = TuningReport::Status::Fine;
  return r;
}

}  // namespace tastrello::listen
