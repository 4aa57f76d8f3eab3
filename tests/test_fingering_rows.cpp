// The fingering search on an instrument of any rows: on three rows it chooses as it always has
// on the layout, and on four and five rows it takes the rows the instrument has.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "exchange/midi_lesson.h"
#include "exchange/tune.h"
#include "exchange/wechselbass.h"
#include "instrument/instrument_format.h"
#include "lesson_support.h"
#include "shipped_layouts.h"
#include "records/record_hands.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class RowsFingeringTest : public ::testing::Test {
 protected:
  MemoryFiles files;
  void SetUp() override { files.loadShippedData(); }

  static Instrument load(const std::string& name) { return shippedInstrumentOf(name); }
  /// A random melody of chords of one to three different pitches between `low` and `high`, some with a
  /// direction given and some after a rest.
  static std::vector<ChordToFinger> melody(std::mt19937& random, int count, int low, int high) {
    std::vector<ChordToFinger> chords;
    for (int i = 0; i < count; ++i) {
      ChordToFinger chord;
      const int size = 1 + int(random() % 3);
      while (int(chord.pitches.size()) < size) {
        const int pitch = low + int(random() % unsigned(high - low + 1));
        if (std::find(chord.pitches.begin(), chord.pitches.end(), pitch) == chord.pitches.end())
          chord.pitches.push_back(pitch);
      }
      if (random() % 5 == 0) chord.push = random() % 2 == 0;
      chord.restBefore = random() % 6 == 0;
      chords.push_back(chord);
    }
    return chords;
  }
  static int noteOf(const Instrument& instrument, const ButtonAt& at) {
    const TrebleButton& b = instrument.treble.at(std::size_t(at.row - 1)).buttons.at(std::size_t(at.number - 1));
    return at.push ? b.push : b.pull;
  }
};

TEST_F(RowsFingeringTest, OnThreeRowsItChoosesWhatTheLayoutsSearchChooses) {
  const Instrument instrument = load("Instrument_G-C-F_12-Bass.txt");
  std::size_t lines = 0;
  const ButtonNotes notes =
      buttonNotesOf(parseNoteLayout(files.read("Notes/Notes_G-C-F.txt").value(), lines).value());
  std::mt19937 random(3);
  for (int round = 0; round < 20; ++round) {
    const auto chords = melody(random, 40, 55, 84);
    std::vector<MissingPitch> byLayout, byInstrument;
    const auto expected = fingerChords(chords, notes, byLayout);
    const auto chosen = fingerChords(chords, instrument, byInstrument);
    ASSERT_EQ(chosen.size(), expected.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      std::vector<int> numbers;
      for (const ButtonAt& at : chosen[i]) numbers.push_back(recordNumbering().numberOf(at).value());
      EXPECT_EQ(numbers, expected[i].buttons) << "round " << round << " chord " << i;
    }
    EXPECT_EQ(byInstrument, byLayout);
  }
}

TEST_F(RowsFingeringTest, TheFourthRowPlaysWhatThreeRowsLack) {
  // E flat (63, 75) sounds only on the B row of a G-C-F-B instrument: pulled, buttons 2 and 6.
  const Instrument instrument = load("Instrument_G-C-F-B_16-Bass.txt");
  std::vector<MissingPitch> missing;
  const auto chosen = fingerChords({{{63}, {}, std::nullopt, false}, {{75}, {}, std::nullopt, false}},
                                   instrument, missing);
  EXPECT_TRUE(missing.empty());
  EXPECT_EQ(chosen, (std::vector<std::vector<ButtonAt>>{{{false, 4, 2}}, {{false, 4, 6}}}));
  // The same melody on the three-row G-C-F: nothing to play it with.
  const auto three = fingerChords({{{63}, {}, std::nullopt, false}}, load("Instrument_G-C-F_12-Bass.txt"), missing);
  EXPECT_TRUE(three.at(0).empty());
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0].push, std::nullopt);  // in neither direction
}

