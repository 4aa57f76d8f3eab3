#include "exchange/musicxml.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <numeric>

#include "exchange/treble_sounds.h"
#include "records/record_format.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr long long kLongestDuration = 1000000000;  // in divisions; more is damage
constexpr long long kLastTick = 1LL << 52;           // a part longer than this is read no further
constexpr int kMostDivisions = 1000000;
constexpr const char* kSoftware = "Tastrello";

// ---- Reading

/// A whole number of the text ("" and garbage: nothing).
std::optional<long long> wholeNumber(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return std::nullopt;
  text.remove_prefix(first);
  text = text.substr(0, text.find_last_not_of(" \t\r\n") + 1);
  long long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

/// A decimal from 0 to a billion such as "96.5", rounded to a whole number, read without the C
/// library's locale; nothing for others.
std::optional<long long> roundedDecimal(std::string_view text) {
  const auto dot = text.find('.');
  const auto whole = wholeNumber(text.substr(0, dot));
  if (!whole || *whole < 0 || *whole > 1000000000) return std::nullopt;
  if (dot == std::string_view::npos) return whole;
  const std::string_view fraction = text.substr(dot + 1);
  if (!fraction.empty() && (fraction[0] < '0' || fraction[0] > '9')) return std::nullopt;
  return *whole + (!fraction.empty() && fraction[0] >= '5' ? 1 : 0);
}

bool endsWith(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

/// The MIDI pitch of a <pitch> element; nothing when it names none.
std::optional<int> pitchOf(const XmlElement& pitch) {
  static constexpr std::string_view kSteps = "C D EF G A B";
  const std::string step = pitch.childText("step");
  const auto octave = wholeNumber(pitch.childText("octave"));
  // Octaves 0 to 9 reach every MIDI pitch; others are damage, as are alterations beyond one.
  if (step.size() != 1 || kSteps.find(step[0]) == std::string_view::npos || step[0] == ' ' ||
      !octave || *octave < 0 || *octave > 9)
    return std::nullopt;
  long long value = (*octave + 1) * 12 + static_cast<long long>(kSteps.find(step[0]));
  // A quarter-tone alteration (0.5) rounds to the nearer semitone.
  const std::string alter = pitch.childText("alter");
  const bool down = !alter.empty() && alter[0] == '-';
  const auto semitones = roundedDecimal(std::string_view(alter).substr(down ? 1 : 0));
  if (semitones.value_or(0) > 12) return std::nullopt;
  value += (down ? -1 : 1) * semitones.value_or(0);
  if (value < 0 || value > 127) return std::nullopt;
  return static_cast<int>(value);
}

/// The bellows a word of the program's own marks: push, pull, or nothing.
std::optional<bool> bellowsWord(const std::string& word) {
  for (UiLanguage language :
       {UiLanguage::German, UiLanguage::English, UiLanguage::Spanish, UiLanguage::Bavarian}) {
    if (word == uiText(language, Text::BellowsPushWord)) return true;
    if (word == uiText(language, Text::BellowsPullWord)) return false;
  }
  return std::nullopt;
}

/// The row (from 0) of a fingering the program writes ("2/7": row 2, button 7); -1 for others.
int rowOfFingering(const std::string& fingering) {
  if (fingering.size() < 3 || fingering[1] != '/' || fingering[0] < '1' ||
      fingering[0] > '0' + kMaxTrebleRows)
    return -1;
  const auto number = wholeNumber(std::string_view(fingering).substr(2));
  return number && *number >= 1 && *number <= kMaxRowButtons ? fingering[0] - '1' : -1;
}

const XmlElement* partOf(const XmlElement& score, const std::string& id) {
  for (const auto& c : score.children)
    if (c.name == "part" && (id.empty() || c.attribute("id") == id)) return &c;
  return nullptr;
}

int pitchedNotes(const XmlElement& part) {
  int count = 0;
  for (const auto& measure : part.children)
    for (const auto& n : measure.children)
      count += n.name == "note" && n.child("pitch") && !n.child("grace");
  return count;
}

bool madeByUs(const XmlElement& score) {
  const XmlElement* identification = score.child("identification");
  const XmlElement* encoding = identification ? identification->child("encoding") : nullptr;
  return encoding && encoding->childText("software").find(kSoftware) != std::string::npos;
}

// ---- Writing

std::string escaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n') out += c;
    }
  }
  return out;
}

/// Note values in sixteenths, largest first: (sixteenths, type, dots).
struct NoteValue {
  int sixteenths;
  const char* type;
  int dots;
};
constexpr NoteValue kValues[] = {{16, "whole", 0},  {12, "half", 1},   {8, "half", 0},
                                 {6, "quarter", 1}, {4, "quarter", 0}, {3, "eighth", 1},
                                 {2, "eighth", 0},  {1, "16th", 0}};

