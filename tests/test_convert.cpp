// The converter program, run as a user runs it: exit codes, the summary, the refusal to
// overwrite, valid PDF and SVG, and no partial output after a failure.
#include <fcntl.h>
#include <gtest/gtest.h>

#include "exchange/midi_lesson.h"
#include "file_bytes.h"
#include "instrument/instrument_format.h"
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QXmlStreamReader>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
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
  EXPECT_NE(back.out.find("events: 3,"), std::string::npos) << back.out;
}

TEST_F(ConvertTest, AnExportedLessonEndsAfterItsClosingRestForAnyReader) {
  const std::string lesson = std::string(TASTRELLO_DATA) + "/Records/Lessons_2 Alle meine Entchen.txt";
  const auto mid = convert({lesson, (dir / "lesson.mid").string()});
  ASSERT_EQ(mid.exit, 0) << mid.err;
  if (std::system("command -v midicsv >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "midicsv is not installed (scripts/setup installs it)";
  const fs::path text = dir / "lesson.csv";
  ASSERT_EQ(std::system(("midicsv '" + (dir / "lesson.mid").string() + "' '" + text.string() + "'")
                            .c_str()),
            0);
  std::ifstream in(text);
  std::vector<std::string> ends;
  for (std::string line; std::getline(in, line);) {
    if (line.find(", End_track") != std::string::npos)
      ends.push_back(line.substr(line.find(", ") + 2, line.find(", End") - line.find(", ") - 2));
  }
  // 31 events of 480 ticks, the last a silent rest: every track ends after it.
  EXPECT_EQ(ends, std::vector<std::string>(4, "14880"));
  const auto back = convert({(dir / "lesson.mid").string(), (dir / "Records/Records_Back.txt").string()});
  ASSERT_EQ(back.exit, 0) << back.err;
  EXPECT_NE(back.out.find("events: 31,"), std::string::npos) << back.out;
}

TEST_F(ConvertTest, AScoreOfSeveralPartsSaysWhichWasTakenAndThatItHasNoTempoMark) {
  // Four parts of one note each, the third without notes; no tempo mark anywhere.
  std::string score = "<score-partwise><part-list>";
  for (const char* id : {"A", "B", "C", "D"})
    score += std::string("<score-part id=\"") + id + "\"><part-name>" + id + "</part-name></score-part>";
  score += "</part-list>";
  for (const char* id : {"A", "B", "C", "D"}) {
    const std::string body = std::string(id) == "C" ? "<note><rest/><duration>4</duration></note>"
                                                     : "<note><pitch><step>C</step><octave>5</octave>"
                                                       "</pitch><duration>4</duration></note>";
    score += std::string("<part id=\"") + id + "\"><measure><attributes><divisions>1</divisions>"
             "<time><beats>4</beats><beat-type>4</beat-type></time></attributes>" + body +
             "</measure></part>";
  }
  score += "</score-partwise>";
  std::ofstream(dir / "four.musicxml", std::ios::binary) << score;
  const std::string out = (dir / "Records/Records_Four.txt").string();
  const auto run = convert({(dir / "four.musicxml").string(), out});
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.err.find("took Part 1: A (notes: 1); the others: Part 2: B (notes: 1); Part 4: D "
                         "(notes: 1) (another one with --part N)"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.out.find("4/4 in steps of 1/4, no tempo mark, the tempo set in the program is used"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find("tempo 0"), std::string::npos) << run.out;
  // A part asked for is taken without a word.
  const auto second = convert({(dir / "four.musicxml").string(), out, "--part", "2", "--force"});
  ASSERT_EQ(second.exit, 0) << second.err;
  EXPECT_EQ(second.err.find("took"), std::string::npos) << second.err;
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

// ---- Arguments read strictly, and the real reason of a failure shown

namespace {

/// A format 0 MIDI file of one track: each pitch a beat (480 ticks) long, one after the other.
/// `claimed` is the track length the chunk states (0: the true one).
std::string midiOf(const std::vector<int>& pitches, std::uint32_t claimed = 0) {
  std::string track;
  for (int pitch : pitches) {
    track += std::string{'\x00', '\x90', char(pitch), '\x64'};
    track += std::string{'\x83', '\x60', '\x80', char(pitch), '\x00'};
  }
  track += std::string{'\x00', '\xFF', '\x2F', '\x00'};
  const std::uint32_t length = claimed ? claimed : std::uint32_t(track.size());
  std::string bytes = std::string("MThd\0\0\0\x06\0\0\0\x01\x01\xE0", 14) + "MTrk";
  for (int shift : {24, 16, 8, 0}) bytes += char((length >> shift) & 0xFF);
  return bytes + track;
}

}  // namespace

TEST_F(ConvertTest, HelpPrintsTheUsageAndSucceeds) {
  for (const char* option : {"--help", "-h"}) {
    const auto run = convert({option});
    EXPECT_EQ(run.exit, 0) << option;
    EXPECT_NE(run.out.find("usage: tastrello-convert"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("--part N"), std::string::npos) << run.out;
    EXPECT_EQ(run.err.find("tastrello-convert"), std::string::npos) << run.err;
  }
}

TEST_F(ConvertTest, AnOptionAtTheEndSaysWhatIsMissing) {
  std::ofstream(dir / "one.mid", std::ios::binary) << midiOf({60, 64});
  const auto layout = convert({in(), (dir / "x.pdf").string(), "--layout"});
  EXPECT_EQ(layout.exit, 1);
  EXPECT_NE(layout.err.find("--layout needs a note layout"), std::string::npos) << layout.err;
  const auto part = convert({(dir / "one.mid").string(), (dir / "x.txt").string(), "--part"});
  EXPECT_EQ(part.exit, 1);
  EXPECT_NE(part.err.find("--part needs a part's number"), std::string::npos) << part.err;
  EXPECT_FALSE(fs::exists(dir / "x.pdf"));
  EXPECT_FALSE(fs::exists(dir / "x.txt"));
}

TEST_F(ConvertTest, APartNumberMustBeAWholeNumberFromOneAndExist) {
  std::ofstream(dir / "one.mid", std::ios::binary) << midiOf({60, 64});
  const std::string mid = (dir / "one.mid").string(), out = (dir / "one.txt").string();
  for (const char* bad : {"2abc", "4294967298", "0", "-1", "1.0", " 1", "", "+1"}) {
    const auto run = convert({mid, out, "--part", bad});
    EXPECT_EQ(run.exit, 1) << bad;
    EXPECT_NE(run.err.find("--part takes a whole number from 1"), std::string::npos)
        << bad << ": " << run.err;
  }
  // A file of one part has part 1 and no other.
  const auto two = convert({mid, out, "--part", "2"});
  EXPECT_EQ(two.exit, 1);
  EXPECT_NE(two.err.find("has 1 part"), std::string::npos) << two.err;
  EXPECT_FALSE(fs::exists(out));
  const auto one = convert({mid, out, "--part", "1"});
  EXPECT_EQ(one.exit, 0) << one.err;
  EXPECT_NE(one.out.find("events: 2,"), std::string::npos) << one.out;
}

TEST_F(ConvertTest, APartForARecordIsRefusedRatherThanIgnored) {
  const auto run = convert({in(), (dir / "x.pdf").string(), "--part", "1"});
  EXPECT_EQ(run.exit, 1);
  EXPECT_NE(run.err.find("--part chooses a track or channel of a MIDI file"), std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(dir / "x.pdf"));
}

TEST_F(ConvertTest, ALayoutIsFoundByItsTuningsNameAsByItsFileName) {
  const auto pdf = convert({in(), (dir / "t.pdf").string(), "--layout", "A-D-G"});
  EXPECT_EQ(pdf.exit, 0) << pdf.err;
  EXPECT_NE(pdf.out.find("tuning A-D-G"), std::string::npos) << pdf.out;
  std::ofstream(dir / "one.mid", std::ios::binary) << midiOf({62});
  const auto txt =
      convert({(dir / "one.mid").string(), (dir / "one.txt").string(), "--layout", "a-d-g"});
  EXPECT_EQ(txt.exit, 0) << txt.err;
  std::ifstream record(dir / "one.txt", std::ios::binary);
  std::string first;
  std::getline(record, first);
  EXPECT_EQ(first, "Notes_A-D-G.txt\r") << "the record must name the layout's file";
}

TEST_F(ConvertTest, TheRealReasonOfAFailureIsShown) {
  // Far too large: said so, not "no such file".
  for (const char* name : {"big.mid", "Records/Records_Big.txt"}) {
    std::ofstream(dir / name, std::ios::binary) << "x";
    fs::resize_file(dir / name, (16u << 20) + (1u << 20));  // sparse: no disk is used
  }
  const auto big = convert({(dir / "big.mid").string(), (dir / "out.txt").string()});
  EXPECT_EQ(big.exit, 2);
  EXPECT_NE(big.err.find("larger than 16 MB"), std::string::npos) << big.err;
  const auto bigRecord =
      convert({(dir / "Records/Records_Big.txt").string(), (dir / "out.pdf").string()});
  EXPECT_EQ(bigRecord.exit, 2);
  EXPECT_NE(bigRecord.err.find("larger than 16 MB"), std::string::npos) << bigRecord.err;

  // A track cut short whose notes have no button: the reader's warning comes with the refusal.
  std::ofstream(dir / "cut.mid", std::ios::binary) << midiOf({5}, 200);
  const auto cut = convert({(dir / "cut.mid").string(), (dir / "out.txt").string()});
  EXPECT_EQ(cut.exit, 2);
  EXPECT_NE(cut.err.find("200 bytes"), std::string::npos) << cut.err;
  EXPECT_NE(cut.err.find("no note has a button"), std::string::npos) << cut.err;

  // A header without a time unit is not called SMPTE time.
  std::string noTime = midiOf({60});
  noTime[12] = noTime[13] = '\0';
  std::ofstream(dir / "notime.mid", std::ios::binary) << noTime;
  const auto zero = convert({(dir / "notime.mid").string(), (dir / "out.txt").string()});
  EXPECT_EQ(zero.exit, 2);
  EXPECT_NE(zero.err.find("no time unit"), std::string::npos) << zero.err;
  EXPECT_FALSE(fs::exists(dir / "out.txt"));
  EXPECT_FALSE(fs::exists(dir / "out.pdf"));
}

TEST_F(ConvertTest, AMeterLineThatIsNotUsedIsSaidAndTheMeterStillCounts) {
  std::ofstream(dir / "Records/Meter_Records_Tune.txt", std::ios::binary)
      << "METER;beats=3;steps=2;pickup=0\r\nTEMPO;bpm=999\r\n";
  const auto run = convert({in(), (dir / "tune.mid").string()});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.err.find("Meter_Records_Tune.txt: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("TEMPO;bpm=999"), std::string::npos) << run.err;
  EXPECT_NE(run.out.find("3/4 in steps of 1/8"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("tempo 999"), std::string::npos) << run.out;
}

// ---- The output: only a plain file, never through a link, never into a pipe or a device

TEST_F(ConvertTest, TheOutputIsNeverWrittenThroughALinkOrIntoAPipeOrADevice) {
  const fs::path outside = dir / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "victim.txt", std::ios::binary) << "a record of mine";
  fs::create_symlink(outside / "victim.txt", dir / "link.pdf");
  fs::create_symlink(outside / "made.pdf", dir / "dangling.pdf");
  ASSERT_EQ(::mkfifo((dir / "fifo.pdf").c_str(), 0600), 0);
  const bool device = ::mknod((dir / "device.pdf").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;
  std::vector<std::string> outputs{"link.pdf", "dangling.pdf", "fifo.pdf"};
  if (device) outputs.push_back("device.pdf");
  for (const std::string& name : outputs) {
    for (bool force : {false, true}) {
      std::vector<std::string> args{in(), (dir / name).string()};
      if (force) args.push_back("--force");
      const auto run = convert(args);  // would hang on the FIFO if it were opened to write
      EXPECT_EQ(run.exit, 3) << name << (force ? " --force" : "") << ": " << run.out << run.err;
      EXPECT_NE(run.err.find(name), std::string::npos) << run.err;
    }
  }
  std::ifstream victim(outside / "victim.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "a record of mine");
  EXPECT_FALSE(fs::exists(outside / "made.pdf")) << "a file was made outside through the link";
  EXPECT_TRUE(fs::is_symlink(dir / "link.pdf"));
  EXPECT_TRUE(fs::is_fifo(dir / "fifo.pdf"));
  if (device) {
    EXPECT_TRUE(fs::is_character_file(dir / "device.pdf"));
  }
  // MIDI to record takes the same road.
  std::ofstream(dir / "one.mid", std::ios::binary) << midiOf({60});
  fs::create_symlink(outside / "victim.txt", dir / "link.txt");
  EXPECT_EQ(convert({(dir / "one.mid").string(), (dir / "link.txt").string(), "--force"}).exit, 3);
  std::ifstream again(outside / "victim.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(again), {}), "a record of mine");
}

// ---- A record and its meter file: written as one, and finished after a kill

namespace {

std::string readAll(const fs::path& file) {
  return tastrello::testing::fileBytes(file);
}

/// The names in `dir` that the program gives its temporary files and journals.
std::vector<std::string> ownFiles(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.path().filename().string().rfind(".~tastrello-", 0) == 0)
      names.push_back(e.path().filename());
  return names;
}

}  // namespace

class ConvertPairTest : public ConvertTest {
 protected:
  /// Two MIDI files whose records and meters differ: a.mid in 3/4 with eighths at 90 a minute,
  /// b.mid in 4/4 at 120.
  void SetUp() override {
    ConvertTest::SetUp();
    std::ofstream(dir / "Records/Meter_Records_Tune.txt", std::ios::binary)
        << "METER;beats=3;steps=2;pickup=0\r\nTEMPO;bpm=90\r\n";
    std::ofstream(dir / "Records/Records_Two.txt", std::ios::binary)
        << "Notes_G-C-F.txt\r\n10/\r\nd1/\r\n-BREAK PLAY-\r\n50/53/\r\ng1/c2/\r\n*-*\r\n \r\n";
    std::ofstream(dir / "Records/Meter_Records_Two.txt", std::ios::binary)
        << "METER;beats=4;steps=1;pickup=0\r\nTEMPO;bpm=120\r\n";
    ASSERT_EQ(convert({in(), a().string()}).exit, 0);
    ASSERT_EQ(convert({(dir / "Records/Records_Two.txt").string(), b().string()}).exit, 0);
  }
  fs::path a() const { return dir / "a.mid"; }
  fs::path b() const { return dir / "b.mid"; }
  fs::path record() const { return dir / "Records/Records_Out.txt"; }
  fs::path meter() const { return dir / "Records/Meter_Records_Out.txt"; }
  std::string pair() const { return readAll(record()) + "|" + readAll(meter()); }
};

TEST_F(ConvertPairTest, AMeterFileThatCannotBeWrittenLeavesTheRecordAsItWasAndIsNamed) {
  const fs::path outside = dir / "outside";
  fs::create_directories(outside);
  std::ofstream(outside / "victim.txt", std::ios::binary) << "precious";
  for (const std::string what : {"link", "folder", "fifo"}) {
    for (bool old : {false, true}) {
      fs::remove(record());
      if (old) std::ofstream(record(), std::ios::binary) << "the learner's own record";
      if (what == "link") fs::create_symlink(outside / "victim.txt", meter());
      if (what == "folder") fs::create_directory(meter());
      if (what == "fifo") {
        ASSERT_EQ(::mkfifo(meter().c_str(), 0600), 0);
      }
      const auto run = convert({a().string(), record().string(), "--force"});
      EXPECT_EQ(run.exit, 3) << what << ": " << run.out << run.err;
      EXPECT_NE(run.err.find("Meter_Records_Out.txt: "), std::string::npos)
          << what << ": " << run.err;
      EXPECT_EQ(run.err.find(record().string() + ":"), std::string::npos) << run.err;
      if (old) {
        EXPECT_EQ(readAll(record()), "the learner's own record") << what;
      } else {
        EXPECT_FALSE(fs::exists(record())) << what << ": a record without its meter was left";
      }
      EXPECT_TRUE(ownFiles(dir / "Records").empty()) << what;
      fs::remove(meter());
    }
  }
  EXPECT_EQ(readAll(outside / "victim.txt"), "precious");
  // With the way clear, both are written.
  const auto run = convert({a().string(), record().string(), "--force"});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(readAll(meter()).find("METER;beats=3;steps=2"), std::string::npos) << readAll(meter());
}

TEST_F(ConvertPairTest, WhatASaveCutShortLeftWhereTheConverterWritesIsFinished) {
  const fs::path records = dir / "Records";
  // A save killed after the journal was in place and the record renamed: its meter follows.
  std::ofstream(record(), std::ios::binary) << "the record that was renamed";
  std::ofstream(meter(), std::ios::binary) << "METER;beats=4;steps=1;pickup=0\r\n";
  std::ofstream(records / ".~tastrello-999999999-0b.tmp", std::ios::binary)
      << "METER;beats=3;steps=2;pickup=0\r\n";
  std::string journal = "TASTRELLO-JOURNAL-1";
  for (const char* name : {".~tastrello-999999999-0a.tmp", "Records_Out.txt",
                           ".~tastrello-999999999-0b.tmp", "Meter_Records_Out.txt"})
    journal += '\0' + std::string(name);
  std::ofstream(records / ".~tastrello-999999999-0c.journal", std::ios::binary) << journal + '\0';
  // Temporary files of dead writers go; a running writer's stays, and so does a user's file.
  std::ofstream(records / ".~tastrello-999999999-0d.tmp") << "half";
  const std::string live = ".~tastrello-" + std::to_string(::getpid()) + "-0e.tmp";
  std::ofstream(records / live) << "being written";
  std::ofstream(records / "notes.tmp") << "mine";

  const auto run = convert({in(), (records / "tune.pdf").string()});
  EXPECT_EQ(run.exit, 0) << run.err;
  EXPECT_EQ(readAll(record()), "the record that was renamed");
  EXPECT_EQ(readAll(meter()), "METER;beats=3;steps=2;pickup=0\r\n");
  EXPECT_EQ(ownFiles(records), std::vector<std::string>{live});
  EXPECT_TRUE(fs::exists(records / "notes.tmp"));
}

TEST_F(ConvertPairTest, ARecordAndItsMeterMatchAfterTheConverterIsKilledAtAnyMoment) {
  // The pairs each input gives, from runs that were not cut short.
  ASSERT_EQ(convert({b().string(), record().string()}).exit, 0);
  const std::string pairB = pair();
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(convert({a().string(), record().string(), "--force"}).exit, 0);
  const auto runTime = std::chrono::steady_clock::now() - started;
  const std::string pairA = pair();
  ASSERT_NE(readAll(meter()), "");
  ASSERT_NE(pairA, pairB);

  std::mt19937 random(36);
  const int trials = 40;
  int cutShort = 0;
  for (int trial = 0; trial < trials; ++trial) {
    // Half the kills at any moment of the run, half upon the n-th change the save makes in
    // the folder (a file made, written, renamed or removed), wherever that lands.
    const int watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, (dir / "Records").c_str(),
                                  IN_CREATE | IN_CLOSE_WRITE | IN_MOVED_TO | IN_DELETE),
              0);
    const std::string input = (trial % 2 ? a() : b()).string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execl(TASTRELLO_CONVERT, TASTRELLO_CONVERT, input.c_str(), record().c_str(), "--force",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (trial % 4 < 2) {
      const auto span = std::chrono::duration_cast<std::chrono::microseconds>(runTime).count();
      ::usleep(std::uniform_int_distribution<int>(0, int(span * 5 / 4))(random));
    } else {
      const int wanted = 1 + (trial / 4) % 10;
      int seen = 0;
      char events[4096];
      while (seen < wanted) {
        pollfd p{watch, POLLIN, 0};
        if (::poll(&p, 1, 100) == 0 && ::waitpid(child, nullptr, WNOHANG) == child) break;
        for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
          for (ssize_t at = 0; at < n; at += ssize_t(sizeof(inotify_event)) +
                                             reinterpret_cast<inotify_event*>(events + at)->len)
            ++seen;
      }
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(watch);
    cutShort += !ownFiles(dir / "Records").empty();
    // The next run that writes there finishes what the kill left (this one then fails on its
    // input and writes nothing).
    const auto next = convert({(dir / "missing.mid").string(), record().string(), "--force"});
    ASSERT_EQ(next.exit, 2) << next.err;
    const std::string now = pair();
    ASSERT_TRUE(now == pairA || now == pairB)
        << "trial " << trial << ": a record and a meter of two different saves:\n"
        << now;
    ASSERT_EQ(ownFiles(dir / "Records"), std::vector<std::string>{}) << "trial " << trial;
  }
  EXPECT_GT(cutShort, 0) << "no kill landed inside a save";
}

// ---- A tune's left hand: the Wechselbass of its chord symbols written beside the record

namespace {

/// A score in 2/4 of two bars: c2 e2 | d2 h1, quarters, under C and G, or without symbols.
std::string scoreOfTwoBars(bool chordSymbols) {
  const auto note = [](char step, int octave) {
    return std::string("<note><pitch><step>") + step + "</step><octave>" + std::to_string(octave) +
           "</octave></pitch><duration>1</duration><type>quarter</type></note>";
  };
  const auto harmony = [&](char root) {
    return chordSymbols ? std::string("<harmony><root><root-step>") + root +
                              "</root-step></root><kind>major</kind></harmony>"
                        : std::string();
  };
  return "<score-partwise><part-list><score-part id=\"P\"><part-name>M</part-name></score-part>"
         "</part-list><part id=\"P\"><measure><attributes><divisions>1</divisions><time><beats>2"
         "</beats><beat-type>4</beat-type></time></attributes>" +
         harmony('C') + note('C', 5) + note('E', 5) + "</measure><measure>" + harmony('G') +
         note('D', 5) + note('B', 4) + "</measure></part></score-partwise>";
}

/// The bellows of each event of a record file: "push" for a button of the push block (34 and
/// up), "pull" below, "" for a rest.
std::vector<std::string> eventDirections(const std::string& record) {
  std::vector<std::string> out;
  std::istringstream in(record);
  std::string line;
  std::getline(in, line);  // the layout
  while (std::getline(in, line) && line.rfind("*-*", 0) != 0) {
    if (line.rfind("-BREAK", 0) == 0) {
      out.push_back("");
      continue;
    }
    out.push_back(std::stoi(line.substr(0, 2)) >= 34 ? "push" : "pull");
    std::getline(in, line);  // the names
  }
  return out;
}

/// The BASS lines of a hands file, without their line ends.
std::vector<std::string> bassLines(const std::string& hands) {
  std::vector<std::string> lines;
  std::istringstream in(hands);
  for (std::string line; std::getline(in, line);)
    if (line.rfind("BASS;", 0) == 0) lines.push_back(line.substr(0, line.find('\r')));
  return lines;
}

}  // namespace

class ConvertHandsTest : public ConvertTest {
 protected:
  void SetUp() override {
    ConvertTest::SetUp();
    std::ofstream(dir / "chords.musicxml", std::ios::binary) << scoreOfTwoBars(true);
    std::ofstream(dir / "plain.musicxml", std::ios::binary) << scoreOfTwoBars(false);
  }
  fs::path record() const { return dir / "Records/Records_Out.txt"; }
  fs::path hands() const { return dir / "Records/Hands_Records_Out.txt"; }
  std::string chords() const { return (dir / "chords.musicxml").string(); }
  std::string plain() const { return (dir / "plain.musicxml").string(); }
};

TEST_F(ConvertHandsTest, AScoreWithChordSymbolsComesBackAsRecordMeterAndItsBass) {
  const auto run = convert({chords(), record().string()});
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.out.find("bass buttons: 4"), std::string::npos) << run.out;
  const std::string written = readAll(hands());
  EXPECT_NE(written.find("INSTRUMENT;file=Instrument_G-C-F_12-Bass.txt\r\n"), std::string::npos) << written;
  // A bass on each beat (a quarter a step: events 1 to 4), in its event's direction.
  const auto lines = bassLines(written);
  ASSERT_EQ(lines.size(), 4u) << written;
  const std::string recordBytes = readAll(record());
  const auto directions = eventDirections(recordBytes);
  ASSERT_EQ(directions.size(), 4u) << recordBytes;
  for (std::size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].substr(0, lines[i].find(";row=")) + lines[i].substr(lines[i].find(";bellows=")),
              "BASS;event=" + std::to_string(i + 1) + ";bellows=" + directions[i]);
  EXPECT_NE(readAll(dir / "Records/Meter_Records_Out.txt").find("METER;beats=2;"), std::string::npos);
  // The record file is the one the same melody gives without chord symbols.
  ASSERT_EQ(convert({plain(), (dir / "Records/Records_Plain.txt").string()}).exit, 0);
  EXPECT_EQ(recordBytes, readAll(dir / "Records/Records_Plain.txt"));
  EXPECT_FALSE(fs::exists(dir / "Records/Hands_Records_Plain.txt"));
}

TEST_F(ConvertHandsTest, TheInstrumentChosenPlaysTheBassAndOneThatCannotIsSaid) {
  const auto eight = convert({chords(), record().string(), "--instrument", "G-C-F_8-Bass"});
  ASSERT_EQ(eight.exit, 0) << eight.err;
  EXPECT_NE(readAll(hands()).find("INSTRUMENT;file=Instrument_G-C-F_8-Bass.txt"), std::string::npos);
  fs::remove(hands());
  // No such instrument, and one whose treble is another layout: the record without its bass.
  for (const char* name : {"Nowhere", "Instrument_A-D-G_12-Bass.txt"}) {
    const auto run = convert({chords(), record().string(), "--instrument", name, "--force"});
    EXPECT_EQ(run.exit, 0) << name << ": " << run.err;
    EXPECT_NE(run.err.find("the record is written without its bass"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(hands())) << name;
  }
  const auto forRecord = convert({in(), (dir / "x.pdf").string(), "--instrument", "G-C-F_12-Bass"});
  EXPECT_EQ(forRecord.exit, 1);
  EXPECT_FALSE(fs::exists(dir / "x.pdf"));
}

TEST_F(ConvertHandsTest, AnOldBassDoesNotComeBackWithARecordWithoutOne) {
  ASSERT_EQ(convert({chords(), record().string()}).exit, 0);
  ASSERT_FALSE(bassLines(readAll(hands())).empty());
  const auto run = convert({plain(), record().string(), "--force"});
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_TRUE(bassLines(readAll(hands())).empty()) << readAll(hands());
}

TEST_F(ConvertHandsTest, AHandsFileThatCannotBeWrittenLeavesRecordAndMeterAsTheyWere) {
  fs::create_directory(hands());
  const auto run = convert({chords(), record().string()});
  EXPECT_EQ(run.exit, 3) << run.out << run.err;
  EXPECT_NE(run.err.find("Hands_Records_Out.txt: "), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(record()));
  EXPECT_FALSE(fs::exists(dir / "Records/Meter_Records_Out.txt"));
  EXPECT_TRUE(ownFiles(dir / "Records").empty());
}

TEST_F(ConvertHandsTest, AFourRowInstrumentFingersOverAllItsRowsAndKeepsRowFourBeside) {
  // A MIDI file the program wrote of a G-C-F-B record: es (63, on row 4 alone) held two steps
  // where the record file has a silence, then d1 pulled with the bass C.
  using namespace tastrello;
  std::vector<InstrumentProblem> problems;
  const Instrument four = *parseInstrument(
      readAll(fs::path(TASTRELLO_DATA) / "Notes/Instrument_G-C-F-B_16-Bass.txt"), problems);
  const std::vector<std::string> lines{kBreakMute, kBreakPlay, "10/"};
  const RecordHands both{"", {{1, Hand::Treble, {false, 4, 2}}, {3, Hand::Bass, {false, 1, 3}}}};
  std::ofstream(dir / "four.mid", std::ios::binary)
      << exportRecordToMidi(lines, recordNotesOf(four), {4, 1, 0, 120}, {}, both, four);
  const std::string midi = (dir / "four.mid").string();
  const auto run = convert({midi, record().string(), "--instrument", "G-C-F-B_16-Bass"});
  ASSERT_EQ(run.exit, 0) << run.err;
  EXPECT_NE(run.out.find("layout Notes_G-C-F.txt, instrument Instrument_G-C-F-B_16-Bass.txt, "
                         "buttons of rows 4 and 5: 1, bass buttons: 1"),
            std::string::npos)
      << "the layout of its first three rows, when none is given: " << run.out;
  RecordProblem problem;
  const auto written = parseRecord(readAll(record()), problem);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->buttonLines, lines);
  EXPECT_EQ(written->nameLines.back(), "d1/");
  const std::string beside = readAll(hands());
  EXPECT_NE(beside.find("INSTRUMENT;file=Instrument_G-C-F-B_16-Bass.txt\r\n"), std::string::npos);
  EXPECT_NE(beside.find("TREBLE;event=1;row=4;number=2;bellows=pull\r\n"), std::string::npos) << beside;
  ASSERT_EQ(bassLines(beside).size(), 1u) << beside;
  EXPECT_EQ(bassLines(beside)[0].rfind("BASS;event=3;", 0), 0u) << beside;
  // A layout that is not its first three rows: refused, and nothing written.
  const std::string before = readAll(record());
  const auto other = convert({midi, record().string(), "--instrument", "G-C-F-B_16-Bass",
                              "--layout", "A-D-G", "--force"});
  EXPECT_EQ(other.exit, 1);
  EXPECT_NE(other.err.find("its first three rows are not those of Notes_A-D-G.txt"),
            std::string::npos) << other.err;
  EXPECT_EQ(readAll(record()), before);
}

TEST_F(ConvertTest, TheShippedTwoHandLessonsAreWhatTheirScoresBecome) {
  // scripts/lessons makes them so; a lesson edited by hand, or a converter that changed what it
  // makes of a score, shows here.
  const fs::path scores = fs::path(TASTRELLO_DATA) / ".." / "lessons";
  int lessons = 0;
  for (const auto& entry : fs::directory_iterator(scores)) {
    if (entry.path().extension() != ".musicxml") continue;
    ++lessons;
    const std::string name = "Lessons_" + entry.path().stem().string() + ".txt";
    const auto run = convert({entry.path().string(), (dir / "Records" / name).string(), "--layout",
                              "G-C-F", "--instrument", "G-C-F_12-Bass"});
    ASSERT_EQ(run.exit, 0) << run.err;
    for (const std::string& file : {name, "Meter_" + name, "Hands_" + name})
      EXPECT_EQ(readAll(dir / "Records" / file),
                readAll(fs::path(TASTRELLO_DATA) / "Records" / file))
          << file;
  }
  EXPECT_GE(lessons, 4);
}
