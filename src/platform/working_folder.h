// Where the program reads and writes: the current folder when it holds Data/Tastrel.Ini
// (portable use), otherwise the user's data folder, seeded from the shipped data.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "shell/ui_texts.h"

namespace tastrello {

/// What could not be prepared, worded in the language asked: the folder is chosen before the
/// settings say which language the learner reads. Empty when all went well.
using FolderProblem = std::function<std::string(UiLanguage)>;

struct WorkingFolder {
  std::filesystem::path path;
  FolderProblem problem;
  bool firstStart = false;  ///< the folder was made now, for a learner's first start
};

WorkingFolder chooseWorkingFolder();

/// The shipped data folder (with Data/, Notes/ and Records/): share/tastrello beside the
/// program's bin/ folder, installed or in the build folder; empty when there is none.
std::filesystem::path shippedData();

/// The program's reed SoundFont: share/sounds/sf2/tastrello-reeds.sf2 beside the program's
/// bin/ folder, installed or in the build folder (where the build synthesizes it).
std::filesystem::path shippedReedFont();

/// Whether `folder` holds a settings file Data/Tastrel.Ini (names in any letter case).
bool holdsSettings(const std::filesystem::path& folder);

/// The list of shipped files the user's folder was once given, one path a line.
inline const std::string kOfferedList = "Data/Offered.txt";

/// Gives `target` each file of `shipped` that it was never given before, and never
/// overwrites: a file the user removed stays removed. The files given are listed in
/// `target`/Data/Offered.txt. A folder seeded by version 1.1 (no list) is taken to have been
/// given what 1.1 shipped. Returns nothing or what went wrong.
FolderProblem seedUserFolder(const std::filesystem::path& shipped,
                             const std::filesystem::path& target);

}  // namespace tastrello
