#include "tablature/tab_layout.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>

#include "records/record_format.h"
#include "shell/text.h"
#include "sound/layout_format.h"

namespace tastrello {

TabNote tabNoteAt(const ButtonAt& at) {
  TabNote note;
  note.row = at.row;
  note.number = at.number;
  const bool betweenTheLines = at.row == 1 || at.row == 4;
  note.step = betweenTheLines ? 2 * note.number - 11 : 2 * note.number - 8;
  note.cross = at.row == 3;
  note.doubleCross = at.row >= 4;
  return note;
}

TabNote tabNoteOf(int button) {
  const ButtonPlace place = placeOf(button);
  return tabNoteAt({place.push, place.row, place.number});
}

void addHands(TabDocument& document, const RecordHands& hands, const Instrument& instrument) {
  for (const HandButton& button : hands.buttons) {
    if (button.hand == Hand::Treble) {
      document.trebleBeside.push_back(button);
      continue;
    }
    const ButtonAt& at = button.at;
    if (at.row < 1 || at.row > static_cast<int>(instrument.bass.size())) continue;
    const auto& row = instrument.bass[static_cast<std::size_t>(at.row - 1)].buttons;
    if (at.number < 1 || at.number > static_cast<int>(row.size())) continue;
    document.bass.push_back(
        {button.event, row[static_cast<std::size_t>(at.number - 1)].letter, at.push});
  }
}

namespace {

constexpr int kMiddleLine = 4;

// Horizontal room, in spaces.
constexpr double kStartRoom = 1.2;  // from the staff's start to the first column
constexpr double kMeterRoom = 3.2;  // the time signature
constexpr double kBarRoom = 1.1;    // after a bar line
constexpr double kCrossRoom = 1.5;  // the cross before an open head of row 3
constexpr double kDotRoom = 1.0;
constexpr double kFlagRoom = 0.9;
constexpr double kSystemGap = 2.4;  // between one staff's lowest glyph and the next's highest

/// A written item before it has its place: its notes, its stem's direction and its column.
struct Cell {
  RhythmItem rhythm;
  std::vector<TabNote> notes;  // the lowest first, each button once
  Bellows bellows = Bellows::None;
  long long bar = 1;
  int group = -1;        // its beam group (an index over the whole piece), or -1
  int stem = 0;          // the direction its notes ask for (or its group's)
  bool barEnd = false;   // the last item of its bar
  bool displaced = false;  // two heads a step or less apart: one stands beside the stem
  bool crossBefore = false;
  double leftRoom = 0;   // from the column's start to the head's centre
  double width = 0;      // the column
};

/// The direction of a stem for notes between `low` and `high`: away from the middle line on the
/// side of the note farthest from it (down when they are as far).
int stemFor(int low, int high) {
  return kMiddleLine - low > high - kMiddleLine ? 1 : -1;
}

bool hasSeconds(const std::vector<TabNote>& notes) {
  for (std::size_t i = 1; i < notes.size(); ++i)
    if (notes[i].step - notes[i - 1].step <= 1) return true;
  return false;
}

/// What lies beside the record file, by event: treble buttons of further rows, and the
/// direction the bass goes.
struct Beside {
  std::map<int, std::vector<ButtonAt>> treble;
  std::map<int, Bellows> bass;

