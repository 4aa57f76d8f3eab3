// tastrello-convert IN OUT [--layout NAME] [--instrument NAME] [--part N] [--force]: a record or
// lesson file as tablature, a MIDI file or a MusicXML score, or a MIDI file or a score as a
// record. Formats by extension: .txt in and .pdf, .svg, .mid or .musicxml out; or .mid,
// .musicxml, .xml or .mxl in and .txt out. A tune with chord symbols gets its Wechselbass, one
// with a left hand of its own that bass, in the hands file beside the record. One summary line
// on success; on any problem a clear message and a non-zero exit, and never a partial output
// file (a record, its meter file and its hands file are written as one: all new, or all as
// they were). Output goes
// through the program's one file writer: only a plain file (or nothing) at OUT is replaced,
// never a link, a pipe or a device, and a full disk is a failure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QGuiApplication>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "convert_take.h"
#include "exchange/midi_lesson.h"
#include "exchange/musicxml.h"
#include "exchange/wechselbass.h"
#include "platform/disk_files.h"
#include "platform/markup_reader.h"
#include "platform/tablature_render.h"
#include "platform/working_folder.h"
#include "instrument/instrument_format.h"
#include "records/meter.h"
#include "records/record_format.h"
#include "records/record_hands.h"
#include "tablature/tab_layout.h"
#include "shell/text.h"

namespace fs = std::filesystem;
using namespace tastrello;

namespace {

enum Exit { kOk = 0, kUsage = 1, kInput = 2, kOutput = 3 };

const char* const kUsageText =
    "usage: tastrello-convert IN.txt OUT.pdf|OUT.svg|OUT.mid|OUT.musicxml [--layout NAME] "
    "[--force]\n"
    "       tastrello-convert IN.mid|IN.musicxml|IN.xml|IN.mxl OUT.txt [--layout NAME] "
    "[--instrument NAME] [--part N] [--force]\n"
    "  --layout NAME  the note layout: its file (Notes_A-D-G.txt) or its tuning (A-D-G);\n"
    "                 a record's own layout, or for a MIDI file or score G-C-F (the tuning of\n"
    "                 the first three rows of a four- or five-row --instrument), when not given\n"
    "  --instrument NAME  the instrument whose bass side plays a tune's chord symbols or left\n"
    "                 hand: its file (Instrument_G-C-F_8-Bass.txt) or its name (G-C-F_8-Bass);\n"
    "                 the layout's tuning with 12 basses when not given; a tune is fingered\n"
    "                 over all the rows of a four- or five-row one, the buttons past the third\n"
    "                 row in the hands file\n"
    "  --part N       the track or channel of a MIDI file, or the part of a score, from 1\n"
    "  --force        replace OUT when it is a file that exists\n"
    "  -h, --help     this text\n";

// The largest input read: no record, layout or tune is near this size.
constexpr std::uintmax_t kLargestInput = 16u << 20;

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "tastrello-convert: %s\n", message.c_str());
  return code;
}

std::string english(Text id, std::initializer_list<std::string> args = {}) {
  return cp1252ToUtf8(uiText(UiLanguage::English, id, args));
}

std::string extensionOf(const fs::path& path) {
  return upper(path.extension().string());
}

/// A file of the Notes folders a record's layout is looked for in, by its file name or by what
/// follows the prefix ("A-D-G" for Notes_A-D-G.txt, "G-C-F_12-Bass" for an instrument).
std::optional<fs::path> notesFile(const std::string& name, const fs::path& input,
                                  const std::string& prefix = "Notes_") {
  for (const std::string& file : {name, prefix + name + ".txt"}) {
    if (!isSafeFileName(file)) continue;
    std::error_code ec;
    for (const fs::path& folder : {input.parent_path() / ".." / "Notes", shippedData() / "Notes"}) {
      for (const auto& entry : fs::directory_iterator(folder, ec))
        if (sameNameIgnoringCase(entry.path().filename().string(), file)) return entry.path();
    }
  }
  return std::nullopt;
}

