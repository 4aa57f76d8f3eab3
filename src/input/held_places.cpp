#include "input/held_places.h"

namespace tastrello {

bool HeldPlaces::hold(int place, Holder by) {
  auto& who = holders_[place];
  who.push_back(by);
  return who.size() == 1;
}

bool HeldPlaces::letGo(int place, Holder by) {
  const auto it = holders_.find(place);
  if (it == holders_.end()) return false;
  auto& who = it->second;
  const auto holder = std::find(who.begin(), who.end(), by);
  if (holder == who.end()) return false;
  who.erase(holder);
  if (!who.empty()) return false;
  holders_.erase(it);
  return true;
}

bool HeldPlaces::heldBy(int place, Holder by) const {
  const auto it = holders_.find(place);
  return it != holders_.end() && std::find(it->second.begin(), it->second.end(), by) !=
                                     it->second.end();
}

std::vector<int> HeldPlaces::places() const {
  std::vector<int> out;
  for (const auto& entry : holders_) out.push_back(entry.first);
  return out;
}

std::vector<int> HeldPlaces::places(Holder by) const {
  std::vector<int> out;
  for (const auto& entry : holders_)
    if (heldBy(entry.first, by)) out.push_back(entry.first);
  return out;
}

std::vector<int> HeldPlaces::releaseAll(Holder by) {
  std::vector<int> freed;
  for (auto it = holders_.begin(); it != holders_.end();) {
    auto& who = it->second;
    who.erase(std::remove(who.begin(), who.end(), by), who.end());
    if (!who.empty()) {
      ++it;
      continue;
    }
    freed.push_back(it->first);
    it = holders_.erase(it);
  }
  return freed;
}

std::vector<int> HeldPlaces::clear() {
  std::vector<int> freed = places();
  holders_.clear();
  return freed;
}

}  // namespace tastrello