/// A length in steps as note values that add up to it, largest first, each a whole number of
/// steps (on the quarter grid no eighths, on the eighth grid no sixteenths).
std::vector<NoteValue> valuesOf(int steps, int stepsPerBeat) {
  const int unit = 4 / stepsPerBeat;
  int left = steps * unit;
  std::vector<NoteValue> out;
  while (left > 0) {
    for (const auto& v : kValues)
      if (v.sixteenths <= left && v.sixteenths % unit == 0) {
        out.push_back(v);
        left -= v.sixteenths;
        break;
      }
  }
  return out;
}

/// German spelling of pitches as the layouts have them: sharps but es and b.
void writePitch(std::string& out, int pitch) {
  static constexpr const char* kStep[12] = {"C", "C", "D", "E", "E", "F",
                                            "F", "G", "G", "A", "B", "B"};
  static constexpr int kAlter[12] = {0, 1, 0, -1, 0, 0, 1, 0, 1, 0, -1, 0};
  const int pitchClass = pitch % 12;
  out += "<pitch><step>" + std::string(kStep[pitchClass]) + "</step>";
  if (kAlter[pitchClass] != 0) out += "<alter>" + std::to_string(kAlter[pitchClass]) + "</alter>";
  out += "<octave>" + std::to_string(pitch / 12 - 1) + "</octave></pitch>";
}

/// The row (from 1) and number from the top of a button, as the tablature counts them.
std::string fingeringOf(const ButtonAt& at) {
  return std::to_string(at.row) + "/" + std::to_string(at.number);
}

/// Writes measures as the events go: notes and rests split at bar lines and into note values.
class ScoreWriter {
 public:
  /// `bass`: the left hand's pitches per step, written on a second staff (nothing: one staff).
  ScoreWriter(const Meter& meter, std::string& out,
              const std::vector<std::vector<int>>* bass = nullptr)
      : meter_(meter), out_(out), bass_(bass) {
    barEnd_ = meter.pickupSteps > 0 ? meter.pickupSteps : meter.stepsPerBar();
  }

  /// Opens the first measure with its attributes (and the tempo).
  void begin(int tempo) {
    openMeasure();
    out_ += "<attributes><divisions>" + std::to_string(meter_.stepsPerBeat) +
            "</divisions><key><fifths>0</fifths></key><time><beats>" +
            std::to_string(meter_.beatsPerBar) + "</beats><beat-type>4</beat-type></time>" +
            (bass_ ? "<staves>2</staves><clef number=\"1\"><sign>G</sign><line>2</line></clef>"
                     "<clef number=\"2\"><sign>F</sign><line>4</line></clef>"
                   : "<clef><sign>G</sign><line>2</line></clef>") +
            "</attributes>\n";
    if (tempo > 0)
      out_ +=
          "<direction placement=\"above\"><direction-type><metronome><beat-unit>quarter"
          "</beat-unit><per-minute>" +
          std::to_string(tempo) + "</per-minute></metronome></direction-type><sound tempo=\"" +
          std::to_string(tempo) + "\"/></direction>\n";
  }

  /// A chord (pitches with their fingerings) or a rest (none) lasting `steps`.
  void event(const std::vector<std::pair<int, std::string>>& sounds, int steps) {
    bool first = true;
    while (steps > 0) {
      const int take = static_cast<int>(std::min<long long>(steps, barEnd_ - at_));
      const auto values = valuesOf(take, meter_.stepsPerBeat);
      for (std::size_t v = 0; v < values.size(); ++v) {
        const bool tiedOn = v + 1 < values.size() || take < steps;
        note(sounds, values[v], first ? "" : "stop", tiedOn, first);
        first = false;
      }
      steps -= take;
      at_ += take;
      if (at_ == barEnd_) {
        closeMeasure();
        openMeasure();
        barEnd_ += meter_.stepsPerBar();
      }
    }
  }

  void words(const std::string& text) {
    out_ += "<direction placement=\"below\"><direction-type><words>" + escaped(text) +
            "</words></direction-type></direction>\n";
  }

  /// Ends the score where the record ends: the last bar is as long as the record leaves it
  /// (a reader then knows where the piece ends, closing rest and all), and the measure opened
  /// after a full last bar is dropped. A pickup keeps its length, so a record shorter than its
  /// pickup, and an empty one, fill their only bar.
  void end() {
    if (at_ == 0 || measure_ == 0) event({}, static_cast<int>(barEnd_ - at_));
    const long long barStart =
        barEnd_ - (measure_ == 0 ? meter_.pickupSteps : meter_.stepsPerBar());
    if (at_ > barStart)
      closeMeasure();
    else
      out_.erase(measureOpenedAt_);
  }

 private:
  void openMeasure() {
    measure_ = measureCount_ == 0 && meter_.pickupSteps > 0 ? 0 : measure_ + 1;
    ++measureCount_;
    measureOpenedAt_ = out_.size();
    measureStart_ = at_;
    out_ += "<measure number=\"" + std::to_string(measure_) + "\"" +
            (measure_ == 0 ? " implicit=\"yes\"" : "") + ">\n";
  }
  void closeMeasure() {
    if (bass_) bassOfMeasure();
    out_ += "</measure>\n";
  }

