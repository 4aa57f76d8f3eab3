// Tunes made into records: the grid chosen for the notes' onsets and ends, rests from held notes
// and silences, bars and pickups in what is reported, the work bounded by what a record holds,
// and the fingering search's choices where the file says nothing of the bellows.
#include <gtest/gtest.h>

#include <random>

#include "exchange/tune.h"
#include "records/record_format.h"

using namespace tastrello;

namespace {

/// A synthetic keyboard: pull 60@0 62@3 64@6 65@9; push 60@34 62@37 64@40 67@43 60@46.
ButtonNotes smallKeyboard() {
  ButtonNotes notes{};
  for (auto [b, p] : {std::pair{0, 60},
                      {3, 62},
                      {6, 64},
                      {9, 65},
                      {34, 60},
                      {37, 62},
                      {40, 64},
                      {43, 67},
                      {46, 60}})
    notes[std::size_t(b)] = p;
  return notes;
}

/// A tune at 96 ticks a beat from (onset, length, pitch) in beats times 96.
Tune tuneOf(std::initializer_list<std::tuple<long long, long long, int>> notes) {
  Tune tune;
  tune.division = 96;
  for (const auto& [tick, length, pitch] : notes) tune.notes.push_back({tick, length, pitch, -1});
  return tune;
}

std::vector<std::string> linesOf(const ImportResult& result) {
  std::vector<std::string> lines;
  for (const auto& e : result.events) lines.push_back(buttonLineOf(e));
  return lines;
}

std::vector<ImportNote::Kind> kindsOf(const ImportResult& result) {
  std::vector<ImportNote::Kind> kinds;
  for (const auto& n : result.notes) kinds.push_back(n.kind);
  return kinds;
}

bool has(const ImportResult& result, ImportNote::Kind kind) {
  const auto kinds = kindsOf(result);
  return std::find(kinds.begin(), kinds.end(), kind) != kinds.end();
}

const ImportNote& noteOf(const ImportResult& result, ImportNote::Kind kind) {
  for (const auto& n : result.notes)
    if (n.kind == kind) return n;
  static const ImportNote none;
  ADD_FAILURE() << "no note of that kind";
  return none;
}

}  // namespace

TEST(TuneGridTest, QuartersKeepTheQuarterGridAndEighthsOrADottedRhythmAskForAFinerOne) {
  const auto notes = smallKeyboard();
  // Four quarters, held whole.
  const auto quarters =
      importTune(tuneOf({{0, 96, 60}, {96, 96, 62}, {192, 96, 64}, {288, 96, 65}}), notes, {});
  EXPECT_EQ(quarters.meter.stepsPerBeat, 1);
  EXPECT_EQ(quarters.events.size(), 4u);
  EXPECT_EQ(quarters.largestShiftMs, 0);
  // Two eighths and a quarter: eighths; the quarter lasts two steps.
  const auto eighths = importTune(tuneOf({{0, 48, 60}, {48, 48, 62}, {96, 96, 64}}), notes, {});
  EXPECT_EQ(eighths.meter.stepsPerBeat, 2);
  EXPECT_EQ(linesOf(eighths), (std::vector<std::string>{"00/", "03/", "06/", kBreakPlay}));
  // A dotted eighth and a sixteenth: sixteenths.
  const auto dotted = importTune(tuneOf({{0, 72, 60}, {72, 24, 62}, {96, 96, 64}}), notes, {});
  EXPECT_EQ(dotted.meter.stepsPerBeat, 4);
  EXPECT_EQ(linesOf(dotted), (std::vector<std::string>{"00/", kBreakPlay, kBreakPlay, "03/", "06/",
                                                       kBreakPlay, kBreakPlay, kBreakPlay}));
}

