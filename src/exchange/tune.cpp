#include "exchange/tune.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>
#include <set>

#include "records/record_format.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr std::size_t kCandidatesPerDirection = 16;
constexpr std::size_t kCombinationsTried = 256;
constexpr std::size_t kMostNotesInAChord = 4;

// ---- Names of notes

/// German names of the twelve pitch classes, as the layouts spell them.
constexpr const char* kPitchClassNames[12] = {"c",  "c#", "d",  "es", "e", "f",
                                              "f#", "g",  "g#", "a",  "b", "h"};

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

/// The pitch class's name as the layout spells it, from a caption of that class.
std::string classNameInLayout(int pitchClass, const ButtonNotes& notes,
                              const std::array<std::string, kKeyCount>& captions) {
  for (int b = 0; b < kKeyCount; ++b) {
    if (!notes[std::size_t(b)] || ((*notes[std::size_t(b)] % 12) + 12) % 12 != pitchClass) continue;
    std::string name = trimmed(captions[std::size_t(b)]);
    while (!name.empty() && name.back() >= '0' && name.back() <= '9') name.pop_back();
    if (name.empty() || name == "-") continue;
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return name;
  }
  return kPitchClassNames[pitchClass];
}

// ---- The fingering search

/// A treble button as the search sees it: its number, direction, place and note.
struct Key {
  int id = 0;
  bool push = false;
  int row = 1;
  int number = 1;
  std::optional<int> note;
};

/// The buttons of a treble, in order of number (the pull block first).
struct Keys {
  std::vector<Key> keys;
  const Key& at(int id) const { return keys[std::size_t(id)]; }
  int distance(int a, int b) const {
    return std::abs(at(a).number - at(b).number) + std::abs(at(a).row - at(b).row);
  }
};

/// A layout's 68 buttons, numbered and placed as records number them.
Keys keysOf(const ButtonNotes& notes) {
  Keys keys;
  for (int b = 0; b < 2 * kButtonsPerBlock; ++b) {
    const ButtonPlace place = placeOf(b);
    keys.keys.push_back({b, place.push, place.row, place.number, notes[std::size_t(b)]});
  }
  return keys;
}

/// An instrument's treble buttons, numbered by ButtonNumbering.
Keys keysOf(const Instrument& instrument) {
  Keys keys;
  const ButtonNumbering numbering(trebleRowLengths(instrument));
  for (int id = 0; id < numbering.count(); ++id) {
    const ButtonAt at = *numbering.placeOf(id);
    const TrebleButton& button = instrument.treble[std::size_t(at.row - 1)]
                                     .buttons[std::size_t(at.number - 1)];
    keys.keys.push_back({id, at.push, at.row, at.number, at.push ? button.push : button.pull});
  }
  return keys;
}

struct Candidate {
  std::vector<int> buttons;  ///< one per pitch that has a button in this direction
  bool push = false;
  int spread = 0;
};

int spreadOf(const std::vector<int>& buttons, const Keys& keys) {
  int spread = 0;
  for (std::size_t a = 0; a < buttons.size(); ++a)
    for (std::size_t b = a + 1; b < buttons.size(); ++b)
      spread += keys.distance(buttons[a], buttons[b]);
  return spread;
}

bool hasButtonIn(int pitch, const Keys& keys, bool push) {
  return std::any_of(keys.keys.begin(), keys.keys.end(),
                     [&](const Key& k) { return k.push == push && k.note == pitch; });
}

/// The ways to play a chord in one direction: a button for each pitch that has one there, on
/// the pitch's own row where the file gives one and that row has it.
std::vector<Candidate> candidatesIn(const ChordToFinger& chord, const Keys& keys, bool push,
                                    std::size_t& playable) {
  std::vector<std::vector<int>> choices;
  for (std::size_t i = 0; i < chord.pitches.size(); ++i) {
    const int row = i < chord.rows.size() ? chord.rows[i] : -1;
    std::vector<int> buttons, onRow;
    for (const Key& k : keys.keys) {
      if (k.push != push || k.note != chord.pitches[i]) continue;
      buttons.push_back(k.id);
      if (k.row - 1 == row) onRow.push_back(k.id);
    }
    if (buttons.empty()) continue;
    choices.push_back(onRow.empty() ? std::move(buttons) : std::move(onRow));
  }
  playable = choices.size();
  std::vector<Candidate> out;
  if (choices.empty()) return out;
  std::vector<std::size_t> pick(choices.size(), 0);
  for (std::size_t tried = 0; tried < kCombinationsTried; ++tried) {
    Candidate c{{}, push, 0};
    for (std::size_t i = 0; i < choices.size(); ++i) c.buttons.push_back(choices[i][pick[i]]);
    if (std::set<int>(c.buttons.begin(), c.buttons.end()).size() == c.buttons.size()) {
      c.spread = spreadOf(c.buttons, keys);
      out.push_back(std::move(c));
    }
    std::size_t i = 0;
    while (i < pick.size() && ++pick[i] == choices[i].size()) pick[i++] = 0;
    if (i == pick.size()) break;
  }
  std::stable_sort(out.begin(), out.end(),
                   [](const Candidate& a, const Candidate& b) { return a.spread < b.spread; });
  if (out.size() > kCandidatesPerDirection) out.resize(kCandidatesPerDirection);
  return out;
}

