#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/disk_files.h"
#include "platform/log_port.h"
#include "platform/rtmidi_port.h"
#include "platform/working_folder.h"

using namespace tastrello;
namespace fs = std::filesystem;

namespace {

class TempFolder {
 public:
  TempFolder() {
    path = fs::temp_directory_path() /
           ("tastrello-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::create_directories(path);
  }
  ~TempFolder() { fs::remove_all(path); }
  void write(const fs::path& rel, const std::string& bytes) {
    fs::create_directories((path / rel).parent_path());
    std::ofstream(path / rel, std::ios::binary) << bytes;
  }
  std::string read(const fs::path& rel) {
    std::ifstream in(path / rel, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  fs::path path;
  static inline int counter = 0;
};

}  // namespace

TEST(DiskFilesTest, NamesMatchWithoutLetterCaseInEveryFolder) {
  TempFolder dir;
  dir.write("Data/LANG_GER.TXT", "hallo");
  DiskFiles files(dir.path);
  EXPECT_EQ(files.read("data/Lang_ger.txt"), "hallo");
  EXPECT_FALSE(files.read("Data/Lang_xx.txt"));
  EXPECT_FALSE(files.read("Nowhere/x.txt"));
  EXPECT_FALSE(files.read("../x"));
}

TEST(DiskFilesTest, ReplaceGoesThroughARenameAndLeavesNoTemporaryFile) {
  TempFolder dir;
  dir.write("Records/records_x.TXT", "old");
  DiskFiles files(dir.path);
  EXPECT_EQ(files.replace("Records/Records_X.txt", "new"), "");
  EXPECT_EQ(dir.read("Records/records_x.TXT"), "new");  // the existing file, in its spelling
  int count = 0;
  for (auto& e : fs::directory_iterator(dir.path / "Records")) count += e.is_regular_file();
  EXPECT_EQ(count, 1);
}

TEST(DiskFilesTest, NamesAreWindows1252InTheLogicAndUtf8OnDisk) {
  TempFolder dir;
  fs::create_directories(dir.path / "Records");
  DiskFiles files(dir.path);
  EXPECT_EQ(files.replace("Records/Records_\xDC"
                          "bung.txt",
                          "x"),
            "");
  EXPECT_TRUE(fs::exists(dir.path / "Records" / "Records_Übung.txt"));
  EXPECT_EQ(files.list("Records"), std::vector<std::string>{"Records_\xDC"
                                                            "bung.txt"});
}

TEST(DiskFilesTest, TemporariesOfCutShortSavesAreRemovedButNotThoseOfALiveWriter) {
  TempFolder dir;
  dir.write("Records/Records_A.txt", "whole");
  dir.write("Records/Records_A.txt.tmp-999999999", "half");  // no such process
  const std::string live = "Records/Records_B.txt.tmp-" + std::to_string(::getpid());
  dir.write(live, "writing");
  DiskFiles files(dir.path);
  files.removeStaleTemporaries("Records");
  EXPECT_FALSE(fs::exists(dir.path / "Records/Records_A.txt.tmp-999999999"));
  EXPECT_TRUE(fs::exists(dir.path / live));
  EXPECT_EQ(dir.read("Records/Records_A.txt"), "whole");
}

TEST(DiskFilesTest, MissingFolderIsReportedNotCreated) {
  TempFolder dir;
  DiskFiles files(dir.path);
  EXPECT_FALSE(files.replace("Records/Records_A.txt", "x").empty());
  EXPECT_FALSE(fs::exists(dir.path / "Records"));
}

TEST(WorkingFolderTest, CopyingShippedDataNeverOverwrites) {
  TempFolder shipped, target;
  shipped.write("Data/Tastrel.Ini", "shipped");
  shipped.write("Records/Lessons_A.txt", "lesson");
  target.write("Data/Tastrel.Ini", "mine");
  EXPECT_EQ(copyMissingFiles(shipped.path, target.path), "");
  EXPECT_EQ(target.read("Data/Tastrel.Ini"), "mine");
  EXPECT_EQ(target.read("Records/Lessons_A.txt"), "lesson");
}

namespace {

class FakeRawOut : public RawMidiOut {
 public:
  std::vector<std::string>* log;
  bool refuse = false;
  explicit FakeRawOut(std::vector<std::string>* l) : log(l) {}
  std::string openPort(const std::string& name) override {
    if (refuse) return "no such port";
    log->push_back("open " + name);
    return {};
  }
  std::string sendBytes(const std::vector<unsigned char>& bytes) override {
    std::string line;
    for (auto b : bytes) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%02X ", b);
      line += hex;
    }
    log->push_back(line.substr(0, line.size() - 1));
    return {};
  }
  void closePort() override { log->push_back("close"); }
};

}  // namespace

TEST(NoteTrackingPortTest, CloseEndsTheNotesStartedSinceTheOpen) {
  std::vector<std::string> log;
  NoteTrackingPort port(std::make_unique<FakeRawOut>(&log), "Synth");
  std::uint32_t h = 0;
  ASSERT_EQ(port.open(-1, h), 0);
  ASSERT_EQ(port.send(h, 0x000015C0), 0);
  ASSERT_EQ(port.send(h, 0x00633C90), 0);
  ASSERT_EQ(port.send(h, 0x00634090), 0);
  ASSERT_EQ(port.close(h), 0);
  std::uint32_t h2 = 0;
  ASSERT_EQ(port.open(-1, h2), 0);
  ASSERT_EQ(port.close(h2), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"open Synth", "C0 15", "90 3C 63", "90 40 63",
                                           "80 3C 00", "80 40 00", "B0 78 00", "B0 7B 00", "close",
                                           "open Synth", "B0 78 00", "B0 7B 00", "close"}));
  EXPECT_NE(port.send(h, 0x00633C90), 0);  // the old handle is gone
}

TEST(NoteTrackingPortTest, ErrorsBecomeCodesWithTheirText) {
  std::vector<std::string> log;
  auto raw = std::make_unique<FakeRawOut>(&log);
  raw->refuse = true;
  NoteTrackingPort port(std::move(raw), "Gone");
  std::uint32_t h = 7;
  const int code = port.open(-1, h);
  EXPECT_NE(code, 0);
  EXPECT_EQ(h, 0u);
  EXPECT_EQ(port.errorText(code), "no such port");
}

TEST(LogPortTest, WritesOneLinePerEvent) {
  TempFolder dir;
  LogPort port(dir.path / "midi.log", LogPort::Clock::now());
  std::uint32_t h = 0;
  ASSERT_EQ(port.open(-1, h), 0);
  ASSERT_EQ(port.send(h, 0x000015C0), 0);
  ASSERT_EQ(port.close(h), 0);
  EXPECT_NE(port.send(h, 0x000015C0), 0);
  std::istringstream lines(dir.read("midi.log"));
  std::vector<std::string> events;
  for (std::string ms, event; lines >> ms >> event;) events.push_back(event);
  EXPECT_EQ(events, (std::vector<std::string>{"OPEN", "000015C0", "CLOSE"}));
}
