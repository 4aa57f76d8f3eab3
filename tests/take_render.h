// Takes for the listening tests and benchmark, rendered offline by the real FluidSynth (no
// audio driver): notes on an accordion SoundFont preset with each note's reeds as detuned
// voices, an instrument tuned above A = 440 Hz, a bass line below, a room's reverb, room and
// bellows noise, at a chosen level. Every onset is placed on one of FluidSynth's 64-frame
// blocks, so that the moment a note begins is known to the sample.
#pragma once

#include <string>
#include <vector>

namespace tastrello::testing {

struct TakeNote {
  long long at = 0;      ///< first sample (a multiple of kRenderBlock)
  long long length = 0;  ///< samples until it is let go
  int pitch = 60;
  int velocity = 100;
};

/// FluidSynth starts a note with the block after the message: onsets lie on these.
constexpr long long kRenderBlock = 64;

struct TakeSound {
  int sampleRate = 48000;
  std::string soundFont;                 ///< empty: FluidR3, else TimGM6mb, whichever is there
  /// The program's own reed font stacked over it, as the program plays: its accordions are in
  /// tune. Without it the General MIDI fonts' accordions sound, whose samples lie up to 68
  /// cents off their pitch (README, on the reed font).
  bool reedFont = true;
  int program = 21;                      ///< General MIDI, from 0: 21 Accordion, 23 Tango Accordion
  std::vector<double> reedCents{0, 12};  ///< the reeds of each treble note, in cents
  double referenceCents = 0;             ///< the instrument's A against 440 Hz
  double trebleDb = -20;                 ///< the treble's RMS while it sounds, dB of a full-scale sine
  double bassBelowDb = 6;                ///< the bass side's RMS this far below the treble's
  double noiseBelowDb = 20;              ///< room and bellows noise this far below (<= 0: none)
  int reverb = 50;                       ///< the reverb's send, 0 to 127 (0: a dry room)
  unsigned seed = 1;                     ///< of the noise and the voices' loudness
};

/// The take: the treble and bass notes mixed to one channel, `seconds` long.
std::vector<float> renderTake(const std::vector<TakeNote>& treble, const std::vector<TakeNote>& bass,
                              const TakeSound& sound, double seconds);

/// Whether a General MIDI SoundFont is installed (the reason in `why` when not).
bool haveSoundFont(std::string& why);

/// A sample index on the renderer's grid, at or after `seconds`.
long long onBlock(double seconds, int sampleRate);

/// Writes a mono 16-bit or float WAV file (through libsndfile), or FLAC / Ogg Vorbis by its
/// extension; false when it cannot.
bool writeSoundFile(const std::string& path, const std::vector<float>& samples, int sampleRate);

}  // namespace tastrello::testing