// ---- Laying a tune on a grid

/// Notes that start together (within the chord window), with what the file says of them.
struct RawChord {
  long long onset = 0;
  long long end = 0;
  std::size_t firstNote = 0;                ///< its first note in the tune
  std::vector<std::pair<int, int>> sounds;  ///< (pitch, row), in order of pitch
  std::optional<bool> push;
};

/// Chords of the tune that sound from one step of the grid.
struct Group {
  long long step = 0;
  long long end = 0;  ///< the step it ends at (after its last ringing rest)
  std::vector<std::size_t> chords;
  bool restBefore = false;
};

/// The tune on one grid: the groups that fit into the record and how far notes moved.
struct Placement {
  int grid = 1;
  long long shift = 0;   ///< the steps of silent bars before the first note, dropped
  long long pickup = 0;  ///< the pickup's steps
  std::vector<Group> groups;
  std::size_t chordsKept = 0;
  long long onsetError = 0;  ///< the largest onset shift, in ticks times the grid
  long long endError = 0;    ///< the largest shift of an end before a rest, likewise
  long long errorStep = -1;  ///< where the largest shift is
  int merged = 0;            ///< chords that fell on the step of the chord before
  long long firstMergedStep = -1;
};

long long stepOf(long long tick, int grid, int division) {
  return (std::max(0LL, tick) * grid * 2 + division) / (2LL * division);
}

Placement place(const Tune& tune, const std::vector<RawChord>& chords, int grid, int maxEvents) {
  Placement p;
  p.grid = grid;
  const long long bar = static_cast<long long>(tune.beatsPerBar) * grid;
  const long long pickup = stepOf(tune.pickupTicks, grid, tune.division) % bar;
  const long long first = stepOf(chords.front().onset, grid, tune.division);
  // Bars of silence before the first note say nothing; the rest of the silence is kept. A
  // pickup goes only with the silent bars after it: a silent pickup before a note in the
  // first bar stays, as the bars stay where they are.
  if (pickup > 0 && first < pickup + bar) {
    p.pickup = pickup;
  } else if (pickup > 0) {
    p.shift = pickup + (first - pickup) / bar * bar;
  } else {
    p.shift = first / bar * bar;
  }
  const long long last = p.shift + maxEvents;  // the first step beyond the record
  auto note = [&](long long error, long long step, long long& largest) {
    if (error > largest) {
      largest = error;
      if (error >= std::max(p.onsetError, p.endError)) p.errorStep = step;
    }
  };
  for (std::size_t c = 0; c < chords.size(); ++c) {
    const long long step = stepOf(chords[c].onset, grid, tune.division);
    if (step >= last) break;
    note(std::abs(chords[c].onset * grid - step * tune.division), step, p.onsetError);
    if (!p.groups.empty() && p.groups.back().step == step) {
      p.groups.back().chords.push_back(c);
      if (p.merged++ == 0) p.firstMergedStep = step;
    } else {
      p.groups.push_back({step, 0, {c}, false});
    }
    p.chordsKept = c + 1;
  }
  // Each group lasts to its notes' end on the grid (at least a step), never into the next.
  for (std::size_t g = 0; g < p.groups.size(); ++g) {
    Group& group = p.groups[g];
    long long endTick = 0;
    for (std::size_t c : group.chords) endTick = std::max(endTick, chords[c].end);
    const long long end = std::max(group.step + 1, stepOf(endTick, grid, tune.division));
    const long long next = g + 1 < p.groups.size() ? p.groups[g + 1].step : last;
    group.end = std::min(end, next);
    if (g + 1 < p.groups.size() && group.end < next)  // a rest follows: where it starts counts
      note(std::abs(endTick * grid - group.end * tune.division), group.end, p.endError);
    group.restBefore = g == 0 ? group.step > p.shift : group.step > p.groups[g - 1].end;
  }
  return p;
}

