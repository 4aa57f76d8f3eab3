// The shipped two-hand lessons (a record with its meter and its bass beside it): every file
// reads without a problem line, the bass goes with the treble's bellows, the left hand keeps the
// meter's Wechselbass, and the Griffschrift writes its letters.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>

#include "file_bytes.h"
#include "instrument/instrument_format.h"
#include "records/meter.h"
#include "records/record_format.h"
#include "records/record_hands.h"
#include "shipped_layouts.h"
#include "tablature/tab_layout.h"

using namespace tastrello;
using namespace tastrello::testing;
namespace fs = std::filesystem;

namespace {

const fs::path kRecords = fs::path(TASTRELLO_DATA) / "Records";

/// A shipped lesson with everything beside it, as read; what could not be read stays empty.
struct TwoHandLesson {
  std::string name;
  std::optional<RecordContent> record;
  std::optional<Meter> meter;
  std::string meterProblem;
  std::optional<Instrument> instrument;
  HandsRead hands;
};

std::optional<Instrument> shippedInstrument(const std::string& file) {
  std::vector<InstrumentProblem> problems;
  auto instrument = parseInstrument(fileBytes(fs::path(TASTRELLO_DATA) / "Notes" / file), problems);
  if (!instrument || instrument->layout.empty()) return instrument;
  const NoteLayout layout = shippedLayout(tuningName(instrument->layout));
  if (takeTrebleFromLayout(*instrument, layout)) return std::nullopt;
  return instrument;
}

TwoHandLesson readLesson(const std::string& name) {
  TwoHandLesson lesson{name, {}, {}, {}, {}, {}};
  RecordProblem problem;
  lesson.record = parseRecord(fileBytes(kRecords / name), problem);
  lesson.meter = parseMeter(fileBytes(kRecords / meterFileName(name)), lesson.meterProblem);
  const std::string hands = fileBytes(kRecords / handsFileName(name));
  lesson.instrument = shippedInstrument(instrumentNamedIn(hands));
  if (!lesson.record || !lesson.instrument) return lesson;
  const HandsContext context{lesson.record->buttonLines, instrumentNamedIn(hands),
                             trebleRowLengths(*lesson.instrument), bassRowLengths(*lesson.instrument)};
  lesson.hands = readRecordHands(hands, "", context);
  return lesson;
}

/// The shipped lessons that have a hands file beside them.
std::vector<std::string> twoHandLessons() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(kRecords)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("Lessons_", 0) == 0 && fs::exists(kRecords / handsFileName(name)))
      names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

/// The direction each event binds the bellows to: its own chord's, a ringing rest the chord's
/// before it; nothing in a silence (a bass there may turn the bellows).
std::vector<std::optional<bool>> trebleDirections(const std::vector<std::string>& lines) {
  std::vector<std::optional<bool>> out;
  std::optional<bool> ringing;
  for (const std::string& line : lines) {
    if (line == kBreakMute) ringing.reset();
    if (!isRestMarker(line)) ringing = bellowsOf(line) == Bellows::Push;
    out.push_back(ringing);
  }
  return out;
}

/// Whether a bar's beat takes a bass (else a chord): bass-chord in even bars, bass-chord-chord
/// in bars of three.
bool bassOnBeat(int beat, int beatsPerBar) {
  return beatsPerBar % 3 == 0 && beatsPerBar % 2 != 0 ? beat % 3 == 0 : beat % 2 == 0;
}

}  // namespace

class ShippedLessonTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    lesson = readLesson(GetParam());
    ASSERT_TRUE(lesson.record) << "the record does not parse";
    ASSERT_TRUE(lesson.meter) << lesson.meterProblem;
    ASSERT_TRUE(lesson.instrument) << "the instrument its hands file names cannot be read";
  }
  TwoHandLesson lesson;
};

