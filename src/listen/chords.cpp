#include "listen/chords.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "sound/buttons.h"

namespace tastrello::listen {

namespace {

/// Partials weighed for a pitch: the first twelve carry what sets a reed's pitch apart.
constexpr int kPartials = 12;
/// Partials of another pitch heard that may coincide with one of them.
constexpr int kOtherPartials = 16;
/// How far a partial may lie from its place: the reeds of a note beat up to 20 cents apart,
/// the tuning learnt is good to some cents, and the attack wavers; low down a short frame
/// cannot say better than 3 Hz.
constexpr double kToleranceCents = 45, kToleranceHz = 3;
/// Two partials closer than this are one to a frame of 43 ms (the fifth partial lies 14 cents
/// below the tempered major third, the seventh 31 below the minor seventh).
constexpr double kSameCents = 35;
/// Below this the partials of a chord's notes lie closer than a frame of 43 ms can part them:
/// they are weighed neither for nor against a pitch.
constexpr double kPartedHz = 220;
/// Prominence (dB above the floor) at which a partial begins to count, and where it counts
/// whole: the floor is a low percentile, and noise stands up to some 12 dB above it.
constexpr float kFaintest = 12, kFull = 30;
/// A partial's prominence is taken from no lower a floor than this far below the loudest
/// partial: in a silent room the floor sinks to the window's leakage, and the tails of the
/// chords before and a faint bass stand as far above it as the chord itself.
constexpr float kFloorBelowLoudest = 50;
/// The share of a pitch's own partials (weighted, the low ones most) that must be there: for a
/// pitch expected to count as heard, and for one not expected to count as sounding.
constexpr float kExpectedShare = 0.3f, kUnexpectedShare = 0.45f;
/// A pitch not expected must also sound its fundamental or octave, this clearly, and either
/// have begun at the onset or sound no more than this far below the loudest partial: the chord
/// before rings on in the room, steady and faint, while a button held on sounds as loud as
/// the chord.
constexpr float kLeastFundamental = 0.3f, kHeldBelowLoudest = 10;
/// A pitch begins at the onset when its partials rose by this much; it dies away (rings on from
/// before) when they fell by this much.
constexpr float kFreshDb = 6, kDyingDb = -3;
/// A pitch of the chord before counts as played again only this close to the loudest partial.
constexpr float kAgainBelowLoudest = 6;
/// A pitch expected that was not sounding before counts only when its partials rose by this
/// much: one that hangs in the room as loud as before is no button pressed now.
constexpr float kNewDb = 3;
/// The bass side's partials are weighed from here up (a microphone's low end).
constexpr double kBassLowestHz = 100;
/// A pitch has something of its own to weigh when its own partials weigh this much (a partial
/// weighs 1 / its number: the fundamental 1, the fifth partial 0.2).
constexpr float kLeastOwnWeight = 0.4f;
/// A sound never holds more pitches than this (two hands, a few reeds each).
constexpr std::size_t kMostPitches = 8;

float presence(float prominence) {
  return std::clamp((prominence - kFaintest) / (kFull - kFaintest), 0.0f, 1.0f);
}

double toleranceHz(double hz) {
  return std::max(hz * (std::exp2(kToleranceCents / 1200) - 1), kToleranceHz);
}

/// The peak nearest to `hz` within the tolerance, or -1.
int peakNear(const std::vector<Peak>& peaks, double hz) {
  const auto at = std::lower_bound(peaks.begin(), peaks.end(), hz,
                                   [](const Peak& p, double f) { return p.hz < f; });
  int best = -1;
  double distance = toleranceHz(hz);
  for (auto it : {at - (at != peaks.begin() ? 1 : 0), at}) {
    if (it == peaks.end()) continue;
    const double d = std::abs(it->hz - hz);
    if (d <= distance) {
      distance = d;
      best = static_cast<int>(it - peaks.begin());
    }
  }
  return best;
}

/// Whether `hz` is (within kSameCents) one of the first partials of a pitch of fundamental `f0`.
bool isPartialOf(double hz, double f0) {
  const double ratio = hz / f0;
  const double k = std::round(ratio);
  return k >= 1 && k <= kOtherPartials && std::abs(ratio / k - 1) <= std::exp2(kSameCents / 1200) - 1;
}

/// How clearly a pitch sounds in a frame, beside other pitches taken to sound.
struct Evidence {
  float share = 0;        ///< of its own partials' weight, how much is there (0 to 1)
  float found = 0;        ///< that weight, not divided: how much of the sound it explains
  float fundamental = 0;  ///< the presence of its own fundamental or octave, the larger
  float loudestDb = -200; ///< its loudest own partial
  bool hidden = true;     ///< no partial of its own to weigh
  float rise = 0;         ///< dB its own partials rose from the frame before the onset
};

class Weigher {
 public:
  Weigher(const Sound& sound, const PitchSpace& space) : sound_(sound), space_(space) {
    presence_.reserve(sound.after.peaks.size());
    for (const Peak& p : sound.after.peaks) loudest_ = std::max(loudest_, p.db);
    for (const Peak& p : sound.after.peaks)
      presence_.push_back(presence(std::min(p.prominence, p.db - (loudest_ - kFloorBelowLoudest))));
  }