/// Whether the grid places the tune well enough: onsets within an eighth of a beat, the starts
/// of rests within a quarter (a note let go a little early is articulation, not a rest).
bool placesWell(const Placement& p, int division) {
  return p.onsetError * 8 <= static_cast<long long>(division) * p.grid &&
         p.endError * 4 <= static_cast<long long>(division) * p.grid;
}

ImportNote located(const Meter& meter, long long step, ImportNote note) {
  const BarPlace where = barPlaceOf(meter, step);
  note.bar = where.bar;
  note.beat = where.step / std::max(1, meter.stepsPerBeat) + 1;
  return note;
}

}  // namespace

std::optional<int> quarterBeatsPerBar(int numerator, int denominatorPower) {
  if (numerator < 1 || numerator > 48 || denominatorPower < 0 || denominatorPower > 4)
    return std::nullopt;
  const int sixteenths = numerator << (4 - denominatorPower);
  if (sixteenths % 4 != 0 || sixteenths / 4 > 12) return std::nullopt;
  return sixteenths / 4;
}

std::string pitchName(int pitch, const ButtonNotes& notes,
                      const std::array<std::string, kKeyCount>& captions) {
  for (int b = 0; b < kKeyCount; ++b) {
    if (notes[std::size_t(b)] != pitch) continue;
    const std::string caption = trimmed(captions[std::size_t(b)]);
    if (!caption.empty() && caption != "-") return caption;
  }
  const int pitchClass = ((pitch % 12) + 12) % 12;
  std::string name = classNameInLayout(pitchClass, notes, captions);
  const int octave = pitch / 12 - 1;  // 4: the octave from middle c
  if (octave >= 4) return name + std::to_string(octave - 3);
  if (octave == 3) return name;
  name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return octave == 2 ? name : name + std::to_string(2 - octave);
}

std::string describe(const ImportNote& note, UiLanguage language) {
  const auto say = [language](Text id, std::initializer_list<std::string> args = {}) {
    return uiText(language, id, args);
  };
  const std::string where =
      note.bar < 0    ? std::string()
      : note.bar == 0 ? say(Text::ImportAtPickup, {std::to_string(note.beat)})
                      : say(Text::ImportAt, {std::to_string(note.bar), std::to_string(note.beat)});
  const std::string count = std::to_string(note.count), other = std::to_string(note.other);
  switch (note.kind) {
    case ImportNote::Kind::NoButton:
      return say(Text::ImportNoButton, {where, note.note});
    case ImportNote::Kind::NoButtonPush:
      return say(Text::ImportNoButtonPush, {where, note.note});
    case ImportNote::Kind::NoButtonPull:
      return say(Text::ImportNoButtonPull, {where, note.note});
    case ImportNote::Kind::ChordCut:
      return say(Text::ImportChordCut, {where, count});
    case ImportNote::Kind::Merged:
      return say(Text::ImportMerged, {where, count});
    case ImportNote::Kind::RecordFull:
      return say(Text::ImportRecordFull, {where, count, other});
    case ImportNote::Kind::Grid: {
      const Text grid = note.count == 4   ? Text::GridSixteenths
                        : note.count == 2 ? Text::GridEighths
                                          : Text::GridQuarters;
      if (note.other == 0) return say(Text::ImportGridExact, {say(grid)});
      return say(Text::ImportGrid, {say(grid), other, where});
    }
    case ImportNote::Kind::TempoChanges:
      return say(Text::ImportTempoChanges, {count, other});
    case ImportNote::Kind::MeterChanges:
      return say(Text::ImportMeterChanges, {count});
    case ImportNote::Kind::MeterNotKept:
      return say(Text::ImportMeterNotKept, {note.note});
    case ImportNote::Kind::PartialBar:
      return say(Text::ImportPartialBar, {where});
  }
  return {};
}

std::string buttonLineOf(const ImportedEvent& event) {
  if (event.buttons.empty()) return event.ringing ? kBreakPlay : kBreakMute;
  std::string line;
  for (int b : event.buttons) line += right("00" + std::to_string(b), 2) + "/";
  return line;
}

