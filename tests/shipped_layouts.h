// The shipped note layouts, read from the data folder, for tests that need an instrument's notes
// and captions without a window.
#pragma once

#include <array>
#include <fstream>
#include <sstream>
#include <string>

#include "sound/layout_format.h"

namespace tastrello::testing {

/// The shipped layout of a tuning ("G-C-F").
inline NoteLayout shippedLayout(const std::string& tuning) {
  std::ifstream in(std::string(TASTRELLO_DATA) + "/Notes/Notes_" + tuning + ".txt", std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  std::size_t lines = 0;
  return *parseNoteLayout(bytes.str(), lines);
}

/// Its buttons' captions ("-" where it gives none).
inline std::array<std::string, kKeyCount> captionsOf(const NoteLayout& layout) {
  std::array<std::string, kKeyCount> captions;
  for (std::size_t b = 0; b < captions.size(); ++b) captions[b] = layout.captions[b].value_or("-");
  return captions;
}

}  // namespace tastrello::testing
