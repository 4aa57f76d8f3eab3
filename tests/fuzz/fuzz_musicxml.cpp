// The MusicXML reader and the import, with the real XML parser and inflater: whatever the
// bytes (a score, an .mxl archive or garbage), a refusal says why; a score read gives notes
// that never end before they start, parts that exist, and an import of at most 200 events of
// at most four buttons of one bellows block with a meter that can be kept; and exporting those
// events with that meter writes a score that reads back and imports as the same events.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "exchange/midi_lesson.h"
#include "exchange/musicxml.h"
#include "platform/markup_reader.h"
#include "records/record_format.h"
#include "shell/text.h"

using namespace tastrello;

namespace {

const ButtonNotes& keyboard() {
  static const ButtonNotes notes = [] {
    std::ifstream in(std::string(TASTRELLO_DATA) + "/Notes/Notes_G-C-F.txt", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::size_t lines = 0;
    const auto layout = parseNoteLayout(s.str(), lines);
    if (!layout) std::abort();
    return buttonNotesOf(*layout);
  }();
  return notes;
}

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const PugiMarkupReader reader;
  std::string problem;
  const auto score = readMusicXml(bytes, reader, problem);
  if (!score) {
    check(!problem.empty());
    return 0;
  }
  check(score->name == "score-partwise");
  const auto parts = scoreParts(*score, UiLanguage(size % 4));
  check(parts.size() != 1);
  std::string id;
  if (!parts.empty()) {
    id = parts[size % parts.size()].id;
    for (const auto& part : parts) check(part.notes > 0 && !part.label.empty());
  }
  const Tune tune = tuneOfMusicXml(*score, id);
  check(tune.division > 0);
  for (const auto& note : tune.notes)
    check(note.length >= 0 && note.pitch >= 0 && note.pitch <= 127 && note.row >= -1 &&
          note.row <= 2);
  const ImportResult imported = importTune(tune, keyboard(), {});
  check(imported.events.size() <= 200 && isValidMeter(imported.meter));
  std::vector<std::string> lines;
  for (const auto& event : imported.events) {
    check(event.buttons.size() <= 4);
    check(event.buttons.empty() || bellowsOfButtons(event.buttons) != Bellows::Both);
    lines.push_back(buttonLineOf(event));
  }
  // What an import gives, exported and imported again, comes back event for event: an import
  // that can be kept (the window and the converter refuse one with no note to play).
  const bool playable = std::any_of(imported.events.begin(), imported.events.end(),
                                    [](const ImportedEvent& e) { return !e.buttons.empty(); });
  if (!playable) return 0;
  const std::string written = exportRecordToMusicXml(lines, keyboard(), imported.meter, {});
  const auto again = readMusicXml(written, reader, problem);
  check(again.has_value());
  const ImportResult back = importTune(tuneOfMusicXml(*again, ""), keyboard(), {});
  check(back.events == imported.events && back.meter == imported.meter);
  return 0;
}