/// A plain file's bytes, or why there are none: missing, no plain file, larger than 16 MB, or
/// unreadable. Never blocks on a pipe or a device.
std::optional<std::string> readWhole(const fs::path& path, std::string& why) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    why = errno == ENOENT ? "no such file"
                          : english(Text::WhyRead, {systemErrorText(errno, UiLanguage::English)});
    return std::nullopt;
  }
  struct stat info {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    why = english(Text::WhyNotPlain);
  } else if (static_cast<std::uintmax_t>(info.st_size) > kLargestInput) {
    why = english(Text::WhyTooLarge, {"16 MB"});
  } else {
    bytes.emplace();
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) break;
      if (n < 0 || bytes->size() + static_cast<std::size_t>(n) > kLargestInput) {
        why = n < 0 ? english(Text::WhyRead, {systemErrorText(errno, UiLanguage::English)})
                    : english(Text::WhyTooLarge, {"16 MB"});
        bytes.reset();
        break;
      }
      bytes->append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return bytes;
}

std::optional<NoteLayout> readLayout(const fs::path& path) {
  std::string why;
  const auto bytes = readWhole(path, why);
  std::size_t lines = 0;
  return bytes ? parseNoteLayout(*bytes, lines) : std::nullopt;
}

/// An instrument file found as layouts are (by its file name, or its name after "Instrument_"),
/// with the treble of the layout it names; nothing, with `why`, when it cannot be used.
std::optional<Instrument> readInstrument(const std::string& name, const fs::path& near,
                                         std::string& why) {
  const auto path = notesFile(name, near, "Instrument_");
  if (!path) {
    why = "instrument " + name + " cannot be read (there is no such file)";
    return std::nullopt;
  }
  const auto bytes = readWhole(*path, why);
  std::vector<InstrumentProblem> problems;
  auto instrument = bytes ? parseInstrument(*bytes, problems) : std::nullopt;
  if (instrument && !instrument->layout.empty()) {
    const auto layoutPath = notesFile(instrument->layout, near);
    const auto layout = layoutPath ? readLayout(*layoutPath) : std::nullopt;
    if (!layout || takeTrebleFromLayout(*instrument, *layout)) instrument.reset();
  }
  if (!instrument) why = "instrument " + name + " cannot be read";
  return instrument;
}

/// Writes all of `bytes` or nothing, with the program's one file writer.
std::string writeWhole(const fs::path& path, const std::string& bytes) {
  return cp1252ToUtf8(writeFileAtomically(path, bytes).text(UiLanguage::English));
}

/// A whole number from 1 in every character of `text` ("2abc" and "4294967298" are none).
std::optional<int> partNumber(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 1)
    return std::nullopt;
  return value;
}

/// The meter kept beside a record: the file "Meter_<record file>" in the same folder.
fs::path meterPathOf(const fs::path& record) {
  return record.parent_path() / meterFileName(record.filename().string());
}

/// The hands file beside a record: "Hands_" + its file name, in its folder.
fs::path handsPathOf(const fs::path& record) {
  return record.parent_path() / handsFileName(record.filename().string());
}

/// The left hand of an imported tune on its record (see bassOfImport). Beats and notes the bass
/// side has no button for (in the bellows' direction) are said and left out.
std::vector<HandButton> bassOfImport(const fs::path& in, const Tune& tune,
                                     const ImportResult& imported,
                                     const std::vector<std::string>& lines,
                                     const Instrument& instrument) {
  ImportedBass bass = bassOfImport(tune, imported, lines, instrument);
  if (bass.unplaced > 0)
    std::fprintf(stderr, "%s: %d notes of the left hand have no bass button; left out\n",
                 in.string().c_str(), bass.unplaced);
  for (const BassGap& gap : bass.gaps) {
    const BarPlace place = barPlaceOf(imported.meter, gap.step);
    std::fprintf(stderr, "%s: bar %lld, beat %d: the bass side has no %s in the bellows' direction; left out\n",
                 in.string().c_str(), place.bar, 1 + place.step / imported.meter.stepsPerBeat,
                 gap.chord ? "chord for the harmony" : "bass for the harmony");
  }
  return std::move(bass.buttons);
}

/// A four- or five-row instrument a tune is fingered on, with its file's name.
struct ManyRows {
  Instrument instrument;
  std::string file;
};

