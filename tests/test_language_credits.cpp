#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

using LanguageTest = FormTest;

TEST_F(LanguageTest, GermanTextsLandOnTheirControlsWithSpacesKept) {
  EXPECT_EQ(form.Label6.caption, "Replay-Modus");
  EXPECT_EQ(form.Label8.caption, "Abspielen");
  EXPECT_EQ(form.Label12.caption, " Pause");
  EXPECT_EQ(form.Label4.caption, "Dateiname ");
  EXPECT_EQ(form.Label11.caption,
            "Akkord \xFC"
            "bernehmen");
  EXPECT_EQ(form.chordAdoptCaption, form.Label11.caption);
  EXPECT_EQ(form.Label3.caption, "Liste der Akkorde");
  EXPECT_EQ(form.Label25.tag, "Liste der Akkorde");
  EXPECT_EQ(form.Label25.caption, "Liste der Lektionen");
  EXPECT_EQ(form.Label23.caption, "Akkord ERSETZEN");
  EXPECT_EQ(form.Label24.caption, "Akkord EINF\xDCGEN");
}

TEST_F(LanguageTest, EnglishButtonSwitchesTextsCreditsAndTheStoredChoice) {
  form.Picture1_Click();
  EXPECT_EQ(form.Label8.caption, "Play");
  EXPECT_EQ(form.Label14.caption, "Cut sound?");
  EXPECT_EQ(form.Label22.caption, "New");
  EXPECT_EQ(form.AccordDisplay.caption, form.creditsTexts[2]);
  EXPECT_EQ(form.AccordDisplay.fontSize, 10);
  EXPECT_EQ(files.lines("Data/Tastrel.Ini")[1], "Lang_ENG.txt");
  EXPECT_FALSE(form.languageChanged);
}

TEST_F(LanguageTest, UnusedEntriesHaveNoEffect) {
  auto lines = files.lines("Data/Lang_ger.txt");
  for (int line = 23; line <= 33; ++line) lines[line - 1] = "GARBAGE";
  files.files["Data/Lang_ger.txt"] = joinLines(lines);
  form.loadLanguage();
  for (const Control* c : {&form.Label6, &form.Label10, &form.Label14, &form.Label20})
    EXPECT_NE(c->caption, "GARBAGE");
}

TEST_F(LanguageTest, LessonHeadingFollowsTheKindSwitch) {
  form.clickToggle(form.RecordLession);
  form.loadLanguage();
  EXPECT_EQ(form.Label3.caption, "Liste der Lektionen");
  EXPECT_EQ(form.RecordList.pattern, "Lesson*");
}

TEST_F(LanguageTest, ShortOrMissingFileKeepsTheTextsInForce) {
  files.files["Data/Lang_SPA.txt"] = joinLines({"#", "Modo"});
  form.Picture2_Click();
  EXPECT_EQ(form.Label6.caption, "Replay-Modus");
  EXPECT_NE(form.StatusLine.caption.find("2 Zeilen statt 46"), std::string::npos);
  files.files.erase("Data/Lang_SPA.txt");
  form.Picture2_Click();
  EXPECT_EQ(form.Label6.caption, "Replay-Modus");
  files.files.erase("Data/Lang_ger.txt");
  form = Form1({&port, &files});
  start();  // the record list is built even without texts
  EXPECT_EQ(form.RecordList.items, std::vector<std::string>{"Records_Demo.txt"});
}

TEST_F(LanguageTest, ARefusedLanguageChangesNeitherTheSettingNorTheCredits) {
  const auto settings = files.files["Data/Tastrel.Ini"];
  const auto credits = form.AccordDisplay.caption;
  files.files["Data/Lang_SPA.txt"] = joinLines({"#", "Modo"});
  form.Picture2_Click();
  files.files.erase("Data/Lang_ENG.txt");
  form.Picture1_Click();
  EXPECT_EQ(files.files["Data/Tastrel.Ini"], settings);
  EXPECT_EQ(form.AccordDisplay.caption, credits);
  EXPECT_EQ(form.languageFile, "Lang_ger.txt");
  EXPECT_FALSE(form.languageChanged);
}

