// A learner's work is never lost by one click, and no refusal comes without its reason.
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class ProtectTest : public FormTest {
 protected:
  bool recording() const { return form.SaveRecord.visible; }
};

TEST_F(ProtectTest, SavingOverAnotherRecordAsksWithTheFirstClickAndReplacesWithTheSecond) {
  const std::string demo = files.files["Records/Records_Demo.txt"];
  form.Record_Click();
  recordChord({44});
  saveAs("DEMO");  // another letter case names the same file
  EXPECT_TRUE(recording());
  EXPECT_EQ(files.files["Records/Records_Demo.txt"], demo);
  EXPECT_EQ(form.SaveName.backColor, kLitKeyColour);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgFileExists, {"Records_DEMO.txt"}));
  form.SaveRecord_Click();
  EXPECT_FALSE(recording());
  EXPECT_EQ(files.lines("Records/Records_Demo.txt")[1], "44/");
}

TEST_F(ProtectTest, ChangingTheNameBetweenTheClicksAsksAgain) {
  files.files["Records/Records_Other.txt"] = files.files["Records/Records_Demo.txt"];
  form.Record_Click();
  recordChord({44});
  saveAs("Demo");
  saveAs("Other");  // a new name: asks for that one
  EXPECT_TRUE(recording());
  saveAs("Demo");  // back again: asks again
  EXPECT_TRUE(recording());
  EXPECT_NE(files.lines("Records/Records_Demo.txt")[1], "44/");
  saveAs("New");  // a name no file has: saved at once
  EXPECT_FALSE(recording());
}

TEST_F(ProtectTest, TheLoadedRecordIsSavedUnderItsOwnNameAtTheFirstClick) {
  load("Records_Demo.txt");
  form.Record_Click();
  recordChord({13});
  saveAs("Demo");
  EXPECT_FALSE(recording());
  EXPECT_EQ(files.lines("Records/Records_Demo.txt").end()[-4], "13/");
  // A lesson is another file, even under the same name.
  form.clickToggle(form.RecordLession);
  files.files["Records/Lessons_Demo.txt"] = files.files["Records/Records_Demo.txt"];
  form.Record_Click();
  recordChord({44});
  saveAs("Demo");
  EXPECT_TRUE(recording());
}

TEST_F(ProtectTest, CancelWithUnsavedChangesAsksFirstAndSaysHowMany) {
  form.Record_Click();
  form.CancelRec_Click();  // nothing to lose: one click
  EXPECT_FALSE(recording());
  form.Record_Click();
  recordChord({44});
  form.EditMute_Click();
  form.CancelRec_Click();
  EXPECT_TRUE(recording());
  EXPECT_EQ(form.EditBox.items.size(), 2u);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgCancelAsk, {"2"}));
  form.CancelRec_Click();
  EXPECT_FALSE(recording());
}

TEST_F(ProtectTest, EveryKindOfChangeCountsAndAChangeAfterTheQuestionAsksAgain) {
  load("Records_Demo.txt");
  form.Record_Click();
  form.EditBox.selected = 0;
  form.EditBox_Click();
  form.KillNote_Click();  // a delete
  form.CancelRec_Click();
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgCancelAsk, {"1"}));
  form.ReEd_Click();  // clearing the record is a change too
  form.CancelRec_Click();
  EXPECT_TRUE(recording());
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgCancelAsk, {"2"}));
  form.CancelRec_Click();
  EXPECT_FALSE(recording());
  // Saving leaves nothing to lose.
  form.Record_Click();
  recordChord({44});
  saveAs("Fresh");
  form.Record_Click();
  form.CancelRec_Click();
  EXPECT_FALSE(recording());
}

TEST_F(ProtectTest, EveryRefusalSaysWhyInTheLanguageInForce) {
  auto refusedWith = [this](Text reason) {
    return form.StatusLine.caption.find(form.say(reason)) != std::string::npos;
  };
  form.PlayStop_Click();
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgPlayNothing));
  form.Picture1_Click();  // English from here on
  form.PlayStop_Click();
  EXPECT_EQ(form.StatusLine.caption,
            "Nothing is loaded: click a record or lesson in the list first.");

  form.Record_Click();
  form.NextRecord_Click();
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgNoChord));
  saveAs("");
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgNameEmpty));
  saveAs("a/b");
  EXPECT_EQ(form.StatusLine.caption, "The name cannot be used: it contains the character \"/\".");
  saveAs("..x");
  EXPECT_NE(form.StatusLine.caption.find("\"..\""), std::string::npos);
  saveAs("tab\there");
  EXPECT_TRUE(refusedWith(Text::WhyControl));
  saveAs(std::string(101, 'n'));
  EXPECT_TRUE(refusedWith(Text::WhyLong));
  saveAs("Fine");
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgEmptyRecord));
  clickKeys({44});
  form.EditBreak_Click();
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgRestWithChord));
  form.NextRecord_Click();
  form.CancelRec_Click();
  form.CancelRec_Click();

  files.files["Records/Records_Big.txt"] = std::string(1, '\0');
  std::vector<std::string> big{"Notes_G-C-F.txt"};
  for (int i = 0; i < 201; ++i) big.push_back(kBreakMute);
  files.files["Records/Records_Big.txt"] = joinLines(big);
  load("Records_Big.txt");
  EXPECT_EQ(form.StatusLine.caption,
            "Records_Big.txt was not loaded: more than 200 events (line 202).");
  files.files["Records/Records_Lay.txt"] = joinLines({"Notes_None.txt", "*-*"});
  load("Records_Lay.txt");
  EXPECT_EQ(form.StatusLine.caption,
            "Records_Lay.txt was not loaded: note layout Notes_None.txt: the file cannot be read.");
  files.files["Notes/Notes_Short.txt"] = joinLines({"c1"});
  form.refreshFileList(form.NoteList);
  selectRow(form.NoteList, "Notes_Short.txt");
  form.NoteList_Click();
  EXPECT_EQ(form.StatusLine.caption,
            "Note layout Notes_Short.txt was not loaded: 1 lines instead of 51; the keyboard is "
            "unchanged.");
  files.files.erase("Data/Lang_SPA.txt");
  form.Picture2_Click();
  EXPECT_EQ(form.StatusLine.caption,
            "Language file Data/Lang_SPA.txt was not loaded: the file cannot be read; the texts "
            "stay as they are.");
}

