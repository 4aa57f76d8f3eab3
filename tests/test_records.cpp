#include <set>

#include "exchange/midi_lesson.h"
#include "sound/buttons.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

using RecordTest = FormTest;

TEST_F(RecordTest, TwoChordsARestAndAChordMakeTenLines) {
  form.Record_Click();
  recordChord({44, 47});
  recordChord({10});
  form.EditMute_Click();
  recordChord({50, 53, 19});
  saveAs("Waltz");
  EXPECT_EQ(files.lines("Records/Records_Waltz.txt"),
            (std::vector<std::string>{"Notes_G-C-F.txt", "44/47/", "c1/e1/", "10/", "d1/",
                                      "-BREAK MUTE-", "50/53/19/", "g1/c2/h1/", "*-*", " "}));
  EXPECT_EQ(files.files["Records/Records_Waltz.txt"].substr(0, 17), "Notes_G-C-F.txt\r\n");
  // What was saved is on show, under its own heading.
  EXPECT_EQ(form.Infos.caption, "Waltz");
  EXPECT_EQ(form.Label2.caption, "Records_Waltz.txt");
  EXPECT_EQ(form.NotenSchirm.items.size(), 4u);
  EXPECT_EQ(form.RecordList.items,
            (std::vector<std::string>{"Records_Demo.txt", "Records_Waltz.txt"}));
}

TEST_F(RecordTest, SavedRecordReadsBackWithTheLoadersDisplayTexts) {
  form.Record_Click();
  recordChord({44, 47, 50});
  form.EditBreak_Click();
  saveAs("Back");
  load("Records_Back.txt");
  EXPECT_EQ(form.ShadowListe3.items, (std::vector<std::string>{"44/47/50/", kBreakPlay}));
  EXPECT_EQ(form.ShadowListe2.items, (std::vector<std::string>{"c1/e1/g1/", kBreakPlay}));
  EXPECT_EQ(form.EditBox.items, (std::vector<std::string>{"c1  e1  g1   ", kBreakPlay}));
  EXPECT_EQ(form.NotenSchirm.items, form.EditBox.items);
  EXPECT_EQ(form.ZahlenSchirm.items, (std::vector<std::string>{" 1.  ", " 2.  "}));
  EXPECT_EQ(form.eventNameLines[2], "-BREAK-");
  EXPECT_EQ(form.eventButtonLines[2], kBreakPlay);
  EXPECT_EQ(form.replayEnd, 3);
}

TEST_F(RecordTest, EmptyRecordHasLayoutEndMarkerAndSpace) {
  form.ShadowListe2.items.clear();
  form.ShadowListe3.items.clear();
  ASSERT_TRUE(form.writeRecordFile("Records_Empty.txt"));
  EXPECT_EQ(files.lines("Records/Records_Empty.txt"),
            (std::vector<std::string>{"Notes_G-C-F.txt", "*-*", " "}));
  load("Records_Empty.txt");
  EXPECT_TRUE(form.NotenSchirm.items.empty());
  EXPECT_EQ(form.replayEnd, 1);
  EXPECT_EQ(form.replayPosition, 0);
}

TEST_F(RecordTest, ShippedLessonsRoundTripByteForByte) {
  form.clickToggle(form.RecordLession);
  ASSERT_EQ(form.RecordList.items.size(), 8u);
  const auto lessons = form.RecordList.items;
  for (const auto& name : lessons) {
    const std::string original = files.files["Records/" + name];
    load(name);
    ASSERT_GT(form.ShadowListe2.items.size(), 5u) << name;
    ASSERT_TRUE(form.writeRecordFile("Copy.txt"));
    EXPECT_EQ(files.files["Records/Copy.txt"], original) << name;
  }
}

