// The treble buttons beside the keyboard's 68: which instruments bring them, where they and the
// keyboard stand, and how holding them sounds their notes.
#include <gtest/gtest.h>

#include "exchange/midi_lesson.h"
#include "input/treble_beside.h"
#include "shipped_layouts.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr const char* kFourRows = "Instrument_G-C-F-B_16-Bass.txt";
constexpr const char* kFiveRows = "Instrument_G-C-F-B-Es_18-Bass.txt";

bool overlap(const TwipRect& a, const TwipRect& b) {
  return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
         b.top < a.top + a.height;
}

using Change = TrebleBeside::Change;

}  // namespace

class TrebleBesideTest : public ::testing::Test {
 protected:
  TrebleBeside beside;

  static Instrument load(const std::string& name) { return shippedInstrumentOf(name); }
  static ButtonNotes keyboard(const std::string& tuning) {
    return buttonNotesOf(shippedLayout(tuning));
  }
  int place(bool push, int row, int number) {
    const auto p = beside.placeOf({push, row, number});
    EXPECT_TRUE(p.has_value()) << push << " " << row << "/" << number;
    return p.value_or(-1);
  }
  /// Every place shown, the keyboard's and those beside it.
  std::vector<TwipRect> allRects() const {
    std::vector<TwipRect> rects;
    for (int b = 0; b < kKeyCount; ++b)
      if (const auto r = beside.keyRect(b)) rects.push_back(*r);
    for (int p = 0; p < beside.placeCount(); ++p) rects.push_back(beside.rectOf(p));
    return rects;
  }
};

TEST_F(TrebleBesideTest, OnlyAnInstrumentOfMoreRowsThatBeginsWithTheKeyboardsLayoutBringsThem) {
  const Instrument four = load(kFourRows);
  EXPECT_TRUE(hasTrebleBeside(four, keyboard("G-C-F")));
  EXPECT_FALSE(hasTrebleBeside(four, keyboard("A-D-G"))) << "another tuning's rows";
  EXPECT_TRUE(hasTrebleBeside(load(kFiveRows), keyboard("G-C-F")));
  EXPECT_FALSE(hasTrebleBeside(load("Instrument_G-C-F_12-Bass.txt"), keyboard("G-C-F")))
      << "three rows are the keyboard itself";
  // One button of the first rows sounding otherwise than the keyboard's is enough to refuse.
  Instrument changed = four;
  changed.treble[1].buttons[5].pull += 1;
  EXPECT_FALSE(hasTrebleBeside(changed, keyboard("G-C-F")));
}

TEST_F(TrebleBesideTest, WithoutMoreRowsTheKeyboardStandsWhereItAlwaysHas) {
  auto expectDesigned = [this] {
    EXPECT_FALSE(beside.present());
    EXPECT_EQ(beside.placeCount(), 0);
    // The outer, middle and inner row's first buttons of each block, as the window draws them.
    EXPECT_EQ(beside.keyRect(0), (TwipRect{6240, 840, 615, 495}));
    EXPECT_EQ(beside.keyRect(1), (TwipRect{6960, 480, 615, 495}));
    EXPECT_EQ(beside.keyRect(2), (TwipRect{7680, 840, 615, 495}));
    EXPECT_EQ(beside.keyRect(kButtonsPerBlock), (TwipRect{9000, 840, 615, 495}));
    EXPECT_EQ(beside.keyRect(kButtonsPerBlock + 1), (TwipRect{9720, 600, 615, 495}));
    for (int b = 0; b < kKeyCount; ++b) EXPECT_TRUE(beside.keyRect(b).has_value()) << b;
  };
  expectDesigned();
  const Instrument four = load(kFourRows);
  beside.use(&four);
  EXPECT_NE(beside.keyRect(0), (TwipRect{6240, 840, 615, 495}));
  beside.use(nullptr);
  expectDesigned();
  EXPECT_EQ(beside.keyRect(-1), std::nullopt);
  EXPECT_EQ(beside.keyRect(kKeyCount), std::nullopt);
}