TEST(TuneGridTest, PlayedTimingAndNotesLetGoEarlyKeepTheCoarsestGridThatFits) {
  // Quarters played a little early and late, each let go at 80 %, a real quarter rest at the
  // end of the bar: still quarters, the shift reported in milliseconds at 120 per minute.
  const auto result = importTune(tuneOf({{0, 77, 60}, {100, 77, 62}, {190, 77, 64}, {384, 77, 65}}),
                                 smallKeyboard(), {});
  EXPECT_EQ(result.meter.stepsPerBeat, 1);
  EXPECT_EQ(linesOf(result), (std::vector<std::string>{"00/", "03/", "06/", kBreakMute, "09/"}));
  EXPECT_EQ(result.largestShiftMs, 109) << "the rest starts 21 ticks early: 21/96 of 500 ms";
  const ImportNote& grid = noteOf(result, ImportNote::Kind::Grid);
  EXPECT_EQ(grid.count, 1);
  EXPECT_EQ(grid.bar, 1);
  EXPECT_EQ(grid.beat, 4);
}

TEST(TuneGridTest, TheGridTheFileGivesIsTheCoarsestTaken) {
  // Quarters in a file that says its steps are sixteenths (as the export writes them).
  Tune tune = tuneOf({{0, 96, 60}, {96, 96, 62}});
  tune.stepsPerBeatAtLeast = 4;
  const auto result = importTune(tune, smallKeyboard(), {});
  EXPECT_EQ(result.meter.stepsPerBeat, 4);
  EXPECT_EQ(result.events.size(), 8u);
}

TEST(TuneGridTest, HeldNotesRingOnAndSilencesAreSilentRests) {
  // A half note, a quarter rest, a quarter; a silence of three beats inside the next bar.
  const auto result =
      importTune(tuneOf({{0, 192, 60}, {288, 96, 62}, {672, 96, 64}}), smallKeyboard(), {});
  EXPECT_EQ(linesOf(result), (std::vector<std::string>{"00/", kBreakPlay, kBreakMute, "03/",
                                                       kBreakMute, kBreakMute, kBreakMute, "06/"}));
}

TEST(TuneGridTest, SilentBarsBeforeTheFirstNoteAreDroppedAndAShorterSilenceIsKept) {
  // Two silent bars and two beats, then the tune: the bars go, the two beats stay.
  const auto late = importTune(tuneOf({{960, 96, 60}, {1056, 96, 62}}), smallKeyboard(), {});
  EXPECT_EQ(linesOf(late), (std::vector<std::string>{kBreakMute, kBreakMute, "00/", "03/"}));
  EXPECT_EQ(late.meter.pickupSteps, 0);
  // With a pickup of one beat in 3/4: a note on its beat starts the record at once.
  Tune pickup = tuneOf({{0, 96, 60}, {96, 96, 62}, {192, 96, 64}, {288, 96, 65}, {384, 96, 67}});
  pickup.beatsPerBar = 3;
  pickup.pickupTicks = 96;
  const auto result = importTune(pickup, smallKeyboard(), {});
  EXPECT_EQ(result.meter, (Meter{3, 1, 1, 0}));
  EXPECT_EQ(result.events.size(), 5u);
}

TEST(TuneGridTest, ASilentPickupGoesOnlyWithTheSilentBarsAfterIt) {
  // 3/4 with a pickup of one beat whose note (g#) no button has, then a bar of c# (no button
  // either), then the tune: pickup and bar go, and the record has no pickup, as it would come
  // back when exported and imported again. What was left out is said in the file's bars.
  Tune tune = tuneOf({{0, 96, 68}, {96, 288, 61}, {384, 96, 60}, {480, 96, 62}});
  tune.beatsPerBar = 3;
  tune.pickupTicks = 96;
  const auto result = importTune(tune, smallKeyboard(), {});
  EXPECT_EQ(linesOf(result), (std::vector<std::string>{"00/", "03/"}));
  EXPECT_EQ(result.meter, (Meter{3, 1, 0, 0}));
  std::vector<long long> bars;
  for (const auto& n : result.notes)
    if (n.kind == ImportNote::Kind::NoButton) bars.push_back(n.bar);
  EXPECT_EQ(bars, (std::vector<long long>{0, 1}));
  // A note in the middle of the first bar keeps the silent pickup and the silence.
  tune.notes[1] = {192, 96, 64, -1};
  const auto kept = importTune(tune, smallKeyboard(), {});
  EXPECT_EQ(kept.meter.pickupSteps, 1);
  EXPECT_EQ(linesOf(kept),
            (std::vector<std::string>{kBreakMute, kBreakMute, "06/", kBreakMute, "00/", "03/"}));
  // Silent from the pickup's start to the note on bar 1's first beat, exported and read again
  // as a file that begins with a silent pickup: the same.
  Tune read = tuneOf({{96, 96, 60}, {192, 96, 62}});
  read.beatsPerBar = 3;
  read.pickupTicks = 96;
  const auto again = importTune(read, smallKeyboard(), {});
  EXPECT_EQ(linesOf(again), (std::vector<std::string>{kBreakMute, "00/", "03/"}));
  EXPECT_EQ(again.meter.pickupSteps, 1);
}