/// The bytes of the hands file to write beside a new record (nothing: none to write): the
/// treble buttons past the third row of a four- or five-row instrument (`rows`), whose bass
/// side then plays the left hand, and the bass. A tune without chord symbols or a left hand has
/// no bass; a hands file already there is emptied when there is nothing to keep, so that an old
/// bass does not come back with the new record.
std::optional<std::string> handsForImport(const fs::path& in, const fs::path& out,
                                          const Tune& tune, const ImportResult& imported,
                                          const std::vector<std::string>& lines,
                                          const std::string& givenInstrument,
                                          const std::string& layoutName, const ManyRows* rows,
                                          std::size_t& basses) {
  std::error_code ec;
  const bool fileThere = fs::exists(fs::symlink_status(handsPathOf(out), ec));
  RecordHands hands;
  if (rows) {
    hands.instrument = rows->file;
    hands.buttons = trebleBesideOf(imported);
    if (hasLeftHand(tune)) {
      const auto bass = bassOfImport(in, tune, imported, lines, rows->instrument);
      hands.buttons.insert(hands.buttons.end(), bass.begin(), bass.end());
      basses = bass.size();
    }
    std::stable_sort(hands.buttons.begin(), hands.buttons.end(),
                     [](const HandButton& a, const HandButton& b) { return a.event < b.event; });
  } else if (hasLeftHand(tune)) {
    const std::string instrumentName =
        givenInstrument.empty() ? "Instrument_" + tuningName(layoutName) + "_12-Bass.txt"
                                : givenInstrument;
    std::string why;
    const auto instrument = readInstrument(instrumentName, in, why);
    if (!instrument) {
      std::fprintf(stderr, "%s: %s; the record is written without its bass\n", in.string().c_str(),
                   why.c_str());
    } else if (!sameNameIgnoringCase(instrument->layout, layoutName)) {
      std::fprintf(stderr, "%s: instrument %s has its treble from %s, not %s; the record is written without its bass\n",
                   in.string().c_str(), instrumentName.c_str(),
                   instrument->layout.empty() ? "rows of its own" : instrument->layout.c_str(), layoutName.c_str());
    } else {
      hands.instrument = notesFile(instrumentName, in, "Instrument_")->filename().string();
      hands.buttons = bassOfImport(in, tune, imported, lines, *instrument);
      basses = hands.buttons.size();
    }
  }
  return handsSavedWith(hands, lines, fileThere);
}

/// The --instrument when it has more rows than a record file holds: a tune is then fingered over
/// all of them. Nothing for a three-row one or none (one that cannot be read is said where its
/// bass is wanted).
std::optional<ManyRows> manyRowInstrument(const std::string& name, const fs::path& in) {
  if (name.empty()) return std::nullopt;
  std::string why;
  auto instrument = readInstrument(name, in, why);
  if (!instrument || instrument->treble.size() <= std::size_t(kLayoutRows)) return std::nullopt;
  return ManyRows{std::move(*instrument), notesFile(name, in, "Instrument_")->filename().string()};
}

