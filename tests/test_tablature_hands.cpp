// The tablature of both hands and of more rows: the bass letters under the staff at their
// moments, the push bar under a pushed bass, rows 4 and 5 with their double cross, and the SVG
// of both.
#include <gtest/gtest.h>

#include <list>

#include "instrument/instrument_format.h"
#include "tab_tunes.h"
#include "tablature/tab_layout.h"
#include "tablature/tab_svg.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

const Meter kPolka{2, 2, 0, 0};  // 2/4 on a grid of eighths
const std::string A = chord({button(2, 6)});
const std::string P = chord({button(2, 6, true)});

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(TabNoteTest, RowsFourAndFiveStandAsRowsOneAndTwoWithADoubleCross) {
  EXPECT_EQ(tabNoteAt({false, 4, 7}), (TabNote{4, 7, 3, false, true}));  // beside row 1's 7
  EXPECT_EQ(tabNoteAt({true, 5, 6}), (TabNote{5, 6, 4, false, true}));   // beside row 2's 6
  for (int b = 0; b < 68; ++b) {
    const ButtonPlace place = placeOf(b);
    EXPECT_EQ(tabNoteAt({place.push, place.row, place.number}), tabNoteOf(b)) << b;
    EXPECT_FALSE(tabNoteOf(b).doubleCross) << b;
  }
  for (int number = 1; number <= 13; ++number) {
    EXPECT_NE(tabNoteAt({false, 4, number}).step % 2, 0) << number;  // between the lines
    EXPECT_EQ(tabNoteAt({false, 5, number}).step % 2, 0) << number;  // on them
  }
}

class TabHandsTest : public ::testing::Test {
 protected:
  TabGeometry g;
  TabDocument document{"T", "G-C-F-B", kPolka, 0, {}};
  std::list<std::vector<TabPage>> kept;

  const TabSystem& firstStaff() {
    kept.push_back(layoutTablature(document, g));
    return kept.back().at(0).systems.at(0);
  }
};

TEST_F(TabHandsTest, BassLettersStandUnderTheBeatsTheyArePlayedOn) {
  // A quarter, two eighths, a quarter held over a beat's bass: bass-chord on each beat pair,
  // and a chord letter on the off-beat under the held quarter.
  document.buttonLines = tune({{A, 2}, {A, 1}, {A, 1}, {A, 4}});
  document.bass = {{1, "A", false}, {3, "a", false}, {5, "B", false}, {6, "b", false},
                   {7, "b", false}};
  const TabSystem& staff = firstStaff();
  ASSERT_EQ(staff.items.size(), 4u);
  ASSERT_EQ(staff.letters.size(), 5u);
  std::string letters;
  for (const TabLetter& l : staff.letters) letters += l.text;
  EXPECT_EQ(letters, "AaBbb");
  EXPECT_DOUBLE_EQ(staff.letters[0].x, staff.items[0].x);  // on the beat: under the head
  EXPECT_DOUBLE_EQ(staff.letters[1].x, staff.items[1].x);
  EXPECT_DOUBLE_EQ(staff.letters[2].x, staff.items[3].x);  // the half note's start
  // Within the half note: a quarter and three eighths on, in order, before its column ends.
  EXPECT_GT(staff.letters[3].x, staff.letters[2].x);
  EXPECT_GT(staff.letters[4].x, staff.letters[3].x);
  EXPECT_LT(staff.letters[4].x, staff.items[3].right);
  // Under the staff and its notes, above the push bar.
  EXPECT_GT(staff.letterY - 0.72 * g.letterSize(), g.stepY(0));
  EXPECT_LT(staff.letterY, staff.pushY);
}

TEST_F(TabHandsTest, TheLettersOfOneEventStandTogetherAndLettersPastTheRecordAreLeftOut) {
  document.buttonLines = {A, A};
  document.bass = {{1, "A", false}, {1, "a", false}, {3, "B", false}, {0, "C", false}};
  const TabSystem& staff = firstStaff();
  ASSERT_EQ(staff.letters.size(), 1u);
  EXPECT_EQ(staff.letters[0].text, "Aa");
}

TEST_F(TabHandsTest, LettersMoveThePushBarDownAndLeaveTheTrebleWhereItWas) {
  document.buttonLines = tune({{P, 2}, {A, 2}});
  const TabSystem without = firstStaff();
  document.bass = {{3, "A", false}};
  const TabSystem& with = firstStaff();
  EXPECT_TRUE(without.letters.empty());
  EXPECT_GT(with.pushY, without.pushY);
  EXPECT_GT(with.below, without.below);
  ASSERT_EQ(with.items.size(), without.items.size());
  for (std::size_t i = 0; i < with.items.size(); ++i) {
    EXPECT_DOUBLE_EQ(with.items[i].x, without.items[i].x) << i;
    EXPECT_EQ(with.items[i].pushed, without.items[i].pushed) << i;
  }
}

TEST_F(TabHandsTest, ThePushBarRunsUnderARestOfTheTrebleWhileTheBassPushes) {
  // Pulled chord, two steps of treble silence, pulled chord: the bass pushes in the silence.
  document.buttonLines = tune({{A, 2}, {"", 2}, {A, 2}, {"", 2}});
  document.bass = {{1, "A", false}, {3, "B", true}, {7, "a", false}};
  const TabSystem& staff = firstStaff();
  ASSERT_EQ(staff.items.size(), 4u);
  EXPECT_FALSE(staff.items[0].pushed);
  EXPECT_TRUE(staff.items[1].pushed);
  EXPECT_FALSE(staff.items[2].pushed);
  EXPECT_FALSE(staff.items[3].pushed);  // a pulled bass in the last silence
  ASSERT_EQ(staff.pushBars.size(), 1u);
  EXPECT_DOUBLE_EQ(staff.pushBars[0].first, staff.items[1].left);
  EXPECT_DOUBLE_EQ(staff.pushBars[0].second, staff.items[1].right);
}

