#include "platform/working_folder.h"

#include <QCoreApplication>
#include <QStandardPaths>

namespace fs = std::filesystem;

namespace tastrello {

namespace {

fs::path shippedData() {
  const fs::path beside =
      fs::path(QCoreApplication::applicationDirPath().toStdString()) / ".." / "share" / "tastrello";
  std::error_code ec;
  for (const fs::path& candidate :
       {fs::path(TASTRELLO_INSTALL_DATA), beside, fs::path(TASTRELLO_SOURCE_DATA)}) {
    if (fs::exists(candidate / "Data", ec)) return candidate;
  }
  return {};
}

}  // namespace

std::string copyMissingFiles(const fs::path& shipped, const fs::path& target) {
  std::error_code ec;
  fs::create_directories(target, ec);
  if (ec) return "cannot create " + target.string() + ": " + ec.message();
  for (auto it = fs::recursive_directory_iterator(shipped, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const fs::path destination = target / fs::relative(it->path(), shipped, ec);
    if (it->is_directory(ec)) {
      fs::create_directories(destination, ec);
    } else if (!fs::exists(destination, ec)) {
      fs::copy_file(it->path(), destination, fs::copy_options::skip_existing, ec);
    }
    if (ec) return "cannot copy " + it->path().filename().string() + ": " + ec.message();
  }
  return ec ? "cannot read " + shipped.string() + ": " + ec.message() : std::string();
}

WorkingFolder chooseWorkingFolder() {
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  if (!ec && fs::exists(here / "Data" / "Tastrel.Ini", ec)) return {here, {}};

  WorkingFolder folder;
  folder.path = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString();
  const fs::path shipped = shippedData();
  if (shipped.empty()) {
    folder.problem = "The shipped data folder was not found.";
  } else {
    folder.problem = copyMissingFiles(shipped, folder.path);
  }
  return folder;
}

}  // namespace tastrello
