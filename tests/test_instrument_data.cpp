// The instruments shipped in Notes/: each reads without a problem and sounds as the instrument
// it names; where the buttons stand in the window; which buttons sound a pitch.
#include <algorithm>
#include <set>
#include <type_traits>

#include "instrument/instrument_format.h"
#include "instrument/instrument_places.h"
#include "note_names.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

int pitchClass(int note) {
  return note % 12;
}

bool isMajorOrMinorTriad(const std::vector<int>& notes) {
  if (notes.size() != 3) return false;
  for (int root : notes) {
    const PitchClasses major = pitchClassesOf({root, root + 4, root + 7});
    const PitchClasses minor = pitchClassesOf({root, root + 3, root + 7});
    if (pitchClassesOf(notes) == major || pitchClassesOf(notes) == minor) return true;
  }
  return false;
}

class ShippedInstrumentTest : public ::testing::Test {
 protected:
  MemoryFiles files;
  std::map<std::string, Instrument> instruments;  // by file name

  void SetUp() override {
    files.loadShippedData();
    const std::vector<std::string> names = files.list("Notes/").value();
    for (const std::string& name : names) {
      if (!matchesPattern(name, "Instrument_*.txt")) continue;
      std::vector<InstrumentProblem> problems;
      auto instrument = parseInstrument(*files.read("Notes/" + name), problems);
      ASSERT_TRUE(instrument) << name << " line " << problems.at(0).line;
      if (!instrument->layout.empty()) {
        std::size_t lines = 0;
        const auto layout = parseNoteLayout(*files.read("Notes/" + instrument->layout), lines);
        ASSERT_TRUE(layout) << name;
        ASSERT_EQ(takeTrebleFromLayout(*instrument, *layout), std::nullopt) << name;
      }
      instruments.emplace(name, *instrument);
    }
  }
};

}  // namespace

TEST_F(ShippedInstrumentTest, EveryTuningComesWithItsBassSidesAndNoneIsANoteLayout) {
  std::set<std::pair<std::size_t, std::size_t>> kinds;  // rows, bass buttons
  for (const auto& [name, instrument] : instruments) {
    EXPECT_FALSE(matchesPattern(name, "NOTES*.*")) << name << " would be offered as a layout";
    std::size_t basses = 0;
    for (const BassRow& row : instrument.bass) basses += row.buttons.size();
    kinds.insert({instrument.treble.size(), basses});
  }
  EXPECT_EQ(instruments.size(), 16u);
  EXPECT_EQ(kinds, (std::set<std::pair<std::size_t, std::size_t>>{{3, 8}, {3, 12}, {4, 16}, {5, 18}}));
  for (const char* tuning : {"G-C-F", "A-D-G", "B-Es-As", "H-E-A", "F-B-Es", "C-F-B"}) {
    for (const char* basses : {"8", "12"}) {
      const auto it = instruments.find(std::string("Instrument_") + tuning + "_" + basses + "-Bass.txt");
      ASSERT_NE(it, instruments.end()) << tuning << " " << basses;
      EXPECT_EQ(it->second.layout, std::string("Notes_") + tuning + ".txt");
    }
  }
}

TEST_F(ShippedInstrumentTest, TrebleRowsSoundTheirTriadPushingAndMostlyTheDominantSeventhPulling) {
  for (const auto& [name, instrument] : instruments) {
    for (std::size_t r = 0; r < instrument.treble.size(); ++r) {
      SCOPED_TRACE(name + " row " + std::to_string(r + 1));
      const TrebleRow& row = instrument.treble[r];
      const int key = keyPitchClass(row.key).value();
      const PitchClasses tonic = pitchClassesOf({key, key + 4, key + 7});
      const PitchClasses dominantSeventh = pitchClassesOf({key + 7, key + 11, key + 14, key + 17});
      int seventhNotes = 0;
      int sameBothWays = 0;
      for (const TrebleButton& button : row.buttons) {
        EXPECT_TRUE(pitchClassesOf({button.push}) & tonic) << button.pushName;
        seventhNotes += (pitchClassesOf({button.pull}) & dominantSeventh) != 0;
        EXPECT_TRUE(namesNote(button.pushName, button.push)) << button.pushName << button.push;
        EXPECT_TRUE(namesNote(button.pullName, button.pull)) << button.pullName << button.pull;
        if (button.push == button.pull) {
          ++sameBothWays;
          EXPECT_EQ(pitchClass(button.push), (key + 7) % 12) << "the Gleichton is the fifth";
        }
      }
      EXPECT_GE(4 * seventhNotes, 3 * static_cast<int>(row.buttons.size()));
      // The outer row has no Gleichton, every other row one.
      EXPECT_EQ(sameBothWays, r == 0 ? 0 : 1);
      // Rows follow the circle of fourths from the outside in.
      if (r > 0) {
        EXPECT_EQ((keyPitchClass(instrument.treble[r - 1].key).value() + 5) % 12, key);
      }
    }
  }
}

