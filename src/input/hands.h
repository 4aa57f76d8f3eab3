// Playing with the hands: buttons held down on the computer keyboard or a MIDI instrument, and
// the bellows. Each change says which buttons stop and which start, as on a real accordion.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "input/keymap.h"

namespace tastrello {

/// The positions the hands hold (0..33 in the pull block) and the bellows direction; a held
/// position sounds position + 34 while pushing.
class Hands {
 public:
  struct Change {
    std::vector<int> stopped, started;  ///< buttons, in the order they change
    bool operator==(const Change&) const = default;
  };

  /// A position goes down; a position already held changes nothing (key repeat).
  Change press(int position);
  Change release(int position);
  /// Turning the bellows stops the held buttons of one block and starts the same positions
  /// of the other.
  Change turnBellows(bool push);
  /// Lets everything go.
  Change releaseAll();

  bool pushing() const { return push_; }
  int button(int position) const { return position + (push_ ? kButtonsPerBlock : 0); }
  const std::vector<int>& held() const { return held_; }

 private:
  std::vector<int> held_;
  bool push_ = false;
};

/// A button's MIDI note per button (nothing where the layout gives none).
using ButtonNotes = std::array<std::optional<int>, 2 * kButtonsPerBlock>;

/// Where pitches played on a MIDI instrument sit on the keyboard.
struct PitchPlacement {
  bool push = false;
  std::vector<std::optional<int>> buttons;  ///< per pitch: its button, nothing when it has none
  bool operator==(const PitchPlacement&) const = default;
};

/// Buttons for the pitches held, the newest last. The bellows direction is the controller's
/// when the instrument sends one; otherwise the direction in which every pitch has a button,
/// the current one first (failing that, one where the newest has one). Each pitch takes, of its
/// buttons, the one nearest those placed before it (the first pitch: nearest `lastButton`).
/// Earlier pitches keep their buttons when the direction stays.
PitchPlacement placePitches(const std::vector<int>& pitches, const ButtonNotes& notes,
                            std::optional<bool> controllerPush, bool currentPush,
                            std::optional<int> lastButton);

/// Steps between two buttons of a block: ranks apart plus columns apart.
int buttonDistance(int a, int b);

}  // namespace tastrello
