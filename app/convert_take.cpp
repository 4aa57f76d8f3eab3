// tastrello-convert TAKE --against LESSON.txt [--tempo BPM] [--layout NAME]
//   judges a take against a lesson: one line per event of the lesson (its number, right, wrong
//   direction, wrong notes with the pitches missing and extra as the layout names them, missed
//   or rest, and for a chord heard its onset's deviation from its place in ms; the first chord
//   heard fixes where the lesson begins).
// tastrello-convert TAKE OUT.txt [--layout NAME] [--tempo BPM] [--force]
//   writes what is heard as a record: chords with their buttons and bellows (the import's
//   fingering search), on the grid the import chooses, the meter beside it.
// TAKE is a WAV, FLAC or Ogg file. Exit 0 when the take could be judged or written; a clear
// message and a non-zero exit when a file cannot be read or written.
#include "convert_take.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "exchange/midi_lesson.h"
#include "listen/takes.h"
#include "platform/disk_files.h"
#include "platform/sound_file.h"
#include "platform/working_folder.h"
#include "records/meter.h"
#include "records/record_format.h"
#include "shell/text.h"

namespace fs = std::filesystem;
using namespace tastrello;

const char* const kTakeUsageText =
    "       tastrello-convert TAKE.wav|TAKE.flac|TAKE.ogg --against LESSON.txt [--tempo BPM]\n"
    "       tastrello-convert TAKE.wav|TAKE.flac|TAKE.ogg OUT.txt [--layout NAME] [--tempo BPM] "
    "[--force]\n"
    "  --against L    judge the take against the lesson L, one line per event\n"
    "  --tempo BPM    beats a minute the take was played at (a lesson: its meter file's tempo,\n"
    "                 else 550 ms a step; a record: the commonest distance between chords)\n";

namespace {

enum Exit { kOk = 0, kUsage = 1, kInput = 2, kOutput = 3 };

/// The program's replay without a tempo of its own steps this often.
constexpr double kDefaultStepSeconds = 0.55;

int fail(int code, const std::string& message) {
  std::fprintf(stderr, "tastrello-convert: %s\n", message.c_str());
  return code;
}

bool isTakeFile(const fs::path& path) {
  const std::string ext = upper(path.extension().string());
  return ext == ".WAV" || ext == ".FLAC" || ext == ".OGG";
}

struct Arguments {
  std::vector<std::string> files;
  std::string against, layout;
  double tempo = 0;
  bool force = false;
};

std::optional<double> tempoValue(const std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 20 || value > 300)
    return std::nullopt;
  return value;
}

/// The arguments, or the exit code of a usage error (said).
std::variant<Arguments, int> parse(int argc, char** argv) {
  Arguments a;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--force") {
      a.force = true;
    } else if (arg == "--against" || arg == "--layout" || arg == "--tempo") {
      if (i + 1 == argc) return fail(kUsage, arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--against") a.against = value;
      if (arg == "--layout") a.layout = value;
      if (arg == "--tempo") {
        const auto tempo = tempoValue(value);
        if (!tempo) return fail(kUsage, "--tempo takes beats a minute from 20 to 300, not \"" + value + "\"");
        a.tempo = *tempo;
      }
    } else if (arg.rfind("-", 0) == 0 && arg.size() > 1) {
      return fail(kUsage, "unknown option " + arg + " for a take");
    } else {
      a.files.push_back(arg);
    }
  }
  return a;
}

std::optional<std::string> readText(const fs::path& path, std::string& why) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) {
    why = fs::exists(path, ec) ? "not a plain file" : "no such file";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in && !in.eof()) {
    why = "cannot be read";
    return std::nullopt;
  }
  return bytes.str();
}

/// A layout by its file name or its tuning's name, looked for beside the lesson (its folder's
/// ../Notes) and in the shipped data, as the converter's other commands look for it.
std::optional<std::pair<std::string, NoteLayout>> layoutNamed(const std::string& name, const fs::path& near) {
  for (const std::string& file : {name, "Notes_" + name + ".txt"}) {
    if (!isSafeFileName(file)) continue;
    std::error_code ec;
    for (const fs::path& folder : {near.parent_path() / ".." / "Notes", shippedData() / "Notes"})
      for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (!sameNameIgnoringCase(entry.path().filename().string(), file)) continue;
        std::string why;
        const auto bytes = readText(entry.path(), why);
        std::size_t lines = 0;
        if (const auto layout = bytes ? parseNoteLayout(*bytes, lines) : std::nullopt)
          return std::pair{entry.path().filename().string(), *layout};
      }
  }
  return std::nullopt;
}

