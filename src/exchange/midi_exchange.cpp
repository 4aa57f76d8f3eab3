// MIDI files in the window: the loaded record exported at its tempo and instrument, and a
// file imported into the editor, unsaved, with buttons and bellows chosen for the layout in
// force.
#include "exchange/midi_lesson.h"
#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kDefaultBellowsController = 2;  // breath controller, when BELLOWS-CC: is empty

}  // namespace

std::optional<std::string> Form1::exportMidi() {
  const auto events = loadedEvents();
  if (events.empty()) {
    report(say(Text::MsgPlayNothing));
    return std::nullopt;
  }
  ExportSettings settings;
  settings.intervalMs = tempoInterval();
  settings.program = instrumentNumber;
  settings.bellowsController =
      hands.bellowsController >= 0 ? hands.bellowsController : kDefaultBellowsController;
  settings.name = Infos.caption;
  return exportRecordToMidi(events, buttonNotes(), settings);
}

void Form1::importMidi(const std::string& bytes, const std::string& name, const MidiPart& part) {
  if (EditBox.visible && unsavedChanges > 0) {
    report(say(Text::MsgImportUnsaved, {std::to_string(unsavedChanges)}));
    return;
  }
  std::string problem;
  const auto file = readMidiFile(bytes, problem);
  if (!file) {
    report(say(Text::MsgImportRefused, {name, problem}));
    return;
  }
  const ImportResult imported = tastrello::importMidi(*file, part, buttonNotes());
  if (imported.events.empty()) {
    report(say(Text::MsgImportRefused, {name, say(Text::WhyNoPlayableNote)}));
    return;
  }
  if (EditBox.visible) resetToFreePlay();
  clearEvents();
  Record_Click();
  std::array<std::string, kKeyCount> captions;
  for (int b = 0; b < kKeyCount; ++b) captions[static_cast<std::size_t>(b)] = Keys[b].caption;
  for (const auto& event : imported.events) {
    if (event.buttons.empty()) {
      insertEvent(eventCount(), restEvent(kBreakMute));
    } else {
      const auto [buttonLine, nameLine] = eventLines(event.buttons, captions);
      insertEvent(eventCount(), eventFromLines(buttonLine, nameLine));
    }
  }
  unsavedChanges = eventCount();
  SaveName.text = name;
  SaveName_Change();
  for (const auto& warning : file->warnings) report(name + ": " + warning);
  for (const auto& why : imported.problems) report(name + ": " + why);
  inform(
      say(Text::MsgImported, {std::to_string(eventCount()), std::to_string(imported.bellowsChanges),
                              std::to_string(imported.problems.size() + file->warnings.size())}));
}

}  // namespace tastrello