/// A tune read from a file as a record in the layout's tuning, with its meter and its bass
/// beside it.
int tuneToRecord(const fs::path& in, const fs::path& out, const Tune& tune,
                 const NoteLayout& layout, const std::string& layoutName,
                 const std::string& instrumentName, const std::vector<std::string>& warnings) {
  ImportOptions options;
  for (int b = 0; b < kKeyCount; ++b)
    options.captions[std::size_t(b)] = layout.captions[std::size_t(b)].value_or("-");
  const auto rows = manyRowInstrument(instrumentName, in);
  if (rows && !sameFirstRows(rows->instrument, buttonNotesOf(layout)))
    return fail(kUsage, "instrument " + rows->file + ": its first three rows are not those of " +
                            layoutName + " (--layout names the layout of its record file)");
  const ImportResult imported = rows ? importTune(tune, rows->instrument, options)
                                     : importTune(tune, buttonNotesOf(layout), options);
  if (std::none_of(imported.events.begin(), imported.events.end(),
                   [](const ImportedEvent& e) { return e.plays(); }))
    return fail(kInput, in.string() + ": no note has a button");
  RecordContent record{utf8ToCp1252(layoutName).value_or(layoutName), {}, {}};
  for (const auto& event : imported.events) {
    const auto [buttonLine, nameLine] =
        event.buttons.empty()
            ? std::pair<std::string, std::string>{buttonLineOf(event), buttonLineOf(event)}
        : rows ? recordLinesOf(event, rows->instrument)
               : eventLines(event.buttons, options.captions);
    record.buttonLines.push_back(buttonLine);
    record.nameLines.push_back(nameLine);
  }
  std::size_t basses = 0;
  const auto handsBytes = handsForImport(in, out, tune, imported, record.buttonLines, instrumentName,
                                         layoutName, rows ? &*rows : nullptr, basses);
  // The record, its meter and its hands are one change: all new, or all as they were.
  const std::string recordBytes = formatRecord(record), meterBytes = formatMeter(imported.meter);
  std::vector<FileReplacement> files{{out, recordBytes}, {meterPathOf(out), meterBytes}};
  if (handsBytes) files.push_back({handsPathOf(out), *handsBytes});
  if (const ChangeResult saved = replaceFilesTogether(files); !saved.ok())
    return fail(kOutput, files[saved.file].target.string() + ": " +
                             cp1252ToUtf8(saved.result.text(UiLanguage::English)));
  for (const auto& warning : warnings)
    std::fprintf(stderr, "%s: %s\n", in.string().c_str(), warning.c_str());
  for (const auto& note : imported.notes)
    std::fprintf(stderr, "%s: %s\n", in.string().c_str(),
                 describe(note, UiLanguage::English).c_str());
  const Meter& m = imported.meter;
  const std::string tempo =
      m.tempo > 0 ? "tempo " + std::to_string(m.tempo) : english(Text::ImportNoTempo);
  const std::size_t beside = trebleBesideOf(imported).size();
  std::printf(
      "%s -> %s: events: %zu, %d/4 in steps of 1/%d, %s, bellows changes: %d, remarks: "
      "%zu, layout %s%s%s\n",
      in.filename().string().c_str(), out.filename().string().c_str(), imported.events.size(),
      m.beatsPerBar, 4 * m.stepsPerBeat, tempo.c_str(), imported.bellowsChanges,
      imported.notes.size() + warnings.size(), layoutName.c_str(),
      rows ? (", instrument " + rows->file + ", buttons of rows 4 and 5: " + std::to_string(beside)).c_str() : "",
      basses > 0 ? (", bass buttons: " + std::to_string(basses)).c_str() : "");
  return kOk;
}

/// The meter file beside a record ("Meter_" and the record's file name, in any letter case);
/// 4/4 a step a beat when there is none. A file that cannot be used is reported, not used.
Meter meterBeside(const fs::path& record) {
  std::error_code ec;
  const fs::path folder = record.has_parent_path() ? record.parent_path() : fs::path(".");
  const std::string wanted = meterFileName(record.filename().string());
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (!sameNameIgnoringCase(entry.path().filename().string(), wanted)) continue;
    std::string problem;
    const auto bytes = readWhole(entry.path(), problem);
    const auto meter = bytes ? parseMeter(*bytes, problem) : std::nullopt;
    if (!problem.empty())
      std::fprintf(stderr, "%s: %s; %s\n", entry.path().string().c_str(), problem.c_str(),
                   meter ? "the line is not used" : "the tablature is in 4/4, a step a beat");
    return meter.value_or(Meter{});
  }
  return {};
}

/// Why a line of a hands file is not used as it is, in English.
std::string handsProblemText(const HandsProblem& p) {
  switch (p.fault) {
    case HandsFault::Unreadable: return "cannot be read (" + p.detail + ")";
    case HandsFault::TooLarge: return "too large (" + p.detail + " bytes)";
    case HandsFault::UnknownLine: return "not a line of this file: " + p.detail;
    case HandsFault::BadFields: return "a line that cannot be read: " + p.detail;
    case HandsFault::OutsideRecord: return "an event past the record's " + p.detail + " events";
    case HandsFault::NotOnInstrument: return "a button the instrument does not have";
    case HandsFault::Twice: return "the same button as line " + p.detail;
    case HandsFault::AgainstBellows: return "against the bellows of its event (kept)";
    case HandsFault::OtherInstrument: return "written for " + p.detail + " (kept)";
    case HandsFault::RecordChanged:
      return "the record was changed without this file (saved with " + p.detail + " events)";
  }
  return {};
}

