#include "practice/practice.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "practice/practice_hands.h"
#include "sound/buttons.h"
#include "shell/text.h"

namespace tastrello {

namespace {


std::set<int> asSet(const std::vector<int>& v) {
  return {v.begin(), v.end()};
}

std::vector<std::string> split(std::string_view s, char by) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = s.find(by, start);
    parts.emplace_back(
        s.substr(start, at == std::string_view::npos ? s.size() - start : at - start));
    if (at == std::string_view::npos) return parts;
    start = at + 1;
  }
}

std::optional<long long> wholeNumber(const std::string& s) {
  long long value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return value;
}

/// "key=value" fields after the first; nothing when one is malformed or repeated.
std::optional<std::map<std::string, std::string>> fields(const std::vector<std::string>& parts,
                                                         std::size_t from) {
  std::map<std::string, std::string> out;
  for (std::size_t i = from; i < parts.size(); ++i) {
    const auto equals = parts[i].find('=');
    if (equals == std::string::npos) return std::nullopt;
    if (!out.emplace(parts[i].substr(0, equals), parts[i].substr(equals + 1)).second)
      return std::nullopt;
  }
  return out;
}

std::optional<int> field(const std::map<std::string, std::string>& f, const std::string& key,
                         int lowest, int highest) {
  const auto it = f.find(key);
  if (it == f.end()) return std::nullopt;
  const auto value = wholeNumber(it->second);
  if (!value || *value < lowest || *value > highest) return std::nullopt;
  return static_cast<int>(*value);
}

std::optional<TempoRamp> parseRamp(const std::vector<std::string>& parts) {
  const auto f = fields(parts, 1);
  if (!f || f->size() != 4) return std::nullopt;
  const auto clean = field(*f, "clean", 1, 100);
  if (f->count("start")) {
    // Version 1.3's ramp, on the slider's values; its step of one value is about 4 %.
    const auto start = field(*f, "start", 0, 25), target = field(*f, "target", 0, 25),
               step = field(*f, "step", 1, 25);
    if (!start || !target || !step || !clean || *start > *target) return std::nullopt;
    return TempoRamp{tempoOfSliderValue(*start), tempoOfSliderValue(*target), 4, *clean};
  }
  const auto from = field(*f, "from", kSlowestTempo, kFastestTempo),
             to = field(*f, "to", kSlowestTempo, kFastestTempo),
             percent = field(*f, "percent", 1, 50);
  if (!from || !to || !percent || !clean || *from > *to) return std::nullopt;
  return TempoRamp{*from, *to, *percent, *clean};
}

std::optional<PassRecord> parsePass(const std::vector<std::string>& parts) {
  if (parts.size() < 2 || parts[1].empty()) return std::nullopt;
  const auto f = fields(parts, 2);
  if (!f || f->size() != 7) return std::nullopt;
  PassRecord pass;
  pass.when = parts[1];
  // Version 1.3 kept the replay slider's value; the tempo is kept in beats a minute now.
  const auto old = field(*f, "tempo", 0, 25);
  const auto tempo = old ? std::optional<int>(tempoOfSliderValue(*old))
                         : field(*f, "bpm", kSlowestTempo, kFastestTempo);
  const auto events = field(*f, "events", 0, 200),
             first = field(*f, "first", 0, 200), buttons = field(*f, "buttons", 0, 1000000),
             directions = field(*f, "directions", 0, 1000000);
  const auto section = f->find("section");
  const auto seconds = f->find("seconds");
  if (!tempo || !events || !first || !buttons || !directions || section == f->end() ||
      seconds == f->end() || *first > *events)
    return std::nullopt;
  const auto ends = split(section->second, '-');
  if (ends.size() != 2) return std::nullopt;
  const auto from = wholeNumber(ends[0]), to = wholeNumber(ends[1]);
  if (!from || !to || *from < 1 || *to < *from || *to > 200) return std::nullopt;
  // Written with a point; version 1.3 wrote a comma on a German or Spanish desktop.
  const auto secs = parseDecimal(seconds->second);
  if (!secs || *secs < 0 || *secs > 1e7) return std::nullopt;
  pass.tempo = *tempo;
  pass.first = static_cast<int>(*from);
  pass.last = static_cast<int>(*to);
  pass.score = {*events, *first, *buttons, *directions, std::round(*secs * 10) / 10};
  return pass;
}

}  // namespace

