#include "platform/log_port.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace tastrello {

namespace {

enum Error { kCannotWrite = 1, kNotOpen = 2 };

}  // namespace

LogPort::~LogPort() {
  if (fd_ >= 0) ::close(fd_);
}

bool LogPort::writeLine(const std::string& event) {
  if (fd_ < 0) {
    // Never blocks and never follows a link: a FIFO, a device or a link is refused.
    fd_ = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC,
                 0644);
    struct stat info {};
    if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))) {
      ::close(fd_);
      fd_ = -1;
    }
    if (fd_ < 0) return false;
  }
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  const std::string line = std::to_string(ms) + ' ' + event + "\r\n";
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<std::size_t>(n);
  }
  return true;
}

int LogPort::open(int, std::uint32_t& handle) {
  handle = 0;
  if (!writeLine("OPEN")) return kCannotWrite;
  handle = openHandle_ = 1;
  return 0;
}

int LogPort::send(std::uint32_t handle, std::uint32_t word, SoundTime) {
  if (handle == 0 || handle != openHandle_) return kNotOpen;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", word);
  return writeLine(hex) ? 0 : kCannotWrite;
}

int LogPort::close(std::uint32_t handle, SoundTime) {
  if (handle == 0 || handle != openHandle_) return kNotOpen;
  openHandle_ = 0;
  return writeLine("CLOSE") ? 0 : kCannotWrite;
}

std::string LogPort::errorText(int code) {
  if (code == kCannotWrite)
    return "The MIDI log " + file_.filename().string() +
           " cannot be written (it must be a plain file in the working folder).";
  if (code == kNotOpen) return "The MIDI log is not open.";
  return "MIDI log error " + std::to_string(code) + ".";
}

}  // namespace tastrello
