// The tablature on plain data: the staff places of the buttons; stems, heads, push bars, ties,
// spacing and breaks on the page; the SVG's numbers and marks; the window object's document of
// the loaded record.
#include <gtest/gtest.h>

#include <cmath>
#include <list>

#include "records/record_format.h"
#include "tab_tunes.h"
#include "tablature/tab_layout.h"
#include "tablature/tab_svg.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

const std::string A = chord({button(2, 6)});  // on the middle line
const std::string B = chord({button(1, 7)});  // just below it
const Meter kEighths{4, 2, 0, 0};  // 4/4 on a grid of eighths

}  // namespace

// ---- On the staff

TEST(TabNoteTest, RowsAndNumbersFollowTheButtonsPlaces) {
  // Row 1 between the lines (button 7 between the second and the middle line), row 2 on the
  // lines (button 6 on the middle line), row 3 on the lines with a cross.
  EXPECT_EQ(tabNoteOf(18), (TabNote{1, 7, 3, false}));
  EXPECT_EQ(tabNoteOf(16), (TabNote{2, 6, 4, false}));
  EXPECT_EQ(tabNoteOf(17), (TabNote{3, 6, 4, true}));
  EXPECT_EQ(tabNoteOf(0), (TabNote{1, 1, -9, false}));
  EXPECT_EQ(tabNoteOf(33), (TabNote{2, 12, 16, false}));
  EXPECT_EQ(tabNoteOf(34 + 18), tabNoteOf(18));  // push: the same place, the bar tells
  for (int b = 0; b < 68; ++b) {
    const TabNote n = tabNoteOf(b);
    EXPECT_EQ(n.step % 2 != 0, n.row == 1) << b;  // spaces for row 1, lines for the others
    EXPECT_GE(n.step, -9);  // row 1's button 1, four ledger lines under the staff
    EXPECT_LE(n.step, 16);  // row 2's button 12, four above it
  }
}

class TabLayoutTest : public ::testing::Test {
 protected:
  TabGeometry g;
  std::vector<TabPage> lay(const std::vector<std::string>& lines, const Meter& meter = {}) {
    return layoutTablature(TabDocument{"T", "G-C-F", meter, 0, lines}, g);
  }
  /// The items of a layout, which the fixture keeps while the test runs.
  std::vector<const TabItem*> itemsOf(std::vector<TabPage> pages) {
    kept.push_back(std::move(pages));
    std::vector<const TabItem*> items;
    for (const auto& page : kept.back())
      for (const auto& system : page.systems)
        for (const auto& item : system.items) items.push_back(&item);
    return items;
  }
  std::list<std::vector<TabPage>> kept;
};

TEST_F(TabLayoutTest, StemsPointAwayFromTheFarthestNoteAndReachTheMiddleLine) {
  const std::string below = chord({button(1, 5)});                // step -1
  const std::string above = chord({button(2, 8)});                // step 8
  const std::string wide = chord({button(1, 1), button(2, 8)});   // -9 and 8
  const std::string high = chord({button(2, 12)});                // 16, four ledger lines
  const auto items = itemsOf(lay({below, above, A, wide, high}));
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0]->stem, 1);
  EXPECT_EQ(items[1]->stem, -1);
  EXPECT_EQ(items[2]->stem, -1);  // on the middle line: down
  EXPECT_EQ(items[3]->stem, 1);
  EXPECT_EQ(items[4]->stem, -1);
  EXPECT_DOUBLE_EQ(items[4]->stemLine.y1, g.stepY(4));
  EXPECT_EQ(items[4]->ledgers.size(), 4u);
  EXPECT_DOUBLE_EQ(items[0]->stemLine.y1, g.stepY(-1 + 7));  // three and a half spaces
  EXPECT_EQ(items[3]->ledgers.size(), 4u);                   // below: -2, -4, -6, -8
  // A beamed pair takes one direction, from the note farthest from the middle of both.
  const auto pair = itemsOf(lay(tune({{below, 1}, {above, 1}}), kEighths));
  ASSERT_EQ(pair.size(), 2u);
  EXPECT_EQ(pair[0]->stem, 1);
  EXPECT_EQ(pair[1]->stem, 1);
  EXPECT_EQ(pair[0]->flags + pair[1]->flags, 0);
}

