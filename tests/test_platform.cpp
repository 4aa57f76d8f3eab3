#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/disk_files.h"
#include "platform/log_port.h"
#include "platform/midi_input.h"
#include "platform/output_switch.h"
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
  dir.write("Records/.~tastrello-999999999-00aa.tmp", "half");  // no such process
  const std::string live = "Records/.~tastrello-" + std::to_string(::getpid()) + "-11bb.tmp";
  dir.write(live, "writing");
  DiskFiles files(dir.path);
  files.finishInterruptedSaves("Records");
  EXPECT_FALSE(fs::exists(dir.path / "Records/.~tastrello-999999999-00aa.tmp"));
  EXPECT_TRUE(fs::exists(dir.path / live));
  EXPECT_EQ(dir.read("Records/Records_A.txt"), "whole");
}

TEST(DiskFilesTest, NoNameInAFolderStopsTheCleanupOrIsTakenForATemporaryFile) {
  TempFolder dir;
  const std::vector<std::string> names{"Records_Demo.txt.tmp-99999999999999999999",
                                       ".~tastrello-99999999999999999999-1.tmp",
                                       ".~tastrello--5-1.tmp",
                                       ".~tastrello-x-1.tmp",
                                       ".~tastrello-.tmp",
                                       "Records_x.tmp-1",
                                       "Records_y.tmp-999999999"};
  for (const auto& name : names) dir.write("Records/" + name, "user data");
  DiskFiles files(dir.path);
  for (const char* folder : {"Records", "Data", "Notes"}) files.finishInterruptedSaves(folder);
  for (const auto& name : names) EXPECT_TRUE(fs::exists(dir.path / "Records" / name)) << name;
  // A user's file whose name merely looks like an old temporary file is listed.
  const auto listed = files.list("Records").value();
  EXPECT_NE(std::find(listed.begin(), listed.end(), "Records_x.tmp-1"), listed.end());
}

TEST(DiskFilesTest, ReadingRefusesAFifoWithoutBlocking) {
  TempFolder dir;
  fs::create_directories(dir.path / "Data");
  ASSERT_EQ(::mkfifo((dir.path / "Data/Tastrel.Ini").c_str(), 0600), 0);
  DiskFiles files(dir.path);
  EXPECT_FALSE(files.read("Data/Tastrel.Ini"));  // would hang here if it blocked
}

namespace {

/// Plants a link to a victim file under the name of the first temporary file a save creates.
class LinkPlantingCalls : public FileCalls {
 public:
  explicit LinkPlantingCalls(fs::path victim) : victim_(std::move(victim)) {}
  int open(const char* path, int flags, int mode) override {
    if (!planted_) {
      planted_ = true;
      fs::create_symlink(victim_, path);
    }
    return FileCalls::open(path, flags, mode);
  }

 private:
  fs::path victim_;
  bool planted_ = false;
};

}  // namespace

TEST(DiskFilesTest, ALinkPlantedUnderTheTemporaryNameIsNeverFollowed) {
  TempFolder dir, elsewhere;
  elsewhere.write("victim.txt", "precious");
  dir.write("Data/Tastrel.Ini", "old");
  LinkPlantingCalls calls(elsewhere.path / "victim.txt");
  DiskFiles files(dir.path, calls);
  EXPECT_EQ(files.replace("Data/Tastrel.Ini", "new"), "");
  EXPECT_EQ(elsewhere.read("victim.txt"), "precious");
  EXPECT_EQ(dir.read("Data/Tastrel.Ini"), "new");
  EXPECT_FALSE(fs::is_symlink(dir.path / "Data/Tastrel.Ini"));
}

TEST(DiskFilesTest, TemporaryNamesCannotBeForetold) {
  TempFolder dir;
  dir.write("Data/x.txt", "");
  struct Names : FileCalls {
    std::vector<std::string> seen;
    int open(const char* path, int flags, int mode) override {
      seen.push_back(fs::path(path).filename().string());
      return FileCalls::open(path, flags, mode);
    }
  } calls;
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(writeFileAtomically(dir.path / "Data/x.txt", "x", calls).ok());
  ASSERT_EQ(calls.seen.size(), 3u);
  EXPECT_NE(calls.seen[0], calls.seen[1]);
  EXPECT_NE(calls.seen[1], calls.seen[2]);
}

TEST(DiskFilesTest, MissingFolderIsReportedNotCreated) {
  TempFolder dir;
  DiskFiles files(dir.path);
  EXPECT_FALSE(files.replace("Records/Records_A.txt", "x").empty());
  EXPECT_FALSE(fs::exists(dir.path / "Records"));
}