  /// The second staff of the measure: back to its start, then each step's bass or rest.
  void bassOfMeasure() {
    if (at_ == measureStart_) return;
    out_ += "<backup><duration>" + std::to_string(at_ - measureStart_) + "</duration></backup>\n";
    const NoteValue step = valuesOf(1, meter_.stepsPerBeat).front();
    const std::string value = "<duration>1</duration><voice>2</voice><type>" +
                              std::string(step.type) + "</type><staff>2</staff></note>\n";
    for (long long s = measureStart_; s < at_; ++s) {
      static const std::vector<int> kNone;
      const auto& pitches = std::size_t(s) < bass_->size() ? (*bass_)[std::size_t(s)] : kNone;
      if (pitches.empty()) out_ += "<note><rest/>" + value;
      for (std::size_t i = 0; i < pitches.size(); ++i) {
        out_ += i > 0 ? "<note><chord/>" : "<note>";
        writePitch(out_, pitches[i]);
        out_ += value;
      }
    }
  }

  void note(const std::vector<std::pair<int, std::string>>& sounds, const NoteValue& value,
            const std::string& tieBefore, bool tieAfter, bool first) {
    const std::string duration = std::to_string(value.sixteenths * meter_.stepsPerBeat / 4);
    std::string type = "<voice>1</voice><type>" + std::string(value.type) + "</type>";
    for (int d = 0; d < value.dots; ++d) type += "<dot/>";
    if (bass_) type += "<staff>1</staff>";
    if (sounds.empty()) {
      out_ += "<note><rest/><duration>" + duration + "</duration>" + type + "</note>\n";
      return;
    }
    for (std::size_t i = 0; i < sounds.size(); ++i) {
      out_ += "<note>";
      if (i > 0) out_ += "<chord/>";
      writePitch(out_, sounds[i].first);
      out_ += "<duration>" + duration + "</duration>";
      if (!tieBefore.empty()) out_ += "<tie type=\"stop\"/>";
      if (tieAfter) out_ += "<tie type=\"start\"/>";
      out_ += type;
      std::string notations;
      if (!tieBefore.empty()) notations += "<tied type=\"stop\"/>";
      if (tieAfter) notations += "<tied type=\"start\"/>";
      if (first)
        notations += "<technical><fingering placement=\"below\">" + sounds[i].second +
                     "</fingering></technical>";
      if (!notations.empty()) out_ += "<notations>" + notations + "</notations>";
      out_ += "</note>\n";
    }
  }

  const Meter& meter_;
  std::string& out_;
  long long at_ = 0;      ///< steps written
  long long barEnd_ = 0;  ///< the step the open measure ends at
  int measure_ = 0;
  int measureCount_ = 0;
  std::size_t measureOpenedAt_ = 0;
  const std::vector<std::vector<int>>* bass_;
  long long measureStart_ = 0;  ///< the step the open measure starts at
};

/// The instrument each part is played by: the MIDI program its score-part names ("" when
/// none).
std::map<std::string, std::string> instrumentsOf(const XmlElement& score) {
  std::map<std::string, std::string> out;
  if (const XmlElement* list = score.child("part-list"))
    for (const auto& p : list->children)
      if (const XmlElement* midi = p.name == "score-part" ? p.child("midi-instrument") : nullptr)
        out[p.attribute("id")] = midi->childText("midi-program");
  return out;
}

/// The first part with notes and the other parts with notes of its instrument, their ids
/// separated by blanks (an id holds none).
std::string firstInstrumentsParts(const XmlElement& score) {
  auto instruments = instrumentsOf(score);
  std::string ids, instrument;
  for (const auto& part : score.children) {
    if (part.name != "part" || pitchedNotes(part) == 0) continue;
    const std::string id = part.attribute("id");
    if (ids.empty())
      instrument = instruments[id];
    else if (instrument.empty() || instruments[id] != instrument)
      continue;
    ids += (ids.empty() ? "" : " ") + id;
  }
  return ids;
}

/// The tune's ticks in `division` a quarter (a multiple of its own).
void rescale(Tune& tune, int division) {
  const long long factor = division / std::max(1, tune.division);
  for (auto& note : tune.notes) note.tick *= factor, note.length *= factor;
  for (auto& turn : tune.bellows) turn.first *= factor;
  for (auto& harmony : tune.harmonies) harmony.tick *= factor;
  for (auto& note : tune.bassNotes) note.tick *= factor, note.length *= factor;
  tune.pickupTicks *= factor;
  if (tune.endTick) *tune.endTick *= factor;
  tune.division = division;
}

