// Colours as the window keeps them.
#pragma once

#include <cstdint>

namespace tastrello {

/// A 24-bit colour &HBBGGRR, red in the low byte.
using Colour = std::uint32_t;
constexpr Colour kWhite = 0xFFFFFF;
/// No colour of its own: the control is drawn in the view's default look.
constexpr Colour kDefaultColour = 0xFFFFFFFF;

constexpr Colour kIdleKeyColour = 0xC0C0C0;
constexpr Colour kLitKeyColour = 0x55F0;
// While practising, a held button shows what it is to the chord waited for.
constexpr Colour kRightKeyColour = 0x3CB43C;        ///< one of its buttons
constexpr Colour kWrongButtonColour = 0x3C28DC;     ///< a button it does not have
constexpr Colour kWrongDirectionColour = 0x00BEF5;  ///< its place, the other bellows block
/// A bass button practice waits for: the blue of the treble's markers, lighter.
constexpr Colour kMarkedBassColour = 0xFFAA78;

}  // namespace tastrello
