#include "listen/takes.h"

#include <algorithm>
#include <cmath>

#include "records/meter.h"
#include "records/record_format.h"

namespace tastrello::listen {

namespace {

std::vector<const Heard*> chordsIn(const std::vector<Heard>& heard) {
  std::vector<const Heard*> chords;
  for (const Heard& h : heard)
    if (h.kind == Heard::Kind::Chord && !h.judgement.heard.treble.empty()) chords.push_back(&h);
  return chords;
}

LessonVerdict::Kind kindOf(Verdict verdict) {
  switch (verdict) {
    case Verdict::Right: return LessonVerdict::Kind::Right;
    case Verdict::WrongDirection: return LessonVerdict::Kind::WrongDirection;
    case Verdict::WrongNotes: return LessonVerdict::Kind::WrongNotes;
    case Verdict::Nothing: break;
  }
  return LessonVerdict::Kind::Missed;
}

}  // namespace

TakeAgainstLesson judgeTake(const std::vector<Heard>& heard, const std::vector<std::string>& buttonLines,
                            const ButtonNotes& notes, const PitchSpace& space, double sampleRate,
                            double secondsPerStep) {
  TakeAgainstLesson result;
  const auto chords = chordsIn(heard);
  const std::vector<TimedEvent> events = timeline(buttonLines);
  const auto firstChord = std::find_if(events.begin(), events.end(), [](const TimedEvent& e) { return !e.rest; });
  std::vector<bool> used(chords.size(), false);
  const double step = secondsPerStep * sampleRate;
  for (const TimedEvent& e : events) {
    // A chord's ringing rests are events of the lesson too: their lines follow the chord's.
    LessonVerdict v;
    v.event = e.event;
    if (e.rest) {
      v.kind = LessonVerdict::Kind::Rest;
      result.events.push_back(v);
      continue;
    }
    if (!chords.empty()) {
      const double place = chords.front()->at + double(e.step - firstChord->step) * step;
      std::size_t nearest = chords.size();
      for (std::size_t c = 0; c < chords.size(); ++c)
        if (!used[c] && std::abs(chords[c]->at - place) <= step / 2 &&
            (nearest == chords.size() || std::abs(chords[c]->at - place) < std::abs(chords[nearest]->at - place)))
          nearest = c;
      if (nearest < chords.size()) {
        used[nearest] = true;
        const Judgement j = judge(chords[nearest]->sound,
                                  expectationOf(buttonsOfLine(buttonLines[std::size_t(e.event - 1)]), notes), space);
        v.kind = kindOf(j.verdict);
        v.missing = j.missing;
        v.extra = j.extra;
        if (v.kind != LessonVerdict::Kind::Missed) v.deviationMs = (chords[nearest]->at - place) * 1000 / sampleRate;
      }
    }
    result.events.push_back(v);
    for (int ringing = 1; ringing < e.steps; ++ringing)
      result.events.push_back({e.event + ringing, LessonVerdict::Kind::Rest, {}, {}, std::nullopt});
  }
  result.unplaced = static_cast<int>(std::count(used.begin(), used.end(), false));
  return result;
}

Tune tuneOfTake(const std::vector<Heard>& heard, double sampleRate, double beatsPerMinute) {
  Tune tune;
  tune.tempo = static_cast<int>(std::lround(beatsPerMinute));
  tune.microsPerQuarter = std::llround(60e6 / beatsPerMinute);
  const double ticksPerSample = beatsPerMinute / 60 * tune.division / sampleRate;
  double first = -1;
  for (std::size_t i = 0; i < heard.size(); ++i) {
    const Heard& h = heard[i];
    if (h.kind != Heard::Kind::Chord || h.judgement.heard.treble.empty()) continue;
    if (first < 0) first = h.at;
    // It sounds until the silence after it or the next chord.
    double end = h.at;
    for (std::size_t j = i + 1; j < heard.size(); ++j)
      if (heard[j].kind == Heard::Kind::Silence || !heard[j].judgement.heard.treble.empty()) {
        end = heard[j].at;
        break;
      }
    if (end <= h.at) end = h.at + 60 / beatsPerMinute * sampleRate;  // the last, never let go
    for (int pitch : h.judgement.heard.treble)
      tune.notes.push_back({std::llround((h.at - first) * ticksPerSample),
                            std::max(1LL, std::llround((end - h.at) * ticksPerSample)), pitch, -1});
  }
  return tune;
}

std::optional<double> tempoOfTake(const std::vector<Heard>& heard, double sampleRate) {
  const auto chords = chordsIn(heard);
  if (chords.size() < 2) return std::nullopt;
  std::vector<double> gaps;
  for (std::size_t i = 1; i < chords.size(); ++i) gaps.push_back((chords[i]->at - chords[i - 1]->at) / sampleRate);
  // The shortest gap that is common: the median of the shorter half (longer gaps are notes
  // held or rests).
  std::sort(gaps.begin(), gaps.end());
  const double beat = gaps[(gaps.size() - 1) / 4];
  return std::clamp(60 / beat, 20.0, 300.0);
}

}  // namespace tastrello::listen
