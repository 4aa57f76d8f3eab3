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

// Temporary files of a save: ".~tastrello-PID-RANDOM.tmp"; the journal of a change of several
// files: ".~tastrello-PID-RANDOM.journal". No name the program offers in a list starts with a
// dot, and the random part makes the name impossible to guess.
const std::string kTempPrefix = ".~tastrello-";
const std::string kTempSuffix = ".tmp";
const std::string kJournalSuffix = ".journal";

std::string ownFileName(const std::string& suffix) {
  static std::mt19937_64 random{std::random_device{}()};
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(random()));
  return kTempPrefix + std::to_string(::getpid()) + "-" + hex + suffix;
}

std::string temporaryName() {
  return ownFileName(kTempSuffix);
}

bool endsWith(const std::string& name, const std::string& suffix) {
  return name.size() >= suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

/// A temporary file or a journal of this program's, by its name.
struct OwnFile {
  pid_t writer = 0;
  bool journal = false;
};

/// The writer's process id of a temporary file's or a journal's name; nothing for any other.
std::optional<OwnFile> ownFile(const std::string& name) {
  const bool journal = endsWith(name, kJournalSuffix);
  const std::size_t suffix = journal ? kJournalSuffix.size() : kTempSuffix.size();
  if (name.size() <= kTempPrefix.size() + suffix || name.rfind(kTempPrefix, 0) != 0 ||
      (!journal && !endsWith(name, kTempSuffix)))
    return std::nullopt;
  const char* first = name.data() + kTempPrefix.size();
  const char* last = name.data() + name.size();
  long long pid = 0;
  const auto [end, error] = std::from_chars(first, last, pid);
  if (error != std::errc() || end == first || *end != '-' || pid <= 0 ||
      pid > std::numeric_limits<pid_t>::max())
    return std::nullopt;
  return OwnFile{static_cast<pid_t>(pid), journal};
}

bool isTemporaryName(const std::string& name) {
  const auto own = ownFile(name);
  return own && !own->journal && name.find('/') == std::string::npos;
}

bool writerRuns(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
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

FileProblem DiskFiles::replaceTogether(const std::vector<FileChange>& changes) {
  std::vector<FileReplacement> files;
  for (const FileChange& change : changes) {
    const auto file = resolve(change.path);
    if (!file) return {change.path, systemErrorText(ENOENT, language())};
    files.push_back({*file, change.bytes});
  }
  const ChangeResult result = replaceFilesTogether(files, calls_);
  if (result.ok()) return {};
  return {changes[result.file].path, result.result.text(language())};
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
    if (ownFile(name)) continue;  // an unfinished save
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

void DiskFiles::finishInterruptedSaves(const std::string& folder) {
  if (const auto dir = resolve(folder)) tastrello::finishInterruptedSaves(*dir);
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

namespace {

/// A new file's bytes written and flushed beside `target` under a temporary name, with the
/// permissions of the file it replaces (`old`, when there is one): its path, or the failure.
struct Temporary {
  fs::path path;
  WriteResult result;
};

Temporary writeTemporary(const fs::path& target, std::string_view bytes, const struct stat* old,
                         FileCalls& calls) {
  using Step = WriteResult::Step;
  // Created exclusively and never through a link: a file or link planted under the name
  // makes this attempt fail, and another name is tried.
  fs::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temp = target.parent_path() / temporaryName();
    fd = calls.open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return {{}, failed(Step::Create, errno)};
  // The learner's own permissions stay with the file (a record kept private stays private).
  if (old) ::fchmod(fd, old->st_mode & 07777);
  if (const int error = writeAll(calls, fd, bytes); error != 0) {
    calls.close(fd);
    ::unlink(temp.c_str());
    return {{}, failed(Step::Write, error)};
  }
  // A full disk may show only here: written bytes wait in memory until they are flushed.
  const int syncError = calls.fsync(fd) == 0 ? 0 : errno;
  const int closeError = calls.close(fd) == 0 ? 0 : errno;
  if (syncError != 0 || closeError != 0) {
    ::unlink(temp.c_str());
    return {{}, failed(Step::Flush, syncError != 0 ? syncError : closeError)};
  }
  return {temp, {}};
}

/// Makes the renames in `folder` durable. The files are complete and in place by then, so a
/// folder that cannot be synced (some network file systems) is no failure of a write.
void syncFolder(const fs::path& folder) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

/// The folder of a path, "." for a bare name.
fs::path folderOf(const fs::path& target) {
  return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// A journal: its kind and version, then each temporary file's name and its target's name,
// every name ended by a NUL byte (which no file name holds).
const std::string kJournalHeader = "TASTRELLO-JOURNAL-1";

std::string journalOf(const std::vector<std::pair<std::string, std::string>>& renames) {
  std::string bytes = kJournalHeader + '\0';
  for (const auto& [temporary, target] : renames) bytes += temporary + '\0' + target + '\0';
  return bytes;
}

/// The renames a journal names, or nothing when the bytes are no journal of this program's:
/// each from a temporary file's name to a name in the same folder.
std::optional<std::vector<std::pair<std::string, std::string>>> renamesOf(std::string_view bytes) {
  std::vector<std::string> names;
  for (std::size_t end; (end = bytes.find('\0')) != std::string_view::npos;
       bytes.remove_prefix(end + 1))
    names.emplace_back(bytes.substr(0, end));
  if (!bytes.empty() || names.empty() || names[0] != kJournalHeader || names.size() % 2 == 0)
    return std::nullopt;
  std::vector<std::pair<std::string, std::string>> renames;
  for (std::size_t i = 1; i < names.size(); i += 2) {
    const std::string& target = names[i + 1];
    if (!isTemporaryName(names[i]) || target.empty() || target == "." || target == ".." ||
        target.find('/') != std::string::npos)
      return std::nullopt;
    renames.emplace_back(names[i], target);
  }
  return renames;
}

/// A journal's bytes: a small plain file, never read through a link or from a pipe.
std::optional<std::string> readJournal(const fs::path& path) {
  constexpr std::size_t kLargestJournal = 64 * 1024;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  std::optional<std::string> bytes;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<std::size_t>(info.st_size) <= kLargestJournal) {
    bytes.emplace(static_cast<std::size_t>(info.st_size), '\0');
    if (::pread(fd, bytes->data(), bytes->size(), 0) != static_cast<ssize_t>(bytes->size()))
      bytes.reset();
  }
  ::close(fd);
  return bytes;
}

/// Completes the change a journal in `folder` names: each temporary file still there is
/// renamed over its target (one that cannot be is removed); then the journal goes.
void completeJournal(const fs::path& folder, const std::string& journal) {
  const auto bytes = readJournal(folder / journal);
  if (const auto renames = bytes ? renamesOf(*bytes) : std::nullopt) {
    for (const auto& [temporary, target] : *renames) {
      const fs::path from = folder / temporary;
      struct stat info {};
      if (::lstat(from.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;  // renamed
      if (::rename(from.c_str(), (folder / target).c_str()) != 0) ::unlink(from.c_str());
    }
    syncFolder(folder);
  }
  ::unlink((folder / journal).c_str());
}

}  // namespace

WriteResult writeFileAtomically(const fs::path& target, std::string_view bytes, FileCalls& calls) {
  bool exists = false;
  struct stat old {};
  if (const WriteResult refused = inspectTarget(target, exists, old); !refused.ok()) return refused;
  const Temporary temp = writeTemporary(target, bytes, exists ? &old : nullptr, calls);
  if (!temp.result.ok()) return temp.result;
  if (calls.rename(temp.path.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.path.c_str());
    return failed(WriteResult::Step::Rename, error);
  }
  syncFolder(folderOf(target));
  return {};
}

ChangeResult replaceFilesTogether(const std::vector<FileReplacement>& files, FileCalls& calls) {
  using Step = WriteResult::Step;
  if (files.size() < 2)
    return files.empty()
               ? ChangeResult{}
               : ChangeResult{0, writeFileAtomically(files[0].target, files[0].bytes, calls)};
  // Every target is checked before anything is written: a refusal changes nothing.
  const fs::path folder = folderOf(files[0].target);
  std::vector<std::optional<struct stat>> old(files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    bool exists = false;
    struct stat info {};
    if (const WriteResult refused = inspectTarget(files[i].target, exists, info); !refused.ok())
      return {i, refused};
    if (folderOf(files[i].target) != folder) return {i, failed(Step::Inspect, EXDEV)};
    if (exists) old[i] = info;
  }
  std::vector<fs::path> temporaries;
  auto removeTemporaries = [&] {
    for (const fs::path& temp : temporaries) ::unlink(temp.c_str());
  };
  std::vector<std::pair<std::string, std::string>> renames;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Temporary temp =
        writeTemporary(files[i].target, files[i].bytes, old[i] ? &*old[i] : nullptr, calls);
    if (!temp.result.ok()) {
      removeTemporaries();
      return {i, temp.result};
    }
    temporaries.push_back(temp.path);
    renames.emplace_back(temp.path.filename().string(), files[i].target.filename().string());
  }
  // Once the journal is in place the change is made: by this process, or by whoever finds
  // the journal after a kill.
  const fs::path journal = folder / ownFileName(kJournalSuffix);
  if (const WriteResult noted = writeFileAtomically(journal, journalOf(renames), calls);
      !noted.ok()) {
    removeTemporaries();
    return {0, noted};
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (calls.rename(temporaries[i].c_str(), files[i].target.c_str()) == 0) continue;
    const int error = errno;
    if (i == 0) {  // nothing is changed yet: the change is given up, the journal first
      ::unlink(journal.c_str());
      removeTemporaries();
    }
    return {i, failed(Step::Rename, error)};
  }
  syncFolder(folder);
  ::unlink(journal.c_str());
  return {};
}

void finishInterruptedSaves(const fs::path& folder) {
  std::vector<std::string> journals, temporaries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const auto own = ownFile(name);
    if (!own || writerRuns(own->writer)) continue;  // not this program's, or still being written
    (own->journal ? journals : temporaries).push_back(name);
  }
  // The journals first: the temporary files they name are to be renamed, not removed.
  for (const std::string& journal : journals) completeJournal(folder, journal);
  for (const std::string& temporary : temporaries) {
    std::error_code removeError;
    fs::remove(folder / temporary, removeError);
  }
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
