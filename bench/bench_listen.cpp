// The listening benchmark: the whole corpus (every chord of every shipped layout on push and
// pull, right, with the bellows the wrong way and with a wrong or missing button, in takes of
// varied sound) and the shipped lessons, rendered by FluidSynth, tuned in and listened to as
// practice would; prints the confusion table, the figures and the processor time against the
// sound's own length.
//   tastrello_bench_listen [--part N] [--rate HZ] [--show] [--take N] [--layout FILE]
//   --part N   every N-th chord only;  --show  each chord judged wrongly, with its take;
//   --take N   the chords of take N one by one;  --layout FILE  that layout's takes only;
//   --general-midi  the General MIDI fonts' own accordions, out of tune, instead of the reed font
//   --keep DIR  the rendered takes kept in DIR (made if need be): a second run only listens
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <array>
#include <map>
#include <string>

#include "listen_eval.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

std::string describe(const std::vector<int>& pitches) {
  std::string s;
  for (int p : pitches) s += (s.empty() ? "" : " ") + std::to_string(p);
  return "{" + s + "}";
}

const char* verdictName(const ChordOutcome& o) {
  if (!o.heard) return "missed";
  switch (o.verdict) {
    case listen::Verdict::Right: return "right";
    case listen::Verdict::WrongDirection: return "wrong direction";
    case listen::Verdict::WrongNotes: return "wrong notes";
    case listen::Verdict::Nothing: return "nothing";
  }
  return "?";
}

bool judgedWell(const ChordOutcome& o) {
  if (!o.heard) return false;
  switch (o.truth) {
    case Truth::Right:
    case Truth::SameBothWays:
    case Truth::OctaveOnly: return o.verdict == listen::Verdict::Right;
    case Truth::WrongDirection: return o.verdict == listen::Verdict::WrongDirection;
    default: return o.verdict == listen::Verdict::WrongNotes;
  }
}

/// A take's sound, rendered or, with a folder to keep them in, read back from there: rendering
/// takes most of a run, and the same seed renders the same sound.
std::vector<float> soundOf(const CorpusTake& take, const std::string& keep) {
  if (keep.empty()) return renderCorpusTake(take);
  // The whole description of the take, hashed: the names are long and not made for files.
  const std::string description = take.name + "/" + take.layout + "/" + std::to_string(take.sound.sampleRate) +
                                  (take.sound.reedFont ? "/reeds/" : "/gm/") + std::to_string(take.sound.seed);
  const std::string name = std::to_string(std::hash<std::string>{}(description)) + ".f32";
  const std::filesystem::path path = std::filesystem::path(keep) / name;
  std::vector<float> audio;
  if (std::ifstream in{path, std::ios::binary}) {
    audio.resize(std::size_t(std::filesystem::file_size(path)) / sizeof(float));
    if (in.read(reinterpret_cast<char*>(audio.data()), std::streamsize(audio.size() * sizeof(float)))) return audio;
  }
  audio = renderCorpusTake(take);
  std::filesystem::create_directories(keep);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(audio.data()), std::streamsize(audio.size() * sizeof(float)));
  return audio;
}

/// The reference learnt by tuning in with the take's sound (once for each sound).
double referenceFor(const CorpusTake& take, std::map<std::string, double>& learnt, int& failed,
                    const std::string& keep) {
  const TakeSound& s = take.sound;
  const std::string key = s.soundFont + (s.reedFont ? "+reeds/" : "/") + std::to_string(s.program) + "/" +
                          std::to_string(s.referenceCents) + "/" + std::to_string(s.reedCents.size()) +
                          std::to_string(s.reedCents.back()) + "/" + std::to_string(s.trebleDb) + "/" +
                          std::to_string(s.reverb) + "/" + std::to_string(s.noiseBelowDb);
  if (const auto it = learnt.find(key); it != learnt.end()) return it->second;
  const CorpusTake tuning = tuningTake(s, take.layout.empty() ? "Notes_G-C-F.txt" : take.layout);
  const auto reference = tuneIn(tuning, soundOf(tuning, keep));
  if (!reference) ++failed;
  return learnt[key] = reference.value_or(0);
}

/// Right chords heard right, and wrong-direction chords said so, under each condition of the
/// takes' sound: where the listening stands and falls.
class ByCondition {
 public:
  void add(const CorpusTake& take, const TakeOutcome& outcome) {
    const TakeSound& s = take.sound;
    const std::string keys[] = {
        "font " + std::filesystem::path(s.soundFont).stem().string(),
        "program " + std::to_string(s.program),
        "reeds " + std::to_string(s.reedCents.size()) + " to " + std::to_string(int(s.reedCents.back())) + " cents",
        "A +" + std::to_string(int(s.referenceCents)) + " cents",
        "level " + std::to_string(int(s.trebleDb)) + " dB",
        "reverb " + std::to_string(s.reverb),
        "noise " + (s.noiseBelowDb > 0 ? std::to_string(int(s.noiseBelowDb)) + " dB below" : std::string("none")),
        take.bass.empty() ? "no bass" : "bass"};
    for (std::size_t c = 0; c < outcome.chords.size(); ++c)
    {
      for (const std::string& key : keys) count(key, outcome.chords[c]);
      count(sizeOf(take.chords[c]), outcome.chords[c]);
    }
  }
  static std::string sizeOf(const CorpusChord& chord) {
    return "chord of " + std::to_string(chord.buttons.size()) + " button" + (chord.buttons.size() > 1 ? "s" : "");
  }
  void count(const std::string& key, const ChordOutcome& o) {
        auto& [right, rights, direction, directions] = counts_[key];
        if (o.truth == Truth::Right) {
          ++rights;
          right += o.heard && o.verdict == listen::Verdict::Right;
        } else if (o.truth == Truth::WrongDirection) {
          ++directions;
          direction += o.heard && o.verdict == listen::Verdict::WrongDirection;
        }
  }
  void print() const {
    std::printf("%-28s %22s %22s\n", "condition", "right as right", "wrong direction as such");
    for (const auto& [key, c] : counts_) {
      const auto& [right, rights, direction, directions] = c;
      std::printf("%-28s %8.1f %% of %5d %10.1f %% of %5d\n", key.c_str(), 100.0 * right / std::max(1, rights), rights,
                  100.0 * direction / std::max(1, directions), directions);
    }
  }