TEST_F(TrebleBesideTest, AFourRowInstrumentShowsItsFourthRowInBothBlocksAmongTheKeyboard) {
  const Instrument four = load(kFourRows);
  beside.use(&four);
  ASSERT_TRUE(beside.present());
  const int rowB = static_cast<int>(four.treble[3].buttons.size());
  ASSERT_EQ(beside.placeCount(), 2 * rowB);
  for (int p = 0; p < beside.placeCount(); ++p) EXPECT_EQ(beside.at(p).row, 4) << p;
  const int es = place(false, 4, 2);
  EXPECT_EQ(beside.caption(es), "es");
  EXPECT_EQ(beside.pitchOf(es), 63);
  EXPECT_EQ(beside.pitchOf(place(true, 4, 2)), 58);
  // Both blocks fit in the room between the lists and the panel, nothing over anything, the
  // fourth row beside the third in its block.
  const std::vector<TwipRect> rects = allRects();
  ASSERT_EQ(rects.size(), std::size_t(kKeyCount + 2 * rowB));
  for (std::size_t i = 0; i < rects.size(); ++i) {
    EXPECT_GE(rects[i].left, kInstrumentLeft) << i;
    EXPECT_LE(rects[i].left + rects[i].width, kInstrumentRight) << i;
    EXPECT_LE(rects[i].top + rects[i].height, kBassBandTop) << i;
    for (std::size_t j = i + 1; j < rects.size(); ++j) EXPECT_FALSE(overlap(rects[i], rects[j])) << i << " " << j;
  }
  const TwipRect pullB = beside.rectOf(place(false, 4, 1));
  const TwipRect pushB = beside.rectOf(place(true, 4, 1));
  EXPECT_GT(pullB.left, beside.keyRect(2)->left) << "inside the pull block's third row";
  EXPECT_LT(pullB.left, beside.keyRect(kButtonsPerBlock)->left) << "left of the push block";
  EXPECT_GT(pushB.left, beside.keyRect(kButtonsPerBlock + 2)->left);
}

TEST_F(TrebleBesideTest, AFiveRowInstrumentShowsBothInnerRowsAndEveryButtonPastTheKeyboards) {
  const Instrument five = load(kFiveRows);
  beside.use(&five);
  int expected = 0;
  for (std::size_t r = 0; r < five.treble.size(); ++r) {
    const int length = static_cast<int>(five.treble[r].buttons.size());
    const int keyboardHas = r >= 3 ? 0 : (r == 1 ? 12 : 11);
    expected += 2 * std::max(0, length - keyboardHas);
  }
  EXPECT_EQ(beside.placeCount(), expected);
  const std::vector<TwipRect> rects = allRects();
  for (std::size_t i = 0; i < rects.size(); ++i)
    for (std::size_t j = i + 1; j < rects.size(); ++j) EXPECT_FALSE(overlap(rects[i], rects[j])) << i << " " << j;
  EXPECT_TRUE(beside.placeOf({false, 5, 1}).has_value());
  EXPECT_FALSE(beside.placeOf({false, 1, 1}).has_value()) << "the keyboard's own";
}

TEST_F(TrebleBesideTest, APitchStartsWithItsFirstButtonAndStopsWithItsLast) {
  const Instrument four = load(kFourRows);
  beside.use(&four);
  const int pullF = place(false, 4, 3);  // f1 pulling
  const int pushF = place(true, 4, 4);   // f1 pushing
  ASSERT_EQ(beside.pitchOf(pullF), beside.pitchOf(pushF));
  EXPECT_EQ(beside.click(pullF), (Change{{}, {65}}));
  EXPECT_EQ(beside.click(pushF), Change{});
  EXPECT_TRUE(beside.held(pushF));
  EXPECT_EQ(beside.click(pullF), Change{}) << "the other button still sounds it";
  EXPECT_FALSE(beside.held(pullF));
  EXPECT_EQ(beside.click(pushF), (Change{{65}, {}}));
  // A key and a click on one button: it sounds until both let go.
  beside.hold(pullF, Holder::Key);
  beside.click(pullF);
  EXPECT_EQ(beside.releaseAll(Holder::Key), Change{});
  EXPECT_EQ(beside.releaseAll(Holder::Mouse), (Change{{65}, {}}));
  EXPECT_EQ(beside.hold(beside.placeCount(), Holder::Key), Change{}) << "no such place";
}

