// MIDI and MusicXML files in the window: the loaded record exported with its meter, tempo and
// instrument (as a MIDI file or as a score), and a file imported into the editor, unsaved, with
// its rhythm and with buttons and bellows chosen for the layout in force (over all the rows of
// a four- or five-row instrument in force, the buttons past the third row kept beside the
// record); its meter is written beside the record when it is saved.
#include <algorithm>
#include <cmath>

#include "exchange/midi_lesson.h"
#include "exchange/musicxml.h"
#include "exchange/wechselbass.h"
#include "input/treble_beside.h"
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kDefaultBellowsController = 2;        // breath controller, when BELLOWS-CC: is empty
constexpr std::size_t kLargestMidiFile = 16 << 20;  // more is no tune (a score's too)

/// The instrument in force when it has more rows than a record file holds and its first three
/// are the layout on the keyboard: a tune is then fingered over all its rows. Nothing for a
/// three-row one (or none), whose treble the layout gives, nor for one of another tuning.
const Instrument* manyRowInstrument(const LeftHand& leftHand, const ButtonNotes& keyboard) {
  const Instrument* instrument = leftHand.instrument();
  return instrument && hasTrebleBeside(*instrument, keyboard) ? instrument : nullptr;
}

/// What an imported tune puts beside its record, taken as the new record's: the treble buttons
/// the record file cannot hold, and its left hand on the bass side in force; what the status
/// line says of them (nothing for a tune of the record file's rows without a left hand).
std::vector<std::string> importHands(LeftHand& leftHand, const Tune& tune,
                                     const ImportResult& imported,
                                     const std::vector<std::string>& buttonLines,
                                     const StatusReports& texts) {
  RecordHands hands;
  hands.buttons = trebleBesideOf(imported);
  std::vector<std::string> says;
  if (!hands.buttons.empty())
    says.push_back(texts.say(Text::MsgImportRows,
                             {std::to_string(hands.buttons.size()), leftHand.file()}));
  if (hasLeftHand(tune) && !leftHand.present()) says.push_back(texts.say(Text::MsgImportBassNoSide));
  if (hasLeftHand(tune) && leftHand.present()) {
    ImportedBass bass = bassOfImport(tune, imported, buttonLines, *leftHand.instrument());
    const int missing = static_cast<int>(bass.gaps.size()) + bass.unplaced;
    says.push_back(texts.say(Text::MsgImportBass,
                             {std::to_string(bass.buttons.size()), leftHand.file()}));
    if (missing > 0) says.push_back(texts.say(Text::MsgImportBassGaps, {std::to_string(missing)}));
    hands.buttons.insert(hands.buttons.end(), bass.buttons.begin(), bass.buttons.end());
    std::stable_sort(hands.buttons.begin(), hands.buttons.end(),
                     [](const HandButton& a, const HandButton& b) { return a.event < b.event; });
  }
  if (leftHand.present() && (hasLeftHand(tune) || !hands.buttons.empty())) {
    hands.instrument = leftHand.file();
    leftHand.takeRecordBass(hands);
  }
  return says;
}

}  // namespace

std::optional<std::string> Form1::exportMidi() {
  const auto events = loadedEvents();
  if (events.empty()) {
    status().report(say(Text::MsgPlayNothing));
    return std::nullopt;
  }
  ExportSettings settings;
  settings.intervalMs = tempoInterval();
  settings.program = instrumentNumber;
  settings.bellowsController =
      hands.bellowsController >= 0 ? hands.bellowsController : kDefaultBellowsController;
  settings.name = Infos.caption;
  const RecordHands bass = leftHand_.recordHands();
  if (!bass.buttons.empty())
    return exportRecordToMidi(events, buttonNotes(), loadedMeter(), settings, bass,
                              *leftHand_.instrument());
  return exportRecordToMidi(events, buttonNotes(), loadedMeter(), settings);
}

Meter Form1::loadedMeter() const {
  // Read once with the record (loadMeter); a record's meter changes only through the
  // choosers, which keep the file as it is here.
  return Label2.caption.empty() ? Meter{} : practice.meter;
}