  explicit Beside(const TabDocument& document) {
    for (const HandButton& b : document.trebleBeside) treble[b.event].push_back(b.at);
    for (const TabBass& b : document.bass)
      bass[b.event] = joined(bass[b.event], b.push ? Bellows::Push : Bellows::Pull);
  }
  const std::vector<ButtonAt>& trebleOf(int event) const {
    static const std::vector<ButtonAt> none;
    const auto it = treble.find(event);
    return it == treble.end() ? none : it->second;
  }
  /// The bass's direction over events first..last.
  Bellows bassOf(int first, int last) const {
    Bellows out = Bellows::None;
    for (auto it = bass.lower_bound(first); it != bass.end() && it->first <= last; ++it)
      out = joined(out, it->second);
    return out;
  }
  static Bellows joined(Bellows a, Bellows b) {
    if (a == Bellows::None || a == b) return b;
    return b == Bellows::None ? a : Bellows::Both;
  }
};

std::vector<TabNote> notesOf(const std::string& buttonLine, const std::vector<ButtonAt>& more) {
  std::vector<TabNote> notes;
  const auto add = [&notes](const TabNote& note) {
    if (std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(note);
  };
  for (int button : buttonsOfLine(buttonLine)) add(tabNoteOf(button));
  for (const ButtonAt& at : more) add(tabNoteAt(at));
  std::sort(notes.begin(), notes.end(), [](const TabNote& a, const TabNote& b) {
    return a.step != b.step ? a.step < b.step : a.row < b.row;
  });
  return notes;
}

std::vector<Cell> cellsOf(const std::vector<RhythmBar>& bars, const TabGeometry& g,
                          const Beside& beside) {
  std::vector<Cell> cells;
  int groups = 0;
  for (const RhythmBar& bar : bars) {
    const std::size_t first = cells.size();
    for (const RhythmItem& item : bar.items) {
      Cell cell;
      cell.rhythm = item;
      cell.bar = bar.number;
      if (!item.rest) {
        const auto& more = beside.trebleOf(item.event);
        cell.notes = notesOf(item.buttonLine, more);
        cell.bellows = bellowsOf(item.buttonLine);
        for (const ButtonAt& at : more)
          cell.bellows = Beside::joined(cell.bellows, at.push ? Bellows::Push : Bellows::Pull);
      }
      const Bellows bass = beside.bassOf(item.event, item.lastEvent);
      if (!item.rest)
        cell.bellows = Beside::joined(cell.bellows, bass);
      else if (bass != Bellows::Both)  // the bellows may turn in a rest of the treble
        cell.bellows = bass;
      cells.push_back(std::move(cell));
    }
    if (cells.size() > first) cells.back().barEnd = true;
    for (const auto& [from, to] : bar.beams) {
      for (int i = from; i <= to; ++i) cells[first + static_cast<std::size_t>(i)].group = groups;
      ++groups;
    }
  }
  // Stems: a beamed group takes one direction, from the note farthest from the middle line.
  for (std::size_t i = 0; i < cells.size();) {
    std::size_t end = i + 1;
    if (cells[i].group >= 0)
      while (end < cells.size() && cells[end].group == cells[i].group) ++end;
    int low = INT_MAX, high = INT_MIN;
    for (std::size_t k = i; k < end; ++k)
      for (const TabNote& n : cells[k].notes) {
        low = std::min(low, n.step);
        high = std::max(high, n.step);
      }
    for (std::size_t k = i; k < end; ++k)
      cells[k].stem = cells[k].notes.empty() || cells[k].rhythm.value.base == 16 ? 0
                                                                                  : stemFor(low, high);
    i = end;
  }
  const double s = g.space, head = g.headWidth();
  for (Cell& c : cells) {
    const RhythmItem& r = c.rhythm;
    c.displaced = hasSeconds(c.notes);
    c.crossBefore = r.value.base >= 8 && std::any_of(c.notes.begin(), c.notes.end(), [](auto& n) {
                      return n.cross || n.doubleCross;
                    });
    const bool flag = !r.rest && r.value.base <= 2 && c.group < 0;
    c.leftRoom = 0.35 * s + head / 2 + (c.displaced && c.stem < 0 ? head : 0) +
                 (c.crossBefore ? kCrossRoom * s : 0);
    const double rightRoom = head / 2 + (c.displaced && c.stem >= 0 ? head : 0) +
                             (r.value.dotted ? kDotRoom * s : 0) +
                             (flag && c.stem > 0 ? kFlagRoom * s : 0) + 0.5 * s;
    // Spacing by duration: each doubling of a value adds the same room.
    const int sixteenths = r.barRest ? std::max(16, bars.front().fullLength) : r.value.sixteenths();
    const double natural = s * (1.9 + 1.3 * std::log2(static_cast<double>(sixteenths)));
    c.width = std::max(natural, c.leftRoom + rightRoom);
  }
  return cells;
}

/// A staff's cells: [first, last).
struct Line {
  std::size_t first = 0, last = 0;
  bool justified = false;
};

std::vector<Line> breakLines(std::vector<Cell>& cells, const TabGeometry& g) {
  const double s = g.space;
  const double full = g.width - 2 * g.marginX - kStartRoom * s;
  std::vector<Line> lines;
  std::vector<double> used;
  const auto barWidth = [&](std::size_t i) {
    double w = 0;
    for (; i < cells.size(); ++i) {
      w += cells[i].width;
      if (cells[i].barEnd) break;
    }
    return w;
  };
  lines.push_back({0, 0, false});
  used.push_back(0);
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const double room = full - (lines.size() == 1 ? kMeterRoom * s : 0);
    const bool startsBar = i == 0 || cells[i - 1].barEnd;
    const bool empty = lines.back().first == i;
    const double gap = startsBar && !empty ? kBarRoom * s : 0;
    // Staves break at bar lines; only a bar wider than a whole staff is broken inside.
    const double needed = startsBar ? barWidth(i) : cells[i].width;
    if (!empty && used.back() + gap + needed > room) {
      lines.back().last = i;
      lines.push_back({i, i, false});
      used.push_back(0);
      used.back() += cells[i].width;
      continue;
    }
    used.back() += gap + cells[i].width;
  }
  lines.back().last = cells.size();
  // Every staff but a short last one fills the width; the room added goes to the columns in
  // proportion, so that spacing stays by duration.
  for (std::size_t l = 0; l < lines.size(); ++l) {
    const double room = full - (l == 0 ? kMeterRoom * s : 0);
    double columns = 0;
    for (std::size_t i = lines[l].first; i < lines[l].last; ++i) columns += cells[i].width;
    const bool last = l + 1 == lines.size();
    if (columns <= 0 || used[l] >= room || (last && used[l] < 0.7 * room)) continue;
    const double grow = (room - used[l]) / columns;
    for (std::size_t i = lines[l].first; i < lines[l].last; ++i) cells[i].width *= 1 + grow;
    lines[l].justified = true;
  }
  return lines;
}

/// Heads, ledger lines and dots of a placed chord.
void placeHeads(TabItem& item, const Cell& c, const TabGeometry& g) {
  const double head = g.headWidth(), s = g.space;
  const int n = static_cast<int>(c.notes.size());
  item.heads.resize(c.notes.size());
  // Of two heads a step apart, one stands on the other side of the stem: the upper one for an
  // up stem, the lower one for a down stem.
  const bool up = c.stem >= 0;
  bool previousAside = false;
  for (int k = 0; k < n; ++k) {
    const int i = up ? k : n - 1 - k;
    const TabNote& note = c.notes[static_cast<std::size_t>(i)];
    bool aside = false;
    if (k > 0) {
      const int neighbour = c.notes[static_cast<std::size_t>(up ? i - 1 : i + 1)].step;
      aside = !previousAside && std::abs(note.step - neighbour) <= 1;
    }
    previousAside = aside;
    const double x = item.x + (aside ? (up ? 1 : -1) * 0.96 * head : 0);
    item.heads[static_cast<std::size_t>(i)] = {note, x, g.stepY(note.step)};
  }
  if (n == 0) return;
  double minX = item.x, maxX = item.x;
  for (const TabHead& h : item.heads) {
    minX = std::min(minX, h.x);
    maxX = std::max(maxX, h.x);
  }
  const double ledgerLeft = minX - head / 2 - 0.3 * s, ledgerRight = maxX + head / 2 + 0.3 * s;
  for (int step = -2; step >= c.notes.front().step; step -= 2)
    item.ledgers.push_back({ledgerLeft, g.stepY(step), ledgerRight, g.stepY(step)});
  for (int step = 10; step <= c.notes.back().step; step += 2)
    item.ledgers.push_back({ledgerLeft, g.stepY(step), ledgerRight, g.stepY(step)});
  if (c.rhythm.value.dotted) {
    // A dot in the space of its note, or the space above a note on a line; never two in one.
    std::vector<int> taken;
    for (int i = n - 1; i >= 0; --i) {
      const int step = c.notes[static_cast<std::size_t>(i)].step;
      int at = step % 2 != 0 ? step : step + 1;
      while (std::find(taken.begin(), taken.end(), at) != taken.end()) at -= 2;
      taken.push_back(at);
      item.dots.emplace_back(maxX + head / 2 + 0.55 * s, g.stepY(at));
    }
  }
}

/// A stem of its own length: three and a half spaces, reaching the middle line at least.
void placeStem(TabItem& item, const Cell& c, const TabGeometry& g) {
  if (c.stem == 0 || c.notes.empty()) return;
  const int low = c.notes.front().step, high = c.notes.back().step;
  const bool shortNote = c.rhythm.value.base <= 2;
  item.stem = c.stem;
  item.flags = shortNote ? (c.rhythm.value.base == 1 ? 2 : 1) : 0;
  const int longer = item.flags == 2 ? 1 : 0;
  const double half = g.headWidth() / 2 - g.stemWidth() / 2;
  if (c.stem > 0)
    item.stemLine = {item.x + half, g.stepY(low), item.x + half,
                     g.stepY(std::max(high + 7 + longer, kMiddleLine))};
  else
    item.stemLine = {item.x - half, g.stepY(high), item.x - half,
                     g.stepY(std::min(low - 7 - longer, kMiddleLine))};
}

/// The beams of a group of items on one staff, and their stems up to them.
void placeBeams(TabSystem& system, std::size_t from, std::size_t to,
                const std::vector<const Cell*>& cells, const TabGeometry& g) {
  const int dir = cells[from]->stem;  // 1: stems up, the beam above
  const double s = g.space, half = g.headWidth() / 2 - g.stemWidth() / 2;
  std::vector<double> stemX, near, far;
  int levels = 1;
  for (std::size_t i = from; i < to; ++i) {
    const Cell& c = *cells[i];
    const TabItem& item = system.items[i];
    stemX.push_back(item.x + dir * half);
    const double low = g.stepY(c.notes.front().step), high = g.stepY(c.notes.back().step);
    near.push_back(dir > 0 ? high : low);
    far.push_back(dir > 0 ? low : high);
    if (c.rhythm.value.base == 1) levels = 2;
  }
  const std::size_t n = stemX.size();
  const double dx = stemX.back() - stemX.front();
  // The beam follows the line of its outer notes, less steeply, at most a space; flat when an
  // inner note reaches further towards it than both ends.
  double slope = 0;
  bool innerPeak = false;
  for (std::size_t i = 1; i + 1 < n; ++i)
    innerPeak = innerPeak || (dir > 0 ? near[i] < std::min(near.front(), near.back())
                                      : near[i] > std::max(near.front(), near.back()));
  if (!innerPeak && dx > 0)
    slope = std::clamp((near.back() - near.front()) / 2, -s, s) / dx;
  const double shortest = (3.25 + 0.75 * (levels - 1)) * s;
  double base = dir > 0 ? 1e9 : -1e9;  // the beam's outer edge at the first stem
  for (std::size_t i = 0; i < n; ++i) {
    const double along = slope * (stemX[i] - stemX.front());
    if (dir > 0)
      base = std::min(base, std::min(near[i] - shortest, g.stepY(kMiddleLine)) - along);
    else
      base = std::max(base, std::max(near[i] + shortest, g.stepY(kMiddleLine)) - along);
  }
  const auto edgeAt = [&](double x) { return base + slope * (x - stemX.front()); };
  const double t = g.beamThickness();
  const auto beam = [&](double x0, double x1, int level) {
    const double inward = dir * (t / 2 + level * g.beamGap());
    system.beams.push_back({x0, edgeAt(x0) + inward, x1, edgeAt(x1) + inward});
  };
  beam(stemX.front(), stemX.back(), 0);
  for (std::size_t i = 0; i < n; ++i) {
    TabItem& item = system.items[from + i];
    item.stem = dir;
    item.flags = 0;
    item.stemLine = {stemX[i], far[i], stemX[i], edgeAt(stemX[i])};
  }
  // Sixteenths: a second beam over each run of them; a lone one gets a short beam towards its
  // neighbour in the beat (to the right when it opens the group).
  for (std::size_t i = 0; i < n;) {
    if (cells[from + i]->rhythm.value.base != 1) {
      ++i;
      continue;
    }
    std::size_t end = i + 1;
    while (end < n && cells[from + end]->rhythm.value.base == 1) ++end;
    if (end - i > 1) {
      beam(stemX[i], stemX[end - 1], 1);
    } else {
      const double stub = std::min(1.1 * s, dx / 2);
      if (i == 0)
        beam(stemX[i], stemX[i] + stub, 1);
      else
        beam(stemX[i] - stub, stemX[i], 1);
    }
    i = end;
  }
}

TabSystem engrave(const std::vector<Cell>& cells, const Line& line, bool first,
                  const TabGeometry& g) {
  const double s = g.space;
  TabSystem system;
  system.left = g.marginX;
  double x = system.left + kStartRoom * s;
  if (first) {
    system.showsMeter = true;
    system.meterX = x + 1.0 * s;
    x += kMeterRoom * s;
  }
  system.firstBar = line.first < cells.size() ? cells[line.first].bar : 1;
  system.showsBarNumber = !first && system.firstBar > 1;
  std::vector<const Cell*> placed;
  for (std::size_t i = line.first; i < line.last; ++i) {
    const Cell& c = cells[i];
    if (i > line.first && cells[i - 1].barEnd) x += kBarRoom * s;
    TabItem item;
    item.rhythm = c.rhythm;
    item.bellows = c.bellows;
    item.x = c.rhythm.barRest ? x + c.width / 2 : x + c.leftRoom;
    item.left = x + 0.2 * s;
    item.right = x + c.width - 0.2 * s;
    placeHeads(item, c, g);
    placeStem(item, c, g);
    x += c.width;
    if (c.barEnd) system.barLines.push_back({x, i + 1 == cells.size()});
    system.items.push_back(std::move(item));
    placed.push_back(&c);
  }
  system.right = line.justified || cells.empty() ? g.width - g.marginX : x;
  if (line.justified && !system.barLines.empty() && cells[line.last - 1].barEnd)
    system.barLines.back().x = system.right;  // the sum of the columns, to the last rounding
  // Beams over the groups that are whole on this staff (a bar broken across staves may leave
  // one note of a group alone: it keeps its flag).
  for (std::size_t i = 0; i < placed.size();) {
    std::size_t end = i + 1;
    if (placed[i]->group >= 0)
      while (end < placed.size() && placed[end]->group == placed[i]->group) ++end;
    if (end - i > 1) placeBeams(system, i, end, placed, g);
    i = end;
  }
  return system;
}

/// Ties between the pieces of a held chord, across bar lines and staves.
void placeTies(std::vector<TabSystem>& systems, const TabGeometry& g) {
  const double s = g.space, head = g.headWidth();
  for (std::size_t si = 0; si < systems.size(); ++si) {
    for (std::size_t ii = 0; ii < systems[si].items.size(); ++ii) {
      const TabItem& item = systems[si].items[ii];
      if (!item.rhythm.tiedToNext) continue;
      const bool sameStaff = ii + 1 < systems[si].items.size();
      if (!sameStaff && si + 1 >= systems.size()) continue;
      TabSystem& nextSystem = sameStaff ? systems[si] : systems[si + 1];
      const TabItem& next = sameStaff ? systems[si].items[ii + 1] : nextSystem.items.front();
      const std::size_t count = item.heads.size();
      for (std::size_t k = 0; k < count; ++k) {
        const TabHead& h = item.heads[k];
        const auto to = std::find_if(next.heads.begin(), next.heads.end(),
                                     [&](const TabHead& o) { return o.note == h.note; });
        if (to == next.heads.end()) continue;
        // The upper notes of a chord tie above, the lower ones below; a single note on the side
        // away from its stem.
        const std::size_t twice = 2 * k + 1;
        const bool above = twice == count ? item.stem < 0 : twice > count;
        const double lift = (above ? -0.55 : 0.55) * s;
        const double x0 = item.dots.empty() ? h.x + 0.6 * head : item.dots.front().first + 0.45 * s;
        if (sameStaff) {
          systems[si].ties.push_back({x0, to->x - 0.6 * head, h.y + lift, above});
        } else {
          systems[si].ties.push_back({x0, systems[si].right - 0.3 * s, h.y + lift, above});
          const double start = std::max(nextSystem.left + 0.5 * s, to->x - 3.0 * s);
          nextSystem.ties.push_back({start, to->x - 0.6 * head, to->y + lift, above});
        }
      }
    }
  }
}

/// Push bars: under each pushed chord (or rest of the treble while the bass pushes), and under
/// the rests between two pushed chords (the bellows do not turn in a rest); a run goes on across
/// bar lines and staves.
void placePushBars(std::vector<TabSystem>& systems) {
  std::vector<TabItem*> all;
  for (auto& system : systems)
    for (auto& item : system.items) all.push_back(&item);
  const auto pushedChord = [](const TabItem* item) {
    return item->bellows == Bellows::Push || item->bellows == Bellows::Both;
  };
  const auto played = [](const TabItem* item) {
    return !item->rhythm.rest || item->bellows != Bellows::None;
  };
  bool before = false;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (played(all[i])) {
      before = all[i]->pushed = pushedChord(all[i]);
      continue;
    }
    std::size_t next = i + 1;
    while (next < all.size() && !played(all[next])) ++next;
    all[i]->pushed = before && next < all.size() && pushedChord(all[next]);
  }
  bool previous = false;  // the item before this staff's first
  for (std::size_t si = 0; si < systems.size(); ++si) {
    auto& items = systems[si].items;
    for (std::size_t i = 0; i < items.size();) {
      if (!items[i].pushed) {
        ++i;
        continue;
      }
      std::size_t end = i + 1;
      while (end < items.size() && items[end].pushed) ++end;
      const bool fromStart = i == 0 && previous;
      const bool onward = end == items.size() && si + 1 < systems.size() &&
                          !systems[si + 1].items.empty() && systems[si + 1].items.front().pushed;
      systems[si].pushBars.emplace_back(fromStart ? systems[si].left : items[i].left,
                                        onward ? systems[si].right : items[end - 1].right);
      i = end;
    }
    if (!items.empty()) previous = items.back().pushed;
  }
}

/// The bass letters under the items they sound in, each at its moment within the item's
/// column; the letters of one event side by side.
void placeLetters(std::vector<TabSystem>& systems, const TabDocument& document) {
  struct Placed {
    TabSystem* system;
    const TabItem* item;
  };
  std::vector<Placed> all;
  for (auto& system : systems)
    for (const auto& item : system.items) all.push_back({&system, &item});
  const Meter meter = isValidMeter(document.meter) ? document.meter : Meter{};
  const long long perStep = stepSixteenths(meter);
  const int events = static_cast<int>(document.buttonLines.size());
  for (const TabBass& bass : document.bass) {
    if (bass.event < 1 || bass.event > events || all.empty()) continue;
    const long long t = (bass.event - 1) * perStep;
    std::size_t k = 0;
    while (k + 1 < all.size() && all[k + 1].item->rhythm.start <= t) ++k;
    const TabItem& item = *all[k].item;
    const long long end = k + 1 < all.size() ? all[k + 1].item->rhythm.start
                                             : item.rhythm.start + item.rhythm.value.sixteenths();
    const double from = item.rhythm.barRest ? item.left : item.x;
    const double share = static_cast<double>(t - item.rhythm.start) /
                         static_cast<double>(std::max(1LL, end - item.rhythm.start));
    auto& letters = all[k].system->letters;
    if (!letters.empty() && letters.back().event == bass.event) {
      letters.back().text += bass.letter;
      continue;
    }
    letters.push_back({from + std::clamp(share, 0.0, 1.0) * (item.right - from), bass.letter,
                       bass.push, bass.event});
  }
}

/// How far each staff reaches above and below, and where its push bars go.
void measure(TabSystem& system, const TabGeometry& g) {
  const double s = g.space, headHalf = g.headHeight() / 2;
  double above = 0, below = g.stepY(0);
  const auto reach = [&](double y) {
    above = std::min(above, y);
    below = std::max(below, y);
  };
  for (TabItem& item : system.items) {
    double itemTop = g.stepY(8);
    for (const TabHead& h : item.heads) {
      reach(h.y - headHalf);
      reach(h.y + headHalf);
      itemTop = std::min(itemTop, h.y - headHalf);
    }
    if (item.stem != 0) {
      reach(item.stemLine.y1);
      itemTop = std::min(itemTop, item.stemLine.y1);
    }
    if (item.bellows == Bellows::Both) {
      item.markY = itemTop - 0.8 * s;
      reach(item.markY - g.textSize);
    }
  }
  for (const TabLine& beam : system.beams) {
    reach(std::min(beam.y0, beam.y1) - g.beamThickness() / 2);
    reach(std::max(beam.y0, beam.y1) + g.beamThickness() / 2);
  }
  for (const TabTie& tie : system.ties) reach(tie.y + (tie.above ? -0.8 : 0.8) * s);
  if (system.showsBarNumber) reach(-1.4 * s - g.textSize);
  if (!system.letters.empty()) {
    // Capitals stand about 0.72 of their size above the baseline.
    system.letterY = std::max(g.stepY(0) + 1.2 * s, below + 0.8 * s) + 0.72 * g.letterSize();
    below = system.letterY + 0.1 * g.letterSize();
  }
  system.pushY = std::max(g.stepY(0) + 1.8 * s, below + 0.9 * s);
  if (!system.pushBars.empty()) below = system.pushY + g.pushThickness();
  system.above = above;
  system.below = below;
}

}  // namespace

