// Lessons of both hands through a MIDI file and back: the treble on its rows' channels, the
// bass on a channel of its own, and the bellows of both.
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "exchange/midi_lesson.h"
#include "exchange/wechselbass.h"
#include "instrument/instrument_format.h"
#include "lesson_support.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

/// A bass button as it sounds: its event, its direction and its notes.
using Heard = std::tuple<int, bool, std::vector<int>>;

std::vector<Heard> heard(const std::vector<HandButton>& bass, const Instrument& instrument) {
  std::vector<Heard> out;
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

}  // namespace

class TwoHandMidiTest : public ::testing::Test {
 protected:
  MemoryFiles files;
  ButtonNotes notes{};
  Instrument instrument;

  void SetUp() override {
    files.loadShippedData();
    std::size_t lines = 0;
    notes = buttonNotesOf(parseNoteLayout(files.read("Notes/Notes_G-C-F.txt").value(), lines).value());
    instrument = load("Instrument_G-C-F_12-Bass.txt");
  }

  Instrument load(const std::string& name) {
    std::vector<InstrumentProblem> problems;
    return parseInstrument(files.read("Notes/" + name).value(), problems).value();
  }

  /// A bass for a lesson: on some events a button of the side, in the direction the treble
  /// holds, or in either in its silences.
  static RecordHands randomBass(std::mt19937& random, const std::vector<std::string>& lines,
                                const Instrument& side) {
    RecordHands hands;
    const ButtonNumbering numbering(bassRowLengths(side));
    bool held = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string& line = lines[i];
      bool push = random() % 2 == 0;
      if (!isRestMarker(line)) held = push = bellowsOf(line) == Bellows::Push;
      if (line == kBreakPlay) push = held;
      if (random() % 2 != 0) continue;
      ButtonAt at;
      do at = *numbering.placeOf(int(random() % unsigned(numbering.count())));
      while (at.push != push);
      hands.buttons.push_back({int(i + 1), Hand::Bass, at});
    }
    return hands;
  }
};

TEST_F(TwoHandMidiTest, RandomTwoHandLessonsComeBackWithTrebleBassAndDirections) {
  // On the three-row instrument of the layout, and on the three rows a record file holds of a
  // four- and a five-row instrument, with their larger bass sides.
  std::mt19937 random(38);
  for (const char* name : {"Instrument_G-C-F_12-Bass.txt", "Instrument_G-C-F-B_16-Bass.txt",
                           "Instrument_G-C-F-B-Es_18-Bass.txt"}) {
    const Instrument side = load(name);
    const ButtonNotes rows = side.layout.empty() ? recordNotesOf(side) : notes;
    for (int round = 0; round < 60; ++round) {
      const Meter meter = randomMeter(random);
      const auto lines = randomLesson(random, rows, meter, true);
      const RecordHands hands = randomBass(random, lines, side);
      const std::string midi = exportRecordToMidi(lines, rows, meter, {}, hands, side);
      std::string problem;
      const auto file = readMidiFile(midi, problem);
      ASSERT_TRUE(file) << problem;
      const Tune tune = tuneOfMidi(*file, {}, {});
      const ImportResult back = importTune(tune, rows, {});
      std::vector<std::string> linesBack;
      for (const auto& e : back.events) linesBack.push_back(buttonLineOf(e));
      ASSERT_EQ(linesBack, lines) << name << " round " << round;
      EXPECT_EQ(back.meter, meter) << name << " round " << round;
      int unplaced = 0;
      const auto bass = bassOfTune(tune, back, side, unplaced);
      EXPECT_EQ(unplaced, 0) << name << " round " << round;
      EXPECT_EQ(heard(bass, side), heard(hands.buttons, side)) << name << " round " << round;
    }
  }
}

TEST_F(TwoHandMidiTest, ABassInASilenceTurnsTheBellowsForItAndTheChordAfterTurnsThemBack) {
  // Pull, a silence with a pushed bass, pull again: three controller changes.
  const std::vector<std::string> lines{"10/", kBreakMute, "13/"};
  const RecordHands hands{"", {{2, Hand::Bass, {true, 1, 1}}}};
  std::string problem;
  const auto file = readMidiFile(exportRecordToMidi(lines, notes, {}, {}, hands, instrument), problem);
  ASSERT_TRUE(file) << problem;
  std::vector<int> values;
  for (const auto& c : file->controls) values.push_back(c.value);
  EXPECT_EQ(values, (std::vector<int>{0, 127, 0}));
  // Without the bass the same lesson turns nothing, and has no bass channel.
  const auto plain = readMidiFile(exportRecordToMidi(lines, notes, {}, {}), problem);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->controls.size(), 1u);
  for (const auto& n : plain->notes) EXPECT_NE(n.channel, kBassChannel);
}

TEST_F(TwoHandMidiTest, ALessonInsideItsPickupComesBackWithItsBassAndNothingAfter) {
  // Two events, the second a silence with a pushed bass, in a 3/4 with a pickup of five
  // eighths: the time signature after the pickup lies past the lesson's end.
  const std::vector<std::string> lines{"10/", kBreakMute};
  const RecordHands hands{"", {{1, Hand::Bass, {false, 1, 2}}, {2, Hand::Bass, {true, 1, 1}}}};
  const Meter meter{3, 2, 5, 120};
  std::string problem;
  const auto file = readMidiFile(exportRecordToMidi(lines, notes, meter, {}, hands, instrument), problem);
  ASSERT_TRUE(file) << problem;
  const Tune tune = tuneOfMidi(*file, {}, {});
  const ImportResult back = importTune(tune, notes, {});
  ASSERT_EQ(back.events.size(), 2u);
  EXPECT_EQ(buttonLineOf(back.events[0]), "10/");
  EXPECT_EQ(buttonLineOf(back.events[1]), kBreakMute);
  EXPECT_EQ(back.meter, meter);
  int unplaced = 0;
  EXPECT_EQ(heard(bassOfTune(tune, back, instrument, unplaced), instrument),
            heard(hands.buttons, instrument));
  EXPECT_EQ(unplaced, 0);
}
