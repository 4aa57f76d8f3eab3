#include "listen_eval.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>

#include "listen/listener.h"
#include "listen/tuning.h"
#include "sound/buttons.h"

namespace tastrello::testing {

namespace {

std::vector<int> pitchesOf(const std::vector<int>& buttons, const ButtonNotes& notes) {
  std::vector<int> pitches;
  for (int b : buttons)
    if (const auto& p = notes[std::size_t(b)]; p && *p > 0) pitches.push_back(*p);
  std::sort(pitches.begin(), pitches.end());
  pitches.erase(std::unique(pitches.begin(), pitches.end()), pitches.end());
  return pitches;
}

/// Whether `b` sounds like `a` to a listener that cannot hear an octave, twelfth or double
/// octave of a note beside the note: every pitch of each is in the other or such a partial of
/// one of the other's lower pitches.
bool soundsAlike(const std::vector<int>& a, const std::vector<int>& b) {
  auto covered = [](const std::vector<int>& chord, const std::vector<int>& by) {
    return std::all_of(chord.begin(), chord.end(), [&](int p) {
      return std::any_of(by.begin(), by.end(), [p](int q) {
        const int d = p - q;
        return d == 0 || d == 12 || d == 19 || d == 24;
      });
    });
  };
  return covered(a, b) && covered(b, a);
}

double processorSeconds() {
  return double(std::clock()) / CLOCKS_PER_SEC;
}

}  // namespace

const char* nameOf(Truth truth) {
  switch (truth) {
    case Truth::Right: return "right";
    case Truth::WrongDirection: return "wrong direction";
    case Truth::SameBothWays: return "wrong direction, same pitches";
    case Truth::WrongButton: return "wrong button";
    case Truth::MissingButton: return "missing button";
    case Truth::OctaveOnly: return "wrong by an octave only";
    case Truth::kCount: break;
  }
  return "?";
}

Truth truthOf(const CorpusChord& chord, const ButtonNotes& notes) {
  const auto expected = pitchesOf(chord.buttons, notes), played = pitchesOf(chord.played, notes);
  switch (chord.kind) {
    case Played::Right: return Truth::Right;
    case Played::WrongDirection:
      return expected == played ? Truth::SameBothWays : Truth::WrongDirection;
    case Played::WrongButton:
    case Played::MissingButton:
      if (soundsAlike(expected, played)) return Truth::OctaveOnly;
      return chord.kind == Played::WrongButton ? Truth::WrongButton : Truth::MissingButton;
  }
  return Truth::Right;
}

int columnOf(listen::Verdict verdict) {
  return static_cast<int>(verdict);
}

TakeOutcome listenTo(const CorpusTake& take, const std::vector<float>& audio, double referenceCents,
                     std::size_t block) {
  TakeOutcome outcome;
  const double rate = take.sound.sampleRate;
  outcome.audioSeconds = double(audio.size()) / rate;
  listen::Listener listener(rate, listen::pitchSpaceOf(take.notes, referenceCents));
  // Practice expects a chord from halfway between the one before and it.
  std::vector<long long> switchAt;
  for (std::size_t i = 0; i < take.chords.size(); ++i)
    switchAt.push_back(i == 0 ? 0 : (take.chords[i - 1].at + take.chords[i].at) / 2);
  std::vector<listen::Heard> heard;
  std::size_t expecting = 0;
  const double started = processorSeconds();
  for (std::size_t at = 0; at < audio.size(); at += block) {
    while (expecting < switchAt.size() && static_cast<long long>(at) >= switchAt[expecting]) {
      listener.expect(listen::expectationOf(take.chords[expecting].buttons, take.notes));
      ++expecting;
    }
    listener.feed(audio.data() + at, std::min(block, audio.size() - at));
    for (auto& h : listener.take())
      if (h.kind == listen::Heard::Kind::Chord) heard.push_back(std::move(h));
  }
  outcome.listenSeconds = processorSeconds() - started;

  std::vector<bool> used(heard.size(), false);
  for (std::size_t i = 0; i < take.chords.size(); ++i) {
    const CorpusChord& chord = take.chords[i];
    ChordOutcome o;
    o.truth = truthOf(chord, take.notes);
    o.expected = pitchesOf(chord.buttons, take.notes);
    o.played = pitchesOf(chord.played, take.notes);
    // The chord heard nearest to it, within a third of the way to its neighbours.
    double reach = 0.08 * rate;
    if (i > 0) reach = std::min(reach, double(chord.at - take.chords[i - 1].at) / 3);
    if (i + 1 < take.chords.size()) reach = std::min(reach, double(take.chords[i + 1].at - chord.at) / 3);
    std::size_t nearest = heard.size();
    for (std::size_t h = 0; h < heard.size(); ++h)
      if (!used[h] && std::abs(heard[h].at - double(chord.at)) <= reach &&
          (nearest == heard.size() || std::abs(heard[h].at - double(chord.at)) < std::abs(heard[nearest].at - double(chord.at))))
        nearest = h;
    if (nearest < heard.size()) {
      used[nearest] = true;
      const listen::Heard& h = heard[nearest];
      o.heard = true;
      o.verdict = h.judgement.verdict;
      o.onsetErrorMs = (h.at - double(chord.at)) * 1000 / rate;
      o.latencyMs = double(h.decidedAt - chord.at) * 1000 / rate;
      o.found = h.judgement.heard.treble;
    }
    outcome.chords.push_back(std::move(o));
  }
  outcome.spurious = static_cast<int>(std::count(used.begin(), used.end(), false));
  for (std::size_t h = 0; h < heard.size(); ++h)
    if (!used[h]) outcome.unmatched.emplace_back(heard[h].at / rate, heard[h].judgement.heard.treble);
  return outcome;
}

std::optional<double> tuneIn(const CorpusTake& tuning, const std::vector<float>& audio) {
  std::vector<std::vector<int>> chords;
  for (const CorpusChord& c : tuning.chords) chords.push_back(pitchesOf(c.buttons, tuning.notes));
  listen::TuningIn tuner(tuning.sound.sampleRate, chords);
  for (std::size_t at = 0; at < audio.size(); at += 128)
    tuner.feed(audio.data() + at, std::min<std::size_t>(128, audio.size() - at));
  const auto report = tuner.report();
  if (report.status != listen::TuningReport::Status::Fine) return std::nullopt;
  return report.referenceCents;
}

void Tally::add(const TakeOutcome& outcome) {
  for (const ChordOutcome& o : outcome.chords) {
    ++table[std::size_t(o.truth)][std::size_t(o.heard ? columnOf(o.verdict) : kColumns - 1)];
    if (!o.heard) continue;
    onsetErrors.push_back(std::abs(o.onsetErrorMs));
    signedOnsetErrors.push_back(o.onsetErrorMs);
    latencies.push_back(o.latencyMs);
  }
  spurious += outcome.spurious;
  audioSeconds += outcome.audioSeconds;
  listenSeconds += outcome.listenSeconds;
}

int Tally::count(Truth truth) const {
  int n = 0;
  for (int c : table[std::size_t(truth)]) n += c;
  return n;
}

int Tally::count(Truth truth, listen::Verdict verdict) const {
  return table[std::size_t(truth)][std::size_t(columnOf(verdict))];
}

double Tally::rightAsRight() const {
  const int n = count(Truth::Right);
  return n > 0 ? double(count(Truth::Right, listen::Verdict::Right)) / n : 0;
}

double Tally::wrongDirectionAsSuch() const {
  const int n = count(Truth::WrongDirection);
  return n > 0 ? double(count(Truth::WrongDirection, listen::Verdict::WrongDirection)) / n : 0;
}

double Tally::wrongAsRight() const {
  int n = 0, right = 0;
  for (Truth t : {Truth::WrongDirection, Truth::WrongButton, Truth::MissingButton}) {
    n += count(t);
    right += count(t, listen::Verdict::Right);
  }
  return n > 0 ? double(right) / n : 0;
}

double Tally::percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto at = static_cast<std::size_t>(std::ceil(p * double(values.size()))) - 1;
  return values[std::min(values.size() - 1, at)];
}

