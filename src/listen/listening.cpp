#include "listen/listening.h"

#include <algorithm>
#include <cmath>

#include "exchange/tune.h"
#include "sound/buttons.h"
#include "shell/text.h"

namespace tastrello::listen {

namespace {

/// The meter follows the sound's power over about this long.
constexpr double kLevelSeconds = 0.05;
/// A click stands this far above the sound before it (and above kQuietestClick), and the
/// next one comes no sooner than this after it.
constexpr double kClickOverFloor = 10, kQuietestClick = 0.01, kClickGapSeconds = 0.15;
/// A click heard belongs to the click played last before it, at most this much before it.
constexpr double kLongestLatency = 0.5;
/// The chords of tuning in: three neighbours of the middle row, from its third button on,
/// on push and on pull.
constexpr int kTuningRow = 2, kTuningFirst = 3, kTuningChords = 3, kTuningButtons = 3;

std::vector<std::vector<int>> tuningChordsOf(const ButtonNotes& notes) {
  std::vector<std::vector<int>> chords;
  for (bool push : {true, false})
    for (int first = kTuningFirst; first < kTuningFirst + kTuningChords; ++first) {
      std::vector<int> chord;
      for (int b = 0; b < 2 * kButtonsPerBlock; ++b) {
        const ButtonPlace place = placeOf(b);
        if (place.push == push && place.row == kTuningRow && place.number >= first &&
            place.number < first + kTuningButtons && notes[std::size_t(b)])
          chord.push_back(b);
      }
      if (int(chord.size()) == kTuningButtons) chords.push_back(chord);
    }
  return chords;
}

std::vector<int> pitchesOf(const std::vector<int>& buttons, const ButtonNotes& notes) {
  return expectationOf(buttons, notes).pitches;
}

}  // namespace

Listening::Listening(const ButtonNotes& notes, const std::array<std::string, kKeyCount>& captions)
    : notes_(notes), captions_(captions), tuningChords_(tuningChordsOf(notes)) {}

Listening::~Listening() = default;

void Listening::restart(double sampleRate) {
  rate_ = sampleRate;
  listener_ = std::make_unique<Listener>(sampleRate, pitchSpaceOf(notes_, referenceCents_));
  listener_->expect(expected_);
  if (mode_ == Mode::TuningIn) {
    const int asked = tuningIndex_;
    startTuning();
    askForTuningChord(asked);
  }
}

void Listening::expect(std::optional<std::vector<int>> buttons) {
  expected_ = buttons ? std::optional(expectationOf(*buttons, notes_)) : std::nullopt;
  if (listener_) listener_->expect(expected_);
}

std::vector<ListenVerdict> Listening::feed(const float* samples, std::size_t count, double sampleRate,
                                           double capturedAt) {
  if (sampleRate != rate_) restart(sampleRate);
  fed_ = listener_->position();
  fedAt_ = capturedAt;
  followLevel(samples, count);
  std::vector<ListenVerdict> verdicts;
  switch (mode_) {
    case Mode::Judging:
      listener_->feed(samples, count);
      for (const Heard& heard : listener_->take())
        if (heard.kind == Heard::Kind::Chord) verdicts.push_back(verdictOf(heard));
      break;
    case Mode::Calibrating:
      hearClicks(samples, count);
      listener_->feed(samples, count);  // keeps the stream's count of samples
      listener_->take();
      break;
    case Mode::TuningIn:
      // The step goes on when the chord asked for is heard right; the A is learnt from it all.
      tuning_->feed(samples, count);
      // The chords asked for are heard with the A learnt so far (looked at every tenth of a
      // second: the report weighs everything heard).
      if (listener_->position() - tuningLooked_ >= static_cast<long long>(rate_ / 10)) {
        tuningLooked_ = listener_->position();
        if (const TuningReport report = tuning_->report(); report.chordsHeard > 0)
          listener_->setReference(report.referenceCents);
      }
      listener_->feed(samples, count);
      for (const Heard& heard : listener_->take())
        if (heard.kind == Heard::Kind::Chord && heard.judged && heard.judgement.verdict == Verdict::Right)
          askForTuningChord(tuningIndex_ + 1);
      break;
  }
  return verdicts;
}

double Listening::momentOf(double sample) const {
  return fedAt_ + (sample - double(fed_)) / rate_;
}

void Listening::followLevel(const float* samples, std::size_t count) {
  // A running mean of the power, its time constant kLevelSeconds.
  const double keep = std::exp(-1 / (kLevelSeconds * rate_));
  for (std::size_t i = 0; i < count; ++i) levelPower_ = keep * levelPower_ + (1 - keep) * double(samples[i]) * samples[i];
  // A full-scale sine has a power of one half.
  levelDb_ = std::max(-120.0, 10 * std::log10(2 * levelPower_ + 1e-30));
}

ListenVerdict Listening::verdictOf(const Heard& heard) const {
  ListenVerdict v;
  v.judged = heard.judged;
  v.verdict = heard.judged ? heard.judgement.verdict : Verdict::Nothing;
  v.at = momentOf(heard.at) - latency_;
  v.heard = heard.judgement.heard.treble;
  v.missing = heard.judgement.missing;
  v.extra = heard.judgement.extra;
  return v;
}

void Listening::startCalibration() {
  mode_ = Mode::Calibrating;
  clicksPlayed_.clear();
  clicksHeard_.clear();
  clickFloor_ = 1e-6;
}

void Listening::clickPlayed(double at) {
  clicksPlayed_.push_back(at);
}

void Listening::hearClicks(const float* samples, std::size_t count) {
  const long long first = listener_->position();
  const double follow = 1 - std::exp(-1 / (kLevelSeconds * rate_));
  for (std::size_t i = 0; i < count; ++i) {
    const double magnitude = std::abs(double(samples[i]));
    const long long at = first + static_cast<long long>(i);
    if (double(at - lastClick_) < kClickGapSeconds * rate_) continue;
    if (magnitude > std::max(kQuietestClick, kClickOverFloor * clickFloor_)) {
      lastClick_ = at;
      clicksHeard_.push_back(momentOf(double(at)));
      continue;
    }
    clickFloor_ += follow * (magnitude - clickFloor_);
  }
}

Calibration Listening::calibration() const {
  Calibration c;
  c.clicksPlayed = static_cast<int>(clicksPlayed_.size());
  std::vector<double> delays;
  for (double heard : clicksHeard_) {
    // The click played last before it.
    const auto after = std::upper_bound(clicksPlayed_.begin(), clicksPlayed_.end(), heard);
    if (after == clicksPlayed_.begin()) continue;
    const double delay = heard - *(after - 1);
    if (delay <= kLongestLatency) delays.push_back(delay);
  }
  c.clicksHeard = static_cast<int>(delays.size());
  if (c.clicksHeard >= Calibration::kLeastClicks) {
    std::nth_element(delays.begin(), delays.begin() + long(delays.size() / 2), delays.end());
    c.latency = delays[delays.size() / 2];
  }
  return c;
}

void Listening::endCalibration() {
  if (const auto latency = calibration().latency) latency_ = *latency;
  mode_ = Mode::Judging;
}

void Listening::startTuning() {
  mode_ = Mode::TuningIn;
  std::vector<std::vector<int>> pitches;
  for (const auto& chord : tuningChords_) pitches.push_back(pitchesOf(chord, notes_));
  tuning_ = std::make_unique<TuningIn>(rate_ > 0 ? rate_ : 48000, pitches);
  askForTuningChord(0);
}

void Listening::askForTuningChord(int index) {
  tuningIndex_ = std::min(index, static_cast<int>(tuningChords_.size()));
  if (listener_)
    listener_->expect(tuningIndex_ < int(tuningChords_.size())
                          ? std::optional(expectationOf(tuningChords_[std::size_t(tuningIndex_)], notes_))
                          : std::nullopt);
}

TuningStep Listening::tuningStep() const {
  TuningStep step;
  step.count = static_cast<int>(tuningChords_.size());
  if (tuning_) step.report = tuning_->report();
  step.index = tuningIndex_;
  if (step.index < step.count) step.buttons = tuningChords_[std::size_t(step.index)];
  return step;
}

void Listening::setReferenceCents(double cents) {
  referenceCents_ = cents;
  if (listener_) listener_->setReference(referenceCents_);
}

void Listening::endTuning() {
  if (tuning_ && tuning_->report().status == TuningReport::Status::Fine) {
    referenceCents_ = tuning_->report().referenceCents;
    if (listener_) listener_->setReference(referenceCents_);
  }
  tuning_.reset();
  mode_ = Mode::Judging;
  if (listener_) listener_->expect(expected_);
}

std::string Listening::names(const std::vector<int>& pitches) const {
  std::string s;
  for (int pitch : pitches) s += (s.empty() ? "" : " ") + pitchName(pitch, notes_, captions_);
  return s;
}

std::string Listening::say(const ListenVerdict& v, UiLanguage language) const {
  if (!v.judged) return uiText(language, Text::HeardChord, {names(v.heard)});
  switch (v.verdict) {
    case Verdict::Right: return uiText(language, Text::HeardRight);
    case Verdict::WrongDirection: return uiText(language, Text::HeardWrongDirection);
    case Verdict::Nothing: break;
    case Verdict::WrongNotes:
      if (!v.missing.empty() && !v.extra.empty())
        return uiText(language, Text::HeardInsteadOf, {names(v.extra), names(v.missing)});
      if (!v.missing.empty()) return uiText(language, Text::HeardMissing, {names(v.missing)});
      return uiText(language, Text::HeardExtra, {names(v.extra)});
  }
  return uiText(language, Text::HeardChord, {names(v.heard)});
}

std::string Listening::say(const TuningStep& step, UiLanguage language) const {
  if (step.index < step.count) {
    std::string chord;
    for (int b : step.buttons) chord += (chord.empty() ? "" : " ") + captions_[std::size_t(b)];
    const Text bellows = isPushButton(step.buttons.front()) ? Text::BellowsPush : Text::BellowsPull;
    return uiText(language, Text::TuneInPlay, {std::to_string(step.index + 1), std::to_string(step.count), chord,
                                               uiText(language, bellows)});
  }
  switch (step.report.status) {
    case TuningReport::Status::Fine:
      return uiText(language, Text::TuneInDone, {decimalText(frequencyOf(69, step.report.referenceCents), 1)});
    case TuningReport::Status::TooQuiet: return uiText(language, Text::TuneInTooQuiet);
    case TuningReport::Status::TooLoud: return uiText(language, Text::TuneInTooLoud);
    case TuningReport::Status::NothingHeard: break;
  }
  return uiText(language, Text::TuneInNothing);
}

std::string Listening::say(const Calibration& calibration, UiLanguage language) {
  if (!calibration.latency) return "";
  return uiText(language, Text::CalibrateDone, {decimalText(*calibration.latency * 1000, 0)});
}

}  // namespace tastrello::listen