TEST_F(TabHandsTest, APulledBassInARestBetweenPushedChordsTurnsTheBellows) {
  document.buttonLines = tune({{P, 2}, {"", 2}, {P, 2}});
  const std::size_t bars = firstStaff().pushBars.size();
  EXPECT_EQ(bars, 1u);  // without bass the bellows stay closed through the rest
  document.bass = {{3, "B", false}};
  const TabSystem& staff = firstStaff();
  EXPECT_FALSE(staff.items[1].pushed);
  EXPECT_EQ(staff.pushBars.size(), 2u);
}

TEST_F(TabHandsTest, ABassAgainstItsChordsBellowsMarksTheChord) {
  document.buttonLines = tune({{A, 2}, {P, 2}});
  document.bass = {{1, "A", true}, {3, "B", true}};
  const TabSystem& staff = firstStaff();
  EXPECT_EQ(staff.items[0].bellows, Bellows::Both);
  EXPECT_EQ(staff.items[1].bellows, Bellows::Push);
  EXPECT_NE(tabPageSvg(document, kept.back(), 0).find("class=\"mixed\""), std::string::npos);
}

TEST_F(TabHandsTest, AFourthRowChordTheRecordFileKeepsSilentIsWrittenAsAChord) {
  // Event 1: row 4 alone, held a quarter (a silence in the record file, which then rings on);
  // event 3: rows 2 and 4 together; then a real silence.
  document.buttonLines = {kBreakMute, kBreakPlay, A,          kBreakPlay,
                          kBreakMute, kBreakMute, kBreakMute, kBreakMute};
  document.trebleBeside = {{1, Hand::Treble, {false, 4, 7}}, {3, Hand::Treble, {false, 4, 9}}};
  const TabSystem& staff = firstStaff();
  ASSERT_EQ(staff.items.size(), 3u);
  EXPECT_FALSE(staff.items[0].rhythm.rest);
  ASSERT_EQ(staff.items[0].heads.size(), 1u);
  EXPECT_EQ(staff.items[0].heads[0].note, tabNoteAt({false, 4, 7}));
  ASSERT_EQ(staff.items[1].heads.size(), 2u);
  EXPECT_TRUE(staff.items[1].heads[1].note.doubleCross);  // row 4's 9 above row 2's 6
  EXPECT_TRUE(staff.items[2].rhythm.rest);
  const std::string svg = tabPageSvg(document, kept.back(), 0);
  EXPECT_EQ(count(svg, "class=\"head double-cross\""), 2);  // black notes: the mark is the head
  EXPECT_EQ(count(svg, "class=\"row4\""), 0);
  // Held for a half note, the head is open and the double cross stands before it.
  document.buttonLines = {kBreakMute, kBreakPlay, kBreakPlay, kBreakPlay,
                          A,          kBreakPlay, kBreakPlay, kBreakPlay};
  document.trebleBeside = {{1, Hand::Treble, {false, 4, 7}}, {5, Hand::Treble, {false, 4, 9}}};
  firstStaff();
  const std::string open = tabPageSvg(document, kept.back(), 0);
  EXPECT_EQ(count(open, "class=\"row4\""), 2);
  EXPECT_EQ(count(open, "class=\"head double-cross\""), 0);
}

TEST_F(TabHandsTest, TheSvgWritesEachLetterWithItsEventAndDirection) {
  document.buttonLines = tune({{A, 2}, {P, 2}});
  document.bass = {{1, "A", false}, {2, "a", false}, {3, "D'", true}};
  firstStaff();
  const std::string svg = tabPageSvg(document, kept.back(), 0);
  EXPECT_EQ(count(svg, "class=\"bass\""), 3);
  EXPECT_NE(svg.find("data-events=\"1\" data-bellows=\"pull\""), std::string::npos);
  EXPECT_NE(svg.find("data-events=\"3\" data-bellows=\"push\""), std::string::npos);
  EXPECT_NE(svg.find(">D&apos;</text>"), std::string::npos);
  EXPECT_NE(svg.find(">a</text>"), std::string::npos);
}

TEST(TabAddHandsTest, TheInstrumentGivesTheLettersAndUnknownButtonsAreLeftOut) {
  MemoryFiles files;
  files.loadShippedData();
  std::vector<InstrumentProblem> problems;
  const Instrument instrument =
      parseInstrument(*files.read("Notes/Instrument_G-C-F-B_16-Bass.txt"), problems).value();
  const RecordHands hands{"",
                          {{1, Hand::Bass, {false, 1, 7}},
                           {1, Hand::Treble, {false, 4, 2}},
                           {2, Hand::Bass, {true, 1, 8}},
                           {2, Hand::Bass, {true, 3, 1}},    // no third bass row
                           {3, Hand::Bass, {true, 1, 9}}}};  // the outer row has 8
  TabDocument document;
  addHands(document, hands, instrument);
  EXPECT_EQ(document.bass, (std::vector<TabBass>{{1, "A", false}, {2, "a", true}}));
  EXPECT_EQ(document.trebleBeside, (std::vector<HandButton>{{1, Hand::Treble, {false, 4, 2}}}));
}