TEST_F(RecordTest, OddFilesAreReadSensibly) {
  // Empty lines are skipped without numbering; a missing end marker still reaches the last
  // event; a button line at the end is dropped.
  files.files["Records/Records_Odd.txt"] =
      joinLines({"Notes_G-C-F.txt", "", "44/", "c1/", "", kBreakMute, "47/", "e1/", "50/"});
  load("Records_Odd.txt");
  EXPECT_EQ(form.ShadowListe3.items, (std::vector<std::string>{"44/", kBreakMute, "47/"}));
  EXPECT_EQ(form.ZahlenSchirm.items.back(), " 3.  ");
  EXPECT_EQ(form.replayEnd, 4);
  EXPECT_EQ(form.ShadowListe2.items.size(), form.EditBox.items.size());
}

TEST_F(RecordTest, ThreeLetterNamesDisplayWhole) {
  EXPECT_EQ(displayTextFromNameLine("c#1/d1/"), "c#1  d1     ");
  EXPECT_EQ(displayTextFromNameLine("c1/e1/g1/"), "c1  e1  g1   ");
  EXPECT_EQ(displayTextFromNameLine(""), "       ");
}

TEST_F(RecordTest, UnsafeNamesAreRefusedAndNothingIsWritten) {
  form.Record_Click();
  recordChord({44});
  const auto before = files.files;
  for (const std::string& name :
       std::vector<std::string>{"", "   ", "../x", "a/b", "a\\b", "..", "a:b", "a*", "a?b", "a\x01",
                                "a<b", "q\"", std::string(101, 'n')}) {
    form.SaveName_Change();
    saveAs(name);
    EXPECT_EQ(form.SaveName.backColor, kLitKeyColour) << name;
    EXPECT_TRUE(form.SaveRecord.visible) << name;
  }
  EXPECT_EQ(files.files, before);
  saveAs(
      "\xDC"
      "bung 1");  // Übung 1
  EXPECT_TRUE(
      files.has("Records/Records_\xDC"
                "bung 1.txt"));
  EXPECT_EQ(form.SaveName.backColor, kWhite);
}

TEST_F(RecordTest, SavingWithOnlyAPendingChordBeepsAndStoresNothing) {
  form.Record_Click();
  clickKeys({44, 47});
  saveAs("Nothing");
  EXPECT_EQ(form.beepCount, 1);
  EXPECT_FALSE(files.has("Records/Records_Nothing.txt"));
  EXPECT_TRUE(form.SaveRecord.visible);
}

TEST_F(RecordTest, FailedWriteKeepsRecordingAndTheOldFile) {
  form.Record_Click();
  recordChord({44});
  files.failReplace = true;
  saveAs("Demo");
  form.SaveRecord_Click();  // the second click replaces the existing file
  EXPECT_TRUE(form.EditBox.visible);
  EXPECT_EQ(form.EditBox.items.size(), 1u);
  EXPECT_EQ(form.SaveName.text, "Demo");
  EXPECT_NE(form.StatusLine.caption.find("disk full"), std::string::npos);
  EXPECT_EQ(files.lines("Records/Records_Demo.txt")[1], "44/47/50/");
}

TEST_F(RecordTest, LessonKindSavesUnderTheLessonPrefix) {
  form.clickToggle(form.RecordLession);
  EXPECT_EQ(form.Label3.caption, "Liste der Lektionen");
  form.Record_Click();
  recordChord({44});
  saveAs("Mine");
  EXPECT_TRUE(files.has("Records/Lessons_Mine.txt"));
  EXPECT_EQ(form.RecordList.items.size(), 9u);
}

TEST_F(RecordTest, CancelKeepsTheLoadedRecordOnShowAndPlayable) {
  load("Records_Demo.txt");
  form.Record_Click();
  EXPECT_TRUE(form.ReEd.visible);
  EXPECT_EQ(form.Infos.caption, "Demo");
  EXPECT_EQ(form.SaveName.text, "Demo");  // continuing the record saves it under its name
  form.SaveName.text = "draft";
  form.CancelRec_Click();
  EXPECT_EQ(form.Label2.caption, "Records_Demo.txt");
  EXPECT_EQ(form.SaveName.text, "");  // the name went with the recording
  EXPECT_TRUE(form.EditBox.items.empty());
  EXPECT_FALSE(form.EditBox.visible);
  EXPECT_TRUE(form.NotenSchirm.visible);  // its option is set and it shows the record
  // What is shown plays: the first tick sounds the record's first chord.
  form.PlayStop_Click();
  EXPECT_NE(form.RecordList.backColor, kLitKeyColour);
  EXPECT_TRUE(form.Timer1.enabled);
  port.log.clear();
  form.Timer1_Timer();
  form.Timer1_Timer();
  EXPECT_FALSE(port.notes().empty());
}

