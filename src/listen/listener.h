// Listening to a stream of sound, block by block as a capture delivers it: onsets are found,
// and for each the frames just after it (ending 45 ms after it: the verdict comes then) and
// just before it are weighed against the chord expected, or, with none expected, said as the
// pitches that sound. A chord that the first look finds neither right nor the wrong way round
// gets a second look 10 ms later, against the same chord expected: a reed slow to speak, reeds
// beating in a null or the chord before still dying away can hide a note from one frame and
// not from the next. The end of each chord heard is told too (for rhythm). Compiled
// unchanged for the desktop and the web page's audio worklet: buffers are made when the
// listener is, and a block of any size can be fed.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "listen/chords.h"
#include "listen/onsets.h"
#include "listen/peaks.h"

namespace tastrello::listen {

/// Something heard: a chord that began, or the silence after one.
struct Heard {
  enum class Kind : std::uint8_t { Chord, Silence } kind = Kind::Chord;
  double at = 0;           ///< the moment, in samples of the stream from 0 (a fraction of one)
  long long decidedAt = 0; ///< the samples fed when it was told
  bool judged = false;     ///< against a chord expected (`judgement.verdict` says how it went)
  Judgement judgement;     ///< what sounds (`judgement.heard`) and, judged, the verdict
  Sound sound;             ///< the frames it was heard from: to judge it again later
};

class Listener {
 public:
  Listener(double sampleRate, PitchSpace space);

  /// The chord the next onsets are judged against; nothing: they are only heard.
  void expect(std::optional<Expectation> chord);
  /// The pitch reference (cents from A = 440 Hz), as tuning in learnt it.
  void setReference(double cents) { space_.referenceCents = cents; }
  const PitchSpace& space() const { return space_; }

  /// Samples of one channel, in the order they were captured.
  void feed(const float* samples, std::size_t count);
  /// What was heard since the last call, in order of moment.
  std::vector<Heard> take();

  long long position() const { return position_; }
  double sampleRate() const { return rate_; }
  /// How long after an onset its verdict is given, and how much later the second look's.
  static constexpr double kVerdictSeconds = 0.045, kSecondLookSeconds = 0.010;

 private:
  void onHop();
  Heard firstLook(double onset);
  void secondLook(Heard& heard, const Expectation& expected);
  void tell(Heard heard);
  void followChord();
  void copyFrame(long long end, std::size_t length, std::vector<float>& out) const;

  double rate_;
  PitchSpace space_;
  std::optional<Expectation> expected_;
  OnsetDetector onsets_;
  PeakFinder peaks_;
  std::vector<float> ring_;  ///< the last samples, a power of two of them
  long long position_ = 0;
  long long nextHop_ = 0;
  std::vector<long long> rising_;  ///< onsets' rises waiting to be placed
  /// Onsets waiting for their frames, each with its first look once taken and the chord it
  /// was judged against.
  struct Pending {
    double onset = 0;
    std::optional<Heard> looked;
    std::optional<Expectation> expected;
  };
  std::vector<Pending> pending_;
  std::vector<float> frame_;
  std::vector<Heard> heard_;
  /// The chord sounding: its partials' bins in the detector's frames, its loudest level there.
  struct Sounding {
    std::vector<int> pitches;
    std::vector<std::size_t> bins;
    float loudestDb = -200;
    bool active = false;
    bool faded = false;  ///< fell well below its loudest since it began
  } sounding_;
};

}  // namespace tastrello::listen
