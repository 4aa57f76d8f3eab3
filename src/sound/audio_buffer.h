// The audio buffer of the built-in synthesizer, decided in one place: the sizes the chooser
// offers, what an "AUDIO-BUFFER:" value may ask for, where the automatic buffer starts and how
// it grows when the sound ran dry. The sound output only applies the size it is given and
// reports what happened; the window object asks here what to do about it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tastrello {

/// What "AUDIO-BUFFER:" asks for: a fixed size in milliseconds, or 0 for the automatic buffer.
struct BufferChoice {
  int milliseconds = 0;
  bool automatic() const { return milliseconds == 0; }
  bool operator==(const BufferChoice&) const = default;
};

/// Why a value of "AUDIO-BUFFER:" was refused.
enum class BufferRefusal { None, NotANumber, TooSmall, TooLarge };

struct BufferReading {
  BufferChoice choice;  ///< automatic when the value was refused
  BufferRefusal refusal = BufferRefusal::None;
};

/// The buffer in force and the dropouts already answered.
struct AudioBuffer {
  BufferChoice choice;
  int frames = 0;        ///< the size asked of the output
  int dropoutsSeen = 0;  ///< the output's count of dropouts when last looked at
  bool operator==(const AudioBuffer&) const = default;
};

namespace audio_buffer {

/// A fixed size below this leaves the synthesizer less than two of its blocks of 128 frames.
constexpr int kMinMs = 5;
/// The largest buffer the output holds (8192 frames at 48 kHz); more is refused, not cut.
constexpr int kMaxMs = 170;
/// Sizes are whole blocks of the synthesizer's 64 frames.
constexpr int kBlockFrames = 64;
/// The synthesizer's rate, until the output reports its own.
constexpr double kRate = 48000;
/// The automatic buffer starts at 21.3 ms: the smallest size that held a chord on every
/// measured minute with both cores busy (scripts/bench) ...
constexpr int kAutomaticStart = 1024;
/// ... and doubles after dropouts up to 85 ms, which held on every machine measured.
constexpr int kAutomaticLimit = 4096;

/// The fixed sizes the chooser offers after "automatic", in milliseconds.
const std::vector<int>& offeredMs();
/// Reads a value of "AUDIO-BUFFER:": empty for automatic, or a whole number of milliseconds
/// from kMinMs to kMaxMs (spaces around it allowed). Anything else is refused with its reason.
BufferReading read(std::string_view value);
/// The value "AUDIO-BUFFER:" stores for a choice ("" for automatic).
std::string stored(BufferChoice choice);
/// The frames of `milliseconds` at `rate`: the nearest whole number of blocks, at least one.
int framesFor(int milliseconds, double rate);
/// Frames as whole milliseconds, rounded.
int millisecondsOf(int frames, double rate);
/// The buffer a choice starts with.
AudioBuffer start(BufferChoice choice, double rate);
/// The buffer after the output counted `dropouts` in all (the times the sound ran dry while
/// notes sounded, reported or noticed): the automatic buffer doubles, up to kAutomaticLimit,
/// once for any number of new dropouts; a fixed one stays as chosen. A count lower than the
/// one seen (a new output) starts counting afresh.
AudioBuffer afterDropouts(AudioBuffer buffer, int dropouts);

}  // namespace audio_buffer

}  // namespace tastrello
