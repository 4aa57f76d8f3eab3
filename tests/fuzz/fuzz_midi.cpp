// The MIDI file reader and the import: whatever the bytes, a file read has notes that start in
// order and never end before they start; the import gives at most 200 events of at most four
// buttons of one bellows block and a meter that can be kept; and exporting those events with
// that meter writes a file that reads back whole and imports as the same events.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "exchange/midi_lesson.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::string problem;
  const auto file = readMidiFile(bytes, problem);
  if (!file) {
    if (problem.empty()) std::abort();
    return 0;
  }
  long long last = 0;
  for (const auto& note : file->notes) {
    if (note.tick < last || note.length < 0 || note.pitch < 0 || note.pitch > 127) std::abort();
    last = note.tick;
  }
  MidiPart part;
  const auto parts = midiParts(*file);
  if (!parts.empty()) part = parts[size % parts.size()];
  const ImportResult imported = importMidi(*file, part, keyboard());
  if (imported.events.size() > 200 || !isValidMeter(imported.meter)) std::abort();
  std::vector<std::string> lines;
  for (const auto& event : imported.events) {
    if (event.buttons.size() > 4) std::abort();
    if (!event.buttons.empty() && bellowsOfButtons(event.buttons) == Bellows::Both) std::abort();
    lines.push_back(buttonLineOf(event));
  }
  // What an import gives, exported and imported again, comes back event for event: an import
  // that can be kept (the window and the converter refuse one with no note to play).
  const bool playable = std::any_of(imported.events.begin(), imported.events.end(),
                                    [](const ImportedEvent& e) { return !e.buttons.empty(); });
  if (!playable) return 0;
  const std::string written = exportRecordToMidi(lines, keyboard(), imported.meter, {});
  const auto again = readMidiFile(written, problem);
  if (!again || !again->warnings.empty()) std::abort();
  const ImportResult back = importMidi(*again, {}, keyboard());
  if (back.events != imported.events || back.meter != imported.meter) std::abort();
  return 0;
}
