#include "instrument/instrument_format.h"

#include <algorithm>
#include <cctype>
#include <climits>

#include "shell/text.h"

namespace tastrello {

namespace {

constexpr std::size_t kTrebleFields = 5;  // number, push name and note, pull name and note
constexpr std::size_t kBassFields = 6;    // number, letter, push name and notes, pull ...

std::vector<std::string> wordsOf(std::string_view line) {
  std::vector<std::string> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.emplace_back(line.substr(start, i - start));
  }
  return words;
}

std::string trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

/// A whole number of digits alone (no sign, no blanks), up to four digits.
std::optional<int> plainNumber(std::string_view s) {
  if (s.empty() || s.size() > 4) return std::nullopt;
  int value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<int> midiNote(std::string_view s) {
  const auto value = plainNumber(s);
  if (!value || *value > 127) return std::nullopt;
  return value;
}

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

/// Reads the file line by line into an instrument, noting every problem.
class InstrumentReader {
 public:
  explicit InstrumentReader(std::vector<InstrumentProblem>& problems) : problems_(problems) {}

  void read(int line, const std::string& text) {
    const std::string content = trimmed(text);
    if (content.empty() || content[0] == '#') return;
    const auto words = wordsOf(content);
    if (content[0] >= '0' && content[0] <= '9')
      buttonLine(line, words);
    else if (content == "BASS-ROW")
      bassRow(line);
    else if (const auto equals = content.find('='); equals != std::string::npos)
      setting(line, trimmed(content.substr(0, equals)), trimmed(content.substr(equals + 1)));
    else
      fault(line, InstrumentFault::UnknownLine, content);
  }

  std::optional<Instrument> finish() {
    if (nameLine_ == 0) fault(0, InstrumentFault::NoName);
    if (instrument_.treble.empty()) fault(0, InstrumentFault::NoTreble);
    checkRows();
    if (!instrument_.layout.empty() && !instrument_.treble.empty() &&
        instrument_.treble.size() != static_cast<std::size_t>(kLayoutRows))
      fault(0, InstrumentFault::LayoutRows, std::to_string(instrument_.treble.size()));
    if (!problems_.empty()) return std::nullopt;
    return instrument_;
  }

 private:
  enum class Section { None, Treble, Bass };
  struct RowLines {
    int header = 0;       ///< the ROW or BASS-ROW line
    int firstButton = 0;  ///< 0 while it has none
    int lastNumber = 0;   ///< the number of its last button line
  };

  void fault(int line, InstrumentFault what, std::string detail = {}) {
    problems_.push_back({line, what, std::move(detail)});
  }

  void setting(int line, const std::string& key, const std::string& value) {
    if (key == "NAME") {
      if (nameLine_ != 0) return fault(line, InstrumentFault::NameTwice, std::to_string(nameLine_));
      nameLine_ = line;
      instrument_.name = value;
    } else if (key == "LAYOUT") {
      if (layoutLine_ != 0)
        return fault(line, InstrumentFault::LayoutTwice, std::to_string(layoutLine_));
      if (!isSafeFileName(value) || !matchesPattern(value, "Notes*.*"))
        return fault(line, InstrumentFault::BadLayoutName, value);
      layoutLine_ = line;
      instrument_.layout = value;
    } else if (key == "ROW") {
      trebleRow(line, value);
    } else {
      fault(line, InstrumentFault::UnknownLine, key + "=" + value);
    }
  }

  void trebleRow(int line, const std::string& key) {
    section_ = Section::None;  // the buttons that follow belong to no row if this one is refused
    if (!keyPitchClass(key)) return fault(line, InstrumentFault::BadKey, key);
    if (instrument_.treble.size() >= static_cast<std::size_t>(kMaxTrebleRows))
      return fault(line, InstrumentFault::TooManyRows, std::to_string(kMaxTrebleRows));
    instrument_.treble.push_back({key, {}});
    trebleLines_.push_back({line, 0, 0});
    section_ = Section::Treble;
  }

  void bassRow(int line) {
    section_ = Section::None;
    if (instrument_.bass.size() >= static_cast<std::size_t>(kMaxBassRows))
      return fault(line, InstrumentFault::TooManyRows, std::to_string(kMaxBassRows));
    instrument_.bass.push_back({});
    bassLines_.push_back({line, 0, 0});
    section_ = Section::Bass;
  }

  void buttonLine(int line, const std::vector<std::string>& words) {
    if (section_ == Section::None) return fault(line, InstrumentFault::ButtonOutsideRow, words[0]);
    const bool treble = section_ == Section::Treble;
    RowLines& lines = treble ? trebleLines_.back() : bassLines_.back();
    const std::size_t length =
        treble ? instrument_.treble.back().buttons.size() : instrument_.bass.back().buttons.size();
    if (!numberFollows(line, words[0], lines)) return;
    if (length >= static_cast<std::size_t>(kMaxRowButtons))
      return fault(line, InstrumentFault::TooManyButtons, std::to_string(kMaxRowButtons));
    const std::size_t fields = treble ? kTrebleFields : kBassFields;
    if (words.size() != fields)
      return fault(line, InstrumentFault::FieldCount, std::to_string(fields));
    if (lines.firstButton == 0) lines.firstButton = line;
    if (treble)
      trebleButton(line, words);
    else
      bassButton(line, words);
  }

  /// Whether the line's number is the next of its row; a wrong one is said once, and the rows
  /// count on from it, so that a missing line is one problem, not one for every line after it.
  bool numberFollows(int line, const std::string& word, RowLines& lines) {
    const auto number = plainNumber(word);
    if (!number) {
      fault(line, InstrumentFault::WrongNumber, std::to_string(lines.lastNumber + 1));
      return false;
    }
    if (*number != lines.lastNumber + 1)
      fault(line, InstrumentFault::WrongNumber, std::to_string(lines.lastNumber + 1));
    lines.lastNumber = *number;
    return true;
  }

  void trebleButton(int line, const std::vector<std::string>& words) {
    const auto push = midiNote(words[2]);
    const auto pull = midiNote(words[4]);
    if (!push) fault(line, InstrumentFault::BadNote, words[2]);
    if (!pull) fault(line, InstrumentFault::BadNote, words[4]);
    if (push && pull) instrument_.treble.back().buttons.push_back({words[1], *push, words[3], *pull});
  }

  void bassButton(int line, const std::vector<std::string>& words) {
    const auto push = soundOf(line, words[2], words[3]);
    const auto pull = soundOf(line, words[4], words[5]);
    if (!push || !pull) return;
    if ((push->notes.size() == 1) != (pull->notes.size() == 1))
      return fault(line, InstrumentFault::MixedSound, words[3] + " " + words[5]);
    const std::string& letter = words[1];
    const bool chord = push->notes.size() > 1;
    const unsigned char first = static_cast<unsigned char>(letter[0]);
    if (!isAsciiLetter(letter[0]) || (chord ? std::isupper(first) : std::islower(first)))
      return fault(line, InstrumentFault::BadLetter, letter);
    instrument_.bass.back().buttons.push_back({letter, *push, *pull});
  }

  std::optional<BassSound> soundOf(int line, const std::string& name, const std::string& notes) {
    BassSound sound{name, {}};
    std::size_t start = 0;
    while (true) {
      const std::size_t plus = notes.find('+', start);
      const auto note = midiNote(std::string_view(notes).substr(start, plus - start));
      if (!note) {
        fault(line, InstrumentFault::BadNote, notes);
        return std::nullopt;
      }
      sound.notes.push_back(*note);
      if (plus == std::string::npos) break;
      start = plus + 1;
    }
    if (sound.notes.size() > static_cast<std::size_t>(kMaxChordNotes)) {
      fault(line, InstrumentFault::TooManyNotes, notes);
      return std::nullopt;
    }
    return sound;
  }

  void checkRows() {
    for (const RowLines& lines : trebleLines_) {
      if (!instrument_.layout.empty() && lines.firstButton != 0)
        fault(lines.firstButton, InstrumentFault::ButtonsWithLayout, instrument_.layout);
      if (instrument_.layout.empty() && lines.lastNumber == 0)
        fault(lines.header, InstrumentFault::EmptyRow);
    }
    for (const RowLines& lines : bassLines_)
      if (lines.lastNumber == 0) fault(lines.header, InstrumentFault::EmptyRow);
  }

  std::vector<InstrumentProblem>& problems_;
  Instrument instrument_;
  Section section_ = Section::None;
  int nameLine_ = 0;
  int layoutLine_ = 0;
  std::vector<RowLines> trebleLines_;
  std::vector<RowLines> bassLines_;
};

}  // namespace

std::optional<Instrument> parseInstrument(std::string_view bytes,
                                          std::vector<InstrumentProblem>& problems) {
  std::vector<InstrumentProblem> found;
  InstrumentReader reader(found);
  const auto lines = splitLines(bytes);
  for (std::size_t i = 0; i < lines.size(); ++i) reader.read(static_cast<int>(i + 1), lines[i]);
  auto instrument = reader.finish();
  // In the order of the file; what concerns the file as a whole last.
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return (a.line == 0 ? INT_MAX : a.line) < (b.line == 0 ? INT_MAX : b.line);
  });
  problems.insert(problems.end(), found.begin(), found.end());
  return instrument;
}

