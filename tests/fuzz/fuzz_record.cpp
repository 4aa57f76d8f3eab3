// A record file as a user loads it, then replayed: the three lists stay the same length, the
// views match them, and replay never leaves its tables.
#include "fuzz_support.h"

using namespace tastrello;
using namespace tastrello::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzWindow window("Records/Records_Fuzz.txt", data, size);
  Form1& form = window.form;
  form.Form_Activate();
  check(form.RecordList.items.size() == 1);
  form.RecordList.selected = 0;
  form.RecordList_Click();
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
  // Recording on top of the loaded record keeps the lists aligned.
  form.Record_Click();
  form.Keys_Click(3);
  form.NextRecord_Click();
  form.EditBox.selected = 0;
  form.EditBox_Click();
  form.KillNote_Click();
  check(form.ShadowListe2.items.size() == form.EditBox.items.size());
  check(form.ShadowListe3.items.size() == form.EditBox.items.size());
  return 0;
}