namespace {

/// The candidates of each chord: in the direction the file gives, or else in the
/// direction(s) in which most of its pitches have buttons (no chord needs both).
std::vector<std::vector<Candidate>> candidatesOf(const std::vector<ChordToFinger>& chords, const Keys& keys) {
  std::vector<std::vector<Candidate>> options(chords.size());
  for (std::size_t e = 0; e < chords.size(); ++e) {
    const ChordToFinger& chord = chords[e];
    if (chord.pitches.empty()) continue;
    std::size_t pullPlayable = 0, pushPlayable = 0;
    auto pull = chord.push != true ? candidatesIn(chord, keys, false, pullPlayable) : std::vector<Candidate>{};
    auto push = chord.push != false ? candidatesIn(chord, keys, true, pushPlayable) : std::vector<Candidate>{};
    const std::size_t best = std::max(pullPlayable, pushPlayable);
    if (best == 0) continue;
    if (pullPlayable == best) options[e].insert(options[e].end(), pull.begin(), pull.end());
    if (pushPlayable == best) options[e].insert(options[e].end(), push.begin(), push.end());
  }
  return options;
}

constexpr long long kNoPath = std::numeric_limits<long long>::max() / 4;

/// A chord of the search: the cheapest way to each of its states (candidate, events in the
/// same direction so far) and the state of the chord before on that way.
struct SearchStep {
  std::size_t event;
  std::vector<long long> cost;  // [candidate * cap + run - 1]
  std::vector<int> from;
};

/// The next chord's states, from those of the chord before.
void stepFrom(const SearchStep& before, const std::vector<Candidate>& there, const std::vector<Candidate>& here,
              const Keys& keys, const FingeringCosts& costs, int reversal, SearchStep& step) {
  const int cap = costs.airEvents + 1;
  for (std::size_t i = 0; i < there.size(); ++i) {
    for (int run = 1; run <= cap; ++run) {
      const long long base = before.cost[i * std::size_t(cap) + std::size_t(run - 1)];
      if (base >= kNoPath) continue;
      for (std::size_t j = 0; j < here.size(); ++j) {
        const bool same = there[i].push == here[j].push;
        const int next = same ? std::min(run + 1, cap) : 1;
        long long cost = base + here[j].spread * costs.spread + costs.jump * keys.distance(there[i].buttons[0], here[j].buttons[0]);
        if (!same) cost += reversal;
        if (next > costs.airEvents) cost += costs.longRun;
        const std::size_t to = j * std::size_t(cap) + std::size_t(next - 1);
        if (cost < step.cost[to]) {
          step.cost[to] = cost;
          step.from[to] = int(i * std::size_t(cap) + std::size_t(run - 1));
        }
      }
    }
  }
}

/// The shortest path over the chords' states, chord by chord.
std::vector<SearchStep> search(const std::vector<ChordToFinger>& chords, const std::vector<std::vector<Candidate>>& options,
                               const Keys& keys, const FingeringCosts& costs) {
  const int cap = costs.airEvents + 1;
  std::vector<SearchStep> steps;
  bool restBefore = false;
  for (std::size_t e = 0; e < chords.size(); ++e) {
    restBefore = restBefore || chords[e].restBefore || chords[e].pitches.empty();
    if (options[e].empty()) continue;
    const auto& here = options[e];
    SearchStep step{e, std::vector<long long>(here.size() * std::size_t(cap), kNoPath),
                    std::vector<int>(here.size() * std::size_t(cap), -1)};
    if (steps.empty()) {
      for (std::size_t j = 0; j < here.size(); ++j) step.cost[j * std::size_t(cap)] = here[j].spread;
    } else {
      // A rest gives the bellows time to turn.
      const int reversal = restBefore ? costs.reversal / 3 : costs.reversal;
      stepFrom(steps.back(), options[steps.back().event], here, keys, costs, reversal, step);
    }
    steps.push_back(std::move(step));
    restBefore = false;
  }
  return steps;
}

/// What each chord lost, and why: no button at all, or none the way its bellows go.
void noteMissing(const std::vector<ChordToFinger>& chords, const std::vector<ImportedEvent>& out, const Keys& keys,
                 std::vector<MissingPitch>& missing) {
  for (std::size_t e = 0; e < chords.size(); ++e) {
    const auto& buttons = out[e].buttons;
    const std::optional<bool> push = !buttons.empty() ? std::optional<bool>(keys.at(buttons[0]).push) : chords[e].push;
    for (int pitch : std::set<int>(chords[e].pitches.begin(), chords[e].pitches.end())) {
      const bool placed = std::any_of(buttons.begin(), buttons.end(), [&](int b) { return keys.at(b).note == pitch; });
      if (placed) continue;
      const bool anywhere = hasButtonIn(pitch, keys, false) || hasButtonIn(pitch, keys, true);
      missing.push_back({int(e), pitch, anywhere ? push : std::nullopt});
    }
  }
}

/// The search itself, on any treble: the buttons of each chord (numbers of `keys`).
std::vector<ImportedEvent> fingerOn(const std::vector<ChordToFinger>& chords, const Keys& keys,
                                    std::vector<MissingPitch>& missing, const FingeringCosts& costs) {
  const auto options = candidatesOf(chords, keys);
  const std::vector<SearchStep> steps = search(chords, options, keys, costs);
  const int cap = costs.airEvents + 1;
  std::vector<ImportedEvent> out(chords.size());
  if (!steps.empty()) {
    const auto& last = steps.back().cost;
    int state = int(std::min_element(last.begin(), last.end()) - last.begin());
    for (std::size_t s = steps.size(); s-- > 0;) {
      const SearchStep& step = steps[s];
      std::vector<int> buttons = options[step.event][std::size_t(state / cap)].buttons;
      std::sort(buttons.begin(), buttons.end());
      out[step.event].buttons = std::move(buttons);
      state = step.from[std::size_t(state)];
    }
  }
  noteMissing(chords, out, keys, missing);
  return out;
}

}  // namespace

