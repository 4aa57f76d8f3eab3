// The one file writer and the append on a real folder: only a plain file (or nothing) is
// written, never through a link or into a pipe or device; every failure keeps the old file;
// the practice history and the key map of the window object on such files.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "platform/disk_files.h"
#include "test_support.h"

using namespace tastrello;
namespace fs = std::filesystem;

namespace {

class Folder {
 public:
  explicit Folder(const std::string& name) {
    path = fs::temp_directory_path() /
           ("tastrello-" + name + "-" + std::to_string(::getpid()) + "-" + std::to_string(count++));
    fs::remove_all(path);
    fs::create_directories(path);
  }
  ~Folder() { fs::remove_all(path); }
  void write(const fs::path& rel, const std::string& bytes) const {
    fs::create_directories((path / rel).parent_path());
    std::ofstream(path / rel, std::ios::binary) << bytes;
  }
  std::string read(const fs::path& rel) const {
    std::ifstream in(path / rel, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }
  /// Every name in the folder, to see that nothing was left or made.
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  }
  fs::path path;
  static inline int count = 0;
};

/// Writes part of what it is given, then fails with "no space left", as a full disk does.
class FillingCalls : public FileCalls {
 public:
  bool failSync = false;
  ssize_t write(int fd, const void* data, std::size_t size) override {
    if (size > 1 && !wrote_) {
      wrote_ = true;
      return FileCalls::write(fd, data, size / 2);
    }
    if (failSync) return FileCalls::write(fd, data, size);
    errno = ENOSPC;
    return -1;
  }
  int fsync(int fd) override {
    if (!failSync) return FileCalls::fsync(fd);
    errno = EIO;
    return -1;
  }

 private:
  bool wrote_ = false;
};

/// The kinds of things found at an output's path that are no plain file.
struct Planted {
  std::string what;
  WriteResult::Step refusal;
};

/// Plants `what` as `name` in `dir`; false when this system does not let it be made.
bool plant(const Folder& dir, const Folder& elsewhere, const std::string& what,
           const std::string& name) {
  const fs::path at = dir.path / name;
  if (what == "link") fs::create_symlink(elsewhere.path / "victim.txt", at);
  if (what == "dangling link") fs::create_symlink(elsewhere.path / "made.txt", at);
  if (what == "link to a folder") fs::create_directory_symlink(elsewhere.path, at);
  if (what == "folder") fs::create_directory(at);
  if (what == "fifo") return ::mkfifo(at.c_str(), 0600) == 0;
  if (what == "device") return ::mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
  return true;
}

const std::vector<Planted> kPlanted{{"link", WriteResult::Step::Link},
                                    {"dangling link", WriteResult::Step::Link},
                                    {"link to a folder", WriteResult::Step::Link},
                                    {"folder", WriteResult::Step::NotPlain},
                                    {"fifo", WriteResult::Step::NotPlain},
                                    {"device", WriteResult::Step::NotPlain}};

}  // namespace

TEST(FileWriterTest, OnlyAPlainFileOrNothingIsReplacedAndTheRestIsLeftAsItWas) {
  for (const Planted& p : kPlanted) {
    Folder dir("writer"), elsewhere("elsewhere");
    elsewhere.write("victim.txt", "precious");
    if (!plant(dir, elsewhere, p.what, "out.txt")) {
      std::cout << "not tried: this system lets no " << p.what << " be made here\n";
      continue;
    }
    const auto before = dir.names();
    const WriteResult result = writeFileAtomically(dir.path / "out.txt", "new bytes");
    EXPECT_EQ(result.failed, p.refusal) << p.what;
    EXPECT_FALSE(result.text(UiLanguage::English).empty()) << p.what;
    EXPECT_EQ(dir.names(), before) << p.what << ": a file was left or made";
    EXPECT_EQ(elsewhere.names(), std::vector<std::string>{"victim.txt"}) << p.what;
    EXPECT_EQ(elsewhere.read("victim.txt"), "precious") << p.what;
    EXPECT_EQ(checkTarget(dir.path / "out.txt").failed, p.refusal) << p.what;
  }
}

