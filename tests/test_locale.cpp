// The program as a German desktop runs it: the application takes the C library's locale from
// the environment, and there numbers are written with a decimal comma. The practice history
// and the settings must come back after a restart all the same. A test executable of its own,
// as the locale is the process's.
#include <gtest/gtest.h>

#include "file_bytes.h"

#include <QApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "fakes.h"
#include "platform/disk_files.h"

using namespace tastrello;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& file) {
  return tastrello::testing::fileBytes(file);
}

}  // namespace

class GermanDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
    char comma[16];
    std::snprintf(comma, sizeof comma, "%.1f", 34.5);
    if (std::string(numeric ? numeric : "").rfind("de_DE", 0) != 0 || std::string(comma) != "34,5")
      GTEST_SKIP() << "the locale de_DE.UTF-8 cannot be made here (scripts/setup generates it); "
                      "the C library's numbers are \""
                   << comma << "\"";
    root = fs::temp_directory_path() / ("tastrello-german-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::copy(TASTRELLO_DATA, root, fs::copy_options::recursive);
    disk = std::make_unique<DiskFiles>(root);
  }
  void TearDown() override { fs::remove_all(root); }

  /// A new window object on the folder, as a restart makes one.
  std::unique_ptr<Form1> start() {
    auto form = std::make_unique<Form1>(Services{&port, disk.get(), nullptr, &clock});
    form->Form_Load();
    form->Form_Activate();
    return form;
  }
  void load(Form1& form, const std::string& name) {
    form.refreshFileList(form.RecordList);
    const auto& items = form.RecordList.items;
    form.RecordList.selected = int(std::find(items.begin(), items.end(), name) - items.begin());
    form.RecordList_Click();
  }

  fs::path root;
  std::unique_ptr<DiskFiles> disk;
  tastrello::testing::FakePort port;
  tastrello::testing::FakeClock clock;
};

TEST_F(GermanDesktopTest, APassIsReadBackAfterARestartWithItsTimeAndTheRamp) {
  auto form = start();
  std::vector<std::string> lines{"Notes_G-C-F.txt"};
  for (int button : {44, 47})
    lines.insert(lines.end(),
                 {std::to_string(button) + "/", right(form->Keys[button].caption, 3) + "/"});
  lines.insert(lines.end(), {kEndMarker, " "});
  ASSERT_EQ(disk->replace("Records/Records_T.txt", joinLines(lines)), "");
  load(*form, "Records_T.txt");
  form->clickToggle(form->PracticeRamp);
  form->clickToggle(form->Practice);
  form->PlayStop_Click();
  form->Timer1_Timer();
  form->Timer1_Timer();
  for (int button : {44, 47}) {
    clock.now += 2.65;
    form->handKeyDown(form->hands.keyMap.bellows);
    for (const auto& [key, position] : form->hands.keyMap.positions)
      if (position == button % kButtonsPerBlock) form->handKeyDown(key);
    form->releaseHands();
  }
  ASSERT_EQ(form->practice.history.passes.size(), 1u);
  EXPECT_NE(form->PracticeScore.caption.find("5.3 s"), std::string::npos)
      << form->PracticeScore.caption;
  const std::string history = readAll(root / "Records/Practice_Records_T.txt");
  EXPECT_NE(history.find(";seconds=5.3\r\n"), std::string::npos) << history;

  form = start();
  load(*form, "Records_T.txt");
  EXPECT_EQ(form->problemCount, 0) << form->StatusLine.toolTip;
  ASSERT_EQ(form->practice.history.passes.size(), 1u) << "the pass was lost at the restart";
  EXPECT_EQ(form->practice.history.passes[0].score.seconds, 5.3);
  EXPECT_TRUE(form->practice.history.ramp);
  EXPECT_EQ(form->PracticeRamp.value, 1);
}

TEST_F(GermanDesktopTest, TheSettingsComeBackAsTheyWereChosen) {
  const std::string shipped = readAll(root / "Data/Tastrel.Ini");
  auto form = start();
  form->Picture1_Click();  // English
  form->NeverShow_Click();
  form->Speed.value = 0;
  form->Speed_Click();
  EXPECT_EQ(form->Tempo.caption, "Tempo 0 (11.7 per min)");
  form = start();
  EXPECT_EQ(form->problemCount, 0) << form->StatusLine.toolTip;
  EXPECT_EQ(form->languageFile, "Lang_ENG.txt");
  EXPECT_EQ(form->splashState, "FALSE");
  // Only the two values changed, byte for byte.
  std::string expected = shipped;
  for (const auto& [key, value] : std::vector<std::pair<std::string, std::string>>{
           {"LANGUAGE:\r\n", "Lang_ENG.txt"}, {"SPLASH:\r\n", "FALSE"}}) {
    const auto at = expected.find(key) + key.size();
    expected.replace(at, expected.find("\r\n", at) - at, value);
  }
  EXPECT_EQ(readAll(root / "Data/Tastrel.Ini"), expected);
}

int main(int argc, char** argv) {
  // As a German desktop starts it; the application sets the C library's locale from these.
  setenv("LANG", "de_DE.UTF-8", 1);
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
