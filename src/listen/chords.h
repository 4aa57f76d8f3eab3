// Which of the instrument's pitches sound in a frame, and how that compares with the chord
// expected. The accordion's reeds are rich in partials, so a pitch is weighed by its own
// partials: those that are no partial of another pitch taken to sound (within a frame's
// reach). A pitch sounds when enough of the weight of its own partials is there (the low ones
// weigh most); a pitch expected needs less than one that is not, which must also sound its
// fundamental or octave and have begun at the onset (or be as loud as a held button: the chord
// before ringing on in the room is no new note). An expected pitch must have risen at the onset
// too, unless the chord before held it: what only hangs in the room is no button pressed now.
// A partial counts by how far it stands above the spectrum's floor, and never from deeper than
// some way below the loudest partial (a silent room's floor is the window's leakage). The sound is read twice, as the chord expected
// and as the same buttons on the other side, each with the pitches that sound beside it; the
// reading with fewer faults wins. The candidates are the pitches the layout has (the treble)
// and the bass side's notes below them. Plain data and pure functions.
#pragma once

#include <cstdint>
#include <vector>

#include "input/hands.h"
#include "listen/peaks.h"

namespace tastrello::listen {

/// Whether each of the first four partials of `pitch` (those below 6 kHz) is a partial of one of
/// the lower `pitches`: the octave, twelfth, double octave, major third and fifth two octaves up
/// of a note sound as more of the note's own partials, not as a pitch of their own.
bool hiddenIn(int pitch, const std::vector<int>& pitches);

/// The pitches an instrument can sound and how it is tuned.
struct PitchSpace {
  std::vector<int> treble;    ///< MIDI pitches of the treble's buttons, ascending, each once
  int lowestBass = 28;        ///< the bass side: from this pitch up to below the lowest treble
  double referenceCents = 0;  ///< the instrument's A against 440 Hz (A = 446 Hz: +23.4)
};

/// The pitches of a layout's buttons, tuned `referenceCents` from A = 440 Hz.
PitchSpace pitchSpaceOf(const ButtonNotes& notes, double referenceCents = 0);

/// A pitch's fundamental in Hz.
double frequencyOf(int pitch, double referenceCents);

/// The chord a learner should play: the pitches of its buttons in the bellows direction
/// expected, and the pitches of the same buttons in the other direction.
struct Expectation {
  std::vector<int> pitches;    ///< ascending, each once
  std::vector<int> otherSide;  ///< ascending, each once
};

/// The expectation of a chord of buttons (0-67; their block gives the direction expected).
Expectation expectationOf(const std::vector<int>& buttons, const ButtonNotes& notes);

enum class Verdict : std::uint8_t {
  Right,           ///< the pitches of the expected buttons in the expected direction
  WrongDirection,  ///< the pitches of the same buttons in the other direction
  WrongNotes,      ///< anything else that sounds (`missing` and `extra` say what)
  Nothing,         ///< no pitch of the treble sounds
};

/// A sound at an onset: the peaks of the frame just after it and of the frame just before,
/// and the pitches of the chord heard before it (which may ring on into it).
struct Sound {
  FramePeaks after, before;
  std::vector<int> ringing;
};

/// What sounds, with no chord expected.
struct Hearing {
  std::vector<int> treble;  ///< ascending
  std::vector<int> bass;    ///< ascending
  /// Something in the treble began at the onset (it was not there, or far softer, before):
  /// false when the onset was the bass side's alone, or a knock.
  bool fresh = false;
};

struct Judgement {
  Verdict verdict = Verdict::Nothing;
  Hearing heard;
  std::vector<int> missing;  ///< expected pitches not heard (WrongNotes)
  std::vector<int> extra;    ///< pitches heard that the chord does not have (WrongNotes)
};

/// What sounds: the set of the space's pitches that explains the partials after the onset best;
/// pitches dying away from before the onset (the chord before ringing on, the room) are left
/// out of the treble.
Hearing hear(const Sound& sound, const PitchSpace& space);

/// The sound against the chord expected. A pitch hidden in the partials of lower pitches heard
/// (`hiddenIn`) cannot be told apart from them: expected, it counts as heard; unexpected, it is
/// not noticed.
Judgement judge(const Sound& sound, const Expectation& expected, const PitchSpace& space);

}  // namespace tastrello::listen
