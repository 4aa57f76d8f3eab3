// A MIDI output that writes one line per event to a file: milliseconds since the program
// started, then "OPEN", "CLOSE" or the message word in hexadecimal ("000015C0").
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string_view>

#include "shell/services.h"
#include "shell/ui_texts.h"

namespace tastrello {

/// Whether a file name is one the program reads or writes as its own (the settings, language
/// files, note layouts, records and lessons, practice histories, meter files, the key map, the
/// list of shipped files, a save's temporary file), in any letter case. A log must never be one.
bool isOwnFileName(std::string_view fileName);

class LogPort : public MidiPort {
 public:
  using Clock = std::chrono::steady_clock;
  /// The log `name` ("logs/midi.log") below the working folder `root`. It is appended to and
  /// only ever a plain file of its own: no link anywhere on its path below `root`, no pipe or
  /// device, no second name of another file. Reasons are given in `language` (English when
  /// none is given).
  LogPort(std::filesystem::path root, std::string name, Clock::time_point start,
          std::function<UiLanguage()> language = {});
  /// The log `file` in the folder that holds it.
  LogPort(const std::filesystem::path& file, Clock::time_point start)
      : LogPort(file.parent_path(), file.filename().string(), start) {}
  ~LogPort() override;
  LogPort(const LogPort&) = delete;
  LogPort& operator=(const LogPort&) = delete;

  int open(int deviceId, std::uint32_t& handle) override;
  /// Writes each message when it is sent: a log takes no time stamps.
  int send(std::uint32_t handle, std::uint32_t word, SoundTime at) override;
  int close(std::uint32_t handle, SoundTime at) override;
  std::string errorText(int code) override;

 private:
  bool writeLine(const std::string& event);
  /// Opens the log as described above; -1 with `problem_` set when it may not be written.
  int openLog();
  UiLanguage language() const { return language_ ? language_() : UiLanguage::English; }

  std::filesystem::path root_;
  std::string name_;
  Clock::time_point start_;
  std::function<UiLanguage()> language_;
  int fd_ = -1;          ///< the log, opened for appending at the first line
  std::string problem_;  ///< why it cannot be written, in the language of the moment
  std::uint32_t openHandle_ = 0;
};

}  // namespace tastrello
