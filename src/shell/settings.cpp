// The settings file "Tastrel.Ini": key lines followed by their values, read at start-up and
// rewritten whole whenever a switch changes.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

namespace {

const std::string kSettingsFile = "Tastrel.Ini";
constexpr int kInstrumentCount = 128;
// The file holds some 135 lines; one far larger is no settings file and is neither read whole
// at every change nor rewritten.
constexpr std::size_t kLargestSettings = 1024 * 1024;
// A tap offset beyond half a second is no offset of a player's but a calibration gone wrong;
// a timing window narrower than 10 ms judges the sound's own jitter, one wider than 300 ms
// reaches the neighbouring chords at a brisk tempo.
constexpr int kLargestTapOffsetMs = 500;
constexpr int kNarrowestWindowMs = 10;
constexpr int kWidestWindowMs = 300;

}  // namespace

namespace {

// The learner's choices kept across a restart. Keys the older reader ignores, as it ignores
// "MIDI-OUT:".
constexpr const char* kChoiceKeys[] = {"LESSONS:",  "SHOW-KEYS:", "KEYBOARD-PLAYS:",
                                       "COUNT-IN:", "METRONOME:", "TEMPO:",
                                       "PRACTICE:", "TUNING:"};

bool isChoiceKey(const std::string& line) {
  return std::find(std::begin(kChoiceKeys), std::end(kChoiceKeys), line) != std::end(kChoiceKeys);
}

bool isSettingKey(const std::string& line) {
  return line == "LANGUAGE:" || line == "SPLASH:" || line == "HELPEDIT:" || line == "MIDI-OUT:" ||
         line == "SOUNDFONT:" || line == "MIDI-LIST:" || line == "MIDI-IN:" ||
         line == "BELLOWS-CC:" || line == "AUDIO-BUFFER:" || line == "TAP-OFFSET:" ||
         line == "TIMING-WINDOW:" || isChoiceKey(line);
}

std::string yesNo(const Toggle& toggle) {
  return toggle.value == 1 ? "TRUE" : "FALSE";
}

/// The indices of the lines read as keys: a known key anywhere but in a value line or in the
/// instrument list that follows "MIDI-LIST:". The reader and the writer use the same ones.
std::vector<std::size_t> keyLines(const std::vector<std::string>& lines) {
  std::vector<std::size_t> keys;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!isSettingKey(lines[i])) continue;
    keys.push_back(i);
    if (lines[i] == "MIDI-LIST:")
      i += kInstrumentCount;
    else if (i + 1 < lines.size() && !isSettingKey(lines[i + 1]))
      ++i;  // its value line
  }
  return keys;
}

bool hasValueLine(const std::vector<std::string>& lines, std::size_t key) {
  return key + 1 < lines.size() && !isSettingKey(lines[key + 1]);
}

}  // namespace

std::optional<std::string> Form1::readSettings(Text message) {
  const std::string path = dataFolder + kSettingsFile;
  auto bytes = services.files->read(path);
  if (bytes && bytes->size() <= kLargestSettings) return bytes;
  std::string why = bytes ? say(Text::WhyTooLarge, {"1 MB"}) : services.files->readProblem(path);
  report(say(message, {path, why.empty() ? say(Text::WhyMissing) : why}));
  return std::nullopt;
}

void Form1::readSettingsFile() {
  const std::string path = dataFolder + kSettingsFile;
  const auto bytes = readSettings(Text::MsgSettingsUnread);
  if (!bytes) return;
  // What is wrong in the file is said once its own LANGUAGE: is known, in that language.
  std::vector<std::function<std::string(UiLanguage)>> found;
  const auto lines = splitLines(*bytes);
  const std::size_t n = lines.size();
  const auto keys = keyLines(lines);
  for (const std::size_t i : keys) {
    const std::string& key = lines[i];
    if (key == "MIDI-LIST:") {
      int k = 1;
      for (std::size_t line = i + 1; k <= kInstrumentCount && line < n; ++k, ++line)
        instrumentNames[k] = mid(lines[line], 4, 50);
      if (k <= kInstrumentCount)
        found.push_back([path, listed = std::to_string(k - 1)](UiLanguage l) {
          return uiText(l, Text::MsgSettingsShortList, {path, listed});
        });
      continue;
    }
    // A value line is never a key line: a key followed by another key has no value.
    if (!hasValueLine(lines, i)) {
      found.push_back([path, key](UiLanguage l) {
        return uiText(l, Text::MsgSettingsNoValue, {path, key});
      });
      continue;
    }
    const std::string& value = lines[i + 1];
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
    else if (key == "TAP-OFFSET:" && !readTapOffset(value))
      found.push_back([value, held = std::lround(practice.offsetSeconds * 1000)](UiLanguage l) {
        return uiText(l, Text::MsgTapOffsetRefused,
                      {value, std::to_string(-kLargestTapOffsetMs),
                       std::to_string(kLargestTapOffsetMs), std::to_string(held)});
      });
    else if (key == "TIMING-WINDOW:" && !readTimingWindow(value))
      found.push_back([value, held = practice.windowMs](UiLanguage l) {
        return uiText(l, Text::MsgTimingWindowRefused,
                      {value, std::to_string(kNarrowestWindowMs), std::to_string(kWidestWindowMs),
                       std::to_string(held)});
      });
    else if (isChoiceKey(key))
      storedChoices.emplace_back(key, value);
    else if (key == "BELLOWS-CC:" && !readBellowsController(value))
      found.push_back(
          [value](UiLanguage l) { return uiText(l, Text::MsgBellowsController, {value}); });
  }
  if (keys.empty())
    found.push_back([path](UiLanguage l) { return uiText(l, Text::MsgSettingsEmpty, {path}); });
  const UiLanguage language = uiLanguageOf(languageFile);
  reportFew(path, found.size(), [&](std::size_t i) { return found[i](language); });
}

