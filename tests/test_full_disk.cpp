// The converter and the window object on a small file system filled to the last byte: every
// write fails visibly, keeps the old file and leaves nothing behind; with room again, all
// that waited is written. The file system is a tmpfs the test mounts itself.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "fakes.h"
#include "platform/disk_files.h"

using namespace tastrello;
namespace fs = std::filesystem;

namespace {

struct ConvertRun {
  int exit = -1;
  std::string out, err;
};

ConvertRun convert(const std::vector<std::string>& args) {
  const fs::path log = fs::temp_directory_path() / ("tastrello-full-" + std::to_string(::getpid()));
  std::string command = "'" TASTRELLO_CONVERT "'";
  for (const auto& a : args) command += " '" + a + "'";
  command += " >'" + log.string() + ".out' 2>'" + log.string() + ".err'";
  ConvertRun run;
  const int status = std::system(command.c_str());
  run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto slurp = [](const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream s;
    s << in.rdbuf();
    fs::remove(p);
    return s.str();
  };
  run.out = slurp(log.string() + ".out");
  run.err = slurp(log.string() + ".err");
  return run;
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace

class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = fs::temp_directory_path() / ("tastrello-tmpfs-" + std::to_string(::getpid()));
    fs::create_directories(root);
    if (::mount("tastrello-test", root.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=640k") != 0) {
      const std::string why = std::strerror(errno);
      fs::remove(root);
      GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << why
                   << "): it needs root or CAP_SYS_ADMIN";
    }
    mounted = true;
    fs::copy(TASTRELLO_DATA, root, fs::copy_options::recursive);
  }
  void TearDown() override {
    if (mounted) ::umount2(root.c_str(), MNT_DETACH);
    fs::remove_all(root);
  }
  /// Takes every byte left, in one file of its own.
  void fill() {
    std::ofstream filler(root / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), std::streamsize(block.size())) && filler.flush()) {
    }
    filler.close();
    // A last write of one byte must fail too, or the disk is not full.
    std::ofstream probe(root / "probe", std::ios::binary);
    ASSERT_FALSE(probe.write("x", 1).flush()) << "the file system did not fill up";
    probe.close();
    fs::remove(root / "probe");
  }
  void makeRoom() { fs::remove(root / "filler"); }
  /// Files that a write left behind: none may start as the writer's temporary files do.
  int temporaries() const {
    int n = 0;
    for (const auto& e : fs::recursive_directory_iterator(root))
      n += e.path().filename().string().rfind(".~tastrello-", 0) == 0;
    return n;
  }
  std::string longRecord() const {
    std::string bytes = "Notes_G-C-F.txt\r\n";
    for (int i = 0; i < 200; ++i) bytes += "44/47/\r\nc1/e1/\r\n";
    return bytes + "*-*\r\n \r\n";
  }

  fs::path root;
  bool mounted = false;
};

