#include "sound/audio_buffer.h"

#include <algorithm>
#include <charconv>

namespace tastrello::audio_buffer {

const std::vector<int>& offeredMs() {
  // Ten milliseconds and more: a smaller buffer makes a sound server run every program on
  // the desktop at short cycles.
  static const std::vector<int> sizes{10, 20, 40, 80, 160};
  return sizes;
}

BufferReading read(std::string_view value) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  BufferReading reading;
  if (value.empty()) return reading;
  long long ms = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), ms);
  if (error == std::errc::result_out_of_range) {
    reading.refusal = value.front() == '-' ? BufferRefusal::TooSmall : BufferRefusal::TooLarge;
    return reading;
  }
  if (error != std::errc() || end != value.data() + value.size()) {
    reading.refusal = BufferRefusal::NotANumber;
    return reading;
  }
  if (ms < kMinMs)
    reading.refusal = BufferRefusal::TooSmall;
  else if (ms > kMaxMs)
    reading.refusal = BufferRefusal::TooLarge;
  else
    reading.choice.milliseconds = static_cast<int>(ms);
  return reading;
}

std::string stored(BufferChoice choice) {
  return choice.automatic() ? std::string() : std::to_string(choice.milliseconds);
}

int framesFor(int milliseconds, double rate) {
  const double blocks = milliseconds * rate / 1000.0 / kBlockFrames;
  return std::max(1, static_cast<int>(blocks + 0.5)) * kBlockFrames;
}

int millisecondsOf(int frames, double rate) {
  return static_cast<int>(1000.0 * frames / std::max(1.0, rate) + 0.5);
}

AudioBuffer start(BufferChoice choice, double rate) {
  AudioBuffer buffer;
  buffer.choice = choice;
  buffer.frames = choice.automatic() ? kAutomaticStart : framesFor(choice.milliseconds, rate);
  return buffer;
}

AudioBuffer afterDropouts(AudioBuffer buffer, int dropouts) {
  const bool fresh = dropouts > buffer.dropoutsSeen;
  buffer.dropoutsSeen = dropouts;
  if (fresh && buffer.choice.automatic() && buffer.frames < kAutomaticLimit)
    buffer.frames = std::min(kAutomaticLimit, buffer.frames * 2);
  return buffer;
}

}  // namespace tastrello::audio_buffer