TEST_F(TabLayoutTest, ANoteOnTheFirstLedgerLineGetsItAndOneInsideTheStaffNone) {
  // Row 2 stands on the lines: button 3 on the first ledger line below (step -2), 4 on the
  // lowest staff line, 8 on the highest, 9 on the first ledger line above; row 1's button 4
  // hangs below the first ledger line.
  const std::vector<int> buttons{button(2, 3), button(2, 4), button(2, 8), button(2, 9),
                                 button(1, 4)};
  std::vector<int> steps;
  for (int b : buttons) steps.push_back(tabNoteOf(b).step);
  ASSERT_EQ(steps, (std::vector<int>{-2, 0, 8, 10, -3}));
  std::vector<std::string> lines;
  for (int b : buttons) lines.push_back(chord({b}));
  const auto items = itemsOf(lay(lines));
  ASSERT_EQ(items.size(), buttons.size());
  std::vector<std::size_t> ledgers;
  for (const TabItem* item : items) ledgers.push_back(item->ledgers.size());
  EXPECT_EQ(ledgers, (std::vector<std::size_t>{1, 0, 0, 1, 1}));
  EXPECT_DOUBLE_EQ(items[0]->ledgers.at(0).y1, g.stepY(-2));
  EXPECT_DOUBLE_EQ(items[3]->ledgers.at(0).y1, g.stepY(10));
  EXPECT_DOUBLE_EQ(items[4]->ledgers.at(0).y1, g.stepY(-2));
}

TEST_F(TabLayoutTest, HeadsASecondApartStandOnBothSidesOfTheStem) {
  const auto items = itemsOf(lay({chord({button(1, 7), button(2, 6)}),     // steps 3 and 4
                                  chord({button(2, 8), button(1, 9)}),     // 8 and 7
                                  chord({button(2, 6), button(3, 6)})}));  // 4 and 4
  ASSERT_EQ(items.size(), 3u);
  const double head = g.headWidth();
  // Up stem: the upper head to the right. Down stem: the lower head to the left.
  EXPECT_EQ(items[0]->stem, 1);
  EXPECT_DOUBLE_EQ(items[0]->heads[0].x, items[0]->x);
  EXPECT_NEAR(items[0]->heads[1].x - items[0]->x, 0.96 * head, 1e-9);
  EXPECT_EQ(items[1]->stem, -1);
  EXPECT_NEAR(items[1]->heads[0].x - items[1]->x, -0.96 * head, 1e-9);
  EXPECT_DOUBLE_EQ(items[1]->heads[1].x, items[1]->x);
  EXPECT_NE(items[2]->heads[0].x, items[2]->heads[1].x);  // one step: row 2 and row 3 alike
}

TEST_F(TabLayoutTest, PushBarsSpanRunsOfPushedChordsAndTheRestsBetweenThem) {
  // Bar 1: push, push held two beats, push. Bar 2: pull, push, a silent rest, both mixed.
  const auto pages = lay({"44/47/", "50/", kBreakPlay, "53/", "10/", "44/", kBreakMute, "10/44/",
                          kBreakMute, "10/"});
  const TabSystem& system = pages.at(0).systems.at(0);
  ASSERT_EQ(system.items.size(), 9u);
  ASSERT_EQ(system.pushBars.size(), 2u);
  EXPECT_DOUBLE_EQ(system.pushBars[0].first, system.items[0].left);
  EXPECT_DOUBLE_EQ(system.pushBars[0].second, system.items[2].right);  // over the bar line
  EXPECT_DOUBLE_EQ(system.pushBars[1].first, system.items[4].left);
  EXPECT_DOUBLE_EQ(system.pushBars[1].second, system.items[6].right);  // through the rest
  EXPECT_FALSE(system.items[7].pushed);  // a rest before a pulled chord
  EXPECT_EQ(system.items[6].bellows, Bellows::Both);
  EXPECT_GT(system.pushY, g.stepY(0));
  for (const TabItem& item : system.items)
    for (const TabHead& h : item.heads) EXPECT_LT(h.y, system.pushY);
}

TEST_F(TabLayoutTest, SpacingGrowsWithDurationButLessThanIt) {
  // One bar: a half, a quarter, two eighths (the last staff is not stretched).
  const auto items = itemsOf(lay(tune({{A, 4}, {B, 2}, {A, 1}, {B, 1}}), kEighths));
  ASSERT_EQ(items.size(), 4u);
  const double half = items[1]->x - items[0]->x, quarter = items[2]->x - items[1]->x,
               eighth = items[3]->x - items[2]->x;
  EXPECT_GT(half, quarter);
  EXPECT_GT(quarter, eighth);
  EXPECT_LT(half, 2 * quarter);
  EXPECT_LT(quarter, 2 * eighth);
}

