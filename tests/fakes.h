// The test doubles that tests, fuzz targets and benchmarks share: a recording MIDI port, files
// in memory, a recording output chooser, a clock set by hand. Standard library only, no test
// framework.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/sound_in.h"
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello::testing {

/// Records every call as a readable line: "OPEN", "CLOSE", or the sent word ("000015C0").
class FakePort : public MidiPort {
 public:
  std::vector<std::string> log;
  bool keepLog = true;                ///< false: count only (fuzzing and benchmarks)
  int invalidDataBytes = 0;           ///< words sent with a data byte above 127: never allowed
  int timed = 0;                      ///< messages sent with a moment to sound at
  std::vector<SoundTime> times;       ///< the moment of every message sent, in order
  std::vector<SoundTime> closeTimes;  ///< the moment of every close
  double lead = 0;                    ///< how early it takes messages (0: it plays all at once)
  bool failOpen = false;
  int failSend = 0;  ///< code every send returns when non-zero
  static constexpr int kInvalidHandle = 5;
  static constexpr int kOpenFailed = 7;

  int open(int, std::uint32_t& handle) override {
    handle = 0;
    if (failOpen) {
      log.push_back("OPEN FAILED");
      return kOpenFailed;
    }
    handle = openHandle_ = next_++;
    log.push_back("OPEN");
    return 0;
  }
  int send(std::uint32_t handle, std::uint32_t word, SoundTime at) override {
    if (at != kAtOnce) ++timed;
    if (handle == 0 || handle != openHandle_) return kInvalidHandle;
    if (failSend) return failSend;
    if ((word & 0x8000) || (word & 0x800000)) ++invalidDataBytes;
    if (!keepLog) return 0;
    times.push_back(at);
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", word);
    log.push_back(hex);
    return 0;
  }
  int close(std::uint32_t handle, SoundTime at) override {
    if (handle != openHandle_) return kInvalidHandle;
    openHandle_ = 0;
    if (keepLog) closeTimes.push_back(at);
    log.push_back("CLOSE");
    return 0;
  }
  std::string errorText(int code) override { return "error " + std::to_string(code); }
  double leadSeconds() override { return lead; }

  bool isOpen() const { return openHandle_ != 0; }
  /// Forgets what was sent (the log and the moments).
  void clearLog() {
    log.clear();
    times.clear();
    closeTimes.clear();
  }
  /// The note-on words sent (program changes left out).
  std::vector<std::string> notes() const {
    std::vector<std::string> out;
    for (const auto& line : log)
      if (line.size() == 8 && line.substr(6) == "90") out.push_back(line);
    return out;
  }

 private:
  std::uint32_t next_ = 1;
  std::uint32_t openHandle_ = 0;
};

/// A clock the test sets: seconds and the local time it reports.
class FakeClock : public Clock {
 public:
  double now = 1000;
  std::string when = "2026-12-08 19:40";
  double seconds() override { return now; }
  std::string localTime() override { return when; }
};

/// Records each choice of output as a line: "choose SETTING", "font FILE", "buffer FRAMES".
class FakeOutputs : public OutputChoice {
 public:
  std::vector<std::string> log;
  void choose(const std::string& setting) override { log.push_back("choose " + setting); }
  void useSoundFont(const std::string& file) override { log.push_back("font " + file); }
  void useAudioBuffer(int frames) override { log.push_back("buffer " + std::to_string(frames)); }
};

/// A sound output whose report the test writes; `problems` are handed over once, as the real
/// output does.
class FakeAudio : public AudioStatus {
 public:
  AudioReport next;
  int reports = 0;
  AudioReport audioReport() override {
    ++reports;
    AudioReport r = next;
    next.problems.clear();
    return r;
  }
};

/// A microphone that hears what the test plays into it. Records each call as a line ("OPEN
/// name rate", "CLOSE"); `play` hands samples over in blocks as a capture does, each block's
/// moment `capturedAt` on a clock the test sets (`origin` plus the samples played before it).
/// Its sources are those the test lists.
class FakeSoundIn : public SoundIn, public SoundSources {
 public:
  std::vector<std::string> log;
  std::vector<SoundSource> sources;
  std::string listRefusal;  ///< why `list` gives nothing, when not ""
  std::string refuse;  ///< what `open` answers when not ""
  SoundIn::Clock::time_point origin{};
  double latency = 0;  ///< what `latencyMs` tells

  std::string open(const std::string& name, int sampleRate, Deliver deliver) override {
    log.push_back("OPEN " + name + " " + std::to_string(sampleRate));
    if (!refuse.empty()) return refuse;
    deliver_ = std::move(deliver);
    rate_ = sampleRate;
    return "";
  }
  void close() override {
    if (deliver_) log.push_back("CLOSE");
    deliver_ = nullptr;
  }
  double latencyMs() override { return deliver_ ? latency : 0; }
  std::vector<SoundSource> list(std::string& why) override {
    why = listRefusal;
    return listRefusal.empty() ? sources : std::vector<SoundSource>{};
  }
  bool isOpen() const { return deliver_ != nullptr; }
  /// Hands `samples` over in blocks of `block`; false when no capture is open.
  bool play(const std::vector<float>& samples, std::size_t block = 128) {
    if (!deliver_) return false;
    for (std::size_t at = 0; at < samples.size(); at += block) {
      const auto moment = origin + std::chrono::nanoseconds(static_cast<long long>(double(played_) * 1e9 / rate_));
      const std::size_t count = std::min(block, samples.size() - at);
      deliver_(samples.data() + at, count, moment);
      played_ += count;
    }
    return true;
  }

 private:
  Deliver deliver_;
  int rate_ = 48000;
  long long played_ = 0;
};

/// Files in memory; names match without regard to letter case, as on the real disk.
class MemoryFiles : public Files {
 public:
  std::map<std::string, std::string> files;  ///< path as stored -> bytes
  /// Files that are listed but cannot be read (too large, no permission ...): path -> why.
  /// Appending to them works, as it does on disk.
  std::map<std::string, std::string> unreadable;
  bool failReplace = false;
  bool failAppend = false;
  int appendCount = 0;
  std::set<std::string> unreadableFolders;  ///< folders whose listing fails
  int replaceCount = 0;
  int writesOutside = 0;  ///< replaces asked for a path that leaves the working folder

  std::optional<std::string> read(const std::string& path) override {
    auto it = find(path);
    if (it == files.end() || !readProblem(path).empty()) return std::nullopt;
    return it->second;
  }
  std::string readProblem(const std::string& path) override {
    for (const auto& [name, why] : unreadable)
      if (sameNameIgnoringCase(name, path)) return why;
    return {};
  }
  std::string append(const std::string& path, const std::string& bytes) override {
    if (failAppend) return "disk full";
    ++appendCount;
    auto it = find(path);
    if (it == files.end()) it = files.emplace(path, std::string()).first;
    if (!it->second.empty() && it->second.back() != '\n') it->second += "\r\n";
    it->second += bytes;
    return {};
  }
  std::set<std::string> failingPaths;  ///< files whose replacement fails, as a folder there would
  std::string replace(const std::string& path, const std::string& bytes) override {
    if (path.find("..") != std::string::npos) ++writesOutside;
    if (failReplace) return "disk full";
    if (failingPaths.count(path)) return "it is a folder";
    ++replaceCount;
    auto it = find(path);
    if (it != files.end())
      it->second = bytes;
    else
      files[path] = bytes;
    return {};
  }
  /// All or nothing, as DiskFiles: the first file that would fail is named, and none changes.
  FileProblem replaceTogether(const std::vector<FileChange>& changes) override {
    for (const FileChange& change : changes) {
      if (failReplace) return {change.path, "disk full"};
      if (failingPaths.count(change.path)) return {change.path, "it is a folder"};
    }
    for (const FileChange& change : changes) replace(change.path, change.bytes);
    return {};
  }
  std::optional<std::vector<std::string>> list(const std::string& folder) override {
    if (unreadableFolders.count(folder)) return std::nullopt;
    std::vector<std::string> names;
    for (const auto& [path, bytes] : files) {
      if (path.size() > folder.size() &&
          sameNameIgnoringCase(path.substr(0, folder.size()), folder))
        names.push_back(path.substr(folder.size()));
    }
    return names;
  }
  bool has(const std::string& path) { return find(path) != files.end(); }
  std::vector<std::string> lines(const std::string& path) { return splitLines(*read(path)); }

  /// Loads a data folder (the shipped one unless told otherwise).
  void loadShippedData(const std::filesystem::path& root = TASTRELLO_DATA) {
    namespace fs = std::filesystem;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      std::ostringstream bytes;
      bytes << in.rdbuf();
      const auto rel = fs::relative(entry.path(), root).generic_string();
      files[*utf8ToCp1252(rel)] = bytes.str();
    }
  }

 private:
  std::map<std::string, std::string>::iterator find(const std::string& path) {
    auto it = files.find(path);
    if (it != files.end()) return it;
    for (it = files.begin(); it != files.end(); ++it)
      if (sameNameIgnoringCase(it->first, path)) return it;
    return files.end();
  }
};

}  // namespace tastrello::testing
