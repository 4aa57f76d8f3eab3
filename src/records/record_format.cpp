#include "records/record_format.h"

#include "shell/text.h"
#include "sound/layout_format.h"

namespace tastrello {

bool isRestMarker(std::string_view line) {
  return line == kBreakPlay || line == kBreakMute;
}

std::vector<int> buttonsOfLine(const std::string& buttonLine) {
  std::vector<int> buttons;
  for (std::size_t k = 0; k < 4; ++k) {
    const std::string field = mid(buttonLine, 3 * k + 1, 2);
    if (field.find_first_of("0123456789") == std::string::npos) continue;
    const int button = leadingNumber(field);
    if (button >= 0 && button < kKeyCount) buttons.push_back(button);
  }
  return buttons;
}

Bellows bellowsOf(const std::string& buttonLine) {
  if (isRestMarker(buttonLine)) return Bellows::None;
  return bellowsOfButtons(buttonsOfLine(buttonLine));
}

Bellows bellowsOfButtons(const std::vector<int>& buttons) {
  bool pull = false, push = false;
  for (int button : buttons) {
    if (button < 0 || button >= kKeyCount) continue;
    (button < kKeyCount / 2 ? pull : push) = true;  // the pull block comes first
  }
  if (pull && push) return Bellows::Both;
  if (pull) return Bellows::Pull;
  return push ? Bellows::Push : Bellows::None;
}

RecordEvent restEvent(const std::string& marker) {
  return {marker, marker, marker};
}

std::array<std::string, 4> nameLineFields(const std::string& nameLine) {
  std::array<std::string, 4> fields;
  std::size_t start = 0;
  for (auto& field : fields) {
    if (start >= nameLine.size()) break;
    const std::size_t slash = nameLine.find('/', start);
    const std::size_t end = slash == std::string::npos ? nameLine.size() : slash;
    field = nameLine.substr(start, end - start);
    start = end + 1;
  }
  return fields;
}

std::string displayTextFromNameLine(const std::string& nameLine) {
  const auto fields = nameLineFields(nameLine);
  std::string text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += ' ';
    text += fields[i] + ' ';
  }
  return text;
}

RecordEvent eventFromLines(const std::string& buttonLine, const std::string& nameLine) {
  if (isRestMarker(buttonLine)) return restEvent(buttonLine);
  return {displayTextFromNameLine(nameLine), nameLine, buttonLine};
}

std::optional<RecordContent> parseRecord(std::string_view bytes, RecordProblem& problem) {
  const auto lines = splitLines(bytes);
  if (lines.empty()) {
    problem = {RecordProblem::Kind::Empty, 0};
    return std::nullopt;
  }
  RecordContent record;
  record.layoutName = lines[0];
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& a = lines[i];
    if (a == kEndMarker) break;
    if (a.empty()) continue;  // a stray empty line is no event
    if (isRestMarker(a)) {
      record.buttonLines.push_back(a);
      record.nameLines.push_back(a);
    } else {
      // A chord needs its name line; a file that ends after the button line drops it.
      if (i + 1 >= lines.size() || lines[i + 1] == kEndMarker) break;
      record.buttonLines.push_back(a);
      record.nameLines.push_back(lines[++i]);
    }
    if (record.buttonLines.size() > kMaxEvents) {
      problem = {RecordProblem::Kind::TooManyEvents, static_cast<int>(i + 1)};
      return std::nullopt;
    }
  }
  return record;
}

std::string formatRecord(const RecordContent& record) {
  std::vector<std::string> lines{record.layoutName};
  for (std::size_t i = 0; i < record.buttonLines.size(); ++i) {
    lines.push_back(record.buttonLines[i]);
    // Rest or chord is decided by the button line, as the reader decides it.
    if (!isRestMarker(record.buttonLines[i])) lines.push_back(record.nameLines[i]);
  }
  lines.push_back(kEndMarker);
  lines.push_back(" ");
  return joinLines(lines);
}

bool isWritableEvent(const std::string& buttonLine, const std::string& nameLine) {
  auto oneLine = [](const std::string& s) { return s.find_first_of("\r\n") == std::string::npos; };
  if (!oneLine(buttonLine) || !oneLine(nameLine)) return false;
  if (isRestMarker(buttonLine)) return nameLine == buttonLine;
  return !buttonLine.empty() && buttonLine != kEndMarker && nameLine != kEndMarker;
}

bool isSafeRecordName(const std::string& name) {
  std::string_view trimmed(name);
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  return !trimmed.empty() && isSafeFileName(name);
}

std::pair<std::string, std::string> eventLines(const std::vector<int>& buttons,
                                               const std::array<std::string, kKeyCount>& captions) {
  std::string buttonLine, nameLine;
  for (int b : buttons) {
    if (b < 0 || b >= kKeyCount) continue;
    buttonLine += right("00" + std::to_string(b), 2) + "/";
    nameLine += right(captions[std::size_t(b)], 3) + "/";
  }
  return {buttonLine, nameLine};
}

std::string recordNameOf(const std::string& fileName) {
  std::string name = fileName;
  for (const char* prefix : {"Records_", "Lessons_"})
    if (sameNameIgnoringCase(left(name, 8), prefix)) {
      name.erase(0, 8);
      break;
    }
  if (sameNameIgnoringCase(right(name, 4), ".txt")) name.resize(name.size() - 4);
  return name;
}

}  // namespace tastrello
