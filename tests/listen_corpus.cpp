#include "listen_corpus.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <sstream>

#include "exchange/midi_lesson.h"
#include "sound/buttons.h"
#include "records/meter.h"
#include "records/record_format.h"
#include "sound/layout_format.h"

namespace tastrello::testing {

namespace {

std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<int> pitchesOf(const std::vector<int>& buttons, const ButtonNotes& notes) {
  std::set<int> pitches;
  for (int b : buttons)
    if (const auto& p = notes[std::size_t(b)]; p && *p > 0) pitches.insert(*p);
  return {pitches.begin(), pitches.end()};
}

bool sounds(int button, const ButtonNotes& notes) {
  return button >= 0 && button < 2 * kButtonsPerBlock && notes[std::size_t(button)] &&
         *notes[std::size_t(button)] > 0;
}

/// The button at a row and number in a block, or -1.
int buttonAt(bool push, int row, int number) {
  for (int b = 0; b < kButtonsPerBlock; ++b) {
    const ButtonPlace place = placeOf(b);
    if (place.row == row && place.number == number) return b + (push ? kButtonsPerBlock : 0);
  }
  return -1;
}

int otherSide(int button) {
  return isPushButton(button) ? button - kButtonsPerBlock : button + kButtonsPerBlock;
}

/// A neighbour of one of the chord's buttons in place of it, making a chord that sounds
/// different from the one expected on either side; nothing when there is none.
std::optional<std::vector<int>> wrongButton(const std::vector<int>& chord, const ButtonNotes& notes,
                                            std::mt19937& random) {
  std::vector<int> other;
  for (int b : chord) other.push_back(otherSide(b));
  const auto expected = pitchesOf(chord, notes), otherPitches = pitchesOf(other, notes);
  std::vector<std::vector<int>> choices;
  for (std::size_t i = 0; i < chord.size(); ++i) {
    const ButtonPlace at = placeOf(chord[i]);
    for (auto [dr, dn] : {std::pair{0, -1}, {0, 1}, {-1, 0}, {1, 0}, {-1, 1}, {1, -1}}) {
      const int b = buttonAt(at.push, at.row + dr, at.number + dn);
      if (!sounds(b, notes) || std::find(chord.begin(), chord.end(), b) != chord.end()) continue;
      std::vector<int> changed = chord;
      changed[i] = b;
      const auto pitches = pitchesOf(changed, notes);
      if (pitches != expected && pitches != otherPitches) choices.push_back(changed);
    }
  }
  if (choices.empty()) return std::nullopt;
  return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(random)];
}

std::vector<TakeNote> notesOf(const CorpusChord& chord, const ButtonNotes& notes) {
  std::vector<TakeNote> out;
  for (int pitch : pitchesOf(chord.played, notes)) out.push_back({chord.at, chord.length, pitch, 100});
  return out;
}

/// The sound of the n-th take: every condition cycles through its values at its own pace, so
/// that the takes cover their combinations.
TakeSound soundFor(std::size_t n, int rate, bool reedFont, std::mt19937& random) {
  static const std::vector<std::vector<double>> reeds{{0, 12}, {-15, 0, 15}, {0, 20}, {-8, 8}, {-20, 0, 20}};
  static const double references[] = {0, 7.9, 15.7, 23.5};  // A = 440, 442, 444, 446 Hz
  static const double levels[] = {-34, -24, -14, -6};
  static const int reverbs[] = {0, 40, 90};
  static const double noises[] = {20, 30, 0};
  TakeSound s;
  s.sampleRate = rate;
  s.reedFont = reedFont;
  s.soundFont = n % 2 == 0 ? "/usr/share/sounds/sf2/FluidR3_GM.sf2" : "/usr/share/sounds/sf2/TimGM6mb.sf2";
  if (!std::filesystem::exists(s.soundFont)) s.soundFont.clear();
  s.program = (n / 2) % 2 == 0 ? 21 : 23;
  s.reedCents = reeds[n % reeds.size()];
  s.referenceCents = references[(n / 3) % 4];
  s.trebleDb = levels[(n / 5) % 4];
  s.reverb = reverbs[(n / 7) % 3];
  s.noiseBelowDb = noises[(n / 11) % 3];
  s.bassBelowDb = 3 + double(random() % 6);
  s.seed = static_cast<unsigned>(random());
  return s;
}

}  // namespace

