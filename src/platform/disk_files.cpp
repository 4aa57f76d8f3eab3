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

constexpr std::uintmax_t kLargestFile = 64u * 1024 * 1024;

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

std::string errnoText() {
  return std::strerror(errno);
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
  if (!file) return "the folder does not exist or the name cannot be stored";
  return writeFileAtomically(*file, bytes, calls_);
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

std::string writeFileAtomically(const fs::path& target, const std::string& bytes,
                                FileCalls& calls) {
  // Created exclusively and never through a link: a file or link planted under the name
  // makes this attempt fail, and another name is tried.
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = target.parent_path() / temporaryName();
    fd = calls.open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0)
    return "cannot create a temporary file in " + target.parent_path().filename().string() + ": " +
           errnoText();
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = calls.write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string error = "cannot write: " + errnoText();
      calls.close(fd);
      ::unlink(temp.c_str());
      return error;
    }
    written += static_cast<std::size_t>(n);
  }
  const bool synced = calls.fsync(fd) == 0;
  const std::string syncError = synced ? std::string() : errnoText();
  const bool closed = calls.close(fd) == 0;
  if (!synced || !closed) {
    const std::string error = "cannot flush: " + (synced ? errnoText() : syncError);
    ::unlink(temp.c_str());
    return error;
  }
  if (calls.rename(temp.c_str(), target.c_str()) != 0) {
    const std::string error = "cannot rename: " + errnoText();
    ::unlink(temp.c_str());
    return error;
  }
  // Make the rename itself durable.
  const int dir = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return {};
}

}  // namespace tastrello
