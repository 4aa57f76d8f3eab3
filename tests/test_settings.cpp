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
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgSettingsEmpty, {path}));
  form.NeverShow_Click();
  EXPECT_EQ(files.lines(path), (std::vector<std::string>{"SPLASH:", "FALSE", "SPLASH: ", "TRUE"}));
}

TEST_F(SettingsTest, KeyOnTheLastLineKeepsDefaultsAndGetsItsValueWhenStored) {
  restartWith({"SPLASH:", "TRUE", "LANGUAGE:"});
  EXPECT_EQ(form.languageFile, "Lang_ger.txt");
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgSettingsNoValue, {path, "LANGUAGE:"}));
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
    EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgSettingsEmpty, {path}));
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

TEST_F(SettingsTest, AnInstrumentListOneNameShortIsSaidAndAFullOneIsNot) {
  std::vector<std::string> lines{"SPLASH:", "FALSE", "MIDI-LIST:"};
  for (int i = 1; i <= 127; ++i) {
    const std::string number = std::to_string(i);
    lines.push_back(std::string(3 - number.size(), '0') + number + "Voice " + number);
  }
  restartWith(lines);
  EXPECT_EQ(form.problemCount, 1) << form.StatusLine.toolTip;
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgSettingsShortList, {path, "127"}));
  EXPECT_EQ(form.instrumentNames[127], "Voice 127");
  lines.push_back("128Voice 128");
  restartWith(lines);
  EXPECT_EQ(form.problemCount, 0) << form.StatusLine.toolTip;
  EXPECT_EQ(form.instrumentNames[128], "Voice 128");
}

TEST_F(SettingsTest, OnlyTheLatestProblemsAreKept) {
  for (int i = 0; i < 200; ++i) form.report("problem " + std::to_string(i));
  EXPECT_EQ(form.problems.size(), Form1::kProblemsKept);
  EXPECT_EQ(form.problems.back(), "problem 199");
  EXPECT_EQ(form.problemCount, 200);
}

// ---- Values that cannot be used are said, and the rest of the file still counts

class BellowsControllerSettingTest : public SettingsTest,
                                     public ::testing::WithParamInterface<std::string> {
 protected:
  /// Whether the MIDI export writes its bellows as controller `number`.
  bool exportUses(int number) {
    loadEvents({"44/", "10/"});
    const auto bytes = form.exportMidi();
    return bytes && bytes->find(std::string{'\xB0', char(number)}) != std::string::npos;
  }
  /// Whether the input takes controller `number` (below 128) for the bellows.
  bool inputListensTo(int number) {
    form.hands.controllerPush.reset();
    form.MidiIn_Message(0xB0u | unsigned(number) << 8 | 127u << 16);
    return form.hands.controllerPush.has_value();
  }
};

TEST_P(BellowsControllerSettingTest, ANumberThatIsNoBellowsControllerIsSaidAndIgnored) {
  const std::string value = GetParam();
  restartWith({"LANGUAGE:", "Lang_ENG.txt", "BELLOWS-CC:", value, "SPLASH:", "FALSE"});
  // Said in the language the file chooses, and the other settings are kept.
  EXPECT_NE(form.StatusLine.toolTip.find(
                uiText(UiLanguage::English, Text::MsgBellowsController, {value})),
            std::string::npos)
      << form.StatusLine.toolTip;
  EXPECT_EQ(form.languageFile, "Lang_ENG.txt");
  EXPECT_EQ(form.splashState, "FALSE");
  EXPECT_EQ(form.hands.bellowsController, -1);
  // The input and the export agree: neither uses the number refused.
  const int number = parseInt16(value).value_or(-1);
  if (number >= 0 && number < 128) {
    EXPECT_FALSE(inputListensTo(number));
  }
  EXPECT_TRUE(exportUses(2));
}

INSTANTIATE_TEST_SUITE_P(Refused, BellowsControllerSettingTest,
                         ::testing::Values("120", "123", "127", "128", "32767", "99999", "-7",
                                           "abc", "64x", "6 4"));

