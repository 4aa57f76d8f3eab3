// The window variables of replay: the loop mode, where replay stands and which way it goes,
// the loaded record's tables of events, and the chord played last. The window object is built
// on them (it inherits them under their names), and the replay works on them.
#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <string_view>

#include "shell/shell_variables.h"

namespace tastrello {

/// The replay's loop mode. The window names it by the words "Single" (forwards in a loop),
/// "Repeat" (back and forth) and "Test" (the dry run of a load), empty before any is set; it is
/// compared and set by those names, and by its kind.
class ReplayMode {
 public:
  enum Kind : unsigned char { None, Single, Repeat, Test, Other };

  ReplayMode(Kind kind = None) : kind_(kind) {}
  ReplayMode(std::string_view name) { *this = name; }
  ReplayMode(const char* name) : ReplayMode(std::string_view(name)) {}
  ReplayMode(const std::string& name) : ReplayMode(std::string_view(name)) {}
  ReplayMode& operator=(std::string_view name);
  ReplayMode& operator=(const char* name) { return *this = std::string_view(name); }
  ReplayMode& operator=(const std::string& name) { return *this = std::string_view(name); }

  Kind kind() const { return kind_; }
  /// The mode's word ("" before any is set; a word the program does not know, as it was set).
  std::string name() const;
  operator std::string() const { return name(); }
  bool empty() const { return kind_ == None; }

  friend bool operator==(const ReplayMode& mode, Kind kind) { return mode.kind_ == kind; }
  friend bool operator==(const ReplayMode& mode, std::string_view name) {
    return mode.name() == name;
  }
  friend std::ostream& operator<<(std::ostream& out, const ReplayMode& mode);

 private:
  Kind kind_ = None;
  std::string other_;  ///< the word of a mode the program does not know
};

struct ReplayVariables {
  ReplayMode replayMode = ReplayMode::Single;
  int replayPosition = 0;  ///< the current event; 0 before the first, -1 armed by a first Play
  int replayEnd = 0;       ///< where a pass turns: the loaded record's events and one
  int replayStep = 0;      ///< +1 forwards, -1 backwards
  bool testPassDone = false;
  bool replayStarted = false;
  std::array<std::string, kTableSlots> eventButtonLines;  ///< events 1..200: buttons or a rest
  std::array<std::string, kTableSlots> eventNameLines;    ///< and their note names
  std::array<int, 5> chordButtons{};          ///< the chord played last, fields 1..4
  std::array<std::string, 5> chordNames;
};

}  // namespace tastrello
