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

constexpr int kLayoutLines = 51;

/// Reads layout file bytes. Nothing when the file has fewer than the kLayoutLines lines the
/// format needs (`lineCount` says how many it has). Entries past the tables are ignored.
std::optional<NoteLayout> parseNoteLayout(std::string_view bytes, std::size_t& lineCount);

/// "G-C-F" from "Notes_G-C-F.txt" (the name itself when it has neither prefix nor ending): the
/// name a tuning is known by.
std::string tuningName(const std::string& layoutFile);

}  // namespace tastrello