/// The record's buttons beside its file ("Hands_" and the record's name, in any letter case)
/// and the instrument they are of, found in the Notes folders as layouts are; nothing when
/// there is no such file. What cannot be used is reported and left out.
struct HandsBeside {
  RecordHands hands;
  Instrument instrument;
};

std::optional<HandsBeside> handsBeside(const fs::path& record,
                                       const std::vector<std::string>& buttonLines) {
  std::error_code ec;
  const fs::path folder = record.has_parent_path() ? record.parent_path() : fs::path(".");
  const std::string wanted = handsFileName(record.filename().string());
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (!sameNameIgnoringCase(entry.path().filename().string(), wanted)) continue;
    const std::string file = entry.path().string();
    std::string why;
    const auto bytes = readWhole(entry.path(), why);
    if (!bytes) {
      std::fprintf(stderr, "%s: %s; the record is written without its bass\n", file.c_str(),
                   why.c_str());
      return std::nullopt;
    }
    const std::string name = instrumentNamedIn(*bytes);
    auto instrument = name.empty() ? std::nullopt : readInstrument(name, record, why);
    if (!instrument) {
      std::fprintf(stderr, "%s: %s; the record is written without its bass\n", file.c_str(),
                   name.empty() ? "it names no instrument" : why.c_str());
      return std::nullopt;
    }
    const HandsContext context{buttonLines, name, trebleRowLengths(*instrument),
                               bassRowLengths(*instrument)};
    HandsRead read = readRecordHands(bytes, "", context);
    for (const HandsProblem& problem : read.problems)
      std::fprintf(stderr, "%s: line %d: %s\n", file.c_str(), problem.line,
                   handsProblemText(problem).c_str());
    return HandsBeside{std::move(read.hands), std::move(*instrument)};
  }
  return std::nullopt;
}

/// Without --part, which of several parts was taken (the first, or all `together`) and which
/// there are: the window asks, the converter says.
void sayPartsTaken(const fs::path& in, const std::vector<std::string>& labels, bool together) {
  if (labels.size() < 2) return;
  const auto joined = [](auto from, auto to) {
    std::string text;
    for (auto it = from; it != to; ++it) text += (text.empty() ? "" : "; ") + *it;
    return text;
  };
  const std::string said =
      together ? english(Text::ImportPartsTogether,
                         {std::to_string(labels.size()), joined(labels.begin(), labels.end())})
               : english(Text::ImportPartTaken,
                         {labels.front(), joined(labels.begin() + 1, labels.end())});
  std::fprintf(stderr, "%s: %s\n", in.string().c_str(), said.c_str());
}

/// A MIDI file as a record in the layout's tuning.
int midiToRecord(const fs::path& in, const fs::path& out, const std::string& layoutName,
                 const std::string& instrument, int partNumber) {
  std::string why;
  const auto bytes = readWhole(in, why);
  if (!bytes) return fail(kInput, in.string() + ": " + why);
  std::string problem;
  const auto file = readMidiFile(*bytes, problem);
  if (!file) return fail(kInput, in.string() + ": " + problem);
  // What the reader repaired or left out, said first: it may be why nothing can be imported.
  for (const auto& warning : file->warnings)
    std::fprintf(stderr, "%s: %s\n", in.string().c_str(), warning.c_str());
  const auto path = notesFile(layoutName, in);
  const auto layout = path ? readLayout(*path) : std::nullopt;
  if (!layout) return fail(kInput, "unknown note layout " + layoutName);
  const std::string layoutFileName = path->filename().string();  // also when named by tuning
  const auto parts = midiParts(*file);
  // A file of one part has no list of parts; it is part 1 all the same.
  const std::size_t partCount = parts.empty() ? (file->notes.empty() ? 0 : 1) : parts.size();
  MidiPart part;
  if (partNumber > 0) {
    if (partNumber > static_cast<int>(partCount))
      return fail(kUsage, in.string() + " has " + std::to_string(partCount) +
                              (partCount == 1 ? " part" : " parts"));
    if (!parts.empty()) part = parts[std::size_t(partNumber - 1)];
  } else {
    std::vector<std::string> labels;
    for (const auto& p : parts) labels.push_back(p.label);
    sayPartsTaken(in, labels, true);
  }
  return tuneToRecord(in, out, tuneOfMidi(*file, part, {}), *layout, layoutFileName, instrument,
                      file->warnings);
}