TEST_F(ShippedInstrumentTest, TheOuterBassRowGivesEachTrebleRowItsTonicPushingAndDominantPulling) {
  for (const auto& [name, instrument] : instruments) {
    SCOPED_TRACE(name);
    ASSERT_FALSE(instrument.bass.empty());
    std::map<std::string, const BassButton*> outer;
    for (const BassButton& button : instrument.bass[0].buttons) outer[button.letter] = &button;
    ASSERT_EQ(outer.size(), 2 * instrument.treble.size());
    for (std::size_t r = 0; r < instrument.treble.size(); ++r) {
      const int key = keyPitchClass(instrument.treble[r].key).value();
      const std::string letter(1, static_cast<char>('A' + r));
      const BassButton* bass = outer[letter];
      const BassButton* chord = outer[std::string(1, static_cast<char>('a' + r))];
      ASSERT_TRUE(bass && chord) << letter;
      EXPECT_EQ(bass->push.notes.size(), 1u);
      EXPECT_EQ(pitchClass(bass->push.notes[0]), key);
      EXPECT_EQ(pitchClass(bass->pull.notes[0]), (key + 7) % 12);
      EXPECT_EQ(pitchClassesOf(chord->push.notes), pitchClassesOf({key, key + 4, key + 7}));
      EXPECT_EQ(pitchClassesOf(chord->pull.notes), pitchClassesOf({key + 7, key + 11, key + 14}));
    }
    for (const BassRow& row : instrument.bass)
      for (const BassButton& button : row.buttons)
        for (const BassSound* sound : {&button.push, &button.pull})
          if (button.chord()) {
            EXPECT_TRUE(isMajorOrMinorTriad(sound->notes)) << button.letter;
          }
  }
}

TEST_F(ShippedInstrumentTest, FourAndFiveRowsBeginWithTheThreeRowTuningOfTheirFirstKeys) {
  for (const auto& [name, instrument] : instruments) {
    if (instrument.treble.size() < 4) continue;
    SCOPED_TRACE(name);
    const std::string three = instrument.treble[0].key + "-" + instrument.treble[1].key + "-" +
                              instrument.treble[2].key;
    const Instrument& threeRow = instruments.at("Instrument_" + three + "_12-Bass.txt");
    for (std::size_t r = 0; r < 3; ++r) EXPECT_EQ(instrument.treble[r], threeRow.treble[r]);
  }
}

// ---- Where the buttons stand

TEST_F(FormTest, ThreeRowsStandWhereTheWindowHasAlwaysPutItsKeys) {
  const InstrumentPlaces places = placeInstrument({11, 12, 11}, {6, 6});
  ASSERT_EQ(places.treble.size(), static_cast<std::size_t>(kKeyCount));
  for (int b = 0; b < kKeyCount; ++b) {
    const Control& key = form.Keys[static_cast<std::size_t>(b)];
    EXPECT_EQ(places.treble[std::size_t(b)], (TwipRect{key.left, key.top, key.width, key.height})) << b;
  }
}

namespace {

bool overlap(const TwipRect& a, const TwipRect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height;
}

}  // namespace

