#include "records/meter.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "records/record_format.h"
#include "shell/text.h"

namespace tastrello {

namespace {

std::vector<std::string> splitAt(std::string_view s, char by) {
  std::vector<std::string> parts;
  for (;;) {
    const std::size_t at = s.find(by);
    parts.emplace_back(s.substr(0, at));
    if (at == std::string_view::npos) return parts;
    s.remove_prefix(at + 1);
  }
}

/// The "key=value" fields after the kind; nothing when one is malformed or repeated.
std::optional<std::map<std::string, int>> numberFields(const std::vector<std::string>& parts) {
  std::map<std::string, int> out;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const auto equals = parts[i].find('=');
    if (equals == std::string::npos) return std::nullopt;
    const std::string value = parts[i].substr(equals + 1);
    int number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size())
      return std::nullopt;
    if (!out.emplace(parts[i].substr(0, equals), number).second) return std::nullopt;
  }
  return out;
}

}  // namespace

std::string meterFileName(const std::string& recordFile) {
  return "Meter_" + recordFile;
}

bool isValidMeter(const Meter& m) {
  const bool grid = m.stepsPerBeat == 1 || m.stepsPerBeat == 2 || m.stepsPerBeat == 4;
  return grid && m.beatsPerBar >= 1 && m.beatsPerBar <= 12 && m.pickupSteps >= 0 &&
         m.pickupSteps < m.stepsPerBar() &&
         (m.tempo == 0 || (m.tempo >= kSlowestTempo && m.tempo <= kFastestTempo));
}

std::optional<Meter> parseMeter(std::string_view bytes, std::string& problem) {
  std::optional<Meter> meter;
  std::optional<int> tempo;
  std::string refusedMeter, refusedTempo;  // the last line of each kind that is not used
  for (const std::string& line : splitLines(bytes)) {
    if (line.empty() || line[0] == '#') continue;
    const auto parts = splitAt(line, ';');
    const auto fields = numberFields(parts);
    if (parts[0] == "METER") {
      Meter m;
      const bool complete = fields && fields->size() == 3 && fields->count("beats") &&
                            fields->count("steps") && fields->count("pickup");
      if (complete) {
        m.beatsPerBar = fields->at("beats");
        m.stepsPerBeat = fields->at("steps");
        m.pickupSteps = fields->at("pickup");
      }
      if (!complete || !isValidMeter(m)) {
        refusedMeter = "a METER line that cannot be read: " + line;
        continue;
      }
      meter = m;
    } else if (parts[0] == "TEMPO") {
      if (!fields || fields->size() != 1 || !fields->count("bpm")) {
        refusedTempo = "a TEMPO line that cannot be read: " + line;
      } else if (const int bpm = fields->at("bpm"); bpm < kSlowestTempo || bpm > kFastestTempo) {
        refusedTempo = "a tempo out of " + std::to_string(kSlowestTempo) + " to " +
                       std::to_string(kFastestTempo) + " beats a minute: " + line;
      } else {
        tempo = bpm;
      }
    }
  }
  if (!meter) {
    problem = refusedMeter.empty() ? "no METER line" : refusedMeter;
    return std::nullopt;
  }
  problem = refusedMeter.empty() || refusedTempo.empty() ? refusedMeter + refusedTempo
                                                         : refusedMeter + "; " + refusedTempo;
  meter->tempo = tempo.value_or(0);
  return meter;
}

std::string formatMeter(const Meter& m) {
  std::vector<std::string> lines{"METER;beats=" + std::to_string(m.beatsPerBar) +
                                 ";steps=" + std::to_string(m.stepsPerBeat) +
                                 ";pickup=" + std::to_string(m.pickupSteps)};
  if (m.tempo > 0) lines.push_back("TEMPO;bpm=" + std::to_string(m.tempo));
  return joinLines(lines);
}

std::vector<TimedEvent> timeline(const std::vector<std::string>& buttonLines) {
  std::vector<TimedEvent> out;
  long long step = 0;
  for (std::size_t i = 0; i < buttonLines.size(); ++i, ++step) {
    const std::string& line = buttonLines[i];
    const int event = static_cast<int>(i + 1);
    if (line == kBreakPlay && !out.empty() && !out.back().rest) {
      ++out.back().steps;  // the chord rings on
    } else {
      out.push_back({event, step, 1, isRestMarker(line)});
    }
  }
  return out;
}

BarPlace barPlaceOf(const Meter& meter, long long step) {
  const int perBar = std::max(1, meter.stepsPerBar());
  if (step < meter.pickupSteps) return {0, static_cast<int>(perBar - meter.pickupSteps + step)};
  const long long counted = step - meter.pickupSteps;
  return {counted / perBar + 1, static_cast<int>(counted % perBar)};
}

}  // namespace tastrello
