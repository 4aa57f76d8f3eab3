#include "platform/working_folder.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <set>

#include "platform/disk_files.h"
#include "shell/text.h"

namespace fs = std::filesystem;

namespace tastrello {

fs::path shippedData() {
  // Relative to the program: PREFIX/bin/tastrello finds PREFIX/share/tastrello wherever the
  // prefix is; the build folder has the same shape (bin/ and a link share/tastrello).
  const fs::path beside =
      fs::path(QCoreApplication::applicationDirPath().toStdString()).parent_path() / "share" /
      "tastrello";
  std::error_code ec;
  return fs::exists(beside / "Data", ec) ? beside.lexically_normal() : fs::path();
}

fs::path shippedReedFont() {
  return (fs::path(QCoreApplication::applicationDirPath().toStdString()).parent_path() / "share" /
          "sounds" / "sf2" / "tastrello-reeds.sf2")
      .lexically_normal();
}

namespace {

// What version 1.1, which kept no list, gave every user's folder.
const char* const kFirstVersionFiles[] = {"Data/LANG_BAY.TXT",
                                          "Data/Lang_ENG.txt",
                                          "Data/Lang_SPA.txt",
                                          "Data/Lang_ger.txt",
                                          "Data/Tastrel.Ini",
                                          "Notes/Notes_G-C-F.txt",
                                          "Records/Lessons_1 C-Dur Tonleiter.txt",
                                          "Records/Lessons_2 Alle meine Entchen.txt",
                                          "Records/Lessons_3 Walzer Begleitung.txt",
                                          "Records/Lessons_4 G-Dur Tonleiter.txt",
                                          "Records/Records_Demo.txt"};

}  // namespace

bool holdsSettings(const fs::path& folder) {
  DiskFiles files(folder);
  return files.read("Data/Tastrel.Ini").has_value();
}

namespace {

FolderProblem problemOf(Text text, std::string what, std::string detail = {}) {
  return [=](UiLanguage language) { return uiText(language, text, {what, detail}); };
}

FolderProblem problemOf(Text text, std::string what, const std::error_code& ec) {
  return [=](UiLanguage language) {
    return uiText(language, text, {what, systemErrorText(ec.value(), language)});
  };
}

}  // namespace

FolderProblem seedUserFolder(const fs::path& shipped, const fs::path& target) {
  std::error_code ec;
  std::vector<std::string> shippedFiles;  // relative paths with "/"
  for (auto it = fs::recursive_directory_iterator(shipped, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_regular_file(ec))
      shippedFiles.push_back(fs::relative(it->path(), shipped, ec).generic_string());
  }
  if (ec) return problemOf(Text::MsgSeedRead, shipped.string(), ec);

  fs::create_directories(target / "Data", ec);
  if (ec) return problemOf(Text::MsgSeedCreate, target.string(), ec);
  DiskFiles files(target);
  std::set<std::string> offered;
  if (const auto list = files.read(kOfferedList)) {
    for (const auto& line : splitLines(*list)) offered.insert(line);
  } else if (holdsSettings(target)) {
    // Seeded by version 1.1, which kept no list: what it gave and is missing now was removed
    // by the user; files shipped since then are new.
    offered.insert(std::begin(kFirstVersionFiles), std::end(kFirstVersionFiles));
  }

  FolderProblem problem;
  bool grown = false;
  for (const auto& file : shippedFiles) {
    if (offered.count(file)) continue;
    const fs::path destination = target / file;
    fs::create_directories(destination.parent_path(), ec);
    if (!ec && !fs::exists(destination, ec))
      fs::copy_file(shipped / file, destination, fs::copy_options::skip_existing, ec);
    if (ec) {
      problem = problemOf(Text::MsgSeedCopy, file, ec);
      ec.clear();
      continue;  // offered again at the next start
    }
    offered.insert(file);
    grown = true;
  }
  if (grown || !files.read(kOfferedList)) {
    const std::string error = files.replace(
        kOfferedList, joinLines(std::vector<std::string>(offered.begin(), offered.end())));
    // The file writer's reason is already in the language in force: English at this time.
    if (!error.empty() && !problem) problem = problemOf(Text::MsgSeedList, kOfferedList, error);
  }
  return problem;
}

WorkingFolder chooseWorkingFolder() {
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  if (!ec && holdsSettings(here)) return {here, {}, false};

  WorkingFolder folder;
  folder.path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString();
  const fs::path shipped = shippedData();
  if (shipped.empty()) {
    folder.problem = [](UiLanguage language) { return uiText(language, Text::MsgNoShippedData); };
  } else {
    folder.firstStart = !holdsSettings(folder.path);
    folder.problem = seedUserFolder(shipped, folder.path);
    folder.firstStart = folder.firstStart && holdsSettings(folder.path);
  }
  return folder;
}

}  // namespace tastrello
