// What a short frame of sound holds: the peaks of its spectrum (the partials of the reeds),
// each with its frequency, its level and how far it stands above the spectrum's floor (noise,
// the window's leakage, the room). Everything after this sees partials, never samples.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "listen/fft.h"

namespace tastrello::listen {

struct Peak {
  float hz = 0;          ///< interpolated between the bins
  float db = 0;          ///< level, 0 dB: a full-scale sine
  float prominence = 0;  ///< dB above the floor of the spectrum around it
};

struct FramePeaks {
  std::vector<Peak> peaks;  ///< in order of frequency
  float levelDb = -120;     ///< the frame's RMS, 0 dB: a full-scale sine
  float peakSample = 0;     ///< the largest magnitude of a sample
};

/// Finds the peaks of frames of one length (Hann window, zero-padded four times so that the
/// interpolated frequencies are good to a fraction of a bin) between 50 Hz and 6 kHz.
class PeakFinder {
 public:
  PeakFinder(double sampleRate, std::size_t frameLength);
  std::size_t frameLength() const { return window_.size(); }
  /// Peaks standing at least `kLeast` dB above the floor (a low percentile of the spectrum
  /// around each point) and within `kRangeDb` of the loudest, the strongest `kMostPeaks` kept.
  void find(const float* frame, FramePeaks& out);

  static constexpr float kLeast = 6;
  static constexpr std::size_t kMostPeaks = 160;
  static constexpr double kLowestHz = 50, kHighestHz = 6000;
  /// Peaks more than this far below the loudest are dropped.
  static constexpr float kRangeDb = 60;

 private:
  void estimateFloor();
  bool isSideLobe(std::size_t bin) const;

  double rate_;
  std::vector<float> window_;
  RealFft fft_;
  std::vector<float> padded_, magnitudes_, db_, floor_, scratch_;
  std::vector<std::pair<double, float>> floorPoints_;
  std::size_t firstBin_ = 0, lastBin_ = 0;
};

}  // namespace tastrello::listen