std::vector<ImportedEvent> fingerChords(const std::vector<ChordToFinger>& chords,
                                        const ButtonNotes& notes,
                                        std::vector<MissingPitch>& missing,
                                        const FingeringCosts& costs) {
  return fingerOn(chords, keysOf(notes), missing, costs);
}

std::vector<std::vector<ButtonAt>> fingerChords(const std::vector<ChordToFinger>& chords,
                                                const Instrument& instrument,
                                                std::vector<MissingPitch>& missing,
                                                const FingeringCosts& costs) {
  const Keys keys = keysOf(instrument);
  std::vector<std::vector<ButtonAt>> out;
  for (const ImportedEvent& event : fingerOn(chords, keys, missing, costs)) {
    std::vector<ButtonAt> chord;
    for (int id : event.buttons) {
      const Key& k = keys.at(id);
      chord.push_back({k.push, k.row, k.number});
    }
    out.push_back(std::move(chord));
  }
  return out;
}

std::vector<ImportedEvent> fingerChords(const std::vector<std::vector<int>>& chords,
                                        const ButtonNotes& notes,
                                        std::vector<std::pair<int, int>>& missing,
                                        const FingeringCosts& costs) {
  std::vector<ChordToFinger> toFinger;
  for (const auto& pitches : chords) toFinger.push_back({pitches, {}, std::nullopt, false});
  std::vector<MissingPitch> lost;
  auto out = fingerChords(toFinger, notes, lost, costs);
  for (const auto& m : lost) missing.push_back({m.chord, m.pitch});
  return out;
}

namespace {

/// The events of the placed groups: silence up to each chord, the chord, its ringing rests. A
/// silence at the end belongs to the tune only up to the step `end` the file says it goes on
/// to (a lesson's closing rest gives replay its breath before the loop starts again).
std::vector<ImportedEvent> eventsOf(const Placement& p, const std::vector<ImportedEvent>& fingered,
                                    long long end) {
  std::vector<ImportedEvent> events;
  long long at = p.shift;
  for (std::size_t g = 0; g < p.groups.size(); ++g) {
    const Group& group = p.groups[g];
    for (; at < group.step; ++at) events.push_back({});
    const bool sounds = fingered[g].plays();
    events.push_back(fingered[g]);
    for (++at; at < group.end; ++at) events.push_back({{}, sounds});
  }
  for (; at < end; ++at) events.push_back({});
  while (!events.empty() && !events.back().plays() && !events.back().ringing &&
         p.shift + static_cast<long long>(events.size()) > end)
    events.pop_back();
  return events;
}

/// Whole bars of silence before the first chord (left where notes no button has came first)
/// say nothing: a file that starts with them imports without them, so a record exported and
/// imported again keeps its events. A silent pickup goes with them (and the record then has
/// none), as when it is read.
/// Returns how many events were dropped.
std::ptrdiff_t dropLeadingSilentBars(ImportResult& result) {
  const auto sounding =
      std::find_if(result.events.begin(), result.events.end(),
                   [](const ImportedEvent& e) { return e.plays() || e.ringing; });
  const std::ptrdiff_t bar = std::max(1, result.meter.stepsPerBar());
  const std::ptrdiff_t pickup = result.meter.pickupSteps;
  const std::ptrdiff_t leading = sounding - result.events.begin();
  std::ptrdiff_t dropped = 0;
  if (pickup == 0) {
    dropped = leading / bar * bar;
  } else if (leading >= pickup + bar) {
    dropped = pickup + (leading - pickup) / bar * bar;
    result.meter.pickupSteps = 0;
  }
  result.events.erase(result.events.begin(), result.events.begin() + dropped);
  return dropped;
}

}  // namespace

