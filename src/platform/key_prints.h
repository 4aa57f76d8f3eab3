// What the learner's keyboard layout prints on the keys, read from the X server: the buttons
// show the letters on the learner's own keys, not the US names of their places.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "input/keymap.h"

namespace tastrello {

/// The character an X11 key symbol prints, as UTF-8; "" for none (a control key, an unknown
/// symbol). A dead key (an accent waiting for its letter) prints its accent.
std::string printedCharacter(std::uint32_t keysym);

/// What the layout in force on the X server prints on each key a map may name: the server's
/// keymap read afresh, at the group in force, each key unshifted. Nothing when the window
/// system is not X11 (offscreen, Wayland) or the server gives no keymap; a key whose character
/// Windows-1252 cannot hold is left out.
std::optional<KeyPrints> keyPrintsOfTheServer();

}  // namespace tastrello