TEST_F(LanguageTest, WithoutALanguageFileTheBuiltInTextsAreReadable) {
  files.files.erase("Data/Lang_ger.txt");
  form = Form1({&port, &files});
  start();
  EXPECT_FALSE(form.RecordLession.caption.empty());
  form.Record_Click();
  EXPECT_FALSE(form.Label11.caption.empty());  // the caption of the take-chord button
  form.clickToggle(form.Check2);
  form.Keys_Click(44);
  form.NextRecord_Click();
  form.EditBox.selected = 0;
  form.EditBox_Click();
  form.RepIns_Click();
  EXPECT_FALSE(form.Label11.caption.empty());
  // The program's own texts are Windows-1252 bytes, as every caption is.
  const Form1 fresh({&port, &files});
  EXPECT_EQ(fresh.Label11.caption,
            "Accorde \xFC"
            "bernehmen");
}

TEST_F(LanguageTest, FileNamesMatchWithoutLetterCase) {
  form.languageFile = "LANG_ENG.TXT";
  form.loadLanguage();
  EXPECT_EQ(form.Label8.caption, "Play");
  form.showCredits();
  EXPECT_EQ(form.AccordDisplay.caption, form.creditsTexts[2]);
  form.languageFile = "Lang_bay.txt";
  form.loadLanguage();
  form.showCredits();
  EXPECT_EQ(form.AccordDisplay.caption, form.creditsTexts[1]);
  EXPECT_EQ(form.Label8.caption, "Obspuin");
  form.languageFile = "Other.txt";
  form.showCredits();
  EXPECT_EQ(form.AccordDisplay.caption, "");
}

using CreditsTest = FormTest;

TEST_F(CreditsTest, SplashShowsOnceThenStops) {
  EXPECT_TRUE(form.SplashTimer.enabled);
  EXPECT_EQ(form.SplashTimer.interval, 2000);
  form.SplashTimer_Timer();
  EXPECT_TRUE(form.Splashscreen.visible);
  EXPECT_EQ(form.Splashscreen.left, 368);
  EXPECT_EQ(form.splashState, "WAIT");
  EXPECT_EQ(form.SplashTimer.interval, 5000);
  form.NeverShow_Click();  // stays visible now, gone from the next start
  EXPECT_TRUE(form.Splashscreen.visible);
  EXPECT_EQ(form.splashState, "WAIT");
  form.SplashTimer_Timer();
  EXPECT_FALSE(form.Splashscreen.visible);
  EXPECT_FALSE(form.SplashTimer.enabled);
  start();
  form.SplashTimer_Timer();
  EXPECT_FALSE(form.Splashscreen.visible);
  EXPECT_FALSE(form.SplashTimer.enabled);
}

TEST_F(CreditsTest, UnknownSplashValueKeepsTheTimerTickingWithoutEffect) {
  form.splashState = "true";
  for (int i = 0; i < 3; ++i) form.SplashTimer_Timer();
  EXPECT_TRUE(form.SplashTimer.enabled);
  EXPECT_FALSE(form.Splashscreen.visible);
}

TEST_F(CreditsTest, ScrollerRunsOnePassThroughTheCaption) {
  const int length = static_cast<int>(form.scrollText.size());
  form.Copyright_Click();
  int ticks = 0;
  while (form.scrolltext.enabled && ticks < 10000) {
    form.scrolltext_Timer();
    ++ticks;
    if (form.scrolltext.enabled) {
      EXPECT_FALSE(form.Copyright.visible);
    }
  }
  EXPECT_EQ(ticks, length - 57);
  EXPECT_TRUE(form.Copyright.visible);
  EXPECT_EQ(form.windowCaption, form.scrollText.substr(length - 58));
  EXPECT_EQ(form.scrollPosition, 1);
}

TEST_F(CreditsTest, TextsHaveTheirShippedShape) {
  EXPECT_EQ(suggestionsText().size(), 163u);
  // The number is project()'s (StartupTest checks it is one everywhere); the shape is fixed.
  const std::string& version = form.Version.caption;
  EXPECT_EQ(version.rfind("Version ", 0), 0u) << version;
  EXPECT_EQ(version.substr(version.size() - 7), std::string(7, ' ')) << version;
  EXPECT_EQ(form.titleBanner, "- Tastrello -     " + version + std::string(21, ' '));
  EXPECT_EQ(splitLines(form.creditsTexts[1]).size(), 6u);
  // The two phrases on lines of their own: together they wrap, leaving a lone "*".
  EXPECT_EQ(splitLines(form.creditsTexts[3]).back(), "    * a la M\xFAsica *");
  EXPECT_EQ(form.creditsTexts[0], "");
}