  bool isBass(int pitch) const {
    return space_.treble.empty() ? pitch < 47 : pitch < space_.treble.front();
  }

  /// A pitch's own partials (those that are no partial of `others`) and how much of them sounds.
  /// Too little of its own to weigh (in a close chord of low notes, whose partials a short
  /// frame cannot part) counts as hidden.
  Evidence of(int pitch, const std::vector<int>& others) const {
    Evidence e;
    const double f0 = frequencyOf(pitch, space_.referenceCents);
    const double lowest = isBass(pitch) ? kBassLowestHz : kPartedHz;
    float weighed = 0, found = 0, rose = 0;
    int rises = 0;
    for (int h = 1; h <= kPartials && h * f0 < PeakFinder::kHighestHz; ++h) {
      const double hz = h * f0;
      if (hz < lowest) continue;
      if (std::any_of(others.begin(), others.end(), [&](int o) {
            return o != pitch && isPartialOf(hz, frequencyOf(o, space_.referenceCents));
          }))
        continue;
      const float weight = 1.0f / float(h);
      weighed += weight;
      const int at = peakNear(sound_.after.peaks, hz);
      if (at < 0) continue;
      const Peak& peak = sound_.after.peaks[std::size_t(at)];
      // A peak nearer to a partial of another pitch is that pitch's, not evidence of this one.
      if (nearerToOther(peak.hz, hz, pitch, others)) {
        weighed -= weight;
        continue;
      }
      const float p = presence_[std::size_t(at)];
      found += weight * p;
      if (h <= 2) e.fundamental = std::max(e.fundamental, p);
      if (p > 0) {
        e.loudestDb = std::max(e.loudestDb, peak.db);
        if (h <= 6) {
          rose += peak.db - levelBefore(peak);
          ++rises;
        }
      }
    }
    e.hidden = weighed < kLeastOwnWeight;
    e.share = weighed > 0 ? found / weighed : 0;
    e.found = found;
    e.rise = rises > 0 ? rose / float(rises) : 0;
    return e;
  }

  bool nearerToOther(double peakHz, double partialHz, int pitch, const std::vector<int>& others) const {
    const double distance = std::abs(peakHz - partialHz);
    return std::any_of(others.begin(), others.end(), [&](int o) {
      if (o == pitch) return false;
      const double f = frequencyOf(o, space_.referenceCents);
      const double k = std::round(peakHz / f);
      return k >= 1 && std::abs(peakHz - k * f) < distance;
    });
  }

  /// Whether a pitch that sounds clearly enough is not only what sounded before: a pitch of the
  /// chord before must have begun anew, or sound on as loud as a held button does; any other
  /// must have risen at the onset.
  bool stillSounds(int pitch, const Evidence& e) const {
    if (std::find(sound_.ringing.begin(), sound_.ringing.end(), pitch) == sound_.ringing.end())
      return e.rise >= kNewDb;
    return e.rise >= kFreshDb || (e.rise > kDyingDb && e.loudestDb >= loudest_ - kHeldBelowLoudest);
  }

  /// Whether a pitch of the chord before, ringing on, was played again: it began anew, and as
  /// loud as the chord's own pitches (the tail of a button let go, in a room's reverb, may
  /// swell by a few dB as its reeds beat, but stays well below the chord that followed it).
  bool pressedAgain(const Evidence& e) const {
    return e.rise >= kFreshDb && e.loudestDb >= loudest_ - kAgainBelowLoudest;
  }

  /// Whether a pitch not expected sounds, beside `others`.
  bool sounds(const Evidence& e) const {
    return !e.hidden && e.share >= kUnexpectedShare && e.fundamental >= kLeastFundamental &&
           (e.rise >= kFreshDb || (e.loudestDb >= loudest_ - kHeldBelowLoudest && e.rise > kDyingDb));
  }

