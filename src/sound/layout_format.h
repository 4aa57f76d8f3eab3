// The note layout file format as a pure function: 25 caption lines and 26 note lines that
// give each of the 68 buttons its name and its MIDI note.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tastrello {

constexpr int kKeyCount = 68;
constexpr int kKeyTableSize = 71;  // keyNotes 0..70

/// A note layout as read from its file: the captions and key-table entries it sets; what it
/// does not reach is left unset.
struct NoteLayout {
  std::array<std::optional<std::string>, kKeyCount> captions;
  std::array<std::optional<std::string>, kKeyTableSize> notes;
};

/// Reads layout file bytes. Nothing, with `problem` saying why, when the file has fewer than
/// the 51 lines the format needs. Entries past the tables are ignored.
std::optional<NoteLayout> parseNoteLayout(std::string_view bytes, std::string& problem);

}  // namespace tastrello
