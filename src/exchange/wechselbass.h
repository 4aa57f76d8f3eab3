// The left hand's accompaniment to a melody with chord symbols: the "Wechselbass" of polka,
// march and waltz, fingered on the instrument's bass side.
//
// Each beat of the record's meter gets a bass or a chord of the harmony in force: a bar of an
// even number of beats (polka, march) bass-chord on each pair of beats, a bar of three (waltz)
// bass-chord-chord, bars of nine beats by threes. The basses of one harmony alternate between
// its fundamental and its fifth, starting from the fundamental at each change of harmony. The button is the one of the bass side that sounds that note (a bass) or that
// triad (a chord) in the bellows direction the melody leaves: the treble chord's while one
// sounds; in a silence the direction of the chord before it (the bellows do not turn in a
// rest), or the other when only that one has the button. Of several buttons, the one nearest
// the button before.
#pragma once

#include <string>
#include <vector>

#include "exchange/tune.h"
#include "instrument/instrument.h"
#include "records/meter.h"
#include "records/record_hands.h"

namespace tastrello {

/// A chord symbol on the record's grid: the step it starts at, its root's pitch class (-1: no
/// chord from here on) and whether its triad is minor.
struct RecordHarmony {
  long long step = 0;
  int root = 0;
  bool minor = false;
  bool operator==(const RecordHarmony&) const = default;
};

/// The tune's chord symbols on the record its notes became: a symbol before the record's start
/// is in force at its start, symbols past its end are left out.
std::vector<RecordHarmony> harmoniesOnRecord(const Tune& tune, const ImportResult& imported);

enum class BassBeat : std::uint8_t { Bass, Chord };

/// What each beat of a bar plays.
std::vector<BassBeat> barPattern(int beatsPerBar);

/// A beat left without accompaniment: the bass side has no button for it in any direction the
/// melody leaves.
struct BassGap {
  long long step = 0;
  int pitchClass = 0;  ///< the bass wanted, or the chord's root
  bool chord = false;
  bool minor = false;
  bool operator==(const BassGap&) const = default;
};

struct Accompaniment {
  std::vector<HandButton> bass;  ///< in order of event
  std::vector<BassGap> gaps;
};

/// The Wechselbass for a record (its button lines and its treble buttons beside the record
/// file) in its meter, from its chord symbols, on the instrument's bass side.
Accompaniment wechselbass(const std::vector<std::string>& buttonLines, const RecordHands& beside,
                          const Meter& meter, const std::vector<RecordHarmony>& harmonies,
                          const Instrument& instrument);

/// The left hand of an imported tune (`Tune::bassNotes`) on the record its melody became:
/// the notes starting together are one bass button's, the one that sounds exactly them in the
/// bellows direction the tune gives at their moment. `unplaced` counts the onsets no button
/// sounds and those outside the record.
std::vector<HandButton> bassOfTune(const Tune& tune, const ImportResult& imported,
                                   const Instrument& instrument, int& unplaced);

/// Whether a tune brings a left hand to import: chord symbols, or notes of its own.
inline bool hasLeftHand(const Tune& tune) {
  return !tune.harmonies.empty() || !tune.bassNotes.empty();
}

/// The left hand of an imported tune on its record (its button lines, and the treble buttons
/// the import put beside them): the Wechselbass of its chord symbols when it has any, else the
/// bass of its left hand's notes. What has no button
/// is left out and counted: the Wechselbass's beats (`gaps`) or the notes (`unplaced`).
struct ImportedBass {
  std::vector<HandButton> buttons;
  std::vector<BassGap> gaps;
  int unplaced = 0;
};
ImportedBass bassOfImport(const Tune& tune, const ImportResult& imported,
                          const std::vector<std::string>& buttonLines,
                          const Instrument& instrument);

}  // namespace tastrello
