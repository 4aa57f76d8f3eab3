// The shipped note layouts, read from the data folder, for tests that need an instrument's notes
// and captions without a window.
#pragma once

#include <array>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "instrument/instrument_format.h"
#include "sound/layout_format.h"

namespace tastrello::testing {

/// A shipped file of the Notes folder, whole.
inline std::string shippedNotesFile(const std::string& name) {
  std::ifstream in(std::string(TASTRELLO_DATA) + "/Notes/" + name, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

/// The shipped layout of a tuning ("G-C-F").
inline NoteLayout shippedLayout(const std::string& tuning) {
  std::size_t lines = 0;
  return *parseNoteLayout(shippedNotesFile("Notes_" + tuning + ".txt"), lines);
}

/// A shipped instrument file, read as the window reads it: the treble of a three-row one from
/// the layout it names.
inline Instrument shippedInstrumentOf(const std::string& file) {
  std::vector<InstrumentProblem> problems;
  Instrument instrument = parseInstrument(shippedNotesFile(file), problems).value();
  if (!instrument.layout.empty()) {
    std::size_t lines = 0;
    const auto layout = parseNoteLayout(shippedNotesFile(instrument.layout), lines);
    if (takeTrebleFromLayout(instrument, layout.value())) throw std::runtime_error(file);
  }
  return instrument;
}

/// Its buttons' captions ("-" where it gives none).
inline std::array<std::string, kKeyCount> captionsOf(const NoteLayout& layout) {
  std::array<std::string, kKeyCount> captions;
  for (std::size_t b = 0; b < captions.size(); ++b) captions[b] = layout.captions[b].value_or("-");
  return captions;
}

}  // namespace tastrello::testing
