#include "platform/output_switch.h"

#include "platform/log_port.h"
#include "platform/rtmidi_port.h"
#include "shell/text.h"

namespace tastrello {

namespace {

/// An output that was refused before anything was opened: every call fails with the reason,
/// given in the language in force when it is asked for.
class RefusedPort : public MidiPort {
 public:
  explicit RefusedPort(std::function<std::string()> reason) : reason_(std::move(reason)) {}
  int open(int, std::uint32_t& handle) override { return handle = 0, 1; }
  int send(std::uint32_t, std::uint32_t, SoundTime) override { return 1; }
  int close(std::uint32_t, SoundTime) override { return 1; }
  std::string errorText(int) override { return reason_(); }

 private:
  std::function<std::string()> reason_;
};

}  // namespace

OutputSwitch::OutputSwitch(std::filesystem::path root, FluidSynthPort::Options synthOptions)
    : root_(std::move(root)), synthOptions_(std::move(synthOptions)) {}

FluidSynthPort& OutputSwitch::synth() {
  if (!synth_) {
    FluidSynthPort::Options options = synthOptions_;
    options.language = [this] { return language(); };
    // A SoundFont the learner named (SOUNDFONT:) is theirs to hear whole, its accordion too.
    if (!options.soundFont.empty()) options.reedFont.clear();
    synth_ = std::make_unique<FluidSynthPort>(options);
  }
  return *synth_;
}

void OutputSwitch::useAudioBuffer(int frames) {
  // The synthesizer made later starts with it; the one running changes at once.
  synthOptions_.periodSize = frames;
  if (synth_) synth_->setBufferFrames(frames);
}

AudioReport OutputSwitch::audioReport() {
  if (other_) {
    // A port's latency is unknown: nothing is said of it, and the synthesizer that keeps
    // running meanwhile is not what the learner hears.
    AudioReport r;
    r.port = choice_;
    return r;
  }
  if (synth_) return synth_->report();
  AudioReport r;
  r.problem = uiText(language(), Text::SynthNotYetUsed);
  r.bufferFrames = synthOptions_.periodSize;
  r.sampleRate = synthOptions_.sampleRate;
  return r;
}

void OutputSwitch::choose(const std::string& setting) {
  choice_ = setting == "SYNTH" ? std::string() : setting;
  other_.reset();
  if (choice_.rfind("LOG:", 0) == 0) {
    // A shared portable folder must not make the program write anywhere else, and the log
    // is a file of its own: never the settings, a record or any other file the program keeps.
    const std::string name = choice_.substr(4);
    auto refusal = [this, name](Text why) {
      return [this, name, why] {
        return uiText(language(), why, {name});
      };
    };
    if (!isSafeRelativePath(name))
      other_ = std::make_unique<RefusedPort>(refusal(Text::LogOutside));
    else if (isOwnFileName(name.substr(name.rfind('/') + 1)))
      other_ = std::make_unique<RefusedPort>(refusal(Text::LogOwnFile));
    else
      other_ = std::make_unique<LogPort>(root_, name, start_, language_);
  } else if (!choice_.empty()) {
    const auto language = [this] { return this->language(); };
    other_ = std::make_unique<NoteTrackingPort>(
        std::make_unique<RtMidiRawOut>(RtMidiRawOut::System::Alsa, language), choice_, language);
  }
}

MidiPort& OutputSwitch::current() {
  if (other_) return *other_;
  return synth();
}

int OutputSwitch::open(int deviceId, std::uint32_t& handle) {
  return current().open(deviceId, handle);
}
int OutputSwitch::send(std::uint32_t handle, std::uint32_t word, SoundTime at) {
  return current().send(handle, word, at);
}
int OutputSwitch::close(std::uint32_t handle, SoundTime at) {
  return current().close(handle, at);
}
std::string OutputSwitch::errorText(int code) {
  return current().errorText(code);
}

}  // namespace tastrello
