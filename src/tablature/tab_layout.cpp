#include "tablature/tab_layout.h"

#include <algorithm>

#include "records/record_format.h"
#include "shell/text.h"
#include "sound/layout_format.h"

namespace tastrello {

TabNote tabNoteOf(int button) {
  const int position = button % (kKeyCount / 2);
  TabNote note;
  // Index = block base + 3 * rank + column; the twelfth button (33) ends the middle row.
  const int column = position == 33 ? 1 : position % 3;
  note.row = column + 1;
  note.number = (position == 33 ? 11 : position / 3) + 1;
  note.step = note.row == 1 ? 2 * note.number - 11 : 2 * note.number - 8;
  note.cross = note.row == 3;
  return note;
}

double TabGeometry::systemHeight() const {
  // The highest and lowest steps, then room for the push bar and a gap.
  return (kHighestStep - kLowestStep) * lineGap / 2 + 4 * lineGap;
}

int TabGeometry::eventsPerSystem() const {
  return std::max(1, static_cast<int>((width - 2 * margin - indent) / column));
}

int TabGeometry::systemsPerPage() const {
  return std::max(1, static_cast<int>((height - 2 * margin - header - footer) / systemHeight()));
}

namespace {

TabEvent eventOf(const std::string& buttonLine, int number) {
  TabEvent event;
  event.number = number;
  if (buttonLine == kBreakMute) {
    event.rest = TabRest::Silent;
  } else if (buttonLine == kBreakPlay) {
    event.rest = TabRest::Ringing;
  } else {
    for (int button : buttonsOfLine(buttonLine)) event.notes.push_back(tabNoteOf(button));
    event.bellows = bellowsOf(buttonLine);
  }
  return event;
}

void addPushBars(TabSystem& system, double column) {
  bool open = false;
  for (const TabEvent& event : system.events) {
    const bool push = event.bellows == Bellows::Push || event.bellows == Bellows::Both;
    if (push && !open) system.pushBars.push_back({event.x, event.x + column});
    if (push) system.pushBars.back().second = event.x + column;
    // A rest keeps the bar going only between two pushed chords: the bellows stay as they are.
    open = push || (open && event.rest != TabRest::None);
  }
}

}  // namespace

std::vector<TabPage> layoutTablature(const std::vector<std::string>& buttonLines,
                                     const TabGeometry& g) {
  const int perSystem = g.eventsPerSystem();
  const int perPage = g.systemsPerPage();
  const double firstTop =
      g.margin + g.header + (TabGeometry::kHighestStep - 8) * g.lineGap / 2 + g.lineGap;
  std::vector<TabPage> pages(1);
  const int count = static_cast<int>(buttonLines.size());
  for (int i = 0; i < count; ++i) {
    if (i % perSystem == 0) {
      if (pages.back().systems.size() == static_cast<std::size_t>(perPage)) pages.emplace_back();
      TabSystem system;
      system.top = firstTop + static_cast<double>(pages.back().systems.size()) * g.systemHeight();
      pages.back().systems.push_back(system);
    }
    TabSystem& system = pages.back().systems.back();
    TabEvent event = eventOf(buttonLines[static_cast<std::size_t>(i)], i + 1);
    event.x = g.margin + g.indent + (i % perSystem) * g.column;
    system.events.push_back(std::move(event));
  }
  for (auto& page : pages)
    for (auto& system : page.systems) addPushBars(system, g.column);
  return pages;
}

std::pair<int, int> tabPlaceOf(const std::vector<TabPage>& pages, int event) {
  for (std::size_t p = 0; p < pages.size(); ++p)
    for (std::size_t s = 0; s < pages[p].systems.size(); ++s)
      for (const auto& e : pages[p].systems[s].events)
        if (e.number == event) return {static_cast<int>(p), static_cast<int>(s)};
  return {static_cast<int>(pages.size()) - 1, 0};
}

std::string tuningName(const std::string& layoutFile) {
  std::string name = layoutFile;
  if (upper(left(name, 6)) == "NOTES_") name = name.substr(6);
  if (name.size() > 4 && upper(right(name, 4)) == ".TXT") name.resize(name.size() - 4);
  return name;
}

}  // namespace tastrello
