// Onsets in a stream of sound: where a chord begins. Each hop the spectrum of the last frame
// is summed into bands a semitone wide (wider at the low end); how far the bands rose against
// the frame four hops before is the detection function. A band is compared with the loudest of
// its neighbours then, so that beating reeds and a wavering pitch do not count as new sound,
// and with its own noise (a low quantile of its level, followed), so that the room's and the
// bellows' noise never counts. Where the function rises through a threshold that follows the
// recent past an onset begins; once its rise is over, its moment is placed where the bands
// that rose most began to rise, between the hops.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "listen/fft.h"

namespace tastrello::listen {

class OnsetDetector {
 public:
  explicit OnsetDetector(double sampleRate);
  std::size_t hop() const { return hop_; }
  std::size_t frameLength() const { return window_.size(); }

  /// The frame of the last `frameLength()` samples, which end at sample `end` of the stream;
  /// called once a hop. Returns `end` when an onset's rise began in this frame: where it lies is
  /// told by `place` once the rise is over.
  std::optional<long long> step(const float* frame, long long end);
  /// Where the onset whose rise began in the frame ending at `rise` lies (in samples of the
  /// stream), from the bands that rose most; ask `kPlaceAfterSeconds` after `rise`. Nothing when
  /// that frame is no longer kept.
  std::optional<double> place(long long rise) const;
  static constexpr double kPlaceAfterSeconds = 0.03;

  /// The detection function of the last frame: dB of rise summed over the bands.
  float lastFlux() const;

  /// The bins of this detector's frames (for following a chord's partials).
  double binHz() const;
  const std::vector<float>& magnitudes() const { return magnitudes_; }

 private:
  struct Hop {
    long long end = 0;
    float flux = 0;
    std::vector<float> levels;  ///< per band, dB
  };
  const Hop& hopAgo(std::size_t ago) const;
  float fluxOf(Hop& now);
  std::optional<long long> riseStarts();
  double placeOnset(std::size_t ago) const;

  double rate_;
  std::size_t hop_;
  std::vector<float> window_, windowed_, magnitudes_;
  RealFft fft_;
  std::vector<std::pair<std::size_t, std::size_t>> bands_;  ///< bins [first, last)
  std::vector<Hop> hops_;       ///< the last hops, a ring
  std::size_t newest_ = 0, filled_ = 0;
  std::vector<float> reference_;  ///< each band's level before, for the hop at hand
  std::vector<float> floor_;   ///< each band's floor: a low quantile of its level, followed
  std::vector<float> margin_;  ///< how far above its floor a band's noise still reaches
  long long lastOnsetEnd_ = -1000000000;
  bool above_ = false;  ///< the detection function stood above its threshold the hop before
};

}  // namespace tastrello::listen
