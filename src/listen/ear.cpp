#include "listen/ear.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "input/hands.h"
#include "listen/chords.h"
#include "shell/text.h"

namespace tastrello::listen {

namespace {

int otherSide(int button) {
  return isPushButton(button) ? button - kButtonsPerBlock : button + kButtonsPerBlock;
}

bool contains(const std::vector<int>& values, int value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

std::string Ear::stored(const std::optional<std::string>& source) {
  if (!source) return "";
  return source->empty() ? kDefaultSource : *source;
}

std::optional<std::string> Ear::fromStored(const std::string& value) {
  if (value.empty()) return std::nullopt;
  if (value == kDefaultSource) return std::string();
  return value;
}

void Ear::useLayout(const ButtonNotes& notes, const std::array<std::string, kKeyCount>& captions) {
  // Only new notes make it afresh: captions change when the buttons show their keys' letters.
  if (listening_ && notes == notes_) return;
  notes_ = notes;
  captions_ = captions;
  listening_ = std::make_unique<Listening>(notes_, captions_);
  listening_->setLatency(latency_);
  listening_->setReferenceCents(referenceCents_);
  listening_->expect(expected_);
}

Listening& Ear::listening() {
  if (!listening_) useLayout(notes_, captions_);
  return *listening_;
}

void Ear::expect(const std::optional<std::vector<int>>& buttons) {
  if (buttons == expected_ && listening_) return;
  expected_ = buttons;
  listening().expect(expected_);
}

Ear::Heard Ear::hear(const std::vector<float>& samples, int sampleRate, double capturedAt,
                     UiLanguage language) {
  Heard heard;
  if (samples.empty() || sampleRate <= 0) return heard;
  Listening& l = listening();
  const bool tuning = l.mode() == Listening::Mode::TuningIn;
  const int stepBefore = tuning ? l.tuningStep().index : 0;
  heard.chords = l.feed(samples.data(), samples.size(), sampleRate, capturedAt);
  if (!tuning) return heard;
  const TuningStep step = l.tuningStep();
  if (step.index == stepBefore) return heard;
  if (step.index >= step.count) endTuning();
  heard.tuningSays = l.say(step, language);
  return heard;
}

std::string Ear::startTuning(UiLanguage language) {
  Listening& l = listening();
  l.startTuning();
  return l.say(l.tuningStep(), language);
}

Ear::CalibrationEnd Ear::endCalibration(UiLanguage language) {
  Listening& l = listening();
  const Calibration calibration = l.calibration();
  l.endCalibration();
  if (!calibration.latency)
    return {false, uiText(language, Text::MsgMicCalibrationFailed, {std::to_string(latencyMs())})};
  setLatencyMs(static_cast<int>(std::lround(*calibration.latency * 1000)));
  return {true, Listening::say(calibration, language)};
}

std::vector<int> Ear::buttonsOf(const ListenVerdict& heard) {
  if (!heard.judged) {
    const PitchPlacement placed = placePitches(heard.heard, notes_, std::nullopt, lastPush_, lastButton_);
    lastPush_ = placed.push;
    std::vector<int> buttons;
    for (const auto& button : placed.buttons)
      if (button && !contains(buttons, *button)) buttons.push_back(*button);
    if (!buttons.empty()) lastButton_ = buttons.front();
    return buttons;
  }
  if (!expected_ || expected_->empty()) return {};
  const std::vector<int>& expected = *expected_;
  std::vector<int> buttons;
  switch (heard.verdict) {
    case Verdict::Right:
      return expected;
    case Verdict::WrongDirection:
      for (int button : expected) buttons.push_back(otherSide(button));
      return buttons;
    case Verdict::Nothing:
      return {};
    case Verdict::WrongNotes:
      break;
  }
  for (int button : expected)
    if (!notes_[std::size_t(button)] || !contains(heard.missing, *notes_[std::size_t(button)]))
      buttons.push_back(button);
  const bool push = isPushButton(expected.front());
  const PitchPlacement extras = placePitches(heard.extra, notes_, push, push, expected.front());
  for (const auto& button : extras.buttons)
    if (button && !contains(buttons, *button)) buttons.push_back(*button);
  return buttons;
}

int Ear::stepsSinceChord(double at, double stepSeconds) {
  const std::optional<double> before = std::exchange(lastChordAt_, at);
  if (!before || stepSeconds <= 0) return 1;
  return std::max(1, static_cast<int>(std::lround((at - *before) / stepSeconds)));
}

int Ear::levelDb() const {
  return listening_ ? static_cast<int>(std::lround(listening_->levelDb())) : -120;
}

std::string Ear::meter(UiLanguage language) const {
  // Bars from -60 dB to full scale.
  constexpr int kBars = 20, kFloorDb = -60;
  if (!source_) return "";
  const int db = levelDb();
  const int lit = (std::clamp(db, kFloorDb, 0) - kFloorDb) * kBars / -kFloorDb;
  const std::string bar = std::string(std::size_t(lit), '|') + std::string(std::size_t(kBars - lit), '\xB7');
  return uiText(language, Text::MicLevel, {bar, std::to_string(db)});
}

void Ear::setReferenceCents(double cents) {
  referenceCents_ = cents;
  if (listening_) listening_->setReferenceCents(cents);
}

void Ear::endTuning() {
  Listening& l = listening();
  l.endTuning();
  referenceCents_ = l.referenceCents();
}

std::string Ear::storedA(double cents) { return decimalText(frequencyOf(69, cents), 1); }

std::optional<double> Ear::centsOfStoredA(const std::string& value) {
  // Whole hertz, a point and one decimal at most: written by storedA, never by a locale.
  const auto point = value.find('.');
  const std::string whole = value.substr(0, point);
  const std::string tenth = point == std::string::npos ? "0" : value.substr(point + 1);
  const auto hertz = parseInt16(whole);
  if (!hertz || whole.empty() || whole.front() == '-' || whole.front() == '+' ||
      tenth.size() != 1 || tenth[0] < '0' || tenth[0] > '9')
    return std::nullopt;
  const double a = *hertz + (tenth[0] - '0') / 10.0;
  const double cents = 1200 * std::log2(a / 440.0);
  if (std::abs(cents) > 100) return std::nullopt;
  return cents;
}

int Ear::latencyMs() const {
  return static_cast<int>(std::lround(latency_ * 1000));
}

void Ear::setLatencyMs(int milliseconds) {
  latency_ = milliseconds / 1000.0;
  if (listening_) listening_->setLatency(latency_);
}

bool Ear::readLatency(const std::string& value) {
  const std::optional<int> ms = parseInt16(value);
  if (!ms || *ms < 0 || *ms > kLongestLatencyMs) return false;
  setLatencyMs(*ms);
  return true;
}

}  // namespace tastrello::listen
