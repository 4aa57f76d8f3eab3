// Lessons of both hands through a MIDI file and back: the treble on its rows' channels, the
// bass on a channel of its own, and the bellows of both.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <tuple>

#include "exchange/midi_lesson.h"
#include "exchange/wechselbass.h"
#include "instrument/instrument_format.h"
#include "lesson_support.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

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
      EXPECT_EQ(bassHeard(bass, side), bassHeard(hands.buttons, side)) << name << " round " << round;
    }
  }
}

TEST_F(TwoHandMidiTest, RandomLessonsWithRowsFourAndFiveComeBackOnAllTheirRows) {
  // Random lessons with treble buttons of the rows past the third beside them (with a chord of
  // the record file, or alone where the record file keeps a silence) and a bass, imported on
  // all the instrument's rows: the rows' channels give each note its row, and no row has a
  // pitch twice in one direction, so every treble button comes back as it was.
  std::mt19937 random(45);
  for (const char* name : {"Instrument_G-C-F-B_16-Bass.txt", "Instrument_G-C-F-B-Es_18-Bass.txt",
                           "Instrument_A-D-G-C_16-Bass.txt"}) {
    const Instrument side = load(name);
    const ButtonNotes rows = recordNotesOf(side);
    for (const TrebleRow& row : side.treble) {  // what makes a note's row give its button
      std::set<std::pair<bool, int>> sounds;
      for (const TrebleButton& b : row.buttons)
        ASSERT_TRUE(sounds.insert({true, b.push}).second && sounds.insert({false, b.pull}).second)
            << name << " row " << row.key;
    }
    for (int round = 0; round < 60; ++round) {
      const Meter meter = randomMeter(random);
      const auto lines = randomLesson(random, rows, meter, true);
      const RecordHands treble = randomTrebleBeside(random, lines, side);
      const RecordHands bass = randomBass(random, lines, side, treble);
      const std::string midi =
          exportRecordToMidi(lines, rows, meter, {}, bothHands(treble, bass), side);
      std::string problem;
      const auto file = readMidiFile(midi, problem);
      ASSERT_TRUE(file) << problem;
      const Tune tune = tuneOfMidi(*file, {}, {});
      const ImportResult back = importTune(tune, side, {});
      std::vector<std::string> linesBack;
      for (const auto& e : back.events) linesBack.push_back(buttonLineOf(e));
      ASSERT_EQ(linesBack, lines) << name << " round " << round;
      EXPECT_EQ(buttonSet(trebleBesideOf(back)), buttonSet(treble.buttons)) << name << " round " << round;
      EXPECT_EQ(back.meter, meter) << name << " round " << round;
      std::vector<std::string> linesWritten;
      for (const auto& e : back.events) linesWritten.push_back(recordLinesOf(e, side).first);
      const ImportedBass bassBack = bassOfImport(tune, back, linesWritten, side);
      EXPECT_EQ(bassBack.unplaced, 0) << name << " round " << round;
      EXPECT_EQ(bassHeard(bassBack.buttons, side), bassHeard(bass.buttons, side)) << name << " round " << round;
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
  EXPECT_EQ(bassHeard(bassOfTune(tune, back, instrument, unplaced), instrument),
            bassHeard(hands.buttons, instrument));
  EXPECT_EQ(unplaced, 0);
}

/// Treble buttons of rows past the third, kept beside the record, in the exported file.
class TrebleBesideMidiTest : public TwoHandMidiTest {
 protected:
  /// The notes of the file as (tick, channel, pitch, length), in order.
  static std::vector<std::tuple<long long, int, int, long long>> notesOf(const std::string& midi) {
    std::string problem;
    const auto file = readMidiFile(midi, problem);
    EXPECT_TRUE(file) << problem;
    std::vector<std::tuple<long long, int, int, long long>> out;
    if (file)
      for (const auto& n : file->notes) out.emplace_back(n.tick, n.channel, n.pitch, n.length);
    std::sort(out.begin(), out.end());
    return out;
  }
};

TEST_F(TrebleBesideMidiTest, AFourthRowButtonSoundsWithTheChordOfItsStep) {
  // G-C-F-B: event 1 is button 10 (row 2, d1 pulling) with row 4's third button (f1 pulling);
  // event 2 is a silence of the record file that row 4's second button (b pushing) plays,
  // held through the ringing rest after it.
  const Instrument four = load("Instrument_G-C-F-B_16-Bass.txt");
  const std::vector<std::string> lines{"10/", kBreakMute, kBreakPlay};
  const RecordHands hands{"", {{1, Hand::Treble, {false, 4, 3}}, {2, Hand::Treble, {true, 4, 2}}}};
  const std::string midi =
      exportRecordToMidi(lines, recordNotesOf(four), {4, 1, 0, 120}, {}, hands, four);
  const long long step = kExportDivision;
  EXPECT_EQ(notesOf(midi), (std::vector<std::tuple<long long, int, int, long long>>{
                               {0, 1, 62, step}, {0, 3, 65, step}, {step, 3, 58, 2 * step}}))
      << "row 4 on the fourth channel, with its step's chord";
  std::string problem;
  const auto file = readMidiFile(midi, problem);
  ASSERT_TRUE(file) << problem;
  std::vector<std::pair<long long, int>> bellows;
  for (const auto& c : file->controls) bellows.emplace_back(c.tick, c.value);
  EXPECT_EQ(bellows, (std::vector<std::pair<long long, int>>{{0, 0}, {step, 127}}))
      << "the fourth row's push turns the bellows in the record file's silence";
}

TEST_F(TrebleBesideMidiTest, AFifthRowButtonHasAChannelOfItsOwnBesideTheBass) {
  // G-C-F-B-Es: row 5's first button pulling (its push and pull are told apart by pitch)
  // with a bass button; row 5 must not share the left hand's channel.
  const Instrument five = load("Instrument_G-C-F-B-Es_18-Bass.txt");
  const TrebleButton& button = five.treble.at(4).buttons.at(0);
  const RecordHands hands{"", {{1, Hand::Treble, {false, 5, 1}}, {1, Hand::Bass, {false, 1, 1}}}};
  const auto sounded = notesOf(exportRecordToMidi({"00/"}, recordNotesOf(five), {}, {}, hands, five));
  std::vector<std::pair<int, int>> channels;  // (channel, pitch)
  for (const auto& [tick, channel, pitch, length] : sounded)
    if (channel != kBassChannel) channels.emplace_back(channel, pitch);
  std::sort(channels.begin(), channels.end());
  EXPECT_EQ(channels, (std::vector<std::pair<int, int>>{{0, five.treble[0].buttons[0].pull},
                                                        {5, button.pull}}));
}
