// Takes from a file: WAV, FLAC and Ogg Vorbis (and whatever else the library reads) through
// libsndfile (LGPL-2.1, linked dynamically), mixed down to one channel for listening.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tastrello {

struct SoundFileContent {
  int sampleRate = 0;
  int channels = 0;
  std::vector<float> samples;  ///< one channel: the mean of the file's channels
};

/// The longest take read: an hour of a lesson is far more than anyone plays in one go.
constexpr double kLongestTakeSeconds = 30 * 60;

/// The sound of a plain file, or nothing with `why` (in English) saying why: missing, no plain
/// file, a format the library does not read, damaged, longer than kLongestTakeSeconds.
std::optional<SoundFileContent> readSoundFile(const std::filesystem::path& path, std::string& why);

}  // namespace tastrello