TEST_F(TrebleBesideTest, AMidiNoteHoldsTheButtonOfTheBellowsDirectionAndFollowsTheBellows) {
  const Instrument four = load(kFourRows);
  beside.use(&four);
  EXPECT_EQ(beside.midiNoteOn(61, false), std::nullopt) << "no button beside sounds c#1";
  EXPECT_EQ(beside.midiNoteOn(77, false), (Change{{}, {77}}));
  EXPECT_TRUE(beside.held(place(false, 4, 7)));
  EXPECT_EQ(beside.midiNoteOn(77, false), Change{}) << "held already";
  // The bellows turn: f2 pushing is another button of the row.
  EXPECT_EQ(beside.midiNoteOn(77, true), (Change{{77}, {77}}));
  EXPECT_TRUE(beside.held(place(true, 4, 7)));
  EXPECT_FALSE(beside.held(place(false, 4, 7)));
  // es1 sounds only pulling: pushing it is let go and nothing takes it.
  EXPECT_EQ(beside.midiNoteOn(63, false), (Change{{}, {63}}));
  EXPECT_EQ(beside.midiNoteOn(63, true), (Change{{63}, {}}));
  EXPECT_EQ(beside.midiNoteOff(63), std::nullopt);
  EXPECT_EQ(beside.midiNoteOff(77), (Change{{77}, {}}));
  EXPECT_EQ(beside.midiNoteOff(77), std::nullopt) << "a note-off twice";
}

TEST_F(TrebleBesideTest, ReplayHoldsAnEventsButtonsBesideUntilTheNextEventThatIsNoRingingRest) {
  const Instrument four = load(kFourRows);
  beside.use(&four);
  const int es = place(false, 4, 2);
  const std::vector<ButtonAt> event{{false, 4, 2}, {false, 1, 3}};  // one of the keyboard's too
  EXPECT_EQ(beside.replayEvent(event, false), (Change{{}, {63}}));
  EXPECT_TRUE(beside.marked(es));
  EXPECT_EQ(beside.replayEvent({}, true), Change{}) << "a rest that rings on";
  EXPECT_TRUE(beside.held(es));
  EXPECT_EQ(beside.replayEvent({{false, 4, 4}}, false), (Change{{63}, {69}}));
  EXPECT_FALSE(beside.marked(es));
  // A button the learner holds is not let go by replay, nor marked.
  beside.click(es);
  EXPECT_EQ(beside.replayEvent({}, false), (Change{{69}, {}}));
  EXPECT_TRUE(beside.held(es));
  EXPECT_FALSE(beside.marked(es));
}

TEST_F(TrebleBesideTest, AnotherInstrumentLetsGoOfEverythingHeldBeside) {
  const Instrument four = load(kFourRows);
  beside.use(&four);
  beside.click(place(false, 4, 2));
  beside.midiNoteOn(77, true);
  beside.replayEvent({{true, 4, 1}}, false);
  Change change = beside.use(nullptr);
  std::sort(change.stopped.begin(), change.stopped.end());
  EXPECT_EQ(change, (Change{{53, 63, 77}, {}}));
  EXPECT_EQ(beside.sounding(), std::vector<int>{});
  EXPECT_EQ(beside.midiNoteOff(77), std::nullopt) << "the MIDI note's button is gone";
}
