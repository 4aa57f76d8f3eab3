// The settings file "Data/Tastrel.Ini": key lines each followed by its value line, and the 128
// instrument names after "MIDI-LIST:". It is read whole at the start and rewritten whole
// whenever a value changes; lines it does not know stay as they are, and keys an older reader
// ignores hold the learner's own choices.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "shell/services.h"
#include "shell/status_reports.h"

namespace tastrello {

using Setting = std::pair<std::string, std::string>;  ///< a key line and its value line

class SettingsStore {
 public:
  static constexpr int kInstrumentCount = 128;

  /// `path` is the file's place in the working folder.
  SettingsStore(Files* files, std::string path) { bind(files, std::move(path)); }
  /// Works from now on with these files and this path (the window's own, after a copy of the
  /// window or a new working folder); the choices stored stay.
  void bind(Files* files, std::string path) {
    files_ = files;
    path_ = std::move(path);
  }

  /// What the file says. A problem is made in a language: the file's own LANGUAGE: decides
  /// which, and that is known only once the whole file is read.
  struct Reading {
    std::vector<Setting> values;  ///< every key with its value line, in the file's order
    /// The names of instruments 1 to 128 (slot 0 empty); the names the file does not reach are
    /// empty.
    std::array<std::string, kInstrumentCount + 1> instruments;
    int instrumentsListed = 0;  ///< how many names the list held (it may stop short)
    std::vector<std::function<std::string(UiLanguage)>> problems;
    /// The value the key was given last in the file; nothing when it has no value line.
    std::optional<std::string> last(const std::string& key) const;
  };
  /// Reads the file; a file that cannot be read, or that is far too large for one, gives no
  /// values and is reported to `status` at once, in the language in force.
  Reading read(StatusReports& status);

  /// Gives each key its value in one rewrite: every occurrence of a key, a key on the last line
  /// its value after it, a missing key added at the top (where no list can swallow it). What
  /// cannot be written is reported to `status`, and the file stays as it was.
  void write(const std::vector<Setting>& values, StatusReports& status);

  /// The learner's choices that come back after a restart: which keys they are.
  static bool isChoiceKey(const std::string& key);
  /// Stores those of `choices` that changed since they were last stored (or read).
  void remember(const std::vector<Setting>& choices, StatusReports& status);
  /// Takes `choices` as the ones stored, without writing them.
  void rememberAsStored(std::vector<Setting> choices) { stored_ = std::move(choices); }
  /// The value a choice key had in the file (its last), or nothing.
  std::optional<std::string> storedChoice(const std::string& key) const;

  const std::string& path() const { return path_; }

 private:
  /// The file's bytes, or why there are none: it cannot be read, or it is far too large for a
  /// settings file.
  struct FileRead {
    std::optional<std::string> bytes;
    bool tooLarge = false;
    std::string why;  ///< what the files said ("": nothing is there)
  };
  FileRead readFile();
  /// Says that the file could not be read, with the reason, as `message` words it.
  void reportUnread(const FileRead& file, Text message, StatusReports& status) const;

  Files* files_ = nullptr;
  std::string path_;
  std::vector<Setting> stored_;  ///< the choices as read from the file, then as last stored
};

}  // namespace tastrello
