// The left hand: the bass side of the instrument in force, its buttons as the window shows them,
// and the basses and chords held with the mouse, the computer keyboard or a MIDI instrument.
//
// A bass button sounds in the direction the bellows go: its push sound while pushing, its pull
// sound while pulling, and turning the bellows turns every button held, as on the instrument.
// The basses sound on one channel (the Helikon reed) and the chords on another, each pitch
// started once however many buttons hold it and stopped when the last of them lets go.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "instrument/instrument.h"
#include "input/held_places.h"
#include "instrument/instrument_places.h"
#include "records/record_hands.h"

namespace tastrello {

/// A pitch of the left hand: a bass note (the Helikon reed) or a note of a chord.
struct BassNote {
  bool chord = false;
  int pitch = 0;
  bool operator==(const BassNote&) const = default;
};

class LeftHand {
 public:
  /// What the sound must do: the notes to let go and the notes to start, in that order.
  struct Change {
    std::vector<BassNote> stopped, started;
    bool operator==(const Change&) const = default;
  };
  /// Who holds a button (see held_places.h).
  using Holder = tastrello::Holder;

  /// The instrument whose bass side is played (its `file` as the settings name it); nothing
  /// takes the bass side away. Everything held is let go first.
  Change use(std::optional<Instrument> instrument, std::string file = "");
  bool present() const { return instrument_.has_value(); }
  const std::string& file() const { return file_; }
  const Instrument* instrument() const { return instrument_ ? &*instrument_ : nullptr; }

  /// The buttons in the window, one a place (its push and pull sound share it), in the order
  /// of the pull block's numbers.
  int placeCount() const { return numbering_.blockSize(); }
  TwipRect rectOf(int place) const;
  const BassButton& buttonAt(int place) const;
  /// The place's row and number (from 1), its direction the bellows'.
  ButtonAt at(int place) const;
  /// The bass number a record gives the place in the bellows' direction now.
  int numberOf(int place) const;

  bool held(int place) const;
  /// The places held, in place order.
  std::vector<int> heldPlaces() const;
  /// The places one kind of holder holds, in place order.
  std::vector<int> heldPlaces(Holder by) const;
  /// The place of a button (its direction aside); nothing for one the side does not have.
  std::optional<int> placeOf(const ButtonAt& at) const;
  /// Places shown as the ones to play (practising the left hand); the others are not.
  void mark(std::vector<int> places) { marked_ = std::move(places); }
  bool marked(int place) const;
  bool pushing() const { return push_; }

  Change hold(int place, Holder by);
  Change letGo(int place, Holder by);
  /// A click: holds a place the mouse does not hold, lets go one it does.
  Change click(int place);
  /// Every button held sounds the other direction from now on.
  Change turnBellows(bool push);
  Change releaseAll();
  /// Lets go what one kind of holder holds (the keys when the window loses the keyboard).
  Change releaseAll(Holder by);
  /// The notes sounding now: what a device reset has cut and must sound again.
  std::vector<BassNote> sounding() const;

  /// The loaded record's bass buttons, by event (from 1), for replay; those of the record
  /// before are forgotten.
  void takeRecordBass(const RecordHands& hands);
  /// The bass buttons played with an event of the loaded record (none for most records).
  std::vector<ButtonAt> recordBass(int event) const;
  /// Whether any event of the loaded record has a bass button.
  bool recordHasBass() const;
  /// The loaded record's buttons beside its file: its bass, and its treble past the third row.
  const RecordHands& record() const { return recordBass_; }
  /// The record's buttons beyond its file, as they are saved beside it (naming the instrument
  /// in force when there are any; none without a bass side).
  RecordHands recordHands() const;
  /// The record's events change (rows from 0, as the editor counts them): the buttons stay
  /// with their events.
  void eventInserted(int row);
  void eventErased(int row);
  /// The bass buttons played with an event (from 1), replacing those it had.
  void setRecordBass(int event, const std::vector<ButtonAt>& buttons);
  /// The treble buttons past the record file's played with an event (from 1), replacing those
  /// it had: they are saved with the bass, beside the record.
  void setRecordTreble(int event, const std::vector<ButtonAt>& buttons);
  /// The bass buttons held now, each in the bellows' direction: what a chord taken into the
  /// record plays with.
  std::vector<ButtonAt> heldButtons() const;
  /// Replay reached an event: the bass it played before lets go, as a player's finger lifts
  /// for the next button, and the event's bass buttons sound in their own bellows direction.
  /// An event whose notes ring on (a rest that holds) without a bass of its own lets the bass
  /// before ring on too.
  Change replayEvent(int event, bool ringing);

  /// "BASS-CHANNEL:": the MIDI channel (1..16) whose notes play the bass side, or empty for
  /// none. False, with the channel left as it was, for anything else.
  bool readMidiChannel(const std::string& value);
  /// Whether a MIDI message's channel (0..15, as in its status byte) is the bass side's.
  bool playsChannel(int channel) const {
    return present() && midiChannel_ >= 0 && channel == midiChannel_;
  }
  /// A note-on or note-off of the bass channel: holds or lets go the place the pitch plays.
  Change midiNoteOn(int pitch);
  Change midiNoteOff(int pitch);

  /// The place a MIDI note of the bass channel plays: below middle C's octave (48) the bass
  /// of that pitch class, from 48 up the chord whose root it is, in the bellows' direction (the
  /// other direction's would sound another bass). Nothing when the side has none.
  std::optional<int> placeForPitch(int pitch) const;
  /// The bass button a key of the computer keyboard plays (its name as KeyDown gives it).
  std::optional<int> placeForKey(const std::string& key) const;
  /// The key that plays a place ("" for none), for its caption.
  std::string keyOf(int place) const;

 private:
  /// The notes a place sounds in a direction, each a bass or a chord note.
  std::vector<BassNote> notesOf(int place, bool push) const;
  void sound(int place, bool push, Change& change);
  void silence(int place, bool push, Change& change);

  std::optional<Instrument> instrument_;
  std::string file_;
  ButtonNumbering numbering_{std::vector<int>{}};
  std::vector<TwipRect> rects_;
  bool push_ = false;
  HeldPlaces holders_;
  SoundingNotes<std::pair<bool, int>> sounding_;  ///< (chord, pitch)
  RecordHands recordBass_;
  std::vector<int> marked_;
  int midiChannel_ = -1;                          ///< 0..15; -1: none
  std::map<int, int> midiPlaces_;                 ///< per MIDI pitch held: the place it holds
};

/// The keys of the computer keyboard that play the bass side, per row from the outside in,
/// each row's buttons from the top: the bottom row of letters from C for the outer row (Z and X
/// take the editor's rests), the function keys for the inner rows.
const std::vector<std::vector<std::string>>& bassKeyRows();

}  // namespace tastrello