bool Form1::readBellowsController(const std::string& value) {
  if (value.empty()) {
    hands.bellowsController = -1;  // none: the direction comes from the notes held
    return true;
  }
  // 120 to 127 are channel mode messages (123 stops every note), and there is no controller
  // above 127: such a number would make the input listen for what the export cannot write.
  const auto number = parseInt16(value);
  if (!number || *number < 0 || *number > kLastBellowsController) return false;
  hands.bellowsController = *number;
  return true;
}

bool Form1::readTapOffset(const std::string& value) {
  const auto ms = value.empty() ? std::optional<int>(0) : parseInt16(value);
  if (!ms || std::abs(*ms) > kLargestTapOffsetMs) return false;
  practice.offsetSeconds = *ms / 1000.0;
  return true;
}

bool Form1::readTimingWindow(const std::string& value) {
  const auto ms = value.empty() ? std::optional<int>(PracticeState{}.windowMs) : parseInt16(value);
  if (!ms || *ms < kNarrowestWindowMs || *ms > kWidestWindowMs) return false;
  practice.windowMs = *ms;
  return true;
}

void Form1::storeSetting() {
  if (languageChanged) {
    languageChanged = false;
    showCredits();
  }
  storeSettings({{settingKey, settingValue}});
}

void Form1::storeSettings(const std::vector<std::pair<std::string, std::string>>& values) {
  const std::string path = dataFolder + kSettingsFile;
  const auto bytes = readSettings(Text::MsgSettingsThisRun);
  if (!bytes) return;
  auto lines = splitLines(*bytes);
  // Every occurrence of the key gets the new value; a key on the last line gets its value
  // after it, and a missing key is added at the top, where no list can swallow it.
  for (const auto& [key, value] : values) {
    bool found = false;
    const auto keyAt = keyLines(lines);
    for (auto at = keyAt.rbegin(); at != keyAt.rend(); ++at) {  // from the end: inserts shift
      const std::size_t i = *at;
      if (lines[i] != key) continue;
      found = true;
      if (hasValueLine(lines, i))
        lines[i + 1] = value;
      else
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1, value);
    }
    if (!found) lines.insert(lines.begin(), {key, value});
  }
  const std::string error = services.files->replace(path, joinLines(lines));
  if (!error.empty()) report(say(Text::MsgSettingsNotChanged, {path, error}));
}

std::vector<std::pair<std::string, std::string>> Form1::choicesInForce() const {
  const char* practiceMode = Practice.value == 1 ? "WAIT" : PlayAlong.value == 1 ? "ALONG" : "OFF";
  return {{"LESSONS:", yesNo(RecordLession)},     {"SHOW-KEYS:", yesNo(KeyLetters)},
          {"KEYBOARD-PLAYS:", yesNo(KeyboardPlay)}, {"COUNT-IN:", yesNo(CountInClick)},
          {"METRONOME:", yesNo(Metronome)},         {"TEMPO:", std::to_string(Speed.value)},
          {"PRACTICE:", practiceMode},              {"TUNING:", chosenTuning}};
}

void Form1::restoreChoices() {
  std::vector<std::string> refused;
  // The last value of a key counts, as for every other key.
  auto stored = [this](const std::string& key) -> std::optional<std::string> {
    for (auto it = storedChoices.rbegin(); it != storedChoices.rend(); ++it)
      if (it->first == key) return it->second;
    return std::nullopt;
  };
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
  restoreToggle("COUNT-IN:", CountInClick, [] {});
  restoreToggle("METRONOME:", Metronome, [] {});
  Speed_Click();
  const std::string path = dataFolder + kSettingsFile;
  reportFew(path, refused.size(),
            [&](std::size_t i) { return say(Text::MsgSettingsChoiceRefused, {path, refused[i]}); });
  storedChoices = choicesInForce();
}

void Form1::welcome() {
  RecordLession.value = 1;
  applyRecordKind();
  informAgain([](const Form1& f) {
    return f.say(Text::MsgFirstStart, {f.Label8.caption, f.Practice.caption});
  });
  rememberChoices();
}

void Form1::rememberChoices() {
  const auto now = choicesInForce();
  if (now == storedChoices) return;
  std::vector<std::pair<std::string, std::string>> changed;
  for (std::size_t i = 0; i < now.size(); ++i)
    if (i >= storedChoices.size() || storedChoices[i] != now[i]) changed.push_back(now[i]);
  storedChoices = now;
  storeSettings(changed);
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
