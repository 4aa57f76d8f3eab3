// The converter program, run as a user runs it: exit codes, the summary, the refusal to
// overwrite, valid PDF and SVG, and no partial output after a failure.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QXmlStreamReader>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct Run {
  int exit = -1;
  std::string out, err;
};

Run convert(const std::vector<std::string>& args) {
  const fs::path dir = fs::temp_directory_path();
  const fs::path out = dir / ("tastrello-convert-out-" + std::to_string(::getpid()));
  const fs::path err = dir / ("tastrello-convert-err-" + std::to_string(::getpid()));
  std::string command = "'" TASTRELLO_CONVERT "'";
  for (const auto& a : args) command += " '" + a + "'";
  command += " >'" + out.string() + "' 2>'" + err.string() + "'";
  Run run;
  const int status = std::system(command.c_str());
  run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  auto slurp = [](const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  run.out = slurp(out);
  run.err = slurp(err);
  fs::remove(out);
  fs::remove(err);
  return run;
}

class ConvertTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("tastrello-convert-" + std::to_string(::getpid()));
    fs::create_directories(dir / "Records");
    fs::create_directories(dir / "Notes");
    fs::copy_file(fs::path(TASTRELLO_DATA) / "Notes/Notes_G-C-F.txt",
                  dir / "Notes/Notes_G-C-F.txt");
    std::ofstream(dir / "Records/Records_Tune.txt", std::ios::binary)
        << "Notes_G-C-F.txt\r\n44/47/\r\nc1/e1/\r\n-BREAK MUTE-\r\n10/\r\nd1/\r\n*-*\r\n \r\n";
  }
  void TearDown() override {
    ::chmod(dir.c_str(), 0755);
    fs::remove_all(dir);
  }
  std::string in() const { return (dir / "Records/Records_Tune.txt").string(); }
  fs::path dir;
};

int pdfPages(const fs::path& pdf) {
  std::ifstream in(pdf, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  const std::string bytes = s.str();
  const std::regex page("/Type\\s*/Page[^s]");
  return static_cast<int>(std::distance(std::sregex_iterator(bytes.begin(), bytes.end(), page),
                                        std::sregex_iterator()));
}

}  // namespace

TEST_F(ConvertTest, ARecordBecomesAPdfAndAnSvgWithASummaryLine) {
  const auto pdf = convert({in(), (dir / "tune.pdf").string()});
  EXPECT_EQ(pdf.exit, 0) << pdf.err;
  EXPECT_NE(pdf.out.find("3 events, 1 page, tuning G-C-F"), std::string::npos) << pdf.out;
  EXPECT_EQ(pdfPages(dir / "tune.pdf"), 1);
  const auto svg = convert({in(), (dir / "tune.svg").string()});
  EXPECT_EQ(svg.exit, 0) << svg.err;
  QFile file(QString::fromStdString((dir / "tune.svg").string()));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QXmlStreamReader xml(&file);
  int elements = 0;
  while (!xml.atEnd())
    if (xml.readNext() == QXmlStreamReader::StartElement) ++elements;
  EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  EXPECT_GT(elements, 20);
}

TEST_F(ConvertTest, ALongRecordGetsSeveralPages) {
  std::ofstream record(dir / "Records/Records_Long.txt", std::ios::binary);
  record << "Notes_G-C-F.txt\r\n";
  // Chords from the lowest button to the highest: tall staves.
  for (int i = 0; i < 200; ++i) record << "00/33/\r\nx/x/\r\n";
  record << "*-*\r\n \r\n";
  record.close();
  const auto run = convert({(dir / "Records/Records_Long.txt").string(), (dir / "l.pdf").string()});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_GT(pdfPages(dir / "l.pdf"), 1);
  EXPECT_NE(run.out.find(std::to_string(pdfPages(dir / "l.pdf")) + " pages"), std::string::npos);
}

TEST_F(ConvertTest, ProblemsExitNonZeroWithAClearMessage) {
  EXPECT_EQ(convert({in()}).exit, 1);
  EXPECT_EQ(convert({in(), (dir / "x.doc").string()}).exit, 1);
  EXPECT_EQ(convert({(dir / "x.mp3").string(), (dir / "x.pdf").string()}).exit, 1);
  const auto missing = convert({(dir / "Records/None.txt").string(), (dir / "x.pdf").string()});
  EXPECT_EQ(missing.exit, 2);
  EXPECT_NE(missing.err.find("no such file"), std::string::npos);
  const auto layout = convert({in(), (dir / "x.pdf").string(), "--layout", "Notes_X-Y-Z.txt"});
  EXPECT_EQ(layout.exit, 2);
  EXPECT_NE(layout.err.find("unknown note layout"), std::string::npos);
  std::ofstream(dir / "Records/Records_Empty.txt") << "";
  EXPECT_EQ(convert({(dir / "Records/Records_Empty.txt").string(), (dir / "x.pdf").string()}).exit,
            2);
  EXPECT_FALSE(fs::exists(dir / "x.pdf"));
}