namespace {

std::string padded(const std::string& s, std::size_t width) {
  return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

std::string notesText(const std::vector<int>& notes) {
  std::string text;
  for (std::size_t i = 0; i < notes.size(); ++i) text += (i ? "+" : "") + std::to_string(notes[i]);
  return text;
}

std::string numberField(std::size_t number) {
  return padded((number < 10 ? " " : "") + std::to_string(number), 4);
}

void writeTreble(const Instrument& instrument, std::vector<std::string>& lines) {
  if (instrument.layout.empty()) {
    lines.push_back("### The treble, its rows from the outside in, each with its key. Each button");
    lines.push_back("### from the top: its number, then the note it sounds pushing and pulling, each");
    lines.push_back("### as players name it and as a MIDI note.");
  } else {
    lines.push_back("### The treble: the rows of the layout, from the outside in, with their keys.");
  }
  for (const TrebleRow& row : instrument.treble) {
    lines.push_back("ROW=" + row.key);
    if (!instrument.layout.empty()) continue;
    for (std::size_t i = 0; i < row.buttons.size(); ++i) {
      const TrebleButton& b = row.buttons[i];
      lines.push_back(numberField(i + 1) + padded(b.pushName, 5) + padded(std::to_string(b.push), 6) +
                      padded(b.pullName, 5) + std::to_string(b.pull));
    }
  }
}

void writeBass(const Instrument& instrument, std::vector<std::string>& lines) {
  if (instrument.bass.empty()) return;
  lines.push_back("### The bass side, its rows from the outside in. Each button from the top: its");
  lines.push_back("### number, its letter in Griffschrift (a capital for a bass, a small letter for");
  lines.push_back("### a chord), then what it sounds pushing and pulling: a name and the MIDI notes");
  lines.push_back("### (a chord's joined by \"+\").");
  for (const BassRow& row : instrument.bass) {
    lines.push_back("BASS-ROW");
    for (std::size_t i = 0; i < row.buttons.size(); ++i) {
      const BassButton& b = row.buttons[i];
      lines.push_back(numberField(i + 1) + padded(b.letter, 4) + padded(b.push.name, 5) +
                      padded(notesText(b.push.notes), 12) + padded(b.pull.name, 5) +
                      notesText(b.pull.notes));
    }
  }
}

}  // namespace

std::string instrumentFileText(const Instrument& instrument) {
  std::vector<std::string> lines{"### Tastrello instrument", "NAME=" + instrument.name};
  if (!instrument.layout.empty()) lines.push_back("LAYOUT=" + instrument.layout);
  writeTreble(instrument, lines);
  writeBass(instrument, lines);
  return joinLines(lines);
}

}  // namespace tastrello
