// The output that device id -1 stands for: the built-in synthesizer, a MIDI port by name, or
// a log file, as the "MIDI-OUT:" setting says. A choice takes effect at the next open.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

#include "platform/fluid_synth_port.h"
#include "shell/services.h"
#include "shell/ui_texts.h"

namespace tastrello {

class OutputSwitch : public MidiPort, public OutputChoice, public AudioStatus {
 public:
  /// `synth` is made on first use; `root` is the working folder for log files.
  OutputSwitch(std::filesystem::path root, FluidSynthPort::Options synthOptions);

  /// "SYNTH" or "" for the built-in synthesizer, "LOG:file", or a port name.
  void choose(const std::string& setting) override;
  const std::string& choice() const { return choice_; }
  FluidSynthPort& synth();
  /// The SoundFont file for the built-in synthesizer ("" for the first one found); takes
  /// effect when the synthesizer is first used.
  void useSoundFont(const std::string& file) override { synthOptions_.soundFont = file; }
  void useAudioBuffer(int frames) override;
  /// The output in force: the MIDI port or log by its name, or the built-in synthesizer's
  /// output ("not running" with the reason before the synthesizer was first used).
  AudioReport audioReport() override;
  /// The language of the reasons the MIDI log gives (English until told).
  void speak(std::function<UiLanguage()> language) { language_ = std::move(language); }
  int open(int deviceId, std::uint32_t& handle) override;
  /// The built-in synthesizer places a message at its moment; MIDI ports and the log send at
  /// once, as their back ends take no time stamps.
  int send(std::uint32_t handle, std::uint32_t word, SoundTime at) override;
  int close(std::uint32_t handle, SoundTime at) override;
  std::string errorText(int code) override;
  double leadSeconds() override { return current().leadSeconds(); }

 private:
  MidiPort& current();
  UiLanguage language() const { return language_ ? language_() : UiLanguage::English; }

  std::filesystem::path root_;
  FluidSynthPort::Options synthOptions_;
  std::unique_ptr<FluidSynthPort> synth_;
  std::unique_ptr<MidiPort> other_;  ///< the port or log in use, when not the synthesizer
  std::string choice_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::function<UiLanguage()> language_;
};

}  // namespace tastrello
