// The settings file "Tastrel.Ini": key lines followed by their values, read at start-up and
// rewritten whole whenever a switch changes.
#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

namespace {

const std::string kSettingsFile = "Tastrel.Ini";
constexpr int kInstrumentCount = 128;

}  // namespace

namespace {

bool isSettingKey(const std::string& line) {
  return line == "LANGUAGE:" || line == "SPLASH:" || line == "HELPEDIT:" || line == "MIDI-OUT:" ||
         line == "SOUNDFONT:" || line == "MIDI-LIST:";
}

}  // namespace

void Form1::readSettingsFile() {
  const std::string path = dataFolder + kSettingsFile;
  const auto bytes = services.files->read(path);
  if (!bytes) {
    report("Settings file " + path + " cannot be read; starting with the defaults.");
    return;
  }
  const auto lines = splitLines(*bytes);
  const std::size_t n = lines.size();
  bool anyKey = false;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string& key = lines[i];
    if (!isSettingKey(key)) continue;
    anyKey = true;
    // A value line is never a key line: a key followed by another key has no value.
    if (i + 1 >= n || (key != "MIDI-LIST:" && isSettingKey(lines[i + 1]))) {
      report("Settings file " + path + ": the key " + key + " has no value.");
      continue;
    }
    if (key == "MIDI-LIST:") {
      int k = 1;
      for (; k <= kInstrumentCount && i + 1 < n; ++k) instrumentNames[k] = mid(lines[++i], 4, 50);
      if (k <= kInstrumentCount)
        report("Settings file " + path + " lists only " + std::to_string(k - 1) +
               " of the 128 instruments.");
      continue;
    }
    const std::string& value = lines[++i];
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
  }
  if (!anyKey)
    report("Settings file " + path +
           " holds no settings; starting with the defaults (choices made now are added to it).");
}

void Form1::storeSetting() {
  if (languageChanged) {
    languageChanged = false;
    showCredits();
  }
  const std::string path = dataFolder + kSettingsFile;
  const auto bytes = services.files->read(path);
  if (!bytes) {
    report("Settings file " + path + " cannot be read; the change lasts for this run only.");
    return;
  }
  auto lines = splitLines(*bytes);
  // Every occurrence of the key gets the new value; a key on the last line gets its value
  // after it, and a missing key is added at the top, where no list can swallow it.
  bool found = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i] != settingKey) continue;
    found = true;
    if (i + 1 < lines.size() && !isSettingKey(lines[i + 1]))
      lines[i + 1] = settingValue;
    else
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i) + 1, settingValue);
  }
  if (!found) lines.insert(lines.begin(), {settingKey, settingValue});
  const std::string error = services.files->replace(path, joinLines(lines));
  if (!error.empty()) report("Settings file " + path + " was not changed: " + error);
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