class InstrumentPlacesTest : public FormTest {
 protected:
  /// Every control of the window's design that lies on the window, but the keys and markers.
  std::vector<std::pair<std::string, TwipRect>> otherControls() {
    std::vector<std::pair<std::string, TwipRect>> controls;
    auto add = [&](const char* name, const char* kind, const char* parent, const auto& c) {
      if constexpr (std::is_base_of_v<Control, std::decay_t<decltype(c)>>) {
        const std::set<std::string> skipped{"Key", "Marker", "Timer", "Data", "Sheet"};
        if (std::string(parent) == "Window" && !skipped.count(kind) && c.width > 0 && c.height > 0)
          controls.push_back({name, {c.left, c.top, c.width, c.height}});
      }
    };
#define CONTROL(name, kind, type, parent, handler) add(#name, #kind, #parent, form.name);
#define PASSIVE(name, kind, type, parent) add(#name, #kind, #parent, form.name);
#define ARRAY(name, kind, type, count, parent, handler) \
  for (const auto& c : form.name) add(#name, #kind, #parent, c);
#define PASSIVE_ARRAY(name, kind, type, count, parent) \
  for (const auto& c : form.name) add(#name, #kind, #parent, c);
#include "shell/controls.inc"
#undef CONTROL
#undef PASSIVE
#undef ARRAY
#undef PASSIVE_ARRAY
    return controls;
  }
};

TEST_F(InstrumentPlacesTest, EveryInstrumentFitsBesideTheWindowsControlsWithoutOverlaps) {
  const auto controls = otherControls();
  ASSERT_GT(controls.size(), 50u);
  const std::vector<std::pair<std::vector<int>, std::vector<int>>> shapes{
      {{11, 12, 11}, {6, 2}}, {{11, 12, 11}, {6, 6}}, {{11, 12, 11, 11}, {8, 8}},
      {{11, 12, 11, 11, 10}, {10, 8}}, {{16, 16, 16, 16, 16}, {12, 12, 12}}};
  for (const auto& [treble, bass] : shapes) {
    SCOPED_TRACE(::testing::PrintToString(treble) + ::testing::PrintToString(bass));
    const InstrumentPlaces places = placeInstrument(treble, bass);
    std::vector<TwipRect> all = places.treble;
    // A bass button's pull and push numbers share one place.
    const std::size_t basses = places.bass.size() / 2;
    for (std::size_t b = 0; b < basses; ++b) EXPECT_EQ(places.bass[b], places.bass[b + basses]);
    all.insert(all.end(), places.bass.begin(), places.bass.begin() + std::ptrdiff_t(basses));
    for (std::size_t i = 0; i < all.size(); ++i) {
      EXPECT_GE(all[i].width, 225) << i << ": too small to click";  // 15 pixels
      EXPECT_GE(all[i].left, 0);
      EXPECT_LE(all[i].left + all[i].width, kNarrowWidth);
      for (std::size_t j = i + 1; j < all.size(); ++j) EXPECT_FALSE(overlap(all[i], all[j])) << i << " " << j;
      for (const auto& [name, rect] : controls) EXPECT_FALSE(overlap(all[i], rect)) << i << " " << name;
    }
  }
}

TEST(InstrumentPlacesShapeTest, ButtonsStandInTheirRowsColumnAndRankFromTheTop) {
  const std::vector<int> treble{11, 12, 11, 11};
  const InstrumentPlaces places = placeInstrument(treble, {8, 8});
  const ButtonNumbering numbering(treble);
  for (int id = 0; id + 1 < numbering.count(); ++id) {
    const ButtonAt at = *numbering.placeOf(id);
    const auto below = numbering.numberOf({at.push, at.row, at.number + 1});
    const auto inward = numbering.numberOf({at.push, at.row + 1, at.number});
    const TwipRect& here = places.treble[std::size_t(id)];
    if (below) {
      EXPECT_EQ(places.treble[std::size_t(*below)].left, here.left);
      EXPECT_GT(places.treble[std::size_t(*below)].top, here.top);
    }
    if (inward) {
      EXPECT_GT(places.treble[std::size_t(*inward)].left, here.left);
    }
    // The push block lies right of the whole pull block.
    if (at.push) {
      EXPECT_GT(here.left, places.treble[std::size_t(*numbering.numberOf({false, 4, 1}))].left);
    }
  }
  // The bass side reads from the top of each row left to right, inner rows set off.
  EXPECT_LT(places.bass[0].left, places.bass[2].left);
  EXPECT_GT(places.bass[1].top, places.bass[0].top);  // button 1 of the inner row
  EXPECT_GT(places.bass[1].left, places.bass[0].left);
}

// ---- Which buttons sound a pitch

TEST_F(ShippedInstrumentTest, EveryButtonIsFoundUnderTheNotesItSoundsAndNowhereElse) {
  for (const auto& [name, instrument] : instruments) {
    SCOPED_TRACE(name);
    const PitchMap map = pitchMap(instrument);
    std::size_t trebleEntries = 0;
    for (int pitch = 0; pitch < 128; ++pitch) {
      for (const ButtonChoice& choice : map.treble[std::size_t(pitch)]) {
        const TrebleButton& b = instrument.treble[std::size_t(choice.at.row - 1)].buttons[std::size_t(choice.at.number - 1)];
        EXPECT_EQ(choice.at.push ? b.push : b.pull, pitch);
        EXPECT_EQ(ButtonNumbering(trebleRowLengths(instrument)).numberOf(choice.at), choice.id);
      }
      trebleEntries += map.treble[std::size_t(pitch)].size();
    }
    EXPECT_EQ(trebleEntries, std::size_t(ButtonNumbering(trebleRowLengths(instrument)).count()));
    // Each row's key as a bass is on the push side of its outer bass; its major chord, in any
    // voicing, on the push side of its chord button.
    for (std::size_t r = 0; r < instrument.treble.size(); ++r) {
      const int key = keyPitchClass(instrument.treble[r].key).value();
      const auto& basses = map.basses[std::size_t(key)];
      EXPECT_TRUE(std::any_of(basses.begin(), basses.end(), [&](const ButtonChoice& c) {
        return c.at.push && c.at.row == 1;
      }));
      const auto chords = map.chords.find(pitchClassesOf({key + 16, key + 7, key + 12}));
      ASSERT_NE(chords, map.chords.end());
      EXPECT_TRUE(std::any_of(chords->second.begin(), chords->second.end(),
                              [](const ButtonChoice& c) { return c.at.push && c.at.row == 1; }));
    }
  }
}