TEST_F(RecordTest, CancelWithNothingLoadedLeavesNothingToPlay) {
  form.Record_Click();
  form.CancelRec_Click();
  form.PlayStop_Click();
  EXPECT_EQ(form.RecordList.backColor, kLitKeyColour);
  EXPECT_FALSE(form.Timer1.enabled);
}

TEST_F(RecordTest, RecordingAfterALoadAppendsToTheLoadedEvents) {
  load("Records_Demo.txt");
  const auto loaded = form.ShadowListe3.items.size();
  form.Record_Click();
  recordChord({13});
  saveAs("Longer");
  EXPECT_EQ(files.lines("Records/Records_Longer.txt").size(),
            files.lines("Records/Records_Demo.txt").size() + 2);
  EXPECT_EQ(form.Label2.caption, "Records_Longer.txt");  // what was saved is loaded
  EXPECT_EQ(form.ShadowListe3.items.size(), loaded + 1);
}

TEST_F(RecordTest, RecordEmptiesAChordPressedInFreePlay) {
  form.Record_Click();
  form.CancelRec_Click();
  clickKeys({44, 47});
  EXPECT_EQ(form.EditorTMP3.caption, "44/47/");
  form.Record_Click();
  EXPECT_EQ(form.EditorTMP.caption, "");
  EXPECT_EQ(form.EditorTMP2.caption, "");
  EXPECT_EQ(form.EditorTMP3.caption, "");
}

using BrowserTest = RecordTest;

TEST_F(BrowserTest, LoadingRunsTheTestPassAndLeavesEventOneOnDisplay) {
  load("Records_Demo.txt");
  EXPECT_EQ(form.Infos.caption, "Demo");
  EXPECT_EQ(form.Infos.fontSize, 22);
  EXPECT_EQ(form.replayPosition, 1);
  EXPECT_EQ(form.replayMode, "Single");
  EXPECT_EQ(form.NotenSchirm.selected, 0);
  EXPECT_EQ(form.ZahlenSchirm.selected, 0);
  EXPECT_TRUE(form.Acco2[1].visible);
  EXPECT_EQ(form.Acco2[1].left, form.Keys[44].left - 3);
  EXPECT_EQ(port.log.back(), "OPEN");  // the reset silenced the pass
  EXPECT_EQ(port.log[port.log.size() - 2], "CLOSE");
}

TEST_F(BrowserTest, DisplayNameSizes) {
  for (const auto& [name, size] :
       std::vector<std::pair<std::string, int>>{{"Records_Waltz.txt", 22},
                                                {"Records_ElevenChars.txt", 14},
                                                {"Records_SeventeenCharacter.txt", 12},
                                                {"Records_TwentyOneCharacters12.txt", 10}}) {
    files.files["Records/" + name] = files.files["Records/Records_Demo.txt"];
    load(name);
    EXPECT_EQ(form.Infos.fontSize, size) << name;
    EXPECT_EQ(form.InfosCopy.fontSize, size);
  }
  files.files["Records/Records_Upper.TXT"] = files.files["Records/Records_Demo.txt"];
  load("Records_Upper.TXT");
  EXPECT_EQ(form.Infos.caption, "Upper");
}

