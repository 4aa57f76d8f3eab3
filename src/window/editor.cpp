// The record editor: committing the pending chord or a rest (append, replace or insert at
// the selected event), deleting, the replace/insert switch, starting afresh.
#include "window/form1.h"

namespace tastrello {

void Form1::commitPendingEvent() {
  ++commitCounter;
  RecordDraft& record = draft();
  // Buttons past the third row alone: the record file keeps a silence where they play.
  const std::vector<ButtonAt> beside = trebleBeside_.heldButtons();
  if (record.pendingEmpty() && !beside.empty()) record.addToPending(restEvent(kBreakMute));
  const bool selected = record.isEventRow(EditBox.selected);
  const int row = selected ? EditBox.selected : record.eventCount();
  switch (record.commit(EditBox.selected, replaceMode, commitCounter)) {
    case RecordDraft::Commit::Limit:
      setInfos("** LIMIT **", Infos.fontSize);
      beep();
      status().report(say(Text::MsgLimit, {std::to_string(record.eventCount()),
                                           std::to_string(RecordDraft::kCommitLimit)}));
      discardPendingChord();
      break;
    case RecordDraft::Commit::NoChord:
      beep();
      status().report(say(Text::MsgNoChord));
      break;
    case RecordDraft::Commit::NotStorable:
      beep();
      status().report(say(Text::MsgChordNotStorable));
      discardPendingChord();
      break;
    case RecordDraft::Commit::Taken:
      editClickState = 0;
      if (selected) EditBox.selected = -1;
      // The bass buttons stay with their events; the chord taken plays with those held now.
      if (!(selected && replaceMode)) leftHand_.eventInserted(row);
      leftHand_.setRecordBass(row + 1, leftHand_.heldButtons());
      leftHand_.setRecordTreble(row + 1, beside);
      discardPendingChord();
      break;
  }
  Midi_Out_Reset();
}

void Form1::discardPendingChord() {
  draft().clearPending();
  playBass(leftHand_.releaseAll(LeftHand::Holder::Mouse));  // the bass clicked with it too
  resetKeyLooks();
  litKeyCount = 0;
  EditBreak.enabled = EditMute.enabled = true;
}

void Form1::showSelectionActions() {
  Label11.caption = chordAdoptCaption;
  RepIns.visible = KillNote.visible = false;
  const int s = EditBox.selected;
  if (draft().isEventRow(s) && !EditBox.items[s].empty()) {
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
  // A rest is an event of its own, never appended to a chord under construction (the rest
  // buttons are disabled while one is pending).
  if (!draft().pendingEmpty()) {
    beep();
    status().report(say(Text::MsgRestWithChord));
    return;
  }
  draft().addToPending(restEvent(marker));
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
  updateStateTips();
}

void Form1::KillNote_Click() {
  KillNote.visible = RepIns.visible = false;
  if (draft().isEventRow(EditBox.selected)) {
    draft().erase(EditBox.selected);
    leftHand_.eventErased(EditBox.selected);
    EditBox.selected = -1;
    draft().noteChange();
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
  updateStateTips();
}

void Form1::ReEd_Click() {
  if (draft().eventCount() > 0) draft().noteChange();
  clearEvents();
  ReEd.visible = Label22.visible = KillNote.visible = false;
  setInfos("Edit", 22);
}

}  // namespace tastrello