std::array<std::string, kKeyCount> captionsOf(const NoteLayout& layout) {
  std::array<std::string, kKeyCount> captions;
  for (int b = 0; b < kKeyCount; ++b) captions[std::size_t(b)] = layout.captions[std::size_t(b)].value_or("-");
  return captions;
}

/// Everything heard in the take, with no chord expected.
std::vector<listen::Heard> listenTo(const SoundFileContent& take, const listen::PitchSpace& space) {
  listen::Listener listener(take.sampleRate, space);
  std::vector<listen::Heard> heard;
  for (std::size_t at = 0; at < take.samples.size(); at += 4096) {
    listener.feed(take.samples.data() + at, std::min<std::size_t>(4096, take.samples.size() - at));
    for (auto& h : listener.take()) heard.push_back(std::move(h));
  }
  // A second of silence lets the last chord end.
  const std::vector<float> silence(static_cast<std::size_t>(take.sampleRate), 0.0f);
  listener.feed(silence.data(), silence.size());
  for (auto& h : listener.take()) heard.push_back(std::move(h));
  return heard;
}

/// The meter beside a record ("Meter_" and its file name), 4/4 a step a beat when there is none.
Meter meterBeside(const fs::path& record) {
  std::error_code ec;
  const std::string wanted = meterFileName(record.filename().string());
  for (const auto& entry : fs::directory_iterator(record.has_parent_path() ? record.parent_path() : ".", ec)) {
    if (!sameNameIgnoringCase(entry.path().filename().string(), wanted)) continue;
    std::string why, problem;
    const auto bytes = readText(entry.path(), why);
    if (const auto meter = bytes ? parseMeter(*bytes, problem) : std::nullopt) return *meter;
  }
  return {};
}

std::string verdictLine(const listen::LessonVerdict& v, const ButtonNotes& notes,
                        const std::array<std::string, kKeyCount>& captions) {
  using Kind = listen::LessonVerdict::Kind;
  auto names = [&](const std::vector<int>& pitches) {
    std::string s;
    for (int p : pitches) s += (s.empty() ? "" : " ") + cp1252ToUtf8(pitchName(p, notes, captions));
    return s;
  };
  std::string line = std::to_string(v.event) + "  ";
  switch (v.kind) {
    case Kind::Right: line += "right"; break;
    case Kind::WrongDirection: line += "wrong direction"; break;
    case Kind::WrongNotes:
      line += "wrong notes";
      if (!v.missing.empty()) line += ", missing " + names(v.missing);
      if (!v.extra.empty()) line += ", extra " + names(v.extra);
      break;
    case Kind::Missed: line += "missed"; break;
    case Kind::Rest: line += "rest"; break;
  }
  if (v.deviationMs) {
    char ms[32];
    std::snprintf(ms, sizeof ms, "  %+.0f ms", *v.deviationMs);
    line += ms;
  }
  return line;
}

int judgeAgainstLesson(const fs::path& takePath, const SoundFileContent& take, const Arguments& a) {
  std::string why;
  const fs::path lessonPath = a.against;
  const auto bytes = readText(lessonPath, why);
  if (!bytes) return fail(kInput, lessonPath.string() + ": " + why);
  RecordProblem problem;
  const auto lesson = parseRecord(*bytes, problem);
  if (!lesson) return fail(kInput, lessonPath.string() + ": not a lesson the program can read");
  const auto layout = layoutNamed(a.layout.empty() ? lesson->layoutName : a.layout, lessonPath);
  if (!layout) return fail(kInput, "unknown note layout " + (a.layout.empty() ? lesson->layoutName : a.layout));
  const Meter meter = meterBeside(lessonPath);
  const double bpm = a.tempo > 0 ? a.tempo : meter.tempo;
  const double secondsPerStep = bpm > 0 ? 60 / (bpm * std::max(1, meter.stepsPerBeat)) : kDefaultStepSeconds;
  const ButtonNotes notes = buttonNotesOf(layout->second);
  const auto space = listen::pitchSpaceOf(notes);
  const auto result = listen::judgeTake(listenTo(take, space), lesson->buttonLines, notes, space,
                                        take.sampleRate, secondsPerStep);
  const auto captions = captionsOf(layout->second);
  for (const auto& v : result.events) std::printf("%s\n", verdictLine(v, notes, captions).c_str());
  std::printf("%s against %s: %zu events, %.0f ms a step, %d chord%s heard away from every event\n",
              takePath.filename().string().c_str(), lessonPath.filename().string().c_str(),
              result.events.size(), secondsPerStep * 1000, result.unplaced, result.unplaced == 1 ? "" : "s");
  return kOk;
}