/// `other`'s notes and bellows added to `tune`, whose time, meter and remarks stay.
void addPart(Tune& tune, Tune other) {
  const int common = std::lcm(std::max(1, tune.division), std::max(1, other.division));
  if (common > 1000000) return;  // no common grid worth the name: the part stays out
  rescale(tune, common);
  rescale(other, common);
  tune.notes.insert(tune.notes.end(), other.notes.begin(), other.notes.end());
  tune.bellows.insert(tune.bellows.end(), other.bellows.begin(), other.bellows.end());
  tune.harmonies.insert(tune.harmonies.end(), other.harmonies.begin(), other.harmonies.end());
  tune.bassNotes.insert(tune.bassNotes.end(), other.bassNotes.begin(), other.bassNotes.end());
  if (other.endTick) tune.endTick = std::max(tune.endTick.value_or(0), *other.endTick);
  std::stable_sort(tune.notes.begin(), tune.notes.end(),
                   [](const TuneNote& a, const TuneNote& b) { return a.tick < b.tick; });
  std::stable_sort(tune.bellows.begin(), tune.bellows.end());
  std::stable_sort(tune.harmonies.begin(), tune.harmonies.end(),
                   [](const TuneHarmony& a, const TuneHarmony& b) { return a.tick < b.tick; });
  std::stable_sort(tune.bassNotes.begin(), tune.bassNotes.end(),
                   [](const TuneNote& a, const TuneNote& b) { return a.tick < b.tick; });
}

}  // namespace

bool looksLikeMusicXml(std::string_view bytes) {
  if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4)) return true;
  // UTF-16 (with its byte order mark), as some programs write; the parser reads it.
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") return true;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  const auto first = bytes.find_first_not_of(" \t\r\n");
  return first != std::string_view::npos && bytes[first] == '<';
}

std::optional<XmlElement> readMusicXml(std::string_view bytes, const MarkupReader& reader,
                                       std::string& problem, UiLanguage language) {
  std::string inflated;
  if (bytes.substr(0, 4) == std::string_view("PK\x03\x04", 4)) {
    const auto members = zipMembers(bytes, kLargestScore, problem, language);
    if (!members) return std::nullopt;
    // The archive's container names the score; failing that, its first .xml or .musicxml.
    std::string path;
    for (const auto& m : *members) {
      if (m.name != "META-INF/container.xml") continue;
      const auto container = zipMemberBytes(bytes, m, reader, problem, language);
      if (!container) return std::nullopt;
      const auto root = reader.parseXml(*container, 1000, problem, language);
      if (!root) return std::nullopt;
      if (const XmlElement* files = root->child("rootfiles"))
        if (const XmlElement* file = files->child("rootfile")) path = file->attribute("full-path");
    }
    const ZipMember* score = nullptr;
    for (const auto& m : *members) {
      const bool named = path.empty()
                             ? (endsWith(m.name, ".xml") || endsWith(m.name, ".musicxml")) &&
                                   m.name.rfind("META-INF/", 0) != 0
                             : m.name == path;
      if (named) {
        score = &m;
        break;
      }
    }
    if (!score) {
      problem = path.empty() ? uiText(language, Text::WhyZipNoScore)
                             : uiText(language, Text::WhyZipLacksScore, {path});
      return std::nullopt;
    }
    auto scoreBytes = zipMemberBytes(bytes, *score, reader, problem, language);
    if (!scoreBytes) return std::nullopt;
    inflated = std::move(*scoreBytes);
    bytes = inflated;
  }
  auto root = reader.parseXml(bytes, kMostScoreElements, problem, language);
  if (!root) return std::nullopt;
  if (root->name == "score-timewise") {
    problem = uiText(language, Text::WhyScoreTimewise);
    return std::nullopt;
  }
  if (root->name != "score-partwise") {
    problem = uiText(language, Text::WhyNotScore, {root->name});
    return std::nullopt;
  }
  return root;
}

namespace {

/// The parts one instrument plays become one, where the first of them was: their ids
/// separated by blanks.
void groupByInstrument(const XmlElement& score, std::vector<ScorePart>& parts,
                       const std::vector<int>& numbers, UiLanguage language) {
  auto instruments = instrumentsOf(score);
  for (std::size_t first = 0; first < parts.size(); ++first) {
    const std::string instrument = instruments[parts[first].id];
    if (instrument.empty()) continue;
    std::string which = std::to_string(numbers[first]);
    ScorePart together = parts[first];
    for (std::size_t other = first + 1; other < parts.size(); ++other) {
      if (instruments[parts[other].id] != instrument) continue;
      together.id += " " + parts[other].id;
      together.notes += parts[other].notes;
      which += ", " + std::to_string(numbers[other]);
    }
    if (together.id == parts[first].id) continue;
    together.label =
        uiText(language, Text::ScorePartsTogether, {which, std::to_string(together.notes)});
    // The others of the instrument leave the list (marked, then removed).
    for (std::size_t other = first + 1; other < parts.size(); ++other)
      if (instruments[parts[other].id] == instrument) parts[other].id.clear();
    parts[first] = together;
  }
  parts.erase(std::remove_if(parts.begin(), parts.end(),
                             [](const ScorePart& p) { return p.id.empty(); }),
              parts.end());
}

}  // namespace