TEST_F(SettingsTest, TheBellowsControllersAtTheEdgesAreTakenByTheInputAndTheExportAlike) {
  for (int number : {0, 119}) {
    restartWith({"BELLOWS-CC:", std::to_string(number)});
    EXPECT_EQ(form.problemCount, 0) << form.StatusLine.toolTip;
    EXPECT_EQ(form.hands.bellowsController, number);
    form.MidiIn_Message(0xB0u | unsigned(number) << 8 | 127u << 16);
    EXPECT_EQ(form.hands.controllerPush, true);
    loadEvents({"44/", "10/"});
    const auto bytes = form.exportMidi();
    ASSERT_TRUE(bytes);
    EXPECT_NE(bytes->find(std::string{'\xB0', char(number)}), std::string::npos) << number;
  }
  restartWith({"BELLOWS-CC:", ""});  // empty: none, and nothing to say
  EXPECT_EQ(form.problemCount, 0);
  EXPECT_EQ(form.hands.bellowsController, -1);
}

struct PlayAlongValue {
  std::string key, value;
  friend std::ostream& operator<<(std::ostream& out, const PlayAlongValue& v) {
    return out << v.key << " " << v.value;
  }
};

class PlayAlongSettingTest : public SettingsTest,
                             public ::testing::WithParamInterface<PlayAlongValue> {};

TEST_P(PlayAlongSettingTest, AValueOutOfItsRangeIsSaidWithTheRangeAndTheStartValueHolds) {
  const auto& [key, value] = GetParam();
  restartWith({"LANGUAGE:", "Lang_ENG.txt", key, value, "SPLASH:", "FALSE"});
  const bool offset = key == "TAP-OFFSET:";
  const std::string said = form.StatusLine.toolTip;
  EXPECT_NE(said.find("Setting " + key + " \"" + value + "\" is ignored"), std::string::npos)
      << said;
  EXPECT_NE(said.find(offset ? "from -500 to 500; 0 ms holds"
                             : "from 10 to 300; \xB1"
                               "80 ms holds"),
            std::string::npos)
      << said;
  EXPECT_EQ(form.practice.offsetSeconds, 0.0);
  EXPECT_EQ(form.practice.windowMs, 80);
  EXPECT_EQ(form.splashState, "FALSE");  // the rest of the file still counts
}

INSTANTIATE_TEST_SUITE_P(
    Refused, PlayAlongSettingTest,
    ::testing::Values(PlayAlongValue{"TAP-OFFSET:", "501"}, PlayAlongValue{"TAP-OFFSET:", "-501"},
                      PlayAlongValue{"TAP-OFFSET:", "32767"},
                      PlayAlongValue{"TAP-OFFSET:", "99999"}, PlayAlongValue{"TAP-OFFSET:", "12.5"},
                      PlayAlongValue{"TAP-OFFSET:", "abc"}, PlayAlongValue{"TIMING-WINDOW:", "9"},
                      PlayAlongValue{"TIMING-WINDOW:", "0"},
                      PlayAlongValue{"TIMING-WINDOW:", "-80"},
                      PlayAlongValue{"TIMING-WINDOW:", "301"},
                      PlayAlongValue{"TIMING-WINDOW:", "80ms"}));

TEST_F(SettingsTest, PlayAlongValuesAtTheEdgesOfTheirRangesAreTakenAndEmptyOnesAreTheStartValues) {
  for (const auto& [offset, window] : std::vector<std::pair<int, int>>{{-500, 10}, {500, 300}}) {
    restartWith({"TAP-OFFSET:", std::to_string(offset), "TIMING-WINDOW:", std::to_string(window)});
    EXPECT_EQ(form.problemCount, 0) << form.StatusLine.toolTip;
    EXPECT_EQ(form.practice.offsetSeconds, offset / 1000.0);
    EXPECT_EQ(form.practice.windowMs, window);
  }
  restartWith({"TAP-OFFSET:", "", "TIMING-WINDOW:", ""});
  EXPECT_EQ(form.problemCount, 0) << form.StatusLine.toolTip;
  EXPECT_EQ(form.practice.offsetSeconds, 0.0);
  EXPECT_EQ(form.practice.windowMs, 80);
}

TEST_F(SettingsTest, AFileFarTooLargeForSettingsIsNeitherReadNorRewritten) {
  std::vector<std::string> lines{"LANGUAGE:", "Lang_ENG.txt"};
  lines.insert(lines.end(), 120'000, "some line that is no setting");
  restartWith(lines);
  EXPECT_EQ(form.languageFile, "Lang_ger.txt");
  EXPECT_NE(form.StatusLine.toolTip.find(form.say(Text::WhyTooLarge, {"1 MB"})),
            std::string::npos);
  form.NeverShow_Click();
  EXPECT_EQ(files.replaceCount, 0);
  EXPECT_NE(form.StatusLine.caption.find(form.say(Text::WhyTooLarge, {"1 MB"})),
            std::string::npos);
}
