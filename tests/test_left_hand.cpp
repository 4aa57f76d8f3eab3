// The left hand on the shipped G-C-F instrument with twelve basses: each button sounds in the
// bellows' direction and turns with them, a pitch shared by two buttons sounds once and ends
// with the last of them, clicks latch where keys and MIDI notes hold, and a MIDI instrument's
// bass channel finds its basses by pitch class and its chords by their root.
#include <gtest/gtest.h>

#include "fakes.h"
#include "input/left_hand.h"
#include "instrument/instrument_format.h"
#include "shipped_layouts.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

using Holder = LeftHand::Holder;

BassNote bass(int pitch) { return {false, pitch}; }
BassNote chordNote(int pitch) { return {true, pitch}; }

}  // namespace

class LeftHandTest : public ::testing::Test {
 protected:
  MemoryFiles files;
  LeftHand hand;

  static constexpr const char* kTwelve = "Instrument_G-C-F_12-Bass.txt";

  static Instrument shipped(const std::string& name) { return shippedInstrumentOf(name); }
  void SetUp() override {
    files.loadShippedData();
    hand.use(shipped(kTwelve), kTwelve);
  }
  /// The place of a button by its row (from the outside in) and number (from the top).
  int place(int row, int number) const {
    for (int p = 0; p < hand.placeCount(); ++p) {
      const ButtonAt at = hand.at(p);
      if (at.row == row && at.number == number) return p;
    }
    ADD_FAILURE() << "no button " << row << "." << number;
    return -1;
  }
};

TEST_F(LeftHandTest, AButtonSoundsInTheBellowsDirectionAndTurnsWithThem) {
  // Outer row, first button: bass C pulling, F pushing.
  const int c = place(1, 1);
  EXPECT_EQ(hand.buttonAt(c).letter, "C");
  EXPECT_EQ(hand.hold(c, Holder::Key), (LeftHand::Change{{}, {bass(36)}}));
  EXPECT_EQ(hand.turnBellows(true), (LeftHand::Change{{bass(36)}, {bass(41)}}));
  EXPECT_EQ(hand.turnBellows(true), LeftHand::Change{}) << "the bellows already push";
  // A record numbers the button by its direction: the push block follows the pull block.
  EXPECT_EQ(hand.numberOf(c), c + hand.placeCount());
  EXPECT_EQ(hand.letGo(c, Holder::Key), (LeftHand::Change{{bass(41)}, {}}));
  EXPECT_TRUE(hand.heldPlaces().empty());
}

TEST_F(LeftHandTest, APitchTwoButtonsShareStartsOnceAndEndsWithTheLastOfThem) {
  // Pulling, the outer row's chord c and the inner row's a' both sound C major (48 52 55).
  const int c = place(1, 2), aInner = place(2, 6);
  EXPECT_EQ(hand.hold(c, Holder::Mouse).started,
            (std::vector<BassNote>{chordNote(48), chordNote(52), chordNote(55)}));
  EXPECT_TRUE(hand.hold(aInner, Holder::Key).started.empty());
  EXPECT_TRUE(hand.letGo(c, Holder::Mouse).stopped.empty()) << "a' still holds the chord";
  EXPECT_EQ(hand.letGo(aInner, Holder::Key).stopped.size(), 3u);
  EXPECT_TRUE(hand.sounding().empty());
}

TEST_F(LeftHandTest, AClickLatchesTheButtonAndASecondClickLetsGoWhatTheMouseHeld) {
  const int b = place(1, 3);
  EXPECT_EQ(hand.click(b).started, std::vector<BassNote>{bass(43)});
  EXPECT_TRUE(hand.held(b));
  hand.hold(b, Holder::Key);
  EXPECT_TRUE(hand.click(b).stopped.empty()) << "the key still holds it";
  EXPECT_TRUE(hand.held(b));
  EXPECT_EQ(hand.letGo(b, Holder::Key).stopped, std::vector<BassNote>{bass(43)});
  EXPECT_EQ(hand.letGo(b, Holder::Key), LeftHand::Change{}) << "let go twice";
}

TEST_F(LeftHandTest, LettingGoOfTheKeysKeepsWhatTheMouseLatched) {
  const int clicked = place(1, 1), keyed = place(1, 3);
  hand.click(clicked);
  hand.hold(keyed, Holder::Key);
  EXPECT_EQ(hand.releaseAll(Holder::Key).stopped, std::vector<BassNote>{bass(43)});
  EXPECT_EQ(hand.heldPlaces(), std::vector<int>{clicked});
  EXPECT_EQ(hand.releaseAll().stopped, std::vector<BassNote>{bass(36)});
}

TEST_F(LeftHandTest, AMidiNoteFindsTheBassOfItsPitchClassOrTheChordOfItsRoot) {
  ASSERT_TRUE(hand.readMidiChannel("2"));
  EXPECT_TRUE(hand.playsChannel(1));
  EXPECT_FALSE(hand.playsChannel(0));
  // Pulling: D in any low octave is the bass A (D 38); C above 48 is a chord rooted on C.
  EXPECT_EQ(hand.midiNoteOn(26).started, std::vector<BassNote>{bass(38)});
  EXPECT_EQ(hand.buttonAt(hand.heldPlaces().at(0)).letter, "A");
  const auto chord = hand.midiNoteOn(60);
  ASSERT_EQ(chord.started.size(), 3u);
  EXPECT_EQ(chord.started.front(), chordNote(48));
  // E minor is a chord of the push (the inner row's a'): pulling, no button plays it.
  EXPECT_EQ(hand.midiNoteOn(64), LeftHand::Change{});
  hand.midiNoteOff(64);
  // The note-off lets go what its note-on held, however the bellows turned since.
  hand.turnBellows(true);
  EXPECT_EQ(hand.midiNoteOn(64).started.front(), chordNote(52));
  hand.midiNoteOff(26);
  hand.midiNoteOff(60);
  hand.midiNoteOff(64);
  EXPECT_TRUE(hand.heldPlaces().empty());
  EXPECT_TRUE(hand.sounding().empty());
}

