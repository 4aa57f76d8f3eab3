#include "platform/disk_files.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <random>

#include "shell/text.h"

namespace fs = std::filesystem;

namespace tastrello {

namespace {

std::vector<std::string> pathParts(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

// Temporary files of a save: ".~tastrello-PID-RANDOM.tmp". No name the program offers in a
// list starts with a dot, and the random part makes the name impossible to guess.
const std::string kTempPrefix = ".~tastrello-";
const std::string kTempSuffix = ".tmp";

std::string temporaryName() {
  static std::mt19937_64 random{std::random_device{}()};
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
  return kTempPrefix + std::to_string(::getpid()) + "-" + hex + kTempSuffix;
}

/// The writer's process id of a temporary file's name; nothing for any other name.
std::optional<pid_t> temporaryWriter(const std::string& name) {
  if (name.size() <= kTempPrefix.size() + kTempSuffix.size() || name.rfind(kTempPrefix, 0) != 0 ||
      name.compare(name.size() - kTempSuffix.size(), kTempSuffix.size(), kTempSuffix) != 0)
    return std::nullopt;
  const char* first = name.data() + kTempPrefix.size();
  const char* last = name.data() + name.size();
  long long pid = 0;
  const auto [end, error] = std::from_chars(first, last, pid);
  if (error != std::errc() || end == first || *end != '-' || pid <= 0 ||
      pid > std::numeric_limits<pid_t>::max())
    return std::nullopt;
  return static_cast<pid_t>(pid);
}

}  // namespace

std::optional<fs::path> DiskFiles::resolve(const std::string& path) const {
  // A NUL byte would cut the name short where the system reads it.
  if (path.find('\0') != std::string::npos) return std::nullopt;
  fs::path current = root_;
  const auto parts = pathParts(path);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    const auto& part = parts[i];
    if (part == "..") return std::nullopt;  // never leave the working folder
    const fs::path exact = current / cp1252ToUtf8(part);
    std::error_code ec;
    if (fs::exists(exact, ec)) {
      current = exact;
      continue;
    }
    std::optional<fs::path> match;
    for (const auto& entry : fs::directory_iterator(current, ec)) {
      const auto name = utf8ToCp1252(entry.path().filename().string());
      if (name && sameNameIgnoringCase(*name, part)) {
        match = entry.path();
        break;
      }
    }
    if (match) {
      current = *match;
    } else if (i + 1 == parts.size()) {
      current = exact;  // a file still to be made
    } else {
      return std::nullopt;
    }
  }
  return current;
}

std::optional<std::string> DiskFiles::read(const std::string& path) {
  const auto file = resolve(path);
  if (!file) return std::nullopt;
  // Never blocks: a FIFO or a device is refused before anything is read.
  const int fd = ::open(file->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::uintmax_t>(info.st_size) <= kLargestFile) {
    bytes.emplace();
    char buffer[65536];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) break;
      if (n < 0 || bytes->size() + static_cast<std::size_t>(n) > kLargestFile) {
        bytes.reset();  // unreadable, or grown past the limit while being read
        break;
      }
      bytes->append(buffer, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return bytes;
}

std::string DiskFiles::replace(const std::string& path, const std::string& bytes) {
  const auto file = resolve(path);
  if (!file) return systemErrorText(ENOENT, language());
  return writeFileAtomically(*file, bytes, calls_).text(language());
}

std::string DiskFiles::append(const std::string& path, const std::string& bytes) {
  const auto file = resolve(path);
  if (!file) return systemErrorText(ENOENT, language());
  return appendToFile(*file, bytes, calls_).text(language());
}

std::string DiskFiles::readProblem(const std::string& path) {
  const auto file = resolve(path);
  if (!file) return {};  // its folder is missing, so is the file
  const UiLanguage lang = language();
  struct stat info {};
  if (::stat(file->c_str(), &info) != 0) {
    const int error = errno;
    struct stat link {};
    if (error == ENOENT && ::lstat(file->c_str(), &link) == 0)
      return uiText(lang, Text::WhyDanglingLink);
    if (error == ENOENT || error == ENOTDIR) return {};
    return uiText(lang, Text::WhyCheck, {systemErrorText(error, lang)});
  }
  if (S_ISDIR(info.st_mode)) return uiText(lang, Text::WhyFolder);
  if (!S_ISREG(info.st_mode)) return uiText(lang, Text::WhyNotPlain);
  if (static_cast<std::uintmax_t>(info.st_size) > kLargestFile)
    return uiText(lang, Text::WhyTooLarge, {"64 MB"});
  const int fd = ::open(file->c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return uiText(lang, Text::WhyRead, {systemErrorText(errno, lang)});
  ::close(fd);
  return {};
}

std::optional<std::vector<std::string>> DiskFiles::list(const std::string& folder) {
  std::vector<std::string> names;
  const auto dir = resolve(folder);
  if (!dir) return std::nullopt;
  std::error_code ec;
  fs::directory_iterator it(*dir, ec);
  if (ec) return std::nullopt;
  for (const auto& entry : it) {
    if (!entry.is_regular_file(ec)) continue;
    const std::string name = entry.path().filename().string();
    if (temporaryWriter(name)) continue;  // an unfinished save
    if (auto bytes = utf8ToCp1252(name)) names.push_back(std::move(*bytes));
  }
  return names;
}

int FileCalls::open(const char* path, int flags, int mode) {
  return ::open(path, flags, mode);
}
ssize_t FileCalls::write(int fd, const void* data, std::size_t size) {
  return ::write(fd, data, size);
}
int FileCalls::fsync(int fd) {
  return ::fsync(fd);
}
int FileCalls::close(int fd) {
  return ::close(fd);
}
int FileCalls::rename(const char* from, const char* to) {
  return ::rename(from, to);
}

FileCalls& FileCalls::posix() {
  static FileCalls calls;
  return calls;
}

void DiskFiles::removeStaleTemporaries(const std::string& folder) {
  const auto dir = resolve(folder);
  if (!dir) return;
  std::error_code ec;
  for (fs::directory_iterator it(*dir, ec), end; !ec && it != end; it.increment(ec)) {
    const auto pid = temporaryWriter(it->path().filename().string());
    if (!pid) continue;  // not a temporary file of this program: never touched
    if (::kill(*pid, 0) == 0 || errno == EPERM) continue;  // its writer still runs
    std::error_code removeError;
    fs::remove(it->path(), removeError);
  }
}

namespace {

/// A write refused or failed at `step`, with the system's error number when there is one.
WriteResult failed(WriteResult::Step step, int error = 0) {
  return {step, error};
}

/// What is at `target`, for a writer that takes only a plain file or nothing: Done with
/// `exists` and `info` set, or the refusal.
WriteResult inspectTarget(const fs::path& target, bool& exists, struct stat& info) {
  exists = false;
  if (::lstat(target.c_str(), &info) != 0) {
    if (errno == ENOENT) return {};
    return failed(WriteResult::Step::Inspect, errno);
  }
  exists = true;
  if (S_ISLNK(info.st_mode)) return failed(WriteResult::Step::Link);
  if (!S_ISREG(info.st_mode)) return failed(WriteResult::Step::NotPlain);
  return {};
}

/// Writes all of `bytes` to `fd`; the error number of the first failure, or 0.
int writeAll(FileCalls& calls, int fd, std::string_view bytes) {
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = calls.write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    written += static_cast<std::size_t>(n);
  }
  return 0;
}

}  // namespace

WriteResult checkTarget(const fs::path& target) {
  bool exists = false;
  struct stat info {};
  return inspectTarget(target, exists, info);
}

WriteResult writeFileAtomically(const fs::path& target, std::string_view bytes, FileCalls& calls) {
  using Step = WriteResult::Step;
  bool exists = false;
  struct stat old {};
  if (const WriteResult refused = inspectTarget(target, exists, old); !refused.ok()) return refused;
  // Created exclusively and never through a link: a file or link planted under the name
  // makes this attempt fail, and another name is tried.
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = target.parent_path() / temporaryName();
    fd = calls.open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return failed(Step::Create, errno);
  // The learner's own permissions stay with the file (a record kept private stays private).
  if (exists) ::fchmod(fd, old.st_mode & 07777);
  if (const int error = writeAll(calls, fd, bytes); error != 0) {
    calls.close(fd);
    ::unlink(temp.c_str());
    return failed(Step::Write, error);
  }
  // A full disk may show only here: written bytes wait in memory until they are flushed.
  const int syncError = calls.fsync(fd) == 0 ? 0 : errno;
  const int closeError = calls.close(fd) == 0 ? 0 : errno;
  if (syncError != 0 || closeError != 0) {
    ::unlink(temp.c_str());
    return failed(Step::Flush, syncError != 0 ? syncError : closeError);
  }
  if (calls.rename(temp.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    return failed(Step::Rename, error);
  }
  // Make the rename itself durable. The new content is complete and in place by now, so a
  // folder that cannot be synced (some network file systems) is no failure of the write.
  const int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

WriteResult appendToFile(const fs::path& target, std::string_view bytes, FileCalls& calls) {
  using Step = WriteResult::Step;
  bool existed = false;
  struct stat info {};
  if (const WriteResult refused = inspectTarget(target, existed, info); !refused.ok())
    return refused;
  if (existed && info.st_nlink > 1) return failed(Step::SecondName);
  // Never blocks and never follows a link; what was checked above is checked again on what
  // was opened, in case the path changed in between.
  // Opened for reading too, to see whether the last line is ended; a file that may only be
  // written is appended to as it is.
  const int flags = O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = calls.open(target.c_str(), O_RDWR | flags, 0644);
  if (fd < 0 && errno == EACCES) fd = calls.open(target.c_str(), O_WRONLY | flags, 0644);
  if (fd < 0) return failed(errno == ELOOP ? Step::Link : Step::Open, errno == ELOOP ? 0 : errno);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink > 1) {
    const bool plain = S_ISREG(info.st_mode);
    calls.close(fd);
    return failed(plain ? Step::SecondName : Step::NotPlain);
  }
  const off_t length = info.st_size;
  std::string added;
  char last = '\n';
  if (length > 0 && ::pread(fd, &last, 1, length - 1) != 1) last = '\n';
  if (last != '\n') added = "\r\n";
  added.append(bytes);
  // On any failure the file goes back to its old length: a part of a line is never left.
  auto undo = [&](Step step, int error) {
    if (::ftruncate(fd, length) == 0) ::fsync(fd);
    calls.close(fd);
    if (!existed && length == 0) ::unlink(target.c_str());
    return failed(step, error);
  };
  if (const int error = writeAll(calls, fd, added); error != 0) return undo(Step::Write, error);
  if (calls.fsync(fd) != 0) return undo(Step::Flush, errno);
  if (calls.close(fd) != 0) return failed(Step::Flush, errno);
  return {};
}

std::string systemErrorText(int error, UiLanguage language) {
  switch (error) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return uiText(language, Text::ErrDiskFull);
    case EACCES:
    case EPERM:
      return uiText(language, Text::ErrNoPermission);
    case EROFS:
      return uiText(language, Text::ErrReadOnly);
    case ENOENT:
    case ENOTDIR:
      return uiText(language, Text::ErrNoFolder);
    case EIO:
      return uiText(language, Text::ErrDisk);
    case ELOOP:
      return uiText(language, Text::WhyIsLink);
    default: {
      // The symbol ("EXDEV") reads the same in every language; the number where there is none.
      const char* name = ::strerrorname_np(error);
      return uiText(language, Text::ErrSystem, {name ? name : std::to_string(error)});
    }
  }
}

std::string WriteResult::text(UiLanguage language) const {
  const std::string system = error != 0 ? systemErrorText(error, language) : std::string();
  switch (failed) {
    case Step::Done:
      return {};
    case Step::Inspect:
      return uiText(language, Text::WhyCheck, {system});
    case Step::Link:
      return uiText(language, Text::WhyIsLink);
    case Step::NotPlain:
      return uiText(language, Text::WhyNotPlain);
    case Step::SecondName:
      return uiText(language, Text::WhySecondName);
    case Step::Open:
      return uiText(language, Text::WhyOpen, {system});
    case Step::Create:
      return uiText(language, Text::WhyCreate, {system});
    case Step::Write:
      return uiText(language, Text::WhyWrite, {system});
    case Step::Flush:
      return uiText(language, Text::WhyFlush, {system});
    case Step::Rename:
      return uiText(language, Text::WhyRename, {system});
  }
  return {};
}

}  // namespace tastrello
