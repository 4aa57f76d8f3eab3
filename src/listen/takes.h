// Takes (the chords heard in a recording) against a lesson and as a tune: the chords heard laid
// on the lesson's events by their moments and judged against each event's buttons, or laid on a
// beat as a tune for the import (exchange/tune.h) to put on its grid and finger. Pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "exchange/tune.h"
#include "listen/listener.h"

namespace tastrello::listen {

struct LessonVerdict {
  enum class Kind : std::uint8_t { Right, WrongDirection, WrongNotes, Missed, Rest };
  int event = 0;  ///< its number in the lesson, from 1
  Kind kind = Kind::Missed;
  std::vector<int> missing, extra;    ///< pitches, for WrongNotes
  std::optional<double> deviationMs;  ///< a chord heard: its onset against its place
};

struct TakeAgainstLesson {
  std::vector<LessonVerdict> events;  ///< one for each event of the lesson, in order
  int unplaced = 0;                   ///< chords heard that no event was near
};

/// The chords heard judged against the lesson's events (its button lines and rest markers).
/// The first chord heard fixes where the lesson's first chord lies; from there each chord lies
/// its steps of `secondsPerStep` on, and is matched with the chord heard nearest to that place
/// (within half a step) and judged against its buttons. Rests are rests; a ringing rest belongs
/// to the chord before it.
TakeAgainstLesson judgeTake(const std::vector<Heard>& heard, const std::vector<std::string>& buttonLines,
                            const ButtonNotes& notes, const PitchSpace& space, double sampleRate,
                            double secondsPerStep);

/// The chords heard as a tune at `beatsPerMinute`: each chord's pitches from its onset to the
/// silence after it or the next chord, the first chord on the first beat.
Tune tuneOfTake(const std::vector<Heard>& heard, double sampleRate, double beatsPerMinute);

/// The tempo a take was played at, for when none is given: the commonest distance between its
/// chords' onsets taken as a beat (20 to 300 beats a minute); nothing with fewer than two chords.
std::optional<double> tempoOfTake(const std::vector<Heard>& heard, double sampleRate);

}  // namespace tastrello::listen