std::vector<ScorePart> scoreParts(const XmlElement& score, UiLanguage language) {
  std::map<std::string, std::string> names;
  if (const XmlElement* list = score.child("part-list"))
    for (const auto& p : list->children)
      if (p.name == "score-part") names[p.attribute("id")] = p.childText("part-name");
  std::vector<ScorePart> parts;
  std::vector<int> numbers;
  int number = 0;
  for (const auto& part : score.children) {
    if (part.name != "part") continue;
    ++number;
    const int notes = pitchedNotes(part);
    if (notes == 0) continue;
    const std::string id = part.attribute("id");
    const std::string name = utf8ToCp1252(names[id]).value_or(id);
    const std::string n = std::to_string(number), count = std::to_string(notes);
    parts.push_back({id,
                     name.empty() ? uiText(language, Text::ScorePartUnnamed, {n, count})
                                  : uiText(language, Text::ScorePartLabel, {n, name, count}),
                     notes});
    numbers.push_back(number);
  }
  groupByInstrument(score, parts, numbers, language);
  if (parts.size() < 2) parts.clear();
  return parts;
}

namespace {

/// A chord symbol: its root and whether its triad is minor (minor and diminished kinds; the
/// bass side has no diminished chord, and its minor one is the nearest). "none" is no chord.
std::optional<TuneHarmony> harmonyOf(const XmlElement& harmony, long long tick) {
  const std::string kind = harmony.childText("kind");
  if (kind == "none") return TuneHarmony{tick, -1, false};
  const XmlElement* root = harmony.child("root");
  if (!root) return std::nullopt;
  static constexpr std::string_view kSteps = "C D EF G A B";
  const std::string step = root->childText("root-step");
  if (step.size() != 1 || step[0] == ' ' || kSteps.find(step[0]) == std::string_view::npos)
    return std::nullopt;
  const long long alter = wholeNumber(root->childText("root-alter")).value_or(0);
  const long long pitch = static_cast<long long>(kSteps.find(step[0])) + alter;
  const bool minor = kind.rfind("minor", 0) == 0 || kind.rfind("diminished", 0) == 0 ||
                     kind == "half-diminished";
  return TuneHarmony{tick, static_cast<int>((pitch % 12 + 12) % 12), minor};
}

/// Reads one part of a score into a tune, measure by measure: the time unit and meter of its
/// attributes, its tempo and bellows words, its chord symbols, and its notes (the melody's
/// voice of the first staff; the second staff is the left hand).
class PartReader {
 public:
  PartReader(const XmlElement& part, bool ours) : part_(part), ours_(ours) {
    tune_.division = 1;  // a score without divisions: a tick a quarter
    measures_ = static_cast<std::size_t>(std::count_if(part.children.begin(), part.children.end(),
                                                       [](const XmlElement& m) { return m.name == "measure"; }));
  }

  Tune read() {
    for (const auto& measure : part_.children) {
      if (measure.name != "measure") continue;
      // Far beyond anything a record holds: the rest of the part is not read (a damaged or
      // hostile file whose times would otherwise overflow).
      if (measureStart_ > kLastTick) break;
      readMeasure(measure);
    }
    return finish();
  }

 private:
  long long ticksOf(long long duration) const {
    duration = std::clamp(duration, 0LL, kLongestDuration);
    return divisions_ > 0 ? duration * tune_.division / divisions_ : 0;
  }

  void readMeasure(const XmlElement& measure) {
    cursor_ = measureEnd_ = lastOnset_ = measureStart_;
    for (const auto& item : measure.children) {
      if (cursor_ > kLastTick) break;
      if (item.name == "attributes") {
        readAttributes(item);
      } else if (item.name == "direction" || item.name == "sound") {
        readDirection(item);
      } else if (item.name == "harmony") {
        const long long offset = wholeNumber(item.childText("offset")).value_or(0);
        const long long at = cursor_ + (offset < 0 ? -ticksOf(-offset) : ticksOf(offset));
        if (const auto harmony = harmonyOf(item, std::max(measureStart_, at))) tune_.harmonies.push_back(*harmony);
      } else if (item.name == "backup" || item.name == "forward") {
        const long long ticks = ticksOf(wholeNumber(item.childText("duration")).value_or(0));
        cursor_ = item.name == "backup" ? std::max(measureStart_, cursor_ - ticks) : cursor_ + ticks;
        measureEnd_ = std::max(measureEnd_, cursor_);
      } else if (item.name == "note") {
        readNote(item);
      }
    }
    notePickupOrPartialBar(measure);
    measureStart_ = measureEnd_;
    ++measureIndex_;
  }

