// Playing with the hands: keys of the computer keyboard and notes of a MIDI instrument sound
// and light their buttons while held, the bellows key turns the bellows, and while recording
// they build the pending chord as clicks do.
#include <algorithm>

#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

void Form1::loadKeyMap() {
  const std::string path = dataFolder + "Keymap.txt";
  hands.keyMap = defaultKeyMap();  // the map shipped in that file, unless the file gives one
  const auto bytes = services.files->read(path);
  // No file is no problem (a folder of the first version has none); one that is there and
  // cannot be used is said.
  std::string why = bytes ? std::string() : services.files->readProblem(path);
  if (bytes && bytes->size() > kLargestKeyMap) why = say(Text::WhyTooLarge, {"256 KB"});
  if (!why.empty()) {
    status().report(say(Text::MsgKeyMapUnread, {path, why}));
  } else if (bytes) {
    std::vector<KeyMapProblem> skipped;
    KeyMap map = parseKeyMap(*bytes, skipped, uiLanguageOf(textsLanguage));
    status().reportFew(path, skipped.size(), [&](std::size_t i) {
      const KeyMapProblem& problem = skipped[i];
      return problem.line == 0
                 ? say(Text::MsgKeyMap, {problem.reason})
                 : say(Text::MsgKeyMapLine, {std::to_string(problem.line), problem.reason});
    });
    if (map.positions.empty())
      status().report(say(Text::MsgKeyMapNoKeys, {path}));
    else
      hands.keyMap = std::move(map);
  }
  showKeyLetters();
  showHelpBoards();
}

bool Form1::claimsKey(const std::string& key) const {
  if (KeyboardPlay.value == 0) return false;
  const KeyMap& map = hands.keyMap;
  if (key == map.bellows || map.positions.count(key)) return true;
  if (leftHand_.placeForKey(key)) return true;
  return editing() && (key == map.commit || key == map.restPlay || key == map.restMute);
}

bool Form1::handKeyDown(const std::string& key) {
  if (!claimsKey(key)) return false;
  auto& down = hands.keysDown;
  if (std::find(down.begin(), down.end(), key) != down.end()) return true;  // a repeat
  down.push_back(key);
  tap();
  const KeyMap& map = hands.keyMap;
  if (key == map.bellows) {
    applyHandChange(hands.keys.turnBellows(true));
    playBass(leftHand_.turnBellows(true));
    judgeKeys(true);
  } else if (const auto position = map.positions.find(key); position != map.positions.end()) {
    applyHandChange(hands.keys.press(position->second));
    judgeKeys(true);
  } else if (const auto bass = leftHand_.placeForKey(key)) {
    playBass(leftHand_.hold(*bass, LeftHand::Holder::Key));
    if (practice.hands.learnerPlaysBass()) judgeBothHands(true);
  } else if (key == map.commit) {
    NextRecord_Click();
  } else if (key == map.restPlay) {
    EditBreak_Click();
  } else if (key == map.restMute) {
    EditMute_Click();
  }
  return true;
}

bool Form1::handKeyUp(const std::string& key) {
  auto& down = hands.keysDown;
  const auto it = std::find(down.begin(), down.end(), key);
  if (it == down.end()) return claimsKey(key);
  down.erase(it);
  const KeyMap& map = hands.keyMap;
  if (key == map.bellows) {
    // Turning the bellows back sounds the other block: a new try.
    applyHandChange(hands.keys.turnBellows(false));
    playBass(leftHand_.turnBellows(false));
    judgeKeys(!hands.keys.held().empty());
  } else if (const auto position = map.positions.find(key); position != map.positions.end()) {
    applyHandChange(hands.keys.release(position->second));
    judgeKeys(false);
  } else if (const auto bass = leftHand_.placeForKey(key)) {
    playBass(leftHand_.letGo(*bass, LeftHand::Holder::Key));
    if (practice.hands.learnerPlaysBass()) judgeBothHands(false);
  }
  return true;
}

void Form1::applyHandChange(const Hands::Change& change) {
  for (int button : change.stopped) stopHandButton(button);
  for (int button : change.started) startHandButton(button);
}

void Form1::startHandButton(int button) {
  hands.lastButton = button;
  const std::optional<int> note = keyNote(button);
  if (note && SoundOnOff.value == 1) {
    noteNumber = *note;
    playnote();
  }
  Keys[button].backColor = keyLitColor;
  if (editing()) {
    draft().holdButton(button, Keys[button].caption);
    EditBreak.enabled = EditMute.enabled = draft().pendingEmpty();
  }
}

void Form1::stopHandButton(int button) {
  const std::optional<int> note = keyNote(button);
  if (note && SoundOnOff.value == 1) Midi_Out_Send(128, *note, 0);
  Keys[button].backColor = keyIdleColor;
}

