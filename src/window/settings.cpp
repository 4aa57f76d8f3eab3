// The settings file "Tastrel.Ini": key lines followed by their values, read at start-up and
// rewritten whole whenever a switch changes.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

const std::string kSettingsFile = "Tastrel.Ini";

}  // namespace

namespace {

std::string yesNo(const Toggle& toggle) {
  return toggle.value == 1 ? "TRUE" : "FALSE";
}

}  // namespace

SettingsStore& Form1::settings() {
  settings_.bind(services.files, dataFolder + kSettingsFile);
  return settings_;
}

void Form1::readSettingsFile() {
  const SettingsStore::Reading reading = settings().read(status());
  for (int k = 1; k <= reading.instrumentsListed; ++k) instrumentNames[k] = reading.instruments[k];
  // What is wrong in the file is said once its own LANGUAGE: is known, in that language.
  std::vector<std::function<std::string(UiLanguage)>> found = reading.problems;
  for (const auto& entry : reading.values) {
    // Named apart, not bound: the WebAssembly compiler (clang 14) cannot capture a binding.
    const std::string& key = entry.first;
    const std::string& value = entry.second;
    if (key == "LANGUAGE:")
      languageFile = value;
    else if (key == "SPLASH:")
      splashState = value;
    else if (key == "HELPEDIT:")
      helpEditSetting = value;
    else if (key == "MIDI-OUT:")
      midiOutSetting = value;
    else if (key == "SOUNDFONT:")
      soundFontSetting = value;
    else if (key == "MIDI-IN:")
      hands.midiInSetting = value;
    else if (key == "AUDIO-BUFFER:")
      audioBufferSetting = value;
    else if (key == "TAP-OFFSET:" && !practice.readTapOffset(value))
      found.push_back([value, held = std::lround(practice.offsetSeconds * 1000)](UiLanguage l) {
        return uiText(l, Text::MsgTapOffsetRefused,
                      {value, std::to_string(-PracticeState::kLargestTapOffsetMs),
                       std::to_string(PracticeState::kLargestTapOffsetMs), std::to_string(held)});
      });
    else if (key == "TIMING-WINDOW:" && !practice.readTimingWindow(value))
      found.push_back([value, held = practice.windowMs](UiLanguage l) {
        return uiText(l, Text::MsgTimingWindowRefused,
                      {value, std::to_string(PracticeState::kNarrowestWindowMs),
                       std::to_string(PracticeState::kWidestWindowMs),
                       std::to_string(held)});
      });
    else if (key == "MICROPHONE:")
      ear_.choose(listen::Ear::fromStored(value));
    else if (key == "MIC-LATENCY:" && !ear_.readLatency(value))
      found.push_back([value, held = ear_.latencyMs()](UiLanguage l) {
        return uiText(l, Text::MsgMicLatencyRefused,
                      {value, std::to_string(listen::Ear::kLongestLatencyMs), std::to_string(held)});
      });
    else if (key == "BASS-CHANNEL:" && !leftHand_.readMidiChannel(value))
      found.push_back(
          [value](UiLanguage l) { return uiText(l, Text::MsgBassChannelRefused, {value}); });
    else if (key == "BELLOWS-CC:" && !hands.readBellowsController(value))
      found.push_back(
          [value](UiLanguage l) { return uiText(l, Text::MsgBellowsController, {value}); });
  }
  const UiLanguage language = uiLanguageOf(languageFile);
  status().reportFew(settings_.path(), found.size(), [&](std::size_t i) { return found[i](language); });
}

void Form1::storeSetting() {
  if (languageChanged) {
    languageChanged = false;
    showCredits();
  }
  settings().write({{settingKey, settingValue}}, status());
}

