// tastrello-convert IN OUT [--layout NAME] [--part N] [--force]: a record or lesson file as
// tablature or as a MIDI file, or a MIDI file as a record. Formats by extension: .txt in and
// .pdf, .svg or .mid out; or .mid in and .txt out. One summary line on success; on any
// problem a clear message and a non-zero exit, and never a partial output file.
#include <QGuiApplication>
#include <QSaveFile>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "exchange/midi_lesson.h"
#include "platform/tablature_render.h"
#include "platform/working_folder.h"
#include "records/meter.h"
#include "records/record_format.h"
#include "shell/text.h"

namespace fs = std::filesystem;
using namespace tastrello;

namespace {

enum Exit { kOk = 0, kUsage = 1, kInput = 2, kOutput = 3 };

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "tastrello-convert: %s\n", message.c_str());
  return code;
}

std::string extensionOf(const fs::path& path) {
  return upper(path.extension().string());
}

/// The note layout's file in the folders a record's layout is looked for in.
std::optional<fs::path> layoutFile(const std::string& name, const fs::path& input) {
  if (!isSafeFileName(name)) return std::nullopt;
  std::error_code ec;
  for (const fs::path& folder : {input.parent_path() / ".." / "Notes", shippedData() / "Notes"}) {
    for (const auto& entry : fs::directory_iterator(folder, ec))
      if (sameNameIgnoringCase(entry.path().filename().string(), name)) return entry.path();
  }
  return std::nullopt;
}

/// A plain file's bytes; nothing for anything else, or for more than 16 MB (no record, layout
/// or tune is that large).
std::optional<std::string> readWhole(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > (16u << 20) || ec)
    return std::nullopt;
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  if (!file) return std::nullopt;
  return bytes.str();
}

std::optional<NoteLayout> readLayout(const fs::path& path) {
  const auto bytes = readWhole(path);
  std::size_t lines = 0;
  return bytes ? parseNoteLayout(*bytes, lines) : std::nullopt;
}

/// Writes all of `bytes` or nothing: through a temporary file beside it and a rename.
std::string writeWhole(const fs::path& path, const std::string& bytes) {
  // As the tablature is written: QSaveFile replaces the file only once it is complete.
  QSaveFile file(QString::fromStdString(path.string()));
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !file.commit())
    return file.errorString().toStdString();
  return {};
}

/// The meter file beside a record ("Meter_" and the record's file name, in any letter case);
/// 4/4 a step a beat when there is none. A file that cannot be used is reported, not used.
Meter meterBeside(const fs::path& record) {
  std::error_code ec;
  const fs::path folder = record.has_parent_path() ? record.parent_path() : fs::path(".");
  const std::string wanted = meterFileName(record.filename().string());
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    if (!sameNameIgnoringCase(entry.path().filename().string(), wanted)) continue;
    const auto bytes = readWhole(entry.path());
    std::string problem = "cannot be read";
    if (const auto meter = bytes ? parseMeter(*bytes, problem) : std::nullopt) return *meter;
    std::fprintf(stderr, "%s: %s; the tablature is in 4/4, a step a beat\n",
                 entry.path().string().c_str(), problem.c_str());
    break;
  }
  return {};
}

