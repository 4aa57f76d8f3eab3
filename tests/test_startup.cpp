#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

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
  EXPECT_EQ(form.Tempo.caption, "Tempo 23 (109 pro Min.)");  // 550 ms a step
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
  EXPECT_EQ(form.NoteList.items,
            (std::vector<std::string>{"Notes_A-D-G.txt", "Notes_B-Es-As.txt", "Notes_C-F-B.txt",
                                      "Notes_F-B-Es.txt", "Notes_G-C-F.txt", "Notes_H-E-A.txt"}));
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
  EXPECT_NE(form.StatusLine.toolTip.find(form.say(Text::MsgFolderUnread, {"Records/"})),
            std::string::npos);
}

namespace {

/// The visibility of every control the user can see, by name.
std::map<std::string, bool> shownControls(const Form1& f) {
  const std::vector<std::pair<std::string, const Control*>> controls{
      {"Label1", &f.Label1},
      {"NoteList", &f.NoteList},
      {"NotenSchirm", &f.NotenSchirm},
      {"ZahlenSchirm", &f.ZahlenSchirm},
      {"Check1", &f.Check1},
      {"Check3", &f.Check3},
      {"SoundOnOff", &f.SoundOnOff},
      {"Check4", &f.Check4},
      {"Label13", &f.Label13},
      {"Label14", &f.Label14},
      {"Expand", &f.Expand},
      {"EditorTMP", &f.EditorTMP},
      {"RecordList", &f.RecordList},
      {"Label3", &f.Label3},
      {"Label2", &f.Label2},
      {"Infos", &f.Infos},
      {"RecordLession", &f.RecordLession},
      {"Record", &f.Record},
      {"Label5", &f.Label5},
      {"CancelRec", &f.CancelRec},
      {"Label9", &f.Label9},
      {"SaveName", &f.SaveName},
      {"Label4", &f.Label4},
      {"SaveRecord", &f.SaveRecord},
      {"Label10", &f.Label10},
      {"NextRecord", &f.NextRecord},
      {"Label11", &f.Label11},
      {"ReEd", &f.ReEd},
      {"Label22", &f.Label22},
      {"PlayStop", &f.PlayStop},
      {"Label8", &f.Label8},
      {"Break", &f.Break},
      {"Label12", &f.Label12},
      {"StopReplay", &f.StopReplay},
      {"Label7", &f.Label7},
      {"PlayMode", &f.PlayMode},
      {"Label6", &f.Label6},
      {"Speed", &f.Speed},
      {"Tempo", &f.Tempo},
      {"EditBox", &f.EditBox},
      {"KillNote", &f.KillNote},
      {"EditBreak", &f.EditBreak},
      {"Label20", &f.Label20},
      {"EditMute", &f.EditMute},
      {"Label21", &f.Label21},
      {"RepIns", &f.RepIns},
      {"Check2", &f.Check2},
      {"Tafel1", &f.Tafel1},
      {"Tafel2", &f.Tafel2},
      {"Picture1", &f.Picture1},
      {"Picture2", &f.Picture2},
      {"Picture3", &f.Picture3},
      {"Acco2[1]", &f.Acco2[1]},
      {"Copyright", &f.Copyright}};
  std::map<std::string, bool> shown;
  for (const auto& [name, control] : controls) shown[name] = control->visible;
  return shown;
}

}  // namespace

TEST_F(StartupTest, FreePlayShowsTheSameControlsAfterStartUpARecordingAndAReplay) {
  const auto atStart = shownControls(form);
  form.Record_Click();
  EXPECT_NE(shownControls(form), atStart);
  form.CancelRec_Click();
  EXPECT_EQ(shownControls(form), atStart);
  form.clickToggle(form.RecordLession);
  form.clickToggle(form.RecordLession);
  EXPECT_EQ(shownControls(form), atStart);
  // A save shows what was saved, as loading it from the list does.
  form.Record_Click();
  form.Keys_Click(44);
  form.NextRecord_Click();
  form.SaveName.text = "Panels";
  form.SaveRecord_Click();
  const auto afterSave = shownControls(form);
  EXPECT_EQ(form.Label2.caption, "Records_Panels.txt");
  form.refreshFileList(form.RecordList);
  selectRow(form.RecordList, "Records_Panels.txt");
  form.RecordList_Click();
  EXPECT_EQ(shownControls(form), afterSave);
}

// ---- One version, written once in CMakeLists.txt's project()

namespace {

std::string sourceFile(const std::string& path) {
  std::ifstream in(std::string(TASTRELLO_SOURCE) + "/../" + path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

/// Every "Version 1.2"-like mention in `text`.
std::set<std::string> versionsIn(const std::string& text) {
  std::set<std::string> out;
  const std::regex mention("Version [0-9]+\\.[0-9]+(\\.[0-9]+)?");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), mention); it != std::sregex_iterator(); ++it)
    out.insert(it->str());
  return out;
}

}  // namespace

TEST_F(StartupTest, TheSplashAsDrawnThePackageAndItsAppStreamDataSayTheVersionTheWindowShows) {
  const auto shown = versionsIn(form.Version.caption);
  ASSERT_EQ(shown.size(), 1u) << form.Version.caption;
  const std::string version = shown.begin()->substr(8);
  EXPECT_NE(form.windowCaption.find(*shown.begin()), std::string::npos) << form.windowCaption;
  // Both front ends fill the picture's place "{0}" with the splash's caption.
  std::string splash = sourceFile("assets/splash.svg");
  ASSERT_NE(splash.find("{0}"), std::string::npos);
  splash.replace(splash.find("{0}"), 3, form.Splashscreen.caption);
  EXPECT_EQ(versionsIn(splash), shown);
  // The newest entry of the Debian changelog and of the AppStream releases.
  EXPECT_EQ(sourceFile("packaging/changelog").rfind("tastrello (" + version + ") ", 0), 0u);
  const std::string appstream = sourceFile("packaging/org.tastrello.Tastrello.metainfo.xml");
  const auto release = appstream.find("<release version=\"");
  ASSERT_NE(release, std::string::npos);
  EXPECT_EQ(appstream.find("<release version=\"" + version + "\""), release) << "the newest release";
}
