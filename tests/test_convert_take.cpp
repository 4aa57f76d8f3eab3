// Takes through the converter program, run as a teacher runs it on a pupil's recording: a
// shipped lesson rendered by FluidSynth (right, with the bellows the wrong way on one chord,
// with a chord left out) judged line by line against the lesson, the same take as FLAC and
// Ogg, files that are no sound, and a take written as a record whose buttons, directions and
// rhythm are compared with the lesson's.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "listen_corpus.h"
#include "platform/sound_file.h"
#include "records/meter.h"
#include "records/record_format.h"

namespace fs = std::filesystem;
using namespace tastrello;
using namespace tastrello::testing;

namespace {

struct TakeRun {
  int exit = -1;
  std::string out, err;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TakeRun convert(const std::vector<std::string>& args, const fs::path& dir) {
  std::string command = "'" TASTRELLO_CONVERT "'";
  for (const auto& a : args) command += " '" + a + "'";
  command += " >'" + (dir / "out.log").string() + "' 2>'" + (dir / "err.log").string() + "'";
  TakeRun run;
  const int status = std::system(command.c_str());
  run.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = slurp(dir / "out.log");
  run.err = slurp(dir / "err.log");
  return run;
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const fs::path kScale = fs::path(TASTRELLO_DATA) / "Records" / "Lessons_1 C-Dur Tonleiter.txt";
const fs::path kWaltz = fs::path(TASTRELLO_DATA) / "Records" / "Lessons_3 Walzer Begleitung.txt";

class ConvertTakeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!haveSoundFont(why)) GTEST_SKIP() << why;
    dir = fs::temp_directory_path() / ("tastrello-take-" + std::to_string(::getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  /// The lesson rendered at `bpm` into `name` (its format by the extension).
  fs::path render(const fs::path& lesson, double bpm, const std::string& name,
                  const std::vector<std::pair<int, Played>>& wrong = {}, int leftOut = 0) {
    TakeSound sound;
    sound.sampleRate = 44100;
    sound.reverb = 30;
    sound.trebleDb = -20;
    CorpusTake take = lessonTake(lesson.string(), bpm, sound, wrong);
    if (leftOut > 0) take.chords.erase(take.chords.begin() + (leftOut - 1));
    const fs::path path = dir / name;
    EXPECT_TRUE(writeSoundFile(path.string(), renderCorpusTake(take), sound.sampleRate));
    return path;
  }
  /// The verdict lines (all but the summary), each "number  verdict[  deviation ms]".
  std::vector<std::string> verdicts(const TakeRun& run) {
    auto lines = linesOf(run.out);
    if (!lines.empty()) lines.pop_back();
    return lines;
  }
  fs::path dir;
};

/// The word(s) of a verdict line, without its number and deviation.
std::string verdictOf(const std::string& line) {
  static const std::regex form(R"(^(\d+)  ([a-z ,#0-9']+?)(  [+-]\d+ ms)?$)");
  std::smatch m;
  return std::regex_match(line, m, form) ? m[2].str() : "?" + line;
}

}  // namespace

TEST_F(ConvertTakeTest, ARightTakeIsRightOnEveryChordLineNearItsPlace) {
  const TakeRun run = convert({render(kScale, 100, "take.wav").string(), "--against", kScale.string(), "--tempo", "100"}, dir);
  ASSERT_EQ(run.exit, 0) << run.err;
  const auto lines = verdicts(run);
  RecordProblem problem;
  ASSERT_EQ(lines.size(), parseRecord(slurp(kScale), problem)->buttonLines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].substr(0, lines[i].find(' ')), std::to_string(i + 1));
    const std::string verdict = verdictOf(lines[i]);
    EXPECT_TRUE(verdict == "right" || verdict == "rest") << lines[i];
    std::smatch ms;
    if (std::regex_search(lines[i], ms, std::regex(R"(([+-]\d+) ms)"))) {
      EXPECT_LE(std::abs(std::stoi(ms[1].str())), 60) << lines[i];
    }
  }
  EXPECT_NE(run.out.find("take.wav against Lessons_1 C-Dur Tonleiter.txt"), std::string::npos);
}

TEST_F(ConvertTakeTest, TheBellowsTheWrongWayAndAChordLeftOutAreSaidOnTheirLines) {
  // The C major scale: event 3 (e1 pushed) pulled, event 7 (g1) not played.
  const TakeRun run = convert({render(kScale, 100, "take.wav", {{3, Played::WrongDirection}}, 7).string(),
                           "--against", kScale.string(), "--tempo", "100"}, dir);
  ASSERT_EQ(run.exit, 0) << run.err;
  const auto lines = verdicts(run);
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(verdictOf(lines[0]), "right") << run.out;
  EXPECT_EQ(verdictOf(lines[2]), "wrong direction") << run.out;
  EXPECT_EQ(verdictOf(lines[6]), "missed") << run.out;
  EXPECT_EQ(lines[6].find("ms"), std::string::npos);
  EXPECT_EQ(verdictOf(lines[9]), "right") << run.out;
}

