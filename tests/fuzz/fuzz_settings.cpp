// The settings reader and a rewrite: storing a value the file already holds gives the file
// back byte for byte, and whatever is stored is what the next start reads.
#include "fuzz_support.h"

using namespace tastrello;
using namespace tastrello::fuzz;

namespace {

bool isKey(const std::string& line) {
  for (const char* key :
       {"LANGUAGE:", "SPLASH:", "HELPEDIT:", "MIDI-OUT:", "SOUNDFONT:", "MIDI-LIST:"})
    if (line == key) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  FuzzWindow window("Data/Tastrel.Ini", data, size);
  Form1& form = window.form;
  auto& files = window.files;
  // Start-up stored a switch if HELPEDIT: said FALSE; start over from the input.
  files.files["Data/Tastrel.Ini"] = bytes;

  // Storing the value the file holds at every SPLASH: key changes nothing.
  const auto lines = splitLines(bytes);
  bool holdsOneValue = joinLines(lines) == bytes && !form.splashState.empty();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != "SPLASH:") continue;
    if (i + 1 >= lines.size() || isKey(lines[i + 1]) || lines[i + 1] != form.splashState)
      holdsOneValue = false;
  }
  const std::string stored = holdsOneValue ? form.splashState : "TRUE";
  form.settingKey = "SPLASH:";
  form.settingValue = stored;
  form.storeSetting();
  const std::string written = files.files["Data/Tastrel.Ini"];
  if (holdsOneValue) check(written == bytes);
  // The next start reads what was stored.
  FuzzWindow next("Data/Tastrel.Ini", reinterpret_cast<const std::uint8_t*>(written.data()),
                  written.size());
  check(next.form.splashState == stored);
  return 0;
}