/// A MusicXML score's melody (of the part given, or of its first part with notes) as a record
/// in the layout's tuning.
int musicXmlToRecord(const fs::path& in, const fs::path& out, const std::string& layoutName,
                     const std::string& instrument, int partNumber) {
  std::string why;
  const auto bytes = readWhole(in, why);
  if (!bytes) return fail(kInput, in.string() + ": " + why);
  std::string problem;
  const PugiMarkupReader reader;
  const auto score = readMusicXml(*bytes, reader, problem);
  if (!score) return fail(kInput, in.string() + ": " + problem);
  const auto path = notesFile(layoutName, in);
  const auto layout = path ? readLayout(*path) : std::nullopt;
  if (!layout) return fail(kInput, "unknown note layout " + layoutName);
  const auto parts = scoreParts(*score, UiLanguage::English);
  std::string partId;
  if (partNumber > 0) {
    // A score of one part with notes has no list of parts; it is part 1 all the same.
    const std::size_t partCount = parts.empty() ? 1 : parts.size();
    if (partNumber > static_cast<int>(partCount))
      return fail(kUsage, in.string() + " has " + std::to_string(partCount) +
                              (partCount == 1 ? " part with notes" : " parts with notes"));
    if (!parts.empty()) partId = parts[std::size_t(partNumber - 1)].id;
  } else {
    std::vector<std::string> labels;
    for (const auto& p : parts) labels.push_back(p.label);
    sayPartsTaken(in, labels, false);
  }
  return tuneToRecord(in, out, tuneOfMusicXml(*score, partId), *layout,
                      path->filename().string(), instrument, {});
}

/// The layout of a tune's record when --layout is not given: the tuning of the first three
/// rows of a four- or five-row --instrument ("G-C-F" of G-C-F-B), else G-C-F.
std::string defaultLayout(const std::string& instrument, const fs::path& in) {
  const auto rows = manyRowInstrument(instrument, in);
  if (!rows) return "Notes_G-C-F.txt";
  const auto& treble = rows->instrument.treble;
  return treble[0].key + "-" + treble[1].key + "-" + treble[2].key;
}

bool isScore(const std::string& extension) {
  return extension == ".MUSICXML" || extension == ".XML" || extension == ".MXL";
}

/// A record's title as sheets and scores show it: its file's name without the list's prefix.
std::string titleOf(const fs::path& record) {
  std::string title = record.stem().string();
  for (const char* prefix : {"Records_", "Lessons_"})
    if (title.rfind(prefix, 0) == 0) title = title.substr(8);
  return title;
}

struct Arguments {
  std::vector<std::string> files;
  std::string layout;
  std::string instrument;  ///< "": the layout's tuning with 12 basses
  int part = 0;
  bool force = false;
};

/// The command line's options and files; an exit code when it is to end here (help, or an
/// option it does not take).
std::variant<Arguments, int> readArguments(int argc, char** argv) {
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsageText, stdout);
      std::fputs(kTakeUsageText, stdout);
      return kOk;
    } else if (arg == "--force") {
      args.force = true;
    } else if (arg == "--layout" || arg == "--part" || arg == "--instrument") {
      if (i + 1 == argc)
        return fail(kUsage, arg + (arg == "--layout"       ? " needs a note layout's name (A-D-G)"
                                   : arg == "--instrument" ? " needs an instrument's name (G-C-F_12-Bass)"
                                                           : " needs a part's number, from 1"));
      const std::string value = argv[++i];
      if (arg == "--layout") {
        args.layout = value;
      } else if (arg == "--instrument") {
        args.instrument = value;
      } else if (const auto number = partNumber(value)) {
        args.part = *number;
      } else {
        return fail(kUsage, "--part takes a whole number from 1, not \"" + value + "\"");
      }
    } else if (arg.rfind("-", 0) == 0 && arg.size() > 1) {
      return fail(kUsage, "unknown option " + arg + "\n" + kUsageText);
    } else {
      args.files.push_back(arg);
    }
  }
  return args;
}