  void readAttributes(const XmlElement& item) {
    // A time unit finer than any score needs is damage: the one before it stays.
    if (const auto d = wholeNumber(item.childText("divisions")); d && *d > 0 && *d <= kMostDivisions) {
      divisions_ = *d;
      if (!divisionsSet_) tune_.division = static_cast<int>(divisions_);
      divisionsSet_ = true;
    }
    // A transposing instrument's part is written as it reads: sounding is what counts.
    if (const XmlElement* transpose = item.child("transpose")) {
      const long long chromatic = wholeNumber(transpose->childText("chromatic")).value_or(0);
      const long long octaves = wholeNumber(transpose->childText("octave-change")).value_or(0);
      transposition_ = std::clamp(chromatic, -48LL, 48LL) + 12 * std::clamp(octaves, -4LL, 4LL);
    }
    if (const XmlElement* time = item.child("time")) {
      const auto beats = wholeNumber(time->childText("beats"));
      const auto type = wholeNumber(time->childText("beat-type"));
      int power = 0;
      while (type && power < 8 && (1LL << power) < *type) ++power;
      const std::pair<int, int> m{beats && *beats > 0 && *beats < 100 ? int(*beats) : 0,
                                  type && (1LL << power) == *type ? power : -1};
      if (!meter_)
        meter_ = m;
      else if (*meter_ != m)
        ++meterChanges_;
    }
  }

  void readDirection(const XmlElement& item) {
    const XmlElement* sound = item.name == "sound" ? &item : item.child("sound");
    std::optional<long long> bpm = sound ? roundedDecimal(sound->attribute("tempo")) : std::nullopt;
    for (const auto& type : item.children) {
      if (type.name != "direction-type") continue;
      if (const XmlElement* metronome = type.child("metronome"); metronome && !bpm)
        bpm = roundedDecimal(metronome->childText("per-minute"));
      if (const auto push = bellowsWord(type.childText("words"))) tune_.bellows.push_back({cursor_, *push});
    }
    if (bpm && *bpm > 0) {
      if (!tempo_)
        tempo_ = bpm;
      else if (*tempo_ != *bpm)
        ++tempoChanges_;
    }
  }

  void readNote(const XmlElement& item) {
    if (item.child("grace") || item.child("cue")) return;  // they take no time
    const long long ticks = ticksOf(wholeNumber(item.childText("duration")).value_or(0));
    const long long onset = item.child("chord") ? lastOnset_ : cursor_;
    if (!item.child("chord")) cursor_ += ticks;
    lastOnset_ = onset;
    measureEnd_ = std::max(measureEnd_, cursor_);
    const XmlElement* pitchElement = item.child("pitch");
    const std::string staff = item.child("staff") ? item.childText("staff") : "1";
    const std::string voice = item.child("voice") ? item.childText("voice") : "1";
    if (pitchElement && staff == "2") {
      // The second staff is the left hand.
      if (const auto pitch = pitchOf(*pitchElement)) tune_.bassNotes.push_back({onset, ticks, *pitch, -1});
      return;
    }
    if (!pitchElement || staff != "1") return;
    if (melodyVoice_.empty()) melodyVoice_ = voice;
    if (voice != melodyVoice_) return;
    auto pitch = pitchOf(*pitchElement);
    if (!pitch || *pitch + transposition_ < 0 || *pitch + transposition_ > 127) return;
    *pitch += static_cast<int>(transposition_);
    bool tieStop = false, tieStart = false;
    for (const auto& t : item.children)
      if (t.name == "tie") (t.attribute("type") == "stop" ? tieStop : tieStart) = true;
    std::string fingering;
    if (const XmlElement* notations = item.child("notations"))
      if (const XmlElement* technical = notations->child("technical")) fingering = technical->childText("fingering");
    if (tieStop && holdAcrossTie(*pitch, onset, ticks, tieStart)) return;
    tune_.notes.push_back({onset, ticks, *pitch, ours_ ? rowOfFingering(fingering) : -1});
    if (tieStart) tiedOn_.insert({*pitch, tune_.notes.size() - 1});
  }

  /// A tie's second note lengthens the note it goes on from, when one ends where it begins.
  bool holdAcrossTie(int pitch, long long onset, long long ticks, bool tieStart) {
    auto [open, last] = tiedOn_.equal_range(pitch);
    while (open != last && tune_.notes[open->second].tick + tune_.notes[open->second].length != onset) ++open;
    if (open == last) return false;
    tune_.notes[open->second].length += ticks;  // one note held across the tie
    if (!tieStart) tiedOn_.erase(open);
    return true;
  }

  /// A first bar shorter than its time signature is a pickup; a later one is named.
  void notePickupOrPartialBar(const XmlElement& measure) {
    const long long length = measureEnd_ - measureStart_;
    if (!meter_ || tune_.division <= 0) return;
    const long long bar = meter_->second >= 0 ? 4LL * tune_.division * meter_->first >> meter_->second : 0;
    // The only bar, shorter than its time signature and numbered, is a piece that ends
    // early; a pickup is followed by bars or marked as no numbered bar.
    const bool pickup = measures_ > 1 || measure.attribute("implicit") == "yes";
    if (measureIndex_ == 0 && length > 0 && length < bar && pickup)
      tune_.pickupTicks = length;
    else if (bar > 0 && length != bar && std::size_t(measureIndex_) + 1 < measures_ &&
             tune_.notesOnReading.size() < 20)
      tune_.notesOnReading.push_back(
          {ImportNote::Kind::PartialBar, measureIndex_ + (tune_.pickupTicks > 0 ? 0 : 1), 1, {}, 0, 0});
  }

