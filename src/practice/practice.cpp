#include "practice/practice.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kBlock = 34;  // buttons of the pull block; push adds 34

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

/// A decimal as the writer puts it ("12" or "12.5": digits, a point, digits), with no sign or
/// exponent. By hand: not every standard library this program is built with reads floating
/// point through std::from_chars, and strtod would follow the C locale.
std::optional<double> plainDecimal(const std::string& s) {
  const auto digits = [](const std::string& t) {
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
  };
  const std::size_t dot = s.find('.');
  const std::string whole = s.substr(0, dot);
  const std::string fraction = dot == std::string::npos ? "" : s.substr(dot + 1);
  if (!digits(whole) || (dot != std::string::npos && !digits(fraction))) return std::nullopt;
  double value = 0;
  for (char c : whole) value = value * 10 + (c - '0');
  double scale = 1;
  for (char c : fraction) value += (c - '0') * (scale /= 10);
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
  const auto start = field(*f, "start", 0, 25), target = field(*f, "target", 0, 25),
             step = field(*f, "step", 1, 25), clean = field(*f, "clean", 1, 100);
  if (!start || !target || !step || !clean || *start > *target) return std::nullopt;
  return TempoRamp{*start, *target, *step, *clean};
}

std::optional<PassRecord> parsePass(const std::vector<std::string>& parts) {
  if (parts.size() < 2 || parts[1].empty()) return std::nullopt;
  const auto f = fields(parts, 2);
  if (!f || f->size() != 7) return std::nullopt;
  PassRecord pass;
  pass.when = parts[1];
  const auto tempo = field(*f, "tempo", 0, 25), events = field(*f, "events", 0, 200),
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
  const auto secs = plainDecimal(seconds->second);
  if (!secs || *secs > 1e7) return std::nullopt;
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
    const int other = button < kBlock ? button + kBlock : button - kBlock;
    return want.count(other) ? Verdict::WrongDirection : Verdict::WrongButton;
  }
  return Verdict::Waiting;  // some of the right buttons so far
}

Verdict judgeButton(const std::vector<int>& event, int button) {
  if (std::find(event.begin(), event.end(), button) != event.end()) return Verdict::Right;
  const int other = button < kBlock ? button + kBlock : button - kBlock;
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

int nextTempo(const TempoRamp& ramp, int current, const std::vector<PassScore>& recent) {
  if (current >= ramp.target) return ramp.target;
  if (static_cast<int>(recent.size()) < ramp.cleanPasses) return current;
  const bool clean = std::all_of(recent.end() - ramp.cleanPasses, recent.end(),
                                 [](const PassScore& s) { return s.clean(); });
  return clean ? std::min(ramp.target, current + ramp.step) : current;
}

int rampTempo(const TempoRamp& ramp, const std::vector<PassRecord>& passes) {
  if (passes.empty()) return ramp.start;
  const int current = std::clamp(passes.back().tempo, ramp.start, ramp.target);
  // The passes played at the tempo in force count; a pass at another tempo ends the run.
  std::vector<PassScore> recent;
  for (auto it = passes.rbegin(); it != passes.rend() && it->tempo == current; ++it)
    recent.insert(recent.begin(), it->score);
  if (passes.back().tempo != current) recent.clear();
  return nextTempo(ramp, current, recent);
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
        continue;
      }
    } else if (parts[0] == "PASS") {
      if (auto pass = parsePass(parts)) {
        history.passes.push_back(std::move(*pass));
        continue;
      }
    }
    damaged.push_back(static_cast<int>(i + 1));
  }
  return history;
}

std::string formatPass(const PassRecord& p) {
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.1f", p.score.seconds);
  return "PASS;" + p.when + ";tempo=" + std::to_string(p.tempo) +
         ";section=" + std::to_string(p.first) + "-" + std::to_string(p.last) +
         ";events=" + std::to_string(p.score.events) +
         ";first=" + std::to_string(p.score.rightFirstTry) +
         ";buttons=" + std::to_string(p.score.wrongButtons) +
         ";directions=" + std::to_string(p.score.wrongDirections) + ";seconds=" + seconds;
}

std::string formatRamp(const std::optional<TempoRamp>& ramp) {
  if (!ramp) return "RAMP;off";
  return "RAMP;start=" + std::to_string(ramp->start) + ";target=" + std::to_string(ramp->target) +
         ";step=" + std::to_string(ramp->step) + ";clean=" + std::to_string(ramp->cleanPasses);
}

std::string formatHistory(const History& history) {
  std::vector<std::string> lines;
  const std::size_t rampAt =
      history.ramp ? std::min(history.rampFrom, history.passes.size()) : history.passes.size() + 1;
  for (std::size_t i = 0; i <= history.passes.size(); ++i) {
    if (i == rampAt) lines.push_back(formatRamp(history.ramp));
    if (i < history.passes.size()) lines.push_back(formatPass(history.passes[i]));
  }
  return joinLines(lines);
}

std::vector<PassRecord> History::rampPasses() const {
  const std::size_t from = std::min(rampFrom, passes.size());
  return {passes.begin() + static_cast<std::ptrdiff_t>(from), passes.end()};
}

std::string historyFileName(const std::string& recordFile) {
  return "Practice_" + recordFile;
}

}  // namespace tastrello