TEST(WorkingFolderTest, SeedingNeverOverwrites) {
  TempFolder shipped, target;
  shipped.write("Data/Tastrel.Ini", "shipped");
  shipped.write("Records/Lessons_A.txt", "lesson");
  target.write("Data/Tastrel.Ini", "mine");
  target.write("Data/Offered.txt", "");
  EXPECT_FALSE(seedUserFolder(shipped.path, target.path));
  EXPECT_EQ(target.read("Data/Tastrel.Ini"), "mine");
  EXPECT_EQ(target.read("Records/Lessons_A.txt"), "lesson");
}

TEST(WorkingFolderTest, WhatTheUserRemovedStaysRemovedAndNewShippedFilesArrive) {
  TempFolder shipped, target;
  shipped.write("Data/Tastrel.Ini", "settings");
  shipped.write("Records/Lessons_A.txt", "lesson");
  ASSERT_FALSE(seedUserFolder(shipped.path, target.path));
  ASSERT_EQ(target.read("Records/Lessons_A.txt"), "lesson");
  fs::remove(target.path / "Records/Lessons_A.txt");
  fs::remove(target.path / "Data/Tastrel.Ini");
  shipped.write("Notes/Notes_A-D-G.txt", "layout");
  EXPECT_FALSE(seedUserFolder(shipped.path, target.path));
  EXPECT_FALSE(fs::exists(target.path / "Records/Lessons_A.txt"));
  EXPECT_FALSE(fs::exists(target.path / "Data/Tastrel.Ini"));
  EXPECT_EQ(target.read("Notes/Notes_A-D-G.txt"), "layout");
}

TEST(WorkingFolderTest, AFolderSeededByTheFirstVersionKeepsItsRemovalsAndGetsWhatIsNew) {
  TempFolder shipped, target;
  shipped.write("Data/Tastrel.Ini", "settings");
  shipped.write("Records/Lessons_1 C-Dur Tonleiter.txt", "lesson");
  shipped.write("Notes/Notes_A-D-G.txt", "a tuning shipped since");
  target.write("Data/Tastrel.Ini", "mine");  // seeded by 1.1; the lesson removed since
  EXPECT_FALSE(seedUserFolder(shipped.path, target.path));
  EXPECT_FALSE(fs::exists(target.path / "Records/Lessons_1 C-Dur Tonleiter.txt"));
  EXPECT_EQ(target.read("Notes/Notes_A-D-G.txt"), "a tuning shipped since");
  EXPECT_EQ(target.read("Data/Tastrel.Ini"), "mine");
  EXPECT_TRUE(fs::exists(target.path / "Data/Offered.txt"));
}

TEST(WorkingFolderTest, ThePortableFolderIsFoundInAnyLetterCase) {
  TempFolder dir;
  EXPECT_FALSE(holdsSettings(dir.path));
  dir.write("DATA/TASTREL.INI", "LANGUAGE:\r\nLang_ger.txt\r\n");
  EXPECT_TRUE(holdsSettings(dir.path));
}