TEST_F(RowsFingeringTest, EveryChosenButtonSoundsItsPitchInTheChordsOneDirection) {
  // Random melodies on the four- and five-row instruments: each chord goes one way, the way the
  // file gives when it gives one, each button sounds a pitch of its chord, none twice, and a
  // pitch is missing only when no button of that way has it.
  std::mt19937 random(11);
  for (const char* name : {"Instrument_G-C-F-B_16-Bass.txt", "Instrument_B-Es-As-Des_16-Bass.txt",
                           "Instrument_G-C-F-B-Es_18-Bass.txt"}) {
    const Instrument instrument = load(name);
    const PitchMap map = pitchMap(instrument);
    const auto chords = melody(random, 120, 50, 90);
    std::vector<MissingPitch> missing;
    const auto chosen = fingerChords(chords, instrument, missing);
    ASSERT_EQ(chosen.size(), chords.size());
    for (std::size_t i = 0; i < chords.size(); ++i) {
      std::set<std::pair<int, int>> places;
      for (const ButtonAt& at : chosen[i]) {
        EXPECT_EQ(at.push, chosen[i][0].push) << name << " chord " << i;
        if (chords[i].push) {
          EXPECT_EQ(at.push, *chords[i].push) << name << " chord " << i;
        }
        const int note = noteOf(instrument, at);
        EXPECT_NE(std::find(chords[i].pitches.begin(), chords[i].pitches.end(), note),
                  chords[i].pitches.end()) << name << " chord " << i;
        EXPECT_TRUE(places.insert({at.row, at.number}).second) << name << " chord " << i;
      }
    }
    for (const MissingPitch& m : missing) {
      const auto& buttons = map.treble[std::size_t(m.pitch)];
      if (!m.push) {
        EXPECT_TRUE(buttons.empty()) << name << " pitch " << m.pitch;
        continue;
      }
      // Missing in the chord's direction: either no button that way, or every button of that
      // way taken by another pitch of the chord.
      const auto& taken = chosen[std::size_t(m.chord)];
      for (const ButtonChoice& c : buttons) {
        if (c.at.push != *m.push) continue;
        EXPECT_NE(std::find(taken.begin(), taken.end(), c.at), taken.end())
            << name << " pitch " << m.pitch << " chord " << m.chord;
      }
    }
  }
}

/// A tune imported on all the rows of a four-row instrument.
class RowsImportTest : public RowsFingeringTest {
 protected:
  /// A tune of quarter notes (tick, length in quarters, pitch) in 4/4 at 480 a quarter.
  static Tune tuneOf(const std::vector<std::tuple<long long, long long, int>>& notes) {
    Tune tune;
    for (const auto& [at, quarters, pitch] : notes) tune.notes.push_back({at * 480, quarters * 480, pitch, -1});
    return tune;
  }
};

TEST_F(RowsImportTest, ANoteOnlyTheFourthRowHasIsKeptBesideASilenceOfTheRecordFile) {
  // E flat (63) held two beats, then d1 (62): on G-C-F-B, es is row 4's second button
  // pulling, a silence in the record file that rings on; d1 follows pulling on row 2.
  const Instrument four = load("Instrument_G-C-F-B_16-Bass.txt");
  const Tune tune = tuneOf({{0, 2, 63}, {2, 1, 62}});
  const ImportResult back = importTune(tune, four, {});
  ASSERT_EQ(back.events.size(), 3u);
  EXPECT_EQ(back.events[0], (ImportedEvent{{}, false, {{false, 4, 2}}}));
  EXPECT_EQ(buttonLineOf(back.events[1]), kBreakPlay) << "the fourth row's note rings on";
  EXPECT_EQ(buttonLineOf(back.events[2]), "10/");
  EXPECT_EQ(back.bellowsChanges, 0);
  EXPECT_EQ(trebleBesideOf(back), (std::vector<HandButton>{{1, Hand::Treble, {false, 4, 2}}}));
  for (const ImportNote& note : back.notes) EXPECT_NE(note.kind, ImportNote::Kind::NoButton);
  // On the three rows a record file holds, es has no button and the record starts with d1.
  const ImportResult three = importTune(tune, recordNotesOf(four), {});
  EXPECT_TRUE(std::any_of(three.notes.begin(), three.notes.end(), [](const ImportNote& n) {
    return n.kind == ImportNote::Kind::NoButton && n.note == "es1";
  }));
}

