// Files from elsewhere: each odd or hostile input gets a visible signal and loses nothing.
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class HostileInputTest : public FormTest {
 protected:
  /// Offers a record file in the list and clicks it; true when it loaded.
  bool loadRecordBytes(const std::string& name, const std::string& bytes) {
    files.files["Records/" + name] = bytes;
    form.refreshFileList(form.RecordList);
    const auto& items = form.RecordList.items;
    const auto it = std::find(items.begin(), items.end(), name);
    if (it == items.end()) return false;
    form.RecordList.selected = static_cast<int>(it - items.begin());
    form.RecordList_Click();
    return form.RecordList.backColor != kLitKeyColour;
  }
  std::string record(const std::string& layout, const std::vector<std::string>& events) {
    std::vector<std::string> lines{layout};
    lines.insert(lines.end(), events.begin(), events.end());
    lines.insert(lines.end(), {kEndMarker, " "});
    return joinLines(lines);
  }
  void expectRefused(const std::string& name, const std::string& bytes) {
    const auto before = form.NotenSchirm.items;
    const auto label = form.Label2.caption;
    EXPECT_FALSE(loadRecordBytes(name, bytes)) << name;
    EXPECT_EQ(form.RecordList.backColor, kLitKeyColour) << name;
    EXPECT_EQ(form.NotenSchirm.items, before) << name;
    EXPECT_EQ(form.Label2.caption, label) << name;
    EXPECT_FALSE(form.StatusLine.caption.empty()) << name;
  }
};

TEST_F(HostileInputTest, LayoutNamesThatLeaveTheNotesFolderAreNeverOpened) {
  files.files["Data/Notes_Evil.txt"] = files.files["Notes/Notes_G-C-F.txt"];
  for (const std::string& layout :
       std::vector<std::string>{"../Data/Notes_Evil.txt", "/etc/passwd", "..\\Data\\Notes_Evil.txt",
                                "Notes\x01.txt", std::string(300, 'N')}) {
    expectRefused("Records_Evil.txt", record(layout, {"44/", "c1/"}));
  }
}

TEST_F(HostileInputTest, JunkRecordsAreRefusedOrReadSafely) {
  ASSERT_TRUE(loadRecordBytes("Records_Demo.txt", files.files["Records/Records_Demo.txt"]));
  expectRefused("Records_Binary.txt", std::string("\0\xFF\xFE\x01\x02", 5));
  expectRefused("Records_Empty.txt", "");
  std::string many = "Notes_G-C-F.txt\r\n";
  for (int i = 0; i < 201; ++i) many += kBreakPlay + "\r\n";
  expectRefused("Records_201.txt", many);

  // A 10 MB line is read as one odd chord and plays nothing it should not.
  EXPECT_TRUE(loadRecordBytes("Records_Long.txt",
                              record("Notes_G-C-F.txt", {std::string(10'000'000, '9'), "c1/"})));
  EXPECT_EQ(form.replayEnd, 2);
  // Non-digits and buttons outside the keyboard sound nothing for those fields.
  EXPECT_TRUE(
      loadRecordBytes("Records_Odd.txt", record("Notes_G-C-F.txt", {"xx/99/44/", "ab/cd/c1/"})));
  form.PlayStop_Click();
  port.log.clear();
  form.Timer1_Timer();
  form.Timer1_Timer();
  EXPECT_EQ(port.notes(), (std::vector<std::string>{"00633290", "00633C90"}));  // 0 is button "d "
  EXPECT_FALSE(form.Acco2[2].visible);
}

TEST_F(HostileInputTest, ShortAndOddlyEndedSettingsAndLanguageFiles) {
  auto settings = files.lines("Data/Tastrel.Ini");
  std::string crOnly, lfOnly;
  for (const auto& l : settings) crOnly += l + "\r", lfOnly += l + "\n";
  for (const std::string& bytes : {crOnly, lfOnly, "\xEF\xBB\xBF" + joinLines(settings)}) {
    files.files["Data/Tastrel.Ini"] = bytes;
    form = Form1({&port, &files});
    start();
    EXPECT_EQ(form.instrumentNames[22], "Accordion");
    EXPECT_EQ(form.splashState, "TRUE");
  }
  files.files["Data/Tastrel.Ini"] = "LANGUAGE:\r\nLang_ENG.txt\r\nMIDI-LIST:\r\n001Pia";
  auto german = files.lines("Data/Lang_ger.txt");
  files.files["Data/Lang_ENG.txt"] = joinLines({german.begin(), german.begin() + 20});
  form = Form1({&port, &files});
  start();
  EXPECT_EQ(form.instrumentNames[1], "Pia");
  EXPECT_EQ(form.Label8.caption, "Abspielen");  // design texts stay
  EXPECT_FALSE(form.StatusLine.caption.empty());
  EXPECT_EQ(form.RecordList.items, std::vector<std::string>{"Records_Demo.txt"});
}

TEST_F(HostileInputTest, LayoutsWithTooManyEntriesWriteNothingPastTheTables) {
  std::vector<std::string> lines(51, "01 02 03");
  files.files["Notes/Notes_Big.txt"] = joinLines(lines);
  form.noteFileName = "Notes_Big.txt";
  form.loadNoteLayout();
  EXPECT_EQ(form.Keys[66].caption, "01");  // the last lines rewrite button 66 only
  EXPECT_EQ(form.Keys[67].caption, "g3");
  EXPECT_EQ(form.keyNotes[69], "01");
  EXPECT_EQ(form.keyNotes[70], "02");  // the third field would be entry 71: dropped
  files.files["Notes/Notes_Junk.txt"] = std::string(5000, '\xFF');
  form.noteFileName = "Notes_Junk.txt";
  form.loadNoteLayout();
  EXPECT_EQ(form.noteFileName, "Notes_Big.txt");
}

TEST_F(HostileInputTest, RecordNamesDifferingOnlyInCaseReplaceTheSameFile) {
  form.Record_Click();
  form.Keys_Click(44);
  form.NextRecord_Click();
  form.SaveName.text = "demo";
  form.SaveRecord_Click();
  form.SaveRecord_Click();  // the second click replaces the existing file
  EXPECT_EQ(files.files.count("Records/Records_demo.txt"), 0u);
  EXPECT_EQ(files.lines("Records/Records_Demo.txt")[1], "44/");
}
