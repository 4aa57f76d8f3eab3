#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

using KeyboardTest = FormTest;

TEST_F(KeyboardTest, FourClicksLightFourButtonsAndSoundFourNotes) {
  clickKeys({44, 47, 50, 10});
  EXPECT_EQ(form.litKeyCount, 4);
  EXPECT_EQ(litKeys(), 4);
  EXPECT_EQ(port.notes(),
            (std::vector<std::string>{"00633C90", "00634090", "00634390", "00633E90"}));
}

TEST_F(KeyboardTest, FifthClickSoundsThenReleasesEverything) {
  form.Record_Click();
  port.log.clear();
  clickKeys({44, 47, 50, 10, 13});
  EXPECT_EQ(port.log.back(), "OPEN");
  EXPECT_EQ(port.log[port.log.size() - 2], "CLOSE");
  EXPECT_EQ(port.notes().size(), 5u);
  EXPECT_EQ(form.litKeyCount, 0);
  EXPECT_EQ(litKeys(), 0);
  EXPECT_EQ(form.EditorTMP.caption, "");
  EXPECT_EQ(form.EditorTMP3.caption, "");
}

TEST_F(KeyboardTest, ClickOnALitButtonSendsNothingAndReleases) {
  clickKeys({44, 47});
  port.log.clear();
  form.Keys_Click(44);
  EXPECT_EQ(port.log, (std::vector<std::string>{"CLOSE", "OPEN"}));
  EXPECT_EQ(litKeys(), 0);
  EXPECT_EQ(form.Keys[44].fontSize, 12);
  EXPECT_TRUE(form.Keys[44].bold);
}

TEST_F(KeyboardTest, SoundOffStillLightsAndCountsAndSwitchingOffSilences) {
  form.Keys_Click(44);
  port.log.clear();
  form.clickToggle(form.SoundOnOff);
  EXPECT_EQ(port.log, (std::vector<std::string>{"CLOSE", "OPEN"}));
  EXPECT_EQ(litKeys(), 1);
  port.log.clear();
  form.Keys_Click(47);
  EXPECT_TRUE(port.log.empty());
  EXPECT_EQ(form.litKeyCount, 2);
}

TEST_F(KeyboardTest, EditModeBuildsThePendingChordAndLocksTheRests) {
  form.Record_Click();
  clickKeys({5, 40, 12});
  EXPECT_EQ(form.EditorTMP3.caption, "05/40/12/");
  EXPECT_EQ(form.EditorTMP2.caption, "c1/g /e1/");
  EXPECT_EQ(form.EditorTMP.caption, "c1 g  e1 ");
  EXPECT_FALSE(form.EditBreak.enabled);
  EXPECT_FALSE(form.EditMute.enabled);
  form.Keys_Click(5);  // lit: release
  EXPECT_TRUE(form.EditBreak.enabled);
  EXPECT_TRUE(form.EditMute.enabled);
}

TEST_F(KeyboardTest, UnsetEntryPlaysNoteZeroAndABadEntryPlaysNothing) {
  form.keyNotes[3].reset();
  form.Keys_Click(3);
  EXPECT_EQ(port.notes(), std::vector<std::string>{"00630090"});
  form.keyNotes[4] = "x1";
  form.Keys_Click(4);
  EXPECT_EQ(port.notes().size(), 1u);
  EXPECT_EQ(form.litKeyCount, 2);  // the button still lights
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgButtonNoNote, {"4", form.noteFileName}));
}

TEST_F(KeyboardTest, InstrumentNumberIsClampedAndNamesFollow) {
  EXPECT_EQ(form.Label18.caption, "Nr. 22");
  EXPECT_EQ(form.Label16.caption, "Accordion");
  EXPECT_EQ(form.Label15.caption, "Reed Organ");
  for (int i = 0; i < 30; ++i) form.MinusIns_Click();
  EXPECT_EQ(form.instrumentNumber, 1);
  EXPECT_EQ(form.Label15.caption, "");
  for (int i = 0; i < 200; ++i) form.PlusIns_Click();
  EXPECT_EQ(form.instrumentNumber, 128);
  EXPECT_EQ(form.Label17.caption, "");
  EXPECT_EQ(form.Label16.caption, "Gunshot");
}

TEST_F(KeyboardTest, ExpandTwiceRestoresWidthAndPosition) {
  form.Expand_Click();
  EXPECT_EQ(form.windowWidth, kWideWidth);
  EXPECT_EQ(form.windowLeft, -2000);
  EXPECT_EQ(form.Expand.picture, pictures::kArrowsLeft);
  form.Expand_Click();
  EXPECT_EQ(form.windowWidth, kNarrowWidth);
  EXPECT_EQ(form.windowLeft, 0);
  EXPECT_EQ(form.Expand.picture, pictures::kArrowsRight);
}

TEST_F(KeyboardTest, ViewOptionsShowAndHideTheRecordViews) {
  form.setToggleValue(form.Check1, 0);
  EXPECT_FALSE(form.NotenSchirm.visible);
  form.setToggleValue(form.Check1, 1);
  EXPECT_TRUE(form.NotenSchirm.visible);
  form.clickToggle(form.Check3);
  EXPECT_FALSE(form.ZahlenSchirm.visible);
}

TEST(KeyGeometryTest, ButtonsSitInTheirColumnsAndRanks) {
  MemoryFiles files;
  FakePort port;
  Form1 form({&port, &files, nullptr});
  EXPECT_EQ(form.Keys[0].left, 6240);
  EXPECT_EQ(form.Keys[0].top, 840);
  EXPECT_EQ(form.Keys[1].top, 480);
  EXPECT_EQ(form.Keys[33].left, 6960);
  EXPECT_EQ(form.Keys[33].top, 480 + 720 * 11);
  EXPECT_EQ(form.Keys[35].left, 9720);
  EXPECT_EQ(form.Keys[35].top, 600);
  EXPECT_EQ(form.Keys[67].top, 600 + 720 * 11);
  EXPECT_EQ(form.Keys[36 + 30].left, 10440);
  EXPECT_EQ(form.Keys[5].width, 615);
  EXPECT_EQ(form.Keys[5].height, 495);
}
