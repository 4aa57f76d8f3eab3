// Start-up and loading against damaged and oversized files of the working folder: the time
// and the peak memory of each case, measured in a child process of its own so that the peaks
// do not mix. Also the cost of one report after none and after a million.
//
//   bench_files            every case
//   bench_files NAME       one case (shipped, keymap-60mb, keymap-2m-bad, keymap-10k-bad,
//                          settings-2m-bad, history-4m-junk, history-1m-junk, reports)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "fakes.h"
#include "platform/disk_files.h"

namespace fs = std::filesystem;
using namespace tastrello;
using Seconds = std::chrono::duration<double>;

namespace {

fs::path freshFolder() {
  const fs::path dir =
      fs::temp_directory_path() / ("tastrello-bench-files-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(TASTRELLO_DATA, dir, fs::copy_options::recursive);
  return dir;
}

void writeLines(const fs::path& file, const std::string& line, std::size_t count) {
  std::ofstream out(file, std::ios::binary);
  std::string block;
  for (int i = 0; i < 4096; ++i) block += line + "\r\n";
  for (std::size_t i = 0; i < count / 4096; ++i) out << block;
  for (std::size_t i = 0; i < count % 4096; ++i) out << line << "\r\n";
}

long peakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

/// Runs `prepare` and then the timed `run` in a child; prints the time, the peak memory and
/// the problems reported.
void measure(const char* name, const std::function<void(const fs::path&)>& prepare,
             const std::function<int(Form1&, DiskFiles&)>& run) {
  const fs::path dir = freshFolder();
  prepare(dir);
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    DiskFiles files(dir);
    testing::FakePort port;
    Form1 form({&port, &files, nullptr});
    const long before = peakMegabytes();
    const auto start = std::chrono::steady_clock::now();
    const int problems = run(form, files);
    const double seconds = Seconds(std::chrono::steady_clock::now() - start).count();
    std::printf("%-18s %9.1f ms  peak %5ld MB (%ld MB before)  %d problems reported\n", name,
                seconds * 1000, peakMegabytes(), before, problems);
    std::fflush(stdout);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  fs::remove_all(dir);
}

int startUp(Form1& form, DiskFiles&) {
  form.Form_Load();
  return form.status().problemCount();
}

int loadRecordWithHistory(Form1& form, DiskFiles&) {
  form.Form_Load();
  const int before = form.status().problemCount();
  form.refreshFileList(form.RecordList);
  const auto& items = form.RecordList.items;
  form.RecordList.selected =
      int(std::find(items.begin(), items.end(), "Records_Demo.txt") - items.begin());
  form.RecordList_Click();
  return form.status().problemCount() - before;
}

void reportCost() {
  testing::MemoryFiles files;
  files.loadShippedData();
  testing::FakePort port;
  Form1 form({&port, &files, nullptr});
  form.Form_Load();
  const std::string text = "Key map line 1234567 skipped: unknown key \"Foo\".";
  auto timeOf = [&](int count) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) form.status().report(text);
    return Seconds(std::chrono::steady_clock::now() - start).count() / count * 1e6;
  };
  const double first = timeOf(40);
  timeOf(1'000'000);
  const double later = timeOf(100'000);
  std::printf("%-18s %9.3f us a report among the first 40; %.3f us after a million\n", "reports",
              first, later);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  auto wanted = [&](const char* name) { return only.empty() || only == name; };
  if (wanted("shipped"))
    measure(
        "shipped", [](const fs::path&) {}, startUp);
  if (wanted("keymap-60mb"))
    measure(
        "keymap-60mb", [](const fs::path& d) { writeLines(d / "Data/Keymap.txt", "", 30'000'000); },
        startUp);
  if (wanted("keymap-2m-bad"))
    measure(
        "keymap-2m-bad",
        [](const fs::path& d) { writeLines(d / "Data/Keymap.txt", "Foo=1", 2'000'000); }, startUp);
  if (wanted("keymap-10k-bad"))
    measure(
        "keymap-10k-bad",
        [](const fs::path& d) { writeLines(d / "Data/Keymap.txt", "Foo=1", 10'000); }, startUp);
  if (wanted("layout-60mb"))
    measure(
        "layout-60mb",
        [](const fs::path& d) { writeLines(d / "Notes/Notes_G-C-F.txt", "", 30'000'000); },
        startUp);
  if (wanted("language-60mb"))
    measure(
        "language-60mb",
        [](const fs::path& d) { writeLines(d / "Data/Lang_ger.txt", "", 30'000'000); }, startUp);
  if (wanted("settings-2m-bad"))
    measure(
        "settings-2m-bad",
        [](const fs::path& d) {
          std::ifstream in(d / "Data/Tastrel.Ini", std::ios::binary);
          std::string shipped((std::istreambuf_iterator<char>(in)), {});
          in.close();
          writeLines(d / "Data/Tastrel.Ini", "MIDI-LIST:", 2'000'000);
          std::ofstream(d / "Data/Tastrel.Ini", std::ios::binary | std::ios::app) << shipped;
        },
        startUp);
  if (wanted("history-4m-junk"))
    measure(
        "history-4m-junk",
        [](const fs::path& d) {
          writeLines(d / "Records/Practice_Records_Demo.txt", "PASS;junk;x=1", 4'000'000);
        },
        loadRecordWithHistory);
  if (wanted("history-1m-junk"))
    measure(
        "history-1m-junk",
        [](const fs::path& d) {
          writeLines(d / "Records/Practice_Records_Demo.txt", "PASS;junk;x=1", 1'000'000);
        },
        loadRecordWithHistory);
  if (wanted("reports")) reportCost();
  return 0;
}
