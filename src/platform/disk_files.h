// Files on disk below the working folder. Names in the logic are Windows-1252 bytes; on disk
// they are in the system's encoding (UTF-8). Names are matched without regard to letter case.
#pragma once

#include <sys/types.h>

#include <filesystem>

#include "shell/services.h"

namespace tastrello {

/// The system calls an atomic write makes. The real ones are POSIX; a test double can fail
/// any of them.
class FileCalls {
 public:
  virtual ~FileCalls() = default;
  virtual int open(const char* path, int flags, int mode);
  virtual ssize_t write(int fd, const void* data, std::size_t size);
  virtual int fsync(int fd);
  virtual int close(int fd);
  virtual int rename(const char* from, const char* to);
  static FileCalls& posix();
};

class DiskFiles : public Files {
 public:
  explicit DiskFiles(std::filesystem::path root, FileCalls& calls = FileCalls::posix())
      : root_(std::move(root)), calls_(calls) {}

  std::optional<std::string> read(const std::string& path) override;
  std::string replace(const std::string& path, const std::string& bytes) override;
  std::optional<std::vector<std::string>> list(const std::string& folder) override;

  /// The file on disk for a logical path: the exact name first, then a case-insensitive
  /// match in each folder; a missing last part keeps its own spelling. Nothing when a name
  /// cannot be held in Windows-1252 or a folder is missing.
  std::optional<std::filesystem::path> resolve(const std::string& path) const;

  const std::filesystem::path& root() const { return root_; }

  /// Removes the temporary files of saves that were cut short (by a crash or a kill) from a
  /// folder; the file each was meant to replace is whole. Files of a running process stay,
  /// and so does every file not named as this program names its temporary files.
  void removeStaleTemporaries(const std::string& folder);

 private:
  std::filesystem::path root_;
  FileCalls& calls_;
};

/// Writes `bytes` to `target` through a temporary file in the same folder (created
/// exclusively under an unpredictable name), flushed to disk and renamed over the target. Returns
/// "" or what went wrong; the old file stays on failure.
std::string writeFileAtomically(const std::filesystem::path& target, const std::string& bytes,
                                FileCalls& calls = FileCalls::posix());

}  // namespace tastrello
