// The settings reader and a rewrite: storing a value the file already holds gives the file
// back byte for byte.
#include "fuzz_support.h"

using namespace tastrello;
using namespace tastrello::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  FuzzWindow window("Data/Tastrel.Ini", data, size);
  Form1& form = window.form;
  auto& files = window.files;
  // Start-up stored a switch if HELPEDIT: said FALSE; start over from the input.
  files.files["Data/Tastrel.Ini"] = bytes;

  const auto lines = splitLines(bytes);
  const bool canonical = joinLines(lines) == bytes;
  bool oneValue = true;
  std::optional<std::string> value;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i] != "SPLASH:") continue;
    if (value && *value != lines[i + 1]) oneValue = false;
    value = lines[i + 1];
  }
  form.settingKey = "SPLASH:";
  form.settingValue = value.value_or("TRUE");
  form.storeSetting();
  const std::string& written = files.files["Data/Tastrel.Ini"];
  check(splitLines(written).size() == lines.size());
  if (canonical && oneValue) check(written == bytes);
  return 0;
}