TEST_F(RowsImportTest, APitchNoRowHasIsNamedAsTheInstrumentNamesItsButtons) {
  // c#1 (61) is on no button of G-C-F-B; f#1 (66) is row 1's sixth pulling, named "f#".
  const Instrument four = load("Instrument_G-C-F-B_16-Bass.txt");
  const ImportResult back = importTune(tuneOf({{0, 1, 61}, {1, 1, 66}}), four, {});
  std::vector<std::string> missing;
  for (const ImportNote& note : back.notes)
    if (note.kind == ImportNote::Kind::NoButton) missing.push_back(note.note);
  EXPECT_EQ(missing, (std::vector<std::string>{"c#1"}));
  ASSERT_FALSE(back.events.empty());
  EXPECT_EQ(recordLinesOf(back.events.back(), four),
            (std::pair<std::string, std::string>{"15/", "f#/"}));
}

TEST_F(RowsImportTest, TheWechselbassGoesTheWayTheFourthRowTakesTheBellows) {
  // b (58) pushed is on row 4 alone (row 3 pulls it): a bar of it pushed in C major. The
  // record file keeps silences; the bass must push with the treble beside it.
  const Instrument four = load("Instrument_G-C-F-B_16-Bass.txt");
  Tune tune = tuneOf({{0, 4, 58}});
  tune.bellows = {{0, true}};
  tune.harmonies = {{0, 0, false}};
  const ImportResult back = importTune(tune, four, {});
  ASSERT_EQ(back.events.size(), 4u);
  EXPECT_EQ(back.events[0].beside, (std::vector<ButtonAt>{{true, 4, 2}}));
  std::vector<std::string> lines;
  for (const ImportedEvent& e : back.events) lines.push_back(buttonLineOf(e));
  const ImportedBass bass = bassOfImport(tune, back, lines, four);
  ASSERT_EQ(bass.buttons.size(), 4u);
  for (const HandButton& b : bass.buttons) EXPECT_TRUE(b.at.push) << "event " << b.event;
}

TEST_F(RowsImportTest, AFourOrFiveRowInstrumentsFirstRowsAreTheLayoutOfTheirKeysAlone) {
  // What the converter takes for the record's layout when none is given, and what the window
  // asks of the layout on the keyboard before it fingers over all the rows.
  const auto layout = [&](const std::string& file) {
    std::size_t lines = 0;
    return buttonNotesOf(parseNoteLayout(files.read("Notes/" + file).value(), lines).value());
  };
  for (const char* name : {"Instrument_G-C-F-B_16-Bass.txt", "Instrument_A-D-G-C_16-Bass.txt",
                           "Instrument_B-Es-As-Des_16-Bass.txt", "Instrument_G-C-F-B-Es_18-Bass.txt"}) {
    const Instrument instrument = load(name);
    const auto& t = instrument.treble;
    const std::string own = "Notes_" + t[0].key + "-" + t[1].key + "-" + t[2].key + ".txt";
    EXPECT_TRUE(sameFirstRows(instrument, layout(own))) << name;
    const std::string other = own == "Notes_G-C-F.txt" ? "Notes_A-D-G.txt" : "Notes_G-C-F.txt";
    EXPECT_FALSE(sameFirstRows(instrument, layout(other))) << name << " on " << other;
  }
}
