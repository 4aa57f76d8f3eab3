#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

using StartupTest = FormTest;

TEST_F(StartupTest, StartsInFreePlayWithTheTableValues) {
  EXPECT_EQ(form.windowCaption, form.scrollText.substr(0, 60));
  EXPECT_EQ(form.windowCaption.size(), 60u);
  EXPECT_EQ(form.Infos.caption, kFreePlay);
  EXPECT_EQ(form.InfosCopy.caption, kFreePlay);
  EXPECT_EQ(form.Infos.fontSize, 22);
  EXPECT_EQ(form.instrumentNumber, 22);
  EXPECT_EQ(form.replayMode, "Single");
  EXPECT_TRUE(form.replaceMode);
  EXPECT_EQ(form.RepIns.picture, pictures::kReplace);
  EXPECT_EQ(form.Tempo.caption, "Tempo: 23");
  EXPECT_FALSE(form.Label20.visible);
  EXPECT_FALSE(form.Label21.visible);
  EXPECT_FALSE(form.Tafel1.visible);
  EXPECT_FALSE(form.Timer1.enabled);
  EXPECT_EQ(form.Timer1.interval, 1000);
  EXPECT_FALSE(form.scrolltext.enabled);
  EXPECT_EQ(form.AccordDisplay.caption, form.creditsTexts[1]);  // step 29 puts it back
  for (const auto& key : form.Keys) {
    EXPECT_EQ(key.backColor, kIdleKeyColour);
    EXPECT_TRUE(key.bold);
  }
  EXPECT_EQ(form.RecordList.pattern, "Record*");
  EXPECT_EQ(form.RecordList.items, std::vector<std::string>{"Records_Demo.txt"});
  EXPECT_EQ(form.NoteList.items, std::vector<std::string>{"Notes_G-C-F.txt"});
  EXPECT_TRUE(form.StatusLine.caption.empty()) << form.StatusLine.caption;
}

TEST_F(StartupTest, ActivationOpensTheOutputAndUnloadClosesIt) {
  EXPECT_TRUE(port.isOpen());
  form.Form_Unload();
  EXPECT_EQ(port.log, std::vector<std::string>{"CLOSE"});
  EXPECT_FALSE(port.isOpen());
}

TEST_F(StartupTest, LanguageFromTheSettingsFileAndHelpOffRewritesOnce) {
  auto lines = files.lines("Data/Tastrel.Ini");
  lines[1] = "Lang_SPA.txt";
  lines[5] = "FALSE";
  files.files["Data/Tastrel.Ini"] = joinLines(lines);
  const std::string before = files.files["Data/Tastrel.Ini"];
  files.replaceCount = 0;
  form = Form1({&port, &files});
  start();
  EXPECT_EQ(form.Label8.caption, "Reproducir");
  EXPECT_EQ(form.AccordDisplay.caption, form.creditsTexts[3]);
  EXPECT_EQ(form.Check2.value, 0);
  EXPECT_EQ(files.replaceCount, 1);
  EXPECT_EQ(files.files["Data/Tastrel.Ini"], before);
}

TEST_F(StartupTest, MissingDataStillStartsAndSaysWhy) {
  files.files.clear();
  form = Form1({&port, &files});
  start();
  EXPECT_EQ(form.Infos.caption, kFreePlay);
  EXPECT_EQ(form.Keys[0].caption, "-");
  EXPECT_FALSE(form.StatusLine.caption.empty());
  form.Keys_Click(0);  // no layout: note 0 sounds, nothing breaks
  EXPECT_EQ(port.notes(), std::vector<std::string>{"00630090"});
}

TEST_F(StartupTest, AnUnreadableRecordsFolderIsReported) {
  files.unreadableFolders.insert("Records/");
  form = Form1({&port, &files});
  start();
  EXPECT_TRUE(form.RecordList.items.empty());
  EXPECT_NE(form.StatusLine.toolTip.find("Records/ cannot be read"), std::string::npos);
}
