// In-memory files and a silent MIDI port for the fuzz targets.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello::fuzz {

class SilentPort : public MidiPort {
 public:
  int open(int, std::uint32_t& h) override { return h = 1, 0; }
  int send(std::uint32_t h, std::uint32_t word) override {
    // Every data byte that reaches the device must be a valid one.
    if ((word & 0x8000) || (word & 0x800000)) std::abort();
    return h == 1 ? 0 : 5;
  }
  int close(std::uint32_t) override { return 0; }
  std::string errorText(int) override { return "error"; }
};

class MapFiles : public Files {
 public:
  std::map<std::string, std::string> files;
  std::optional<std::string> read(const std::string& path) override {
    for (const auto& [name, bytes] : files)
      if (sameNameIgnoringCase(name, path)) return bytes;
    return std::nullopt;
  }
  std::string replace(const std::string& path, const std::string& bytes) override {
    // Nothing may ever be written outside the three folders.
    if (path.find("..") != std::string::npos) std::abort();
    files[path] = bytes;
    return {};
  }
  std::optional<std::vector<std::string>> list(const std::string& folder) override {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files)
      if (name.size() > folder.size() && name.compare(0, folder.size(), folder) == 0)
        names.push_back(name.substr(folder.size()));
    return names;
  }
};

/// A minimal working folder: a layout and two language files.
inline void addBasics(MapFiles& files) {
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
    addBasics(files);
    if (!path.empty()) files.files[path] = std::string(reinterpret_cast<const char*>(data), size);
    form.Form_Load();
  }
  MapFiles files;
  SilentPort port;
  Form1 form{{&port, &files, nullptr}};
};

inline void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace tastrello::fuzz