TEST(TuneGridTest, ReportsGiveBarAndBeatAfterThePickup) {
  // 3/4 with a one-beat pickup; 61 has no button. The pickup's beat is its bar's last.
  Tune tune = tuneOf({{0, 96, 61}, {96, 96, 60}, {192, 96, 62}, {288, 96, 61}, {384, 96, 61}});
  tune.beatsPerBar = 3;
  tune.pickupTicks = 96;
  const auto result = importTune(tune, smallKeyboard(), {});
  std::vector<std::string> said;
  for (const auto& n : result.notes)
    if (n.kind == ImportNote::Kind::NoButton) said.push_back(describe(n, UiLanguage::English));
  EXPECT_EQ(said, (std::vector<std::string>{
                      "pickup, beat 3: c#1 has no button in either direction; left out",
                      "bar 1, beat 3: c#1 has no button in either direction; left out",
                      "bar 2, beat 1: c#1 has no button in either direction; left out"}));
  // Each keeps its beat as silence, so the bars stay where they are.
  EXPECT_EQ(linesOf(result).size(), 3u) << "the silence at the end says nothing";
  EXPECT_EQ(linesOf(result)[0], kBreakMute);
}

TEST(TuneGridTest, NotesWithinTheChordWindowAreOneChordAndOneTickMoreMakesAMerge) {
  // The window is a sixteenth of a beat: 6 ticks at 96 a beat.
  const auto edge =
      importTune(tuneOf({{0, 96, 60}, {6, 90, 64}, {96, 96, 62}}), smallKeyboard(), {});
  EXPECT_EQ(linesOf(edge)[0], "00/06/");
  EXPECT_FALSE(has(edge, ImportNote::Kind::Merged));
  EXPECT_EQ(edge.largestShiftMs, 0) << "a chord starts at its first note";
  const auto beyond =
      importTune(tuneOf({{0, 96, 60}, {7, 89, 64}, {96, 96, 62}}), smallKeyboard(), {});
  EXPECT_EQ(linesOf(beyond)[0], "00/06/") << "on the quarter grid it still falls on beat 1";
  ASSERT_TRUE(has(beyond, ImportNote::Kind::Merged));
  EXPECT_EQ(noteOf(beyond, ImportNote::Kind::Merged).count, 1);
}

TEST(TuneGridTest, ACoarseTimeUnitMakesNoChordOfNotesInARow) {
  // A tick a quarter (or an eighth, or a sixteenth), as scores count time: the window is less
  // than a tick, so only notes that start together are a chord.
  for (int division : {1, 2, 4}) {
    Tune tune;
    tune.division = division;
    for (int i = 0; i < 4; ++i) tune.notes.push_back({i, 1, 60 + 2 * std::min(i, 2), -1});
    tune.notes.push_back({3, 1, 65, -1});  // a chord with the last
    const auto result = importTune(tune, smallKeyboard(), {});
    EXPECT_EQ(linesOf(result), (std::vector<std::string>{"00/", "03/", "06/", "06/09/"}))
        << division << " ticks a beat";
    EXPECT_FALSE(has(result, ImportNote::Kind::Merged)) << division;
  }
}

