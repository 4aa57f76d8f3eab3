#include "platform/sound_file.h"

#include <sndfile.h>

#include <memory>

namespace tastrello {

namespace {

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

}  // namespace

std::optional<SoundFileContent> readSoundFile(const std::filesystem::path& path, std::string& why) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    why = "no such file";
    return std::nullopt;
  }
  // A pipe or a device would make the library wait for ever, or read without end.
  if (!std::filesystem::is_regular_file(status)) {
    why = "not a plain file";
    return std::nullopt;
  }
  SF_INFO info{};
  std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file) {
    why = sf_strerror(nullptr);
    return std::nullopt;
  }
  if (info.samplerate <= 0 || info.channels <= 0) {
    why = "the file gives no sample rate or no channels";
    return std::nullopt;
  }
  if (double(info.frames) > kLongestTakeSeconds * info.samplerate) {
    why = "longer than " + std::to_string(int(kLongestTakeSeconds / 60)) + " minutes";
    return std::nullopt;
  }
  SoundFileContent content;
  content.sampleRate = info.samplerate;
  content.channels = info.channels;
  content.samples.reserve(static_cast<std::size_t>(info.frames));
  std::vector<float> block(4096 * static_cast<std::size_t>(info.channels));
  for (;;) {
    const sf_count_t frames = sf_readf_float(file.get(), block.data(), 4096);
    if (frames <= 0) break;
    for (sf_count_t f = 0; f < frames; ++f) {
      float sum = 0;
      for (int c = 0; c < info.channels; ++c) sum += block[std::size_t(f * info.channels + c)];
      content.samples.push_back(sum / float(info.channels));
    }
  }
  if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
    why = sf_strerror(file.get());
    return std::nullopt;
  }
  return content;
}

}  // namespace tastrello
