// Random lessons for the tests that export and import them.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
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

/// What each button a record file numbers sounds on an instrument: its first three rows, as far
/// as they reach (a four-row instrument's fourth row is for the hands file).
inline ButtonNotes recordNotesOf(const Instrument& instrument) {
  ButtonNotes notes{};
  for (int id = 0; id < recordNumbering().count(); ++id) {
    const ButtonAt at = *recordNumbering().placeOf(id);
    if (at.row > static_cast<int>(instrument.treble.size())) continue;
    const auto& row = instrument.treble[std::size_t(at.row - 1)].buttons;
    if (at.number > static_cast<int>(row.size())) continue;
    const TrebleButton& button = row[std::size_t(at.number - 1)];
    notes[std::size_t(id)] = at.push ? button.push : button.pull;
  }
  return notes;
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