void Form1::MidiIn_Message(std::uint32_t word) {
  const int status = static_cast<int>(word & 0xF0);
  const int data1 = static_cast<int>((word >> 8) & 0x7F);
  const int data2 = static_cast<int>((word >> 16) & 0x7F);
  const bool note = status == 0x90 || status == 0x80;
  if (note && leftHand_.playsChannel(static_cast<int>(word & 0x0F))) {
    midiBassNote(data1, status == 0x90 && data2 > 0);
  } else if (status == 0x90 && data2 > 0) {
    midiPitchOn(data1);
  } else if (status == 0x80 || status == 0x90) {
    midiPitchOff(data1);
  } else if (status == 0xB0 && data1 == hands.bellowsController) {
    const bool turned = hands.controllerPush != (data2 != 0);
    hands.controllerPush = data2 != 0;
    placeMidiPitches();
    judgePitchesHeld(turned && !hands.pitches.empty());
  }
}

void Form1::midiPitchOn(int pitch) {
  auto& pitches = hands.pitches;
  if (std::find(pitches.begin(), pitches.end(), pitch) != pitches.end()) return;
  pitches.push_back(pitch);
  tap();
  placeMidiPitches();
  judgePitchesHeld(true);
}

void Form1::midiPitchOff(int pitch) {
  auto& pitches = hands.pitches;
  const auto it = std::find(pitches.begin(), pitches.end(), pitch);
  if (it == pitches.end()) return;
  pitches.erase(it);
  const int button = hands.pitchButtons[pitch];
  hands.pitchButtons.erase(pitch);
  if (button >= 0)
    stopHandButton(button);
  else if (const auto beside = trebleBeside_.midiNoteOff(pitch))
    playBeside(*beside);
  else if (SoundOnOff.value == 1)
    Midi_Out_Send(128, pitch, 0);
  judgePitchesHeld(false);
}

int Form1::heldButtonOf(int pitch) const {
  const auto on = hands.pitchButtons.find(pitch);
  if (on != hands.pitchButtons.end() && on->second >= 0) return on->second;
  const auto place = trebleBeside_.midiPlaceOf(pitch);
  return place ? besideButton(trebleBeside_.at(*place)) : -1;
}

void Form1::placeMidiPitches() {
  const PitchPlacement placement = placePitches(hands.pitches, buttonNotes(), hands.controllerPush,
                                                hands.midiPush, hands.lastButton);
  hands.midiPush = placement.push;
  playBass(leftHand_.turnBellows(hands.midiPush));
  for (std::size_t i = 0; i < hands.pitches.size(); ++i) {
    const int pitch = hands.pitches[i];
    const int wanted = placement.buttons[i].value_or(-1);
    const auto before = hands.pitchButtons.find(pitch);
    // A pitch none of the keyboard's buttons sounds may be a button's beside it.
    const auto beside = wanted < 0 ? trebleBeside_.midiNoteOn(pitch, hands.midiPush)
                                   : trebleBeside_.midiNoteOff(pitch);
    if (beside) playBeside(*beside);
    if (before != hands.pitchButtons.end() && before->second == wanted) continue;
    if (before != hands.pitchButtons.end() && before->second >= 0) stopHandButton(before->second);
    hands.pitchButtons[pitch] = wanted;
    if (wanted >= 0) {
      startHandButton(wanted);
    } else if (!beside && (before == hands.pitchButtons.end() || before->second >= 0)) {
      status().report(say(Text::MsgNoButtonForPitch, {std::to_string(pitch)}));
      noteNumber = pitch;
      if (SoundOnOff.value == 1) playnote();  // it still sounds
    }
  }
}

void Form1::KeyboardPlay_Click() {
  if (KeyboardPlay.value == 0) releaseHands();
}

void Form1::releaseHands() {
  playBass(leftHand_.releaseAll(LeftHand::Holder::Key));
  playBass(leftHand_.releaseAll(LeftHand::Holder::Midi));
  playBeside(trebleBeside_.releaseAll(Holder::Midi));
  applyHandChange(hands.keys.releaseAll());
  hands.keys.turnBellows(false);
  hands.keysDown.clear();
  judgeKeys(false);  // letting go of everything at once is a release like any other
  while (!hands.pitches.empty()) midiPitchOff(hands.pitches.back());
}

void Form1::KeyLetters_Click() {
  showKeyLetters();
}

void Form1::showKeyLetters() {
  const auto names = keyNamesByPosition(hands.keyMap);
  for (int b = 0; b < kKeyCount; ++b) {
    const std::string& name = names[static_cast<std::size_t>(b % kButtonsPerBlock)];
    Keys[b].tag = KeyLetters.value == 1 ? keyLabel(name) : std::string();
  }
  showBassSide();
}

void Form1::takeKeyPrints(const std::string& lines) {
  hands.printed = parseKeyPrints(lines);
  showKeyLetters();
  showHelpBoards();
}

std::string Form1::keyLabel(const std::string& keyName) const {
  const auto printed = hands.printed.find(keyName);
  if (printed != hands.printed.end()) return upperLetters(printed->second);
  static const std::pair<const char*, const char*> kSigns[] = {
      {"Minus", "-"},     {"Equal", "="},      {"BracketLeft", "["}, {"BracketRight", "]"},
      {"Semicolon", ";"}, {"Apostrophe", "'"}, {"Comma", ","},       {"Period", "."},
      {"Slash", "/"},     {"Backslash", "\\"}, {"QuoteLeft", "`"},   {"Less", "<"},
      {"Return", "Enter"}};
  for (const auto& [name, sign] : kSigns)
    if (keyName == name) return sign;
  return keyName;
}

}  // namespace tastrello