std::vector<std::pair<std::string, std::string>> Form1::choicesInForce() const {
  const char* practiceMode = Practice.value == 1 ? "WAIT" : PlayAlong.value == 1 ? "ALONG" : "OFF";
  return {{"LESSONS:", yesNo(RecordLession)},     {"SHOW-KEYS:", yesNo(KeyLetters)},
          {"KEYBOARD-PLAYS:", yesNo(KeyboardPlay)}, {"COUNT-IN:", yesNo(CountInClick)},
          {"METRONOME:", yesNo(Metronome)},         {"TEMPO:", std::to_string(Speed.value)},
          {"PRACTICE:", practiceMode},              {"TUNING:", chosenTuning},
          {"BASS-SIDE:", leftHand_.file()},         {"PRACTICE-HANDS:", practice.hands.value()},
          {"MIC-A:", listen::Ear::storedA(ear_.referenceCents())}};
}

void Form1::restoreChoices() {
  std::vector<std::string> refused;
  // The last value of a key counts, as for every other key.
  auto stored = [this](const std::string& key) { return settings_.storedChoice(key); };
  auto restoreToggle = [&](const std::string& key, Toggle& toggle, auto apply) {
    const auto value = stored(key);
    if (!value) return;
    if (*value != "TRUE" && *value != "FALSE") {
      refused.push_back(key + " " + *value);
      return;
    }
    toggle.value = *value == "TRUE" ? 1 : 0;
    apply();
  };
  restoreToggle("LESSONS:", RecordLession, [this] { applyRecordKind(); });
  restoreToggle("SHOW-KEYS:", KeyLetters, [this] { showKeyLetters(); });
  restoreToggle("KEYBOARD-PLAYS:", KeyboardPlay, [this] { KeyboardPlay_Click(); });
  if (const auto value = stored("TUNING:"); value && !value->empty()) chooseTuning(*value);
  if (const auto value = stored("BASS-SIDE:"); value && !value->empty()) chooseBassSide(*value);
  if (const auto value = stored("MIC-A:")) {
    if (const auto cents = listen::Ear::centsOfStoredA(*value))
      ear_.setReferenceCents(*cents);
    else
      refused.push_back("MIC-A: " + *value);
  }
  if (const auto value = stored("TEMPO:")) {
    const auto tempo = parseInt16(*value);
    if (tempo && *tempo >= Speed.minimum && *tempo <= Speed.maximum)
      Speed.value = *tempo;
    else
      refused.push_back("TEMPO: " + *value);
  }
  // Playing along switches the metronome on: the metronome's own choice comes after it.
  if (const auto value = stored("PRACTICE:")) {
    if (*value == "WAIT")
      setToggleValue(Practice, 1);
    else if (*value == "ALONG")
      setToggleValue(PlayAlong, 1);
    else if (*value != "OFF")
      refused.push_back("PRACTICE: " + *value);
  }
  if (const auto value = stored("PRACTICE-HANDS:"); value && !practice.hands.read(*value))
    refused.push_back("PRACTICE-HANDS: " + *value);
  restoreToggle("COUNT-IN:", CountInClick, [] {});
  restoreToggle("METRONOME:", Metronome, [] {});
  Speed_Click();
  const std::string path = dataFolder + kSettingsFile;
  status().reportFew(path, refused.size(),
            [&](std::size_t i) { return say(Text::MsgSettingsChoiceRefused, {path, refused[i]}); });
  settings_.rememberAsStored(choicesInForce());
}

void Form1::welcome() {
  RecordLession.value = 1;
  applyRecordKind();
  status().informAgain<Form1>(*this, [](const Form1& f) {
    return f.say(Text::MsgFirstStart, {f.Label8.caption, f.Practice.caption});
  });
  rememberChoices();
}

void Form1::rememberChoices() {
  settings().remember(choicesInForce(), status());
}

void Form1::Check2_Click() {
  if (Check2.value == 1) {
    Tafel1.visible = Tafel2.visible = true;
    settingValue = "TRUE";
    settingKey = "HELPEDIT:";
    storeSetting();
    helpEditSetting = "TRUE";
  }
  if (Check2.value == 0) {
    Tafel1.visible = Tafel2.visible = false;
    settingValue = "FALSE";
    settingKey = "HELPEDIT:";
    storeSetting();
    helpEditSetting = "FALSE";
  }
}

}  // namespace tastrello
