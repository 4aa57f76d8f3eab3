// The MIDI log chosen in the settings, with the program's real output switch: a file of its
// own inside the working folder, never through a link and never one of the program's files;
// a refusal is said in the status line and nothing is written. (A port's error text is cut
// at 128 characters.)
#include <gtest/gtest.h>

#include "file_bytes.h"
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "fakes.h"
#include "platform/disk_files.h"
#include "platform/log_port.h"
#include "platform/output_switch.h"

using namespace tastrello;
namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path& file) {
  return tastrello::testing::fileBytes(file);
}

}  // namespace

class MidiLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base = fs::temp_directory_path() / ("tastrello-log-" + std::to_string(::getpid()));
    fs::remove_all(base);
    root = base / "work";
    outside = base / "outside";
    fs::create_directories(outside);
    fs::copy(TASTRELLO_DATA, root, fs::copy_options::recursive);
  }
  void TearDown() override { fs::remove_all(base); }

  /// Starts the program with "MIDI-OUT:" set to `setting`, plays a button and stops it.
  /// Returns what the status line's problems say.
  std::string runWith(const std::string& setting) {
    const fs::path ini = root / "Data/Tastrel.Ini";
    const std::string settings = readAll(ini);
    std::string chosen = settings;
    chosen.replace(chosen.find("MIDI-OUT:\r\nSYNTH"), 16, "MIDI-OUT:\r\n" + setting);
    std::ofstream(ini, std::ios::binary) << chosen;
    DiskFiles files(root);
    OutputSwitch outputs(root, {});
    Form1 form({&outputs, &files, &outputs});
    files.speak([&form] { return uiLanguageOf(form.textsLanguage); });
    outputs.speak([&form] { return uiLanguageOf(form.textsLanguage); });
    form.Form_Load();
    form.Form_Activate();
    form.Keys_Click(44);
    form.Form_Unload();
    std::ofstream(ini, std::ios::binary) << settings;  // as it was, for the next run
    return form.StatusLine.toolTip;
  }
  /// Every file below `dir` with its bytes.
  static std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file() && !e.is_symlink()) files[e.path().string()] = readAll(e.path());
    return files;
  }

  fs::path base, root, outside;
};

TEST_F(MidiLogTest, ALinkAnywhereOnTheLogsPathIsRefusedAndNothingIsWrittenThere) {
  fs::create_directory_symlink(outside, root / "logs");
  fs::create_directories(root / "real");
  fs::create_directory_symlink(root / "Data", root / "real/data");
  fs::create_symlink(outside / "midi.log", root / "link.log");
  const std::vector<std::pair<std::string, std::string>> cases{
      {"logs/midi.log", uiText(UiLanguage::German, Text::WhyLinkOnPath, {"logs"})},
      {"real/data/midi.log", uiText(UiLanguage::German, Text::WhyLinkOnPath, {"data"})},
      {"link.log", uiText(UiLanguage::German, Text::WhyIsLink)}};
  for (const auto& [name, why] : cases) {
    const std::string said = runWith("LOG:" + name);
    EXPECT_NE(said.find(uiText(UiLanguage::German, Text::LogCannotWrite, {name, why}).substr(0, 128)),
              std::string::npos)
        << name << ": " << said;
    EXPECT_TRUE(fs::is_empty(outside)) << name;
    EXPECT_FALSE(fs::exists(root / "Data/midi.log")) << name;
  }
}

TEST_F(MidiLogTest, TheProgramsOwnFilesAreNeverALog) {
  const auto before = snapshot(root);
  for (const std::string name :
       {"Data/Tastrel.Ini", "data/TASTREL.INI", "Records/Records_Demo.txt", "Data/Lang_ENG.txt",
        "Notes/Notes_G-C-F.txt", "Data/Keymap.txt", "Records/Practice_Records_Demo.txt",
        "Records/meter_Records_Demo.txt", "Data/Offered.txt", "Records/Lessons_New.txt"}) {
    const std::string said = runWith("LOG:" + name);
    EXPECT_NE(said.find(uiText(UiLanguage::German, Text::LogOwnFile, {name})), std::string::npos)
        << name << ": " << said;
  }
  EXPECT_EQ(snapshot(root), before) << "a file of the program was written";
}

TEST_F(MidiLogTest, ASecondNameOfAnotherFileIsRefused) {
  fs::create_hard_link(root / "Data/Tastrel.Ini", root / "midi.log");
  const std::string settings = readAll(root / "Data/Tastrel.Ini");
  const std::string said = runWith("LOG:midi.log");
  EXPECT_NE(said.find(uiText(UiLanguage::German, Text::WhySecondName)), std::string::npos) << said;
  EXPECT_EQ(readAll(root / "Data/Tastrel.Ini"), settings);
}

TEST_F(MidiLogTest, ALogInAFolderOfItsOwnIsWritten) {
  fs::create_directories(root / "logs");
  const std::string said = runWith("LOG:logs/midi.log");
  EXPECT_EQ(said.find("MIDI"), std::string::npos) << said;
  const std::string log = readAll(root / "logs/midi.log");
  EXPECT_NE(log.find(" OPEN\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find("90\r\n"), std::string::npos) << log;  // the note-on of the button
}

TEST(OwnFileNameTest, TheProgramsNamesInAnyCaseAndNoOthers) {
  for (const char* name : {"Tastrel.Ini", "tastrel.ini", "LANG_BAY.TXT", "Notes_X.txt", "NOTES",
                           "Records_a.txt", "lessons_b.txt", "Practice_Records_a.txt",
                           "Meter_Records_a.txt", "keymap.TXT", "Offered.txt", ".~tastrello-1-2.tmp"})
    EXPECT_TRUE(isOwnFileName(name)) << name;
  for (const char* name : {"midi.log", "Tastrel.Ini.log", "Record.txt", "my_Records_x.txt",
                           "Keymap.txt.bak", "Lang", "Practice.txt"})
    EXPECT_FALSE(isOwnFileName(name)) << name;
}

TEST(OwnFileNameTest, TheFileBesideARecordWithItsBassIsTheProgramsOwn) {
  // A MIDI log named like it would overwrite a record's bass.
  EXPECT_TRUE(isOwnFileName("Hands_Records_Polka.txt"));
  EXPECT_TRUE(isOwnFileName("hands_lessons_b.txt"));
  EXPECT_FALSE(isOwnFileName("Hand.txt"));
}