std::vector<TabPage> layoutTablature(const TabDocument& document, const TabGeometry& g) {
  const Beside beside(document);
  // An event the record file keeps silent while treble buttons beside it play is their chord.
  const auto written = linesPlayedWithBeside(document.buttonLines, {"", document.trebleBeside});
  std::vector<Cell> cells = cellsOf(notateRhythm(written, document.meter), g, beside);
  const std::vector<Line> lines = breakLines(cells, g);
  std::vector<TabSystem> systems;
  for (std::size_t l = 0; l < lines.size(); ++l)
    systems.push_back(engrave(cells, lines[l], l == 0, g));
  placeTies(systems, g);
  placePushBars(systems);
  placeLetters(systems, document);
  for (TabSystem& system : systems) measure(system, g);

  std::vector<TabPage> pages(1);
  pages[0].head = true;
  const double s = g.space;
  if (document.tempo > 0) {
    // The tempo mark stands over the first staff's start.
    TabSystem& first = systems.front();
    pages[0].tempoX = first.left;
    first.above -= 1.0 * s + g.textSize + 2;
  }
  double y = g.contentTop(true);
  for (TabSystem& system : systems) {
    const double height = system.below - system.above;
    if (!pages.back().systems.empty() && y + height > g.contentBottom()) {
      pages.emplace_back();
      y = g.contentTop(false);
    }
    system.top = y - system.above;
    y += height + kSystemGap * s;
    pages.back().systems.push_back(std::move(system));
  }
  // A full page spreads its staves down to its bottom margin (a little, never far apart).
  for (std::size_t p = 0; p + 1 < pages.size(); ++p) {
    auto& staves = pages[p].systems;
    if (staves.size() < 2) continue;
    const double free = g.contentBottom() - (staves.back().top + staves.back().below);
    const double share = std::clamp(free / static_cast<double>(staves.size() - 1), 0.0, 5 * s);
    for (std::size_t k = 1; k < staves.size(); ++k) staves[k].top += share * static_cast<double>(k);
  }
  if (document.tempo > 0)
    pages[0].tempoY = pages[0].systems.front().top + pages[0].systems.front().above + g.textSize;
  return pages;
}

std::pair<int, int> tabPlaceOf(const std::vector<TabPage>& pages, int event) {
  for (std::size_t p = 0; p < pages.size(); ++p)
    for (std::size_t s = 0; s < pages[p].systems.size(); ++s)
      for (const TabItem& item : pages[p].systems[s].items)
        if (item.rhythm.event <= event && event <= item.rhythm.lastEvent)
          return {static_cast<int>(p), static_cast<int>(s)};
  return {static_cast<int>(pages.size()) - 1, 0};
}

std::optional<TabBox> tabMarkOf(const std::vector<TabPage>& pages, int page, int event,
                                const TabGeometry& g) {
  if (page < 0 || page >= static_cast<int>(pages.size()) || event <= 0) return std::nullopt;
  for (const TabSystem& system : pages[static_cast<std::size_t>(page)].systems)
    for (const TabItem& item : system.items)
      if (item.rhythm.event <= event && event <= item.rhythm.lastEvent)
        return TabBox{item.left - 0.3 * g.space, system.top + system.above,
                      item.right - item.left + 0.3 * g.space, system.below - system.above};
  return std::nullopt;
}

}  // namespace tastrello
