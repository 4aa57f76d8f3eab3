// The record editor: committing the pending chord or a rest (append, replace or insert at
// the selected event), deleting, the replace/insert switch, starting afresh.
#include "window/form1.h"

namespace tastrello {

void Form1::commitPendingEvent() {
  ++commitCounter;
  const RecordEvent event = pendingEvent();
  const bool selected = isEventRow(EditBox.selected);
  // Besides the per-recording limit, a record never grows past what the tables can replay.
  const bool grows = !selected || !replaceMode;
  if (commitCounter > kCommitLimit ||
      (grows && eventCount() >= kMaxEvents && !event.display.empty())) {
    setInfos("** LIMIT **", Infos.fontSize);
    beep();
    status().report(say(Text::MsgLimit, {std::to_string(eventCount()), std::to_string(kCommitLimit)}));
    discardPendingChord();  // a refused commit leaves nothing half-pending
  } else if (event.display.empty()) {
    beep();
    status().report(say(Text::MsgNoChord));
  } else if (!isWritableEvent(event.buttonLine, event.nameLine)) {
    beep();
    status().report(say(Text::MsgChordNotStorable));
    discardPendingChord();
  } else {
    editClickState = 0;
    const int row = selected ? EditBox.selected : eventCount();
    if (selected && replaceMode)
      replaceEvent(row, event);
    else
      insertEvent(row, event);
    if (selected) EditBox.selected = -1;
    leftHand_.setRecordBass(row + 1, leftHand_.heldButtons());
    discardPendingChord();
    noteUnsavedChange();
  }
  Midi_Out_Reset();
}

void Form1::discardPendingChord() {
  clearPendingChord();
  playBass(leftHand_.releaseAll(LeftHand::Holder::Mouse));  // the bass clicked with it too
  resetKeyLooks();
  litKeyCount = 0;
  EditBreak.enabled = EditMute.enabled = true;
}

void Form1::showSelectionActions() {
  Label11.caption = chordAdoptCaption;
  RepIns.visible = KillNote.visible = false;
  const int s = EditBox.selected;
  if (isEventRow(s) && !EditBox.items[s].empty()) {
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
  if (!pendingEvent().display.empty()) {
    beep();
    status().report(say(Text::MsgRestWithChord));
    return;
  }
  appendToPending(restEvent(marker));
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
  if (isEventRow(EditBox.selected)) {
    eraseEvent(EditBox.selected);
    EditBox.selected = -1;
    noteUnsavedChange();
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
  if (eventCount() > 0) noteUnsavedChange();
  clearEvents();
  ReEd.visible = Label22.visible = KillNote.visible = false;
  setInfos("Edit", 22);
}

}  // namespace tastrello