const char* nameOf(Played played) {
  switch (played) {
    case Played::Right: return "right";
    case Played::WrongDirection: return "wrong direction";
    case Played::WrongButton: return "wrong button";
    case Played::MissingButton: return "missing button";
  }
  return "?";
}

ButtonNotes shippedLayout(const std::string& file) {
  std::size_t lines = 0;
  const auto layout = parseNoteLayout(slurp(std::filesystem::path(TASTRELLO_DATA) / "Notes" / file), lines);
  return layout ? buttonNotesOf(*layout) : ButtonNotes{};
}

std::vector<std::string> shippedLayouts() {
  std::vector<std::string> names;
  // The folder holds the bass side's instrument files too: only the treble's layouts are chords.
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(TASTRELLO_DATA) / "Notes"))
    if (const std::string name = entry.path().filename().string(); name.rfind("Notes_", 0) == 0) names.push_back(name);
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::vector<int>> rowChords(const ButtonNotes& notes, bool push, int size) {
  std::vector<std::vector<int>> chords;
  for (int row = 1; row <= 3; ++row)
    for (int number = 1; number <= 12; ++number) {
      std::vector<int> chord;
      for (int k = 0; k < size; ++k) {
        const int b = buttonAt(push, row, number + k);
        if (!sounds(b, notes)) break;
        chord.push_back(b);
      }
      if (int(chord.size()) == size) chords.push_back(chord);
    }
  return chords;
}

std::vector<CorpusTake> layoutCorpus(const CorpusOptions& options) {
  std::mt19937 random(options.seed);
  std::vector<CorpusTake> takes;
  const auto layouts = options.layouts.empty() ? shippedLayouts() : options.layouts;
  std::size_t counted = 0;
  for (const std::string& layout : layouts) {
    const ButtonNotes notes = shippedLayout(layout);
    // Every chord, on both sides, in each of its three ways.
    std::vector<CorpusChord> chords;
    for (bool push : {false, true})
      for (int size = 1; size <= 4; ++size)
        for (const auto& chord : rowChords(notes, push, size)) {
          std::vector<int> other;
          for (int b : chord) other.push_back(otherSide(b));
          for (Played kind : {Played::Right, Played::WrongDirection, Played::WrongButton}) {
            if (counted++ % std::size_t(std::max(1, options.everyNth)) != 0) continue;
            CorpusChord c{chord, chord, kind, 0, 0};
            if (kind == Played::WrongDirection) c.played = other;
            if (kind == Played::WrongButton) {
              // Of a chord of several buttons, every third time one is left out instead.
              if (chord.size() > 1 && random() % 3 == 0) {
                c.kind = Played::MissingButton;
                c.played.erase(c.played.begin() + long(random() % chord.size()));
              } else if (const auto wrong = wrongButton(chord, notes, random)) {
                c.played = *wrong;
              } else {
                continue;
              }
            }
            chords.push_back(std::move(c));
          }
        }
    std::shuffle(chords.begin(), chords.end(), random);
    for (std::size_t first = 0; first < chords.size(); first += std::size_t(options.chordsPerTake)) {
      CorpusTake take;
      take.layout = layout;
      take.notes = notes;
      take.sound = soundFor(takes.size(), options.sampleRate, options.reedFont, random);
      static const double gaps[] = {0.20, 0.30, 0.45, 0.65};
      static const double legatos[] = {0.8, 1.0, 0.92};
      const double gap = gaps[takes.size() % 4], legato = legatos[(takes.size() / 4) % 3];
      const bool bass = (takes.size() / 6) % 2 == 0;
      std::uniform_real_distribution<double> jitter(-0.015, 0.015);
      double t = 0.3;
      const std::size_t last = std::min(chords.size(), first + std::size_t(options.chordsPerTake));
      for (std::size_t i = first; i < last; ++i, t += gap) {
        CorpusChord c = chords[i];
        c.at = onBlock(t + jitter(random), options.sampleRate);
        c.length = static_cast<long long>(gap * legato * options.sampleRate);
        if (bass) {
          // The left hand: a bass note on every other chord and one between the chords.
          const bool between = (i - first) % 2 == 1;
          const long long at = between ? onBlock(t + gap / 2, options.sampleRate) : c.at;
          take.bass.push_back({at, static_cast<long long>(gap * 0.45 * options.sampleRate),
                               31 + int(random() % 15), 90});
        }
        take.chords.push_back(std::move(c));
      }
      take.seconds = t + 0.6;
      std::ostringstream name;
      name << tuningName(layout) << " take " << takes.size() + 1 << " ("
           << std::filesystem::path(take.sound.soundFont).stem().string() << " program "
           << take.sound.program << ", " << take.sound.reedCents.size() << " reeds, A +"
           << take.sound.referenceCents << " cents, " << take.sound.trebleDb << " dB, "
           << int(gap * 1000) << " ms a chord, legato " << legato << ", reverb "
           << take.sound.reverb << ", noise " << take.sound.noiseBelowDb << " dB below"
           << (bass ? ", bass" : "") << ")";
      take.name = name.str();
      takes.push_back(std::move(take));
    }
  }
  return takes;
}

