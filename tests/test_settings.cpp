#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class SettingsTest : public FormTest {
 protected:
  const std::string path = "Data/Tastrel.Ini";
  void restartWith(const std::vector<std::string>& lines) {
    files.files[path] = joinLines(lines);
    files.replaceCount = 0;
    form = Form1({&port, &files, &beeper});
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

TEST_F(SettingsTest, KeyWithTrailingSpaceIsNoKey) {
  restartWith({"SPLASH: ", "TRUE"});
  EXPECT_EQ(form.splashState, "");
  form.NeverShow_Click();
  EXPECT_EQ(files.lines(path), (std::vector<std::string>{"SPLASH: ", "TRUE"}));
}

TEST_F(SettingsTest, KeyOnTheLastLineKeepsDefaultsAndTheFile) {
  restartWith({"SPLASH:", "TRUE", "LANGUAGE:"});
  EXPECT_EQ(form.languageFile, "Lang_ger.txt");
  EXPECT_NE(form.StatusLine.caption.find("no value"), std::string::npos);
  form.settingKey = "LANGUAGE:";
  form.settingValue = "Lang_ENG.txt";
  form.storeSetting();
  EXPECT_EQ(files.lines(path), (std::vector<std::string>{"SPLASH:", "TRUE", "LANGUAGE:"}));
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

TEST_F(SettingsTest, HelpOptionWithoutKeyLastsForThisRunOnly) {
  restartWith({"LANGUAGE:", "Lang_ger.txt"});
  EXPECT_EQ(form.Check2.value, 1);
  EXPECT_EQ(form.helpEditSetting, "");
  form.Record_Click();
  EXPECT_FALSE(form.Tafel1.visible);  // boards stay hidden until the option is toggled
  form.clickToggle(form.Check2);
  form.clickToggle(form.Check2);
  EXPECT_EQ(form.helpEditSetting, "TRUE");
  EXPECT_EQ(files.lines(path), (std::vector<std::string>{"LANGUAGE:", "Lang_ger.txt"}));
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
  form = Form1({&port, &files, &beeper});
  start();
  EXPECT_EQ(form.languageFile, "Lang_ger.txt");
  EXPECT_EQ(form.Label8.caption, "Abspielen");
  EXPECT_EQ(form.instrumentNames[22], "");
  form.NeverShow_Click();  // nothing to rewrite, nothing made
  EXPECT_FALSE(files.has(path));
}
