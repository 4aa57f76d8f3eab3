// Saves that fail at every system call, and saves killed at random moments: a file is always
// either its old or its new complete content, and a failure is shown.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "platform/disk_files.h"
#include "test_support.h"

using namespace tastrello;
namespace fs = std::filesystem;

namespace {

fs::path freshFolder(const std::string& name) {
  const fs::path dir =
      fs::temp_directory_path() / ("tastrello-" + name + "-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "Data");
  fs::create_directories(dir / "Records");
  return dir;
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

int countFiles(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.is_regular_file();
  return n;
}

enum class Stage { Open, Write, Flush, Close, Rename };

/// Fails one system call with "no space left on device".
class FailingCalls : public FileCalls {
 public:
  explicit FailingCalls(Stage stage) : stage_(stage) {}
  int open(const char* path, int flags, int mode) override {
    return stage_ == Stage::Open ? fail() : FileCalls::open(path, flags, mode);
  }
  ssize_t write(int fd, const void* data, std::size_t size) override {
    return stage_ == Stage::Write ? fail() : FileCalls::write(fd, data, size);
  }
  int fsync(int fd) override { return stage_ == Stage::Flush ? fail() : FileCalls::fsync(fd); }
  int close(int fd) override {
    const int result = FileCalls::close(fd);  // the descriptor is released either way
    return stage_ == Stage::Close ? fail() : result;
  }
  int rename(const char* from, const char* to) override {
    return stage_ == Stage::Rename ? fail() : FileCalls::rename(from, to);
  }

 private:
  int fail() {
    errno = ENOSPC;
    return -1;
  }
  Stage stage_;
};

/// Forks a child that saves over and over (`save(i)` makes the i-th save and says whether it
/// was whole), kills it at a random moment and says whether it had finished its first save.
/// With `waitForFirst` the kill waits until it has (a slow machine or a sanitizer may need
/// longer than the other kills allow).
template <class Save>
bool killWhileSaving(std::mt19937& random, bool waitForFirst, Save save) {
  int done[2];
  if (::pipe(done) != 0) return false;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(done[0]);
    for (unsigned i = 0;; ++i) {
      const bool whole = save(i);
      if (i == 0) (void)!::write(done[1], whole ? "r" : "f", 1);  // replaced, or failed
    }
  }
  ::close(done[1]);
  char byte = 0;
  if (waitForFirst && child > 0) (void)!::read(done[0], &byte, 1);
  ::usleep(std::uniform_int_distribution<int>(0, 4000)(random));
  if (child > 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }
  if (byte == 0 && ::read(done[0], &byte, 1) != 1) byte = 0;
  ::close(done[0]);
  return byte == 'r';
}

}  // namespace

class FailingSaveTest : public ::testing::TestWithParam<Stage> {};

TEST_P(FailingSaveTest, OldFilesSurviveAndTheFailureIsShown) {
  const fs::path dir = freshFolder("failing");
  tastrello::testing::MemoryFiles shipped;
  shipped.loadShippedData();
  for (const auto& [path, bytes] : shipped.files) {
    fs::create_directories((dir / path).parent_path());
    std::ofstream(dir / path, std::ios::binary) << bytes;
  }
  const std::string settings = readAll(dir / "Data/Tastrel.Ini");
  const std::string demo = readAll(dir / "Records/Records_Demo.txt");
  const int records = countFiles(dir / "Records"), data = countFiles(dir / "Data");

  FailingCalls calls(GetParam());
  DiskFiles files(dir, calls);
  tastrello::testing::FakePort port;
  Form1 form({&port, &files, nullptr});
  files.speak([&form] { return uiLanguageOf(form.textsLanguage); });
  form.Form_Load();
  form.NeverShow_Click();
  // Said in the learner's language (German in the shipped settings).
  EXPECT_NE(form.StatusLine.caption.find(form.say(Text::ErrDiskFull)), std::string::npos)
      << form.StatusLine.caption;
  form.Record_Click();
  form.Keys_Click(44);
  form.NextRecord_Click();
  form.SaveName.text = "Demo";
  form.SaveRecord_Click();
  form.SaveRecord_Click();            // the second click replaces the existing file
  EXPECT_TRUE(form.EditBox.visible);  // still recording, nothing lost
  EXPECT_EQ(form.EditBox.items.size(), 1u);
  EXPECT_NE(form.StatusLine.caption.find("Records/Records_Demo.txt"), std::string::npos)
      << form.StatusLine.caption;

  EXPECT_EQ(readAll(dir / "Data/Tastrel.Ini"), settings);
  EXPECT_EQ(readAll(dir / "Records/Records_Demo.txt"), demo);
  EXPECT_EQ(countFiles(dir / "Records"), records);  // no temporary file left behind
  EXPECT_EQ(countFiles(dir / "Data"), data);
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(EveryCall, FailingSaveTest,
                         ::testing::Values(Stage::Open, Stage::Write, Stage::Flush, Stage::Close,
                                           Stage::Rename));

TEST(KilledSaveTest, EveryFileIsWholeAfterAKillAtAnyMoment) {
  const fs::path dir = freshFolder("killed");
  // Two versions of each file, large enough that a kill often lands inside a write.
  const std::string recordA(200000, 'a'), recordB(150000, 'b');
  const std::string settingsA = joinLines({"LANGUAGE:", "Lang_ger.txt", std::string(80000, 'x')});
  const std::string settingsB = joinLines({"LANGUAGE:", "Lang_ENG.txt", std::string(60000, 'y')});
  DiskFiles files(dir);
  ASSERT_EQ(files.replace("Records/Records_K.txt", recordA), "");
  ASSERT_EQ(files.replace("Data/Tastrel.Ini", settingsA), "");

  std::mt19937 random(12345);
  const int trials = 200;
  int replacing = 0;  // trials in which the child finished at least one replacement
  for (int trial = 0; trial < trials; ++trial) {
    // Every fourth kill waits until the child has replaced both files once; all land at any
    // moment.
    replacing += killWhileSaving(random, trial % 4 == 0, [&](unsigned i) {
      const std::string& record = i % 2 ? recordA : recordB;
      const std::string& settings = i % 2 ? settingsA : settingsB;
      return files.replace("Records/Records_K.txt", record).empty() &
             files.replace("Data/Tastrel.Ini", settings).empty();
    });
    const std::string record = readAll(dir / "Records/Records_K.txt");
    const std::string settings = readAll(dir / "Data/Tastrel.Ini");
    ASSERT_TRUE(record == recordA || record == recordB) << "trial " << trial;
    ASSERT_TRUE(settings == settingsA || settings == settingsB) << "trial " << trial;
    // A killed save may leave its temporary file; the record list never shows it.
    const auto names = files.list("Records").value();
    ASSERT_EQ(names, std::vector<std::string>{"Records_K.txt"});
  }
  EXPECT_GE(replacing, trials / 4);  // the child really got to replace the files
  fs::remove_all(dir);
}

TEST(KilledSaveTest, ARecordAndItsMeterAreBothOldOrBothNewAfterAKillAtAnyMoment) {
  const fs::path dir = freshFolder("killed-pair");
  // Two versions of the pair; the records large enough that a kill often lands inside one.
  const std::string recordA(300000, 'a'), recordB(200000, 'b');
  const std::string meterA = formatMeter({3, 2, 1, 90}), meterB = formatMeter({4, 1, 0, 0});
  DiskFiles files(dir);
  auto pair = [](const std::string& record, const std::string& meter) {
    return std::vector<FileChange>{{"Records/Records_K.txt", record},
                                   {"Records/Meter_Records_K.txt", meter}};
  };
  ASSERT_TRUE(files.replaceTogether(pair(recordA, meterA)).ok());

  std::mt19937 random(4711);
  // How often a kill lands inside a change depends on how fast the machine is: the kills go on
  // until enough have cut a change short (a busy machine takes more of them), within a bound.
  const int trials = 200, enoughInterrupted = 20, mostTrials = 1000;
  int replacing = 0, interrupted = 0;
  for (int trial = 0; trial < mostTrials && (trial < trials || interrupted < enoughInterrupted);
       ++trial) {
    replacing += killWhileSaving(random, trial % 4 == 0, [&](unsigned i) {
      return files.replaceTogether(i % 2 ? pair(recordA, meterA) : pair(recordB, meterB)).ok();
    });
    // The next start finishes what the kill cut short.
    interrupted += countFiles(dir / "Records") > 2;
    files.finishInterruptedSaves("Records");
    const std::string record = readAll(dir / "Records/Records_K.txt");
    const std::string meter = readAll(dir / "Records/Meter_Records_K.txt");
    ASSERT_TRUE((record == recordA && meter == meterA) || (record == recordB && meter == meterB))
        << "trial " << trial << ": a record of " << record.size() << " bytes beside the meter "
        << meter;
    ASSERT_EQ(countFiles(dir / "Records"), 2) << "trial " << trial << ": leftovers";
  }
  EXPECT_GE(replacing, trials / 4);           // the child really got to replace the pair
  EXPECT_GE(interrupted, enoughInterrupted);  // and many kills cut a change short
  fs::remove_all(dir);
}