TEST(TuneGridTest, AGraceNoteAThirtySecondEarlyJoinsItsChordAndOneEarlierIsASixteenth) {
  // A 32nd before a beat lies within an eighth of a beat of it: the quarter grid takes it into
  // the chord on the beat, and says so.
  const auto joined = importTune(tuneOf({{84, 12, 62}, {96, 96, 60}, {180, 12, 62}, {192, 96, 64}}),
                                 smallKeyboard(), {});
  EXPECT_EQ(joined.meter.stepsPerBeat, 1);
  EXPECT_EQ(noteOf(joined, ImportNote::Kind::Merged).count, 2);
  EXPECT_EQ(joined.events.size(), 3u) << "a beat of silence, then two chords";
  // Two ticks earlier no coarser grid places it: it becomes a sixteenth of its own.
  const auto apart = importTune(tuneOf({{82, 14, 62}, {96, 96, 60}, {178, 14, 62}, {192, 96, 64}}),
                                smallKeyboard(), {});
  EXPECT_EQ(apart.meter.stepsPerBeat, 4);
  EXPECT_FALSE(has(apart, ImportNote::Kind::Merged));
  EXPECT_EQ(apart.events.size(), 12u);
}

TEST(TuneWorkTest, AHugeTuneIsCutAtTheRecordAndOnlyWhatIsKeptIsCounted) {
  // 50,000 chords of three notes, a beat each, alternating directions (65 pull only, 67 push
  // only, each with 62 and 64 that both directions have).
  Tune tune;
  tune.division = 96;
  for (long long c = 0; c < 50000; ++c)
    for (int pitch : {62, 64, c % 2 ? 67 : 65}) tune.notes.push_back({c * 96, 96, pitch, -1});
  const auto result = importTune(tune, smallKeyboard(), {});
  EXPECT_EQ(result.events.size(), 200u);
  EXPECT_EQ(result.bellowsChanges, 199) << "the changes among the events kept";
  const ImportNote& full = noteOf(result, ImportNote::Kind::RecordFull);
  EXPECT_EQ(full.count, 200);
  EXPECT_EQ(full.other, 3 * (50000 - 200)) << "the notes left out";
  EXPECT_EQ(full.bar, 51);
  EXPECT_EQ(full.beat, 1);
}

TEST(TuneWorkTest, NotesOutOfOrderAreSortedAndAnEmptyTuneGivesNothing) {
  EXPECT_TRUE(importTune(Tune{}, smallKeyboard(), {}).events.empty());
  const auto result = importTune(tuneOf({{96, 96, 62}, {0, 96, 60}}), smallKeyboard(), {});
  EXPECT_EQ(linesOf(result), (std::vector<std::string>{"00/", "03/"}));
}

TEST(NoteNameTest, NotesAreNamedAsTheLayoutNamesThem) {
  ButtonNotes notes = smallKeyboard();
  std::array<std::string, kKeyCount> captions{};
  captions[0] = " c1";
  captions[3] = "d1 ";
  notes[20] = 51;  // a flat the layout spells "es"
  captions[20] = "es";
  notes[21] = 66;
  captions[21] = "f#";  // sharps carry no octave in the layouts
  EXPECT_EQ(pitchName(60, notes, captions), "c1");
  EXPECT_EQ(pitchName(66, notes, captions), "f#");
  EXPECT_EQ(pitchName(68, notes, captions), "g#1");
  EXPECT_EQ(pitchName(63, notes, captions), "es1") << "spelt as the layout spells the class";
  EXPECT_EQ(pitchName(72, notes, captions), "c2");
  EXPECT_EQ(pitchName(59, notes, captions), "h");
  EXPECT_EQ(pitchName(47, notes, captions), "H");
  EXPECT_EQ(pitchName(70, notes, captions), "b1");
  EXPECT_EQ(pitchName(24, notes, captions), "C1");
}

TEST(NoteNameTest, ANoteIsSaidInTheLanguageInForce) {
  const ImportNote pull{ImportNote::Kind::NoButtonPull, 3, 2, "g#1", 0, 0};
  EXPECT_EQ(describe(pull, UiLanguage::English),
            "bar 3, beat 2: g#1 has no button pulling; left out");
  EXPECT_EQ(describe(pull, UiLanguage::German),
            "Takt 3, Schlag 2: g#1 hat keinen Knopf auf Zug; weggelassen");
  const ImportNote grid{ImportNote::Kind::Grid, 0, 4, {}, 2, 12};
  EXPECT_EQ(describe(grid, UiLanguage::English),
            "grid: eighths, largest shift 12 ms (pickup, beat 4)");
  const ImportNote tempo{ImportNote::Kind::TempoChanges, -1, 0, {}, 3, 96};
  EXPECT_EQ(describe(tempo, UiLanguage::English),
            "the tempo changes 3 times; the first (96 per min) is kept");
}

