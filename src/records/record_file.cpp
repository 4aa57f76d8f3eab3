// Record files: the layout name, one or two lines per event, the end marker. The writer stores
// the three editing lists; the reader fills them, the replay tables and the two views.
#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

namespace {

bool isRest(const std::string& line) {
  return line == kBreakPlay || line == kBreakMute;
}

std::string eventNumberText(int k) {
  return (k < 10 ? " " : "") + std::to_string(k) + ".  ";
}

}  // namespace

std::array<std::string, 4> Form1::nameLineFields(const std::string& nameLine) {
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

std::string Form1::displayTextFromNameLine(const std::string& nameLine) {
  // Four pieces, each followed by a blank, joined by a blank: three two-letter names show as
  // "c1  e1  g1   ". Splitting at "/" keeps three-letter names whole.
  const auto fields = nameLineFields(nameLine);
  std::string text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) text += ' ';
    text += fields[i] + ' ';
  }
  return text;
}

bool Form1::isSafeFileName(const std::string& name) {
  if (name.empty() || name.size() > 100 || name == "." || name == "..") return false;
  if (name.find("..") != std::string::npos) return false;
  for (unsigned char c : name) {
    if (c < 32 || c == 127) return false;
    if (std::string_view("/\\<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos)
      return false;
  }
  return true;
}

bool Form1::isSafeRecordName(const std::string& name) {
  std::string_view trimmed(name);
  while (!trimmed.empty() && trimmed.front() == ' ') trimmed.remove_prefix(1);
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.remove_suffix(1);
  return !trimmed.empty() && isSafeFileName(name);
}

bool Form1::writeRecordFile(const std::string& path) {
  std::vector<std::string> lines{noteFileName};
  for (std::size_t i = 0; i < ShadowListe2.items.size(); ++i) {
    lines.push_back(ShadowListe3.items[i]);
    if (left(ShadowListe2.items[i], 6) != "-BREAK") lines.push_back(ShadowListe2.items[i]);
  }
  lines.push_back(kEndMarker);
  lines.push_back(" ");
  const std::string error = services.files->replace(path, joinLines(lines));
  if (!error.empty()) {
    report("The record was not saved to " + path + ": " + error);
    return false;
  }
  return true;
}

std::optional<RecordContent> Form1::readRecordContent(const std::string& path,
                                                      std::string& problem) {
  const auto bytes = services.files->read(path);
  if (!bytes) {
    problem = path + " cannot be read; nothing was loaded.";
    return std::nullopt;
  }
  const auto lines = splitLines(*bytes);
  if (lines.empty()) {
    problem = path + " is empty; nothing was loaded.";
    return std::nullopt;
  }
  RecordContent record;
  record.layoutName = lines[0];
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string& a = lines[i];
    if (a == kEndMarker) break;
    if (a.empty()) continue;  // a stray empty line is no event
    if (isRest(a)) {
      record.buttonLines.push_back(a);
      record.nameLines.push_back(a);
    } else {
      // A chord needs its name line; a file that ends after the button line drops it.
      if (i + 1 >= lines.size() || lines[i + 1] == kEndMarker) break;
      record.buttonLines.push_back(a);
      record.nameLines.push_back(lines[++i]);
    }
    if (record.buttonLines.size() > kMaxEvents) {
      problem =
          path + " holds more than " + std::to_string(kMaxEvents) + " events; nothing was loaded.";
      return std::nullopt;
    }
  }
  return record;
}

void Form1::readRecordFile(const RecordContent& record) {
  noteFileName = record.layoutName;
  const int count = static_cast<int>(record.buttonLines.size());
  eventButtonLines.fill({});
  eventNameLines.fill({});
  for (int i = 0; i < count; ++i) {
    const int k = i + 1;
    const std::string& a = record.buttonLines[i];
    const bool rest = isRest(a);
    const std::string display = rest ? a : displayTextFromNameLine(record.nameLines[i]);
    ShadowListe3.items.push_back(a);
    ShadowListe2.items.push_back(record.nameLines[i]);
    EditBox.items.push_back(display);
    ZahlenSchirm.items.push_back(eventNumberText(k));
    NotenSchirm.items.push_back(display);
    eventButtonLines[k] = a;
    eventNameLines[k] = rest ? "-BREAK-" : record.nameLines[i];
  }
  replayEnd = count + 1;
}

void Form1::applyRecordKind() {
  if (RecordLession.value == 1) {
    RecordList.pattern = "Lesson*";
    refreshFileList(RecordList);
    Label3.caption = Label25.caption;
  } else {
    RecordList.pattern = "Record*";
    refreshFileList(RecordList);
    Label3.caption = Label25.tag;
  }
}

}  // namespace tastrello
