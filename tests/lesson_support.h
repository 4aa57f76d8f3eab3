// Random lessons for the tests that export and import them.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "input/hands.h"
#include "instrument/instrument.h"
#include "records/meter.h"
#include "records/record_format.h"
#include "records/record_hands.h"
#include "shell/text.h"

namespace tastrello::testing {

/// A random meter: 1 to 12 beats of 1, 2 or 4 steps, a pickup in a third of them, 20 to 300
/// beats a minute.
inline Meter randomMeter(std::mt19937& random) {
  Meter meter;
  meter.beatsPerBar = 1 + int(random() % 12);
  meter.stepsPerBeat = 1 << (random() % 3);
  meter.pickupSteps = random() % 3 == 0 ? int(random() % unsigned(meter.stepsPerBar())) : 0;
  meter.tempo = 20 + int(random() % 281);
  return meter;
}

/// A random lesson: chords of one to four buttons of one block (a pitch may sound on two
/// rows), silent rests, and, with rhythm, ringing rests after chords and silence of less than
/// the first bar before the first chord. It ends on a chord or its ringing.
inline std::vector<std::string> randomLesson(std::mt19937& random, const ButtonNotes& notes,
                                             const Meter& meter, bool rhythm) {
  std::vector<std::string> lines;
  const int firstBar = meter.pickupSteps > 0 ? meter.pickupSteps : meter.stepsPerBar();
  if (rhythm)
    for (int i = int(random() % unsigned(firstBar)); i > 0; --i) lines.push_back(kBreakMute);
  const int count = 1 + int(random() % 120);
  for (int i = 0; i < count; ++i) {
    const bool afterChord = !lines.empty() && lines.back() != kBreakMute;
    const unsigned kind = random() % 8;
    if (i > 0 && kind == 0) {
      lines.push_back(kBreakMute);
    } else if (rhythm && afterChord && kind < 4) {
      lines.push_back(kBreakPlay);
    } else {
      const int base = random() % 2 ? kButtonsPerBlock : 0;
      std::set<int> buttons;
      const int size = 1 + int(random() % 4);
      while (int(buttons.size()) < size) {
        const int b = base + int(random() % kButtonsPerBlock);
        if (notes[std::size_t(b)]) buttons.insert(b);
      }
      std::string line;
      for (int b : buttons) line += right("00" + std::to_string(b), 2) + "/";
      lines.push_back(line);
    }
  }
  while (lines.back() == kBreakMute) lines.pop_back();
  return lines;
}

/// Treble buttons beside a random lesson of a four- or five-row instrument: a button of its rows
/// past the third with about a third of its chords of fewer than four buttons, in the chord's
/// direction, and a chord of one or two of them alone on about a third of its silent rests
/// (which the record file keeps as they are).
inline RecordHands randomTrebleBeside(std::mt19937& random, const std::vector<std::string>& lines,
                                      const Instrument& instrument) {
  std::vector<ButtonAt> outer;  // the buttons of the rows past the third
  for (std::size_t row = 3; row < instrument.treble.size(); ++row)
    for (std::size_t n = 0; n < instrument.treble[row].buttons.size(); ++n)
      for (bool push : {false, true}) outer.push_back({push, int(row + 1), int(n + 1)});
  const auto pick = [&](bool push) {
    ButtonAt at;
    do at = outer[random() % outer.size()];
    while (at.push != push);
    return at;
  };
  RecordHands hands;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int event = int(i + 1);
    if (lines[i] == kBreakMute) {
      if (random() % 3 != 0) continue;
      const bool push = random() % 2 == 0;
      const ButtonAt first = pick(push), second = pick(push);
      hands.buttons.push_back({event, Hand::Treble, first});
      if (random() % 2 == 0 && second != first) hands.buttons.push_back({event, Hand::Treble, second});
    } else if (!isRestMarker(lines[i]) && buttonsOfLine(lines[i]).size() < 4 && random() % 3 == 0) {
      hands.buttons.push_back({event, Hand::Treble, pick(bellowsOf(lines[i]) == Bellows::Push)});
    }
  }
  return hands;
}

/// A bass for a lesson: on some events a button of the side, in the direction the treble holds
/// (its record line's, else that of the treble buttons beside it), or in either in its silences.
inline RecordHands randomBass(std::mt19937& random, const std::vector<std::string>& lines,
                              const Instrument& side, const RecordHands& treble = {}) {
  RecordHands hands;
  const ButtonNumbering numbering(bassRowLengths(side));
  bool held = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const auto beside = handButtons(treble, int(i + 1), Hand::Treble);
    bool push = random() % 2 == 0;
    if (!isRestMarker(line))
      held = push = bellowsOf(line) == Bellows::Push;
    else if (!beside.empty())
      held = push = beside.front().push;
    if (line == kBreakPlay) push = held;
    if (random() % 2 != 0) continue;
    ButtonAt at;
    do at = *numbering.placeOf(int(random() % unsigned(numbering.count())));
    while (at.push != push);
    hands.buttons.push_back({int(i + 1), Hand::Bass, at});
  }
  return hands;
}

/// Both hands' buttons together, in order of event.
inline RecordHands bothHands(const RecordHands& treble, const RecordHands& bass) {
  RecordHands hands = treble;
  hands.buttons.insert(hands.buttons.end(), bass.buttons.begin(), bass.buttons.end());
  std::stable_sort(hands.buttons.begin(), hands.buttons.end(),
                   [](const HandButton& a, const HandButton& b) { return a.event < b.event; });
  return hands;
}

/// Buttons as comparable values (event, hand, direction, row, number), sorted: what two lists
/// of buttons hold, whatever their order within an event.
inline std::vector<std::tuple<int, int, bool, int, int>> buttonSet(const std::vector<HandButton>& buttons) {
  std::vector<std::tuple<int, int, bool, int, int>> out;
  for (const HandButton& b : buttons)
    out.emplace_back(b.event, int(b.hand), b.at.push, b.at.row, b.at.number);
  std::sort(out.begin(), out.end());
  return out;
}

/// Bass buttons as they sound, sorted: (event, direction, notes). Several buttons of a bass
/// side may sound the same, and the import takes one of them.
inline std::vector<std::tuple<int, bool, std::vector<int>>> bassHeard(
    const std::vector<HandButton>& bass, const Instrument& instrument) {
  std::vector<std::tuple<int, bool, std::vector<int>>> out;
  for (const HandButton& b : bass) {
    const BassButton& button =
        instrument.bass.at(std::size_t(b.at.row - 1)).buttons.at(std::size_t(b.at.number - 1));
    std::vector<int> notes = b.at.push ? button.push.notes : button.pull.notes;
    std::sort(notes.begin(), notes.end());
    out.emplace_back(b.event, b.at.push, notes);
  }
  std::sort(out.begin(), out.end());
  return out;
}

/// The shipped lessons' events, by file name.
inline std::map<std::string, std::vector<std::string>> shippedLessons() {
  std::map<std::string, std::vector<std::string>> lessons;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(TASTRELLO_DATA) + "/Records")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("Lessons_", 0) != 0) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    RecordProblem problem;
    if (const auto record = parseRecord(bytes.str(), problem)) lessons[name] = record->buttonLines;
  }
  return lessons;
}

}  // namespace tastrello::testing
