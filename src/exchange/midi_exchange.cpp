// MIDI files in the window: the loaded record exported at its tempo and instrument, and a
// file imported into the editor, unsaved, with buttons and bellows chosen for the layout in
// force.
#include "exchange/midi_lesson.h"
#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kDefaultBellowsController = 2;        // breath controller, when BELLOWS-CC: is empty
constexpr std::size_t kLargestMidiFile = 16 << 20;  // more is no tune

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

void Form1::MidiExport_Click() {
  const auto bytes = exportMidi();
  if (!bytes) return;
  const std::string events = std::to_string(loadedEvents().size());
  Request request;
  request.kind = Request::Kind::SaveFile;
  request.title = MidiExport.caption;
  request.name = Infos.caption + ".mid";
  request.format = "MIDI";
  request.options = {"mid"};
  request.bytes = *bytes;
  ask(std::move(request), [this, events](const Event& e) {
    if (e.cancelled) return;
    if (e.index < 0)
      report(say(Text::MsgNotSaved, {e.text, e.bytes}));
    else
      inform(say(Text::MsgExportedMidi, {e.text, events}));
  });
}

void Form1::MidiImport_Click() {
  Request request;
  request.kind = Request::Kind::OpenFile;
  request.title = MidiImport.caption;
  request.format = "MIDI";
  request.options = {"mid", "midi"};
  request.largest = kLargestMidiFile;
  ask(std::move(request), [this](const Event& e) {
    if (e.cancelled) return;
    if (e.index < 0)
      report(say(Text::MsgImportRefused, {e.text, e.bytes}));
    else
      openMidiFile(e.text, e.bytes);
  });
}

void Form1::openMidiFile(const std::string& name, const std::string& bytes) {
  std::string problem;
  auto file = readMidiFile(bytes, problem);
  if (!file) {
    report(say(Text::MsgImportRefused, {name, problem}));
    return;
  }
  const auto parts = midiParts(*file);
  if (parts.empty()) {
    importMidi(*file, name, {});
    return;
  }
  // Several tracks or channels with notes: the learner chooses, or takes them all.
  Request request;
  request.kind = Request::Kind::ChooseOne;
  request.title = MidiImport.caption;
  request.name = say(Text::MidiPartQuestion);
  request.options.push_back(say(Text::MidiPartAll));
  for (const auto& part : parts) request.options.push_back(part.label);
  ask(std::move(request), [this, name, parts, file = std::move(*file)](const Event& e) {
    if (e.cancelled || e.index < 0 || e.index > int(parts.size())) return;
    importMidi(file, name, e.index == 0 ? MidiPart{} : parts[std::size_t(e.index - 1)]);
  });
}

void Form1::importMidi(const std::string& bytes, const std::string& name, const MidiPart& part) {
  std::string problem;
  const auto file = readMidiFile(bytes, problem);
  if (!file) {
    report(say(Text::MsgImportRefused, {name, problem}));
    return;
  }
  importMidi(*file, name, part);
}

void Form1::importMidi(const MidiFileContent& content, const std::string& name,
                       const MidiPart& part) {
  if (EditBox.visible && unsavedChanges > 0) {
    report(say(Text::MsgImportUnsaved, {std::to_string(unsavedChanges)}));
    return;
  }
  const ImportResult imported = tastrello::importMidi(content, part, buttonNotes());
  if (imported.events.empty()) {
    report(say(Text::MsgImportRefused, {name, say(Text::WhyNoPlayableNote)}));
    return;
  }
  // Replay and practice belong to the record loaded before: they end before the editor opens.
  if (Timer1.enabled || StopReplay.visible) StopReplay_Click();
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
  for (const auto& warning : content.warnings) report(name + ": " + warning);
  for (const auto& why : imported.problems) report(name + ": " + why);
  inform(
      say(Text::MsgImported, {std::to_string(eventCount()), std::to_string(imported.bellowsChanges),
                              std::to_string(imported.problems.size() + content.warnings.size())}));
}

}  // namespace tastrello