Verdict judgeButtons(const std::vector<int>& event, const std::vector<int>& held) {
  const auto want = asSet(event);
  const auto have = asSet(held);
  if (have.empty()) return Verdict::Waiting;
  if (have == want) return Verdict::Right;
  for (int button : have) {
    if (want.count(button)) continue;
    // The same place in the other block: the right button, the wrong bellows direction.
    return want.count(otherDirection(button)) ? Verdict::WrongDirection : Verdict::WrongButton;
  }
  return Verdict::Waiting;  // some of the right buttons so far
}

Verdict judgeButton(const std::vector<int>& event, int button) {
  if (std::find(event.begin(), event.end(), button) != event.end()) return Verdict::Right;
  const int other = otherDirection(button);
  return std::find(event.begin(), event.end(), other) != event.end() ? Verdict::WrongDirection
                                                                     : Verdict::WrongButton;
}

Verdict judgePitches(const std::vector<int>& eventPitches, bool eventPush,
                     const std::vector<int>& held, std::optional<bool> controllerPush) {
  const auto want = asSet(eventPitches);
  const auto have = asSet(held);
  if (have.empty()) return Verdict::Waiting;
  for (int pitch : have)
    if (!want.count(pitch)) return Verdict::WrongButton;
  if (controllerPush && *controllerPush != eventPush) return Verdict::WrongDirection;
  return have == want ? Verdict::Right : Verdict::Waiting;
}

void PassCounter::beginEvent() {
  ++score_.events;
  wrongThisEvent_ = false;
  last_ = Verdict::Waiting;
}

void PassCounter::judged(Verdict verdict) {
  if (verdict == last_) return;  // the same holding judged again counts once
  last_ = verdict;
  if (verdict == Verdict::WrongButton) ++score_.wrongButtons;
  if (verdict == Verdict::WrongDirection) ++score_.wrongDirections;
  if (verdict == Verdict::WrongButton || verdict == Verdict::WrongDirection) wrongThisEvent_ = true;
  if (verdict == Verdict::Right && !wrongThisEvent_) ++score_.rightFirstTry;
}

int raisedTempo(const TempoRamp& ramp, int current) {
  const int step = std::max(1, (current * ramp.stepPercent + 50) / 100);
  return std::min(ramp.target, current + step);
}

int tempoOfSliderValue(int value) {
  const int interval = 5150 - 200 * std::clamp(value, 0, 25);
  return std::clamp((60000 + interval / 2) / interval, kSlowestTempo, kFastestTempo);
}

int rampTempo(const TempoRamp& ramp, const std::vector<RampPass>& passes) {
  if (passes.empty()) return ramp.start;
  const int current = std::clamp(passes.back().tempo, ramp.start, ramp.target);
  if (passes.back().tempo != current || current >= ramp.target) return current;
  // The passes played at the tempo in force count: enough clean ones in a row at its end.
  int clean = 0;
  for (auto it = passes.rbegin(); it != passes.rend() && it->tempo == current && it->clean; ++it)
    ++clean;
  return clean >= ramp.cleanPasses ? raisedTempo(ramp, current) : current;
}

int rampTempo(const TempoRamp& ramp, const std::vector<PassRecord>& passes) {
  std::vector<RampPass> steps;
  for (const auto& p : passes) steps.push_back({p.tempo, p.score.clean()});
  return rampTempo(ramp, steps);
}

std::pair<int, int> Section::span(int count) const {
  if (whole() || count < 1) return {1, std::max(count, 0)};
  const int from = std::clamp(first, 1, count);
  return {from, std::clamp(last, from, count)};
}

