// Records with rhythm for the tablature's tests: chords held for a number of steps and
// silences, written as a record holds them (a chord, then rests that ring on; silent rests).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "records/record_format.h"

namespace tastrello::testing {

/// The button index of a row's button: row 1 to 3, button from 1 (the top); `push` takes the
/// push block's. The middle row's twelfth button ends the block.
inline int button(int row, int number, bool push = false) {
  return (push ? 34 : 0) + (row == 2 && number == 12 ? 33 : 3 * (number - 1) + (row - 1));
}

inline std::string chord(std::initializer_list<int> buttons) {
  std::string line;
  for (int b : buttons) line += (b < 10 ? "0" : "") + std::to_string(b) + "/";
  return line;
}

/// A record from (button line, steps) pairs; an empty line is a silence of that many steps.
inline std::vector<std::string> tune(const std::vector<std::pair<std::string, int>>& notes) {
  std::vector<std::string> lines;
  for (const auto& [line, steps] : notes)
    for (int k = 0; k < steps; ++k)
      lines.push_back(line.empty() ? kBreakMute : k == 0 ? line : kBreakPlay);
  return lines;
}

/// A waltz on a grid of eighths: a pickup of a quarter, dotted quarters, eighths, a bar's
/// silence, a chord tied across a bar line, push and pull.
inline std::vector<std::string> waltz() {
  const std::string a = chord({button(2, 6)}), b = chord({button(1, 7), button(2, 8)});
  const std::string c = chord({button(2, 7, true)}), d = chord({button(3, 5, true)});
  const std::string e = chord({button(1, 4), button(2, 4), button(3, 4)});
  return tune({{a, 1}, {b, 1},                    // pickup: two eighths
               {c, 3}, {d, 1}, {a, 2},            // dotted quarter, eighth, quarter
               {e, 4}, {"", 2},                   // half, quarter rest
               {b, 1}, {c, 1}, {d, 1}, {a, 1}, {"", 1}, {b, 1},
               {"", 6},                           // a whole bar's silence
               {c, 8},                            // across the bar line: tied
               {chord({button(2, 10), button(2, 11)}), 2}, {chord({button(1, 2)}), 2}});
}

/// A song in 4/4 on a grid of eighths with a pickup of two eighths (Meter{4, 2, 2, ...}):
/// dotted quarters and eighths, two-note chords, a held whole note, rests, push and pull.
inline std::vector<std::string> song() {
  const auto z = [](int row, int number) { return button(row, number); };
  const auto d = [](int row, int number) { return button(row, number, true); };
  return tune({{chord({z(2, 5)}), 1}, {chord({z(2, 6)}), 1},
               {chord({d(2, 7), d(2, 9)}), 3}, {chord({d(2, 6), d(2, 8)}), 1},
               {chord({d(2, 5), d(2, 7)}), 2}, {chord({z(2, 6)}), 2},
               {chord({z(1, 7), z(2, 8)}), 4}, {"", 2}, {chord({z(2, 6)}), 2},
               {chord({z(2, 7)}), 1}, {chord({z(2, 8)}), 1}, {chord({z(2, 9)}), 1},
               {chord({z(2, 8)}), 1}, {chord({d(2, 7), d(2, 9)}), 3}, {chord({d(3, 6)}), 1},
               {chord({d(2, 6), d(2, 8)}), 8},
               {chord({z(2, 8), z(2, 10)}), 3}, {chord({z(2, 7)}), 1}, {chord({z(2, 6)}), 1},
               {chord({z(1, 7)}), 1}, {chord({d(2, 5)}), 2},
               {chord({d(2, 6)}), 2}, {"", 1}, {chord({z(2, 5)}), 1},
               {chord({z(1, 6), z(2, 6)}), 4},
               {chord({z(2, 7)}), 1}, {chord({z(2, 6)}), 1}, {chord({z(2, 5)}), 1},
               {chord({z(2, 4)}), 1}, {chord({d(2, 5)}), 2}, {chord({d(2, 4)}), 2},
               {chord({d(2, 4), d(2, 6)}), 6}});
}

}  // namespace tastrello::testing
