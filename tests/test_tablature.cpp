// The tablature's geometry on plain data: staff places, push bars, rests, breaks.
#include <gtest/gtest.h>

#include "records/record_format.h"
#include "tablature/tab_layout.h"

using namespace tastrello;

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
    EXPECT_GE(n.step, TabGeometry::kLowestStep);
    EXPECT_LE(n.step, TabGeometry::kHighestStep);
  }
}

TEST(TabLayoutTest, PushBarsSpanRunsOfPushedChordsAndRestsBetweenThem) {
  const auto pages = layoutTablature({"44/47/", "50/", kBreakPlay, "53/", "10/", "44/", "10/44/"});
  ASSERT_EQ(pages.size(), 1u);
  const TabSystem& system = pages[0].systems.at(0);
  ASSERT_EQ(system.events.size(), 7u);
  const TabGeometry g;
  const double x0 = system.events[0].x;
  ASSERT_EQ(system.pushBars.size(), 2u);
  EXPECT_DOUBLE_EQ(system.pushBars[0].first, x0);
  EXPECT_DOUBLE_EQ(system.pushBars[0].second, x0 + 4 * g.column);  // through the rest
  EXPECT_DOUBLE_EQ(system.pushBars[1].first, x0 + 5 * g.column);   // after a pulled chord
  EXPECT_EQ(system.events[6].bellows, Bellows::Both);
  EXPECT_EQ(system.events[2].rest, TabRest::Ringing);
  EXPECT_TRUE(system.events[2].notes.empty());
  EXPECT_EQ(system.events[0].notes.size(), 2u);
}

TEST(TabLayoutTest, LongRecordsBreakIntoStavesAndPages) {
  const TabGeometry g;
  std::vector<std::string> record(200, "44/");
  const auto pages = layoutTablature(record, g);
  const int perSystem = g.eventsPerSystem(), perPage = g.systemsPerPage();
  ASSERT_GT(perSystem, 10);
  ASSERT_GT(perPage, 3);
  const int systems = (200 + perSystem - 1) / perSystem;
  EXPECT_EQ(static_cast<int>(pages.size()), (systems + perPage - 1) / perPage);
  int numbered = 0;
  for (const auto& page : pages) {
    for (const auto& system : page.systems) {
      // Each staff with its ledger lines and bar lies inside the page.
      EXPECT_GE(g.stepY(system.top, TabGeometry::kHighestStep), g.margin + g.header - 1);
      EXPECT_LE(g.stepY(system.top, TabGeometry::kLowestStep) + 2 * g.lineGap,
                g.height - g.margin - g.footer);
      for (const auto& event : system.events) {
        EXPECT_EQ(event.number, ++numbered);
        EXPECT_LE(event.x + g.column, g.width - g.margin + 0.001);
      }
    }
  }
  EXPECT_EQ(numbered, 200);
  EXPECT_EQ(tabPlaceOf(pages, 1), std::make_pair(0, 0));
  EXPECT_EQ(tabPlaceOf(pages, 200).first, static_cast<int>(pages.size()) - 1);
  EXPECT_EQ(layoutTablature({}).size(), 1u);  // an empty record: one empty page
}

TEST(TabLayoutTest, TheTuningIsNamedFromTheLayoutFile) {
  EXPECT_EQ(tuningName("Notes_B-Es-As.txt"), "B-Es-As");
  EXPECT_EQ(tuningName("NOTES_G-C-F.TXT"), "G-C-F");
  EXPECT_EQ(tuningName("Mine"), "Mine");
}