/// A MIDI file as a record in the layout's tuning.
int midiToRecord(const fs::path& in, const fs::path& out, const std::string& layoutName,
                 int partNumber) {
  const auto bytes = readWhole(in);
  if (!bytes) return fail(kInput, in.string() + ": no such file, or it cannot be read");
  std::string problem;
  const auto file = readMidiFile(*bytes, problem);
  if (!file) return fail(kInput, in.string() + ": " + problem);
  const auto path = layoutFile(layoutName, in);
  const auto layout = path ? readLayout(*path) : std::nullopt;
  if (!layout) return fail(kInput, "unknown note layout " + layoutName);
  const auto parts = midiParts(*file);
  MidiPart part;
  if (partNumber > 0) {
    if (partNumber > static_cast<int>(parts.size()))
      return fail(kUsage, in.string() + " has " + std::to_string(parts.size()) + " parts");
    part = parts[std::size_t(partNumber - 1)];
  }
  const ImportResult imported = importMidi(*file, part, buttonNotesOf(*layout));
  if (imported.events.empty()) return fail(kInput, in.string() + ": no note has a button");
  std::array<std::string, kKeyCount> captions;
  for (int b = 0; b < kKeyCount; ++b)
    captions[std::size_t(b)] = layout->captions[std::size_t(b)].value_or("-");
  RecordContent record{layoutName, {}, {}};
  for (const auto& event : imported.events) {
    const auto [buttonLine, nameLine] =
        event.buttons.empty() ? std::pair<std::string, std::string>{kBreakMute, kBreakMute}
                              : eventLines(event.buttons, captions);
    record.buttonLines.push_back(buttonLine);
    record.nameLines.push_back(nameLine);
  }
  const std::string error = writeWhole(out, formatRecord(record));
  if (!error.empty()) return fail(kOutput, out.string() + ": " + error);
  for (const auto& warning : file->warnings)
    std::fprintf(stderr, "%s: %s\n", in.string().c_str(), warning.c_str());
  for (const auto& why : imported.problems)
    std::fprintf(stderr, "%s: %s\n", in.string().c_str(), why.c_str());
  std::printf("%s -> %s: %zu events, %d bellows changes, %zu notes on the way, layout %s\n",
              in.filename().string().c_str(), out.filename().string().c_str(),
              imported.events.size(), imported.bellowsChanges,
              imported.problems.size() + file->warnings.size(), layoutName.c_str());
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs fonts, not a screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  std::vector<std::string> files;
  std::string layout;
  int part = 0;
  bool force = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--force") {
      force = true;
    } else if (arg == "--layout" && i + 1 < argc) {
      layout = argv[++i];
    } else if (arg == "--part" && i + 1 < argc) {
      part = std::atoi(argv[++i]);
      if (part < 1) return fail(kUsage, "--part takes a number from 1");
    } else if (arg.rfind("--", 0) == 0) {
      return fail(kUsage, "unknown option " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2)
    return fail(kUsage,
                "usage: tastrello-convert IN.txt OUT.pdf|OUT.svg|OUT.mid [--layout NAME] "
                "[--force]\n       tastrello-convert IN.mid OUT.txt [--layout NAME] [--part N] "
                "[--force]");
  const fs::path in = files[0], out = files[1];
  const std::string kind = extensionOf(out);
  std::error_code ec;
  if (extensionOf(in) == ".MID" || extensionOf(in) == ".MIDI") {
    if (kind != ".TXT") return fail(kUsage, out.string() + ": a MIDI file becomes a .txt record");
    if (fs::exists(out, ec) && !force)
      return fail(kOutput, out.string() + " exists; --force replaces it");
    return midiToRecord(in, out, layout.empty() ? "Notes_G-C-F.txt" : layout, part);
  }
  if (extensionOf(in) != ".TXT")
    return fail(kUsage, in.string() + ": only .txt records and .mid files are read");
  if (kind != ".PDF" && kind != ".SVG" && kind != ".MID")
    return fail(kUsage, out.string() + ": the output must end in .pdf, .svg or .mid");

  if (!fs::is_regular_file(in, ec)) return fail(kInput, in.string() + ": no such file");
  std::ifstream file(in, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  if (!file) return fail(kInput, in.string() + ": cannot be read");
  RecordProblem problem;
  const auto record = parseRecord(bytes.str(), problem);
  if (!record) {
    return fail(kInput, in.string() + (problem.kind == RecordProblem::Kind::Empty
                                           ? ": the file is empty"
                                           : ": more than 200 events (line " +
                                                 std::to_string(problem.line) + ")"));
  }
  if (layout.empty()) layout = record->layoutName;
  const auto layoutPath = layoutFile(layout, in);
  if (!layoutPath) return fail(kInput, "unknown note layout " + layout);
  if (fs::exists(out, ec) && !force)
    return fail(kOutput, out.string() + " exists; --force replaces it");
  if (kind == ".MID") {
    const auto notes = readLayout(*layoutPath);
    if (!notes) return fail(kInput, "note layout " + layout + " cannot be read");
    ExportSettings settings;
    settings.name = in.stem().string();
    const std::string error =
        writeWhole(out, exportRecordToMidi(record->buttonLines, buttonNotesOf(*notes), settings));
    if (!error.empty()) return fail(kOutput, out.string() + ": " + error);
    std::printf("%s -> %s: %zu events, %d ms a beat\n", in.filename().string().c_str(),
                out.filename().string().c_str(), record->buttonLines.size(), settings.intervalMs);
    return kOk;
  }

  TabDocument document;
  document.title = in.stem().string();
  for (const char* prefix : {"Records_", "Lessons_"})
    if (document.title.rfind(prefix, 0) == 0) document.title = document.title.substr(8);
  document.tuning = tuningName(layout);
  document.buttonLines = record->buttonLines;
  document.meter = meterBeside(in);
  document.tempo = document.meter.tempo;
  int pages = 0;
  const bool letter = letterPaperHere();
  const std::string error = kind == ".PDF" ? writeTabPdf(out.string(), document, letter, pages)
                                           : writeTabSvg(out.string(), document, pages);
  if (!error.empty()) return fail(kOutput, out.string() + ": " + error);
  std::printf("%s -> %s: %zu events, %d page%s, tuning %s, %d/4%s\n",
              in.filename().string().c_str(), out.filename().string().c_str(),
              record->buttonLines.size(), pages, pages == 1 ? "" : "s", document.tuning.c_str(),
              document.meter.beatsPerBar, kind == ".PDF" ? (letter ? ", Letter" : ", A4") : "");
  return kOk;
}
