#include "platform/log_port.h"

#include <cstdio>

namespace tastrello {

namespace {

enum Error { kCannotWrite = 1, kNotOpen = 2 };

}  // namespace

bool LogPort::writeLine(const std::string& event) {
  if (!out_.is_open()) out_.open(file_, std::ios::app | std::ios::binary);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  out_ << ms << ' ' << event << "\r\n";
  out_.flush();
  return static_cast<bool>(out_);
}

int LogPort::open(int, std::uint32_t& handle) {
  handle = 0;
  if (!writeLine("OPEN")) return kCannotWrite;
  handle = openHandle_ = 1;
  return 0;
}

int LogPort::send(std::uint32_t handle, std::uint32_t word) {
  if (handle == 0 || handle != openHandle_) return kNotOpen;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", word);
  return writeLine(hex) ? 0 : kCannotWrite;
}

int LogPort::close(std::uint32_t handle) {
  if (handle == 0 || handle != openHandle_) return kNotOpen;
  openHandle_ = 0;
  return writeLine("CLOSE") ? 0 : kCannotWrite;
}

std::string LogPort::errorText(int code) {
  if (code == kCannotWrite)
    return "The MIDI log " + file_.filename().string() + " cannot be written.";
  if (code == kNotOpen) return "The MIDI log is not open.";
  return "MIDI log error " + std::to_string(code) + ".";
}

}  // namespace tastrello
