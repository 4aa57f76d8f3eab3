#include "exchange/midi_lesson.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "records/record_format.h"
#include "shell/text.h"
#include "sound/layout_format.h"

namespace tastrello {

namespace {

constexpr int kPercussionChannel = 9;
constexpr std::size_t kCandidatesPerDirection = 16;
constexpr std::size_t kCombinationsTried = 256;

/// The row of a button (0, 1, 2): the column of its index; the twelfth middle button is row 2.
int rowOf(int button) {
  const int place = button % kButtonsPerBlock;
  return place == 33 ? 1 : place % 3;
}

std::string barAndBeat(long long tick, int division) {
  const long long bar = tick / (4LL * division) + 1;
  const long long beat = tick % (4LL * division) / division + 1;
  return "bar " + std::to_string(bar) + ", beat " + std::to_string(beat);
}

struct Candidate {
  std::vector<int> buttons;  ///< one per pitch that has a button in this direction
  bool push = false;
  int spread = 0;
};

int spreadOf(const std::vector<int>& buttons) {
  int spread = 0;
  for (std::size_t a = 0; a < buttons.size(); ++a)
    for (std::size_t b = a + 1; b < buttons.size(); ++b)
      spread += buttonDistance(buttons[a], buttons[b]);
  return spread;
}

/// The ways to play a chord in one direction: a button for each pitch that has one there.
std::vector<Candidate> candidatesIn(const std::vector<int>& pitches, const ButtonNotes& notes,
                                    bool push, std::vector<int>& playable) {
  std::vector<std::vector<int>> choices;
  playable.clear();
  const int base = push ? kButtonsPerBlock : 0;
  for (int pitch : pitches) {
    std::vector<int> buttons;
    for (int b = base; b < base + kButtonsPerBlock; ++b)
      if (notes[std::size_t(b)] == pitch) buttons.push_back(b);
    if (buttons.empty()) continue;
    playable.push_back(pitch);
    choices.push_back(std::move(buttons));
  }
  std::vector<Candidate> out;
  if (choices.empty()) return out;
  std::vector<std::size_t> pick(choices.size(), 0);
  for (std::size_t tried = 0; tried < kCombinationsTried; ++tried) {
    Candidate c{{}, push, 0};
    for (std::size_t i = 0; i < choices.size(); ++i) c.buttons.push_back(choices[i][pick[i]]);
    if (std::set<int>(c.buttons.begin(), c.buttons.end()).size() == c.buttons.size()) {
      c.spread = spreadOf(c.buttons);
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

}  // namespace

std::string exportRecordToMidi(const std::vector<std::string>& buttonLines,
                               const ButtonNotes& notes, const ExportSettings& settings) {
  std::vector<std::vector<MidiEvent>> rows(3);
  const auto program = static_cast<std::uint8_t>(std::clamp(settings.program, 1, 128) - 1);
  for (int row = 0; row < 3; ++row)
    rows[std::size_t(row)].push_back({0, {std::uint8_t(0xC0 | row), program}});
  std::vector<std::pair<int, int>> sounding;  // (row, pitch)
  auto stopAll = [&](long long tick) {
    for (const auto& [row, pitch] : sounding)
      rows[std::size_t(row)].push_back({tick, {std::uint8_t(0x80 | row), std::uint8_t(pitch), 0}});
    sounding.clear();
  };
  std::optional<bool> push;
  const auto controller = static_cast<std::uint8_t>(std::clamp(settings.bellowsController, 0, 119));
  long long tick = 0;
  for (const auto& line : buttonLines) {
    if (line == kBreakMute) {
      stopAll(tick);
    } else if (line != kBreakPlay) {  // a rest that plays lets the notes ring through it
      stopAll(tick);
      const auto buttons = buttonsOfLine(line);
      const Bellows bellows = bellowsOfButtons(buttons);
      if (bellows != Bellows::None) {
        const bool eventPush = bellows != Bellows::Pull;
        if (push != eventPush) {
          rows[0].push_back({tick, {0xB0, controller, std::uint8_t(eventPush ? 127 : 0)}});
          push = eventPush;
        }
      }
      for (int button : buttons) {
        const auto pitch = notes[std::size_t(button)];
        if (!pitch || *pitch < 0 || *pitch > 127) continue;
        const int row = rowOf(button);
        rows[std::size_t(row)].push_back(
            {tick, {std::uint8_t(0x90 | row), std::uint8_t(*pitch), 100}});
        sounding.push_back({row, *pitch});
      }
    }
    tick += kExportDivision;
  }
  stopAll(tick);
  const long long tempo = std::max(1, settings.intervalMs) * 1000LL;
  return writeMidiFile(kExportDivision, tempo, settings.name, rows);
}

ButtonNotes buttonNotesOf(const NoteLayout& layout) {
  ButtonNotes notes{};
  for (int b = 0; b < kKeyCount; ++b)
    if (const auto& entry = layout.notes[std::size_t(b)])
      notes[std::size_t(b)] = parseInt16(*entry);
  return notes;
}

std::pair<std::string, std::string> eventLines(const std::vector<int>& buttons,
                                               const std::array<std::string, kKeyCount>& captions) {
  std::string buttonLine, nameLine;
  for (int b : buttons) {
    if (b < 0 || b >= kKeyCount) continue;
    buttonLine += right("00" + std::to_string(b), 2) + "/";
    nameLine += right(captions[std::size_t(b)], 3) + "/";
  }
  return {buttonLine, nameLine};
}

std::vector<MidiPart> midiParts(const MidiFileContent& file) {
  std::map<std::pair<int, int>, int> counts;  // (track, channel) -> notes
  for (const auto& note : file.notes)
    ++counts[{file.format == 0 ? -1 : note.track, file.format == 0 ? note.channel : -1}];
  std::vector<MidiPart> parts;
  if (counts.size() < 2) return parts;
  for (const auto& [key, n] : counts) {
    MidiPart part{key.first, key.second, n, {}};
    if (part.track >= 0) {
      const std::string& name = file.names[std::size_t(part.track)];
      part.label = "Track " + std::to_string(part.track + 1) + (name.empty() ? "" : ": " + name);
    } else {
      part.label = "Channel " + std::to_string(part.channel + 1);
    }
    part.label += " (" + std::to_string(n) + " notes)";
    parts.push_back(std::move(part));
  }
  return parts;
}

std::vector<ImportedEvent> fingerChords(const std::vector<std::vector<int>>& chords,
                                        const ButtonNotes& notes,
                                        std::vector<std::pair<int, int>>& missing,
                                        const FingeringCosts& costs) {
  // The candidates of each chord: the direction(s) in which most of its pitches have buttons.
  std::vector<std::vector<Candidate>> options(chords.size());
  for (std::size_t e = 0; e < chords.size(); ++e) {
    if (chords[e].empty()) continue;
    std::vector<int> pullPlayable, pushPlayable;
    auto pull = candidatesIn(chords[e], notes, false, pullPlayable);
    auto push = candidatesIn(chords[e], notes, true, pushPlayable);
    // No chord needs both directions: only the direction(s) that play the most of it count.
    const std::size_t best = std::max(pullPlayable.size(), pushPlayable.size());
    if (pullPlayable.size() == best) options[e].insert(options[e].end(), pull.begin(), pull.end());
    if (pushPlayable.size() == best) options[e].insert(options[e].end(), push.begin(), push.end());
    if (options[e].empty())
      for (int pitch : chords[e]) missing.push_back({int(e), pitch});
  }

  // Shortest path over (candidate, events in the same direction so far), chord by chord.
  const int cap = costs.airEvents + 1;
  constexpr long long kNone = std::numeric_limits<long long>::max() / 4;
  struct Step {
    std::size_t event;
    std::vector<long long> cost;  // [candidate * cap + run - 1]
    std::vector<int> from;        // the state of the chord before
  };
  std::vector<Step> steps;
  bool restBefore = false;
  for (std::size_t e = 0; e < chords.size(); ++e) {
    if (options[e].empty()) {
      restBefore = restBefore || chords[e].empty();
      continue;
    }
    const auto& here = options[e];
    Step step{e, std::vector<long long>(here.size() * std::size_t(cap), kNone),
              std::vector<int>(here.size() * std::size_t(cap), -1)};
    if (steps.empty()) {
      for (std::size_t j = 0; j < here.size(); ++j)
        step.cost[j * std::size_t(cap)] = here[j].spread;
    } else {
      const Step& before = steps.back();
      const auto& there = options[before.event];
      // A rest gives the bellows time to turn.
      const int reversal = restBefore ? costs.reversal / 3 : costs.reversal;
      for (std::size_t i = 0; i < there.size(); ++i) {
        for (int run = 1; run <= cap; ++run) {
          const long long base = before.cost[i * std::size_t(cap) + std::size_t(run - 1)];
          if (base >= kNone) continue;
          for (std::size_t j = 0; j < here.size(); ++j) {
            const bool same = there[i].push == here[j].push;
            const int next = same ? std::min(run + 1, cap) : 1;
            long long cost = base + here[j].spread * costs.spread +
                             costs.jump * buttonDistance(there[i].buttons[0], here[j].buttons[0]);
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
    steps.push_back(std::move(step));
    restBefore = false;
  }

  std::vector<ImportedEvent> out(chords.size());
  if (steps.empty()) return out;
  std::sort(missing.begin(), missing.end());
  const auto& last = steps.back().cost;
  int state = int(std::min_element(last.begin(), last.end()) - last.begin());
  for (std::size_t s = steps.size(); s-- > 0;) {
    const Step& step = steps[s];
    const auto& chosen = options[step.event][std::size_t(state / cap)];
    std::vector<int> buttons = chosen.buttons;
    std::sort(buttons.begin(), buttons.end());
    out[step.event].buttons = buttons;
    for (int pitch : chords[step.event]) {
      const bool placed = std::any_of(buttons.begin(), buttons.end(),
                                      [&](int b) { return notes[std::size_t(b)] == pitch; });
      if (!placed) missing.push_back({int(step.event), pitch});
    }
    state = step.from[std::size_t(state)];
  }
  std::sort(missing.begin(), missing.end());
  return out;
}

ImportResult importMidi(const MidiFileContent& file, const MidiPart& part, const ButtonNotes& notes,
                        const ImportOptions& options) {
  ImportResult result;
  std::vector<MidiNote> chosen;
  for (const auto& note : file.notes) {
    if (part.track >= 0 && note.track != part.track) continue;
    if (part.channel >= 0 ? note.channel != part.channel : note.channel == kPercussionChannel)
      continue;
    chosen.push_back(note);
  }
  // Chords by onset; a gap of a beat or more becomes rests, one a beat (a rest in a record is
  // one beat of silence, so a single rest comes back as one).
  const long long window = std::max(1LL, std::llround(file.division * options.chordWindowBeats));
  std::vector<std::vector<int>> chords;
  std::vector<long long> onsets;
  long long soundingUntil = -1;
  for (std::size_t n = 0; n < chosen.size();) {
    const long long start = chosen[n].tick;
    if (soundingUntil >= 0 && start - soundingUntil >= file.division) {
      const long long rests = std::min<long long>(
          8, std::llround(double(start - soundingUntil) / double(file.division)));
      for (long long r = 0; r < rests; ++r) {
        chords.emplace_back();
        onsets.push_back(soundingUntil + r * file.division);
      }
    }
    std::set<int> pitches;
    long long end = start;
    for (; n < chosen.size() && chosen[n].tick - start <= window; ++n) {
      pitches.insert(chosen[n].pitch);
      end = std::max(end, chosen[n].tick + std::max(0LL, chosen[n].length));
    }
    std::vector<int> chord(pitches.begin(), pitches.end());
    if (chord.size() > 4) {
      result.problems.push_back(barAndBeat(start, file.division) + ": a chord of " +
                                std::to_string(chord.size()) +
                                " notes; the four highest were kept");
      chord.erase(chord.begin(), chord.end() - 4);
    }
    chords.push_back(std::move(chord));
    onsets.push_back(start);
    soundingUntil = std::max(soundingUntil, end);
  }
  std::vector<std::pair<int, int>> missing;
  auto fingered = fingerChords(chords, notes, missing, {});
  for (const auto& [event, pitch] : missing)
    result.problems.push_back(barAndBeat(onsets[std::size_t(event)], file.division) + ": note " +
                              std::to_string(pitch) +
                              " has no button in the chord's direction; left out");
  std::optional<bool> push;
  for (std::size_t e = 0; e < fingered.size(); ++e) {
    // A chord whose notes all were left out is no event; a rest is.
    if (fingered[e].buttons.empty() && !chords[e].empty()) continue;
    if (!fingered[e].buttons.empty()) {
      const bool p = fingered[e].buttons[0] >= kButtonsPerBlock;
      if (push && *push != p) ++result.bellowsChanges;
      push = p;
    }
    result.events.push_back(std::move(fingered[e]));
  }
  // A rest at either end says nothing.
  while (!result.events.empty() && result.events.back().buttons.empty()) result.events.pop_back();
  if (static_cast<int>(result.events.size()) > options.maxEvents) {
    result.problems.push_back("the piece has " + std::to_string(result.events.size()) +
                              " events; a record holds " + std::to_string(options.maxEvents) +
                              ", the first were taken");
    result.events.resize(std::size_t(options.maxEvents));
  }
  return result;
}

}  // namespace tastrello
