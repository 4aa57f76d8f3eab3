#include "exchange/wechselbass.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "records/record_format.h"

namespace tastrello {

std::vector<RecordHarmony> harmoniesOnRecord(const Tune& tune, const ImportResult& imported) {
  const auto events = static_cast<long long>(imported.events.size());
  std::vector<RecordHarmony> out;
  for (const TuneHarmony& h : tune.harmonies) {
    const long long step = std::max(0LL, recordStepOf(h.tick, tune, imported));
    if (step >= events) break;
    // A later symbol on the same step (or before the start) replaces the earlier one.
    if (!out.empty() && out.back().step == step) out.pop_back();
    out.push_back({step, h.root, h.minor});
  }
  return out;
}

std::vector<BassBeat> barPattern(int beatsPerBar) {
  std::vector<BassBeat> beats;
  const int group = beatsPerBar % 2 != 0 && beatsPerBar % 3 == 0 ? 3 : 2;
  for (int beat = 0; beat < beatsPerBar; ++beat)
    beats.push_back(beat % group == 0 && beat + 1 < beatsPerBar ? BassBeat::Bass
                                                                : BassBeat::Chord);
  if (beatsPerBar == 1) beats[0] = BassBeat::Bass;
  return beats;
}

namespace {

/// The direction each event of the record binds the bellows to (None: the treble is silent).
std::vector<Bellows> trebleBellows(const std::vector<std::string>& lines,
                                   const RecordHands& beside) {
  std::vector<Bellows> out;
  Bellows sounding = Bellows::None;  // the chord that rings on through "-BREAK PLAY-"
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int event = static_cast<int>(i + 1);
    const auto more = handButtons(beside, event, Hand::Treble);
    Bellows own = isRestMarker(lines[i]) ? Bellows::None : bellowsOf(lines[i]);
    for (const ButtonAt& at : more) {
      const Bellows b = at.push ? Bellows::Push : Bellows::Pull;
      own = own == Bellows::None || own == b ? b : Bellows::Both;
    }
    if (own != Bellows::None)
      sounding = own;
    else if (lines[i] != kBreakPlay)
      sounding = Bellows::None;
    out.push_back(sounding);
  }
  return out;
}

/// The directions a beat may take, the preferred first.
std::vector<bool> directionsAt(const std::vector<Bellows>& bellows, std::size_t step) {
  const Bellows here = bellows[step];
  if (here == Bellows::Push) return {true};
  if (here == Bellows::Pull) return {false};
  if (here == Bellows::Both) return {};
  std::optional<bool> preferred;
  for (std::size_t i = step; i-- > 0 && !preferred;)
    if (bellows[i] == Bellows::Push || bellows[i] == Bellows::Pull)
      preferred = bellows[i] == Bellows::Push;
  for (std::size_t i = step + 1; i < bellows.size() && !preferred; ++i)
    if (bellows[i] == Bellows::Push || bellows[i] == Bellows::Pull)
      preferred = bellows[i] == Bellows::Push;
  const bool first = preferred.value_or(false);
  return {first, !first};
}

PitchClasses triadOf(int root, bool minor) {
  return pitchClassesOf({root, root + (minor ? 3 : 4), root + 7});
}

/// Of the buttons that sound what is wanted, one in the first direction that has any: the
/// nearest to the button before.
std::optional<ButtonAt> choose(const std::vector<ButtonChoice>& candidates,
                               const std::vector<bool>& directions,
                               const std::optional<ButtonAt>& before) {
  for (const bool push : directions) {
    std::optional<ButtonAt> best;
    int bestDistance = 0;
    for (const ButtonChoice& c : candidates) {
      if (c.at.push != push) continue;
      const int distance = before ? std::abs(c.at.row - before->row) * 2 +
                                        std::abs(c.at.number - before->number)
                                  : 0;
      if (!best || distance < bestDistance) {
        best = c.at;
        bestDistance = distance;
      }
    }
    if (best) return best;
  }
  return std::nullopt;
}

}  // namespace

