#include "input/keymap.h"

#include <algorithm>
#include <set>

#include "shell/text.h"

namespace tastrello {

namespace {

const std::set<std::string, std::less<>>& knownKeys() {
  static const std::set<std::string, std::less<>> keys = [] {
    std::set<std::string, std::less<>> k;
    for (char c = 'A'; c <= 'Z'; ++c) k.insert(std::string(1, c));
    for (char c = '0'; c <= '9'; ++c) k.insert(std::string(1, c));
    for (const char* name :
         {"Minus",  "Equal", "BracketLeft", "BracketRight", "Semicolon", "Apostrophe", "Comma",
          "Period", "Slash", "Backslash",   "QuoteLeft",    "Less",      "Space",      "Return",
          "Tab",    "Shift", "Control",     "Alt",          "CapsLock",  "Backspace"})
      k.insert(name);
    return k;
  }();
  return keys;
}

std::string trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return std::string(s);
}

}  // namespace

bool isKnownKeyName(std::string_view name) {
  return knownKeys().count(name) > 0;
}

KeyMap parseKeyMap(std::string_view bytes, std::vector<KeyMapProblem>& problems) {
  KeyMap map;
  std::map<std::string, std::string*> roles{{"BELLOWS", &map.bellows},
                                            {"COMMIT", &map.commit},
                                            {"REST-PLAY", &map.restPlay},
                                            {"REST-MUTE", &map.restMute}};
  std::set<std::string> used;  // keys taken by a line of the file
  const auto lines = splitLines(bytes);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int number = static_cast<int>(i + 1);
    const std::string line = trimmed(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) {
      problems.push_back({number, "no \"=\""});
      continue;
    }
    const std::string left = trimmed(std::string_view(line).substr(0, equals));
    const std::string right = trimmed(std::string_view(line).substr(equals + 1));
    if (const auto role = roles.find(left); role != roles.end()) {
      if (!isKnownKeyName(right)) {
        problems.push_back({number, "unknown key \"" + right + "\""});
      } else if (!used.insert(right).second) {
        problems.push_back({number, "the key " + right + " is used twice"});
      } else {
        *role->second = right;
      }
      continue;
    }
    if (!isKnownKeyName(left)) {
      problems.push_back({number, "unknown key \"" + left + "\""});
      continue;
    }
    const auto position = parseInt16(right);
    if (!position || *position < 0 || *position >= kPullButtons) {
      problems.push_back({number, "position \"" + right + "\" is not 0 to 33"});
      continue;
    }
    if (!used.insert(left).second) {
      problems.push_back({number, "the key " + left + " is used twice"});
      continue;
    }
    map.positions[left] = *position;
  }
  return map;
}

KeyMap defaultKeyMap() {
  KeyMap map;
  // Column by column, top to bottom: the left column holds positions 0, 3 ... 30, the middle
  // one 1, 4 ... 31 and 33, the right one 2, 5 ... 32.
  const std::vector<std::string> home{"A", "S", "D", "F",         "G",         "H",
                                      "J", "K", "L", "Semicolon", "Apostrophe"};
  const std::vector<std::string> top{"Q", "W", "E", "R", "T",           "Y",
                                     "U", "I", "O", "P", "BracketLeft", "BracketRight"};
  const std::vector<std::string> numbers{"1", "2", "3", "4", "5", "6", "7", "8", "9", "0", "Minus"};
  for (std::size_t i = 0; i < home.size(); ++i) map.positions[home[i]] = static_cast<int>(3 * i);
  for (std::size_t i = 0; i < 11; ++i) map.positions[top[i]] = static_cast<int>(3 * i + 1);
  map.positions[top[11]] = 33;
  for (std::size_t i = 0; i < numbers.size(); ++i)
    map.positions[numbers[i]] = static_cast<int>(3 * i + 2);
  return map;
}

std::vector<std::string> keyNamesByPosition(const KeyMap& map) {
  std::vector<std::string> names(kPullButtons);
  for (const auto& [key, position] : map.positions) names[static_cast<std::size_t>(position)] = key;
  return names;
}

}  // namespace tastrello