TEST_F(LeftHandTest, APitchWithNoButtonAndANoteOnTwiceHoldNothingMore) {
  // No bass of the G-C-F side sounds C sharp.
  EXPECT_EQ(hand.midiNoteOn(37), LeftHand::Change{});
  EXPECT_TRUE(hand.heldPlaces().empty());
  hand.midiNoteOn(36);
  EXPECT_EQ(hand.midiNoteOn(36), LeftHand::Change{}) << "a note-on again without its note-off";
  EXPECT_EQ(hand.midiNoteOff(36).stopped, std::vector<BassNote>{bass(36)});
  EXPECT_EQ(hand.midiNoteOff(36), LeftHand::Change{});
}

TEST_F(LeftHandTest, TheBassChannelIsAWholeNumberFromOneToSixteenOrNone) {
  for (const char* refused : {"0", "17", "x", "2.5", "-1"}) {
    EXPECT_FALSE(hand.readMidiChannel(refused)) << refused;
  }
  ASSERT_TRUE(hand.readMidiChannel("16"));
  EXPECT_TRUE(hand.playsChannel(15));
  ASSERT_TRUE(hand.readMidiChannel(""));
  EXPECT_FALSE(hand.playsChannel(15));
  EXPECT_FALSE(hand.playsChannel(-1));
}

TEST_F(LeftHandTest, TheBottomRowOfKeysPlaysTheOuterRowAndTheFunctionKeysTheInner) {
  EXPECT_EQ(hand.placeForKey("C"), place(1, 1));
  EXPECT_EQ(hand.placeForKey("V"), place(1, 2));
  EXPECT_EQ(hand.placeForKey("Comma"), place(1, 6));
  EXPECT_EQ(hand.placeForKey("F6"), place(2, 6));
  // Twelve basses are two rows of six: the keys past them play nothing, nor do the rests'.
  for (const char* key : {"Period", "Slash", "F7", "F9", "Z", "X", "A"})
    EXPECT_EQ(hand.placeForKey(key), std::nullopt) << key;
  for (int p = 0; p < hand.placeCount(); ++p) EXPECT_EQ(hand.placeForKey(hand.keyOf(p)), p);
}

TEST_F(LeftHandTest, AnotherInstrumentLetsEverythingGoAndNoneHasNoButtons) {
  hand.click(place(1, 1));
  hand.hold(place(1, 2), Holder::Key);
  const auto change = hand.use(shipped("Instrument_G-C-F_8-Bass.txt"), "Instrument_G-C-F_8-Bass.txt");
  EXPECT_EQ(change.stopped.size(), 4u) << "the bass and the chord's three notes";
  EXPECT_EQ(hand.placeCount(), 8);
  EXPECT_TRUE(hand.heldPlaces().empty());
  hand.use(std::nullopt, "ignored");
  EXPECT_FALSE(hand.present());
  EXPECT_EQ(hand.file(), "");
  EXPECT_EQ(hand.placeCount(), 0);
  EXPECT_EQ(hand.click(0), LeftHand::Change{});
  EXPECT_EQ(hand.placeForKey("C"), std::nullopt);
  EXPECT_EQ(hand.placeForPitch(36), std::nullopt);
}

TEST_F(LeftHandTest, EveryButtonOfEveryShippedSideHasAPlaceInTheBandApartFromTheOthers) {
  const std::vector<std::string> names = files.list("Notes/").value();
  for (const std::string& name : names) {
    if (!matchesPattern(name, "Instrument_*.txt")) continue;
    std::vector<InstrumentProblem> problems;
    auto instrument = parseInstrument(files.read("Notes/" + name).value(), problems);
    ASSERT_TRUE(instrument) << name;
    if (!instrument->layout.empty()) {
      std::size_t lines = 0;
      takeTrebleFromLayout(*instrument,
                           *parseNoteLayout(files.read("Notes/" + instrument->layout).value(), lines));
    }
    hand.use(*instrument, name);
    ASSERT_GT(hand.placeCount(), 0) << name;
    for (int a = 0; a < hand.placeCount(); ++a) {
      const TwipRect r = hand.rectOf(a);
      EXPECT_GE(r.top, kBassBandTop) << name;
      EXPECT_LE(r.top + r.height, kBassBandBottom) << name;
      EXPECT_LE(r.left + r.width, kBassBandRight) << name;
      EXPECT_GT(r.width, 0) << name;
      for (int b = a + 1; b < hand.placeCount(); ++b) {
        const TwipRect o = hand.rectOf(b);
        const bool apart = r.left + r.width <= o.left || o.left + o.width <= r.left ||
                           r.top + r.height <= o.top || o.top + o.height <= r.top;
        EXPECT_TRUE(apart) << name << ": places " << a << " and " << b;
      }
    }
  }
}