long long recordStepOf(long long tick, const Tune& tune, const ImportResult& result) {
  const int grid = std::max(1, result.meter.stepsPerBeat);
  return stepOf(tick, grid, std::max(1, tune.division)) - result.firstGridStep;
}

namespace {

bool byTick(const TuneNote& a, const TuneNote& b) {
  return a.tick < b.tick;
}

/// The tune's notes joined into chords by onset, each with the bellows in force then. Only as
/// far as a record can reach (a step is at least a sixteenth, at most a beat): the work is
/// bounded by what is kept, however long the file. A window shorter than a tick joins only
/// notes that start together: a score's coarse time unit (a quarter or an eighth a tick) must
/// not make a chord of two notes in a row. `next`: the first note left out.
std::vector<RawChord> rawChordsOf(const Tune& tune, const std::vector<TuneNote>& all, int maxEvents,
                                  double chordWindowBeats, std::size_t& next) {
  const int division = std::max(1, tune.division);
  const auto window = static_cast<long long>(division * chordWindowBeats);
  std::vector<RawChord> chords;
  std::size_t turn = 0;
  std::optional<bool> push;
  const long long reach = all.empty() ? 0 : all.front().tick + (maxEvents + 1LL) * division;
  next = 0;
  while (next < all.size() && all[next].tick < reach) {
    RawChord chord;
    chord.onset = chord.end = all[next].tick;
    chord.firstNote = next;
    std::set<std::pair<int, int>> sounds;
    for (; next < all.size() && all[next].tick - chord.onset <= window; ++next) {
      sounds.insert({all[next].pitch, all[next].row});
      chord.end = std::max(chord.end, all[next].tick + std::max(0LL, all[next].length));
    }
    chord.sounds.assign(sounds.begin(), sounds.end());
    while (turn < tune.bellows.size() && tune.bellows[turn].first <= chord.onset)
      push = tune.bellows[turn++].second;
    chord.push = push;
    chords.push_back(std::move(chord));
  }
  return chords;
}

/// The grid: the coarsest that places the notes well, from the file's own grid on; if none
/// does, the one that moves them least.
Placement choosePlacement(const Tune& source, const std::vector<RawChord>& chords, int maxEvents) {
  const int division = std::max(1, source.division);
  std::vector<Placement> placements;
  for (int grid : {1, 2, 4})
    if (grid >= source.stepsPerBeatAtLeast || grid == 4)
      placements.push_back(place(source, chords, grid, maxEvents));
  for (auto& p : placements)
    if (placesWell(p, division)) return std::move(p);
  return std::move(
      *std::min_element(placements.begin(), placements.end(), [](const auto& a, const auto& b) {
        return std::max(a.onsetError, a.endError) * b.grid < std::max(b.onsetError, b.endError) * a.grid;
      }));
}

Meter meterOf(const Tune& tune, const Placement& p) {
  Meter meter;
  meter.beatsPerBar = std::clamp(tune.beatsPerBar, 1, 12);
  meter.stepsPerBeat = p.grid;
  meter.pickupSteps = static_cast<int>(p.pickup);
  meter.tempo = tune.tempo > 0 ? std::clamp(tune.tempo, 20, 300) : 0;
  if (!isValidMeter(meter)) meter.pickupSteps = 0;
  return meter;
}

using AtStep = std::function<ImportNote(long long step, ImportNote note)>;

/// The placed groups as chords to finger; a group of more notes than a chord can have keeps
/// its highest, and the cut is noted.
std::vector<ChordToFinger> chordsToFinger(const Placement& p, const std::vector<RawChord>& chords,
                                          const AtStep& atStep, std::vector<ImportNote>& cut) {
  std::vector<ChordToFinger> toFinger;
  for (const Group& group : p.groups) {
    std::set<std::pair<int, int>> sounds;
    for (std::size_t c : group.chords) sounds.insert(chords[c].sounds.begin(), chords[c].sounds.end());
    std::vector<std::pair<int, int>> kept(sounds.begin(), sounds.end());
    std::set<int> pitches;
    for (const auto& s : kept) pitches.insert(s.first);
    if (pitches.size() > kMostNotesInAChord) {
      cut.push_back(atStep(group.step, {ImportNote::Kind::ChordCut, 0, 0, {}, static_cast<long long>(pitches.size()), 0}));
      const int lowestKept = *std::prev(pitches.end(), long(kMostNotesInAChord));
      kept.erase(std::remove_if(kept.begin(), kept.end(), [&](const auto& s) { return s.first < lowestKept; }),
                 kept.end());
    }
    ChordToFinger chord;
    for (const auto& [pitch, row] : kept) {
      chord.pitches.push_back(pitch);
      chord.rows.push_back(row);
    }
    chord.push = chords[group.chords.front()].push;
    chord.restBefore = group.restBefore;
    toFinger.push_back(std::move(chord));
  }
  return toFinger;
}

int bellowsChangesOf(const std::vector<ImportedEvent>& events) {
  int changes = 0;
  std::optional<bool> pushing;
  for (const auto& event : events) {
    if (!event.plays()) continue;
    const bool eventPush = event.buttons.empty() ? event.beside.front().push
                                                 : event.buttons.front() >= kButtonsPerBlock;
    if (pushing && *pushing != eventPush) ++changes;
    pushing = eventPush;
  }
  return changes;
}

/// What was decided, changed or left out, in order of place: the grid and how far it moved
/// notes, notes merged, chords cut, notes no button has, and the notes past a full record.
void noteWhatWasDone(ImportResult& result, const Tune& tune, const Placement& p, const AtStep& atStep,
                     const std::vector<ImportNote>& cut, const std::vector<MissingPitch>& missing,
                     const std::function<std::string(int)>& nameOf) {
  const int division = std::max(1, tune.division);
  const long long shiftTicks = std::max(p.onsetError, p.endError);
  result.largestShiftMs =
      (shiftTicks * tune.microsPerQuarter + 500LL * division * p.grid) / (1000LL * division * p.grid);
  result.notes = tune.notesOnReading;
  ImportNote grid{ImportNote::Kind::Grid, -1, 0, {}, p.grid, result.largestShiftMs};
  result.notes.push_back(p.errorStep >= 0 ? atStep(p.errorStep, grid) : grid);
  if (p.merged > 0)
    result.notes.push_back(atStep(p.firstMergedStep, {ImportNote::Kind::Merged, 0, 0, {}, p.merged, 0}));
  result.notes.insert(result.notes.end(), cut.begin(), cut.end());
  for (const auto& m : missing) {
    const auto kind = !m.push   ? ImportNote::Kind::NoButton
                      : *m.push ? ImportNote::Kind::NoButtonPush
                                : ImportNote::Kind::NoButtonPull;
    result.notes.push_back(atStep(p.groups[std::size_t(m.chord)].step,
                                  {kind, 0, 0, nameOf(m.pitch), 0, 0}));
  }
}

/// How the chords of a tune get their buttons (on a layout or on an instrument), and how the
/// pitches no button has are named.
struct Fingerer {
  std::function<std::vector<ImportedEvent>(const std::vector<ChordToFinger>&, std::vector<MissingPitch>&)> finger;
  std::function<std::string(int pitch)> name;
};

ImportResult importWith(const Tune& tune, const Fingerer& fingerer, const ImportOptions& options) {
  ImportResult result;
  const int division = std::max(1, tune.division);
  const int maxEvents = std::max(1, options.maxEvents);
  Tune sorted;
  const Tune* source = &tune;
  if (!std::is_sorted(tune.notes.begin(), tune.notes.end(), byTick)) {
    sorted = tune;
    std::stable_sort(sorted.notes.begin(), sorted.notes.end(), byTick);
    source = &sorted;
  }
  const auto& all = source->notes;
  std::size_t next = 0;
  const std::vector<RawChord> chords = rawChordsOf(tune, all, maxEvents, options.chordWindowBeats, next);
  if (chords.empty()) return result;

  const Placement p = choosePlacement(*source, chords, maxEvents);
  result.meter = meterOf(tune, p);
  // Places are said in the file's bars, whatever silence is dropped at the start below.
  const AtStep atStep = [&p, fileMeter = result.meter](long long step, ImportNote note) {
    return located(fileMeter, step - p.shift, std::move(note));
  };

  std::vector<ImportNote> cut;
  std::vector<MissingPitch> missing;
  const auto fingered = fingerer.finger(chordsToFinger(p, chords, atStep, cut), missing);
  const long long end = tune.endTick ? std::min(p.shift + maxEvents, stepOf(*tune.endTick, p.grid, division)) : 0;
  result.events = eventsOf(p, fingered, end);
  result.firstGridStep = p.shift + dropLeadingSilentBars(result);
  result.bellowsChanges = bellowsChangesOf(result.events);

  noteWhatWasDone(result, tune, p, atStep, cut, missing, fingerer.name);
  const std::size_t firstLeft = p.chordsKept < chords.size() ? chords[p.chordsKept].firstNote : next;
  if (firstLeft < all.size()) {
    const long long left = static_cast<long long>(all.size() - firstLeft);
    result.notes.push_back(atStep(stepOf(all[firstLeft].tick, p.grid, division),
                                  {ImportNote::Kind::RecordFull, 0, 0, {}, maxEvents, left}));
  }
  return result;
}

/// A pitch's name as the instrument names a button that sounds it; for a pitch no button has,
/// a name made in the layouts' manner.
std::string pitchNameOn(const Instrument& instrument, int pitch) {
  for (const TrebleRow& row : instrument.treble)
    for (const TrebleButton& button : row.buttons) {
      if (button.push == pitch && !button.pushName.empty()) return button.pushName;
      if (button.pull == pitch && !button.pullName.empty()) return button.pullName;
    }
  return pitchName(pitch, ButtonNotes{}, {});
}

}  // namespace