TEST_F(ProtectTest, TheLimitSaysWhyInEveryLanguage) {
  form.Record_Click();
  form.commitCounter = RecordDraft::kCommitLimit;
  clickKeys({44});
  form.NextRecord_Click();
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgLimit, {"0", "198"}));
  for (const char* language : {"Lang_ENG.txt", "Lang_SPA.txt", "LANG_BAY.TXT", "Lang_ger.txt"}) {
    EXPECT_NE(uiText(uiLanguageOf(language), Text::MsgLimit, {"0", "198"}).find("198"),
              std::string::npos);
  }
}

// ---- The texts of the program's own table.

TEST(UiTextsTest, EveryTextExistsInEveryLanguageWithItsPlaces) {
  const UiLanguage languages[] = {UiLanguage::German, UiLanguage::English, UiLanguage::Spanish,
                                  UiLanguage::Bavarian};
  for (int id = 0; id < static_cast<int>(Text::Count); ++id) {
    const Text text = static_cast<Text>(id);
    const std::string english = uiText(UiLanguage::English, text);
    for (const UiLanguage language : languages) {
      const std::string t = uiText(language, text);
      EXPECT_FALSE(t.empty()) << id;
      // The same places to fill as in English, and valid Windows-1252 (no UTF-8 bytes).
      for (const char* place : {"%1", "%2"})
        EXPECT_EQ(t.find(place) != std::string::npos, english.find(place) != std::string::npos)
            << id << " " << t;
      EXPECT_EQ(t.find('\xC3'), std::string::npos) << id << " " << t;
    }
  }
  EXPECT_EQ(uiLanguageOf("lang_spa.txt"), UiLanguage::Spanish);
  EXPECT_EQ(uiLanguageOf("Unknown.txt"), UiLanguage::German);
}

TEST_F(ProtectTest, ToolTipsFollowTheLanguageAndTheState) {
  EXPECT_EQ(form.Record.toolTip, form.say(Text::TipRecord));
  form.Picture2_Click();
  EXPECT_EQ(form.Record.toolTip, uiText(UiLanguage::Spanish, Text::TipRecord));
  EXPECT_EQ(form.Keys[44].toolTip, "c1, cerrar el fuelle");
  EXPECT_EQ(form.Keys[0].toolTip, "d , abrir el fuelle");
  const auto single = form.PlayMode.toolTip;
  form.PlayMode_Click();
  EXPECT_NE(form.PlayMode.toolTip, single);
  form.Expand_Click();
  EXPECT_EQ(form.Expand.toolTip, form.say(Text::TipCollapse));
  for (const Control* c : std::vector<const Control*>{
           &form.CancelRec, &form.KillNote, &form.RepIns, &form.EditBreak, &form.EditMute,
           &form.StopReplay, &form.Break, &form.Check4, &form.Check2, &form.RecordLession,
           &form.Picture1, &form.Copyright})
    EXPECT_FALSE(c->toolTip.empty()) << c->picture << c->caption;
}

TEST_F(ProtectTest, ChordListsKnowEachChordsBellowsDirection) {
  form.Record_Click();
  recordChord({44, 47});  // push
  recordChord({10});      // pull
  recordChord({10, 44});  // both: the list must show it
  form.EditMute_Click();
  EXPECT_EQ(form.EditBox.bellows,
            (std::vector<Bellows>{Bellows::Push, Bellows::Pull, Bellows::Both, Bellows::None}));
  form.EditBox.selected = 1;
  form.EditBox_Click();
  form.KillNote_Click();
  EXPECT_EQ(form.EditBox.bellows.size(), form.EditBox.items.size());
  form.SaveName.text = "Dir";
  form.SaveRecord_Click();
  load("Records_Dir.txt");
  EXPECT_EQ(form.NotenSchirm.bellows,
            (std::vector<Bellows>{Bellows::Push, Bellows::Both, Bellows::None}));
  EXPECT_EQ(bellowsOf("33/34/"), Bellows::Both);
  EXPECT_EQ(bellowsOf("xx/"), Bellows::None);
  EXPECT_EQ(bellowsOf("99/"), Bellows::None);
}

TEST_F(ProtectTest, TheInstrumentListPicksAnInstrumentAndFollowsTheButtons) {
  ASSERT_EQ(form.InstrumentList.items.size(), 128u);
  EXPECT_EQ(form.InstrumentList.items[21], "22  Accordion");
  EXPECT_EQ(form.InstrumentList.selected, 21);
  form.InstrumentList.selected = 0;
  form.InstrumentList_Click();
  EXPECT_EQ(form.instrumentNumber, 1);
  EXPECT_EQ(form.Label16.caption, "Acoustic Grand Piano");
  form.PlusIns_Click();
  EXPECT_EQ(form.InstrumentList.selected, 1);
  form.Keys_Click(44);
  EXPECT_EQ(port.log[port.log.size() - 2], "000001C0");  // program 2
}