TEST_F(ConvertTakeTest, FlacAndOggTakesAreReadAsWavesAre) {
  // One take written three ways: FLAC is lossless, so it is judged line for line as the WAV;
  // Ogg Vorbis is not (its small coding error can tip a borderline chord): it must read back
  // as the same sound and be judged on every line.
  TakeSound sound;
  sound.sampleRate = 44100;
  sound.reverb = 30;
  const std::vector<float> take = renderCorpusTake(lessonTake(kScale.string(), 120, sound));
  std::vector<TakeRun> runs;
  std::vector<SoundFileContent> read;
  for (const char* name : {"take.wav", "take.flac", "take.ogg"}) {
    ASSERT_TRUE(writeSoundFile((dir / name).string(), take, sound.sampleRate)) << name;
    std::string why;
    const auto content = readSoundFile(dir / name, why);
    ASSERT_TRUE(content) << name << ": " << why;
    EXPECT_EQ(content->sampleRate, 44100);
    read.push_back(*content);
    runs.push_back(convert({(dir / name).string(), "--against", kScale.string(), "--tempo", "120"}, dir));
    ASSERT_EQ(runs.back().exit, 0) << name << ": " << runs.back().err;
  }
  EXPECT_EQ(read[1].samples, read[0].samples);
  // Ogg Vorbis delays the sound by a few hundred samples and codes it with a small error: found
  // where the two agree best, what is left is far below the take.
  const std::vector<float>& wavSound = read[0].samples;
  const std::vector<float>& oggSound = read[2].samples;
  double best = 1e30, power = 0;
  for (float x : wavSound) power += double(x) * x;
  for (std::size_t lag = 0; lag < 2048 && lag < oggSound.size(); lag += 1) {
    double residual = 0;
    for (std::size_t i = 0; i + lag < oggSound.size() && i < wavSound.size(); i += 7)
      residual += std::pow(double(oggSound[i + lag]) - wavSound[i], 2);
    best = std::min(best, residual * 7);
  }
  EXPECT_LT(10 * std::log10(best / power), -15.0);
  const auto wav = verdicts(runs[0]), flac = verdicts(runs[1]), ogg = verdicts(runs[2]);
  ASSERT_EQ(flac.size(), wav.size());
  EXPECT_EQ(ogg.size(), wav.size());
  for (std::size_t i = 0; i < wav.size(); ++i) EXPECT_EQ(verdictOf(flac[i]), verdictOf(wav[i]));
}

TEST_F(ConvertTakeTest, AFileThatIsNoSoundOrNoFileIsRefusedWithItsReason) {
  std::ofstream(dir / "text.wav") << "not a sound at all";
  fs::create_directories(dir / "folder.wav");
  const std::vector<std::pair<fs::path, std::string>> cases{
      {dir / "text.wav", "text.wav: "}, {dir / "missing.wav", "no such file"}, {dir / "folder.wav", "not a plain file"}};
  for (const auto& [path, reason] : cases) {
    const TakeRun run = convert({path.string(), "--against", kScale.string()}, dir);
    EXPECT_EQ(run.exit, 2) << path;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
  }
  const fs::path take = render(kScale, 120, "take.wav");
  const TakeRun noLesson = convert({take.string(), "--against", (dir / "none.txt").string()}, dir);
  EXPECT_EQ(noLesson.exit, 2);
  EXPECT_NE(noLesson.err.find("none.txt: no such file"), std::string::npos) << noLesson.err;
  const TakeRun both = convert({take.string(), (dir / "out.txt").string(), "--against", kScale.string()}, dir);
  EXPECT_EQ(both.exit, 1);
  EXPECT_NE(convert({take.string(), "--against", kScale.string(), "--tempo", "fast"}, dir).err.find("--tempo takes"),
            std::string::npos);
}

TEST_F(ConvertTakeTest, ATakeWrittenAsARecordGivesBackTheLessonsButtonsDirectionsAndRhythm) {
  // The G major scale, right, at 100 beats a minute: one chord a beat.
  const fs::path lesson = fs::path(TASTRELLO_DATA) / "Records" / "Lessons_4 G-Dur Tonleiter.txt";
  const fs::path out = dir / "Records_Heard.txt";
  const TakeRun run = convert({render(lesson, 100, "take.wav").string(), out.string(), "--layout", "G-C-F", "--tempo", "100"}, dir);
  ASSERT_EQ(run.exit, 0) << run.err;
  RecordProblem problem;
  const auto heard = parseRecord(slurp(out), problem);
  const auto expected = parseRecord(slurp(lesson), problem);
  ASSERT_TRUE(heard && expected);
  EXPECT_TRUE(fs::exists(dir / "Meter_Records_Heard.txt"));
  // Each of the lesson's chords at its step: its pitches and its bellows direction as heard.
  const auto heardEvents = timeline(heard->buttonLines), lessonEvents = timeline(expected->buttonLines);
  const ButtonNotes notes = shippedLayout("Notes_G-C-F.txt");
  auto pitchOf = [&](const std::string& line) {
    const auto buttons = buttonsOfLine(line);
    return buttons.size() == 1 ? *notes[std::size_t(buttons[0])] : -1;
  };
  std::string problemText;
  const auto meter = parseMeter(slurp(dir / "Meter_Records_Heard.txt"), problemText);
  ASSERT_TRUE(meter) << problemText;
  int samePitch = 0, sameButton = 0, chords = 0;
  for (const TimedEvent& e : lessonEvents) {
    if (e.rest) continue;
    ++chords;
    const auto at = std::find_if(heardEvents.begin(), heardEvents.end(), [&](const TimedEvent& h) {
      return !h.rest && h.step == e.step * meter->stepsPerBeat;
    });
    if (at == heardEvents.end()) continue;
    const std::string& line = heard->buttonLines[std::size_t(at->event - 1)];
    const std::string& wanted = expected->buttonLines[std::size_t(e.event - 1)];
    if (pitchOf(line) == pitchOf(wanted)) ++samePitch;
    if (buttonsOfLine(line) == buttonsOfLine(wanted)) ++sameButton;
  }
  // Most of the scale comes back on its steps with its notes; which button plays a note that
  // both sides have is the fingering search's choice.
  EXPECT_GE(samePitch, chords * 2 / 3) << samePitch << " of " << chords;
  std::printf("recorded from the take: %d of %d chords on their step with their pitch, %d with the lesson's button\n",
              samePitch, chords, sameButton);
}