TEST(NoteNameTest, TimeSignaturesAreBarsOfWholeQuarters) {
  EXPECT_EQ(quarterBeatsPerBar(4, 2), 4);
  EXPECT_EQ(quarterBeatsPerBar(6, 3), 3);
  EXPECT_EQ(quarterBeatsPerBar(12, 3), 6);
  EXPECT_EQ(quarterBeatsPerBar(2, 1), 4);
  EXPECT_EQ(quarterBeatsPerBar(12, 2), 12);
  EXPECT_EQ(quarterBeatsPerBar(7, 3), std::nullopt);
  EXPECT_EQ(quarterBeatsPerBar(3, 4), std::nullopt);
  EXPECT_EQ(quarterBeatsPerBar(13, 2), std::nullopt);
  EXPECT_EQ(quarterBeatsPerBar(0, 2), std::nullopt);
  EXPECT_EQ(quarterBeatsPerBar(4, 9), std::nullopt);
}

TEST(FingeringCostTest, ABellowsTurnFallsAtARestWhereOneIsNear) {
  // 65 only pulls, 67 only pushes: the turn must come somewhere between them. Turning at the
  // rest means a longer reach for 62 on push, which only the rest's cheaper turn repays.
  ButtonNotes notes{};
  for (auto [b, p] : {std::pair{9, 65}, {6, 64}, {3, 62}, {40, 64}, {52, 62}, {43, 67}})
    notes[std::size_t(b)] = p;
  std::vector<MissingPitch> missing;
  const auto events = fingerChords(std::vector<ChordToFinger>{{{65}, {}, {}, false},
                                                              {{64}, {}, {}, false},
                                                              {{}, {}, {}, false},
                                                              {{62}, {}, {}, true},
                                                              {{67}, {}, {}, false}},
                                   notes, missing);
  EXPECT_EQ(events[1].buttons, std::vector<int>{6}) << "still pulling before the rest";
  EXPECT_EQ(events[3].buttons, std::vector<int>{52}) << "pushing from the rest on";
  EXPECT_TRUE(missing.empty());
}

TEST(FingeringCostTest, TheDirectionTheFileGivesIsKeptAndWhatItLacksIsNamedWithIt) {
  // The file pushes 60 and 65 together; 65 has no push button, 61 none at all.
  std::vector<MissingPitch> missing;
  const auto events = fingerChords(
      std::vector<ChordToFinger>{{{60, 65}, {}, true, false}, {{61, 62}, {}, false, false}},
      smallKeyboard(), missing);
  ASSERT_EQ(events[0].buttons.size(), 1u);
  EXPECT_GE(events[0].buttons[0], kButtonsPerBlock) << "pushed although pulling plays both";
  EXPECT_EQ(events[1].buttons, std::vector<int>{3});
  EXPECT_EQ(missing, (std::vector<MissingPitch>{{0, 65, true}, {1, 61, std::nullopt}}));
}

TEST(FingeringCostTest, TheRowTheFileGivesIsTakenWhereItHasThePitch) {
  // 60 pushes on row 1 (34, 46) and row 2 (47); after 67 (43) the hand is nearest 46.
  ButtonNotes notes = smallKeyboard();
  notes[47] = 60;
  std::vector<MissingPitch> missing;
  const auto after67 = [&](int row) {
    return fingerChords(
               std::vector<ChordToFinger>{{{67}, {0}, true, false}, {{60}, {row}, true, false}},
               notes, missing)[1]
        .buttons;
  };
  EXPECT_EQ(after67(-1), std::vector<int>{46});
  EXPECT_EQ(after67(1), std::vector<int>{47}) << "the file's row, not the hand's reach";
  EXPECT_EQ(after67(0), std::vector<int>{46});
  EXPECT_EQ(after67(2), std::vector<int>{46}) << "a row that lacks it is no reason to leave it out";
  EXPECT_TRUE(missing.empty());
}
