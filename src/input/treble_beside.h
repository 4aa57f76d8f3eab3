// The treble buttons beside the window's 68: those of a fourth and a fifth row, and any a row
// has past the three rows of 11, 12 and 11 buttons that a record file numbers.
//
// They come with an instrument of more rows whose first three are the layout on the keyboard:
// the keyboard's 68 buttons then stand where that instrument has its first rows (its columns
// closer and its buttons smaller, so that both blocks fit), and these stand beside them, each in
// its block. Each has the direction of its block, as the 68 have: a button of the pull block
// sounds its pull note. They sound on the treble's channel, each pitch started once however
// many buttons hold it.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "input/held_places.h"
#include "input/hands.h"
#include "instrument/instrument.h"
#include "instrument/instrument_places.h"

namespace tastrello {

/// Whether an instrument brings treble buttons beyond a record file's rows that the keyboard
/// can play beside its own: more than three rows, the first three those of the layout on the
/// keyboard (its notes per button, as the layout gives them).
bool hasTrebleBeside(const Instrument& instrument, const ButtonNotes& keyboard);

class TrebleBeside {
 public:
  /// What the sound must do: the pitches to let go, then those to start.
  struct Change {
    std::vector<int> stopped, started;
    bool operator==(const Change&) const = default;
  };

  TrebleBeside() { use(nullptr); }

  /// The instrument whose treble the window shows (nothing, or one without buttons beside the
  /// keyboard's: the three rows alone, where they have always been). Everything held is let go.
  Change use(const Instrument* instrument);
  /// Whether the treble is an instrument's of more rows.
  bool present() const { return present_; }

  /// Where the keyboard's button of a record number (0..67) stands; nothing for one the
  /// instrument does not have, which is hidden.
  std::optional<TwipRect> keyRect(int button) const;

  /// The buttons beside, the pull block's first.
  int placeCount() const { return static_cast<int>(places_.size()); }
  const ButtonAt& at(int place) const { return places_[static_cast<std::size_t>(place)].at; }
  const TwipRect& rectOf(int place) const { return places_[static_cast<std::size_t>(place)].rect; }
  /// The note as players name it, as the keyboard's buttons are captioned.
  const std::string& caption(int place) const {
    return places_[static_cast<std::size_t>(place)].name;
  }
  int pitchOf(int place) const { return places_[static_cast<std::size_t>(place)].pitch; }
  /// The place of a button beside; nothing for one of the keyboard or of no instrument.
  std::optional<int> placeOf(const ButtonAt& at) const;
  /// A button beside that sounds the pitch in that direction, for a MIDI instrument's note that
  /// none of the keyboard's sounds.
  std::optional<int> placeForPitch(int pitch, bool push) const;

  bool held(int place) const { return holders_.held(place); }
  /// The buttons the learner holds (a click, a key, a MIDI note), replay's aside: what a chord
  /// taken into the record plays beside the keyboard's.
  std::vector<ButtonAt> heldButtons() const;
  /// Shown as to be played: the places marked (practice waits for them) and replay's.
  bool marked(int place) const;
  void mark(std::vector<int> places) { marks_ = std::move(places); }
  /// The place a MIDI note holds; nothing for one no button beside holds.
  std::optional<int> midiPlaceOf(int pitch) const;
  Change hold(int place, Holder by);
  Change letGo(int place, Holder by);
  /// A click: holds a place the mouse does not hold, lets go one it does.
  Change click(int place);
  Change releaseAll(Holder by);
  /// The pitches sounding now: what a device reset has cut and must sound again.
  std::vector<int> sounding() const { return sounding_.notes(); }

  /// A MIDI instrument's note that none of the keyboard's buttons sounds: held on the button
  /// beside that sounds it in the bellows' direction (again when the bellows turn); nothing
  /// when there is none.
  std::optional<Change> midiNoteOn(int pitch, bool push);
  /// Its note-off: nothing when no button beside held it.
  std::optional<Change> midiNoteOff(int pitch);

  /// Replay reached an event that plays these buttons beside (see trebleBeside()): those of the
  /// event before let go and these sound and are marked. An event that rings on without buttons
  /// of its own lets those before ring on.
  Change replayEvent(const std::vector<ButtonAt>& buttons, bool ringing);

 private:
  struct Place {
    ButtonAt at;
    TwipRect rect;
    std::string name;
    int pitch = 0;
  };

  bool present_ = false;
  std::vector<Place> places_;
  std::array<std::optional<TwipRect>, kKeyCount> keyRects_{};
  HeldPlaces holders_;
  SoundingNotes<int> sounding_;
  std::map<int, int> midiPlaces_;  ///< per MIDI pitch held here: its place
  std::vector<int> marks_;
};

}  // namespace tastrello