TEST_F(TabLayoutTest, LongRecordsBreakIntoStavesAtBarLinesAndIntoPages) {
  std::vector<std::string> record;
  for (int i = 0; i < 200; ++i)
    record.push_back(i % 7 == 3 ? kBreakMute : i % 3 ? "44/47/50/" : chord({button(1, 1)}));
  const auto pages = lay(record);
  ASSERT_GT(pages.size(), 1u);
  int expected = 1;
  for (const TabPage& page : pages) {
    double previousBottom = 0;
    for (const TabSystem& system : page.systems) {
      EXPECT_EQ(system.items.front().rhythm.offset, 0);  // a staff starts a bar
      EXPECT_GE(system.top + system.above, previousBottom);
      EXPECT_GE(system.top + system.above, g.marginTop);
      EXPECT_LE(system.top + system.below, g.height - g.marginBottom);
      EXPECT_GE(system.left, g.marginX);
      EXPECT_LE(system.right, g.width - g.marginX + 1e-6);
      previousBottom = system.top + system.below;
      for (const TabItem& item : system.items) {
        EXPECT_EQ(item.rhythm.event, expected);
        expected = item.rhythm.lastEvent + 1;
        EXPECT_GE(item.left, system.left);
        EXPECT_LE(item.right, system.right);
      }
    }
  }
  EXPECT_EQ(expected, 201);
  // The page and staff of each event are the ones that show it.
  for (int event : {1, 57, 200}) {
    const auto [p, s] = tabPlaceOf(pages, event);
    bool shown = false;
    for (const TabItem& item : pages[std::size_t(p)].systems[std::size_t(s)].items)
      shown = shown || (item.rhythm.event <= event && event <= item.rhythm.lastEvent);
    EXPECT_TRUE(shown) << event;
  }
  EXPECT_EQ(tabPlaceOf(pages, 999).first, static_cast<int>(pages.size()) - 1);
}

TEST_F(TabLayoutTest, TiesGoToTheNextHeadOrOverTheStaffBreak) {
  // Every chord starts on a second beat and is held four beats: a tie over every bar line.
  const std::string two = chord({button(1, 7), button(2, 9)});
  std::vector<std::pair<std::string, int>> notes{{A, 1}};
  for (int i = 0; i < 40; ++i) notes.push_back({i % 2 ? two : B, 4});
  const auto pages = lay(tune(notes));
  const auto& staves = pages.at(0).systems;
  ASSERT_GT(staves.size(), 2u);
  // Within a staff: from after the head to before the next one, a chord's notes apart.
  const TabSystem& first = staves[0];
  const TabItem& next = first.items[2];  // the first held chord's piece after its tie
  ASSERT_TRUE(first.items[1].rhythm.tiedToNext);
  ASSERT_FALSE(first.ties.empty());
  EXPECT_GT(first.ties[0].x0, first.items[1].x);
  EXPECT_LT(first.ties[0].x1, next.x);
  // Over the break: to the end of one staff, and from the start of the next.
  ASSERT_TRUE(first.items.back().rhythm.tiedToNext);
  const TabTie& out = first.ties.back();
  EXPECT_DOUBLE_EQ(out.x1, first.right - 0.3 * g.space);
  const TabTie& in = staves[1].ties.front();
  EXPECT_LT(in.x0, staves[1].items.front().x);
  EXPECT_GE(in.x0, staves[1].left);
  // A chord of two notes: the upper tied above, the lower below.
  for (const TabSystem& system : staves)
    for (std::size_t i = 0; i + 1 < system.items.size(); ++i)
      if (system.items[i].heads.size() == 2 && system.items[i].rhythm.tiedToNext) {
        int above = 0;
        for (const TabTie& t : system.ties)
          if (t.x0 > system.items[i].x && t.x1 < system.items[i + 1].x) above += t.above;
        EXPECT_EQ(above, 1);
      }
}

