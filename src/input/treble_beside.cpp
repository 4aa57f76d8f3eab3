#include "input/treble_beside.h"

#include <algorithm>

#include "exchange/tune.h"
#include "records/record_hands.h"

namespace tastrello {

bool hasTrebleBeside(const Instrument& instrument, const ButtonNotes& keyboard) {
  // Where the instrument and a record file both number a button, it must sound as the
  // keyboard's does: otherwise a record's buttons would play other notes than the window's.
  return instrument.treble.size() > std::size_t(kLayoutRows) && sameFirstRows(instrument, keyboard);
}

TrebleBeside::Change TrebleBeside::use(const Instrument* instrument) {
  Change change;
  for (const Holder by : {Holder::Mouse, Holder::Key, Holder::Midi, Holder::Replay}) {
    const Change freed = releaseAll(by);
    change.stopped.insert(change.stopped.end(), freed.stopped.begin(), freed.stopped.end());
  }
  places_.clear();
  marks_.clear();
  present_ = instrument != nullptr && instrument->treble.size() > std::size_t(kLayoutRows);
  const std::vector<int> rows =
      present_ ? trebleRowLengths(*instrument) : std::vector<int>{11, 12, 11};
  const ButtonNumbering numbering(rows);
  const std::vector<TwipRect> rects =
      placeInstrument(rows, present_ ? bassRowLengths(*instrument) : std::vector<int>{}).treble;
  keyRects_.fill(std::nullopt);
  for (int number = 0; number < numbering.count(); ++number) {
    const ButtonAt at = *numbering.placeOf(number);
    const TwipRect& rect = rects[static_cast<std::size_t>(number)];
    if (const auto key = recordNumbering().numberOf(at)) {
      keyRects_[static_cast<std::size_t>(*key)] = rect;
      continue;
    }
    const TrebleButton& button = *trebleButtonAt(*instrument, at);
    places_.push_back({at, rect, at.push ? button.pushName : button.pullName,
                       at.push ? button.push : button.pull});
  }
  return change;
}

std::optional<TwipRect> TrebleBeside::keyRect(int button) const {
  if (button < 0 || button >= kKeyCount) return std::nullopt;
  return keyRects_[static_cast<std::size_t>(button)];
}

std::optional<int> TrebleBeside::placeOf(const ButtonAt& at) const {
  for (int place = 0; place < placeCount(); ++place)
    if (places_[static_cast<std::size_t>(place)].at == at) return place;
  return std::nullopt;
}

std::optional<int> TrebleBeside::placeForPitch(int pitch, bool push) const {
  for (int place = 0; place < placeCount(); ++place) {
    const Place& p = places_[static_cast<std::size_t>(place)];
    if (p.at.push == push && p.pitch == pitch) return place;
  }
  return std::nullopt;
}

std::vector<ButtonAt> TrebleBeside::heldButtons() const {
  std::vector<ButtonAt> buttons;
  for (const int place : holders_.places())
    if (holders_.heldBy(place, Holder::Mouse) || holders_.heldBy(place, Holder::Key) ||
        holders_.heldBy(place, Holder::Midi))
      buttons.push_back(at(place));
  return buttons;
}

bool TrebleBeside::marked(int place) const {
  return holders_.heldBy(place, Holder::Replay) ||
         std::find(marks_.begin(), marks_.end(), place) != marks_.end();
}

std::optional<int> TrebleBeside::midiPlaceOf(int pitch) const {
  const auto it = midiPlaces_.find(pitch);
  return it == midiPlaces_.end() ? std::nullopt : std::optional<int>(it->second);
}

TrebleBeside::Change TrebleBeside::hold(int place, Holder by) {
  Change change;
  if (place < 0 || place >= placeCount() || !holders_.hold(place, by)) return change;
  if (sounding_.start(pitchOf(place))) change.started.push_back(pitchOf(place));
  return change;
}

TrebleBeside::Change TrebleBeside::letGo(int place, Holder by) {
  Change change;
  if (!holders_.letGo(place, by)) return change;
  if (sounding_.stop(pitchOf(place))) change.stopped.push_back(pitchOf(place));
  return change;
}

TrebleBeside::Change TrebleBeside::click(int place) {
  return holders_.heldBy(place, Holder::Mouse) ? letGo(place, Holder::Mouse)
                                               : hold(place, Holder::Mouse);
}

TrebleBeside::Change TrebleBeside::releaseAll(Holder by) {
  Change change;
  if (by == Holder::Midi) midiPlaces_.clear();
  for (const int place : holders_.releaseAll(by))
    if (sounding_.stop(pitchOf(place))) change.stopped.push_back(pitchOf(place));
  return change;
}

std::optional<TrebleBeside::Change> TrebleBeside::midiNoteOn(int pitch, bool push) {
  const auto place = placeForPitch(pitch, push);
  const auto before = midiPlaces_.find(pitch);
  const bool wasHeld = before != midiPlaces_.end();
  if (wasHeld && place == before->second) return Change{};
  // The bellows turned: the button of the other direction lets go.
  Change change = midiNoteOff(pitch).value_or(Change{});
  if (!place) return wasHeld ? std::optional<Change>(change) : std::nullopt;
  midiPlaces_[pitch] = *place;
  const Change held = hold(*place, Holder::Midi);
  change.started.insert(change.started.end(), held.started.begin(), held.started.end());
  return change;
}

std::optional<TrebleBeside::Change> TrebleBeside::midiNoteOff(int pitch) {
  const auto it = midiPlaces_.find(pitch);
  if (it == midiPlaces_.end()) return std::nullopt;
  const int place = it->second;
  midiPlaces_.erase(it);
  return letGo(place, Holder::Midi);
}

TrebleBeside::Change TrebleBeside::replayEvent(const std::vector<ButtonAt>& buttons,
                                               bool ringing) {
  if (buttons.empty() && ringing) return {};
  Change change = releaseAll(Holder::Replay);
  for (const ButtonAt& at : buttons) {
    const auto place = placeOf(at);
    if (!place) continue;
    const Change held = hold(*place, Holder::Replay);
    change.started.insert(change.started.end(), held.started.begin(), held.started.end());
  }
  return change;
}

}  // namespace tastrello
