#include "exchange/treble_sounds.h"

#include "records/record_format.h"

namespace tastrello {

namespace {

Bellows joined(Bellows a, Bellows b) {
  if (a == Bellows::None) return b;
  if (b == Bellows::None || a == b) return a;
  return Bellows::Both;
}

bool isMidiNote(int pitch) {
  return pitch >= 0 && pitch <= 127;
}

}  // namespace

std::vector<EventTreble> trebleOfRecord(const std::vector<std::string>& buttonLines,
                                        const ButtonNotes& notes, const TrebleBeside* beside) {
  std::vector<EventTreble> out(buttonLines.size());
  for (std::size_t i = 0; i < buttonLines.size(); ++i) {
    const std::string& line = buttonLines[i];
    EventTreble& treble = out[i];
    if (!isRestMarker(line)) {
      const std::vector<int> buttons = buttonsOfLine(line);
      treble.bellows = bellowsOfButtons(buttons);
      for (int button : buttons) {
        const auto& pitch = notes[static_cast<std::size_t>(button)];
        const ButtonPlace place = placeOf(button);
        if (pitch && isMidiNote(*pitch))
          treble.sounds.push_back({{place.push, place.row, place.number}, *pitch});
      }
    }
    if (!beside) continue;
    for (const ButtonAt& at : trebleBeside(line, beside->hands, static_cast<int>(i + 1))) {
      const TrebleButton* button = trebleButtonAt(beside->instrument, at);
      if (!button) continue;  // a button of another instrument: nothing to sound
      treble.bellows = joined(treble.bellows, at.push ? Bellows::Push : Bellows::Pull);
      const int pitch = at.push ? button->push : button->pull;
      if (isMidiNote(pitch)) treble.sounds.push_back({at, pitch});
    }
  }
  return out;
}

}  // namespace tastrello
