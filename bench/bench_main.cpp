// What a click, a device reset and a record load cost, each beside a baseline in the same run.
#include <benchmark/benchmark.h>

#include "fakes.h"
#include "platform/fluid_synth_port.h"

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
    synth.send(h, 0x00633C90);
    synth.close(h);
    synth.open(-1, h);
  }
  state.counters["latency_ms"] = synth.latencyMs();
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

}  // namespace

BENCHMARK_MAIN();
