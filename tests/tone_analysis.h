// How a sustained note is tuned, read from its sound: the reeds it sounds (each a harmonic
// series of partials at one offset from the note's pitch), how far each lies from the pitch,
// how much of the sound each carries, and the strong partials that lie on no reed's series.
// The tuning test and the tuning table share it.
#pragma once

#include <string>
#include <vector>

#include "platform/fluid_synth_port.h"

namespace tastrello::testing {

struct Partial {
  double hz = 0;
  double power = 0;  ///< mean square of the sinusoid
  double db = 0;     ///< relative to the strongest partial
};

struct Spectrum {
  std::vector<Partial> partials;  ///< loudest first
  double power = 0;               ///< of the whole sound (noise included)
};

/// The partials of a sustained sound: the peaks of its spectrum (a Blackman-Harris window over
/// all of `samples`, zero-padded four times, each peak refined between bins), down to `floorDb`
/// below the strongest. Five seconds at 48 kHz separate two reeds 0.5 Hz apart.
Spectrum partialsOf(const std::vector<float>& samples, double rate, double floorDb = -60);

struct Reed {
  double cents = 0;  ///< from the note's pitch
  double share = 0;  ///< of the sound's power, in this reed's partials
  double loudestDb = -200;  ///< its loudest partial, relative to the sound's loudest
  int harmonics = 0;        ///< how many of its partials sound
};

struct ToneReading {
  double pitchHz = 0;
  std::vector<Reed> reeds;     ///< the one with the largest share first
  std::vector<Partial> stray;  ///< strong partials on no reed's series
};

/// Partials this close to a harmonic of a reed belong to that reed.
constexpr double kOnSeriesCents = 5;
/// A partial this loud, relative to the sound's loudest, is a strong one.
constexpr double kStrongDb = -30;
/// How far above the reed at pitch a tremolo reed may beat.
constexpr double kTremoloMaxCents = 50;

/// The reeds of a sound meant to play `pitchHz`.
ToneReading readTone(const Spectrum& spectrum, double pitchHz);

/// Whether the note is in tune as an accordion is: its main reed lies within kOnSeriesCents of
/// the pitch and carries most of the sound, and every strong partial lies on the series of that
/// reed or of one tremolo reed beating above it. "" when it is, else the reason.
std::string outOfTune(const ToneReading& reading);

/// How often a second the tremolo reed beats against the main reed: the difference of their
/// frequencies; 0 without a strong second reed.
double tremoloBeatHz(const ToneReading& reading);

/// The frequency of MIDI note `note` (a1 = 440 Hz, equal temperament).
double noteHz(int note);
/// "c1 (C4)" for 60: the German name the layouts print, and the scientific one.
std::string noteName(int note);

/// A note held on the built-in synthesizer as the program plays it (velocity 99, on channel
/// 1, after a bank select and a program change), `skipSeconds` of its start left out; the two
/// channels mixed. Every voice is stopped afterwards.
std::vector<float> holdNote(FluidSynthPort& synth, int bank, int program, int note,
                            double skipSeconds, int frames);

/// Every MIDI note a shipped treble button sounds: the layouts' (Notes_*.txt) and the four- and
/// five-row instruments' own rows (Instrument_*.txt), sorted.
std::vector<int> shippedLayoutNotes(const std::string& dataFolder);

}  // namespace tastrello::testing