History parseHistory(std::string_view bytes, std::vector<int>& damaged) {
  History history;
  const auto lines = splitLines(bytes);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.empty() || line[0] == '#') continue;
    const auto parts = split(line, ';');
    if (parts[0] == "RAMP") {
      const bool off = parts.size() == 2 && parts[1] == "off";
      const auto ramp = off ? std::nullopt : parseRamp(parts);
      if (off || ramp) {
        history.ramp = ramp;
        history.rampFrom = ramp ? history.passes.size() : 0;
        history.rampAlongFrom = ramp ? history.alongPasses.size() : 0;
        continue;
      }
    } else if (parts[0] == "PASS") {
      if (auto pass = parsePass(parts)) {
        history.passes.push_back(std::move(*pass));
        history.order.push_back(false);
        continue;
      }
    } else if (parts[0] == "PLAY") {
      if (auto pass = parsePlayAlongPass(line)) {
        history.alongPasses.push_back(std::move(*pass));
        history.order.push_back(true);
        continue;
      }
    }
    damaged.push_back(static_cast<int>(i + 1));
  }
  return history;
}

std::string formatPass(const PassRecord& p) {
  const std::string seconds = decimalText(p.score.seconds, 1);
  return "PASS;" + p.when + ";bpm=" + std::to_string(p.tempo) +
         ";section=" + std::to_string(p.first) + "-" + std::to_string(p.last) +
         ";events=" + std::to_string(p.score.events) +
         ";first=" + std::to_string(p.score.rightFirstTry) +
         ";buttons=" + std::to_string(p.score.wrongButtons) +
         ";directions=" + std::to_string(p.score.wrongDirections) + ";seconds=" + seconds;
}

std::string formatRamp(const std::optional<TempoRamp>& ramp) {
  if (!ramp) return "RAMP;off";
  return "RAMP;from=" + std::to_string(ramp->start) + ";to=" + std::to_string(ramp->target) +
         ";percent=" + std::to_string(ramp->stepPercent) +
         ";clean=" + std::to_string(ramp->cleanPasses);
}

std::string formatHistory(const History& history) {
  std::vector<std::string> lines;
  std::size_t waited = 0, along = 0;
  bool rampWritten = !history.ramp;
  for (std::size_t i = 0; i <= history.order.size(); ++i) {
    if (!rampWritten && waited >= history.rampFrom && along >= history.rampAlongFrom) {
      lines.push_back(formatRamp(history.ramp));
      rampWritten = true;
    }
    if (i == history.order.size()) break;
    if (history.order[i] && along < history.alongPasses.size())
      lines.push_back(formatPlayAlongPass(history.alongPasses[along++]));
    else if (!history.order[i] && waited < history.passes.size())
      lines.push_back(formatPass(history.passes[waited++]));
  }
  return joinLines(lines);
}

std::vector<PassRecord> History::rampPasses() const {
  const std::size_t from = std::min(rampFrom, passes.size());
  return {passes.begin() + static_cast<std::ptrdiff_t>(from), passes.end()};
}

std::vector<RampPass> History::rampSteps(bool along) const {
  std::vector<RampPass> steps;
  if (along) {
    for (std::size_t i = std::min(rampAlongFrom, alongPasses.size()); i < alongPasses.size(); ++i)
      steps.push_back({alongPasses[i].bpm, alongPasses[i].score.clean()});
  } else {
    for (const auto& p : rampPasses()) steps.push_back({p.tempo, p.score.clean()});
  }
  return steps;
}

std::string historyFileName(const std::string& recordFile) {
  return "Practice_" + recordFile;
}

bool PracticeState::readTapOffset(const std::string& value) {
  const auto ms = value.empty() ? std::optional<int>(0) : parseInt16(value);
  if (!ms || std::abs(*ms) > kLargestTapOffsetMs) return false;
  offsetSeconds = *ms / 1000.0;
  return true;
}

bool PracticeState::readTimingWindow(const std::string& value) {
  const auto ms = value.empty() ? std::optional<int>(PracticeState{}.windowMs) : parseInt16(value);
  if (!ms || *ms < kNarrowestWindowMs || *ms > kWidestWindowMs) return false;
  windowMs = *ms;
  return true;
}

}  // namespace tastrello