TEST_F(BrowserTest, BadFilesAreRefusedAndTheLoadedRecordStays) {
  load("Records_Demo.txt");
  std::string tooLong = "Notes_G-C-F.txt\r\n";
  for (int i = 0; i < 201; ++i) tooLong += "44/\r\nc1/\r\n";
  files.files["Records/Records_TooLong.txt"] = tooLong;
  files.files["Records/Records_Empty0.txt"] = "";
  files.files["Records/Records_NoLayout.txt"] = joinLines({"Notes_None.txt", "44/", "c1/", "*-*"});
  files.files["Records/Records_Escape.txt"] = joinLines({"../Data/Tastrel.Ini", "*-*"});
  files.files["Records/records_case.txt"] = files.files["Records/Records_Demo.txt"];
  const auto events = form.NotenSchirm.items;
  for (const std::string name :
       {"Records_TooLong.txt", "Records_Empty0.txt", "Records_NoLayout.txt", "Records_Escape.txt",
        "records_case.txt"}) {
    load(name);
    EXPECT_EQ(form.RecordList.backColor, kLitKeyColour) << name;
    EXPECT_EQ(form.NotenSchirm.items, events) << name;
    EXPECT_EQ(form.Label2.caption, "Records_Demo.txt") << name;
    EXPECT_FALSE(form.StatusLine.caption.empty());
  }
  load("Records_Demo.txt");
  EXPECT_EQ(form.RecordList.backColor, kWhite);
}

TEST_F(BrowserTest, LoadingSwitchesToTheRecordsLayout) {
  auto layout = files.lines("Notes/Notes_G-C-F.txt");
  layout[1] = "zz f  b ";
  files.files["Notes/Notes_Other.txt"] = joinLines(layout);
  files.files["Records/Records_Other.txt"] =
      joinLines({"Notes_Other.txt", "00/", "zz/", "*-*", " "});
  load("Records_Other.txt");
  EXPECT_EQ(form.Keys[0].caption, "zz");
  EXPECT_EQ(form.noteFileName, "Notes_Other.txt");
}

// ---- Faults a review found in the reader, the writer and the loader.

TEST_F(RecordTest, AChordWhoseNameLineLooksLikeARestIsWrittenBackWhole) {
  const std::string original = joinLines({"Notes_G-C-F.txt", "44/", kBreakMute, "47/", "e1/",
                                          kBreakPlay, "50/", "-BREAK", "*-*", " "});
  files.files["Records/Records_Odd.txt"] = original;
  load("Records_Odd.txt");
  EXPECT_EQ(form.ShadowListe3.items, (std::vector<std::string>{"44/", "47/", kBreakPlay, "50/"}));
  ASSERT_TRUE(form.writeRecordFile("Records_Copy.txt"));
  EXPECT_EQ(files.files["Records/Records_Copy.txt"], original);
}

TEST_F(RecordTest, TheTablesAreFilledOnlyAsFarAsTheyReach) {
  // The reader refuses such a record; the table writes are bounded all the same.
  RecordContent record{"Notes_G-C-F.txt", {}, {}};
  for (int i = 0; i < kTableSlots + 40; ++i) {
    record.buttonLines.push_back(i % 2 ? "47/" : kBreakMute);
    record.nameLines.push_back(i % 2 ? "e1/" : kBreakMute);
  }
  const auto chordButtonsBefore = form.chordButtons;
  form.readRecordFile(record);
  EXPECT_EQ(form.replayEnd, kMaxEvents + 1);
  EXPECT_EQ(form.EditBox.items.size(), static_cast<std::size_t>(kMaxEvents));
  EXPECT_EQ(form.ShadowListe2.items.size(), form.EditBox.items.size());
  EXPECT_EQ(form.eventButtonLines[kMaxEvents], "47/");
  EXPECT_EQ(form.chordButtons, chordButtonsBefore);
}