TEST(FileWriterTest, AppendingRefusesLinksPipesDevicesAndSecondNamesAlike) {
  for (const Planted& p : kPlanted) {
    Folder dir("append"), elsewhere("elsewhere");
    elsewhere.write("victim.txt", "precious");
    if (!plant(dir, elsewhere, p.what, "log.txt")) continue;
    EXPECT_EQ(appendToFile(dir.path / "log.txt", "line\r\n").failed, p.refusal) << p.what;
    EXPECT_EQ(elsewhere.read("victim.txt"), "precious") << p.what;
    EXPECT_EQ(elsewhere.names(), std::vector<std::string>{"victim.txt"}) << p.what;
  }
  // A second name of another file: appending would change that file too.
  Folder dir("append");
  dir.write("Data/Tastrel.Ini", "LANGUAGE:\r\nLang_ger.txt\r\n");
  fs::create_hard_link(dir.path / "Data/Tastrel.Ini", dir.path / "other.txt");
  EXPECT_EQ(appendToFile(dir.path / "other.txt", "x\r\n").failed, WriteResult::Step::SecondName);
  EXPECT_EQ(dir.read("Data/Tastrel.Ini"), "LANGUAGE:\r\nLang_ger.txt\r\n");
}

TEST(FileWriterTest, AnAppendThatFailsPartWayLeavesTheFileAsItWas) {
  Folder dir("append");
  const std::string old = "first line\r\nsecond line\r\n";
  for (bool failSync : {false, true}) {
    dir.write("h.txt", old);
    FillingCalls calls;
    calls.failSync = failSync;
    const WriteResult result = appendToFile(dir.path / "h.txt", std::string(5000, 'x'), calls);
    EXPECT_EQ(result.failed, failSync ? WriteResult::Step::Flush : WriteResult::Step::Write);
    EXPECT_EQ(dir.read("h.txt"), old) << "failSync " << failSync;
  }
  FillingCalls full;
  EXPECT_EQ(appendToFile(dir.path / "h.txt", "third\r\n", full).text(UiLanguage::English),
            uiText(UiLanguage::English, Text::WhyWrite,
                   {uiText(UiLanguage::English, Text::ErrDiskFull)}));
  // A file the failed append made is not left behind empty.
  FillingCalls calls;
  EXPECT_FALSE(appendToFile(dir.path / "new.txt", "abcdef", calls).ok());
  EXPECT_FALSE(fs::exists(dir.path / "new.txt"));
}

TEST(FileWriterTest, AppendedBytesStartALineOfTheirOwn) {
  Folder dir("append");
  dir.write("unended.txt", "no line end");
  dir.write("empty.txt", "");
  for (const auto& [name, expected] : std::vector<std::pair<std::string, std::string>>{
           {"unended.txt", "no line end\r\nadded\r\n"},
           {"empty.txt", "added\r\n"},
           {"missing.txt", "added\r\n"}}) {
    EXPECT_TRUE(appendToFile(dir.path / name, "added\r\n").ok()) << name;
    EXPECT_EQ(dir.read(name), expected) << name;
  }
}

