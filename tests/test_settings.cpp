#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class SettingsTest : public FormTest {
 protected:
  const std::string path = "Data/Tastrel.Ini";
  void restartWith(const std::vector<std::string>& lines) {
    files.files[path] = joinLines(lines);
    files.replaceCount = 0;
    form = Form1({&port, &files});
    start();
  }
};

TEST_F(SettingsTest, ShippedFileGivesLanguageSwitchesAndInstruments) {
  EXPECT_EQ(form.languageFile, "Lang_ger.txt");
  EXPECT_EQ(form.splashState, "TRUE");
  EXPECT_EQ(form.helpEditSetting, "TRUE");
  EXPECT_EQ(form.instrumentNames[1], "Acoustic Grand Piano");
  EXPECT_EQ(form.instrumentNames[128], "Gunshot");
  EXPECT_EQ(files.replaceCount, 0);
}

TEST_F(SettingsTest, NeverShowChangesOnlyTheSplashValue) {
  const auto before = files.lines(path);
  form.NeverShow_Click();
  const auto after = files.lines(path);
  ASSERT_EQ(before.size(), after.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (i > 0 && before[i - 1] == "SPLASH:")
      EXPECT_EQ(after[i], "FALSE");
    else
      EXPECT_EQ(after[i], before[i]);
  }
}

TEST_F(SettingsTest, DuplicateKeysLaterValueWinsAndBothAreReplaced) {
  restartWith(
      {"LANGUAGE:", "Lang_SPA.txt", "note", "LANGUAGE:", "Lang_ENG.txt", "SPLASH:", "TRUE"});
  EXPECT_EQ(form.languageFile, "Lang_ENG.txt");
  form.Picture3_Click();
  EXPECT_EQ(files.lines(path),
            (std::vector<std::string>{"LANGUAGE:", "Lang_ger.txt", "note",
                                      "LANGUAGE:", "Lang_ger.txt", "SPLASH:", "TRUE"}));
}

TEST_F(SettingsTest, KeyWithTrailingSpaceIsNoKeySoTheRealKeyIsAdded) {
  restartWith({"SPLASH: ", "TRUE"});
  EXPECT_EQ(form.splashState, "");
  EXPECT_NE(form.StatusLine.caption.find("holds no settings"), std::string::npos);
  form.NeverShow_Click();
  EXPECT_EQ(files.lines(path), (std::vector<std::string>{"SPLASH:", "FALSE", "SPLASH: ", "TRUE"}));
}

TEST_F(SettingsTest, KeyOnTheLastLineKeepsDefaultsAndGetsItsValueWhenStored) {
  restartWith({"SPLASH:", "TRUE", "LANGUAGE:"});
  EXPECT_EQ(form.languageFile, "Lang_ger.txt");
  EXPECT_NE(form.StatusLine.caption.find("no value"), std::string::npos);
  form.settingKey = "LANGUAGE:";
  form.settingValue = "Lang_ENG.txt";
  form.storeSetting();
  EXPECT_EQ(files.lines(path),
            (std::vector<std::string>{"SPLASH:", "TRUE", "LANGUAGE:", "Lang_ENG.txt"}));
}

TEST_F(SettingsTest, InstrumentNamesSkipThreeCharactersAndStopAtFifty) {
  std::vector<std::string> lines{"MIDI-LIST:", "001Piano", "002", "0"};
  lines.push_back("004" + std::string(60, 'x'));
  for (int k = 5; k <= 128; ++k) lines.push_back("000Name");
  restartWith(lines);
  EXPECT_EQ(form.instrumentNames[1], "Piano");
  EXPECT_EQ(form.instrumentNames[2], "");
  EXPECT_EQ(form.instrumentNames[3], "");
  EXPECT_EQ(form.instrumentNames[4], std::string(50, 'x'));
  EXPECT_EQ(form.instrumentNames[128], "Name");
}

TEST_F(SettingsTest, ShortInstrumentListIsReadAsFarAsItGoesAndReported) {
  restartWith({"LANGUAGE:", "Lang_ENG.txt", "MIDI-LIST:", "001Piano", "002Organ"});
  EXPECT_EQ(form.instrumentNames[2], "Organ");
  EXPECT_EQ(form.instrumentNames[3], "");
  EXPECT_EQ(form.Label6.caption, "Replay mode");  // start-up went on
  EXPECT_NE(form.StatusLine.caption.find("only 2 of the 128"), std::string::npos);
}

TEST_F(SettingsTest, HelpOptionWritesItsValueBothWays) {
  form.setToggleValue(form.Check2, 0);
  EXPECT_FALSE(form.Tafel1.visible);
  EXPECT_EQ(form.helpEditSetting, "FALSE");
  auto lines = files.lines(path);
  EXPECT_EQ(lines[5], "FALSE");
  form.clickToggle(form.Check2);
  EXPECT_TRUE(form.Tafel1.visible && form.Tafel2.visible);
  EXPECT_EQ(files.lines(path)[5], "TRUE");
}