int writeAsRecord(const fs::path& takePath, const SoundFileContent& take, const fs::path& out, const Arguments& a) {
  const WriteResult target = checkTarget(out);
  if (!target.ok()) return fail(kOutput, out.string() + ": " + cp1252ToUtf8(target.text(UiLanguage::English)));
  std::error_code ec;
  if (fs::exists(fs::symlink_status(out, ec)) && !a.force) return fail(kOutput, out.string() + " exists; --force replaces it");
  const auto layout = layoutNamed(a.layout.empty() ? "Notes_G-C-F.txt" : a.layout, out);
  if (!layout) return fail(kInput, "unknown note layout " + a.layout);
  const ButtonNotes notes = buttonNotesOf(layout->second);
  const auto heard = listenTo(take, listen::pitchSpaceOf(notes));
  const double bpm = a.tempo > 0 ? a.tempo : listen::tempoOfTake(heard, take.sampleRate).value_or(60000 / (kDefaultStepSeconds * 1000));
  ImportOptions options;
  options.captions = captionsOf(layout->second);
  const ImportResult imported = importTune(listen::tuneOfTake(heard, take.sampleRate, bpm), notes, options);
  if (std::none_of(imported.events.begin(), imported.events.end(), [](const ImportedEvent& e) { return !e.buttons.empty(); }))
    return fail(kInput, takePath.string() + ": no chord heard that the layout's buttons play");
  RecordContent record{utf8ToCp1252(layout->first).value_or(layout->first), {}, {}};
  for (const auto& event : imported.events) {
    const auto [buttonLine, nameLine] = event.buttons.empty()
                                            ? std::pair{buttonLineOf(event), buttonLineOf(event)}
                                            : eventLines(event.buttons, options.captions);
    record.buttonLines.push_back(buttonLine);
    record.nameLines.push_back(nameLine);
  }
  WriteResult written = writeFileAtomically(out, formatRecord(record));
  if (written.ok()) written = writeFileAtomically(out.parent_path() / meterFileName(out.filename().string()), formatMeter(imported.meter));
  if (!written.ok()) return fail(kOutput, out.string() + ": " + cp1252ToUtf8(written.text(UiLanguage::English)));
  for (const auto& note : imported.notes)
    std::fprintf(stderr, "%s: %s\n", takePath.string().c_str(), describe(note, UiLanguage::English).c_str());
  std::printf("%s -> %s: events: %zu, %d/4 in steps of 1/%d, tempo %d, bellows changes: %d, layout %s\n",
              takePath.filename().string().c_str(), out.filename().string().c_str(), imported.events.size(),
              imported.meter.beatsPerBar, 4 * imported.meter.stepsPerBeat, imported.meter.tempo,
              imported.bellowsChanges, layout->first.c_str());
  return kOk;
}

/// The first file named, past the options and their values.
std::optional<std::string> firstFile(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--against" || arg == "--layout" || arg == "--tempo" || arg == "--part") {
      ++i;
    } else if (arg.rfind("-", 0) != 0 || arg.size() == 1) {
      return arg;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<int> convertTake(int argc, char** argv) {
  if (const auto first = firstFile(argc, argv); !first || !isTakeFile(*first)) return std::nullopt;
  const auto parsed = parse(argc, argv);
  if (const int* code = std::get_if<int>(&parsed)) return *code;
  const Arguments& a = std::get<Arguments>(parsed);
  const fs::path takePath = a.files.front();
  if (a.against.empty() == (a.files.size() == 1)) {
    return fail(kUsage, "a take is judged against a lesson (--against LESSON.txt) or written to OUT.txt, one of the two\n" +
                            std::string(kTakeUsageText));
  }
  if (a.files.size() > 2) return fail(kUsage, std::string("too many files\n") + kTakeUsageText);
  std::string why;
  const auto take = readSoundFile(takePath, why);
  if (!take) return fail(kInput, takePath.string() + ": " + why);
  if (!a.against.empty()) return judgeAgainstLesson(takePath, *take, a);
  const fs::path out = a.files[1];
  if (upper(out.extension().string()) != ".TXT") return fail(kUsage, out.string() + ": a take becomes a .txt record");
  return writeAsRecord(takePath, *take, out, a);
}
