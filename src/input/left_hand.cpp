#include "input/left_hand.h"

#include <algorithm>

#include "shell/text.h"

namespace tastrello {

namespace {

/// The lowest note a chord is played from on a MIDI instrument's bass channel: below it the
/// notes ask for basses.
constexpr int kLowestChordPitch = 48;

int pitchClass(int pitch) { return ((pitch % 12) + 12) % 12; }

void append(LeftHand::Change& to, const LeftHand::Change& more) {
  to.stopped.insert(to.stopped.end(), more.stopped.begin(), more.stopped.end());
  to.started.insert(to.started.end(), more.started.begin(), more.started.end());
}

}  // namespace

const std::vector<std::vector<std::string>>& bassKeyRows() {
  static const std::vector<std::vector<std::string>> rows{
      {"C", "V", "B", "N", "M", "Comma", "Period", "Slash"},
      {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"},
      {"F9", "F10", "F11", "F12"},
  };
  return rows;
}

LeftHand::Change LeftHand::use(std::optional<Instrument> instrument, std::string file) {
  Change change = releaseAll();
  instrument_ = std::move(instrument);
  file_ = instrument_ ? std::move(file) : std::string();
  const std::vector<int> rows = instrument_ ? bassRowLengths(*instrument_) : std::vector<int>{};
  numbering_ = ButtonNumbering(rows);
  rects_.clear();
  if (instrument_ && numbering_.blockSize() > 0)
    rects_ = placeInstrument(trebleRowLengths(*instrument_), rows).bass;
  return change;
}

TwipRect LeftHand::rectOf(int place) const {
  if (place < 0 || place >= static_cast<int>(rects_.size())) return {};
  return rects_[static_cast<std::size_t>(place)];
}

ButtonAt LeftHand::at(int place) const {
  ButtonAt at = numbering_.placeOf(place).value_or(ButtonAt{});
  at.push = push_;
  return at;
}

const BassButton& LeftHand::buttonAt(int place) const {
  const ButtonAt a = at(place);
  return instrument_->bass[static_cast<std::size_t>(a.row - 1)]
      .buttons[static_cast<std::size_t>(a.number - 1)];
}

int LeftHand::numberOf(int place) const { return numbering_.numberOf(at(place)).value_or(-1); }

bool LeftHand::held(int place) const { return holders_.held(place); }

std::vector<int> LeftHand::heldPlaces() const { return holders_.places(); }

std::vector<int> LeftHand::heldPlaces(Holder by) const { return holders_.places(by); }

std::optional<int> LeftHand::placeOf(const ButtonAt& at) const {
  return numbering_.numberOf({false, at.row, at.number});
}

bool LeftHand::marked(int place) const {
  return std::find(marked_.begin(), marked_.end(), place) != marked_.end();
}

std::vector<BassNote> LeftHand::notesOf(int place, bool push) const {
  const BassButton& button = buttonAt(place);
  const BassSound& sound = push ? button.push : button.pull;
  std::vector<BassNote> notes;
  for (const int pitch : sound.notes) notes.push_back({button.chord(), pitch});
  return notes;
}

void LeftHand::sound(int place, bool push, Change& change) {
  for (const BassNote& note : notesOf(place, push))
    if (sounding_.start({note.chord, note.pitch})) change.started.push_back(note);
}

void LeftHand::silence(int place, bool push, Change& change) {
  for (const BassNote& note : notesOf(place, push))
    if (sounding_.stop({note.chord, note.pitch})) change.stopped.push_back(note);
}

LeftHand::Change LeftHand::hold(int place, Holder by) {
  Change change;
  if (place < 0 || place >= placeCount()) return change;
  if (holders_.hold(place, by)) sound(place, push_, change);
  return change;
}

LeftHand::Change LeftHand::letGo(int place, Holder by) {
  Change change;
  if (holders_.letGo(place, by)) silence(place, push_, change);
  return change;
}

LeftHand::Change LeftHand::click(int place) {
  return holders_.heldBy(place, Holder::Mouse) ? letGo(place, Holder::Mouse)
                                               : hold(place, Holder::Mouse);
}

LeftHand::Change LeftHand::turnBellows(bool push) {
  Change change;
  if (push == push_) return change;
  for (const int place : holders_.places()) silence(place, push_, change);
  push_ = push;
  for (const int place : holders_.places()) sound(place, push_, change);
  return change;
}

LeftHand::Change LeftHand::releaseAll() {
  Change change;
  for (const int place : holders_.clear()) silence(place, push_, change);
  sounding_.clear();
  midiPlaces_.clear();
  return change;
}

std::vector<BassNote> LeftHand::sounding() const {
  std::vector<BassNote> notes;
  for (const auto& [chord, pitch] : sounding_.notes()) notes.push_back({chord, pitch});
  return notes;
}

void LeftHand::takeRecordBass(const RecordHands& hands) { recordBass_ = hands; }

std::vector<ButtonAt> LeftHand::recordBass(int event) const {
  return handButtons(recordBass_, event, Hand::Bass);
}

bool LeftHand::recordHasBass() const {
  return std::any_of(recordBass_.buttons.begin(), recordBass_.buttons.end(),
                     [](const HandButton& b) { return b.hand == Hand::Bass; });
}

RecordHands LeftHand::recordHands() const {
  if (!present()) return {};  // buttons of no instrument in force are not to be saved
  RecordHands hands = recordBass_;
  if (!hands.buttons.empty()) hands.instrument = file_;
  return hands;
}

void LeftHand::eventInserted(int row) { insertHandsEvent(recordBass_, row); }

void LeftHand::eventErased(int row) { eraseHandsEvent(recordBass_, row); }

void LeftHand::setRecordBass(int event, const std::vector<ButtonAt>& buttons) {
  setHandButtons(recordBass_, event, Hand::Bass, buttons);
}

void LeftHand::setRecordTreble(int event, const std::vector<ButtonAt>& buttons) {
  setHandButtons(recordBass_, event, Hand::Treble, buttons);
}

std::vector<ButtonAt> LeftHand::heldButtons() const {
  std::vector<ButtonAt> buttons;
  for (const int place : holders_.places()) buttons.push_back(at(place));
  return buttons;
}

LeftHand::Change LeftHand::replayEvent(int event, bool ringing) {
  const std::vector<ButtonAt> buttons = present() ? recordBass(event) : std::vector<ButtonAt>{};
  if (buttons.empty() && ringing) return {};
  Change change = releaseAll(Holder::Replay);
  if (buttons.empty()) return change;
  append(change, turnBellows(buttons.front().push));
  for (const ButtonAt& at : buttons) {
    if (const auto place = placeOf(at)) append(change, hold(*place, Holder::Replay));
  }
  return change;
}

bool LeftHand::readMidiChannel(const std::string& value) {
  if (value.empty()) {
    midiChannel_ = -1;
    return true;
  }
  const auto channel = parseInt16(value);
  if (!channel || *channel < 1 || *channel > 16) return false;
  midiChannel_ = *channel - 1;
  return true;
}

LeftHand::Change LeftHand::midiNoteOn(int pitch) {
  if (midiPlaces_.count(pitch)) return {};  // a note-on again without its note-off
  const auto place = placeForPitch(pitch);
  if (!place) return {};
  midiPlaces_[pitch] = *place;
  return hold(*place, Holder::Midi);
}

LeftHand::Change LeftHand::midiNoteOff(int pitch) {
  const auto it = midiPlaces_.find(pitch);
  if (it == midiPlaces_.end()) return {};
  const int place = it->second;
  midiPlaces_.erase(it);
  return letGo(place, Holder::Midi);
}

LeftHand::Change LeftHand::releaseAll(Holder by) {
  Change change;
  for (const int place : holders_.releaseAll(by)) silence(place, push_, change);
  if (by == Holder::Midi) midiPlaces_.clear();
  return change;
}

std::optional<int> LeftHand::placeForPitch(int pitch) const {
  if (!present()) return std::nullopt;
  const bool chord = pitch >= kLowestChordPitch;
  for (int place = 0; place < placeCount(); ++place) {
    const BassButton& button = buttonAt(place);
    const BassSound& sound = push_ ? button.push : button.pull;
    if (button.chord() != chord || sound.notes.empty()) continue;
    if (pitchClass(sound.notes.front()) == pitchClass(pitch)) return place;
  }
  return std::nullopt;
}

std::optional<int> LeftHand::placeForKey(const std::string& key) const {
  const auto& rows = bassKeyRows();
  for (std::size_t row = 0; row < rows.size(); ++row) {
    const auto& keys = rows[row];
    const auto it = std::find(keys.begin(), keys.end(), key);
    if (it == keys.end()) continue;
    const auto place = numbering_.numberOf(
        {false, static_cast<int>(row + 1), static_cast<int>(it - keys.begin()) + 1});
    if (place) return *place;
  }
  return std::nullopt;
}

std::string LeftHand::keyOf(int place) const {
  const auto a = numbering_.placeOf(place);
  if (!a) return "";
  const auto& rows = bassKeyRows();
  if (a->row > static_cast<int>(rows.size())) return "";
  const auto& keys = rows[static_cast<std::size_t>(a->row - 1)];
  return a->number <= static_cast<int>(keys.size()) ? keys[static_cast<std::size_t>(a->number - 1)]
                                                    : "";
}

}  // namespace tastrello
