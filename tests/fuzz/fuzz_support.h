// A window object on a minimal working folder in memory, for the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "../fakes.h"

namespace tastrello::fuzz {

inline void check(bool condition) {
  if (!condition) std::abort();
}

/// A minimal working folder: a layout and two language files.
inline void addBasics(testing::MemoryFiles& files) {
  std::vector<std::string> layout{"### fuzz"};
  for (int i = 0; i < 22; ++i) layout.push_back("c1 d1 e1");
  layout.insert(layout.end(), {"00 g3", "### a", "### b", "### c"});
  for (int i = 0; i < 22; ++i) layout.push_back("60 62 64");
  layout.insert(layout.end(), {"00 67", "### d"});
  files.files["Notes/Notes_G-C-F.txt"] = joinLines(layout);
  std::vector<std::string> language;
  for (int i = 1; i <= 23; ++i) language.insert(language.end(), {"#", "text " + std::to_string(i)});
  files.files["Data/Lang_ger.txt"] = joinLines(language);
}

/// A window object on the minimal working folder, with the input placed at `path` before
/// start-up ("" for none).
struct FuzzWindow {
  FuzzWindow(const std::string& path, const std::uint8_t* data, std::size_t size) {
    port.keepLog = false;
    addBasics(files);
    if (!path.empty()) files.files[path] = std::string(reinterpret_cast<const char*>(data), size);
    form.Form_Load();
  }
  // Every data byte that reached the device was a valid one, and nothing was ever written
  // outside the three folders.
  ~FuzzWindow() { check(port.invalidDataBytes == 0 && files.writesOutside == 0); }
  testing::MemoryFiles files;
  testing::FakePort port;
  Form1 form{{&port, &files}};
};

}  // namespace tastrello::fuzz
