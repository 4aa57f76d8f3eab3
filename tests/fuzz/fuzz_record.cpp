// A record file as a user loads it, then replayed and edited: the three lists stay the same
// length, the views match them, replay never leaves its tables, and whatever the editing
// made is saved so that loading it gives back the same record.
#include "fuzz_support.h"

using namespace tastrello;
using namespace tastrello::fuzz;

namespace {

void loadFirstRecord(Form1& form) {
  form.refreshFileList(form.RecordList);
  form.RecordList.selected = 0;
  form.RecordList_Click();
}

/// Editor operations, one per byte of the input: what a user could click while recording.
void edit(Form1& form, const std::uint8_t* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const int op = data[i] % 8;
    const int arg = data[i] / 8;
    switch (op) {
      case 0:
      case 1:
        form.Keys_Click(arg * 3 % kKeyCount);
        break;
      case 2:
        form.NextRecord_Click();
        break;
      case 3:
        form.EditBreak_Click();
        break;
      case 4:
        form.EditMute_Click();
        break;
      case 5:
        form.EditBox.selected =
            form.EditBox.items.empty() ? -1 : arg % static_cast<int>(form.EditBox.items.size());
        form.EditBox_Click();
        break;
      case 6:
        if (form.KillNote.visible) form.KillNote_Click();
        break;
      case 7:
        if (form.RepIns.visible) form.RepIns_Click();
        break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzWindow window("Records/Records_Fuzz.txt", data, size);
  Form1& form = window.form;
  form.Form_Activate();
  check(form.RecordList.items.size() == 1);
  loadFirstRecord(form);
  const auto events = form.EditBox.items.size();
  check(form.ShadowListe2.items.size() == events && form.ShadowListe3.items.size() == events);
  check(form.NotenSchirm.items.size() == form.ZahlenSchirm.items.size());
  if (form.RecordList.backColor == kLitKeyColour) return 0;  // refused, nothing changed
  check(events <= kMaxEvents);
  check(form.replayEnd == static_cast<int>(events) + 1);
  form.PlayStop_Click();
  for (int mode = 0; mode < 2; ++mode) {
    for (int tick = 0; tick < 2 * kTableSlots + 10; ++tick) {
      form.Timer1_Timer();
      check(form.replayPosition >= 0 && form.replayPosition <= form.replayEnd);
    }
    form.PlayMode_Click();
  }
  form.StopReplay_Click();

  // Edit on top of the loaded record (the input's bytes are the clicks), save, load again.
  form.Record_Click();
  edit(form, data, std::min<std::size_t>(size, 600));
  check(form.ShadowListe2.items.size() == form.EditBox.items.size());
  check(form.ShadowListe3.items.size() == form.EditBox.items.size());
  const auto names = form.ShadowListe2.items;
  const auto buttons = form.ShadowListe3.items;
  if (names.empty()) return 0;  // an empty record is not saved
  form.SaveName.text = "Fuzz";
  form.SaveRecord_Click();
  if (form.SaveRecord.visible) form.SaveRecord_Click();  // replacing another record: confirmed
  // What was saved is on show, and reads back the same.
  check(form.Infos.caption == "Fuzz" && !form.EditBox.visible);
  check(form.ShadowListe2.items == names);
  check(form.ShadowListe3.items == buttons);
  loadFirstRecord(form);
  check(form.ShadowListe2.items == names);
  check(form.ShadowListe3.items == buttons);
  return 0;
}