TEST_F(TabLayoutTest, AnEmptyRecordIsOnePageWithAnEmptyStaffAndItsMeter) {
  const auto pages = lay({}, Meter{3, 1, 0, 0});
  ASSERT_EQ(pages.size(), 1u);
  ASSERT_EQ(pages[0].systems.size(), 1u);
  EXPECT_TRUE(pages[0].systems[0].items.empty());
  EXPECT_TRUE(pages[0].systems[0].showsMeter);
  EXPECT_EQ(tabPlaceOf(pages, 1), std::make_pair(0, 0));
}

TEST(TabSvgTest, NumbersHaveAPointAndAtMostTwoDecimals) {
  EXPECT_EQ(svgNumber(12.5), "12.5");
  EXPECT_EQ(svgNumber(-3.25), "-3.25");
  EXPECT_EQ(svgNumber(7.0), "7");
  EXPECT_EQ(svgNumber(0.004), "0");
  EXPECT_EQ(svgNumber(-0.004), "0");
  EXPECT_EQ(svgNumber(0.05), "0.05");
  EXPECT_EQ(svgNumber(1234567.891), "1234567.89");
  EXPECT_EQ(svgNumber(std::nan("")), "0");
}

TEST(TabSvgTest, EveryEventMarksTheOneItemThatShowsIt) {
  const TabDocument document{"T", "G-C-F", Meter{3, 2, 2, 0}, 0, waltz()};
  const auto pages = layoutTablature(document);
  const auto count = [](const std::string& svg, const std::string& what) {
    int n = 0;
    for (auto at = svg.find(what); at != std::string::npos; at = svg.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(tabPageSvg(document, pages, 0), "class=\"mark\""), 0);
  for (int event = 1; event <= static_cast<int>(document.buttonLines.size()); ++event)
    EXPECT_EQ(count(tabPageSvg(document, pages, 0, {}, event), "class=\"mark\""), 1) << event;
  EXPECT_EQ(count(tabPageSvg(document, pages, 5), "<g class=\"staff\""), 0);  // no such page
}

// ---- The window object's tablature of the loaded record

class TablatureWindowTest : public FormTest {
 protected:
  void store(const std::string& name, const std::vector<std::string>& events) {
    std::vector<std::string> lines{"Notes_G-C-F.txt"};
    for (const auto& e : events) {
      lines.push_back(e);
      if (!isRestMarker(e)) lines.push_back("x/");
    }
    lines.insert(lines.end(), {"*-*", " "});
    files.files["Records/" + name] = joinLines(lines);
  }
};

TEST_F(TablatureWindowTest, TheDocumentHasTheRecordsMeterAndTempoFromItsMeterFile) {
  store("Records_Waltz.txt", waltz());
  files.files["Records/Meter_Records_Waltz.txt"] = "METER;beats=3;steps=2;pickup=2\r\nTEMPO;bpm=96\r\n";
  load("Records_Waltz.txt");
  const TabDocument document = form.tablatureDocument();
  EXPECT_EQ(document.title, "Waltz");
  EXPECT_EQ(document.tuning, "G-C-F");
  EXPECT_EQ(document.meter, (Meter{3, 2, 2, 96}));
  EXPECT_EQ(document.tempo, 96);
  EXPECT_EQ(document.buttonLines, waltz());
  const auto svg = form.tablatureSvg(3);
  ASSERT_EQ(svg.size(), 1u);
  EXPECT_NE(svg[0].find(">Waltz</title>"), std::string::npos);
  EXPECT_NE(svg[0].find("class=\"mark\""), std::string::npos);
}

TEST_F(TablatureWindowTest, WithoutAUsableMeterFileItIsFourFourAtTheReplaysTempo) {
  store("Records_Plain.txt", {A, B, A});
  files.files["Records/Meter_Records_Plain.txt"] = "METER;beats=4;steps=3;pickup=0\r\n";
  load("Records_Plain.txt");
  const TabDocument document = form.tablatureDocument();
  EXPECT_EQ(document.meter, Meter{});
  EXPECT_EQ(document.tempo, static_cast<int>(std::lround(60000.0 / form.tempoInterval())));
  // Another record loaded brings its own meter.
  store("Records_Waltz.txt", waltz());
  files.files["Records/Meter_Records_Waltz.txt"] = "METER;beats=3;steps=2;pickup=2\r\n";
  load("Records_Waltz.txt");
  EXPECT_EQ(form.tablatureDocument().meter, (Meter{3, 2, 2, 0}));
  EXPECT_EQ(form.tablatureDocument().tempo,
            static_cast<int>(std::lround(60000.0 / (form.tempoInterval() * 2))));
}
