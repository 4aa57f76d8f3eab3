// tastrello-convert IN OUT [--layout NAME] [--force]: a record or lesson file as tablature.
// Formats by extension: .txt in; .pdf or .svg out. One summary line on success; on any
// problem a clear message and a non-zero exit, and never a partial output file.
#include <QGuiApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/tablature_render.h"
#include "platform/working_folder.h"
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
bool layoutExists(const std::string& name, const fs::path& input) {
  if (!isSafeFileName(name)) return false;
  std::error_code ec;
  for (const fs::path& folder : {input.parent_path() / ".." / "Notes", shippedData() / "Notes"}) {
    for (const auto& entry : fs::directory_iterator(folder, ec))
      if (sameNameIgnoringCase(entry.path().filename().string(), name)) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Drawing needs fonts, not a screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);

  std::vector<std::string> files;
  std::string layout;
  bool force = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--force") {
      force = true;
    } else if (arg == "--layout" && i + 1 < argc) {
      layout = argv[++i];
    } else if (arg.rfind("--", 0) == 0) {
      return fail(kUsage, "unknown option " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 2)
    return fail(kUsage,
                "usage: tastrello-convert IN.txt OUT.pdf|OUT.svg [--layout NAME] [--force]");
  const fs::path in = files[0], out = files[1];
  if (extensionOf(in) != ".TXT") return fail(kUsage, in.string() + ": only .txt records are read");
  const std::string kind = extensionOf(out);
  if (kind != ".PDF" && kind != ".SVG")
    return fail(kUsage, out.string() + ": the output must end in .pdf or .svg");

  std::error_code ec;
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
  if (!layoutExists(layout, in)) return fail(kInput, "unknown note layout " + layout);
  if (fs::exists(out, ec) && !force)
    return fail(kOutput, out.string() + " exists; --force replaces it");

  TabDocument document;
  document.title = in.stem().string();
  for (const char* prefix : {"Records_", "Lessons_"})
    if (document.title.rfind(prefix, 0) == 0) document.title = document.title.substr(8);
  document.tuning = tuningName(layout);
  document.buttonLines = record->buttonLines;
  int pages = 0;
  const bool letter = letterPaperHere();
  const std::string error = kind == ".PDF" ? writeTabPdf(out.string(), document, letter, pages)
                                           : writeTabSvg(out.string(), document, pages);
  if (!error.empty()) return fail(kOutput, out.string() + ": " + error);
  std::printf("%s -> %s: %zu events, %d page%s, tuning %s%s\n", in.filename().string().c_str(),
              out.filename().string().c_str(), record->buttonLines.size(), pages,
              pages == 1 ? "" : "s", document.tuning.c_str(),
              kind == ".PDF" ? (letter ? ", Letter" : ", A4") : "");
  return kOk;
}