TEST_F(RecordTest, AfterALoadTheMarkersShowEventOneOrNothing) {
  files.files["Records/Records_RestFirst.txt"] =
      joinLines({"Notes_G-C-F.txt", kBreakPlay, "44/47/", "c1/e1/", "*-*", " "});
  files.files["Records/Records_Rests.txt"] =
      joinLines({"Notes_G-C-F.txt", kBreakPlay, kBreakMute, "*-*", " "});
  files.files["Records/Records_Chord.txt"] =
      joinLines({"Notes_G-C-F.txt", "50/53/", "g1/c2/", "*-*", " "});
  auto visibleMarkers = [this] {
    int n = 0;
    for (int k = 1; k <= 4; ++k) n += form.Acco2[k].visible;
    return n;
  };
  load("Records_Chord.txt");
  EXPECT_EQ(visibleMarkers(), 2);
  EXPECT_EQ(form.Acco2[1].left, form.Keys[50].left - 3);
  load("Records_RestFirst.txt");
  EXPECT_EQ(visibleMarkers(), 0);
  load("Records_Chord.txt");
  load("Records_Rests.txt");
  EXPECT_EQ(visibleMarkers(), 0);
}

TEST(ButtonPlaceTest, EveryPlaceOfABlockIsOneButtonAndTheBlocksAreTheSamePlaces) {
  std::set<std::pair<int, int>> seen;
  for (int b = 0; b < kButtonsPerBlock; ++b) {
    const ButtonPlace at = placeOf(b);
    EXPECT_FALSE(at.push);
    EXPECT_TRUE(seen.insert({at.row, at.number}).second) << b;
    EXPECT_EQ(placeOf(b + kButtonsPerBlock), (ButtonPlace{true, at.row, at.number}));
  }
  // The left and right rows have eleven buttons, the middle one twelve, its last the block's last.
  EXPECT_EQ(placeOf(0), (ButtonPlace{false, 1, 1}));
  EXPECT_EQ(placeOf(31), (ButtonPlace{false, 2, 11}));
  EXPECT_EQ(placeOf(32), (ButtonPlace{false, 3, 11}));
  EXPECT_EQ(placeOf(33), (ButtonPlace{false, 2, 12}));
  EXPECT_EQ(placeOf(67), (ButtonPlace{true, 2, 12}));
  EXPECT_EQ(buttonField(7), "07/");
  EXPECT_EQ(buttonField(67), "67/");
}

// ---- A record and its meter file, saved as one and read with their reasons

class RecordMeterTest : public FormTest {
 protected:
  const std::string kOldMeter = formatMeter({3, 2, 1, 96});
  std::optional<Meter> meterOn(const std::string& path) {
    std::string problem;
    return files.has(path) ? parseMeter(files.files[path], problem) : std::nullopt;
  }
};

TEST_F(RecordMeterTest, AnImportWhoseMeterCannotBeWrittenIsNotSavedAndTheMeterFileIsNamed) {
  const std::vector<std::string> lines{"44/", kBreakPlay, "47/", "50/"};
  form.importMidi(exportRecordToMidi(lines, form.buttonNotes(), {3, 2, 0, 90}, {}), "Waltz", {});
  files.failingPaths = {"Records/Meter_Records_Waltz.txt"};
  form.SaveRecord_Click();
  EXPECT_FALSE(files.has("Records/Records_Waltz.txt")) << "a record without its meter";
  EXPECT_TRUE(form.EditBox.visible);  // still recording, nothing lost
  EXPECT_EQ(form.StatusLine.caption,
            form.say(Text::MsgRecordMeterNotSaved,
                     {"Records/Meter_Records_Waltz.txt", "it is a folder"}));
  files.failingPaths.clear();
  form.SaveRecord_Click();
  EXPECT_EQ(form.ShadowListe3.items, lines);
  EXPECT_EQ(meterOn("Records/Meter_Records_Waltz.txt"), (Meter{3, 2, 0, 90}));
}