TEST_P(ShippedLessonTest, EveryFileReadsWithoutAProblemLine) {
  EXPECT_EQ(lesson.meterProblem, "");
  EXPECT_GE(lesson.meter->tempo, kSlowestTempo) << "a lesson comes with its tempo";
  for (const HandsProblem& p : lesson.hands.problems)
    ADD_FAILURE() << "line " << p.line << ": fault " << int(p.fault) << " " << p.detail;
  EXPECT_EQ(lesson.instrument->layout, lesson.record->layoutName);
  // A lesson for a learner: 8 to 16 bars.
  const auto steps = static_cast<long long>(lesson.record->buttonLines.size());
  const long long bars = (steps - lesson.meter->pickupSteps + lesson.meter->stepsPerBar() - 1) /
                         lesson.meter->stepsPerBar();
  EXPECT_GE(bars, 8);
  EXPECT_LE(bars, 16);
}

TEST_P(ShippedLessonTest, EveryBassGoesTheWayTheTrebleBindsTheBellows) {
  const auto directions = trebleDirections(lesson.record->buttonLines);
  ASSERT_FALSE(lesson.hands.hands.buttons.empty());
  for (const HandButton& b : lesson.hands.hands.buttons) {
    ASSERT_EQ(b.hand, Hand::Bass);
    ASSERT_LE(std::size_t(b.event), directions.size());
    const auto wanted = directions[std::size_t(b.event - 1)];
    if (wanted) {
      EXPECT_EQ(b.at.push, *wanted) << "event " << b.event;
    }
  }
}

TEST_P(ShippedLessonTest, TheLeftHandKeepsTheMetersWechselbass) {
  const Meter& m = *lesson.meter;
  std::map<int, const HandButton*> byEvent;
  for (const HandButton& b : lesson.hands.hands.buttons)
    EXPECT_TRUE(byEvent.emplace(b.event, &b).second) << "two basses on event " << b.event;
  const auto steps = static_cast<long long>(lesson.record->buttonLines.size());
  for (long long step = m.pickupSteps; step < steps; ++step) {
    const auto found = byEvent.find(int(step + 1));
    if ((step - m.pickupSteps) % m.stepsPerBeat != 0) {
      EXPECT_EQ(found, byEvent.end()) << "a bass between the beats, step " << step;
      continue;
    }
    ASSERT_NE(found, byEvent.end()) << "no bass on the beat at step " << step;
    const ButtonAt& at = found->second->at;
    const BassButton& button =
        lesson.instrument->bass.at(std::size_t(at.row - 1)).buttons.at(std::size_t(at.number - 1));
    const int beat = int((step - m.pickupSteps) % m.stepsPerBar() / m.stepsPerBeat);
    EXPECT_EQ(button.chord(), !bassOnBeat(beat, m.beatsPerBar))
        << "step " << step << ", beat " << beat + 1 << ": " << button.letter;
  }
}

TEST_P(ShippedLessonTest, ItsGriffschriftWritesTheBassLetters) {
  TabDocument document;
  document.title = GetParam();
  document.tuning = tuningName(lesson.record->layoutName);
  document.meter = *lesson.meter;
  document.buttonLines = lesson.record->buttonLines;
  addHands(document, lesson.hands.hands, *lesson.instrument);
  ASSERT_EQ(document.bass.size(), lesson.hands.hands.buttons.size());
  std::size_t letters = 0;
  for (const TabPage& page : layoutTablature(document))
    for (const TabSystem& system : page.systems) letters += system.letters.size();
  EXPECT_EQ(letters, lesson.hands.hands.buttons.size());
}

INSTANTIATE_TEST_SUITE_P(TwoHandLessons, ShippedLessonTest, ::testing::ValuesIn(twoHandLessons()),
                         [](const auto& lesson) {
                           return "Lesson" + lesson.param.substr(8, lesson.param.find(' ') - 8);
                         });

TEST(ShippedLessonsTest, APolkaAWaltzAMarchAndASongHaveTheirBass) {
  const auto names = twoHandLessons();
  for (const char* kind : {"Polka", "Walzer", "Marsch", "Lied"})
    EXPECT_EQ(std::count_if(names.begin(), names.end(),
                            [&](const std::string& n) { return n.find(std::string(" ") + kind + " ") != std::string::npos; }),
              1)
        << kind;
  // The waltz in three, the others in even bars.
  for (const std::string& name : names) {
    const TwoHandLesson lesson = readLesson(name);
    ASSERT_TRUE(lesson.meter) << name;
    EXPECT_EQ(lesson.meter->beatsPerBar % 3 == 0, name.find(" Walzer ") != std::string::npos) << name;
  }
}
