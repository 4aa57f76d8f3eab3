// Tuning in: the learner plays a few given chords, push and pull, and the program learns the
// instrument's pitch (its A against 440 Hz: accordions are tuned from 440 to 446 Hz, and the
// reeds of a note beat around it) and how loud it arrives, and says whether it hears too
// little (nothing, or chords too faint against the room) or too much (the sound clipped).
// Fed like the listener; the partials of long frames are compared with the chords' own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "listen/peaks.h"

namespace tastrello::listen {

struct TuningReport {
  enum class Status : std::uint8_t {
    Fine,
    NothingHeard,  ///< none of the chords was heard
    TooQuiet,      ///< heard, but too faint or too close to the room's noise to judge well
    TooLoud,       ///< the sound clipped: the microphone or its gain is set too high
  };
  Status status = Status::NothingHeard;
  double referenceCents = 0;  ///< the instrument's A against 440 Hz (A = 446 Hz: +23.4)
  double levelDb = -120;      ///< the chords' level (RMS), 0 dB: a full-scale sine
  double noiseDb = -120;      ///< the level between them
  int chordsHeard = 0;        ///< of the chords given, how many were heard
  long long clippedSamples = 0;
};

class TuningIn {
 public:
  /// The chords the learner is asked to play (each its pitches), in any order.
  TuningIn(double sampleRate, std::vector<std::vector<int>> chords);

  void feed(const float* samples, std::size_t count);
  /// What was learnt from everything fed so far.
  TuningReport report() const;

  /// Below this the chords are too faint; closer than this to the noise, too.
  static constexpr double kQuietestDb = -50, kLeastAboveNoiseDb = 15;

 private:
  void analyse();
  /// The peak of the last frame nearest to `hz` within the widest tuning, or -1.
  int nearestWithin(double hz) const;
  /// Whether `hz` lies within the widest tuning of a partial of another pitch of the chord.
  static bool nearOtherPartial(double hz, int pitch, const std::vector<int>& chord);

  struct Deviation {
    float cents = 0, weight = 0;
  };
  double rate_;
  std::vector<std::vector<int>> chords_;
  PeakFinder peaks_;
  std::vector<float> frame_;
  std::size_t filled_ = 0, hop_;
  FramePeaks found_;
  std::vector<Deviation> deviations_;
  std::vector<float> chordLevels_, frameLevels_;
  std::vector<bool> heard_;
  long long clipped_ = 0;
};

}  // namespace tastrello::listen
