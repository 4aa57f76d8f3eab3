#include "platform/disk_files.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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

}  // namespace

std::optional<fs::path> DiskFiles::resolve(const std::string& path) const {
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
  std::error_code ec;
  if (!fs::is_regular_file(*file, ec) || fs::file_size(*file, ec) > kLargestFile)
    return std::nullopt;
  std::ifstream in(*file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return bytes.str();
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
    if (name.find(".tmp-") != std::string::npos) continue;  // an unfinished save
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
  for (const auto& entry : fs::directory_iterator(*dir, ec)) {
    const std::string name = entry.path().filename().string();
    const auto mark = name.rfind(".tmp-");
    if (mark == std::string::npos) continue;
    const std::string pidText = name.substr(mark + 5);
    if (pidText.empty() || pidText.find_first_not_of("0123456789") != std::string::npos) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(pidText));
    if (::kill(pid, 0) == 0 || errno == EPERM) continue;  // its writer still runs
    fs::remove(entry.path(), ec);
  }
}

std::string writeFileAtomically(const fs::path& target, const std::string& bytes,
                                FileCalls& calls) {
  const fs::path temp =
      target.parent_path() / (target.filename().string() + ".tmp-" + std::to_string(getpid()));
  const int fd = calls.open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return "cannot create " + temp.filename().string() + ": " + errnoText();
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
