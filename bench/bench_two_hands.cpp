// What fingering a two-hand import costs: a 200-step melody with chords and chord symbols, its
// treble fingered by the search and its bass side given a Wechselbass, on three, four and five
// rows, beside the treble alone in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <set>

#include "exchange/midi_lesson.h"
#include "exchange/wechselbass.h"
#include "fakes.h"
#include "instrument/instrument_format.h"
#include "records/record_hands.h"

using namespace tastrello;

namespace {

constexpr int kSteps = 200;
constexpr long long kEighth = 240;  // ticks, at 480 a quarter

/// A two-hand piece in 4/4 on an eighth grid: each step's pitches (empty: the note before
/// goes on), and a chord symbol on each bar (I IV V I, then V IV I V ... of C).
struct TwoHandPiece {
  std::vector<std::vector<int>> steps;
  std::vector<TuneHarmony> harmonies;
  Meter meter{4, 2, 0, 100};
};

/// The piece over `pitches` (in order of pitch): a melody wandering by up to two of them, a
/// chord of three on each bar's first beat, quarters and pairs of eighths chosen by a fixed
/// generator, so that every run and every instrument fingers the same kind of music.
TwoHandPiece twoHandPiece(const std::vector<int>& pitches) {
  static constexpr int kRoots[8] = {0, 5, 7, 0, 7, 5, 0, 7};
  TwoHandPiece piece;
  const auto last = static_cast<long long>(pitches.size()) - 3;
  long long at = last / 2;
  unsigned seed = 3;
  for (int step = 0; step < kSteps;) {
    const bool barStart = step % piece.meter.stepsPerBar() == 0;
    if (barStart)
      piece.harmonies.push_back({step * kEighth, kRoots[step / piece.meter.stepsPerBar() % 8], false});
    seed = seed * 1103515245u + 12345u;
    at = std::clamp<long long>(at + (seed >> 16) % 5 - 2, 0, last);
    std::vector<int> chord{pitches[std::size_t(at)]};
    if (barStart) chord = {pitches[std::size_t(at)], pitches[std::size_t(at + 1)],
                           pitches[std::size_t(at + 2)]};
    piece.steps.push_back(chord);
    // A quarter (the next step holds it) starts on a beat; an eighth on a beat has another after it.
    if (step % 2 == 0 && (barStart || (seed >> 20) % 2 == 0)) {
      piece.steps.emplace_back();
      step += 2;
    } else {
      ++step;
    }
  }
  piece.steps.resize(kSteps);
  return piece;
}

/// The piece as a tune read from a file: its notes held to the next onset.
Tune tuneOf(const TwoHandPiece& piece) {
  Tune tune;
  tune.beatsPerBar = piece.meter.beatsPerBar;
  tune.stepsPerBeatAtLeast = piece.meter.stepsPerBeat;
  tune.tempo = piece.meter.tempo;
  tune.microsPerQuarter = 60000000LL / piece.meter.tempo;
  tune.harmonies = piece.harmonies;
  for (std::size_t step = 0; step < piece.steps.size(); ++step) {
    if (piece.steps[step].empty()) continue;
    std::size_t next = step + 1;
    while (next < piece.steps.size() && piece.steps[next].empty()) ++next;
    for (int pitch : piece.steps[step])
      tune.notes.push_back({static_cast<long long>(step) * kEighth,
                            static_cast<long long>(next - step) * kEighth, pitch, -1});
  }
  tune.endTick = kSteps * kEighth;
  return tune;
}

Instrument shippedInstrument(const std::string& name) {
  testing::MemoryFiles files;
  files.loadShippedData();
  std::vector<InstrumentProblem> problems;
  Instrument instrument = *parseInstrument(*files.read("Notes/" + name), problems);
  if (!instrument.layout.empty()) {
    std::size_t lines = 0;
    takeTrebleFromLayout(instrument, *parseNoteLayout(*files.read("Notes/" + instrument.layout), lines));
  }
  return instrument;
}

/// Every pitch the instrument's treble sounds, in either direction, in order.
std::vector<int> treblePitches(const Instrument& instrument) {
  std::set<int> pitches;
  for (const TrebleRow& row : instrument.treble)
    for (const TrebleButton& b : row.buttons) pitches.insert({b.push, b.pull});
  return {pitches.begin(), pitches.end()};
}

ButtonNotes gcfKeyboard() {
  testing::MemoryFiles files;
  files.loadShippedData();
  std::size_t lines = 0;
  return buttonNotesOf(*parseNoteLayout(*files.read("Notes/Notes_G-C-F.txt"), lines));
}

const char* instrumentOfRows(int rows) {
  return rows == 3   ? "Instrument_G-C-F_12-Bass.txt"
         : rows == 4 ? "Instrument_G-C-F-B_16-Bass.txt"
                     : "Instrument_G-C-F-B-Es_18-Bass.txt";
}

/// The import as the converter does it on a three-row instrument: the tune on the grid, its
/// treble fingered on the layout, then the Wechselbass of its chord symbols.
void BM_TwoHandImport200Events(benchmark::State& state) {
  const Instrument instrument = shippedInstrument(instrumentOfRows(3));
  const ButtonNotes notes = gcfKeyboard();
  const Tune tune = tuneOf(twoHandPiece(treblePitches(instrument)));
  std::size_t events = 0, basses = 0;
  for (auto _ : state) {
    const ImportResult imported = importTune(tune, notes, {});
    std::vector<std::string> lines;
    for (const ImportedEvent& e : imported.events) lines.push_back(buttonLineOf(e));
    const Accompaniment bass =
        wechselbass(lines, {}, imported.meter, harmoniesOnRecord(tune, imported), instrument);
    events = lines.size();
    basses = bass.bass.size();
  }
  if (events != kSteps) state.SkipWithError("the tune did not become 200 events");
  state.counters["events"] = double(events);
  state.counters["basses"] = double(basses);
}
BENCHMARK(BM_TwoHandImport200Events)->Unit(benchmark::kMillisecond);

// The baseline: the same import of the treble alone.
void BM_TrebleImport200Events(benchmark::State& state) {
  const ButtonNotes notes = gcfKeyboard();
  const Tune tune = tuneOf(twoHandPiece(treblePitches(shippedInstrument(instrumentOfRows(3)))));
  for (auto _ : state) benchmark::DoNotOptimize(importTune(tune, notes, {}));
}
BENCHMARK(BM_TrebleImport200Events)->Unit(benchmark::kMillisecond);

/// The fingering alone on an instrument of `state.range(0)` rows: the search over the 200
/// steps' chords on every row the instrument has, the chords split between record line and
/// hands file, and the Wechselbass on its bass side.
void BM_TwoHandFingering200Events(benchmark::State& state) {
  const Instrument instrument = shippedInstrument(instrumentOfRows(int(state.range(0))));
  const TwoHandPiece piece = twoHandPiece(treblePitches(instrument));
  std::vector<ChordToFinger> chords;
  for (const auto& pitches : piece.steps) chords.push_back({pitches, {}, std::nullopt, false});
  std::vector<RecordHarmony> harmonies;
  for (const TuneHarmony& h : piece.harmonies) harmonies.push_back({h.tick / kEighth, h.root, h.minor});
  std::size_t basses = 0, missing = 0;
  for (auto _ : state) {
    std::vector<MissingPitch> left;
    const auto chosen = fingerChords(chords, instrument, left);
    std::vector<std::string> lines;
    RecordHands beside;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      SplitChord split = splitChord(instrument, chosen[i]);
      lines.push_back(chosen[i].empty() ? std::string(kBreakPlay) : split.buttonLine);
      for (const ButtonAt& at : split.overflow)
        beside.buttons.push_back({int(i + 1), Hand::Treble, at});
    }
    basses = wechselbass(lines, beside, piece.meter, harmonies, instrument).bass.size();
    missing = left.size();
  }
  state.counters["basses"] = double(basses);
  state.counters["missing"] = double(missing);
}
BENCHMARK(BM_TwoHandFingering200Events)->Arg(3)->Arg(4)->Arg(5)->Unit(benchmark::kMillisecond);

}  // namespace
