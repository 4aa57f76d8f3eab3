#include "instrument/instrument.h"

#include <algorithm>

#include "sound/buttons.h"
#include "shell/text.h"

namespace tastrello {

std::optional<int> keyPitchClass(std::string_view key) {
  static const std::map<std::string, int, std::less<>> keys{
      {"C", 0},  {"Cis", 1}, {"Des", 1}, {"D", 2},  {"Dis", 3}, {"Es", 3},  {"E", 4},  {"F", 5},
      {"Fis", 6}, {"Ges", 6}, {"G", 7},  {"Gis", 8}, {"As", 8},  {"A", 9},  {"B", 10}, {"H", 11}};
  const auto it = keys.find(key);
  if (it == keys.end()) return std::nullopt;
  return it->second;
}

namespace {

std::optional<std::string> captionOf(const NoteLayout& layout, int button) {
  const auto& caption = layout.captions[static_cast<std::size_t>(button)];
  if (!caption) return std::nullopt;
  std::string name = *caption;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  if (name.empty()) return std::nullopt;
  return name;
}

std::optional<int> noteOf(const NoteLayout& layout, int button) {
  const auto& text = layout.notes[static_cast<std::size_t>(button)];
  if (!text) return std::nullopt;
  const auto note = parseInt16(*text);
  if (!note || *note < 0 || *note > 127) return std::nullopt;
  return note;
}

}  // namespace

std::optional<int> takeTrebleFromLayout(Instrument& instrument, const NoteLayout& layout) {
  instrument.treble.resize(kLayoutRows);
  std::vector<std::vector<TrebleButton>> rows(kLayoutRows);
  // The layout's places in their order are rank by rank: each row's buttons come top first.
  for (int position = 0; position < kButtonsPerBlock; ++position) {
    const int pushButton = position + kButtonsPerBlock;
    for (int button : {position, pushButton}) {
      if (!captionOf(layout, button) || !noteOf(layout, button)) return button;
    }
    const ButtonPlace at = tastrello::placeOf(position);
    rows[static_cast<std::size_t>(at.row - 1)].push_back(
        {*captionOf(layout, pushButton), *noteOf(layout, pushButton), *captionOf(layout, position),
         *noteOf(layout, position)});
  }
  for (std::size_t r = 0; r < rows.size(); ++r) instrument.treble[r].buttons = std::move(rows[r]);
  return std::nullopt;
}

const TrebleButton* trebleButtonAt(const Instrument& instrument, const ButtonAt& at) {
  if (at.row < 1 || at.row > static_cast<int>(instrument.treble.size())) return nullptr;
  const auto& row = instrument.treble[static_cast<std::size_t>(at.row - 1)].buttons;
  if (at.number < 1 || at.number > static_cast<int>(row.size())) return nullptr;
  return &row[static_cast<std::size_t>(at.number - 1)];
}

ButtonNumbering::ButtonNumbering(const std::vector<int>& rowLengths) : rowLengths_(rowLengths) {
  const int ranks = rowLengths.empty() ? 0 : *std::max_element(rowLengths.begin(), rowLengths.end());
  for (int number = 1; number <= ranks; ++number) {
    for (std::size_t row = 0; row < rowLengths.size(); ++row) {
      if (number <= rowLengths[row]) order_.push_back({false, static_cast<int>(row + 1), number});
    }
  }
}

std::optional<int> ButtonNumbering::numberOf(const ButtonAt& at) const {
  if (at.row < 1 || at.row > static_cast<int>(rowLengths_.size())) return std::nullopt;
  if (at.number < 1 || at.number > rowLengths_[static_cast<std::size_t>(at.row - 1)])
    return std::nullopt;
  const auto it = std::find(order_.begin(), order_.end(), ButtonAt{false, at.row, at.number});
  return static_cast<int>(it - order_.begin()) + (at.push ? blockSize() : 0);
}

std::optional<ButtonAt> ButtonNumbering::placeOf(int number) const {
  if (number < 0 || number >= count()) return std::nullopt;
  ButtonAt at = order_[static_cast<std::size_t>(number % blockSize())];
  at.push = number >= blockSize();
  return at;
}

std::vector<int> trebleRowLengths(const Instrument& instrument) {
  std::vector<int> lengths;
  for (const auto& row : instrument.treble) lengths.push_back(static_cast<int>(row.buttons.size()));
  return lengths;
}

std::vector<int> bassRowLengths(const Instrument& instrument) {
  std::vector<int> lengths;
  for (const auto& row : instrument.bass) lengths.push_back(static_cast<int>(row.buttons.size()));
  return lengths;
}

PitchClasses pitchClassesOf(const std::vector<int>& notes) {
  PitchClasses set = 0;
  for (int note : notes) set = static_cast<PitchClasses>(set | (1u << ((note % 12 + 12) % 12)));
  return set;
}

namespace {

bool isMidiNote(int note) {
  return note >= 0 && note <= 127;
}

void addTreble(PitchMap& map, const Instrument& instrument) {
  const ButtonNumbering numbering(trebleRowLengths(instrument));
  for (int id = 0; id < numbering.count(); ++id) {
    const ButtonAt at = *numbering.placeOf(id);
    const TrebleButton& button = instrument.treble[static_cast<std::size_t>(at.row - 1)]
                                     .buttons[static_cast<std::size_t>(at.number - 1)];
    const int note = at.push ? button.push : button.pull;
    if (isMidiNote(note)) map.treble[static_cast<std::size_t>(note)].push_back({id, at});
  }
}

void addBass(PitchMap& map, const Instrument& instrument) {
  const ButtonNumbering numbering(bassRowLengths(instrument));
  for (int id = 0; id < numbering.count(); ++id) {
    const ButtonAt at = *numbering.placeOf(id);
    const BassButton& button = instrument.bass[static_cast<std::size_t>(at.row - 1)]
                                   .buttons[static_cast<std::size_t>(at.number - 1)];
    const BassSound& sound = at.push ? button.push : button.pull;
    for (int note : sound.notes)
      if (isMidiNote(note)) map.bass[static_cast<std::size_t>(note)].push_back({id, at});
    if (sound.notes.size() == 1 && isMidiNote(sound.notes[0]))
      map.basses[static_cast<std::size_t>(sound.notes[0] % 12)].push_back({id, at});
    else if (sound.notes.size() > 1)
      map.chords[pitchClassesOf(sound.notes)].push_back({id, at});
  }
}

}  // namespace

PitchMap pitchMap(const Instrument& instrument) {
  PitchMap map;
  addTreble(map, instrument);
  addBass(map, instrument);
  return map;
}

}  // namespace tastrello
