#include "practice/play_along.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <utility>

#include "practice/practice.h"

namespace tastrello {

namespace {

constexpr double kLongestReach = 0.4;  // a chord is looked for at most this far after its moment
constexpr double kFirstReach = 0.5;    // and before the first chord of a pass

bool contains(const std::vector<int>& v, int x) {
  return std::find(v.begin(), v.end(), x) != v.end();
}

int milliseconds(double seconds) {
  return static_cast<int>(std::lround(seconds * 1000.0));
}

}  // namespace

PlayAlongJudge::PlayAlongJudge(int windowMs, double offsetSeconds)
    : windowMs_(std::max(1, windowMs)), offset_(offsetSeconds) {}

void PlayAlongJudge::expect(const ChordDue& due) {
  Open chord;
  chord.due = due;
  chord.expected = due.at + offset_;
  const double window = windowMs_ / 1000.0;
  // A press belongs to the chord whose moment is nearer: the half-way point to the chord before
  // divides them, also when that one is judged and done with.
  chord.earliest = lastExpected_ ? (*lastExpected_ + chord.expected) / 2
                                 : chord.expected - std::max(kFirstReach, window);
  lastExpected_ = chord.expected;
  const double reach = std::min(kLongestReach, (due.until - due.at) / 2);
  chord.latest = chord.expected + std::max(window, reach);
  if (!open_.empty()) open_.back().latest = std::min(open_.back().latest, chord.earliest);
  open_.push_back(std::move(chord));
  takeLoose(open_.back());
}

void PlayAlongJudge::takeLoose(Open& chord) {
  // The changes in the chord's reach, in the order they came, with what was held after each: a
  // chord played there counts however soon it was let go (one that rings on is judged for its
  // hold as well).
  for (const Change& change : loose_) {
    if (change.at < chord.earliest) continue;
    letGo(chord, change.at, change.released);
    if (!chord.played && !change.pressed.empty())
      press(chord, change.at, change.pressed, change.held);
  }
  loose_.clear();
}

PlayAlongJudge::Open* PlayAlongJudge::chordFor(double now) {
  Open* best = nullptr;
  for (auto& chord : open_) {
    if (chord.played || now < chord.earliest || now > chord.latest) continue;
    if (!best || std::abs(now - chord.expected) < std::abs(now - best->expected)) best = &chord;
  }
  return best;
}

void PlayAlongJudge::held(double now, const std::vector<int>& buttons) {
  Change change{now, {}, {}, buttons};
  for (int b : buttons)
    if (!contains(held_, b)) change.pressed.push_back(b);
  for (int b : held_)
    if (!contains(buttons, b)) change.released.push_back(b);
  held_ = buttons;

  for (auto& chord : open_) letGo(chord, now, change.released);
  Open* chord = change.pressed.empty() ? nullptr : chordFor(now);
  if (chord)
    press(*chord, now, change.pressed, held_);
  else
    keepLoose(std::move(change));
}

void PlayAlongJudge::keepLoose(Change change) {
  // Between chords: kept for the next one, which may not be handed over yet. Letting go
  // matters only after a press kept.
  if (change.pressed.empty() && loose_.empty()) return;
  constexpr double kKept = 2 * kFirstReach;
  const double now = change.at;
  loose_.erase(std::remove_if(loose_.begin(), loose_.end(),
                              [&](const Change& c) { return c.at < now - kKept; }),
               loose_.end());
  loose_.push_back(std::move(change));
}

void PlayAlongJudge::letGo(Open& chord, double at, const std::vector<int>& released) {
  // A chord held through ringing rests is let go too early when a button goes before the hold
  // ends (the last window's worth is forgiven); a chord of one step is played however short.
  if (!chord.played || chord.holdOver || chord.due.steps <= 1) return;
  const double ends = chord.due.until + offset_;
  const double window = windowMs_ / 1000.0;
  for (int b : released) {
    if (!contains(chord.due.buttons, b) || at >= ends - window) continue;
    ready_.push_back({chord.due.event, Timing::LetGoEarly, milliseconds(ends - at)});
    chord.holdOver = true;
    return;
  }
}

void PlayAlongJudge::press(Open& open, double now, const std::vector<int>& pressed,
                           const std::vector<int>& held) {
  Open* const chord = &open;
  for (int b : pressed) {
    if (contains(chord->due.buttons, b)) {
      if (!contains(chord->pressed, b)) chord->pressed.push_back(b);
      continue;
    }
    if (chord->wrongGiven) continue;  // one wrong verdict a chord
    chord->wrongGiven = true;
    const Verdict verdict = judgeButton(chord->due.buttons, b);
    ready_.push_back(
        {chord->due.event,
         verdict == Verdict::WrongDirection ? Timing::WrongDirection : Timing::WrongButton, 0});
  }
  const bool whole = std::all_of(chord->due.buttons.begin(), chord->due.buttons.end(),
                                 [&](int b) { return contains(held, b); });
  if (!whole) return;
  chord->played = chord->onsetJudged = true;
  chord->playedAt = now;
  const int ms = milliseconds(now - chord->expected);
  const Timing timing = ms < -windowMs_  ? Timing::Early
                        : ms > windowMs_ ? Timing::Late
                                         : Timing::OnTime;
  ready_.push_back({chord->due.event, timing, ms});
}

std::vector<TimedVerdict> PlayAlongJudge::judge(double now) {
  const double window = windowMs_ / 1000.0;
  for (auto& chord : open_) {
    if (!chord.onsetJudged && now > chord.latest) {
      chord.onsetJudged = true;
      if (!chord.wrongGiven) ready_.push_back({chord.due.event, Timing::Missed, 0});
    }
    if (chord.played && now >= chord.due.until + offset_ - window) chord.holdOver = true;
  }
  open_.erase(std::remove_if(open_.begin(), open_.end(),
                             [](const Open& c) {
                               return c.onsetJudged &&
                                      (!c.played || c.holdOver || c.due.steps <= 1);
                             }),
              open_.end());
  auto out = std::exchange(ready_, {});
  std::stable_sort(out.begin(), out.end(),
                   [](const TimedVerdict& a, const TimedVerdict& b) { return a.event < b.event; });
  return out;
}

TimingScore scoreOf(const std::vector<TimedVerdict>& verdicts) {
  TimingScore s;
  std::vector<int> chords;
  std::vector<double> deviations;
  for (const auto& v : verdicts) {
    if (v.timing != Timing::LetGoEarly && !contains(chords, v.event)) chords.push_back(v.event);
    switch (v.timing) {
      case Timing::OnTime:
        ++s.onTime;
        deviations.push_back(v.ms);
        break;
      case Timing::Early:
        ++s.early;
        deviations.push_back(v.ms);
        break;
      case Timing::Late:
        ++s.late;
        deviations.push_back(v.ms);
        break;
      case Timing::Missed:
        ++s.missed;
        break;
      case Timing::WrongButton:
        ++s.wrongButtons;
        break;
      case Timing::WrongDirection:
        ++s.wrongDirections;
        break;
      case Timing::LetGoEarly:
        ++s.letGoEarly;
        break;
    }
  }
  s.chords = static_cast<int>(chords.size());
  if (!deviations.empty()) {
    double sum = 0;
    for (double d : deviations) sum += d;
    const double mean = sum / double(deviations.size());
    double squares = 0;
    for (double d : deviations) squares += (d - mean) * (d - mean);
    s.meanMs = static_cast<int>(std::lround(mean));
    s.spreadMs = static_cast<int>(std::lround(std::sqrt(squares / double(deviations.size()))));
  }
  return s;
}

std::string formatPlayAlongPass(const PlayAlongPass& p) {
  const TimingScore& s = p.score;
  auto field = [](const char* key, int value) {
    return ";" + std::string(key) + "=" + std::to_string(value);
  };
  return "PLAY;" + p.when + field("bpm", p.bpm) + ";section=" + std::to_string(p.first) + "-" +
         std::to_string(p.last) + field("chords", s.chords) + field("ontime", s.onTime) +
         field("early", s.early) + field("late", s.late) + field("missed", s.missed) +
         field("buttons", s.wrongButtons) + field("directions", s.wrongDirections) +
         field("short", s.letGoEarly) + field("mean", s.meanMs) + field("spread", s.spreadMs) +
         field("window", p.windowMs);
}

std::optional<PlayAlongPass> parsePlayAlongPass(std::string_view line) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    const std::size_t semicolon = line.find(';', at);
    parts.push_back(
        line.substr(at, semicolon == std::string_view::npos ? line.size() - at : semicolon - at));
    if (semicolon == std::string_view::npos) break;
    at = semicolon + 1;
  }
  if (parts.size() != 15 || parts[0] != "PLAY" || parts[1].empty()) return std::nullopt;
  PlayAlongPass pass;
  pass.when = std::string(parts[1]);
  std::map<std::string_view, int> numbers;
  for (std::size_t i = 2; i < parts.size(); ++i) {
    const auto equals = parts[i].find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const auto key = parts[i].substr(0, equals);
    const auto value = parts[i].substr(equals + 1);
    if (key == "section") {
      const auto dash = value.find('-');
      if (dash == std::string_view::npos) return std::nullopt;
      for (auto [text, target] : {std::pair{value.substr(0, dash), &pass.first},
                                  std::pair{value.substr(dash + 1), &pass.last}}) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *target);
        if (text.empty() || error != std::errc() || end != text.data() + text.size())
          return std::nullopt;
      }
      continue;
    }
    int number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size() ||
        !numbers.emplace(key, number).second)
      return std::nullopt;
  }
  static constexpr std::string_view kKeys[] = {"bpm",   "chords", "ontime",  "early",
                                               "late",  "missed", "buttons", "directions",
                                               "short", "mean",   "spread",  "window"};
  for (auto key : kKeys)
    if (!numbers.count(key)) return std::nullopt;
  TimingScore& s = pass.score;
  pass.bpm = numbers["bpm"];
  s.chords = numbers["chords"];
  s.onTime = numbers["ontime"];
  s.early = numbers["early"];
  s.late = numbers["late"];
  s.missed = numbers["missed"];
  s.wrongButtons = numbers["buttons"];
  s.wrongDirections = numbers["directions"];
  s.letGoEarly = numbers["short"];
  s.meanMs = numbers["mean"];
  s.spreadMs = numbers["spread"];
  pass.windowMs = numbers["window"];
  const bool sane = pass.bpm >= 1 && pass.bpm <= 1000 && pass.first >= 1 &&
                    pass.last >= pass.first && pass.last <= 200 && s.chords >= 0 &&
                    s.chords <= 200 && s.onTime >= 0 && s.onTime <= s.chords && s.early >= 0 &&
                    s.late >= 0 && s.missed >= 0 && s.wrongButtons >= 0 && s.wrongDirections >= 0 &&
                    s.letGoEarly >= 0 && s.spreadMs >= 0 && pass.windowMs >= 1 &&
                    pass.windowMs <= 1000;
  if (!sane) return std::nullopt;
  return pass;
}

std::optional<double> tapOffset(const std::vector<double>& clicks, const std::vector<double>& taps,
                                double beatSeconds) {
  std::vector<double> distances;
  for (double tap : taps) {
    double nearest = 0;
    bool found = false;
    for (double click : clicks) {
      if (!found || std::abs(tap - click) < std::abs(nearest)) nearest = tap - click, found = true;
    }
    if (found && std::abs(nearest) < beatSeconds / 2) distances.push_back(nearest);
  }
  if (clicks.empty() || distances.size() * 2 < clicks.size()) return std::nullopt;
  std::sort(distances.begin(), distances.end());
  const std::size_t n = distances.size();
  return n % 2 ? distances[n / 2] : (distances[n / 2 - 1] + distances[n / 2]) / 2;
}

}  // namespace tastrello