namespace {

class FakeRawOut : public RawMidiOut {
 public:
  std::vector<std::string>* log;
  bool refuse = false;
  bool failSend = false;
  explicit FakeRawOut(std::vector<std::string>* l) : log(l) {}
  std::string openPort(const std::string& name) override {
    if (refuse) return "no such port";
    log->push_back("open " + name);
    return {};
  }
  std::string sendBytes(const std::vector<unsigned char>& bytes) override {
    if (failSend) return "the port went away";
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
  ASSERT_EQ(port.send(h, 0x000015C0, kAtOnce), 0);
  ASSERT_EQ(port.send(h, 0x00633C90, kAtOnce), 0);
  ASSERT_EQ(port.send(h, 0x00634090, kAtOnce), 0);
  ASSERT_EQ(port.close(h, kAtOnce), 0);
  std::uint32_t h2 = 0;
  ASSERT_EQ(port.open(-1, h2), 0);
  ASSERT_EQ(port.close(h2, kAtOnce), 0);
  // The system port stays open across the device reset: nothing sent is dropped by a close.
  EXPECT_EQ(log,
            (std::vector<std::string>{"open Synth", "C0 15", "90 3C 63", "90 40 63", "80 3C 00",
                                      "80 40 00", "B0 78 00", "B0 7B 00", "B0 78 00", "B0 7B 00"}));
  EXPECT_NE(port.send(h, 0x00633C90, kAtOnce), 0);  // the old handle is gone
}

TEST(NoteTrackingPortTest, TheSystemPortClosesWithThePortOrAfterAFailedSend) {
  std::vector<std::string> log;
  auto owned = std::make_unique<FakeRawOut>(&log);
  FakeRawOut* raw = owned.get();
  {
    NoteTrackingPort port(std::move(owned), "Synth");
    std::uint32_t h = 0;
    ASSERT_EQ(port.open(-1, h), 0);
    raw->failSend = true;
    EXPECT_NE(port.send(h, 0x00633C90, kAtOnce), 0);  // unplugged: closed, and opened at the next open
    raw->failSend = false;
    ASSERT_EQ(port.close(h, kAtOnce), 0);
    ASSERT_EQ(port.open(-1, h), 0);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"open Synth", "close", "B0 78 00", "B0 7B 00",
                                           "open Synth", "close"}));
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

TEST(LogPortTest, OnlyAPlainFileInsideTheWorkingFolderIsWritten) {
  TempFolder dir, elsewhere;
  ::mkfifo((dir.path / "fifo.log").c_str(), 0600);
  fs::create_symlink(elsewhere.path / "target.log", dir.path / "link.log");
  for (const std::string& setting :
       {"LOG:" + (elsewhere.path / "abs.log").string(), std::string("LOG:../x.log"),
        std::string("LOG:Data/../../x.log"), std::string("LOG:fifo.log"),
        std::string("LOG:link.log"), std::string("LOG:")}) {
    OutputSwitch outputs(dir.path, {});
    outputs.choose(setting);
    std::uint32_t h = 0;
    const int code = outputs.open(-1, h);  // would hang on the FIFO if it blocked
    EXPECT_NE(code, 0) << setting;
    EXPECT_FALSE(outputs.errorText(code).empty());
  }
  EXPECT_TRUE(fs::is_empty(elsewhere.path));
  EXPECT_FALSE(fs::exists(dir.path.parent_path() / "x.log"));
  OutputSwitch outputs(dir.path, {});
  outputs.choose("LOG:midi.log");
  std::uint32_t h = 0;
  EXPECT_EQ(outputs.open(-1, h), 0);
  EXPECT_TRUE(fs::is_regular_file(dir.path / "midi.log"));
}

TEST(OutputSwitchTest, SaysInTheLearnersLanguageThatTheSynthesizerIsNotStarted) {
  TempFolder dir;
  UiLanguage language = UiLanguage::Bavarian;
  OutputSwitch outputs(dir.path, {});
  outputs.speak([&language] { return language; });
  EXPECT_EQ(outputs.audioReport().problem, "no ned gstart (er startet mitm erschtn Ton)");
  language = UiLanguage::Spanish;
  EXPECT_EQ(outputs.audioReport().problem, "a\xFAn no iniciado (se inicia con la primera nota)");
}

TEST(OutputSwitchTest, ReportsThePortOrLogInForceAndNothingOfTheSynthesizerBehindIt) {
  // What sounds is the port: the synthesizer's latency, state and reasons are not the learner's.
  TempFolder dir;
  OutputSwitch outputs(dir.path, {});
  for (const std::string& setting : {std::string("USB Keys MIDI 1"), std::string("LOG:midi.log")}) {
    outputs.choose(setting);
    const AudioReport told = outputs.audioReport();
    EXPECT_EQ(told.port, setting);
    EXPECT_EQ(told.problem, "") << setting;
    AudioReport port;
    port.port = setting;
    EXPECT_TRUE(told == port) << setting << ": more than the port is told";
  }
  outputs.choose("SYNTH");
  const AudioReport synth = outputs.audioReport();
  EXPECT_EQ(synth.port, "");
  EXPECT_EQ(synth.problem, "not started yet (it starts with the first note)");
}

TEST(NoteTrackingPortTest, ItsOwnReasonsFollowTheLearnersLanguage) {
  std::vector<std::string> log;
  UiLanguage language = UiLanguage::German;
  NoteTrackingPort port(std::make_unique<FakeRawOut>(&log), "Synth",
                        [&language] { return language; });
  const int notOpen = port.send(0, 0x00633C90, kAtOnce);
  ASSERT_NE(notOpen, 0);
  EXPECT_EQ(port.errorText(notOpen), "Der MIDI-Ausgang ist nicht ge\xF6" "ffnet.");
  language = UiLanguage::English;
  EXPECT_EQ(port.errorText(notOpen + 1000), "MIDI port error " + std::to_string(notOpen + 1000) + ".");
}

TEST(LogPortTest, WritesOneLinePerEvent) {
  TempFolder dir;
  LogPort port(dir.path / "midi.log", LogPort::Clock::now());
  std::uint32_t h = 0;
  ASSERT_EQ(port.open(-1, h), 0);
  ASSERT_EQ(port.send(h, 0x000015C0, kAtOnce), 0);
  ASSERT_EQ(port.close(h, kAtOnce), 0);
  EXPECT_NE(port.send(h, 0x000015C0, kAtOnce), 0);
  std::istringstream lines(dir.read("midi.log"));
  std::vector<std::string> events;
  for (std::string ms, event; lines >> ms >> event;) events.push_back(event);
  EXPECT_EQ(events, (std::vector<std::string>{"OPEN", "000015C0", "CLOSE"}));
}