/// Why nothing can be written to `out` (an exit code), or nothing: nothing is drawn or read
/// for an output that could not be written anyway.
std::optional<int> refusedOutput(const fs::path& out, bool force) {
  // What saves cut short left where the output goes is ended first: a record and its meter
  // completed or as they were, temporary files removed.
  finishInterruptedSaves(out.has_parent_path() ? out.parent_path() : fs::path("."));
  const WriteResult target = checkTarget(out);
  if (!target.ok()) return fail(kOutput, out.string() + ": " + cp1252ToUtf8(target.text(UiLanguage::English)));
  std::error_code ec;
  if (fs::exists(fs::symlink_status(out, ec)) && !force) return fail(kOutput, out.string() + " exists; --force replaces it");
  return std::nullopt;
}

/// A record to convert, with its layout.
struct RecordToConvert {
  fs::path in, out;
  RecordContent record;
  fs::path layoutPath;
  std::string layout;
};

int recordToMusicXml(const RecordToConvert& r) {
  const auto notes = readLayout(r.layoutPath);
  if (!notes) return fail(kInput, "note layout " + r.layout + " cannot be read");
  MusicXmlSettings settings;
  settings.title = utf8ToCp1252(titleOf(r.in)).value_or(titleOf(r.in));
  settings.tuning = tuningName(r.layoutPath.filename().string());
  settings.language = UiLanguage::English;
  const Meter meter = meterBeside(r.in);
  // Without a tempo of its own, the one a MIDI file of it gets.
  settings.tempoWithoutMeter = 60000 / (ExportSettings{}.intervalMs * meter.stepsPerBeat);
  const auto& lines = r.record.buttonLines;
  const auto hands = handsBeside(r.in, lines);
  const std::string error = writeWhole(
      r.out, hands ? exportRecordToMusicXml(lines, buttonNotesOf(*notes), meter, settings, hands->hands, hands->instrument)
                   : exportRecordToMusicXml(lines, buttonNotesOf(*notes), meter, settings));
  if (!error.empty()) return fail(kOutput, r.out.string() + ": " + error);
  std::printf("%s -> %s: %zu events, %d/4 in steps of 1/%d, tempo %d\n", r.in.filename().string().c_str(),
              r.out.filename().string().c_str(), lines.size(), meter.beatsPerBar, 4 * meter.stepsPerBeat,
              meter.tempo > 0 ? meter.tempo : settings.tempoWithoutMeter);
  return kOk;
}

int recordToMidi(const RecordToConvert& r) {
  const auto notes = readLayout(r.layoutPath);
  if (!notes) return fail(kInput, "note layout " + r.layout + " cannot be read");
  ExportSettings settings;
  settings.name = r.in.stem().string();
  const Meter meter = meterBeside(r.in);
  const auto& lines = r.record.buttonLines;
  const auto hands = handsBeside(r.in, lines);
  const std::string error = writeWhole(
      r.out, hands ? exportRecordToMidi(lines, buttonNotesOf(*notes), meter, settings, hands->hands, hands->instrument)
                   : exportRecordToMidi(lines, buttonNotesOf(*notes), meter, settings));
  if (!error.empty()) return fail(kOutput, r.out.string() + ": " + error);
  std::printf("%s -> %s: %zu events, %d/4 in steps of 1/%d, %s\n", r.in.filename().string().c_str(),
              r.out.filename().string().c_str(), lines.size(), meter.beatsPerBar, 4 * meter.stepsPerBeat,
              meter.tempo > 0 ? ("tempo " + std::to_string(meter.tempo)).c_str()
                              : (std::to_string(settings.intervalMs) + " ms a step").c_str());
  return kOk;
}