std::optional<std::string> Form1::exportMusicXml() {
  const auto events = loadedEvents();
  if (events.empty()) {
    status().report(say(Text::MsgPlayNothing));
    return std::nullopt;
  }
  MusicXmlSettings settings;
  settings.title = Infos.caption;
  settings.tuning = tuningName(noteFileName);
  settings.program = instrumentNumber;
  settings.language = uiLanguageOf(textsLanguage);
  // Without a tempo of its own, the one replay plays it at (a step of the grid a tick).
  const Meter meter = loadedMeter();
  settings.tempoWithoutMeter =
      static_cast<int>(std::lround(60000.0 / (tempoInterval() * meter.stepsPerBeat)));
  const RecordHands bass = leftHand_.recordHands();
  if (!bass.buttons.empty())
    return exportRecordToMusicXml(events, buttonNotes(), meter, settings, bass,
                                  *leftHand_.instrument());
  return exportRecordToMusicXml(events, buttonNotes(), meter, settings);
}

void Form1::MidiExport_Click() {
  if (loadedEvents().empty()) {
    status().report(say(Text::MsgPlayNothing));
    return;
  }
  Request request;
  request.kind = Request::Kind::ChooseOne;
  request.title = MidiExport.caption;
  request.name = say(Text::ExportFormatQuestion);
  request.options = {"MIDI (.mid)", "MusicXML (.musicxml)"};
  ask(std::move(request), [this](const Event& e) {
    if (!e.cancelled && (e.index == 0 || e.index == 1)) exportAs(e.index);
  });
}

void Form1::exportAs(int format) {
  const bool score = format == 1;
  const auto bytes = score ? exportMusicXml() : exportMidi();
  if (!bytes) return;
  const std::string events = std::to_string(loadedEvents().size());
  Request request;
  request.kind = Request::Kind::SaveFile;
  request.title = MidiExport.caption;
  request.name = Infos.caption + (score ? ".musicxml" : ".mid");
  request.format = score ? "MusicXML" : "MIDI";
  request.options = {score ? "musicxml" : "mid"};
  request.bytes = *bytes;
  ask(std::move(request), [this, events](const Event& e) {
    if (e.cancelled) return;
    if (e.index < 0)
      status().report(say(Text::MsgNotSaved, {e.text, e.bytes}));
    else
      status().inform(say(Text::MsgExportedMidi, {e.text, events}));
  });
}

void Form1::MidiImport_Click() {
  Request request;
  request.kind = Request::Kind::OpenFile;
  request.title = MidiImport.caption;
  request.format = "MIDI, MusicXML";
  request.options = {"mid", "midi", "musicxml", "xml", "mxl"};
  request.largest = kLargestMidiFile;
  ask(std::move(request), [this](const Event& e) {
    if (e.cancelled) return;
    if (e.index < 0)
      status().report(say(Text::MsgImportRefused, {e.text, e.bytes}));
    else
      openMidiFile(e.text, e.bytes);
  });
}

