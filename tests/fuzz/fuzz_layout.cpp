// The note layout loader on any bytes: a refused file changes nothing; an accepted one is
// loaded the same way twice.
#include "fuzz_support.h"

using namespace tastrello;
using namespace tastrello::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzWindow window("Notes/Notes_Fuzz.txt", data, size);
  Form1& form = window.form;
  const auto keysBefore = form.Keys;
  const auto notesBefore = form.keyNotes;
  form.noteFileName = "Notes_Fuzz.txt";
  form.loadNoteLayout();
  if (form.noteFileName != "Notes_Fuzz.txt") {
    for (int i = 0; i < kKeyCount; ++i) check(form.Keys[i].caption == keysBefore[i].caption);
    check(form.keyNotes == notesBefore);
    return 0;
  }
  const auto keys = form.Keys;
  form.loadNoteLayout();
  for (int i = 0; i < kKeyCount; ++i) check(form.Keys[i].caption == keys[i].caption);
  form.Form_Activate();
  for (int i = 0; i < kKeyCount; ++i) form.Keys_Click(i);  // every note sent is a valid one
  return 0;
}