CorpusTake lessonTake(const std::string& recordFile, double bpm, const TakeSound& sound,
                      const std::vector<std::pair<int, Played>>& wrong) {
  CorpusTake take;
  take.sound = sound;
  take.name = std::filesystem::path(recordFile).filename().string();
  RecordProblem problem;
  const auto record = parseRecord(slurp(recordFile), problem);
  if (!record) return take;
  take.layout = record->layoutName;
  take.notes = shippedLayout(record->layoutName);
  std::mt19937 random(sound.seed);
  const double step = 60.0 / bpm;
  for (const TimedEvent& e : timeline(record->buttonLines)) {
    if (e.rest) continue;
    CorpusChord c;
    c.buttons = buttonsOfLine(record->buttonLines[std::size_t(e.event - 1)]);
    c.played = c.buttons;
    for (const auto& [event, kind] : wrong) {
      if (event != e.event) continue;
      c.kind = kind;
      if (kind == Played::WrongDirection)
        for (int& b : c.played) b = otherSide(b);
      if (kind == Played::WrongButton)
        if (const auto changed = wrongButton(c.buttons, take.notes, random)) c.played = *changed;
      if (kind == Played::MissingButton && c.played.size() > 1) c.played.pop_back();
    }
    c.at = onBlock(0.5 + double(e.step) * step, sound.sampleRate);
    c.length = static_cast<long long>((e.steps - 0.1) * step * sound.sampleRate);
    take.chords.push_back(std::move(c));
    take.seconds = 0.5 + double(e.step + e.steps) * step + 0.5;
  }
  return take;
}

std::vector<float> renderCorpusTake(const CorpusTake& take) {
  std::vector<TakeNote> treble;
  for (const CorpusChord& c : take.chords) {
    const auto notes = notesOf(c, take.notes);
    treble.insert(treble.end(), notes.begin(), notes.end());
  }
  return renderTake(treble, take.bass, take.sound, take.seconds);
}

CorpusTake tuningTake(const TakeSound& sound, const std::string& layout) {
  CorpusTake take;
  take.sound = sound;
  take.sound.noiseBelowDb = std::max(sound.noiseBelowDb, 0.0);
  take.layout = layout;
  take.notes = shippedLayout(layout);
  take.name = "tuning in";
  double t = 0.3;
  for (bool push : {true, false})
    for (const auto& chord : rowChords(take.notes, push, 3))
      if (placeOf(chord.front()).row == 2 && placeOf(chord.front()).number >= 3 &&
          placeOf(chord.front()).number <= 5) {
        take.chords.push_back({chord, chord, Played::Right, onBlock(t, sound.sampleRate),
                               static_cast<long long>(0.9 * sound.sampleRate)});
        t += 1.0;
      }
  take.seconds = t + 0.3;
  return take;
}

}  // namespace tastrello::testing
