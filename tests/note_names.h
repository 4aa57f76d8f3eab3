// The note names of the layouts' captions, as the tests check them.
#pragma once

#include <cctype>
#include <map>
#include <string>

namespace tastrello::testing {

/// Whether a caption names a MIDI note in the players' German names: naturals with their
/// octave (capital: the great octave, small letter alone: the small one, then 1, 2, 3 ...),
/// accidentals as name and sign without an octave (c#, f#, es, as, db, gb), and b (B flat)
/// like a natural.
inline bool namesNote(std::string caption, int note) {
  while (!caption.empty() && caption.back() == ' ') caption.pop_back();
  static const std::map<std::string, int> accidentals{{"c#", 1}, {"d#", 3}, {"f#", 6}, {"g#", 8},
                                                      {"db", 1}, {"es", 3}, {"gb", 6}, {"as", 8}};
  if (const auto it = accidentals.find(caption); it != accidentals.end())
    return note % 12 == it->second;
  static const std::map<char, int> naturals{{'c', 0}, {'d', 2}, {'e', 4},  {'f', 5},
                                            {'g', 7}, {'a', 9}, {'b', 10}, {'h', 11}};
  if (caption.empty()) return false;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(caption[0])));
  const auto it = naturals.find(letter);
  if (it == naturals.end()) return false;
  int octaveBase = 48;  // the small octave
  if (std::isupper(static_cast<unsigned char>(caption[0]))) {
    if (caption.size() != 1) return false;
    octaveBase = 36;
  } else if (caption.size() == 2) {
    if (!std::isdigit(static_cast<unsigned char>(caption[1]))) return false;
    octaveBase = 48 + 12 * (caption[1] - '0');
  } else if (caption.size() != 1) {
    return false;
  }
  return note == octaveBase + it->second;
}

}  // namespace tastrello::testing
