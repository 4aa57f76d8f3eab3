#include "tablature/tab_rhythm.h"

#include <algorithm>
#include <span>
#include <tuple>

#include "records/record_format.h"

namespace tastrello {

namespace {

constexpr int kBeat = 4;  // sixteenths

int barSixteenths(const Meter& meter) {
  return std::max(1, meter.beatsPerBar) * kBeat;
}

/// Whether the bar's middle is a place every reader expects to see (4/4, 6/4, ...).
bool showsMiddle(const Meter& meter) {
  return meter.beatsPerBar >= 4 && meter.beatsPerBar % 2 == 0;
}

bool crossesMiddle(int p, int v, const Meter& meter) {
  const int middle = barSixteenths(meter) / 2;
  return showsMiddle(meter) && p < middle && p + v > middle;
}

bool noteFits(int p, int v, const Meter& meter) {
  if (v < kBeat) return p / kBeat == (p + v - 1) / kBeat;  // inside its beat
  if (p % kBeat != 0) return false;
  if (v == 16 && p != 0) return false;
  if (!crossesMiddle(p, v, meter)) return true;
  // A note that starts the bar may cross its middle, and so may the syncopation of a half or a
  // dotted quarter on the beat before the middle (quarter, half, quarter).
  return p == 0 || (p == barSixteenths(meter) / 2 - kBeat && (v == 6 || v == 8));
}

bool restFits(int p, int v, const Meter& meter) {
  if (p % v != 0) return false;
  if (v == 16) return p == 0 && barSixteenths(meter) == 16;
  return !crossesMiddle(p, v, meter);
}

/// The longest value of at most `left` sixteenths that may stand at `p`; a sixteenth fits
/// anywhere, so it is the last resort.
NoteValue longestFitting(int p, int left, const Meter& meter, bool rest) {
  static constexpr NoteValue kNotes[] = {{16, false}, {8, true}, {8, false}, {4, true},
                                         {4, false},  {2, true}, {2, false}};
  static constexpr NoteValue kRests[] = {{16, false}, {8, false}, {4, false}, {2, false}};
  const std::span<const NoteValue> values = rest ? std::span<const NoteValue>(kRests)
                                                 : std::span<const NoteValue>(kNotes);
  for (const NoteValue& value : values) {
    const int v = value.sixteenths();
    if (v <= left && (rest ? restFits(p, v, meter) : noteFits(p, v, meter))) return value;
  }
  return {1, false};
}

std::vector<NoteValue> split(int offset, int length, const Meter& meter, bool rest) {
  std::vector<NoteValue> out;
  int p = offset;
  // Each round takes at least a sixteenth, so the loop ends after `length` rounds at most.
  for (int left = length; left > 0;) {
    const NoteValue value = longestFitting(p, left, meter, rest);
    out.push_back(value);
    p += value.sixteenths();
    left -= value.sixteenths();
  }
  return out;
}

/// A chord with the steps it holds, or a silence of one or more steps.
struct Span {
  int event = 0;
  long long step = 0;
  long long steps = 1;
  bool rest = false;
};

std::vector<Span> spansOf(const std::vector<std::string>& buttonLines) {
  std::vector<Span> spans;
  for (const TimedEvent& e : timeline(buttonLines)) {
    // Silence after silence is one silence: it is written with the fewest rests.
    if (e.rest && !spans.empty() && spans.back().rest)
      spans.back().steps += e.steps;
    else
      spans.push_back({e.event, e.step, e.steps, e.rest});
  }
  return spans;
}

/// Beams the short notes of each beat together.
void beamByBeat(RhythmBar& bar) {
  int first = -1, beat = -1;
  const auto close = [&](int last) {
    if (first >= 0 && last > first) bar.beams.emplace_back(first, last);
    first = -1;
  };
  const int count = static_cast<int>(bar.items.size());
  for (int i = 0; i < count; ++i) {
    const RhythmItem& item = bar.items[static_cast<std::size_t>(i)];
    const bool beamable = !item.rest && item.value.base <= 2;
    if (beamable && first >= 0 && item.offset / kBeat == beat) continue;
    close(i - 1);
    if (beamable) {
      first = i;
      beat = item.offset / kBeat;
    }
  }
  close(count - 1);
}

}  // namespace

int stepSixteenths(const Meter& meter) {
  return meter.stepsPerBeat == 4 ? 1 : meter.stepsPerBeat == 2 ? 2 : 4;
}

std::vector<NoteValue> splitNote(int offset, int length, const Meter& meter) {
  return split(offset, length, meter, false);
}

std::vector<NoteValue> splitRest(int offset, int length, const Meter& meter) {
  return split(offset, length, meter, true);
}

std::vector<RhythmBar> notateRhythm(const std::vector<std::string>& buttonLines,
                                    const Meter& given) {
  // A meter no file could hold (from a caller that did not check it) is none at all.
  const Meter meter = isValidMeter(given) ? given : Meter{};
  const long long stepLength = stepSixteenths(meter);
  const long long bar = barSixteenths(meter);
  const long long pickup = std::clamp<long long>(meter.pickupSteps * stepLength, 0, bar - 1);
  const long long total = static_cast<long long>(buttonLines.size()) * stepLength;
  if (total == 0) return {};
  const auto barOf = [&](long long t) { return t < pickup ? 0 : 1 + (t - pickup) / bar; };
  const auto barStart = [&](long long n) { return n == 0 ? 0 : pickup + (n - 1) * bar; };
  const auto barEnd = [&](long long n) { return n == 0 ? pickup : barStart(n) + bar; };

  const long long firstBar = pickup > 0 ? 0 : 1;
  std::vector<RhythmBar> bars;
  for (long long n = firstBar; n <= barOf(total - 1); ++n) {
    RhythmBar b;
    b.number = n;
    b.start = barStart(n);
    b.length = static_cast<int>(std::min(barEnd(n), total) - b.start);
    b.fullLength = static_cast<int>(bar);
    bars.push_back(std::move(b));
  }
  // The events whose steps start inside [from, to): each event is one step.
  const auto eventsIn = [&](long long from, long long to) {
    long long first = (from + stepLength - 1) / stepLength;
    long long last = (to + stepLength - 1) / stepLength - 1;
    if (first > last) first = last = from / stepLength;
    return std::pair<int, int>(static_cast<int>(first + 1), static_cast<int>(last + 1));
  };

  for (const Span& span : spansOf(buttonLines)) {
    const std::string line =
        span.rest ? std::string() : buttonLines[static_cast<std::size_t>(span.event - 1)];
    long long t = span.step * stepLength;
    const long long end = t + span.steps * stepLength;
    while (t < end) {
      const long long n = barOf(t);
      const long long piece = std::min(end, barEnd(n)) - t;
      const int offset = static_cast<int>(n == 0 ? bar - pickup + t : t - barStart(n));
      RhythmBar& into = bars[static_cast<std::size_t>(n - firstBar)];
      std::vector<NoteValue> values;
      const bool wholeBar = span.rest && n > 0 && offset == 0 && piece == bar;
      if (wholeBar)
        values = {NoteValue{16, false}};
      else
        values = span.rest ? splitRest(offset, static_cast<int>(piece), meter)
                           : splitNote(offset, static_cast<int>(piece), meter);
      long long at = t;
      int within = offset;
      for (const NoteValue& value : values) {
        const long long length = wholeBar ? bar : value.sixteenths();
        RhythmItem item;
        std::tie(item.event, item.lastEvent) = eventsIn(at, at + length);
        item.start = at;
        item.offset = within;
        item.value = value;
        item.rest = span.rest;
        item.barRest = wholeBar;
        item.tiedToNext = !span.rest && at + length < end;
        item.buttonLine = line;
        into.items.push_back(std::move(item));
        at += length;
        within += static_cast<int>(length);
      }
      t += piece;
    }
  }
  for (RhythmBar& b : bars) beamByBeat(b);
  return bars;
}

}  // namespace tastrello
