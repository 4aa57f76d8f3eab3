// A learner playing a MIDI instrument: an output port on the test's JACK server that the
// window's MIDI input opens, and beside it a witness, an input of the test's own on the same
// port, that tells by when JACK had carried each message.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "jack_harness.h"
#include "platform/midi_input.h"
#include "x11_harness.h"

namespace tastrello::testing {

class JackInstrument : public Learner {
 public:
  JackInstrument() {
    try {
      out_ = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "instrument");
      out_->openVirtualPort("out");
      witness_ = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "witness");
      witness_->ignoreTypes(false, false, false);
      witness_->setCallback(&JackInstrument::witnessed, this);
      for (unsigned i = 0; i < witness_->getPortCount(); ++i)
        if (witness_->getPortName(i).find("instrument") != std::string::npos) {
          witness_->openPort(i, "in");
          return;
        }
      why_ = "the instrument's port is not listed";
    } catch (const RtMidiError& e) {
      why_ = e.getMessage();
    }
  }
  /// "" once it plays, else why not.
  const std::string& whyNot() const { return why_; }
  bool ready() const override { return why_.empty(); }
  /// The instrument's port as the window's input lists it.
  static std::string portName() {
    for (const auto& name : RtMidiInput::portNames(RtMidiRawOut::System::Jack))
      if (name.find("instrument") != std::string::npos) return name;
    return {};
  }
  /// Sends a message at once and waits until the witness has it; false when it never came.
  bool deliver(const std::vector<unsigned char>& message, double& seenAt) {
    const unsigned before = seen_;
    out_->sendMessage(&message);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (seen_ == before) {
      if (std::chrono::steady_clock::now() > until) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    seenAt = seenAt_;
    return true;
  }

  unsigned codeOf(Form1& form, const std::string&, int button) const override {
    return static_cast<unsigned>(form.keyNote(button).value_or(0));
  }
  /// The note on or off; back with the moment the witness was given it, in the cycle that
  /// gave it to the window's input too.
  double send(unsigned code, bool down) override {
    const auto pitch = static_cast<unsigned char>(code);
    double seenAt = 0;
    deliver(down ? std::vector<unsigned char>{0x90, pitch, 100}
                 : std::vector<unsigned char>{0x80, pitch, 0},
            seenAt);
    return seenAt;
  }
  /// Active sensing, as keyboards send of themselves.
  void idle() override {
    double seenAt = 0;
    deliver({0xFE}, seenAt);
  }

 private:
  static void witnessed(double, std::vector<unsigned char>*, void* data) {
    auto* self = static_cast<JackInstrument*>(data);
    self->seenAt_ = StandardClock().seconds();
    ++self->seen_;
  }

  std::unique_ptr<RtMidiOut> out_;
  std::unique_ptr<RtMidiIn> witness_;
  std::string why_;
  std::atomic<unsigned> seen_{0};
  std::atomic<double> seenAt_{0};
};

}  // namespace tastrello::testing
