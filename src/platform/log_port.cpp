#include "platform/log_port.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/disk_files.h"
#include "platform/working_folder.h"
#include "practice/practice.h"
#include "records/meter.h"
#include "records/record_hands.h"
#include "shell/text.h"

namespace tastrello {

namespace {

enum Error { kCannotWrite = 1, kNotOpen = 2 };

std::vector<std::string> pathParts(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t slash; (slash = path.find('/', start)) != std::string::npos; start = slash + 1)
    parts.push_back(path.substr(start, slash - start));
  parts.push_back(path.substr(start));
  return parts;
}

}  // namespace

bool isOwnFileName(std::string_view fileName) {
  const std::string offered = std::filesystem::path(kOfferedList).filename().string();
  for (const std::string& name : {std::string("Tastrel.Ini"), std::string("Keymap.txt"), offered})
    if (sameNameIgnoringCase(fileName, name)) return true;
  for (const std::string& prefix :
       {std::string("Lang_"), std::string("Notes"), std::string("Records_"),
        std::string("Lessons_"), historyFileName(""), meterFileName(""), handsFileName(""),
        std::string(".~tastrello-")})
    if (fileName.size() >= prefix.size() &&
        sameNameIgnoringCase(fileName.substr(0, prefix.size()), prefix))
      return true;
  return false;
}

LogPort::LogPort(std::filesystem::path root, std::string name, Clock::time_point start,
                 std::function<UiLanguage()> language)
    : root_(std::move(root)),
      name_(std::move(name)),
      start_(start),
      language_(std::move(language)) {}

LogPort::~LogPort() {
  if (fd_ >= 0) ::close(fd_);
}

int LogPort::openLog() {
  const UiLanguage lang = language();
  // Folder by folder from the working folder, never through a link: a link to elsewhere on
  // the way would put the log outside, one to the program's own folders onto its files.
  int dir = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) {
    problem_ = systemErrorText(errno, lang);
    return -1;
  }
  const auto parts = pathParts(name_);
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::string folder = cp1252ToUtf8(parts[i]);
    const int next = ::openat(dir, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int error = errno;
    struct stat info {};
    const bool link = next < 0 && ::fstatat(dir, folder.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                      S_ISLNK(info.st_mode);
    ::close(dir);
    if (next < 0) {
      problem_ =
          link ? uiText(lang, Text::WhyLinkOnPath, {parts[i]}) : systemErrorText(error, lang);
      return -1;
    }
    dir = next;
  }
  // Never blocks and never follows a link: a FIFO, a device or a link is refused.
  const int fd =
      ::openat(dir, cp1252ToUtf8(parts.back()).c_str(),
               O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0644);
  const int error = errno;
  ::close(dir);
  if (fd < 0) {
    problem_ = error == ELOOP                      ? uiText(lang, Text::WhyIsLink)
               : error == ENXIO || error == EISDIR ? uiText(lang, Text::WhyNotPlain)
                                                   : systemErrorText(error, lang);
    return -1;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink > 1) {
    problem_ =
        S_ISREG(info.st_mode) ? uiText(lang, Text::WhySecondName) : uiText(lang, Text::WhyNotPlain);
    ::close(fd);
    return -1;
  }
  return fd;
}

bool LogPort::writeLine(const std::string& event) {
  if (fd_ < 0 && (fd_ = openLog()) < 0) return false;
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  const std::string line = std::to_string(ms) + ' ' + event + "\r\n";
  std::size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + written, line.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      problem_ = systemErrorText(n < 0 ? errno : EIO, language());
      return false;
    }
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
  if (code == kCannotWrite) return uiText(language(), Text::LogCannotWrite, {name_, problem_});
  if (code == kNotOpen) return uiText(language(), Text::LogNotOpen);
  return uiText(language(), Text::ErrSystem, {std::to_string(code)});
}

}  // namespace tastrello