TEST_F(SettingsTest, HelpOptionWithoutKeyIsAddedWhenToggled) {
  restartWith({"LANGUAGE:", "Lang_ger.txt"});
  EXPECT_EQ(form.Check2.value, 1);
  EXPECT_EQ(form.helpEditSetting, "");
  form.Record_Click();
  EXPECT_FALSE(form.Tafel1.visible);  // boards stay hidden until the option is toggled
  form.clickToggle(form.Check2);
  form.clickToggle(form.Check2);
  EXPECT_EQ(form.helpEditSetting, "TRUE");
  EXPECT_EQ(files.lines(path),
            (std::vector<std::string>{"HELPEDIT:", "TRUE", "LANGUAGE:", "Lang_ger.txt"}));
}

TEST_F(SettingsTest, FailedRewriteKeepsTheFileAndSaysSo) {
  const auto before = files.files[path];
  files.failReplace = true;
  form.NeverShow_Click();
  EXPECT_EQ(files.files[path], before);
  EXPECT_NE(form.StatusLine.caption.find("disk full"), std::string::npos);
}

TEST_F(SettingsTest, MissingFileStartsWithDefaults) {
  files.files.erase(path);
  form = Form1({&port, &files});
  start();
  EXPECT_EQ(form.languageFile, "Lang_ger.txt");
  EXPECT_EQ(form.Label8.caption, "Abspielen");
  EXPECT_EQ(form.instrumentNames[22], "");
  form.NeverShow_Click();  // nothing to rewrite, nothing made
  EXPECT_FALSE(files.has(path));
}

// ---- Faults a review found: swallowed keys, silent junk, lost choices.

TEST_F(SettingsTest, AKeyFollowedByAKeyHasNoValueAndSwallowsNothing) {
  restartWith({"MIDI-OUT:", "LANGUAGE:", "Lang_ENG.txt", "SOUNDFONT:", "SPLASH:", "FALSE"});
  EXPECT_EQ(form.languageFile, "Lang_ENG.txt");
  EXPECT_EQ(form.splashState, "FALSE");
  EXPECT_EQ(form.midiOutSetting, "");
  EXPECT_EQ(form.soundFontSetting, "");
  EXPECT_EQ(form.problemCount, 2);
  // Storing the valueless key gives it a value line of its own.
  form.settingKey = "MIDI-OUT:";
  form.settingValue = "SYNTH";
  form.storeSetting();
  EXPECT_EQ(files.lines(path),
            (std::vector<std::string>{"MIDI-OUT:", "SYNTH", "LANGUAGE:", "Lang_ENG.txt",
                                      "SOUNDFONT:", "SPLASH:", "FALSE"}));
}

TEST_F(SettingsTest, AnEmptyOrJunkFileIsReportedAndLaterChoicesAreKept) {
  for (const std::vector<std::string>& content :
       {std::vector<std::string>{}, std::vector<std::string>{"\x01\x02junk", "more junk"}}) {
    restartWith(content);
    EXPECT_NE(form.StatusLine.caption.find("holds no settings"), std::string::npos);
    form.Picture1_Click();  // English
    form = Form1({&port, &files});
    start();
    EXPECT_EQ(form.languageFile, "Lang_ENG.txt");
    EXPECT_EQ(form.Label8.caption, "Play");
  }
}

TEST_F(SettingsTest, EveryStartUpProblemIsKeptAndTheLatestShown) {
  files.files.erase("Data/Lang_ger.txt");
  restartWith({"LANGUAGE:", "MIDI-LIST:", "001Piano"});
  EXPECT_EQ(form.problemCount, 3);  // no value, short list, no language file
  EXPECT_EQ(form.problems.size(), 3u);
  EXPECT_EQ(form.StatusLine.caption, form.problems.back());
  EXPECT_NE(form.StatusCount.caption.find('3'), std::string::npos);
  for (const auto& problem : form.problems)
    EXPECT_NE(form.StatusLine.toolTip.find(problem), std::string::npos) << problem;
  // A confirmation shows but is no problem.
  form.inform("Saved.");
  EXPECT_EQ(form.problemCount, 3);
}

TEST_F(SettingsTest, OnlyTheLatestProblemsAreKept) {
  for (int i = 0; i < 200; ++i) form.report("problem " + std::to_string(i));
  EXPECT_EQ(form.problems.size(), Form1::kProblemsKept);
  EXPECT_EQ(form.problems.back(), "problem 199");
  EXPECT_EQ(form.problemCount, 200);
}
