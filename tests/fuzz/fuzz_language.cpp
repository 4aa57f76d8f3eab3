// The language loader on any bytes: a short file leaves every text as it was, a full one
// puts entry 2 on the play caption.
#include "fuzz_support.h"

using namespace tastrello;
using namespace tastrello::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  FuzzWindow window("", data, size);
  Form1& form = window.form;
  window.files.files["Data/Lang_Fuzz.txt"] = bytes;
  const std::string before = form.Label8.caption;
  form.languageFile = "Lang_Fuzz.txt";
  form.loadLanguage();
  const auto lines = splitLines(bytes);
  check(form.Label8.caption == (lines.size() >= 46 ? lines[3] : before));
  check(form.chordAdoptCaption == form.Label11.caption);
  form.showCredits();
  return 0;
}
