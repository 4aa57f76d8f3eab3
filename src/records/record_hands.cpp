#include "records/record_hands.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <map>

#include "records/record_format.h"
#include "shell/text.h"

namespace tastrello {

std::string handsFileName(const std::string& recordFile) {
  return "Hands_" + recordFile;
}

std::string recordCheck(const std::vector<std::string>& buttonLines) {
  std::uint32_t hash = 2166136261u;
  const auto add = [&hash](unsigned char c) { hash = (hash ^ c) * 16777619u; };
  for (const std::string& line : buttonLines) {
    for (char c : line) add(static_cast<unsigned char>(c));
    add('\n');  // "1/" + "2/" is not "1/2/"
  }
  static const char* const kHex = "0123456789abcdef";
  std::string out(8, '0');
  for (int i = 7; i >= 0; --i, hash >>= 4) out[static_cast<std::size_t>(i)] = kHex[hash & 15];
  return out;
}

namespace {

/// A line's "key=value" fields after its kind; nothing when one has no "=" or comes twice.
std::optional<std::map<std::string, std::string>> fieldsOf(std::string_view line) {
  std::map<std::string, std::string> fields;
  std::size_t at = line.find(';');
  while (at != std::string_view::npos) {
    const std::size_t next = line.find(';', at + 1);
    const std::string_view field = line.substr(at + 1, next == std::string_view::npos
                                                           ? std::string_view::npos
                                                           : next - at - 1);
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    if (!fields.emplace(field.substr(0, equals), field.substr(equals + 1)).second)
      return std::nullopt;
    at = next;
  }
  return fields;
}

std::optional<int> wholeNumber(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

/// A BASS or TREBLE line's button: exactly its four fields, each readable.
std::optional<HandButton> buttonOf(Hand hand, const std::map<std::string, std::string>& fields) {
  if (fields.size() != 4 || !fields.count("event") || !fields.count("row") ||
      !fields.count("number") || !fields.count("bellows"))
    return std::nullopt;
  const auto event = wholeNumber(fields.at("event"));
  const auto row = wholeNumber(fields.at("row"));
  const auto number = wholeNumber(fields.at("number"));
  const std::string& bellows = fields.at("bellows");
  if (!event || !row || !number || (bellows != "push" && bellows != "pull")) return std::nullopt;
  return HandButton{*event, hand, ButtonAt{bellows == "push", *row, *number}};
}

bool onInstrument(const ButtonAt& at, const std::vector<int>& rows) {
  return at.row >= 1 && at.row <= static_cast<int>(rows.size()) && at.number >= 1 &&
         at.number <= rows[static_cast<std::size_t>(at.row - 1)];
}

/// Reads the lines one by one: what each says, and what is wrong with it on its own.
class HandsReader {
 public:
  explicit HandsReader(const HandsContext& context) : context_(context) {}

  HandsRead read(std::string_view bytes) {
    const auto lines = splitLines(bytes);
    for (std::size_t i = 0; i < lines.size(); ++i) line(static_cast<int>(i + 1), lines[i]);
    checkBellows();
    std::stable_sort(out_.problems.begin(), out_.problems.end(),
                     [](const HandsProblem& a, const HandsProblem& b) { return a.line < b.line; });
    return std::move(out_);
  }

 private:
  const HandsContext& context_;
  HandsRead out_;
  std::map<std::pair<int, bool>, int> firstLine_;  // a button (id, hand) of an event: its line
  std::vector<int> buttonLines_;                   // per button kept, the line it came from

  void problem(int line, HandsFault fault, std::string detail = {}) {
    out_.problems.push_back({line, fault, std::move(detail)});
  }

  void line(int number, const std::string& text) {
    if (text.empty() || text[0] == '#') return;
    const std::string kind = text.substr(0, text.find(';'));
    const auto fields = fieldsOf(text);
    if (kind == "BASS" || kind == "TREBLE") {
      const auto button = fields ? buttonOf(kind == "BASS" ? Hand::Bass : Hand::Treble, *fields)
                                 : std::nullopt;
      if (!button) return problem(number, HandsFault::BadFields, text);
      addButton(number, *button);
    } else if (kind == "INSTRUMENT") {
      if (!fields || fields->size() != 1 || !fields->count("file"))
        return problem(number, HandsFault::BadFields, text);
      out_.hands.instrument = fields->at("file");
      if (!sameNameIgnoringCase(out_.hands.instrument, context_.instrumentFile))
        problem(number, HandsFault::OtherInstrument, out_.hands.instrument);
    } else if (kind == "RECORD") {
      if (!fields || fields->size() != 2 || !fields->count("events") || !fields->count("check"))
        return problem(number, HandsFault::BadFields, text);
      const std::string events = std::to_string(context_.buttonLines.size());
      if (fields->at("events") != events || fields->at("check") != recordCheck(context_.buttonLines))
        problem(number, HandsFault::RecordChanged, fields->at("events"));
    } else {
      problem(number, HandsFault::UnknownLine, text);
    }
  }

  void addButton(int number, const HandButton& button) {
    const int events = static_cast<int>(context_.buttonLines.size());
    if (button.event < 1 || button.event > events)
      return problem(number, HandsFault::OutsideRecord, std::to_string(events));
    const auto& rows = button.hand == Hand::Bass ? context_.bassRows : context_.trebleRows;
    if (!onInstrument(button.at, rows)) return problem(number, HandsFault::NotOnInstrument);
    // One key per button of an event: the place and direction, on its side.
    const int id = ((button.event * 8 + button.at.row) * 32 + button.at.number) * 2 +
                   (button.at.push ? 1 : 0);
    const auto [first, added] = firstLine_.emplace(std::make_pair(id, button.hand == Hand::Bass),
                                                   number);
    if (!added) return problem(number, HandsFault::Twice, std::to_string(first->second));
    out_.hands.buttons.push_back(button);
    buttonLines_.push_back(number);
  }

  /// The bellows go one way at a time: a button against the direction of its event's chord
  /// (or, without a chord, of the event's first button here) is named.
  void checkBellows() {
    std::map<int, Bellows> direction;  // per event
    for (std::size_t i = 0; i < context_.buttonLines.size(); ++i) {
      const Bellows b = bellowsOf(context_.buttonLines[i]);
      if (b == Bellows::Pull || b == Bellows::Push) direction[static_cast<int>(i + 1)] = b;
    }
    for (std::size_t i = 0; i < out_.hands.buttons.size(); ++i) {
      const HandButton& button = out_.hands.buttons[i];
      const Bellows b = button.at.push ? Bellows::Push : Bellows::Pull;
      const auto [it, first] = direction.emplace(button.event, b);
      if (!first && it->second != b) problem(buttonLines_[i], HandsFault::AgainstBellows);
    }
  }
};

std::string buttonText(const HandButton& b) {
  return std::string(b.hand == Hand::Bass ? "BASS" : "TREBLE") +
         ";event=" + std::to_string(b.event) + ";row=" + std::to_string(b.at.row) +
         ";number=" + std::to_string(b.at.number) + ";bellows=" + (b.at.push ? "push" : "pull");
}

}  // namespace

HandsRead readRecordHands(const std::optional<std::string>& bytes, const std::string& readProblem,
                          const HandsContext& context) {
  if (!bytes) {
    if (readProblem.empty()) return {};
    return {{}, {{0, HandsFault::Unreadable, readProblem}}};
  }
  if (bytes->size() > kLargestHandsFile)
    return {{}, {{0, HandsFault::TooLarge, std::to_string(bytes->size())}}};
  return HandsReader(context).read(*bytes);
}

std::string instrumentNamedIn(std::string_view bytes) {
  std::string named;
  for (const std::string& line : splitLines(bytes.substr(0, kLargestHandsFile)))
    if (line.rfind("INSTRUMENT;file=", 0) == 0) named = line.substr(16);
  return named;
}

std::string formatRecordHands(const RecordHands& hands,
                              const std::vector<std::string>& buttonLines) {
  std::vector<std::string> lines{
      "# The buttons of the record beside this file that its own file cannot hold"};
  if (!hands.instrument.empty()) lines.push_back("INSTRUMENT;file=" + hands.instrument);
  lines.push_back("RECORD;events=" + std::to_string(buttonLines.size()) +
                  ";check=" + recordCheck(buttonLines));
  for (const HandButton& button : hands.buttons) lines.push_back(buttonText(button));
  return joinLines(lines);
}

std::optional<std::string> handsSavedWith(const RecordHands& hands,
                                          const std::vector<std::string>& buttonLines,
                                          bool fileThere) {
  if (hands.buttons.empty() && !fileThere) return std::nullopt;
  return formatRecordHands(hands, buttonLines);
}

void insertHandsEvent(RecordHands& hands, int row) {
  for (HandButton& button : hands.buttons)
    if (button.event > row) ++button.event;
}

void eraseHandsEvent(RecordHands& hands, int row) {
  const int event = row + 1;
  std::erase_if(hands.buttons, [event](const HandButton& b) { return b.event == event; });
  for (HandButton& button : hands.buttons)
    if (button.event > event) --button.event;
}

std::vector<ButtonAt> handButtons(const RecordHands& hands, int event, Hand hand) {
  std::vector<ButtonAt> out;
  for (const HandButton& button : hands.buttons)
    if (button.event == event && button.hand == hand) out.push_back(button.at);
  return out;
}

void setHandButtons(RecordHands& hands, int event, Hand hand, const std::vector<ButtonAt>& at) {
  std::erase_if(hands.buttons,
                [&](const HandButton& b) { return b.event == event && b.hand == hand; });
  // After the buttons of earlier events and of this event's other hand.
  const auto place = std::find_if(hands.buttons.begin(), hands.buttons.end(),
                                  [event](const HandButton& b) { return b.event > event; });
  std::vector<HandButton> added;
  for (const ButtonAt& a : at) added.push_back({event, hand, a});
  hands.buttons.insert(place, added.begin(), added.end());
}

const ButtonNumbering& recordNumbering() {
  static const ButtonNumbering numbering({11, 12, 11});
  return numbering;
}

SplitChord splitChord(const Instrument& instrument, const std::vector<ButtonAt>& chord) {
  SplitChord split;
  int written = 0;
  for (const ButtonAt& at : chord) {
    const auto number = recordNumbering().numberOf(at);
    const bool known = at.row >= 1 && at.row <= static_cast<int>(instrument.treble.size()) &&
                       at.number >= 1 &&
                       at.number <= static_cast<int>(
                                        instrument.treble[static_cast<std::size_t>(at.row - 1)]
                                            .buttons.size());
    if (!number || !known || written == 4) {
      split.overflow.push_back(at);
      continue;
    }
    const TrebleButton& button = instrument.treble[static_cast<std::size_t>(at.row - 1)]
                                     .buttons[static_cast<std::size_t>(at.number - 1)];
    const std::string name = at.push ? button.pushName : button.pullName;
    split.buttonLine += right("00" + std::to_string(*number), 2) + "/";
    split.nameLine += (name.size() < 2 ? name + " " : name) + "/";
    ++written;
  }
  if (written == 0) {
    // No button for the record file: there the event is a silence of its own, which the
    // original program keeps silent and this one plays from the file beside it.
    split.buttonLine = split.nameLine = kBreakMute;
  }
  return split;
}

std::vector<ButtonAt> wholeChord(const std::string& buttonLine, const RecordHands& hands,
                                 int event) {
  std::vector<ButtonAt> chord;
  if (!isRestMarker(buttonLine))
    for (int number : buttonsOfLine(buttonLine))
      if (const auto at = recordNumbering().placeOf(number)) chord.push_back(*at);
  for (const ButtonAt& at : handButtons(hands, event, Hand::Treble))
    if (std::find(chord.begin(), chord.end(), at) == chord.end()) chord.push_back(at);
  return chord;
}

std::vector<ButtonAt> trebleBeside(const std::string& buttonLine, const RecordHands& hands,
                                   int event) {
  const std::vector<int> numbers = isRestMarker(buttonLine) ? std::vector<int>{}
                                                            : buttonsOfLine(buttonLine);
  std::vector<ButtonAt> beside;
  for (const ButtonAt& at : handButtons(hands, event, Hand::Treble)) {
    const auto number = recordNumbering().numberOf(at);
    const bool onLine = number && std::find(numbers.begin(), numbers.end(), *number) != numbers.end();
    if (!onLine && std::find(beside.begin(), beside.end(), at) == beside.end()) beside.push_back(at);
  }
  return beside;
}

std::vector<std::string> linesPlayedWithBeside(const std::vector<std::string>& buttonLines,
                                               const RecordHands& hands) {
  std::vector<std::string> lines = buttonLines;
  for (const HandButton& button : hands.buttons) {
    const auto row = static_cast<std::size_t>(button.event - 1);
    if (button.hand == Hand::Treble && button.event >= 1 && row < lines.size() &&
        isRestMarker(lines[row]))
      lines[row].clear();
  }
  return lines;
}

}  // namespace tastrello