  /// Pitches of `candidates` that sound beside `start`, added one at a time, the one that
  /// explains most first (so that a note comes before its octave, whose partials are half of
  /// its own). The partials of the chord heard before the onset, ringing on, are no pitch's
  /// own; a pitch of that chord counts only when it began anew.
  std::vector<int> added(std::vector<int> set, const std::vector<int>& candidates) const {
    const std::size_t start = set.size();
    while (set.size() < kMostPitches) {
      int best = -1;
      float bestFound = 0;
      for (int pitch : candidates) {
        if (std::find(set.begin(), set.end(), pitch) != set.end() || hiddenIn(pitch, set)) continue;
        std::vector<int> others = set;
        others.insert(others.end(), sound_.ringing.begin(), sound_.ringing.end());
        const Evidence e = of(pitch, others);
        const bool ringing = std::find(sound_.ringing.begin(), sound_.ringing.end(), pitch) != sound_.ringing.end();
        if (sounds(e) && (!ringing || pressedAgain(e)) && e.found > bestFound) {
          bestFound = e.found;
          best = pitch;
        }
      }
      if (best < 0) break;
      set.push_back(best);
    }
    return lowered(std::move(set), start, candidates);
  }

  /// Each pitch added replaced by one an octave, twelfth or double octave below it that sounds
  /// beside it, with partials of its own between the added one's: the lower explains the
  /// added one's partials and more. A pitch taken for the clearer of two may well be the
  /// upper partials of the other.
  std::vector<int> lowered(std::vector<int> set, std::size_t start, const std::vector<int>& candidates) const {
    for (std::size_t i = start; i < set.size(); ++i) {
      for (int below : {24, 19, 12}) {
        const int lower = set[i] - below;
        if (!std::binary_search(candidates.begin(), candidates.end(), lower) ||
            std::find(set.begin(), set.end(), lower) != set.end())
          continue;
        std::vector<int> others = set;
        others.insert(others.end(), sound_.ringing.begin(), sound_.ringing.end());
        if (sounds(of(lower, others))) {
          set[i] = lower;
          break;
        }
      }
    }
    // What is now hidden in a lower pitch of the set adds nothing to hear.
    std::vector<int> kept;
    for (int pitch : set)
      if (!hiddenIn(pitch, set)) kept.push_back(pitch);
    return kept;
  }

 private:
  /// The partial's level in the frame before the onset: its peak there, or, where nothing stood
  /// out, the floor under it now (as good a guess as any).
  float levelBefore(const Peak& now) const {
    const int then = peakNear(sound_.before.peaks, now.hz);
    return then >= 0 ? sound_.before.peaks[std::size_t(then)].db : now.db - now.prominence;
  }