Accompaniment wechselbass(const std::vector<std::string>& buttonLines, const RecordHands& beside,
                          const Meter& given, const std::vector<RecordHarmony>& harmonies,
                          const Instrument& instrument) {
  const Meter meter = isValidMeter(given) ? given : Meter{};
  const PitchMap map = pitchMap(instrument);
  const std::vector<Bellows> bellows = trebleBellows(buttonLines, beside);
  const std::vector<BassBeat> pattern = barPattern(meter.beatsPerBar);
  static const std::vector<ButtonChoice> kNone;
  Accompaniment out;
  std::size_t next = 0;  // the next harmony to come in force
  std::optional<RecordHarmony> harmony;
  int basses = 0;  // of the harmony in force: fundamental, fifth, fundamental ...
  std::optional<ButtonAt> before;
  for (std::size_t step = 0; step < buttonLines.size(); ++step) {
    const auto s = static_cast<long long>(step);
    while (next < harmonies.size() && harmonies[next].step <= s) {
      const RecordHarmony& h = harmonies[next++];
      // A symbol repeated (at each bar, as lead sheets write them) goes on alternating.
      if (!harmony || harmony->root != h.root || harmony->minor != h.minor) basses = 0;
      harmony = h;
    }
    const long long fromBar = s - meter.pickupSteps;
    if (!harmony || harmony->root < 0 || fromBar % meter.stepsPerBeat != 0) continue;
    const long long inBar = (fromBar % meter.stepsPerBar() + meter.stepsPerBar()) %
                            meter.stepsPerBar();
    const bool chord = pattern[static_cast<std::size_t>(inBar / meter.stepsPerBeat)] ==
                       BassBeat::Chord;
    const auto directions = directionsAt(bellows, step);
    std::optional<ButtonAt> at;
    int wanted = harmony->root;
    if (chord) {
      const auto found = map.chords.find(triadOf(harmony->root, harmony->minor));
      at = choose(found == map.chords.end() ? kNone : found->second, directions, before);
    } else {
      // The fifth where the side has it, else the fundamental again.
      if (basses++ % 2 != 0) {
        const int fifth = (harmony->root + 7) % 12;
        at = choose(map.basses[static_cast<std::size_t>(fifth)], directions, before);
        if (at) wanted = fifth;
      }
      if (!at)
        at = choose(map.basses[static_cast<std::size_t>(harmony->root)], directions, before);
    }
    if (!at) {
      out.gaps.push_back({s, wanted, chord, harmony->minor});
      continue;
    }
    out.bass.push_back({static_cast<int>(step + 1), Hand::Bass, *at});
    before = at;
  }
  return out;
}

std::vector<HandButton> bassOfTune(const Tune& tune, const ImportResult& imported,
                                   const Instrument& instrument, int& unplaced) {
  std::vector<HandButton> out;
  const auto events = static_cast<long long>(imported.events.size());
  const ButtonNumbering numbering(bassRowLengths(instrument));
  for (std::size_t first = 0; first < tune.bassNotes.size();) {
    const long long tick = tune.bassNotes[first].tick;
    std::vector<int> pitches;
    std::size_t end = first;
    for (; end < tune.bassNotes.size() && tune.bassNotes[end].tick == tick; ++end)
      pitches.push_back(tune.bassNotes[end].pitch);
    first = end;
    std::sort(pitches.begin(), pitches.end());
    // The bellows at that moment: the last change at or before it, else the first.
    std::optional<bool> push;
    for (const auto& [at, pushing] : tune.bellows) {
      if (at > tick && push) break;
      push = pushing;
    }
    const long long step = recordStepOf(tick, tune, imported);
    std::optional<ButtonAt> found;
    for (int id = 0; id < numbering.count() && !found; ++id) {
      const ButtonAt at = *numbering.placeOf(id);
      if (at.push != push.value_or(false)) continue;
      const BassButton& button = instrument.bass[std::size_t(at.row - 1)]
                                     .buttons[std::size_t(at.number - 1)];
      std::vector<int> notes = at.push ? button.push.notes : button.pull.notes;
      std::sort(notes.begin(), notes.end());
      if (notes == pitches) found = at;
    }
    if (!found || step < 0 || step >= events) {
      ++unplaced;
      continue;
    }
    out.push_back({static_cast<int>(step + 1), Hand::Bass, *found});
  }
  return out;
}

ImportedBass bassOfImport(const Tune& tune, const ImportResult& imported,
                          const std::vector<std::string>& buttonLines,
                          const Instrument& instrument) {
  ImportedBass bass;
  if (tune.harmonies.empty()) {
    bass.buttons = bassOfTune(tune, imported, instrument, bass.unplaced);
    return bass;
  }
  // The treble beside the record file (rows past the third) binds the bellows as its own does.
  const RecordHands beside{"", trebleBesideOf(imported)};
  Accompaniment a = wechselbass(buttonLines, beside, imported.meter,
                                harmoniesOnRecord(tune, imported), instrument);
  bass.buttons = std::move(a.bass);
  bass.gaps = std::move(a.gaps);
  return bass;
}

}  // namespace tastrello