TEST(FileWriterTest, AReplacedFileKeepsItsPermissions) {
  Folder dir("writer");
  dir.write("private.txt", "old");
  ::chmod((dir.path / "private.txt").c_str(), 0600);
  ASSERT_TRUE(writeFileAtomically(dir.path / "private.txt", "new").ok());
  struct stat info {};
  ASSERT_EQ(::stat((dir.path / "private.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(dir.read("private.txt"), "new");
}

// ---- A record and its meter replaced as one change

namespace {

/// Fails the system call numbered `failAt` (from 1, of any kind) with "no space left"; counts
/// the calls made.
class FailingNthCall : public FileCalls {
 public:
  explicit FailingNthCall(int failAt) : failAt_(failAt) {}
  int open(const char* path, int flags, int mode) override {
    return due() ? fail() : FileCalls::open(path, flags, mode);
  }
  ssize_t write(int fd, const void* data, std::size_t size) override {
    return due() ? fail() : FileCalls::write(fd, data, size);
  }
  int fsync(int fd) override { return due() ? fail() : FileCalls::fsync(fd); }
  int close(int fd) override {
    const int result = FileCalls::close(fd);  // the descriptor is released either way
    return due() ? fail() : result;
  }
  int rename(const char* from, const char* to) override {
    return due() ? fail() : FileCalls::rename(from, to);
  }
  int calls = 0;

 private:
  bool due() { return ++calls == failAt_; }
  int fail() {
    errno = ENOSPC;
    return -1;
  }
  int failAt_;
};

/// A journal's bytes as the writer puts them: its kind, then names, each ended by a NUL.
std::string journal(const std::vector<std::string>& names) {
  std::string bytes = "TASTRELLO-JOURNAL-1";
  bytes += '\0';
  for (const std::string& name : names) bytes += name + '\0';
  return bytes;
}

/// A record and its meter in one folder, old or new, as the change of both sees them.
struct RecordPair {
  const Folder& dir;
  std::vector<FileReplacement> next() const {
    return {{dir.path / "Records_A.txt", "new record"},
            {dir.path / "Meter_Records_A.txt", "new meter"}};
  }
  void writeOld() const {
    dir.write("Records_A.txt", "old record");
    dir.write("Meter_Records_A.txt", "old meter");
  }
  std::string state() const {
    return dir.read("Records_A.txt") + " + " + dir.read("Meter_Records_A.txt");
  }
  bool leftovers() const {
    for (const auto& name : dir.names())
      if (name.rfind(".~tastrello-", 0) == 0) return true;
    return false;
  }
};

}  // namespace

TEST(FilesTogetherTest, AFailureAtAnyCallLeavesBothOldOrIsCompletedToBothNew) {
  // Each system call of the change failed in turn, in a process of its own that then ends;
  // what it left is finished as the next start finishes it.
  bool everyCallFailed = false;
  for (int failAt = 1; failAt < 100 && !everyCallFailed; ++failAt) {
    Folder dir("together");
    const RecordPair pair{dir};
    pair.writeOld();
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      FailingNthCall calls(failAt);
      const ChangeResult result = replaceFilesTogether(pair.next(), calls);
      const int answer[3] = {result.ok(), int(result.file), calls.calls < failAt};
      (void)!::write(report[1], answer, sizeof answer);
      ::_exit(0);
    }
    ::close(report[1]);
    int answer[3] = {};
    ASSERT_EQ(::read(report[0], answer, sizeof answer), ssize_t(sizeof answer));
    ::close(report[0]);
    ::waitpid(child, nullptr, 0);
    const auto [ok, file, untouched] = answer;
    everyCallFailed = untouched;
    const std::string state = pair.state();
    if (ok) {
      EXPECT_EQ(state, "new record + new meter") << "call " << failAt;
    } else if (state != "old record + old meter") {
      // A rename that failed after another succeeded: the journal completes the change.
      EXPECT_EQ(state, "new record + old meter") << "call " << failAt;
      EXPECT_EQ(file, 1) << "call " << failAt << ": the failure must name the meter";
    }
    finishInterruptedSaves(dir.path);
    const std::string finished = pair.state();
    EXPECT_TRUE(finished == "old record + old meter" || finished == "new record + new meter")
        << "call " << failAt << ": " << finished;
    EXPECT_FALSE(ok && finished != state) << "call " << failAt;
    EXPECT_FALSE(pair.leftovers()) << "call " << failAt;
  }
  EXPECT_TRUE(everyCallFailed) << "the change makes more system calls than were failed";
}

TEST(FilesTogetherTest, AJournalIsFollowedOnlyForTemporaryFilesInItsOwnFolder) {
  Folder dir("together");
  const RecordPair pair{dir};
  pair.writeOld();
  dir.write("elsewhere.txt", "kept");
  // A journal of a writer that died after renaming the record: the meter is renamed now.
  dir.write(".~tastrello-999999999-01.tmp", "new meter");
  dir.write("Records_A.txt", "new record");
  dir.write(".~tastrello-999999999-02.journal",
            journal({".~tastrello-999999999-00.tmp", "Records_A.txt",
                     ".~tastrello-999999999-01.tmp", "Meter_Records_A.txt"}));
  // Journals that name anything but a temporary file of this folder are no journals of
  // this program's: removed, and nothing they name is moved.
  dir.write(".~tastrello-999999999-03.journal", journal({"elsewhere.txt", "Records_A.txt"}));
  dir.write(".~tastrello-999999999-04.tmp", "stray");
  dir.write(".~tastrello-999999999-05.journal",
            journal({".~tastrello-999999999-04.tmp", "../out.txt"}));
  // A running writer's journal and temporary file wait for it.
  const std::string live = ".~tastrello-" + std::to_string(::getpid()) + "-06";
  dir.write(live + ".tmp", "being written");
  dir.write(live + ".journal", journal({live + ".tmp", "Records_A.txt"}));
  finishInterruptedSaves(dir.path);
  EXPECT_EQ(pair.state(), "new record + new meter");
  EXPECT_EQ(dir.read("elsewhere.txt"), "kept");
  EXPECT_FALSE(fs::exists(dir.path.parent_path() / "out.txt"));
  EXPECT_EQ(dir.names(),
            (std::vector<std::string>{live + ".journal", live + ".tmp", "Meter_Records_A.txt",
                                      "Records_A.txt", "elsewhere.txt"}));
}

TEST(DiskFilesReasonTest, ReasonsAreGivenInTheLanguageInForce) {
  Folder dir("reasons");
  DiskFiles files(dir.path);
  UiLanguage language = UiLanguage::German;
  files.speak([&] { return language; });
  EXPECT_EQ(files.replace("Records/Records_A.txt", "x"),
            uiText(UiLanguage::German, Text::ErrNoFolder));
  language = UiLanguage::Spanish;
  fs::create_directories(dir.path / "Data/Keymap.txt");
  EXPECT_EQ(files.readProblem("Data/Keymap.txt"), uiText(UiLanguage::Spanish, Text::WhyFolder));
}

TEST(DiskFilesReasonTest, WhyAFileCannotBeReadIsNamed) {
  Folder dir("reasons"), elsewhere("elsewhere");
  DiskFiles files(dir.path);
  fs::create_directories(dir.path / "Data/folder.txt");
  ::mkfifo((dir.path / "Data/fifo.txt").c_str(), 0600);
  fs::create_symlink(elsewhere.path / "nothing.txt", dir.path / "Data/dangling.txt");
  dir.write("Data/large.txt", "");
  fs::resize_file(dir.path / "Data/large.txt", DiskFiles::kLargestFile + 1);  // sparse
  dir.write("Data/fine.txt", "fine");
  const std::vector<std::pair<std::string, Text>> cases{{"Data/folder.txt", Text::WhyFolder},
                                                        {"Data/fifo.txt", Text::WhyNotPlain},
                                                        {"Data/dangling.txt", Text::WhyDanglingLink}};
  for (const auto& [path, why] : cases) {
    EXPECT_FALSE(files.read(path)) << path;
    EXPECT_EQ(files.readProblem(path), uiText(UiLanguage::English, why)) << path;
  }
  EXPECT_FALSE(files.read("Data/large.txt"));
  EXPECT_EQ(files.readProblem("Data/large.txt"),
            uiText(UiLanguage::English, Text::WhyTooLarge, {"64 MB"}));
  EXPECT_EQ(files.readProblem("Data/fine.txt"), "");
  EXPECT_EQ(files.readProblem("Data/missing.txt"), "");  // missing is no problem of reading
  EXPECT_EQ(files.readProblem("Nowhere/x.txt"), "");
}

// ---- The window object's history and key map on such files

class PracticeOnDiskTest : public ::testing::Test {
 protected:
  Folder dir{"practice"}, elsewhere{"elsewhere"};
  DiskFiles files{dir.path};
  tastrello::testing::FakePort port;
  tastrello::testing::FakeClock clock;
  Form1 form{{&port, &files, nullptr, &clock}};
  const fs::path history = dir.path / "Records/Practice_Records_T.txt";

  void SetUp() override { fs::copy(TASTRELLO_DATA, dir.path, fs::copy_options::recursive); }
  /// Starts the window object and loads a record of two chords, 44 and 47.
  void startAndLoad() {
    form.Form_Load();
    form.Form_Activate();
    std::vector<std::string> lines{"Notes_G-C-F.txt"};
    for (int button : {44, 47})
      lines.insert(lines.end(), {std::to_string(button) + "/", right(form.Keys[button].caption, 3) + "/"});
    lines.insert(lines.end(), {kEndMarker, " "});
    dir.write("Records/Records_T.txt", joinLines(lines));
    form.refreshFileList(form.RecordList);
    const auto& items = form.RecordList.items;
    form.RecordList.selected =
        int(std::find(items.begin(), items.end(), "Records_T.txt") - items.begin());
    form.RecordList_Click();
  }
  void playPass() {
    form.clickToggle(form.Practice);
    form.PlayStop_Click();
    form.Timer1_Timer();
    form.Timer1_Timer();
    for (int button : {44, 47}) {
      form.handKeyDown(form.hands.keyMap.bellows);
      for (const auto& [key, position] : form.hands.keyMap.positions)
        if (position == button % kButtonsPerBlock) form.handKeyDown(key);
      form.releaseHands();
    }
  }
};

TEST_F(PracticeOnDiskTest, AHistoryThatIsALinkIsRefusedAndNeitherItNorItsTargetChanges) {
  elsewhere.write("victim.txt", "precious\r\n");
  fs::create_symlink(elsewhere.path / "victim.txt", history);
  startAndLoad();
  playPass();
  ASSERT_EQ(form.practice.history.passes.size(), 1u) << "the pass was not played";
  EXPECT_TRUE(fs::is_symlink(history)) << "the link was replaced by a copy";
  EXPECT_EQ(elsewhere.read("victim.txt"), "precious\r\n");
  EXPECT_NE(form.StatusLine.caption.find(uiText(UiLanguage::English, Text::WhyIsLink)),
            std::string::npos)
      << form.StatusLine.caption;
}

TEST_F(PracticeOnDiskTest, AHistoryLargerThanAnyFileReadKeepsEveryByteAndGetsThePass) {
  dir.write("Records/Practice_Records_T.txt", "");
  fs::resize_file(history, DiskFiles::kLargestFile + 4096);  // sparse: no disk is used
  startAndLoad();
  playPass();
  const auto size = fs::file_size(history);
  EXPECT_GT(size, DiskFiles::kLargestFile + 4096) << "the history was replaced by the pass";
  std::ifstream in(history, std::ios::binary);
  in.seekg(std::streamoff(DiskFiles::kLargestFile + 4096));
  std::string tail((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(tail.rfind("\r\nPASS;", 0), 0u) << tail;
  EXPECT_EQ(tail.substr(tail.size() - 2), "\r\n");
}

TEST_F(PracticeOnDiskTest, AKeyMapThatIsAFolderOrAPipeIsSaidAsSuch) {
  fs::remove(dir.path / "Data/Keymap.txt");
  fs::create_directory(dir.path / "Data/Keymap.txt");
  startAndLoad();
  EXPECT_NE(form.StatusLine.toolTip.find(form.say(
                Text::MsgKeyMapUnread, {"Data/Keymap.txt", uiText(UiLanguage::English, Text::WhyFolder)})),
            std::string::npos)
      << form.StatusLine.toolTip;
  fs::remove(dir.path / "Data/Keymap.txt");
  ASSERT_EQ(::mkfifo((dir.path / "Data/Keymap.txt").c_str(), 0600), 0);
  form = Form1({&port, &files, nullptr, &clock});
  startAndLoad();  // would hang here if the pipe were read
  EXPECT_NE(form.StatusLine.toolTip.find(uiText(UiLanguage::English, Text::WhyNotPlain)),
            std::string::npos)
      << form.StatusLine.toolTip;
  EXPECT_EQ(form.hands.keyMap, defaultKeyMap());
}

TEST_F(PracticeOnDiskTest, AMeterFileThatIsNoPlainFileOrFarTooLargeIsSaidAsSuch) {
  const fs::path meter = dir.path / "Records/Meter_Records_T.txt";
  const std::string notPlain = uiText(UiLanguage::English, Text::WhyNotPlain);
  struct Case {
    std::string what, why;
  };
  std::vector<Case> cases{{"folder", uiText(UiLanguage::English, Text::WhyFolder)},
                          {"fifo", notPlain},
                          {"link to a device", notPlain},
                          {"101 MB", uiText(UiLanguage::English, Text::WhyTooLarge, {"64 MB"})}};
  for (const Case& c : cases) {
    fs::remove_all(meter);
    if (c.what == "folder") fs::create_directory(meter);
    if (c.what == "fifo") {
      ASSERT_EQ(::mkfifo(meter.c_str(), 0600), 0);
    }
    if (c.what == "link to a device") fs::create_symlink("/dev/zero", meter);
    if (c.what == "101 MB") {
      dir.write("Records/Meter_Records_T.txt", "METER;beats=3;steps=2;pickup=0\r\n");
      fs::resize_file(meter, 101u << 20);  // sparse: no disk is used
    }
    form = Form1({&port, &files, nullptr, &clock});
    startAndLoad();  // would hang on the pipe or the device if either were read
    EXPECT_NE(form.StatusLine.toolTip.find(
                  form.say(Text::MsgMeterRefused, {"Meter_Records_T.txt", c.why})),
              std::string::npos)
        << c.what << ": " << form.StatusLine.toolTip;
    EXPECT_EQ(form.practice.meter, Meter{}) << c.what;
  }
}
