// Keys pressed on the real window (its own Xvfb, the real clock) by the X test extension at
// known offsets from each chord's moment while a record plays along: how far each deviation
// as judged is from the one pressed, idle and with both cores busy. Beside it, in the same run,
// the baseline: the error had each key been judged by the moment the window's thread took it.
#include <cstdio>
#include <cstdlib>

#include "x11_harness.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

/// How far each error lies outside the span in which the server took the key (0 inside it): the
/// program's own part, whatever the server's delay.
std::vector<double> beyondServer(const std::vector<double>& errors,
                                 const std::vector<double>& lag) {
  std::vector<double> out;
  for (std::size_t i = 0; i < errors.size() && i < lag.size(); ++i)
    out.push_back(errors[i] < 0 ? -errors[i] : std::max(0.0, errors[i] - lag[i]));
  return out;
}

void report(const char* label, const KeyTimingErrors& e) {
  std::printf("%s: %zu keys, %zu early releases\n", label, e.stamped.size(), e.releases.size());
  std::printf("  judged minus pressed            median %+5.1f  p99 %+5.1f  largest %5.1f\n",
              percentile(e.stamped, 0.5), percentile(e.stamped, 0.99), largest(e.stamped));
  std::printf("  the server took the key after   median %5.1f  p99 %5.1f\n",
              percentile(e.serverLag, 0.5), percentile(e.serverLag, 0.99));
  std::printf("  baseline, judged when taken     median %+5.1f  p99 %+5.1f  largest %5.1f\n",
              percentile(e.taken, 0.5), percentile(e.taken, 0.99), largest(e.taken));
  const auto stamped = beyondServer(e.stamped, e.serverLag);
  const auto taken = beyondServer(e.taken, e.serverLag);
  std::printf(
      "  beyond the server's time: judged  p99 %5.1f  largest %5.1f;  baseline  p99 %5.1f  "
      "largest %5.1f\n",
      percentile(stamped, 0.99), largest(stamped), percentile(taken, 0.99), largest(taken));
  // A release the server took late is judged less early: its error lies in [-lag, 0].
  std::vector<double> released;
  for (std::size_t i = 0; i < e.releases.size() && i < e.releaseLag.size(); ++i)
    released.push_back(-e.releases[i]);
  const auto releases = beyondServer(released, e.releaseLag);
  std::printf(
      "  early releases, judged - true   median %+5.1f  largest %5.1f;  beyond the server's "
      "time: largest %5.1f\n",
      percentile(e.releases, 0.5), largest(e.releases), largest(releases));
}

bool run(const XServer& server, const char* label, int busyCores, int chords) {
  AlongOnX window(server.display);
  if (!window.active()) {
    std::printf("%s: the window never got the keyboard\n", label);
    return false;
  }
  KeyTimingErrors errors;
  std::string problem;
  {
    BusyCores busy(busyCores);
    problem = window.play(chords, 120, errors);
  }
  if (!problem.empty()) {
    std::printf("%s: %s\n", label, problem.c_str());
    return false;
  }
  report(label, errors);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int chords = argc > 1 ? std::max(8, std::atoi(argv[1])) : 64;
  XServer server;
  prepareX(server);
  if (server.display.empty()) {
    std::printf("Key timing: not measured: %s\n", server.why.c_str());
    return 0;
  }
  QApplication app(argc, argv);
  std::printf(
      "Key timing (ms): %d chords at 120 a minute, each key pressed -40, 0, +25 or +60 "
      "ms from its chord's moment on the real window; the deviation judged minus the one "
      "pressed\n",
      chords);
  const bool idle = run(server, "idle", 0, chords);
  const bool busy = run(server, "both cores busy", 2, chords);
  return idle && busy ? 0 : 1;
}