void Tally::print(std::FILE* out) const {
  std::fprintf(out, "%-30s %8s %8s %8s %8s %8s\n", "played \\ heard", "right", "wrongdir", "wrongnt",
               "nothing", "missed");
  for (std::size_t t = 0; t < std::size_t(Truth::kCount); ++t) {
    if (count(Truth(t)) == 0) continue;
    std::fprintf(out, "%-30s", nameOf(Truth(t)));
    for (int c : table[t]) std::fprintf(out, " %8d", c);
    std::fprintf(out, "\n");
  }
  std::fprintf(out, "right as right: %.1f %% (goal >= 97 %%)\n", 100 * rightAsRight());
  std::fprintf(out, "wrong direction as such: %.1f %% (goal >= 95 %%)\n", 100 * wrongDirectionAsSuch());
  std::fprintf(out, "wrong chord (wrong button, missing button, wrong direction) as right: %.2f %% (goal <= 1 %%)\n",
               100 * wrongAsRight());
  std::fprintf(out, "onset error: median %.1f ms, p95 %.1f ms (goal <= 15 ms), max %.1f ms; heard minus played: p5 %+.1f ms, median %+.1f ms, p95 %+.1f ms\n",
               percentile(onsetErrors, 0.5), percentile(onsetErrors, 0.95), percentile(onsetErrors, 1.0),
               percentile(signedOnsetErrors, 0.05), percentile(signedOnsetErrors, 0.5), percentile(signedOnsetErrors, 0.95));
  std::fprintf(out, "verdict after the chord sounds: median %.1f ms, p95 %.1f ms, max %.1f ms (goal <= 60 ms)\n",
               percentile(latencies, 0.5), percentile(latencies, 0.95), percentile(latencies, 1.0));
  std::fprintf(out, "chords heard that were not played: %d\n", spurious);
  std::fprintf(out, "cost: %.1f s of processor for %.1f s of sound: %.2f %% of one core (goal < 10 %%)\n",
               listenSeconds, audioSeconds, 100 * listenSeconds / std::max(1e-9, audioSeconds));
}

}  // namespace tastrello::testing
