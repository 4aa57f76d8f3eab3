// The record editor: committing the pending chord or a rest (append, replace or insert at
// the selected event), deleting, the replace/insert switch, starting afresh.
#include "shell/main_window.h"

namespace tastrello {

void Form1::commitPendingEvent() {
  ++commitCounter;
  const int count = static_cast<int>(EditBox.items.size());
  const bool selected = EditBox.selected >= 0 && EditBox.selected < count;
  // Besides the per-recording limit, a record never grows past what the tables can replay.
  const bool grows = !selected || !replaceMode;
  if (commitCounter > kCommitLimit ||
      (grows && count >= kMaxEvents && !EditorTMP.caption.empty())) {
    Infos.caption = "** LIMIT **";
    beep();
    InfosCopy.caption = Infos.caption;
  } else if (EditorTMP.caption.empty()) {
    beep();
  } else {
    editClickState = 0;
    if (!selected) {
      EditBox.items.push_back(EditorTMP.caption);
      ShadowListe2.items.push_back(EditorTMP2.caption);
      ShadowListe3.items.push_back(EditorTMP3.caption);
    } else {
      const auto s = static_cast<std::size_t>(EditBox.selected);
      if (replaceMode) {
        EditBox.items[s] = EditorTMP.caption;
        ShadowListe2.items[s] = EditorTMP2.caption;
        ShadowListe3.items[s] = EditorTMP3.caption;
      } else {
        EditBox.items.insert(EditBox.items.begin() + s, EditorTMP.caption);
        ShadowListe2.items.insert(ShadowListe2.items.begin() + s, EditorTMP2.caption);
        ShadowListe3.items.insert(ShadowListe3.items.begin() + s, EditorTMP3.caption);
      }
      EditBox.selected = -1;
    }
    clearPendingChord();
    resetKeyLooks();
    litKeyCount = 0;
  }
  Midi_Out_Reset();
}

void Form1::showSelectionActions() {
  Label11.caption = chordAdoptCaption;
  RepIns.visible = KillNote.visible = false;
  const int s = EditBox.selected;
  if (s >= 0 && s < static_cast<int>(EditBox.items.size()) && !EditBox.items[s].empty()) {
    KillNote.visible = RepIns.visible = true;
    Label11.caption = Label23.caption;
  }
}

void Form1::NextRecord_Click() {
  KillNote.visible = false;
  commitPendingEvent();
  EditBreak.enabled = EditMute.enabled = true;
  editClickState = 0;
  showSelectionActions();
}

void Form1::commitRest(const std::string& marker) {
  EditorTMP.caption += marker;
  EditorTMP2.caption += marker;
  EditorTMP3.caption += marker;
  commitPendingEvent();
  resetKeyLooks();
  showSelectionActions();
}

void Form1::EditBreak_Click() {
  commitRest(kBreakPlay);
}

void Form1::EditMute_Click() {
  commitRest(kBreakMute);
}

void Form1::EditBox_Click() {
  switch (editClickState) {
    case 0:
      editClickState = 10;
      break;
    case 10:
      editClickState = 5;
      // Deselecting from code raises the list's click once more; the nested run finds 5.
      EditBox.selected = -1;
      EditBox_Click();
      break;
    case 5:
      editClickState = 0;
      break;
    default:
      break;
  }
  showSelectionActions();
  replaceMode = true;
  RepIns.picture = InsRep.picture;
}

void Form1::KillNote_Click() {
  KillNote.visible = RepIns.visible = false;
  const int s = EditBox.selected;
  if (s >= 0 && s < static_cast<int>(EditBox.items.size())) {
    ShadowListe2.items.erase(ShadowListe2.items.begin() + s);
    ShadowListe3.items.erase(ShadowListe3.items.begin() + s);
    EditBox.items.erase(EditBox.items.begin() + s);
    EditBox.selected = -1;
  }
  editClickState = 0;
  Label11.caption = chordAdoptCaption;
}

void Form1::RepIns_Click() {
  replaceMode = !replaceMode;
  if (replaceMode) {
    RepIns.picture = InsRep.picture;
    Label11.caption = Label23.caption;
  } else {
    RepIns.picture = InsRep.picture2;
    Label11.caption = Label24.caption;
  }
}

void Form1::ReEd_Click() {
  EditBox.items.clear();
  EditBox.selected = -1;
  ShadowListe2.items.clear();
  ShadowListe3.items.clear();
  ReEd.visible = Label22.visible = KillNote.visible = false;
  setInfos("Edit", 22);
}

}  // namespace tastrello