ImportResult importTune(const Tune& tune, const ButtonNotes& notes, const ImportOptions& options) {
  const Fingerer onLayout{
      [&notes](const std::vector<ChordToFinger>& chords, std::vector<MissingPitch>& missing) {
        return fingerChords(chords, notes, missing);
      },
      [&](int pitch) { return pitchName(pitch, notes, options.captions); }};
  return importWith(tune, onLayout, options);
}

ImportResult importTune(const Tune& tune, const Instrument& instrument, const ImportOptions& options) {
  const auto finger = [&instrument](const std::vector<ChordToFinger>& chords,
                                    std::vector<MissingPitch>& missing) {
    std::vector<ImportedEvent> events;
    for (const std::vector<ButtonAt>& chord : fingerChords(chords, instrument, missing)) {
      const SplitChord split = splitChord(instrument, chord);
      ImportedEvent event;
      if (!isRestMarker(split.buttonLine)) event.buttons = buttonsOfLine(split.buttonLine);
      std::sort(event.buttons.begin(), event.buttons.end());
      event.beside = split.overflow;
      events.push_back(std::move(event));
    }
    return events;
  };
  const Fingerer onRows{finger, [&instrument](int pitch) { return pitchNameOn(instrument, pitch); }};
  return importWith(tune, onRows, options);
}

