// The name of a key by its place on the keyboard, as on a US keyboard and as Qt names the keys
// (Q, 1, Semicolon, BracketLeft ...), so that every keyboard layout plays by the same places.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace tastrello {

/// The key's name from the scan code the window system reports (X11 and Wayland give the
/// evdev code + 8); where that is not known, the name of the key Qt reports.
std::string physicalKeyName(std::uint32_t nativeScanCode, int qtKey, bool scanCodesAreEvdev);

/// The keys a key map may name by their Linux input event codes (an X11 key code less 8).
const std::map<std::uint32_t, std::string>& evdevKeyNames();

}  // namespace tastrello
