#include "listen/listener.h"

#include <algorithm>
#include <cmath>

namespace tastrello::listen {

namespace {

/// The frame before an onset ends this long before it: the chord's first sound stays out.
constexpr double kBeforeGapSeconds = 0.003;
/// A chord has ended when its partials fell this far below their loudest; it was let go and
/// pressed again when they fell this far before rising.
constexpr float kEndDb = 24, kFadedDb = 10;

std::size_t ringSizeFor(std::size_t needed) {
  std::size_t size = 1;
  while (size < needed) size *= 2;
  return size;
}

}  // namespace

Listener::Listener(double sampleRate, PitchSpace space)
    : rate_(sampleRate), space_(std::move(space)), onsets_(sampleRate),
      peaks_(sampleRate, onsets_.frameLength()) {
  const auto verdictSamples = static_cast<std::size_t>((kVerdictSeconds + kSecondLookSeconds) * sampleRate);
  ring_.assign(ringSizeFor(2 * peaks_.frameLength() + 2 * verdictSamples + onsets_.frameLength() * 4), 0.0f);
  frame_.reserve(std::max(peaks_.frameLength(), onsets_.frameLength()));
  nextHop_ = static_cast<long long>(onsets_.hop());
}

void Listener::expect(std::optional<Expectation> chord) {
  expected_ = std::move(chord);
}

void Listener::feed(const float* samples, std::size_t count) {
  const std::size_t mask = ring_.size() - 1;
  for (std::size_t i = 0; i < count; ++i) {
    ring_[std::size_t(position_) & mask] = samples[i];
    ++position_;
    if (position_ == nextHop_) {
      onHop();
      nextHop_ += static_cast<long long>(onsets_.hop());
    }
  }
}

std::vector<Heard> Listener::take() {
  std::vector<Heard> out;
  out.swap(heard_);
  return out;
}

namespace {

/// A verdict that needs no second look: the chord expected, or the same buttons the other way.
bool judgedAtOnce(Verdict verdict) {
  return verdict == Verdict::Right || verdict == Verdict::WrongDirection;
}

}  // namespace

void Listener::copyFrame(long long end, std::size_t length, std::vector<float>& out) const {
  const std::size_t mask = ring_.size() - 1;
  out.resize(length);
  for (std::size_t i = 0; i < length; ++i) {
    const long long at = end - static_cast<long long>(length) + static_cast<long long>(i);
    out[i] = at >= 0 && at > position_ - static_cast<long long>(ring_.size()) ? ring_[std::size_t(at) & mask] : 0.0f;
  }
}

void Listener::onHop() {
  copyFrame(position_, onsets_.frameLength(), frame_);
  if (const auto rise = onsets_.step(frame_.data(), position_)) rising_.push_back(*rise);
  followChord();
  // Each rise is placed once it is over, and judged when the frame after its onset is there;
  // a chord neither right nor the wrong way round waits for its second look, and the chords
  // after it wait with it, so that they are told in order.
  const double placeAfter = OnsetDetector::kPlaceAfterSeconds * rate_;
  while (!rising_.empty() && double(position_ - rising_.front()) >= placeAfter) {
    if (const auto onset = onsets_.place(rising_.front())) pending_.push_back({*onset, std::nullopt, std::nullopt});
    rising_.erase(rising_.begin());
  }
  const double verdictSamples = kVerdictSeconds * rate_, secondLookSamples = kSecondLookSeconds * rate_;
  while (!pending_.empty()) {
    Pending& next = pending_.front();
    if (!next.looked) {
      if (double(position_) < next.onset + verdictSamples) break;
      next.looked = firstLook(next.onset);
      next.expected = expected_;
      if (next.looked->judged && !judgedAtOnce(next.looked->judgement.verdict)) continue;
    } else {
      if (double(position_) < next.onset + verdictSamples + secondLookSamples) break;
      secondLook(*next.looked, *next.expected);
    }
    tell(std::move(*next.looked));
    pending_.erase(pending_.begin());
  }
}

Heard Listener::firstLook(double onset) {
  Heard heard;
  heard.at = onset;
  const auto verdictEnd = static_cast<long long>(std::ceil(onset + kVerdictSeconds * rate_));
  copyFrame(std::min(position_, verdictEnd), peaks_.frameLength(), frame_);
  peaks_.find(frame_.data(), heard.sound.after);
  copyFrame(static_cast<long long>(onset - kBeforeGapSeconds * rate_), peaks_.frameLength(), frame_);
  peaks_.find(frame_.data(), heard.sound.before);
  if (sounding_.active) heard.sound.ringing = sounding_.pitches;
  if (expected_) {
    heard.judged = true;
    heard.judgement = judge(heard.sound, *expected_, space_);
  } else {
    heard.judgement.heard = hear(heard.sound, space_);
  }
  return heard;
}

void Listener::secondLook(Heard& heard, const Expectation& expected) {
  Sound later = heard.sound;
  const auto end = static_cast<long long>(std::ceil(heard.at + (kVerdictSeconds + kSecondLookSeconds) * rate_));
  copyFrame(std::min(position_, end), peaks_.frameLength(), frame_);
  peaks_.find(frame_.data(), later.after);
  Judgement again = judge(later, expected, space_);
  if (!judgedAtOnce(again.verdict)) return;
  heard.judgement = std::move(again);
  heard.sound = std::move(later);
}

void Listener::tell(Heard heard) {
  heard.decidedAt = position_;
  // An onset with nothing new in the treble is the bass side's, or a knock; one that finds the
  // chord still sounding as it was, never having faded, is that chord swelling as reeds do.
  const auto& treble = heard.judgement.heard.treble;
  if (!heard.judgement.heard.fresh) return;
  if (sounding_.active && !sounding_.faded &&
      std::includes(sounding_.pitches.begin(), sounding_.pitches.end(), treble.begin(), treble.end()))
    return;
  sounding_.active = true;
  sounding_.faded = false;
  sounding_.pitches = treble;
  sounding_.loudestDb = -200;
  sounding_.bins.clear();
  const double bin = onsets_.binHz();
  for (int pitch : heard.judgement.heard.treble)
    for (int h = 1; h <= 3; ++h)
      sounding_.bins.push_back(static_cast<std::size_t>(std::lround(frequencyOf(pitch, space_.referenceCents) * h / bin)));
  heard_.push_back(std::move(heard));
}

void Listener::followChord() {
  if (!sounding_.active || sounding_.bins.empty()) return;
  const auto& magnitudes = onsets_.magnitudes();
  double power = 0;
  for (std::size_t b : sounding_.bins)
    if (b < magnitudes.size()) power += double(magnitudes[b]) * magnitudes[b];
  const auto db = static_cast<float>(10 * std::log10(power + 1e-30));
  sounding_.loudestDb = std::max(sounding_.loudestDb, db);
  if (db < sounding_.loudestDb - kFadedDb) sounding_.faded = true;
  if (db < sounding_.loudestDb - kEndDb && pending_.empty()) {
    sounding_.active = false;
    heard_.push_back({Heard::Kind::Silence, double(position_ - static_cast<long long>(onsets_.frameLength() / 2)), position_, false, {}, {}});
  }
}

}  // namespace tastrello::listen
