// What a click, a device reset and a record load cost, each beside a baseline in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "exchange/midi_lesson.h"
#include "exchange/musicxml.h"
#include "fakes.h"
#include "platform/fluid_synth_port.h"
#include "platform/markup_reader.h"

using namespace tastrello;

namespace {

/// A port that accepts everything and logs nothing: the logic's own cost.
struct NullPort : testing::FakePort {
  NullPort() { keepLog = false; }
};

std::string layoutFile() {
  std::vector<std::string> lines{"### bench"};
  for (int i = 0; i < 22; ++i) lines.push_back("c1 d1 e1");
  lines.push_back("00 g3");
  lines.push_back("### spare");
  lines.push_back("### spare");
  lines.push_back("### spare");
  for (int i = 0; i < 22; ++i) lines.push_back("60 62 64");
  lines.push_back("00 67");
  lines.push_back("### spare");
  return joinLines(lines);
}

FluidSynthPort::Options silentSynth() {
  FluidSynthPort::Options options;
  options.audioOutput = false;
  return options;
}

void BM_KeyClickLogic(benchmark::State& state) {
  NullPort port;
  testing::MemoryFiles files;
  files.files["Notes/Notes_G-C-F.txt"] = layoutFile();
  Form1 form({&port, &files, nullptr});
  form.Form_Load();
  form.Form_Activate();
  int key = 0;
  for (auto _ : state) {
    form.Keys_Click(key);  // four lit, the fifth releases: every path of a click
    key = (key + 7) % kKeyCount;
  }
}
BENCHMARK(BM_KeyClickLogic);

void BM_DeviceResetBuiltInSynth(benchmark::State& state) {
  FluidSynthPort synth(silentSynth());
  std::uint32_t h = 0;
  synth.open(-1, h);
  for (auto _ : state) {
    synth.send(h, 0x00633C90, kAtOnce);
    synth.close(h, kAtOnce);
    synth.open(-1, h);
  }
  state.counters["buffer_ms"] = synth.bufferMs();
}
BENCHMARK(BM_DeviceResetBuiltInSynth);

// The naive way to silence a synthesizer: a new one with its SoundFont.
void BM_DeviceResetNaiveReopen(benchmark::State& state) {
  for (auto _ : state) {
    FluidSynthPort synth(silentSynth());
    std::uint32_t h = 0;
    synth.open(-1, h);
    benchmark::DoNotOptimize(h);
  }
}
BENCHMARK(BM_DeviceResetNaiveReopen)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Load200EventRecord(benchmark::State& state) {
  NullPort port;
  testing::MemoryFiles files;
  files.files["Notes/Notes_G-C-F.txt"] = layoutFile();
  std::vector<std::string> lines{"Notes_G-C-F.txt"};
  for (int i = 0; i < 200; ++i) {
    lines.push_back("01/05/09/");
    lines.push_back("c1/d1/e1/");
  }
  lines.insert(lines.end(), {"*-*", " "});
  files.files["Records/Records_Big.txt"] = joinLines(lines);
  Form1 form({&port, &files, nullptr});
  form.Form_Load();
  form.Form_Activate();
  for (auto _ : state) {
    form.RecordList.selected = 0;
    form.RecordList_Click();
  }
  if (form.replayEnd != 201)
    state.SkipWithError(("the record did not load: " + form.StatusLine.caption).c_str());
}
BENCHMARK(BM_Load200EventRecord)->Unit(benchmark::kMicrosecond);

ButtonNotes shippedKeyboard() {
  testing::MemoryFiles files;
  files.loadShippedData();
  std::size_t lines = 0;
  return buttonNotesOf(*parseNoteLayout(*files.read("Notes/Notes_G-C-F.txt"), lines));
}

/// A tune of 2,000 notes on the keyboard's pitches: a wandering melody, every fourth beat a
/// chord of three, as a format 1 file at 480 ticks a beat.
std::string twoThousandNotes(const ButtonNotes& notes) {
  std::vector<int> pitches;
  for (const auto& n : notes)
    if (n && std::find(pitches.begin(), pitches.end(), *n) == pitches.end()) pitches.push_back(*n);
  std::sort(pitches.begin(), pitches.end());
  std::vector<MidiEvent> track;
  long long at = static_cast<long long>(pitches.size()) / 2;
  unsigned seed = 1;
  long long tick = 0;
  for (int written = 0; written < 2000; tick += 480) {
    seed = seed * 1103515245u + 12345u;
    at = std::clamp<long long>(at + (seed >> 16) % 5 - 2, 0,
                               static_cast<long long>(pitches.size()) - 3);
    const int size = (tick / 480) % 4 == 0 ? 3 : 1;
    for (int k = 0; k < size && written < 2000; ++k, ++written) {
      const auto pitch = std::uint8_t(pitches[std::size_t(at + k)]);
      track.push_back({tick, {0x90, pitch, 90}});
      track.push_back({tick + 400, {0x80, pitch, 0}});
    }
  }
  return writeMidiFile(480, 500000, "bench", {track});
}

void BM_ImportMidi2000Notes(benchmark::State& state) {
  const ButtonNotes notes = shippedKeyboard();
  const std::string bytes = twoThousandNotes(notes);
  ImportOptions everything;
  everything.maxEvents = 1 << 20;  // the whole piece is fingered, not only what a record holds
  std::size_t events = 0;
  for (auto _ : state) {
    std::string problem;
    const auto file = readMidiFile(bytes, problem);
    events = importMidi(*file, {}, notes, everything).events.size();
  }
  state.counters["events"] = double(events);
}
BENCHMARK(BM_ImportMidi2000Notes)->Unit(benchmark::kMillisecond);

// The baseline: reading the same file, without grouping and fingering.
void BM_ReadMidi2000Notes(benchmark::State& state) {
  const std::string bytes = twoThousandNotes(shippedKeyboard());
  for (auto _ : state) {
    std::string problem;
    benchmark::DoNotOptimize(readMidiFile(bytes, problem));
  }
}
BENCHMARK(BM_ReadMidi2000Notes)->Unit(benchmark::kMillisecond);

/// The same kind of tune as a MusicXML score as notation programs write it: 4/4 in eighths
/// (divisions 2), quarters and eighths, every fourth beat a chord of three, with a second
/// voice in a second staff that the import passes over.
std::string twoThousandNotesScore(const ButtonNotes& notes) {
  static constexpr const char* kStep[12] = {"C", "C", "D", "E", "E", "F",
                                            "F", "G", "G", "A", "B", "B"};
  static constexpr int kAlter[12] = {0, 1, 0, -1, 0, 0, 1, 0, 1, 0, -1, 0};
  std::vector<int> pitches;
  for (const auto& n : notes)
    if (n && std::find(pitches.begin(), pitches.end(), *n) == pitches.end()) pitches.push_back(*n);
  std::sort(pitches.begin(), pitches.end());
  auto note = [&](int pitch, int duration, bool chord, int staff) {
    std::string out = "<note>";
    if (chord) out += "<chord/>";
    out += std::string("<pitch><step>") + kStep[pitch % 12] + "</step>";
    if (kAlter[pitch % 12] != 0) out += "<alter>" + std::to_string(kAlter[pitch % 12]) + "</alter>";
    out += "<octave>" + std::to_string(pitch / 12 - 1) + "</octave></pitch><duration>" +
           std::to_string(duration) + "</duration><voice>" + std::to_string(staff) +
           "</voice><type>" + (duration == 1 ? "eighth" : "quarter") + "</type><staff>" +
           std::to_string(staff) + "</staff></note>\n";
    return out;
  };
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\">"
      "<part-list><score-part id=\"P1\"><part-name>Melody</part-name></score-part>"
      "</part-list>\n<part id=\"P1\">\n";
  long long at = static_cast<long long>(pitches.size()) / 2;
  unsigned seed = 1;
  int written = 0, measure = 0;
  while (written < 2000) {
    out += "<measure number=\"" + std::to_string(++measure) + "\">";
    if (measure == 1)
      out += "<attributes><divisions>2</divisions><time><beats>4</beats><beat-type>4</beat-type>"
             "</time><staves>2</staves></attributes><direction><sound tempo=\"96\"/></direction>\n";
    for (int beat = 0; beat < 4; ++beat) {
      seed = seed * 1103515245u + 12345u;
      at = std::clamp<long long>(at + (seed >> 16) % 5 - 2, 0,
                                 static_cast<long long>(pitches.size()) - 3);
      if (beat == 0) {
        for (int k = 0; k < 3; ++k, ++written)
          out += note(pitches[std::size_t(at + k)], 2, k > 0, 1);
      } else if ((seed >> 20) % 2) {
        out += note(pitches[std::size_t(at)], 1, false, 1) +
               note(pitches[std::size_t(at + 1)], 1, false, 1);
        written += 2;
      } else {
        out += note(pitches[std::size_t(at)], 2, false, 1);
        ++written;
      }
    }
    out += "<backup><duration>8</duration></backup>" + note(pitches[0], 8, false, 2) +
           "</measure>\n";
  }
  return out + "</part>\n</score-partwise>\n";
}

void BM_ImportMusicXml2000Notes(benchmark::State& state) {
  const ButtonNotes notes = shippedKeyboard();
  const std::string bytes = twoThousandNotesScore(notes);
  const PugiMarkupReader reader;
  ImportOptions everything;
  everything.maxEvents = 1 << 20;  // the whole piece is fingered, not only what a record holds
  std::size_t events = 0;
  for (auto _ : state) {
    std::string problem;
    const auto score = readMusicXml(bytes, reader, problem);
    events = importTune(tuneOfMusicXml(*score, ""), notes, everything).events.size();
  }
  state.counters["events"] = double(events);
  state.counters["kB"] = double(bytes.size()) / 1024;
}
BENCHMARK(BM_ImportMusicXml2000Notes)->Unit(benchmark::kMillisecond);

// The baseline: parsing the same score, without reading the melody and fingering it.
void BM_ParseMusicXml2000Notes(benchmark::State& state) {
  const std::string bytes = twoThousandNotesScore(shippedKeyboard());
  const PugiMarkupReader reader;
  for (auto _ : state) {
    std::string problem;
    benchmark::DoNotOptimize(readMusicXml(bytes, reader, problem));
  }
}
BENCHMARK(BM_ParseMusicXml2000Notes)->Unit(benchmark::kMillisecond);

std::vector<std::string> lesson200() {
  std::vector<std::string> lines;
  for (int i = 0; i < 200; ++i)
    lines.push_back(i % 10 == 9 ? std::string(kBreakMute) : i % 2 ? "44/47/50/" : "10/13/");
  return lines;
}

void BM_ExportMidi200Events(benchmark::State& state) {
  const ButtonNotes notes = shippedKeyboard();
  const auto lines = lesson200();
  for (auto _ : state) benchmark::DoNotOptimize(exportRecordToMidi(lines, notes, {}, {}));
}
BENCHMARK(BM_ExportMidi200Events)->Unit(benchmark::kMicrosecond);

void BM_ExportMusicXml200Events(benchmark::State& state) {
  const ButtonNotes notes = shippedKeyboard();
  const auto lines = lesson200();
  for (auto _ : state) benchmark::DoNotOptimize(exportRecordToMusicXml(lines, notes, {}, {}));
}
BENCHMARK(BM_ExportMusicXml200Events)->Unit(benchmark::kMicrosecond);

// The baseline: writing the same lesson as a record file.
void BM_FormatRecord200Events(benchmark::State& state) {
  RecordContent record{"Notes_G-C-F.txt", lesson200(), {}};
  for (const auto& line : record.buttonLines)
    record.nameLines.push_back(line == kBreakMute ? line : "c1/e1/g1/");
  for (auto _ : state) benchmark::DoNotOptimize(formatRecord(record));
}
BENCHMARK(BM_FormatRecord200Events)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
