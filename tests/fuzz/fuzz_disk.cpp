// The disk code's handling of names, on a real folder: whatever path the logic asks for,
// nothing outside the working folder is read, made or changed; a save reads back; no
// temporary file is listed; the cleanup never stops and never removes a user's file.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "fuzz_support.h"
#include "platform/disk_files.h"

using namespace tastrello;
using namespace tastrello::fuzz;
namespace fs = std::filesystem;

namespace {

struct Sandbox {
  Sandbox() {
    base = fs::temp_directory_path() / ("tastrello-fuzz-disk-" + std::to_string(::getpid()));
    root = base / "work";
    outside = base / "outside";
    fs::create_directories(outside);
    std::ofstream(outside / "secret.txt") << "secret";
  }
  ~Sandbox() { fs::remove_all(base); }
  /// The working folder as a new start finds it: the three folders and a user file in each.
  void reset() {
    fs::remove_all(root);
    for (const char* dir : {"Data", "Records", "Notes"}) {
      fs::create_directories(root / dir);
      std::ofstream(root / dir / "User.txt") << "mine";
    }
  }
  /// Every file below `dir` with its size, to see what changed.
  static std::vector<std::pair<std::string, std::uintmax_t>> snapshot(const fs::path& dir) {
    std::vector<std::pair<std::string, std::uintmax_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
      files.emplace_back(entry.path().string(),
                         entry.is_regular_file() ? entry.file_size() : std::uintmax_t{0});
    std::sort(files.begin(), files.end());
    return files;
  }
  fs::path base, root, outside;
};

bool inside(const fs::path& root, const fs::path& path) {
  const auto relative = path.lexically_normal().lexically_relative(root);
  return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Sandbox sandbox;
  sandbox.reset();
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto newline = input.find('\n');
  const std::string path = input.substr(0, std::min<std::size_t>(newline, 300));
  const std::string bytes =
      newline == std::string::npos ? std::string() : input.substr(newline + 1);
  const auto outsideBefore = Sandbox::snapshot(sandbox.base / "outside");
  const auto baseBefore = std::distance(fs::directory_iterator(sandbox.base), {});

  DiskFiles files(sandbox.root);
  if (const auto resolved = files.resolve(path)) {
    check(path.find('\0') == std::string::npos);
    check(inside(sandbox.root, *resolved) || *resolved == sandbox.root);
  }
  files.read(path);
  if (files.replace(path, bytes).empty()) {
    const auto back = files.read(path);
    check(back && *back == bytes);
  }
  if (const auto names = files.list(path)) {
    for (const auto& name : *names) check(name.rfind(".~tastrello-", 0) != 0);
  }
  files.finishInterruptedSaves(path);
  for (const char* dir : {"Data", "Records", "Notes"})
    check(fs::exists(sandbox.root / dir / "User.txt"));
  // The logic's test for a safe relative path keeps a path inside its folder.
  if (isSafeRelativePath(path)) check(inside(sandbox.root, sandbox.root / path));

  check(Sandbox::snapshot(sandbox.base / "outside") == outsideBefore);
  check(std::distance(fs::directory_iterator(sandbox.base), {}) == baseBefore);
  return 0;
}