  const Sound& sound_;
  const PitchSpace& space_;
  std::vector<float> presence_;
  float loudest_ = -200;
};

std::vector<int> candidatesOf(const PitchSpace& space, const std::vector<int>& also) {
  std::vector<int> pitches = space.treble;
  pitches.insert(pitches.end(), also.begin(), also.end());
  const int lowestTreble = space.treble.empty() ? 47 : space.treble.front();
  for (int pitch = space.lowestBass; pitch < lowestTreble; ++pitch) pitches.push_back(pitch);
  std::sort(pitches.begin(), pitches.end());
  pitches.erase(std::unique(pitches.begin(), pitches.end()), pitches.end());
  return pitches;
}

/// Splits a set found into treble and bass, with whether anything in the treble began.
Hearing hearingOf(const std::vector<int>& set, const Weigher& weigher) {
  Hearing heard;
  for (int pitch : set) {
    if (weigher.isBass(pitch)) {
      heard.bass.push_back(pitch);
      continue;
    }
    heard.treble.push_back(pitch);
    if (weigher.of(pitch, set).rise >= kFreshDb) heard.fresh = true;
  }
  std::sort(heard.treble.begin(), heard.treble.end());
  std::sort(heard.bass.begin(), heard.bass.end());
  return heard;
}

bool allHeard(const std::vector<int>& chord, const std::vector<int>& heard) {
  return std::all_of(chord.begin(), chord.end(), [&](int pitch) {
    return std::binary_search(heard.begin(), heard.end(), pitch) || hiddenIn(pitch, heard);
  });
}

std::vector<int> notIn(const std::vector<int>& from, const std::vector<int>& chord) {
  std::vector<int> rest;
  for (int pitch : from)
    if (!std::binary_search(chord.begin(), chord.end(), pitch)) rest.push_back(pitch);
  return rest;
}

/// The chord taken to sound, the pitches not expected that sound beside it, and which of the
/// chord's pitches sound beside both: what is heard if the learner played (mostly) `chord`.
struct Reading {
  std::vector<int> heard;  ///< sorted
  int faults = 0;          ///< pitches of the chord not heard and pitches heard beside it
  float shareOfChord = 0;  ///< the chord's pitches' shares, summed
};

Reading read(const std::vector<int>& chord, const std::vector<int>& candidates, const Weigher& weigher) {
  const std::vector<int> withExtras = weigher.added(chord, candidates);
  Reading r;
  for (int pitch : withExtras) {
    const bool expected = std::binary_search(chord.begin(), chord.end(), pitch);
    if (!expected) {
      r.heard.push_back(pitch);
      if (!weigher.isBass(pitch)) ++r.faults;
      continue;
    }
    const Evidence e = weigher.of(pitch, withExtras);
    r.shareOfChord += e.share;
    if (e.hidden || (e.share >= kExpectedShare && weigher.stillSounds(pitch, e))) {
      r.heard.push_back(pitch);
    } else {
      ++r.faults;
    }
  }
  std::sort(r.heard.begin(), r.heard.end());
  return r;
}

}  // namespace

double frequencyOf(int pitch, double referenceCents) {
  return 440.0 * std::exp2((pitch - 69) / 12.0 + referenceCents / 1200.0);
}

bool hiddenIn(int pitch, const std::vector<int>& pitches) {
  const double f = frequencyOf(pitch, 0);
  constexpr int kOwnPartials = 4;
  for (int h = 1; h <= kOwnPartials && h * f < PeakFinder::kHighestHz; ++h) {
    const bool shared = std::any_of(pitches.begin(), pitches.end(), [&](int low) {
      return low < pitch && isPartialOf(h * f, frequencyOf(low, 0));
    });
    if (!shared) return false;
  }
  return true;
}

PitchSpace pitchSpaceOf(const ButtonNotes& notes, double referenceCents) {
  PitchSpace space;
  space.referenceCents = referenceCents;
  for (const auto& note : notes)
    if (note && *note > 0 && *note < 128) space.treble.push_back(*note);
  std::sort(space.treble.begin(), space.treble.end());
  space.treble.erase(std::unique(space.treble.begin(), space.treble.end()), space.treble.end());
  return space;
}

Expectation expectationOf(const std::vector<int>& buttons, const ButtonNotes& notes) {
  Expectation expected;
  for (int button : buttons) {
    if (button < 0 || button >= 2 * kButtonsPerBlock) continue;
    const int other = isPushButton(button) ? button - kButtonsPerBlock : button + kButtonsPerBlock;
    if (const auto& p = notes[std::size_t(button)]; p && *p > 0) expected.pitches.push_back(*p);
    if (const auto& p = notes[std::size_t(other)]; p && *p > 0) expected.otherSide.push_back(*p);
  }
  for (auto* chord : {&expected.pitches, &expected.otherSide}) {
    std::sort(chord->begin(), chord->end());
    chord->erase(std::unique(chord->begin(), chord->end()), chord->end());
  }
  return expected;
}

Hearing hear(const Sound& sound, const PitchSpace& space) {
  const Weigher weigher(sound, space);
  return hearingOf(weigher.added({}, candidatesOf(space, {})), weigher);
}

Judgement judge(const Sound& sound, const Expectation& expected, const PitchSpace& space) {
  const Weigher weigher(sound, space);
  std::vector<int> both = expected.pitches;
  both.insert(both.end(), expected.otherSide.begin(), expected.otherSide.end());
  const std::vector<int> candidates = candidatesOf(space, both);
  // Read as the chord expected and as its other side; the reading with fewer faults wins (of
  // equals, the one whose pitches sound more clearly, and then the one expected).
  const Reading asExpected = read(expected.pitches, candidates, weigher);
  const Reading asOther = read(expected.otherSide, candidates, weigher);
  const bool otherWins = !expected.otherSide.empty() && expected.otherSide != expected.pitches &&
                         (asOther.faults < asExpected.faults ||
                          (asOther.faults == asExpected.faults && asOther.shareOfChord > asExpected.shareOfChord + 0.2f));
  const Reading& reading = otherWins ? asOther : asExpected;

  Judgement j;
  j.heard = hearingOf(reading.heard, weigher);
  const auto& heard = j.heard.treble;
  if (heard.empty()) {
    j.verdict = Verdict::Nothing;
  } else if (allHeard(expected.pitches, heard) && notIn(heard, expected.pitches).empty()) {
    j.verdict = Verdict::Right;
  } else if (!expected.otherSide.empty() && expected.otherSide != expected.pitches &&
             allHeard(expected.otherSide, heard) && notIn(heard, expected.otherSide).empty()) {
    j.verdict = Verdict::WrongDirection;
  } else {
    j.verdict = Verdict::WrongNotes;
    for (int pitch : expected.pitches)
      if (!allHeard({pitch}, heard)) j.missing.push_back(pitch);
    j.extra = notIn(heard, expected.pitches);
  }
  return j;
}

}  // namespace tastrello::listen
