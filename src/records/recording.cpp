// Recording: entering the editor, saving the record under a name, cancelling, and the reset
// that brings the window back to free play.
#include "shell/main_window.h"

namespace tastrello {

void Form1::Record_Click() {
  keyMode = "EDIT";
  resetKeyLooks();
  Midi_Out_Reset();
  clearPendingChord();
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
  // Each recording starts with no selection, whatever the last one left.
  EditBox.selected = -1;
  editClickState = 0;

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

  clearPendingChord();
  AccordDisplay.caption.clear();
}

void Form1::SaveRecord_Click() {
  if (!isSafeRecordName(SaveName.text)) {
    // An empty name, or one that could leave the records folder or that the file system
    // refuses, is not used.
    SaveName.backColor = keyLitColor;
    return;
  }
  if (ShadowListe2.items.empty()) {
    beep();
    return;
  }
  const std::string prefix = RecordLession.value == 1 ? "Lessons_" : "Records_";
  const std::string fileName = prefix + SaveName.text + ".txt";
  if (!writeRecordFile(RecordList.folder + fileName)) return;  // still recording, nothing lost
  SaveName.backColor = kWhite;
  SaveName.text.clear();
  refreshFileList(RecordList);
  refreshFileList(NoteList);
  NoteList.visible = true;
  clearPendingChord();
  resetToFreePlay();
  inform("Saved " + fileName + ".");
}

void Form1::CancelRec_Click() {
  resetToFreePlay();
  // A loaded record stays on show after the cancel, and so it stays playable.
  if (NotenSchirm.items.empty()) Label2.caption.clear();
}

void Form1::SaveName_Change() {
  SaveName.backColor = kWhite;
}

void Form1::RecordLession_Click() {
  applyRecordKind();
  resetToFreePlay();
}

void Form1::resetToFreePlay() {
  clearPendingChord();
  EditorTMP.border = false;
  EditorTMP.visible = false;
  hideMarkers();
  clearEvents();

  showPanel(editorPanel(), false);
  showPanel(freePlayPanel(), true);
  NextRecord.enabled = SaveRecord.enabled = false;
  // A record view comes back when its option is set and it has something to show.
  NotenSchirm.visible = Check1.value == 1 && !NotenSchirm.items.empty();
  ZahlenSchirm.visible = Check3.value == 1 && !ZahlenSchirm.items.empty();
  setInfos(kFreePlay, 22);
}

}  // namespace tastrello