  Tune finish() {
    if (tune_.division <= 0) tune_.division = 1;
    // The score ends with its last bar, rests and all.
    tune_.endTick = measureStart_;
    std::stable_sort(tune_.notes.begin(), tune_.notes.end(),
                     [](const TuneNote& a, const TuneNote& b) { return a.tick < b.tick; });
    std::stable_sort(tune_.bellows.begin(), tune_.bellows.end());
    std::stable_sort(tune_.harmonies.begin(), tune_.harmonies.end(),
                     [](const TuneHarmony& a, const TuneHarmony& b) { return a.tick < b.tick; });
    if (meter_) {
      const auto beats =
          meter_->first > 0 && meter_->second >= 0 ? quarterBeatsPerBar(meter_->first, meter_->second) : std::nullopt;
      if (beats) {
        tune_.beatsPerBar = *beats;
      } else {
        tune_.pickupTicks = 0;
        tune_.notesOnReading.push_back(
            {ImportNote::Kind::MeterNotKept, -1, 0,
             std::to_string(meter_->first) + "/" + std::to_string(meter_->second >= 0 ? 1 << meter_->second : 0), 0,
             0});
      }
    }
    if (meterChanges_ > 0) tune_.notesOnReading.push_back({ImportNote::Kind::MeterChanges, -1, 0, {}, meterChanges_, 0});
    if (tempo_) {
      tune_.tempo = static_cast<int>(std::clamp<long long>(*tempo_, 1, 100000));
      tune_.microsPerQuarter = 60000000LL / tune_.tempo;
      if (tempoChanges_ > 0)
        tune_.notesOnReading.push_back(
            {ImportNote::Kind::TempoChanges, -1, 0, {}, tempoChanges_, std::clamp(tune_.tempo, 20, 300)});
    }
    if (ours_ && (divisions_ == 1 || divisions_ == 2 || divisions_ == 4))
      tune_.stepsPerBeatAtLeast = static_cast<int>(divisions_);
    return std::move(tune_);
  }

  const XmlElement& part_;
  const bool ours_;
  Tune tune_;
  std::size_t measures_ = 0;
  long long divisions_ = 0;
  bool divisionsSet_ = false;
  std::optional<std::pair<int, int>> meter_;  // (beats, beat-type power)
  long long meterChanges_ = 0, tempoChanges_ = 0;
  std::optional<long long> tempo_;
  std::string melodyVoice_;
  // pitch -> the notes a tie goes on from (a pitch may sound on two rows at once; only the
  // first of tied notes carries its fingering)
  std::multimap<int, std::size_t> tiedOn_;
  long long measureStart_ = 0, transposition_ = 0;
  int measureIndex_ = 0;
  // Within the measure being read: where the next note goes, its end so far, the last onset.
  long long cursor_ = 0, measureEnd_ = 0, lastOnset_ = 0;
};

Tune tuneOfPart(const XmlElement& score, const std::string& partId) {
  const XmlElement* part = nullptr;
  for (const auto& c : score.children)
    if (c.name == "part" && (partId.empty() ? pitchedNotes(c) > 0 : c.attribute("id") == partId)) {
      part = &c;
      break;
    }
  if (!part) part = partOf(score, partId);
  if (!part) {
    Tune none;
    none.division = 1;
    return none;
  }
  return PartReader(*part, madeByUs(score)).read();
}

}  // namespace

Tune tuneOfMusicXml(const XmlElement& score, const std::string& partIds) {
  const std::string ids = partIds.empty() ? firstInstrumentsParts(score) : partIds;
  std::optional<Tune> tune;
  for (std::size_t at = 0; at < ids.size();) {
    const std::size_t end = std::min(ids.find(' ', at), ids.size());
    Tune part = tuneOfPart(score, ids.substr(at, end - at));
    if (tune)
      addPart(*tune, std::move(part));
    else
      tune = std::move(part);
    at = end + 1;
  }
  return tune ? *tune : tuneOfPart(score, "");
}