TEST_F(ConvertTest, AnExistingOutputIsReplacedOnlyWithForce) {
  std::ofstream(dir / "mine.pdf") << "my own file";
  const auto refused = convert({in(), (dir / "mine.pdf").string()});
  EXPECT_EQ(refused.exit, 3);
  EXPECT_NE(refused.err.find("--force"), std::string::npos);
  std::ifstream kept(dir / "mine.pdf");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "my own file");
  EXPECT_EQ(convert({in(), (dir / "mine.pdf").string(), "--force"}).exit, 0);
  EXPECT_EQ(pdfPages(dir / "mine.pdf"), 1);
}

TEST_F(ConvertTest, AFailedWriteLeavesNoFileBehind) {
  if (::geteuid() == 0) {
    // Root writes anywhere; a folder that does not exist fails the same way for everyone.
    const auto run = convert({in(), (dir / "none" / "x.pdf").string()});
    EXPECT_EQ(run.exit, 3);
    EXPECT_FALSE(fs::exists(dir / "none"));
  }
  fs::create_directories(dir / "locked");
  ::chmod((dir / "locked").c_str(), 0500);
  const auto run = convert({in(), (dir / "locked" / "x.pdf").string()});
  ::chmod((dir / "locked").c_str(), 0755);
  if (::geteuid() != 0) {
    EXPECT_EQ(run.exit, 3);
  }
  // Nothing half-written: either the whole file (root may write there) or nothing at all.
  for (const auto& entry : fs::directory_iterator(dir / "locked"))
    EXPECT_EQ(entry.path().filename(), "x.pdf");
  if (fs::exists(dir / "locked" / "x.pdf")) {
    EXPECT_EQ(pdfPages(dir / "locked" / "x.pdf"), 1);
  }
}

TEST_F(ConvertTest, AMidiFileReadByAnIndependentReaderHoldsTheEventsAndComesBackAsARecord) {
  const auto mid = convert({in(), (dir / "tune.mid").string()});
  ASSERT_EQ(mid.exit, 0) << mid.err;
  if (std::system("command -v midicsv >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "midicsv is not installed (scripts/setup installs it)";
  const fs::path text = dir / "tune.csv";
  ASSERT_EQ(std::system(
                ("midicsv '" + (dir / "tune.mid").string() + "' '" + text.string() + "'").c_str()),
            0);
  std::ifstream in(text);
  std::vector<std::string> onsets;  // "time channel note" of each sounding note-on
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    std::stringstream s(line);
    for (std::string part; std::getline(s, part, ',');)
      f.push_back(part.substr(part.find_first_not_of(' ')));
    if (f.size() == 6 && f[2] == "Note_on_c" && f[5] != "0")
      onsets.push_back(f[1] + " " + f[3] + " " + f[4]);
  }
  std::sort(onsets.begin(), onsets.end());
  // c1 e1 on push at beat 0 (rows 3 and 1 of 44 and 47), a rest, d1 on pull at beat 2.
  ASSERT_EQ(onsets.size(), 3u);
  EXPECT_EQ(onsets[0].substr(0, 2), "0 ");
  EXPECT_EQ(onsets[1].substr(0, 2), "0 ");
  EXPECT_EQ(onsets[2].substr(0, 4), "960 ");

  const auto back =
      convert({(dir / "tune.mid").string(), (dir / "Records/Records_Back.txt").string()});
  ASSERT_EQ(back.exit, 0) << back.err;
  std::ifstream record(dir / "Records/Records_Back.txt", std::ios::binary);
  std::ostringstream bytes;
  bytes << record.rdbuf();
  EXPECT_NE(bytes.str().find("-BREAK MUTE-"), std::string::npos) << bytes.str();
  EXPECT_NE(back.out.find("3 events"), std::string::npos) << back.out;
}

TEST_F(ConvertTest, AMidiInputThatIsNoPlainFileOrFarTooLargeIsRefusedWithoutBlocking) {
  const fs::path pipe = dir / "pipe.mid";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const auto fromPipe = convert({pipe.string(), (dir / "out.txt").string()});
  EXPECT_EQ(fromPipe.exit, 2) << fromPipe.err;
  const fs::path big = dir / "big.mid";
  std::ofstream(big, std::ios::binary) << "MThd";
  fs::resize_file(big, (16u << 20) + 1);
  const auto fromBig = convert({big.string(), (dir / "out.txt").string()});
  EXPECT_EQ(fromBig.exit, 2) << fromBig.err;
  EXPECT_FALSE(fs::exists(dir / "out.txt"));
}
