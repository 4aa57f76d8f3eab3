// The listener run over corpus takes as practice would run it (the chord expected set between
// one chord and the next, the sound fed in blocks of the web's 128 frames), each chord of the
// take matched with the chord heard nearest to it, and the outcomes counted into a confusion
// table with the figures the listening is held to.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "listen/chords.h"
#include "listen_corpus.h"

namespace tastrello::testing {

/// What a chord of a take really was, as far as sound can tell.
enum class Truth : std::uint8_t {
  Right,
  WrongDirection,
  SameBothWays,    ///< the bellows the wrong way, but the buttons sound the same on both sides
  WrongButton,
  MissingButton,
  OctaveOnly,      ///< a wrong or missing button that only adds or takes an octave of a note
  kCount
};
const char* nameOf(Truth truth);
Truth truthOf(const CorpusChord& chord, const ButtonNotes& notes);

/// Columns of the table: the verdicts, and no chord heard near it.
constexpr int kColumns = 5;
int columnOf(listen::Verdict verdict);

struct ChordOutcome {
  Truth truth = Truth::Right;
  bool heard = false;
  listen::Verdict verdict = listen::Verdict::Nothing;
  double onsetErrorMs = 0;  ///< heard minus played
  double latencyMs = 0;     ///< from the moment played to the verdict
  std::vector<int> expected, played, found;
};

struct TakeOutcome {
  std::vector<ChordOutcome> chords;
  int spurious = 0;          ///< chords heard that were not played
  std::vector<std::pair<double, std::vector<int>>> unmatched;  ///< their moments (s) and pitches
  double audioSeconds = 0;
  double listenSeconds = 0;  ///< processor time the listener took
};

/// The take through a listener tuned `referenceCents` from A = 440 Hz.
TakeOutcome listenTo(const CorpusTake& take, const std::vector<float>& audio, double referenceCents,
                     std::size_t block = 128);

/// The pitch reference a take's tuning-in phrase gives (its cents from A = 440 Hz), or nothing.
std::optional<double> tuneIn(const CorpusTake& tuning, const std::vector<float>& audio);

struct Tally {
  std::array<std::array<int, kColumns>, std::size_t(Truth::kCount)> table{};
  std::vector<double> onsetErrors, signedOnsetErrors, latencies;
  int spurious = 0;
  double audioSeconds = 0, listenSeconds = 0;

  void add(const TakeOutcome& outcome);
  int count(Truth truth) const;
  int count(Truth truth, listen::Verdict verdict) const;
  /// Shares, from 0 to 1.
  double rightAsRight() const;
  double wrongDirectionAsSuch() const;
  double wrongAsRight() const;  ///< wrong buttons, missing ones and the bellows the wrong way
  static double percentile(std::vector<double> values, double p);
  void print(std::FILE* out) const;
};

}  // namespace tastrello::testing
