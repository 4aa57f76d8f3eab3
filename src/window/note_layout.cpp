// Note layout files: 25 caption lines and 26 note lines that give each of the 68 buttons its
// name and its MIDI note; and the choice of a layout in the note list.
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

std::optional<NoteLayout> Form1::readNoteLayout(const std::string& fileName, std::string& problem) {
  if (!isSafeFileName(fileName)) {
    problem = say(Text::WhyLayoutName);
    return std::nullopt;
  }
  const auto bytes = services.files->read("Notes/" + fileName);
  if (!bytes) {
    problem = say(Text::WhyUnreadable);
    return std::nullopt;
  }
  std::size_t lines = 0;
  auto layout = parseNoteLayout(*bytes, lines);
  if (!layout)
    problem = say(Text::WhyLineCount, {std::to_string(lines), std::to_string(kLayoutLines)});
  return layout;
}

bool Form1::loadNoteLayout() {
  std::string problem;
  const auto layout = readNoteLayout(noteFileName, problem);
  if (!layout) {
    status().report(say(Text::MsgLayoutRefused, {noteFileName, problem}));
    // The layout in force stays, and so does its name, which records are saved with.
    if (!layoutInForce.empty()) noteFileName = layoutInForce;
    return false;
  }
  applyNoteLayout(*layout);
  return true;
}

void Form1::applyNoteLayout(const NoteLayout& layout) {
  layoutInForce = noteFileName;
  // Nothing is cleared: what the file does not reach keeps its value.
  for (int i = 0; i < kKeyCount; ++i) {
    if (layout.captions[i]) Keys[i].caption = *layout.captions[i];
  }
  for (int i = 0; i < kKeyTableSize; ++i) {
    if (layout.notes[i]) keyNotes[i] = *layout.notes[i];
  }
  updateKeyTips();
  showTrebleBeside();  // an instrument of more rows fits some layouts only
}

std::optional<int> Form1::keyNote(int button) const {
  // An entry no layout has set reads as 0; one that holds no number sounds nothing.
  const auto& entry = keyNotes[button];
  return entry ? parseInt16(*entry) : std::optional<int>(0);
}

ButtonNotes Form1::buttonNotes() const {
  ButtonNotes notes;
  for (int b = 0; b < kKeyCount; ++b) notes[static_cast<std::size_t>(b)] = keyNote(b);
  return notes;
}

void Form1::selectLayoutInForce() {
  NoteList.selected = -1;
  for (std::size_t i = 0; i < NoteList.items.size(); ++i)
    if (sameNameIgnoringCase(NoteList.items[i], layoutInForce))
      NoteList.selected = static_cast<int>(i);
}

void Form1::chooseTuning(const std::string& layoutName) {
  if (!layoutName.empty()) {
    noteFileName = layoutName;
    if (!loadNoteLayout()) return;  // refused: the tuning in force stays
  } else if (!loadingRecord.layoutName.empty() && !NotenSchirm.items.empty()) {
    applyRecordLayout();  // back to the loaded record's own
  }
  chosenTuning = layoutName;
  selectLayoutInForce();
  showNamesInForce();
  fillChoosers();
}

std::array<std::string, kKeyCount> Form1::keyCaptions() const {
  std::array<std::string, kKeyCount> captions;
  for (int b = 0; b < kKeyCount; ++b) captions[std::size_t(b)] = Keys[b].caption;
  return captions;
}

void Form1::showNamesInForce() {
  // The record keeps the names of its own layout; the list names the buttons as the tuning in
  // force does, as the buttons and the status line do.
  const std::array<std::string, kKeyCount> captions = keyCaptions();
  const int shown = std::min<int>(static_cast<int>(NotenSchirm.items.size()), kMaxEvents);
  for (int k = 1; k <= shown; ++k) {
    const std::string& buttonLine = eventButtonLines.at(std::size_t(k));
    if (buttonLine.empty() || isRestMarker(buttonLine)) continue;
    const std::string nameLine = chosenTuning.empty()
                                     ? eventNameLines.at(std::size_t(k))
                                     : eventLines(buttonsOfLine(buttonLine), captions).second;
    NotenSchirm.items[std::size_t(k - 1)] = displayTextFromNameLine(nameLine);
  }
}

void Form1::TuningChooser_Click() {
  const std::string wanted = TuningChooser.values.at(std::size_t(TuningChooser.selected));
  chooseTuning(wanted);
  fillChoosers();  // a refused tuning shows the one in force again
}

void Form1::applyRecordLayout() {
  noteFileName = loadingRecord.layoutName;
  applyNoteLayout(loadingLayout);  // read and checked with the record
}

void Form1::NoteList_Click() {
  if (NoteList.selected < 0 || NoteList.selected >= static_cast<int>(NoteList.items.size())) return;
  noteFileName = NoteList.items[NoteList.selected];
  if (!loadNoteLayout()) {
    // A refused layout changes nothing: the list shows the layout in force again.
    selectLayoutInForce();
    return;
  }
  AccordDisplay.caption.clear();
  AccordDisplay.fontSize = 18;
  clearRecordViews();
  NotenSchirm.visible = ZahlenSchirm.visible = false;
  hideMarkers();
  Label2.caption.clear();
  setInfos(kFreePlay, 18);
}

}  // namespace tastrello
