// The listening corpus: takes rendered from the shipped layouts and lessons, each chord with
// what was expected, what was played and the sample it began at. Every chord of each layout
// (each run of one to four neighbouring buttons of a row) is played on push and on pull, right,
// with the bellows the wrong way, and with a wrong or a missing button; the takes vary the
// SoundFont (the program's reed font over it, unless the General MIDI one's own accordions are
// asked for) and preset, the reeds' detuning, the instrument's A (440-446 Hz), the level, the
// tempo and how far a chord rings into the next, the room's reverb and noise, and a bass line
// below. The same seed gives the same corpus.
#pragma once

#include <string>
#include <vector>

#include "input/hands.h"
#include "take_render.h"

namespace tastrello::testing {

enum class Played : std::uint8_t { Right, WrongDirection, WrongButton, MissingButton };
const char* nameOf(Played played);

struct CorpusChord {
  std::vector<int> buttons;  ///< the chord expected (its block: the direction)
  std::vector<int> played;   ///< the buttons that sound
  Played kind = Played::Right;
  long long at = 0;      ///< its first sample
  long long length = 0;  ///< samples held
};

struct CorpusTake {
  std::string name;
  std::string layout;  ///< its file name, "Notes_G-C-F.txt"
  ButtonNotes notes{};
  TakeSound sound;
  std::vector<CorpusChord> chords;
  std::vector<TakeNote> bass;
  double seconds = 0;
};

struct CorpusOptions {
  int sampleRate = 48000;
  unsigned seed = 7;
  int chordsPerTake = 12;
  /// Only every n-th chord of the whole (1: all of it), for quick tests.
  int everyNth = 1;
  std::vector<std::string> layouts;  ///< file names; empty: every shipped layout
  bool reedFont = true;  ///< false: the General MIDI fonts' own accordions (TakeSound::reedFont)
};

/// A layout's button notes from the shipped data folder.
ButtonNotes shippedLayout(const std::string& file);
/// The shipped layouts' file names.
std::vector<std::string> shippedLayouts();

/// The chords of a layout in one block: runs of `size` neighbouring buttons of a row.
std::vector<std::vector<int>> rowChords(const ButtonNotes& notes, bool push, int size);

std::vector<CorpusTake> layoutCorpus(const CorpusOptions& options);

/// A lesson or record file's chords as a take at `bpm` steps a minute, each played right
/// (`wrong` changes events, by their number in the file from 1, as given).
CorpusTake lessonTake(const std::string& recordFile, double bpm, const TakeSound& sound,
                      const std::vector<std::pair<int, Played>>& wrong = {});

/// The take's sound: its chords' notes and its bass line, rendered.
std::vector<float> renderCorpusTake(const CorpusTake& take);

/// The chords played to tune in: the first chords of the layout's middle row, push and pull,
/// each a second, and the sound as the take's.
CorpusTake tuningTake(const TakeSound& sound, const std::string& layout);

}  // namespace tastrello::testing
