#include "sound/layout_format.h"

#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kCaptionLines = 25;
constexpr int kNoteLines = 26;

enum class LineKind { Comment, Single, Triple };

LineKind kindOf(const std::string& line) {
  if (line.compare(0, 3, "###") == 0) return LineKind::Comment;
  if (line.compare(0, 2, "00") == 0) return LineKind::Single;
  return LineKind::Triple;
}

template <std::size_t N>
void setEntry(std::array<std::optional<std::string>, N>& table, int index, std::string value) {
  // Entries past the table are ignored, never written.
  if (index >= 0 && index < static_cast<int>(N)) table[index] = std::move(value);
}

}  // namespace

std::optional<NoteLayout> parseNoteLayout(std::string_view bytes, std::size_t& lineCount) {
  const auto lines = splitLines(bytes);
  lineCount = lines.size();
  if (lines.size() < kCaptionLines + kNoteLines) return std::nullopt;
  NoteLayout layout;
  int k = 0;
  for (int i = 0; i < kCaptionLines; ++i) {
    const auto& line = lines[i];
    switch (kindOf(line)) {
      case LineKind::Comment:
        break;
      case LineKind::Single:
        setEntry(layout.captions, k++, mid(line, 4, 3));
        break;
      case LineKind::Triple:
        setEntry(layout.captions, k, mid(line, 1, 2));
        if (k > 65) break;  // the last buttons take only the first field
        setEntry(layout.captions, k + 1, mid(line, 4, 2));
        setEntry(layout.captions, k + 2, mid(line, 7, 2));
        k += 3;
        break;
    }
  }
  k = 0;
  for (int i = kCaptionLines; i < kCaptionLines + kNoteLines; ++i) {
    const auto& line = lines[i];
    switch (kindOf(line)) {
      case LineKind::Comment:
        break;
      case LineKind::Single:
        setEntry(layout.notes, k++, mid(line, 4, 3));
        break;
      case LineKind::Triple:
        setEntry(layout.notes, k, mid(line, 1, 2));
        setEntry(layout.notes, k + 1, mid(line, 4, 2));
        setEntry(layout.notes, k + 2, mid(line, 7, 2));
        k += 3;
        break;
    }
  }
  return layout;
}

std::string tuningName(const std::string& layoutFile) {
  std::string name = layoutFile;
  if (upper(left(name, 6)) == "NOTES_") name = name.substr(6);
  if (name.size() > 4 && upper(right(name, 4)) == ".TXT") name.resize(name.size() - 4);
  return name;
}

}  // namespace tastrello
