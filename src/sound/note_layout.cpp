// Note layout files: 25 caption lines and 26 note lines that give each of the 68 buttons its
// name and its MIDI note; and the choice of a layout in the note list.
#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kCaptionLines = 25;
constexpr int kNoteLines = 26;

enum class LineKind { Comment, Single, Triple };

LineKind kindOf(const std::string& line) {
  if (line.compare(0, 3, "###") == 0) return LineKind::Comment;
  if (line.compare(0, 2, "00") == 0) return LineKind::Single;
  return LineKind::Triple;
}

template <std::size_t N>
void setEntry(std::array<std::optional<std::string>, N>& table, int index, std::string value) {
  // Entries past the table are ignored, never written.
  if (index >= 0 && index < static_cast<int>(N)) table[index] = std::move(value);
}

}  // namespace

std::optional<NoteLayout> Form1::readNoteLayout(const std::string& fileName, std::string& problem) {
  if (!isSafeFileName(fileName)) {
    problem = "Note layout name \"" + fileName + "\" is not a plain file name; nothing loaded.";
    return std::nullopt;
  }
  const auto bytes = services.files->read("Notes/" + fileName);
  if (!bytes) {
    problem = "Note layout Notes/" + fileName + " cannot be read; the keyboard is unchanged.";
    return std::nullopt;
  }
  const auto lines = splitLines(*bytes);
  if (lines.size() < kCaptionLines + kNoteLines) {
    problem = "Note layout " + fileName + " has " + std::to_string(lines.size()) +
              " lines instead of 51; the keyboard is unchanged.";
    return std::nullopt;
  }
  NoteLayout layout;
  int k = 0;
  for (int i = 0; i < kCaptionLines; ++i) {
    const auto& line = lines[i];
    switch (kindOf(line)) {
      case LineKind::Comment:
        break;
      case LineKind::Single:
        setEntry(layout.captions, k++, mid(line, 4, 3));
        break;
      case LineKind::Triple:
        setEntry(layout.captions, k, mid(line, 1, 2));
        if (k > 65) break;  // the last buttons take only the first field
        setEntry(layout.captions, k + 1, mid(line, 4, 2));
        setEntry(layout.captions, k + 2, mid(line, 7, 2));
        k += 3;
        break;
    }
  }
  k = 0;
  for (int i = kCaptionLines; i < kCaptionLines + kNoteLines; ++i) {
    const auto& line = lines[i];
    switch (kindOf(line)) {
      case LineKind::Comment:
        break;
      case LineKind::Single:
        setEntry(layout.notes, k++, mid(line, 4, 3));
        break;
      case LineKind::Triple:
        setEntry(layout.notes, k, mid(line, 1, 2));
        setEntry(layout.notes, k + 1, mid(line, 4, 2));
        setEntry(layout.notes, k + 2, mid(line, 7, 2));
        k += 3;
        break;
    }
  }
  return layout;
}

bool Form1::loadNoteLayout() {
  std::string problem;
  const auto layout = readNoteLayout(noteFileName, problem);
  if (!layout) {
    report(problem);
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
}

std::optional<int> Form1::keyNote(int button) const {
  // An entry no layout has set reads as 0; one that holds no number sounds nothing.
  const auto& entry = keyNotes[button];
  return entry ? parseInt16(*entry) : std::optional<int>(0);
}

void Form1::selectLayoutInForce() {
  NoteList.selected = -1;
  for (std::size_t i = 0; i < NoteList.items.size(); ++i)
    if (sameNameIgnoringCase(NoteList.items[i], layoutInForce))
      NoteList.selected = static_cast<int>(i);
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
  NotenSchirm.items.clear();
  NotenSchirm.selected = -1;
  ZahlenSchirm.items.clear();
  ZahlenSchirm.selected = -1;
  NotenSchirm.visible = ZahlenSchirm.visible = false;
  hideMarkers();
  Label2.caption.clear();
  setInfos(kFreePlay, 18);
}

}  // namespace tastrello
