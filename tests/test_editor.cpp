#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class EditorTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    form.Record_Click();
  }
  void commit(std::initializer_list<int> keys) {
    clickKeys(keys);
    form.NextRecord_Click();
  }
  void select(int row) {
    form.EditBox.selected = row;
    form.EditBox_Click();
  }
  void expectAligned() {
    EXPECT_EQ(form.EditBox.items.size(), form.ShadowListe2.items.size());
    EXPECT_EQ(form.EditBox.items.size(), form.ShadowListe3.items.size());
  }
  const std::vector<std::string>& buttons() { return form.ShadowListe3.items; }
};

TEST_F(EditorTest, CommitsAppendInOrderAndResetTheKeys) {
  commit({44});
  commit({47, 50});
  port.log.clear();
  commit({10});
  EXPECT_EQ(buttons(), (std::vector<std::string>{"44/", "47/50/", "10/"}));
  EXPECT_EQ(form.EditBox.items[1], "e1 g1 ");
  expectAligned();
  EXPECT_EQ(form.litKeyCount, 0);
  EXPECT_EQ(litKeys(), 0);
  EXPECT_EQ(port.log.back(), "OPEN");
}

TEST_F(EditorTest, SelectedEventIsReplacedOrGetsAnInsertBeforeIt) {
  commit({44});
  commit({47});
  commit({50});
  select(1);
  EXPECT_TRUE(form.KillNote.visible);
  EXPECT_TRUE(form.RepIns.visible);
  EXPECT_EQ(form.Label11.caption, form.Label23.caption);
  commit({13});
  EXPECT_EQ(buttons(), (std::vector<std::string>{"44/", "13/", "50/"}));
  EXPECT_EQ(form.EditBox.selected, -1);
  EXPECT_EQ(form.Label11.caption, form.chordAdoptCaption);

  form.editClickState = 0;
  select(1);
  form.RepIns_Click();
  EXPECT_FALSE(form.replaceMode);
  EXPECT_EQ(form.RepIns.picture, pictures::kInsert);
  EXPECT_EQ(form.Label11.caption, form.Label24.caption);
  commit({16});
  EXPECT_EQ(buttons(), (std::vector<std::string>{"44/", "16/", "13/", "50/"}));
  expectAligned();
}

TEST_F(EditorTest, RestsGoIntoAllThreeListsAtOneIndex) {
  commit({44});
  form.EditBreak_Click();
  form.EditMute_Click();
  EXPECT_EQ(form.EditBox.items, (std::vector<std::string>{"c1 ", kBreakPlay, kBreakMute}));
  EXPECT_EQ(form.ShadowListe2.items[2], kBreakMute);
  EXPECT_EQ(buttons()[1], kBreakPlay);
}

TEST_F(EditorTest, TwoClicksSelectThenDeselectAndEveryClickMeansReplace) {
  commit({44});
  commit({47});
  select(0);
  EXPECT_EQ(form.editClickState, 10);
  EXPECT_EQ(form.EditBox.selected, 0);
  form.RepIns_Click();
  select(1);  // the second click deselects, whichever line it lands on
  EXPECT_EQ(form.editClickState, 0);
  EXPECT_EQ(form.EditBox.selected, -1);
  EXPECT_FALSE(form.KillNote.visible);
  EXPECT_TRUE(form.replaceMode);
  EXPECT_EQ(form.RepIns.picture, pictures::kReplace);
  select(1);
  EXPECT_EQ(form.editClickState, 10);
  EXPECT_EQ(form.EditBox.selected, 1);
}

TEST_F(EditorTest, DeleteRemovesTheSelectedEventEverywhere) {
  commit({44});
  commit({47});
  select(0);
  form.KillNote_Click();
  EXPECT_EQ(buttons(), std::vector<std::string>{"47/"});
  expectAligned();
  form.editClickState = 0;
  select(0);
  form.KillNote_Click();
  EXPECT_TRUE(form.EditBox.items.empty());
  expectAligned();
  form.KillNote_Click();  // nothing selected: nothing happens
  EXPECT_TRUE(buttons().empty());
}

TEST_F(EditorTest, StartAfreshKeepsThePendingChord) {
  commit({44});
  clickKeys({47});
  form.ReEd_Click();
  EXPECT_TRUE(form.EditBox.items.empty());
  EXPECT_EQ(form.Infos.caption, "Edit");
  EXPECT_EQ(form.InfosCopy.caption, "Edit");
  form.NextRecord_Click();
  EXPECT_EQ(buttons(), std::vector<std::string>{"47/"});
}

TEST_F(EditorTest, EmptyCommitBeepsAndCounts) {
  form.NextRecord_Click();
  EXPECT_EQ(beeper.count, 1);
  EXPECT_EQ(form.commitCounter, 1);
  EXPECT_TRUE(form.EditBox.items.empty());
}

TEST_F(EditorTest, The199thRequestIsRefusedEvenAfterDeletes) {
  for (int i = 0; i < 198; ++i) commit({44});
  EXPECT_EQ(form.EditBox.items.size(), 198u);
  select(0);
  form.KillNote_Click();
  clickKeys({47});
  form.NextRecord_Click();
  EXPECT_EQ(form.Infos.caption, "** LIMIT **");
  EXPECT_EQ(form.InfosCopy.caption, "** LIMIT **");
  EXPECT_EQ(form.EditorTMP3.caption, "47/");  // the pending chord stays
  EXPECT_EQ(form.EditBox.items.size(), 197u);
  expectAligned();
  form.CancelRec_Click();
  form.Record_Click();
  commit({44});  // a new recording counts afresh
  EXPECT_EQ(form.EditBox.items.size(), 1u);
}

TEST_F(EditorTest, ARecordNeverGrowsPastTwoHundredEvents) {
  for (int i = 0; i < 150; ++i) commit({44});
  form.Record_Click();  // continue the same record with a fresh count
  for (int i = 0; i < 60; ++i) commit({47});
  EXPECT_EQ(form.EditBox.items.size(), 200u);
  EXPECT_EQ(form.Infos.caption, "** LIMIT **");
  select(0);
  commit({50});  // replacing does not grow the record
  EXPECT_EQ(buttons()[0], "50/");
  expectAligned();
}
