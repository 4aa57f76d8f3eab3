#include "input/hands.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace tastrello {

Hands::Change Hands::press(int position) {
  if (position < 0 || position >= kButtonsPerBlock ||
      std::find(held_.begin(), held_.end(), position) != held_.end())
    return {};
  held_.push_back(position);
  return {{}, {button(position)}};
}

Hands::Change Hands::release(int position) {
  const auto it = std::find(held_.begin(), held_.end(), position);
  if (it == held_.end()) return {};
  held_.erase(it);
  return {{button(position)}, {}};
}

Hands::Change Hands::turnBellows(bool push) {
  if (push == push_) return {};
  Change change;
  for (int position : held_) change.stopped.push_back(button(position));
  push_ = push;
  for (int position : held_) change.started.push_back(button(position));
  return change;
}

Hands::Change Hands::releaseAll() {
  Change change;
  for (int position : held_) change.stopped.push_back(button(position));
  held_.clear();
  return change;
}

int buttonDistance(int a, int b) {
  const ButtonPlace p = placeOf(a), q = placeOf(b);
  return std::abs(p.number - q.number) + std::abs(p.row - q.row);
}

namespace {

bool hasButton(int pitch, const ButtonNotes& notes, bool push) {
  const int base = push ? kButtonsPerBlock : 0;
  for (int i = base; i < base + kButtonsPerBlock; ++i)
    if (notes[static_cast<std::size_t>(i)] == pitch) return true;
  return false;
}

std::optional<int> nearestButton(int pitch, const ButtonNotes& notes, bool push,
                                 const std::vector<int>& placed, std::optional<int> lastButton) {
  const int base = push ? kButtonsPerBlock : 0;
  std::optional<int> best;
  int bestCost = std::numeric_limits<int>::max();
  for (int i = base; i < base + kButtonsPerBlock; ++i) {
    if (notes[static_cast<std::size_t>(i)] != pitch) continue;
    if (std::find(placed.begin(), placed.end(), i) != placed.end()) continue;
    int cost = 0;
    for (int other : placed) cost += buttonDistance(i, other);
    if (placed.empty() && lastButton) cost = buttonDistance(i, *lastButton);
    if (cost < bestCost) best = i, bestCost = cost;  // ties: the lower button
  }
  return best;
}

}  // namespace

PitchPlacement placePitches(const std::vector<int>& pitches, const ButtonNotes& notes,
                            std::optional<bool> controllerPush, bool currentPush,
                            std::optional<int> lastButton) {
  PitchPlacement placement;
  if (controllerPush) {
    placement.push = *controllerPush;
  } else {
    const bool order[] = {currentPush, !currentPush};
    auto holdsAll = [&](bool push) {
      return std::all_of(pitches.begin(), pitches.end(),
                         [&](int p) { return hasButton(p, notes, push); });
    };
    placement.push = currentPush;
    if (holdsAll(order[0]))
      placement.push = order[0];
    else if (holdsAll(order[1]))
      placement.push = order[1];
    else if (!pitches.empty() && !hasButton(pitches.back(), notes, order[0]) &&
             hasButton(pitches.back(), notes, order[1]))
      placement.push = order[1];
  }
  std::vector<int> placed;
  for (int pitch : pitches) {
    const auto button = nearestButton(pitch, notes, placement.push, placed, lastButton);
    if (button) placed.push_back(*button);
    placement.buttons.push_back(button);
  }
  return placement;
}

}  // namespace tastrello