ButtonNotes recordNotesOf(const Instrument& instrument) {
  ButtonNotes notes{};
  for (int id = 0; id < recordNumbering().count(); ++id) {
    const ButtonAt at = *recordNumbering().placeOf(id);
    if (const TrebleButton* button = trebleButtonAt(instrument, at))
      notes[std::size_t(id)] = at.push ? button->push : button->pull;
  }
  return notes;
}

bool sameFirstRows(const Instrument& instrument, const ButtonNotes& layout) {
  const ButtonNotes rows = recordNotesOf(instrument);
  for (std::size_t b = 0; b < rows.size(); ++b)
    if (rows[b] && rows[b] != layout[b]) return false;
  return true;
}

std::vector<HandButton> trebleBesideOf(const ImportResult& imported) {
  std::vector<HandButton> out;
  for (std::size_t i = 0; i < imported.events.size(); ++i)
    for (const ButtonAt& at : imported.events[i].beside)
      out.push_back({static_cast<int>(i + 1), Hand::Treble, at});
  return out;
}

std::pair<std::string, std::string> recordLinesOf(const ImportedEvent& event,
                                                  const Instrument& instrument) {
  if (event.buttons.empty()) return {buttonLineOf(event), buttonLineOf(event)};
  std::vector<ButtonAt> chord;
  for (int number : event.buttons) chord.push_back(*recordNumbering().placeOf(number));
  const SplitChord split = splitChord(instrument, chord);
  return {split.buttonLine, split.nameLine};
}

}  // namespace tastrello