void Form1::openMidiFile(const std::string& name, const std::string& bytes) {
  if (looksLikeMusicXml(bytes)) {
    openMusicXml(name, bytes);
    return;
  }
  std::string problem;
  auto file = readMidiFile(bytes, problem, uiLanguageOf(textsLanguage));
  if (!file) {
    status().report(say(Text::MsgImportRefused, {name, problem}));
    return;
  }
  const auto parts = midiParts(*file, uiLanguageOf(textsLanguage));
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

void Form1::openMusicXml(const std::string& name, const std::string& bytes) {
  if (!services.markup) {
    status().report(say(Text::MsgImportRefused, {name, say(Text::WhyNoMusicXml)}));
    return;
  }
  std::string problem;
  auto score = readMusicXml(bytes, *services.markup, problem, uiLanguageOf(textsLanguage));
  if (!score) {
    status().report(say(Text::MsgImportRefused, {name, problem}));
    return;
  }
  const auto parts = scoreParts(*score, uiLanguageOf(textsLanguage));
  if (parts.empty()) {
    importTune(tuneOfMusicXml(*score, ""), name, {});
    return;
  }
  // Several parts with notes: the learner chooses the one whose melody to take.
  Request request;
  request.kind = Request::Kind::ChooseOne;
  request.title = MidiImport.caption;
  request.name = say(Text::ScorePartQuestion);
  for (const auto& part : parts) request.options.push_back(part.label);
  ask(std::move(request), [this, name, parts, score = std::move(*score)](const Event& e) {
    if (e.cancelled || e.index < 0 || e.index >= int(parts.size())) return;
    importTune(tuneOfMusicXml(score, parts[std::size_t(e.index)].id), name, {});
  });
}

void Form1::importMidi(const std::string& bytes, const std::string& name, const MidiPart& part) {
  std::string problem;
  const auto file = readMidiFile(bytes, problem, uiLanguageOf(textsLanguage));
  if (!file) {
    status().report(say(Text::MsgImportRefused, {name, problem}));
    return;
  }
  importMidi(*file, name, part);
}

void Form1::importMidi(const MidiFileContent& content, const std::string& name,
                       const MidiPart& part) {
  ImportOptions options;
  options.bellowsController =
      hands.bellowsController >= 0 ? hands.bellowsController : kDefaultBellowsController;
  importTune(tuneOfMidi(content, part, options), name, content.warnings);
}

void Form1::importTune(const Tune& tune, const std::string& name,
                       const std::vector<std::string>& warnings) {
  if (EditBox.visible && draft().unsavedChanges() > 0) {
    status().report(say(Text::MsgImportUnsaved, {std::to_string(draft().unsavedChanges())}));
    return;
  }
  ImportOptions options;
  options.captions = keyCaptions();
  const Instrument* rows = manyRowInstrument(leftHand_, buttonNotes());
  const ImportResult imported = rows ? tastrello::importTune(tune, *rows, options)
                                     : tastrello::importTune(tune, buttonNotes(), options);
  if (std::none_of(imported.events.begin(), imported.events.end(),
                   [](const ImportedEvent& e) { return e.plays(); })) {
    status().report(say(Text::MsgImportRefused, {name, say(Text::WhyNoPlayableNote)}));
    return;
  }
  // Replay and practice belong to the record loaded before: they end before the editor opens.
  if (Timer1.enabled || StopReplay.visible) StopReplay_Click();
  if (EditBox.visible) resetToFreePlay();
  clearEvents();
  Record_Click();
  // Each event imported is work a cancel would lose.
  RecordDraft& record = draft();
  for (const auto& event : imported.events) {
    if (event.buttons.empty()) {
      record.insert(record.eventCount(), restEvent(buttonLineOf(event)));
    } else {
      // On more rows than a record file holds its buttons are named as the instrument names them.
      const auto [buttonLine, nameLine] =
          rows ? recordLinesOf(event, *rows) : eventLines(event.buttons, options.captions);
      record.insert(record.eventCount(), eventFromLines(buttonLine, nameLine));
    }
    record.noteChange();
  }
  record.importedMeter = imported.meter;
  const auto handsSay = importHands(leftHand_, tune, imported, ShadowListe3.items, status());
  SaveName.text = name;
  SaveName_Change();
  for (const auto& warning : warnings) status().report(name + ": " + warning);
  for (const auto& note : imported.notes)
    status().report(name + ": " + describe(note, uiLanguageOf(textsLanguage)));
  for (const auto& said : handsSay) status().report(name + ": " + said);
  const Meter& m = imported.meter;
  const std::string grid = say(m.stepsPerBeat == 4   ? Text::GridSixteenths
                               : m.stepsPerBeat == 2 ? Text::GridEighths
                                                     : Text::GridQuarters);
  const std::string meter =
      m.tempo > 0 ? say(Text::ImportMeterTempo,
                        {std::to_string(m.beatsPerBar), grid, std::to_string(m.tempo)})
                  : say(Text::ImportMeterOnly, {std::to_string(m.beatsPerBar), grid}) + ", " +
                        say(Text::ImportNoTempo);
  status().inform(
      say(Text::MsgImported, {std::to_string(record.eventCount()), std::to_string(imported.bellowsChanges),
                              std::to_string(imported.notes.size() + warnings.size()), meter}));
}

}  // namespace tastrello
