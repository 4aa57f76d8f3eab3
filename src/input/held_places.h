// Who holds the buttons of a side of the instrument, and which notes they sound.
//
// A button sounds while anyone holds it: a click latches it until the next click on it, a key or
// a MIDI note holds it while down, replay holds it for its event. Two holders may hold the same
// button (two notes of a MIDI instrument, a key and a click): it sounds until both let go. And
// two buttons may sound the same note: it starts with the first and stops with the last.
#pragma once

#include <algorithm>
#include <map>
#include <vector>

namespace tastrello {

enum class Holder { Mouse, Key, Midi, Replay };

class HeldPlaces {
 public:
  /// True when nobody held the place before: it starts sounding.
  bool hold(int place, Holder by);
  /// True when nobody holds the place now: it stops sounding.
  bool letGo(int place, Holder by);
  bool held(int place) const { return holders_.count(place) > 0; }
  bool heldBy(int place, Holder by) const;
  /// The places held, in place order; those one kind of holder holds.
  std::vector<int> places() const;
  std::vector<int> places(Holder by) const;
  /// Lets go what one kind of holder holds: the places nobody holds now, in place order.
  std::vector<int> releaseAll(Holder by);
  /// Lets go everything: the places that were held.
  std::vector<int> clear();

 private:
  std::map<int, std::vector<Holder>> holders_;
};

/// How many buttons held sound each note.
template <typename Note>
class SoundingNotes {
 public:
  /// True for a note no button sounded before.
  bool start(const Note& note) { return count_[note]++ == 0; }
  /// True for a note no button sounds now.
  bool stop(const Note& note) {
    const auto it = count_.find(note);
    if (it == count_.end() || --it->second > 0) return false;
    count_.erase(it);
    return true;
  }
  void clear() { count_.clear(); }
  std::vector<Note> notes() const {
    std::vector<Note> out;
    for (const auto& entry : count_) out.push_back(entry.first);
    return out;
  }

 private:
  std::map<Note, int> count_;
};

}  // namespace tastrello
