// Recording: entering the editor, saving the record under a name, cancelling, and the reset
// that brings the window back to free play.
#include <algorithm>

#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

/// Whether `folder` holds a file of this name (as the file system compares them, in any case).
bool holdsFile(Files& files, const std::string& folder, const std::string& fileName) {
  const auto names = files.list(folder);
  return names && std::any_of(names->begin(), names->end(), [&](const std::string& name) {
           return sameNameIgnoringCase(name, fileName);
         });
}

}  // namespace

void Form1::Record_Click() {
  keyMode = "EDIT";
  resetKeyLooks();
  Midi_Out_Reset();
  draft().clearPending();
  AccordDisplay.caption.clear();
  AccordDisplay.fontSize = 18;
  const bool continuing = !EditBox.items.empty();
  if (!continuing) setInfos("EDIT", 22);
  Label11.caption = chordAdoptCaption;
  replaceMode = true;
  RepIns.picture = InsRep.picture;
  EditorTMP.border = true;
  EditorTMP.visible = true;
  commitCounter = 0;
  // Each recording starts with no selection, whatever the last one left, and with nothing
  // to lose; continuing a loaded record may replace that record's file at the first save.
  EditBox.selected = -1;
  editClickState = 0;
  draft().begin(continuing ? Label2.caption : std::string());
  // Continuing a record saves it under its own name unless another is typed.
  SaveName.text = continuing ? recordNameOf(draft().source()) : std::string();
  SaveName.backColor = kWhite;

  showPanel(freePlayPanel(), false);
  showPanel(replayPanel(), false);
  NotenSchirm.visible = ZahlenSchirm.visible = false;
  hideMarkers();
  showPanel(editorPanel(), true);
  // Its exceptions: the line actions wait for a selection, "start afresh" for a record to
  // continue, the boards for the help option.
  KillNote.visible = RepIns.visible = false;
  ReEd.visible = Label22.visible = continuing;
  Tafel1.visible = Tafel2.visible = helpEditSetting == "TRUE";
  NextRecord.enabled = SaveRecord.enabled = true;

  draft().clearPending();
  AccordDisplay.caption.clear();
  showPracticePanel();
}

void Form1::SaveRecord_Click() {
  const std::string whyNot = recordNameProblem(SaveName.text);
  if (!whyNot.empty()) {
    // An empty name, or one that could leave the records folder or that the file system
    // refuses, is not used.
    SaveName.backColor = keyLitColor;
    status().report(whyNot);
    return;
  }
  if (ShadowListe2.items.empty()) {
    beep();
    status().report(say(Text::MsgEmptyRecord));
    return;
  }
  const std::string prefix = RecordLession.value == 1 ? "Lessons_" : "Records_";
  const std::string fileName = prefix + SaveName.text + ".txt";
  if (!draft().mayReplace(fileName, holdsFile(*services.files, RecordList.folder, fileName))) {
    // Another record would be lost by one click: the second click with this name replaces it.
    SaveName.backColor = keyLitColor;
    status().report(say(Text::MsgFileExists, {fileName}));
    return;
  }
  if (!writeRecordFile(fileName)) return;  // still recording, nothing lost
  draft().saved();
  refreshFileList(NoteList);
  NoteList.visible = true;
  draft().clearPending();
  resetToFreePlay();
  // What was saved is what the window then shows: the record loaded, under its heading.
  showSavedRecord(fileName);
  status().inform(say(Text::MsgSaved, {fileName}));
}

void Form1::showSavedRecord(const std::string& fileName) {
  refreshFileList(RecordList);
  const auto& items = RecordList.items;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (sameNameIgnoringCase(items[i], fileName)) {
      RecordList.selected = static_cast<int>(i);
      RecordList_Click();
      return;
    }
}

std::string Form1::recordNameProblem(const std::string& name) const {
  if (isSafeRecordName(name)) return {};
  if (name.find_first_not_of(' ') == std::string::npos) return say(Text::MsgNameEmpty);
  std::string why;
  for (unsigned char c : name) {
    if (c < 32 || c == 127) {
      why = say(Text::WhyControl);
      break;
    }
    if (std::string_view("/\\<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos) {
      why = say(Text::WhyCharacter, {"\"" + std::string(1, static_cast<char>(c)) + "\""});
      break;
    }
  }
  if (why.empty()) why = say(name.size() > 100 ? Text::WhyLong : Text::WhyDots);
  return say(Text::MsgNameUnsafe, {why});
}

void Form1::CancelRec_Click() {
  const int unsaved = draft().unsavedChanges();
  if (!draft().mayCancel()) {
    // Work would be lost by one click: the second click discards it.
    status().report(say(Text::MsgCancelAsk, {std::to_string(unsaved)}));
    return;
  }
  if (unsaved > 0) status().inform("");  // the question asked before is answered
  resetToFreePlay();
  // A loaded record stays on show after the cancel, and so it stays playable.
  if (NotenSchirm.items.empty()) Label2.caption.clear();
}

void Form1::SaveName_Change() {
  SaveName.backColor = kWhite;
  draft().nameChanged();  // another name asks again
}

void Form1::RecordLession_Click() {
  applyRecordKind();
  resetToFreePlay();
}

void Form1::resetToFreePlay() {
  draft().clearPending();
  EditorTMP.border = false;
  EditorTMP.visible = false;
  hideMarkers();
  clearEvents();

  showPanel(editorPanel(), false);
  showPanel(freePlayPanel(), true);
  NextRecord.enabled = SaveRecord.enabled = false;
  // The name belongs to the recording that ended; the next one starts with its own.
  SaveName.text.clear();
  SaveName.backColor = kWhite;
  // A record view comes back when its option is set and it has something to show.
  NotenSchirm.visible = Check1.value == 1 && !NotenSchirm.items.empty();
  ZahlenSchirm.visible = Check3.value == 1 && !ZahlenSchirm.items.empty();
  setInfos(kFreePlay, 22);
  showPracticePanel();
}

}  // namespace tastrello
