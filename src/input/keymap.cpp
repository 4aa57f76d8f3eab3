#include "input/keymap.h"

#include <algorithm>
#include <functional>
#include <array>
#include <climits>
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

namespace {

/// A role of a key (the bellows, commit, the two rests) and the key the file gives it.
struct Role {
  const char* name;
  std::string KeyMap::*key;
  Text phrase;
  std::string set;  ///< the key the file gives it ("" when it gives none)
  int line = 0;
};

/// A key the file puts on a button position.
struct Binding {
  std::string key;
  int position;
  int line;
};

/// What a key map file says, line by line, before the keys are shared out.
struct KeyMapLines {
  std::array<Role, 4> roles{{{"BELLOWS", &KeyMap::bellows, Text::RoleBellows, {}, 0},
                             {"COMMIT", &KeyMap::commit, Text::RoleCommit, {}, 0},
                             {"REST-PLAY", &KeyMap::restPlay, Text::RoleRestPlay, {}, 0},
                             {"REST-MUTE", &KeyMap::restMute, Text::RoleRestMute, {}, 0}}};
  std::vector<Binding> bindings;
  std::map<std::string, int> boundOn;  // key -> the line that gave it a button
};

using Skip = std::function<void(int line, Text why, std::initializer_list<std::string> args)>;

/// One line of the file: a role's key, or a key's button position.
void readKeyMapLine(KeyMapLines& read, int number, const std::string& line, const Skip& skip) {
  const auto equals = line.find('=');
  if (equals == std::string::npos) {
    skip(number, Text::KeyNoEquals, {});
    return;
  }
  const std::string left = trimmed(std::string_view(line).substr(0, equals));
  const std::string right = trimmed(std::string_view(line).substr(equals + 1));
  const auto role = std::find_if(read.roles.begin(), read.roles.end(),
                                 [&](const Role& r) { return left == r.name; });
  if (role != read.roles.end()) {
    if (!isKnownKeyName(right))
      skip(number, Text::KeyUnknown, {right});
    else if (role->line != 0)
      skip(number, Text::KeyRoleTwice, {left, std::to_string(role->line)});
    else
      role->set = right, role->line = number;
    return;
  }
  if (!isKnownKeyName(left)) {
    skip(number, Text::KeyUnknown, {left});
    return;
  }
  const auto position = parseInt16(right);
  if (!position || *position < 0 || *position >= kButtonsPerBlock) {
    skip(number, Text::KeyPosition, {right});
    return;
  }
  if (const auto before = read.boundOn.find(left); before != read.boundOn.end()) {
    skip(number, Text::KeyTwice, {left, std::to_string(before->second)});
    return;
  }
  read.boundOn.emplace(left, number);
  read.bindings.push_back({left, *position, number});
}

/// The roles take their keys first, in their order; each key does one thing.
void shareOutKeys(KeyMap& map, KeyMapLines& read, const Skip& skip, UiLanguage language) {
  std::map<std::string, Text> taken;  // key -> the role that has it
  for (Role& role : read.roles) {
    std::string& key = map.*role.key;  // its default until the file's line is taken
    if (!role.set.empty()) {
      if (const auto owner = taken.find(role.set); owner != taken.end())
        skip(role.line, Text::KeyTaken, {role.set, uiText(language, owner->second)});
      else
        key = role.set;
    }
    if (const auto owner = taken.find(key); owner != taken.end()) {
      skip(0, Text::KeyRoleLost,
           {uiText(language, role.phrase), key, uiText(language, owner->second)});
      key.clear();
      continue;
    }
    taken.emplace(key, role.phrase);
  }
  for (const Binding& binding : read.bindings) {
    if (const auto owner = taken.find(binding.key); owner != taken.end())
      skip(binding.line, Text::KeyTaken, {binding.key, uiText(language, owner->second)});
    else
      map.positions[binding.key] = binding.position;
  }
}

}  // namespace

KeyMap parseKeyMap(std::string_view bytes, std::vector<KeyMapProblem>& problems,
                   UiLanguage language) {
  KeyMap map;
  const std::size_t firstProblem = problems.size();
  const Skip skip = [&](int line, Text why, std::initializer_list<std::string> args) {
    problems.push_back({line, uiText(language, why, args)});
  };
  KeyMapLines read;
  const auto lines = splitLines(bytes);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string line = trimmed(lines[i]);
    if (line.empty() || line[0] == '#') continue;
    readKeyMapLine(read, static_cast<int>(i + 1), line, skip);
  }
  shareOutKeys(map, read, skip, language);
  // In the order of the file; what concerns the map as a whole last.
  const auto ours = problems.begin() + static_cast<std::ptrdiff_t>(firstProblem);
  std::stable_sort(ours, problems.end(), [](const auto& x, const auto& y) {
    return (x.line == 0 ? INT_MAX : x.line) < (y.line == 0 ? INT_MAX : y.line);
  });
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
  std::vector<std::string> names(kButtonsPerBlock);
  for (const auto& [key, position] : map.positions) names[static_cast<std::size_t>(position)] = key;
  return names;
}

KeyPrints parseKeyPrints(std::string_view lines) {
  KeyPrints prints;
  for (const std::string& line : splitLines(lines)) {
    // The first "=" ends the name: the place of the US "=" prints "=" as well ("Equal==").
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || !isKnownKeyName(line.substr(0, equals))) continue;
    const std::string printed = line.substr(equals + 1);
    // What shows nothing on a badge (a control character, a blank) is left out.
    if (printed.size() != 1 || !showsInk(static_cast<unsigned char>(printed[0]))) continue;
    prints[line.substr(0, equals)] = printed;
  }
  return prints;
}

std::string keyPrintsText(const KeyPrints& prints) {
  std::string text;
  for (const auto& [key, printed] : prints) text += key + "=" + printed + "\n";
  return text;
}

}  // namespace tastrello
