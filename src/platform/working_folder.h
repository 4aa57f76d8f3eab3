// Where the program reads and writes: the current folder when it holds Data/Tastrel.Ini
// (portable use), otherwise the user's data folder, filled from the shipped data first.
#pragma once

#include <filesystem>
#include <string>

namespace tastrello {

struct WorkingFolder {
  std::filesystem::path path;
  std::string problem;  ///< what could not be prepared, or ""
};

WorkingFolder chooseWorkingFolder();

/// Copies every file of `shipped` below `target` that `target` lacks; never overwrites.
/// Returns "" or what went wrong.
std::string copyMissingFiles(const std::filesystem::path& shipped,
                             const std::filesystem::path& target);

}  // namespace tastrello