TEST_F(RecordMeterTest, ARecordSavedOverAnotherDoesNotTakeTheOthersMeter) {
  files.files["Records/Meter_Records_Demo.txt"] = kOldMeter;
  // A new record where no meter was gets no meter file.
  form.Record_Click();
  recordChord({47});
  saveAs("Fresh");
  EXPECT_TRUE(files.has("Records/Records_Fresh.txt"));
  EXPECT_FALSE(files.has("Records/Meter_Records_Fresh.txt"));
  // One of its own where another left its meter gets the plain meter.
  form.Record_Click();
  form.ReEd_Click();  // afresh: the record saved has no meter to take along
  recordChord({44});
  saveAs("Demo");
  form.SaveRecord_Click();  // the second click replaces the demo
  EXPECT_EQ(files.lines("Records/Records_Demo.txt").size(), 5u);
  EXPECT_EQ(meterOn("Records/Meter_Records_Demo.txt"), Meter{});
  EXPECT_EQ(form.practice.meter, Meter{});  // as the record is loaded after its save
}

TEST_F(RecordMeterTest, AContinuedRecordKeepsItsMeterAndTakesItToANewName) {
  files.files["Records/Meter_Records_Demo.txt"] = kOldMeter;
  load("Records_Demo.txt");
  form.Record_Click();
  recordChord({44});
  form.SaveRecord_Click();  // under its own name
  EXPECT_EQ(files.files["Records/Meter_Records_Demo.txt"], kOldMeter);
  form.Record_Click();
  recordChord({47});
  saveAs("Copy");
  EXPECT_EQ(files.files["Records/Meter_Records_Copy.txt"], kOldMeter);
  EXPECT_EQ(form.practice.meter, (Meter{3, 2, 1, 96}));
}

TEST_F(RecordMeterTest, ATempoOutOfRangeIsSaidAndTheMeterStillCounts) {
  files.files["Records/Meter_Records_T.txt"] =
      joinLines({"METER;beats=3;steps=2;pickup=1", "TEMPO;bpm=999"});
  loadEvents({"44/", "47/"});
  EXPECT_EQ(form.practice.meter, (Meter{3, 2, 1, 0}));
  EXPECT_NE(form.StatusLine.caption.find("Meter_Records_T.txt"), std::string::npos);
  EXPECT_NE(form.StatusLine.caption.find("TEMPO;bpm=999"), std::string::npos)
      << form.StatusLine.caption;
  // Within the range nothing is said.
  files.files["Records/Meter_Records_T.txt"] =
      joinLines({"METER;beats=3;steps=2;pickup=1", "TEMPO;bpm=300"});
  const int problems = form.status().problemCount();
  loadEvents({"44/", "47/"});
  EXPECT_EQ(form.practice.meter, (Meter{3, 2, 1, 300}));
  EXPECT_EQ(form.status().problemCount(), problems) << form.StatusLine.toolTip;
}

/// A store that only reads and replaces, as the page's is.
class ReplacingFiles : public Files {
 public:
  std::map<std::string, std::string> files;
  std::string failing;  ///< the path whose replacement fails
  std::optional<std::string> read(const std::string& path) override {
    const auto it = files.find(path);
    return it == files.end() ? std::nullopt : std::optional(it->second);
  }
  std::string replace(const std::string& path, const std::string& bytes) override {
    if (path == failing) return "refused";
    files[path] = bytes;
    return {};
  }
  std::optional<std::vector<std::string>> list(const std::string&) override { return {}; }
};

TEST(FilesTogetherDefaultTest, AFailingFilePutsBackTheOldBytesOfThoseReplacedBeforeIt) {
  ReplacingFiles store;
  store.files = {{"a", "old a"}, {"b", "old b"}, {"c", "old c"}};
  store.failing = "c";
  const FileProblem problem =
      store.replaceTogether({{"a", "new a"}, {"b", "new b"}, {"c", "new c"}});
  EXPECT_EQ(problem.path, "c");
  EXPECT_EQ(problem.why, "refused");
  EXPECT_EQ(store.files,
            (std::map<std::string, std::string>{{"a", "old a"}, {"b", "old b"}, {"c", "old c"}}));
  store.failing.clear();
  EXPECT_TRUE(store.replaceTogether({{"a", "new a"}, {"c", "new c"}}).ok());
  EXPECT_EQ(store.files["c"], "new c");
}