TEST_F(FullDiskTest, TheConverterFailsVisiblyAndLeavesNoFileAndKeepsTheOldOne) {
  const fs::path record = root / "Records/Records_Long.txt";
  std::ofstream(record, std::ios::binary) << longRecord();
  ASSERT_EQ(convert({record.string(), (root / "tune.mid").string()}).exit, 0);
  const fs::path kept = root / "Records/Records_Kept.txt";
  std::ofstream(kept, std::ios::binary) << longRecord();
  fill();

  for (const char* name : {"out.pdf", "out.svg", "out.mid"}) {
    const ConvertRun run = convert({record.string(), (root / name).string()});
    EXPECT_EQ(run.exit, 3) << name << ": " << run.out << run.err;
    EXPECT_NE(run.err.find("the disk is full"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(root / name)) << name;
  }
  const ConvertRun over = convert({(root / "tune.mid").string(), kept.string(), "--force"});
  EXPECT_EQ(over.exit, 3) << over.out << over.err;
  EXPECT_EQ(readAll(kept), longRecord()) << "the record replaced on a full disk was lost";
  const ConvertRun fresh = convert({(root / "tune.mid").string(), (root / "Records/New.txt").string()});
  EXPECT_EQ(fresh.exit, 3) << fresh.out << fresh.err;
  EXPECT_FALSE(fs::exists(root / "Records/New.txt"));
  EXPECT_EQ(temporaries(), 0);

  makeRoom();
  EXPECT_EQ(convert({record.string(), (root / "out.pdf").string()}).exit, 0);
  EXPECT_EQ(convert({(root / "tune.mid").string(), kept.string(), "--force"}).exit, 0);
}

TEST_F(FullDiskTest, ARecordWhoseMeterFindsTheDiskFullIsNotLeftWithoutItAndTheMeterIsNamed) {
  const fs::path record = root / "Records/Records_Short.txt";
  std::ofstream(record, std::ios::binary)
      << "Notes_G-C-F.txt\r\n44/\r\nc1/\r\n10/\r\nd1/\r\n*-*\r\n \r\n";
  ASSERT_EQ(convert({record.string(), (root / "short.mid").string()}).exit, 0);
  const fs::path kept = root / "Records/Records_Kept.txt";
  std::ofstream(kept, std::ios::binary) << longRecord();
  fill();
  // Room for one page: the record's, and none left for its meter.
  const fs::path filler = root / "filler";
  fs::resize_file(filler, ((fs::file_size(filler) + 4095) / 4096 - 1) * 4096);

  const ConvertRun fresh =
      convert({(root / "short.mid").string(), (root / "Records/Records_New.txt").string()});
  EXPECT_EQ(fresh.exit, 3) << fresh.out << fresh.err;
  EXPECT_NE(fresh.err.find("Records/Meter_Records_New.txt: "), std::string::npos) << fresh.err;
  EXPECT_NE(fresh.err.find("the disk is full"), std::string::npos) << fresh.err;
  EXPECT_FALSE(fs::exists(root / "Records/Records_New.txt")) << "a record without its meter";
  const ConvertRun over = convert({(root / "short.mid").string(), kept.string(), "--force"});
  EXPECT_EQ(over.exit, 3) << over.out << over.err;
  EXPECT_NE(over.err.find("Records/Meter_Records_Kept.txt: "), std::string::npos) << over.err;
  EXPECT_EQ(readAll(kept), longRecord());
  EXPECT_FALSE(fs::exists(root / "Records/Meter_Records_Kept.txt"));
  EXPECT_EQ(temporaries(), 0);

  makeRoom();
  EXPECT_EQ(convert({(root / "short.mid").string(), kept.string(), "--force"}).exit, 0);
  EXPECT_TRUE(fs::exists(root / "Records/Meter_Records_Kept.txt"));
}

TEST_F(FullDiskTest, TheWindowObjectKeepsEveryFileAndThePassUntilThereIsRoomAgain) {
  DiskFiles files(root);
  tastrello::testing::FakePort port;
  tastrello::testing::FakeClock clock;
  Form1 form({&port, &files, nullptr, &clock});
  form.Form_Load();
  form.Form_Activate();
  std::vector<std::string> lines{"Notes_G-C-F.txt"};
  for (int button : {44, 47})
    lines.insert(lines.end(),
                 {std::to_string(button) + "/", right(form.Keys[button].caption, 3) + "/"});
  lines.insert(lines.end(), {kEndMarker, " "});
  ASSERT_EQ(files.replace("Records/Records_T.txt", joinLines(lines)), "");
  form.refreshFileList(form.RecordList);
  const auto& items = form.RecordList.items;
  form.RecordList.selected =
      int(std::find(items.begin(), items.end(), "Records_T.txt") - items.begin());
  form.RecordList_Click();
  const std::string settings = readAll(root / "Data/Tastrel.Ini");
  const std::string demo = readAll(root / "Records/Records_Demo.txt");
  const std::string midi = form.exportMidi().value();
  fill();

  const std::string full = uiText(UiLanguage::English, Text::ErrDiskFull);
  form.NeverShow_Click();
  EXPECT_NE(form.StatusLine.caption.find(full), std::string::npos) << form.StatusLine.caption;
  EXPECT_EQ(readAll(root / "Data/Tastrel.Ini"), settings);

  // The window's MIDI export is written by the view with the same writer.
  const WriteResult exported = writeFileAtomically(root / "tune.mid", midi);
  EXPECT_FALSE(exported.ok());
  EXPECT_NE(exported.text(UiLanguage::English).find(full), std::string::npos);
  EXPECT_FALSE(fs::exists(root / "tune.mid"));

  // A pass played now waits in memory.
  form.clickToggle(form.Practice);
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  auto playPass = [&] {
    for (int button : {44, 47}) {
      form.handKeyDown(form.hands.keyMap.bellows);
      for (const auto& [key, position] : form.hands.keyMap.positions)
        if (position == button % kButtonsPerBlock) form.handKeyDown(key);
      form.releaseHands();
    }
  };
  playPass();
  EXPECT_NE(form.StatusLine.caption.find(full), std::string::npos) << form.StatusLine.caption;
  EXPECT_FALSE(fs::exists(root / "Records/Practice_Records_T.txt"));

  // Saving a record over another keeps the other whole, and the editor keeps the new one.
  form.StopReplay_Click();
  form.Record_Click();
  form.Keys_Click(44);
  form.NextRecord_Click();
  form.SaveName.text = "Demo";
  form.SaveRecord_Click();
  form.SaveRecord_Click();
  EXPECT_TRUE(form.EditBox.visible);
  EXPECT_EQ(readAll(root / "Records/Records_Demo.txt"), demo);
  EXPECT_EQ(temporaries(), 0);
  form.CancelRec_Click();
  form.CancelRec_Click();

  makeRoom();
  form.refreshFileList(form.RecordList);
  form.RecordList.selected =
      int(std::find(items.begin(), items.end(), "Records_T.txt") - items.begin());
  form.RecordList_Click();
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  playPass();
  std::vector<int> damaged;
  const History history = parseHistory(readAll(root / "Records/Practice_Records_T.txt"), damaged);
  EXPECT_EQ(history.passes.size(), 2u) << "the pass played on the full disk was lost";
  EXPECT_TRUE(damaged.empty());
}
