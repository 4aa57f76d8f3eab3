// The settings file on its own: what a rewrite keeps, what it changes, and when it writes at all.
#include <gtest/gtest.h>

#include "fakes.h"
#include "shell/settings_store.h"
#include "shell/text.h"

using namespace tastrello;
using namespace tastrello::testing;

class SettingsStoreTest : public ::testing::Test {
 protected:
  MemoryFiles files;
  StatusReports status;
  SettingsStore store{&files, "Data/Tastrel.Ini"};

  void write(const std::vector<std::string>& lines) {
    files.files["Data/Tastrel.Ini"] = joinLines(lines);
  }
  std::vector<std::string> lines() { return files.lines("Data/Tastrel.Ini"); }
};

TEST_F(SettingsStoreTest, ARewriteChangesTheValuesAndKeepsEveryOtherLineAsItWas) {
  write({"# a teacher's note", "LANGUAGE:", "Lang_ENG.txt", "UNKNOWN:", "kept", "SPLASH:",
         "TRUE", "LANGUAGE:", "Lang_SPA.txt"});
  EXPECT_EQ(store.read(status).last("LANGUAGE:"), "Lang_SPA.txt");
  store.write({{"LANGUAGE:", "Lang_ger.txt"}, {"TAP-OFFSET:", "12"}}, status);
  EXPECT_EQ(lines(), (std::vector<std::string>{"TAP-OFFSET:", "12", "# a teacher's note",
                                               "LANGUAGE:", "Lang_ger.txt", "UNKNOWN:", "kept",
                                               "SPLASH:", "TRUE", "LANGUAGE:", "Lang_ger.txt"}));
  EXPECT_EQ(status.problemCount(), 0);
}

TEST_F(SettingsStoreTest, TheInstrumentListIsNeverReadAsKeys) {
  std::vector<std::string> file{"MIDI-LIST:"};
  for (int i = 1; i <= 128; ++i) file.push_back(i == 5 ? "SPLASH:" : "001Instrument " + std::to_string(i));
  file.insert(file.end(), {"SPLASH:", "FALSE"});
  write(file);
  const auto reading = store.read(status);
  EXPECT_EQ(reading.instruments[4], "Instrument 4");
  EXPECT_EQ(reading.instruments[5], "ASH:");  // a name is what its line holds from column 4
  EXPECT_EQ(reading.last("SPLASH:"), "FALSE");
  store.write({{"SPLASH:", "TRUE"}}, status);
  EXPECT_EQ(lines()[5], "SPLASH:");  // the list's line is untouched
  EXPECT_EQ(lines().back(), "TRUE");
}

TEST_F(SettingsStoreTest, OnlyTheChoicesThatChangedAreWrittenInOneRewrite) {
  write({"LESSONS:", "TRUE", "TEMPO:", "23"});
  store.read(status);
  EXPECT_EQ(store.storedChoice("TEMPO:"), "23");
  const std::vector<Setting> now{{"LESSONS:", "TRUE"}, {"TEMPO:", "23"}};
  store.rememberAsStored(now);
  store.remember(now, status);
  EXPECT_EQ(files.replaceCount, 0);
  store.remember({{"LESSONS:", "FALSE"}, {"TEMPO:", "23"}}, status);
  EXPECT_EQ(files.replaceCount, 1);
  EXPECT_EQ(lines(), (std::vector<std::string>{"LESSONS:", "FALSE", "TEMPO:", "23"}));
}

TEST_F(SettingsStoreTest, AFileThatCannotBeReadIsNeverRewrittenAndSaysWhy) {
  files.unreadable["Data/Tastrel.Ini"] = "no permission";
  write({"LANGUAGE:", "Lang_ENG.txt"});
  const auto reading = store.read(status);
  EXPECT_TRUE(reading.values.empty());
  EXPECT_EQ(status.problemCount(), 1);
  EXPECT_NE(status.view().line.find("no permission"), std::string::npos);
  store.write({{"SPLASH:", "TRUE"}}, status);
  EXPECT_EQ(files.replaceCount, 0);
  EXPECT_NE(status.view().line.find("no permission"), std::string::npos);

  files.unreadable.clear();
  write({std::string(2 * 1024 * 1024, 'x')});
  store.write({{"SPLASH:", "TRUE"}}, status);
  EXPECT_EQ(files.replaceCount, 0);
  EXPECT_EQ(status.problemCount(), 3);
}

TEST_F(SettingsStoreTest, AFailedReplaceIsReportedWithThePath) {
  write({"SPLASH:", "TRUE"});
  files.failReplace = true;
  store.write({{"SPLASH:", "FALSE"}}, status);
  EXPECT_EQ(status.view().line, status.say(Text::MsgSettingsNotChanged, {"Data/Tastrel.Ini", "disk full"}));
}