int recordToTablature(const RecordToConvert& r, const std::string& kind) {
  TabDocument document;
  document.title = titleOf(r.in);
  document.tuning = tuningName(r.layoutPath.filename().string());
  document.buttonLines = r.record.buttonLines;
  document.meter = meterBeside(r.in);
  document.tempo = document.meter.tempo;
  if (const auto hands = handsBeside(r.in, r.record.buttonLines)) addHands(document, hands->hands, hands->instrument);
  int pages = 0;
  const bool letter = letterPaperHere();
  const std::string error = kind == ".PDF" ? writeTabPdf(r.out.string(), document, letter, pages)
                                           : writeTabSvg(r.out.string(), document, pages);
  if (!error.empty()) return fail(kOutput, r.out.string() + ": " + error);
  std::printf("%s -> %s: %zu events, %d page%s, tuning %s, %d/4%s\n", r.in.filename().string().c_str(),
              r.out.filename().string().c_str(), r.record.buttonLines.size(), pages, pages == 1 ? "" : "s",
              document.tuning.c_str(), document.meter.beatsPerBar, kind == ".PDF" ? (letter ? ", Letter" : ", A4") : "");
  return kOk;
}

/// A record as a score, a MIDI file or Griffschrift, by the output's extension.
int convertRecord(const fs::path& in, const fs::path& out, const Arguments& args) {
  const std::string kind = extensionOf(out);
  if (args.part > 0)
    return fail(kUsage, "--part chooses a track or channel of a MIDI file or a part of a score; " + in.string() +
                            " is a record");
  if (!args.instrument.empty())
    return fail(kUsage, "--instrument chooses the bass side of an imported tune; " + in.string() +
                            " is a record, whose hands file names its own");
  if (kind != ".PDF" && kind != ".SVG" && kind != ".MID" && kind != ".MUSICXML")
    return fail(kUsage, out.string() + ": the output must end in .pdf, .svg, .mid or .musicxml");
  std::string why;
  const auto bytes = readWhole(in, why);
  if (!bytes) return fail(kInput, in.string() + ": " + why);
  RecordProblem problem;
  auto record = parseRecord(*bytes, problem);
  if (!record)
    return fail(kInput, in.string() + (problem.kind == RecordProblem::Kind::Empty
                                           ? ": the file is empty"
                                           : ": more than 200 events (line " + std::to_string(problem.line) + ")"));
  const std::string layout = args.layout.empty() ? record->layoutName : args.layout;
  const auto layoutPath = notesFile(layout, in);
  if (!layoutPath) return fail(kInput, "unknown note layout " + layout);
  if (const auto refused = refusedOutput(out, args.force)) return *refused;
  const RecordToConvert r{in, out, std::move(*record), *layoutPath, layout};
  if (kind == ".MUSICXML") return recordToMusicXml(r);
  if (kind == ".MID") return recordToMidi(r);
  return recordToTablature(r, kind);
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs fonts, not a screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  // A recording of a learner playing has a command of its own (convert_take.cpp).
  if (const auto code = convertTake(argc, argv)) return *code;

  const auto read = readArguments(argc, argv);
  if (const int* code = std::get_if<int>(&read)) return *code;
  const Arguments& args = std::get<Arguments>(read);
  if (args.files.size() != 2) return fail(kUsage, kUsageText);
  const fs::path in = args.files[0], out = args.files[1];
  const std::string kind = extensionOf(out);
  const std::string layout = args.layout.empty() ? defaultLayout(args.instrument, in) : args.layout;
  if (extensionOf(in) == ".MID" || extensionOf(in) == ".MIDI") {
    if (kind != ".TXT") return fail(kUsage, out.string() + ": a MIDI file becomes a .txt record");
    if (const auto refused = refusedOutput(out, args.force)) return *refused;
    return midiToRecord(in, out, layout, args.instrument, args.part);
  }
  if (isScore(extensionOf(in))) {
    if (kind != ".TXT") return fail(kUsage, out.string() + ": a MusicXML score becomes a .txt record");
    if (const auto refused = refusedOutput(out, args.force)) return *refused;
    return musicXmlToRecord(in, out, layout, args.instrument, args.part);
  }
  if (extensionOf(in) != ".TXT")
    return fail(kUsage, in.string() + ": only .txt records, .mid files and MusicXML scores are read");
  return convertRecord(in, out, args);
}
