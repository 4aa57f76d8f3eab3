// A MIDI output that writes one line per event to a file: milliseconds since the program
// started, then "OPEN", "CLOSE" or the message word in hexadecimal ("000015C0").
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>

#include "shell/services.h"

namespace tastrello {

class LogPort : public MidiPort {
 public:
  using Clock = std::chrono::steady_clock;
  LogPort(std::filesystem::path file, Clock::time_point start)
      : file_(std::move(file)), start_(start) {}

  int open(int deviceId, std::uint32_t& handle) override;
  int send(std::uint32_t handle, std::uint32_t word) override;
  int close(std::uint32_t handle) override;
  std::string errorText(int code) override;

 private:
  bool writeLine(const std::string& event);

  std::filesystem::path file_;
  Clock::time_point start_;
  std::ofstream out_;
  std::uint32_t openHandle_ = 0;
};

}  // namespace tastrello