 private:
  std::map<std::string, std::array<int, 4>> counts_;
};

}  // namespace

int main(int argc, char** argv) {
  CorpusOptions options;
  bool show = false;
  int detail = -1;
  std::string keep;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--part") && i + 1 < argc) options.everyNth = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--rate") && i + 1 < argc) options.sampleRate = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--show")) show = true;
    else if (!std::strcmp(argv[i], "--general-midi")) options.reedFont = false;
    else if (!std::strcmp(argv[i], "--take") && i + 1 < argc) detail = std::atoi(argv[++i]);
    else if (!std::strcmp(argv[i], "--layout") && i + 1 < argc) options.layouts.push_back(argv[++i]);
    else if (!std::strcmp(argv[i], "--keep") && i + 1 < argc) keep = argv[++i];
  }
  std::string why;
  if (!haveSoundFont(why)) {
    std::printf("listening: skipped, %s\n", why.c_str());
    return 0;
  }
  std::vector<CorpusTake> takes = layoutCorpus(options);
  // The shipped lessons, right, at a slow and a brisk tempo.
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(TASTRELLO_DATA) / "Records")) {
    if (entry.path().filename().string().rfind("Lessons_", 0) != 0) continue;
    for (double bpm : {90.0, 160.0}) {
      TakeSound sound;
      sound.sampleRate = options.sampleRate;
      sound.reedFont = options.reedFont;
      sound.reedCents = n % 2 ? std::vector<double>{-15, 0, 15} : std::vector<double>{0, 12};
      sound.referenceCents = 7.9 * (n % 4);
      sound.trebleDb = -30 + 6 * (n % 4);
      sound.seed = unsigned(100 + n++);
      takes.push_back(lessonTake(entry.path().string(), bpm, sound));
    }
  }
  Tally tally;
  ByCondition byCondition;
  std::map<std::string, double> learnt;
  int tuningFailed = 0;
  double worstTuning = 0;
  for (std::size_t t = 0; t < takes.size(); ++t) {
    const CorpusTake& take = takes[t];
    if (detail >= 0 && int(t) != detail) continue;
    const double reference = referenceFor(take, learnt, tuningFailed, keep);
    worstTuning = std::max(worstTuning, std::abs(reference - take.sound.referenceCents));
    const TakeOutcome outcome = listenTo(take, soundOf(take, keep), reference);
    tally.add(outcome);
    if (!take.bass.empty() || take.name.find(" take ") != std::string::npos) byCondition.add(take, outcome);
    if (detail >= 0) {
      std::printf("%s, A learnt %+.1f cents\n", take.name.c_str(), reference);
      for (std::size_t c = 0; c < outcome.chords.size(); ++c) {
        const ChordOutcome& o = outcome.chords[c];
        std::printf("  %7.3f s %-16s played %-16s expected %-16s: %-16s found %-16s onset %+6.1f ms, verdict after %5.1f ms\n",
                    double(take.chords[c].at) / take.sound.sampleRate, nameOf(o.truth), describe(o.played).c_str(),
                    describe(o.expected).c_str(), verdictName(o), describe(o.found).c_str(), o.onsetErrorMs, o.latencyMs);
      }
      for (const auto& h : outcome.unmatched)
        std::printf("  heard, not played: %7.3f s %s\n", h.first, describe(h.second).c_str());
    }
    if (!show) continue;
    for (const ChordOutcome& o : outcome.chords)
      if (!judgedWell(o) || std::abs(o.onsetErrorMs) > 15)
        std::printf("%s: %s played %s expected %s: %s, found %s (onset %+.1f ms)\n", take.name.c_str(),
                    nameOf(o.truth), describe(o.played).c_str(), describe(o.expected).c_str(),
                    verdictName(o), describe(o.found).c_str(), o.onsetErrorMs);
  }
  std::printf("Listening: %zu takes at %d Hz, %d chords, blocks of 128 frames\n", takes.size(),
              options.sampleRate, [&] {
                int c = 0;
                for (std::size_t t = 0; t < std::size_t(Truth::kCount); ++t) c += tally.count(Truth(t));
                return c;
              }());
  std::printf("tuning in: %zu sounds, %d not fine, the learnt A at most %.1f cents from the rendered one\n",
              learnt.size(), tuningFailed, worstTuning);
  tally.print(stdout);
  std::printf("\nThe layouts' takes by the conditions of their sound:\n");
  byCondition.print();
  return 0;
}
