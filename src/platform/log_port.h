// A MIDI output that writes one line per event to a file: milliseconds since the program
// started, then "OPEN", "CLOSE" or the message word in hexadecimal ("000015C0").
#pragma once

#include <chrono>
#include <filesystem>

#include "shell/services.h"

namespace tastrello {

class LogPort : public MidiPort {
 public:
  using Clock = std::chrono::steady_clock;
  LogPort(std::filesystem::path file, Clock::time_point start)
      : file_(std::move(file)), start_(start) {}
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

  std::filesystem::path file_;
  Clock::time_point start_;
  int fd_ = -1;  ///< the log, opened for appending at the first line; a regular file only
  std::uint32_t openHandle_ = 0;
};

}  // namespace tastrello
