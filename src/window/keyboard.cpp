// Playing the keyboard: the 68 buttons, the lit chord of up to four, the release, the sound
// and view switches, the wide window with the instrument panel.
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

void Form1::Keys_Click(int i) {
  if (i < 0 || i >= kKeyCount) return;
  playBass(leftHand_.turnBellows(i >= kButtonsPerBlock));  // a click on the push block pushes
  tap();
  if (playingAlong()) {
    alongClick(i);
    return;
  }
  if (practising()) {
    practiceClick(i);
    return;
  }
  const std::string& c = Keys[i].caption;
  auto release = [this] {
    resetKeyLooks();
    draft().clearPending();
    litKeyCount = 0;
    Midi_Out_Reset();
  };

  if (editing()) draft().addToPending({c + " ", right(c, 3) + "/", buttonField(i)});
  if (Keys[i].backColor == keyLitColor) {
    release();
  } else {
    const std::optional<int> note = keyNote(i);
    if (note) {
      noteNumber = *note;
      if (SoundOnOff.value == 1) playnote();
    } else {
      status().report(say(Text::MsgButtonNoNote, {std::to_string(i), noteFileName}));
    }
    if (litKeyCount > 3) {
      release();
    } else if (Keys[i].backColor == keyIdleColor) {
      Keys[i].backColor = keyLitColor;
      ++litKeyCount;
    }
  }
  EditBreak.enabled = EditMute.enabled = true;
  if (!EditorTMP.caption.empty()) EditBreak.enabled = EditMute.enabled = false;
}

void Form1::SoundOnOff_Click() {
  if (SoundOnOff.value == 0) Midi_Out_Reset();
}

void Form1::Check1_Click() {
  NotenSchirm.visible = Check1.value == 1;
  showPracticePanel();
}

void Form1::Check3_Click() {
  ZahlenSchirm.visible = Check3.value == 1;
}

void Form1::Expand_Click() {
  panelExpanded = !panelExpanded;
  if (panelExpanded) {
    Expand.picture = KlappeAus.picture;
    windowWidth = kWideWidth;
    windowLeft -= 2000;
    fillChoosers();  // a device plugged in since is offered
  } else {
    Expand.picture = KlappeAus.picture2;
    windowWidth = kNarrowWidth;
    windowLeft += 2000;
  }
  showPanel(instrumentPanel(), panelExpanded);
  updateStateTips();
}

void Form1::MinusIns_Click() {
  instrumentNumber = std::max(1, instrumentNumber - 1);
  showInstrument();
}

void Form1::PlusIns_Click() {
  instrumentNumber = std::min(128, instrumentNumber + 1);
  showInstrument();
}

void Form1::InstrumentList_Click() {
  if (InstrumentList.selected < 0 || InstrumentList.selected >= 128) return;
  instrumentNumber = InstrumentList.selected + 1;
  showInstrument();
}

void Form1::resetKeyLooks() {
  for (auto& key : Keys) {
    key.fontSize = 12;
    key.backColor = keyIdleColor;
    key.bold = true;
  }
}

void Form1::showInstrument() {
  const int n = instrumentNumber;
  auto name = [this](int slot) {
    return slot >= 0 && slot < kTableSlots ? instrumentNames[slot] : std::string();
  };
  Label18.caption = "Nr. " + std::to_string(n);
  InstrumentList.selected = n - 1;
  Label15.caption = name(n - 1);
  Label16.caption = name(n);
  Label17.caption = name(n + 1);
}

}  // namespace tastrello
