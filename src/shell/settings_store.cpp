#include "shell/settings_store.h"

#include <algorithm>
#include <iterator>

#include "shell/text.h"

namespace tastrello {

namespace {

// The file holds some 135 lines; one far larger is no settings file and is neither read whole
// at every change nor rewritten.
constexpr std::size_t kLargestSettings = 1024 * 1024;

// The learner's choices kept across a restart. Keys the older reader ignores, as it ignores
// "MIDI-OUT:".
constexpr const char* kChoiceKeys[] = {"LESSONS:",  "SHOW-KEYS:", "KEYBOARD-PLAYS:",
                                       "COUNT-IN:", "METRONOME:", "TEMPO:",
                                       "PRACTICE:", "TUNING:",    "BASS-SIDE:",
                                       "MIC-A:",    "PRACTICE-HANDS:"};

bool isSettingKey(const std::string& line) {
  return line == "LANGUAGE:" || line == "SPLASH:" || line == "HELPEDIT:" || line == "MIDI-OUT:" ||
         line == "SOUNDFONT:" || line == "MIDI-LIST:" || line == "MIDI-IN:" ||
         line == "BELLOWS-CC:" || line == "AUDIO-BUFFER:" || line == "TAP-OFFSET:" ||
         line == "TIMING-WINDOW:" || line == "MICROPHONE:" || line == "MIC-LATENCY:" ||
         line == "BASS-CHANNEL:" ||
         SettingsStore::isChoiceKey(line);
}

/// The indices of the lines read as keys: a known key anywhere but in a value line or in the
/// instrument list that follows "MIDI-LIST:". The reader and the writer use the same ones.
std::vector<std::size_t> keyLines(const std::vector<std::string>& lines) {
  std::vector<std::size_t> keys;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!isSettingKey(lines[i])) continue;
    keys.push_back(i);
    if (lines[i] == "MIDI-LIST:")
      i += SettingsStore::kInstrumentCount;
    else if (i + 1 < lines.size() && !isSettingKey(lines[i + 1]))
      ++i;  // its value line
  }
  return keys;
}

bool hasValueLine(const std::vector<std::string>& lines, std::size_t key) {
  return key + 1 < lines.size() && !isSettingKey(lines[key + 1]);
}

}  // namespace

bool SettingsStore::isChoiceKey(const std::string& key) {
  return std::find(std::begin(kChoiceKeys), std::end(kChoiceKeys), key) != std::end(kChoiceKeys);
}

std::optional<std::string> SettingsStore::Reading::last(const std::string& key) const {
  for (auto it = values.rbegin(); it != values.rend(); ++it)
    if (it->first == key) return it->second;
  return std::nullopt;
}

SettingsStore::FileRead SettingsStore::readFile() {
  FileRead f;
  f.bytes = files_->read(path_);
  if (f.bytes && f.bytes->size() > kLargestSettings) {
    f.bytes.reset();
    f.tooLarge = true;
  } else if (!f.bytes) {
    f.why = files_->readProblem(path_);
  }
  return f;
}

void SettingsStore::reportUnread(const FileRead& file, Text message,
                                 StatusReports& status) const {
  // The reason is said through the status line, so that it is said again in another language
  // with the message.
  const std::string reason = file.tooLarge      ? status.say(Text::WhyTooLarge, {"1 MB"})
                             : file.why.empty() ? status.say(Text::WhyMissing)
                                                : file.why;
  status.report(status.say(message, {path_, reason}));
}

SettingsStore::Reading SettingsStore::read(StatusReports& status) {
  Reading r;
  stored_.clear();
  const FileRead file = readFile();
  if (!file.bytes) {
    reportUnread(file, Text::MsgSettingsUnread, status);
    return r;
  }
  const auto lines = splitLines(*file.bytes);
  const auto keys = keyLines(lines);
  for (const std::size_t i : keys) {
    const std::string& key = lines[i];
    if (key == "MIDI-LIST:") {
      int k = 1;
      for (std::size_t line = i + 1; k <= kInstrumentCount && line < lines.size(); ++k, ++line)
        r.instruments[std::size_t(k)] = mid(lines[line], 4, 50);
      r.instrumentsListed = k - 1;
      if (k <= kInstrumentCount)
        r.problems.push_back([path = path_, listed = std::to_string(k - 1)](UiLanguage l) {
          return uiText(l, Text::MsgSettingsShortList, {path, listed});
        });
      continue;
    }
    // A value line is never a key line: a key followed by another key has no value.
    if (!hasValueLine(lines, i)) {
      r.problems.push_back([path = path_, key](UiLanguage l) {
        return uiText(l, Text::MsgSettingsNoValue, {path, key});
      });
      continue;
    }
    r.values.emplace_back(key, lines[i + 1]);
    if (isChoiceKey(key)) stored_.emplace_back(key, lines[i + 1]);
  }
  if (keys.empty())
    r.problems.push_back(
        [path = path_](UiLanguage l) { return uiText(l, Text::MsgSettingsEmpty, {path}); });
  return r;
}

void SettingsStore::write(const std::vector<Setting>& values, StatusReports& status) {
  const FileRead file = readFile();
  if (!file.bytes) {
    reportUnread(file, Text::MsgSettingsThisRun, status);
    return;
  }
  auto lines = splitLines(*file.bytes);
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
  const std::string error = files_->replace(path_, joinLines(lines));
  if (!error.empty()) status.report(status.say(Text::MsgSettingsNotChanged, {path_, error}));
}

std::optional<std::string> SettingsStore::storedChoice(const std::string& key) const {
  for (auto it = stored_.rbegin(); it != stored_.rend(); ++it)
    if (it->first == key) return it->second;
  return std::nullopt;
}

void SettingsStore::remember(const std::vector<Setting>& choices, StatusReports& status) {
  if (choices == stored_) return;
  std::vector<Setting> changed;
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (i >= stored_.size() || stored_[i] != choices[i]) changed.push_back(choices[i]);
  stored_ = choices;
  write(changed, status);
}

}  // namespace tastrello