namespace {

/// The left hand of a record to write: per step, its bass buttons' pitches and the bellows
/// direction they go.
struct BassStaff {
  std::vector<std::vector<int>> pitches;
  std::vector<std::optional<bool>> push;
};

BassStaff bassStaffOf(const std::vector<std::string>& buttonLines, const RecordHands& hands,
                      const Instrument& instrument) {
  BassStaff staff{std::vector<std::vector<int>>(buttonLines.size()),
                  std::vector<std::optional<bool>>(buttonLines.size())};
  for (const HandButton& b : hands.buttons) {
    const std::size_t step = std::size_t(b.event - 1);
    if (b.hand != Hand::Bass || b.event < 1 || step >= buttonLines.size()) continue;
    if (b.at.row < 1 || b.at.row > static_cast<int>(instrument.bass.size())) continue;
    const auto& row = instrument.bass[std::size_t(b.at.row - 1)].buttons;
    if (b.at.number < 1 || b.at.number > static_cast<int>(row.size())) continue;
    const BassButton& button = row[std::size_t(b.at.number - 1)];
    for (int pitch : b.at.push ? button.push.notes : button.pull.notes)
      if (pitch >= 0 && pitch < 128) staff.pitches[step].push_back(pitch);
    if (!staff.push[step]) staff.push[step] = b.at.push;
  }
  for (auto& pitches : staff.pitches) {
    std::sort(pitches.begin(), pitches.end());
    pitches.erase(std::unique(pitches.begin(), pitches.end()), pitches.end());
  }
  return staff;
}

std::string exportScore(const std::vector<std::string>& recordLines, const ButtonNotes& notes,
                        const Meter& givenMeter, const MusicXmlSettings& settings,
                        const BassStaff* bass, const TrebleBeside* beside) {
  const Meter meter = isValidMeter(givenMeter) ? givenMeter : Meter{};
  const std::string title = escaped(cp1252ToUtf8(settings.title));
  std::string out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
      "<!DOCTYPE score-partwise PUBLIC \"-//Recordare//DTD MusicXML 4.0 Partwise//EN\" "
      "\"http://www.musicxml.org/dtds/partwise.dtd\">\n"
      "<score-partwise version=\"4.0\">\n<work><work-title>" +
      title + "</work-title></work>\n<identification><encoding><software>" + kSoftware +
      "</software></encoding></identification>\n<part-list><score-part id=\"P1\"><part-name>" +
      escaped(cp1252ToUtf8(settings.tuning)) +
      "</part-name><score-instrument id=\"P1-I1\"><instrument-name>Accordion</instrument-name>"
      "</score-instrument><midi-instrument id=\"P1-I1\"><midi-channel>1</midi-channel>"
      "<midi-program>" +
      std::to_string(std::clamp(settings.program, 1, 128)) +
      "</midi-program></midi-instrument></score-part></part-list>\n<part id=\"P1\">\n";
  ScoreWriter writer(meter, out, bass ? &bass->pitches : nullptr);
  writer.begin(meter.tempo > 0 ? meter.tempo : settings.tempoWithoutMeter);
  // A rest of the record file that treble buttons beside it play is their chord.
  const std::vector<std::string> buttonLines =
      beside ? linesPlayedWithBeside(recordLines, beside->hands) : recordLines;
  const std::vector<EventTreble> treble = trebleOfRecord(buttonLines, notes, beside);
  std::optional<bool> pushing;
  for (const TimedEvent& timed : timeline(buttonLines)) {
    std::vector<std::pair<int, std::string>> sounds;
    const std::size_t step = std::size_t(timed.step);
    if (timed.rest && bass && step < bass->push.size() && bass->push[step] &&
        buttonLines[std::size_t(timed.event - 1)] == kBreakMute) {
      // A bass in a silence of the treble turns the bellows its way.
      const bool push = *bass->push[step];
      if (pushing != push)
        writer.words(
            uiText(settings.language, push ? Text::BellowsPushWord : Text::BellowsPullWord));
      pushing = push;
    }
    if (!timed.rest) {
      const EventTreble& played = treble[std::size_t(timed.event - 1)];
      for (const SoundingButton& b : played.sounds) sounds.push_back({b.pitch, fingeringOf(b.at)});
      const Bellows bellows = played.bellows;
      if (!sounds.empty() && bellows != Bellows::None && bellows != Bellows::Both) {
        const bool push = bellows == Bellows::Push;
        if (pushing != push)
          writer.words(
              uiText(settings.language, push ? Text::BellowsPushWord : Text::BellowsPullWord));
        pushing = push;
      }
    }
    writer.event(sounds, timed.steps);
  }
  writer.end();
  out += "</part>\n</score-partwise>\n";
  return out;
}

}  // namespace

std::string exportRecordToMusicXml(const std::vector<std::string>& buttonLines,
                                   const ButtonNotes& notes, const Meter& meter,
                                   const MusicXmlSettings& settings) {
  return exportScore(buttonLines, notes, meter, settings, nullptr, nullptr);
}

std::string exportRecordToMusicXml(const std::vector<std::string>& buttonLines,
                                   const ButtonNotes& notes, const Meter& meter,
                                   const MusicXmlSettings& settings, const RecordHands& hands,
                                   const Instrument& instrument) {
  const BassStaff bass = bassStaffOf(buttonLines, hands, instrument);
  const TrebleBeside beside{hands, instrument};
  return exportScore(buttonLines, notes, meter, settings, &bass, &beside);
}

}  // namespace tastrello
