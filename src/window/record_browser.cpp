// The record list and the loader: a click on a name reads the record, loads its note layout,
// runs the replay step once through the whole record and leaves event 1 on display.
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

std::string displayName(const std::string& fileName) {
  std::string name = mid(fileName, 9, 40);
  const auto txt = name.find(".txt");
  if (txt != std::string::npos) return name.substr(0, txt);
  const auto dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

int titleFontSize(const std::string& name) {
  if (name.size() > 20) return 10;
  if (name.size() > 16) return 12;
  if (name.size() > 10) return 14;
  return 22;
}

bool hasRecordPrefix(const std::string& name) {
  const std::string prefix = left(name, 6);
  return prefix == "Lesson" || prefix == "Record";
}

}  // namespace

void Form1::RecordList_Click() {
  if (RecordList.selected < 0 || RecordList.selected >= static_cast<int>(RecordList.items.size()))
    return;
  const std::string fileName = RecordList.items[RecordList.selected];
  RecordList.backColor = kWhite;

  // Everything is read and checked before the window changes, so that a refused file leaves
  // the record loaded before as it was.
  std::string problem;
  std::optional<RecordContent> record;
  if (!hasRecordPrefix(fileName)) {
    problem = say(Text::WhyNoPrefix);
  } else {
    record = readRecordContent(RecordList.folder + fileName, problem);
    std::optional<NoteLayout> layout;
    if (record) {
      std::string why;
      layout = readNoteLayout(record->layoutName, why);
      if (!layout) problem = say(Text::WhyLayout, {record->layoutName, why});
    }
    if (layout)
      loadingLayout = std::move(*layout);
    else
      record.reset();
  }
  if (!record) {
    RecordList.backColor = keyLitColor;
    status().report(say(Text::MsgRecordRefused, {fileName, problem}));
    return;
  }
  loadingRecord = std::move(*record);

  // Replay and practice belong to the record loaded before.
  if (StopReplay.visible) StopReplay_Click();
  clearEvents();
  Label2.caption = fileName;
  clearRecordViews();
  ZahlenSchirm.visible = false;
  AccordDisplay.caption.clear();
  AccordDisplay.fontSize = 18;
  replayStarted = false;
  const std::string name = displayName(fileName);
  setInfos(name, titleFontSize(name));
  Infos.visible = InfosCopy.visible = true;
  Timer1.enabled = false;
  replayStep = 1;
  loadRecord();
  loadPracticeHistory(fileName);
}

void Form1::loadRecord() {
  clearEvents();
  clearRecordViews();
  if (!hasRecordPrefix(Label2.caption)) {
    RecordList.backColor = keyLitColor;
    return;
  }
  readRecordFile(loadingRecord);
  loadRecordBass(Label2.caption);
  replayPosition = 0;
  RecordList.backColor = kWhite;
  NotenSchirm.visible = true;
  applyRecordLayout();
  // A tuning chosen in the instrument panel plays every record on the player's instrument.
  if (!chosenTuning.empty()) {
    noteFileName = chosenTuning;
    loadNoteLayout();
    showNamesInForce();
  }
  testPassDone = false;
  ZahlenSchirm.visible = true;
  // The dry run walks once through every event; replayEnd is at least 1, so it ends after
  // at most replayEnd steps.
  for (int guard = 0; !testPassDone && guard <= kTableSlots; ++guard) {
    replayMode = ReplayMode::Test;
    advanceReplay();
  }
  // Event 1 is shown alone: a rest there shows no markers, not those of an earlier chord.
  hideMarkers();
  advanceReplay();
  Midi_Out_Reset();
  replayMode = ReplayMode::Single;
  PlayMode.picture = pictures::kSingle;
}

}  // namespace tastrello
