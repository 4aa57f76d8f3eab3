// Files on disk below the working folder. Names in the logic are Windows-1252 bytes; on disk
// they are in the system's encoding (UTF-8). Names are matched without regard to letter case.
// Every file any of the programs writes goes through writeFileAtomically or appendToFile.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string_view>

#include "shell/services.h"
#include "shell/ui_texts.h"

namespace tastrello {

/// The system calls a write makes. The real ones are POSIX; a test double can fail any of them.
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

/// How a write ended: the step that failed (Done when none did) and the system's error number
/// of that step (0 when the step is a check, not a system call).
struct WriteResult {
  enum class Step {
    Done,
    Inspect,     ///< what is at the path could not be found out
    Link,        ///< the path is a link (also one that leads nowhere)
    NotPlain,    ///< a folder, a pipe, a device or a socket is at the path
    SecondName,  ///< the file has another name (a hard link): appending would change that too
    Open,        ///< the file could not be opened for writing
    Create,      ///< no temporary file could be made beside it
    Write,
    Flush,   ///< the bytes could not be put on the disk (fsync or close)
    Rename,  ///< the complete new file could not replace the old one
  };
  Step failed = Step::Done;
  int error = 0;
  bool ok() const { return failed == Step::Done; }
  /// What went wrong, in `language`; "" when nothing did.
  std::string text(UiLanguage language) const;
  bool operator==(const WriteResult&) const = default;
};

/// What writeFileAtomically would refuse before writing anything: Done when nothing or a plain
/// file is at `target`; Link, NotPlain or Inspect otherwise.
WriteResult checkTarget(const std::filesystem::path& target);

/// Replaces `target` with `bytes`, or leaves it as it was: through a temporary file in the same
/// folder (created exclusively under an unpredictable name, never through a link), written,
/// flushed to disk and renamed over the target; each step is checked. Only a plain file or
/// nothing may be at `target`: a link (even one that leads nowhere), a folder, a pipe or a
/// device there is refused, so no write ever goes through a link or into a device. A file
/// replaced keeps its permissions.
WriteResult writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                FileCalls& calls = FileCalls::posix());

/// One file of a change of several files: its path and its new bytes.
struct FileReplacement {
  std::filesystem::path target;
  std::string_view bytes;
};

/// How a change of several files ended: `result` is that of the file `file` (an index into
/// the files given) at which it failed, or Done.
struct ChangeResult {
  std::size_t file = 0;
  WriteResult result;
  bool ok() const { return result.ok(); }
};

/// Replaces files of one folder as one change: afterwards every one has its new bytes or
/// every one is as it was, also after a kill at any moment once finishInterruptedSaves has
/// run in the folder. Each target is checked first (only a plain file or nothing, as for
/// writeFileAtomically); then each new file is written and flushed under a temporary name
/// beside its target, a journal naming the pairs is put in place whole, the temporary files
/// are renamed over their targets and the journal is removed. A kill before the journal is in
/// place leaves only temporary files, and the old files stand; a kill after it leaves the
/// journal, whose renames finishInterruptedSaves completes. A rename that fails after another
/// succeeded leaves the journal too: the change is completed later, never undone half.
ChangeResult replaceFilesTogether(const std::vector<FileReplacement>& files,
                                  FileCalls& calls = FileCalls::posix());

/// Ends in `folder` what saves cut short (by a crash or a kill) left there: completes the
/// renames of every journal of a change of several files, then removes the temporary files
/// (each file they were meant to replace is whole). Files of a running process stay, and so
/// does every file not named as this program names its temporary files and journals.
void finishInterruptedSaves(const std::filesystem::path& folder);

/// Adds `bytes` at the end of `target`, made when missing; when the file's last line has no
/// line end, CR LF comes first so that what is added starts a line. What was there is never
/// changed: a failure cuts the file back to its old length. Only a plain file with one name
/// (or nothing) may be at `target`; a link there is refused, never followed.
WriteResult appendToFile(const std::filesystem::path& target, std::string_view bytes,
                         FileCalls& calls = FileCalls::posix());

/// A system error number as the learner reads it, in `language`.
std::string systemErrorText(int error, UiLanguage language);

class DiskFiles : public Files {
 public:
  explicit DiskFiles(std::filesystem::path root, FileCalls& calls = FileCalls::posix())
      : root_(std::move(root)), calls_(calls) {}

  std::optional<std::string> read(const std::string& path) override;
  std::string replace(const std::string& path, const std::string& bytes) override;
  std::string append(const std::string& path, const std::string& bytes) override;
  std::string readProblem(const std::string& path) override;
  FileProblem replaceTogether(const std::vector<FileChange>& changes) override;
  std::optional<std::vector<std::string>> list(const std::string& folder) override;

  /// The language of the reasons given (English until told): the window object's, in force
  /// when a reason is given.
  void speak(std::function<UiLanguage()> language) { language_ = std::move(language); }

  /// The file on disk for a logical path: the exact name first, then a case-insensitive
  /// match in each folder; a missing last part keeps its own spelling. Nothing when a name
  /// cannot be held in Windows-1252 or a folder is missing.
  std::optional<std::filesystem::path> resolve(const std::string& path) const;

  const std::filesystem::path& root() const { return root_; }

  /// finishInterruptedSaves in a folder of the working folder.
  void finishInterruptedSaves(const std::string& folder);

  /// The largest file read (64 MB): larger ones are no files of this program's.
  static constexpr std::uintmax_t kLargestFile = 64u * 1024 * 1024;

 private:
  UiLanguage language() const { return language_ ? language_() : UiLanguage::English; }

  std::filesystem::path root_;
  FileCalls& calls_;
  std::function<UiLanguage()> language_;
};

}  // namespace tastrello
