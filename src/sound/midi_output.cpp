// The program's only path to sound: one output device, a program change and a note-on on
// channel 1, and the device reset (close and reopen) that silences every sounding note.
#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

bool Form1::Midi_Out_Open(int deviceId) {
  Midi_Out_close();
  const int result = services.midi->open(deviceId, midiOutHandle);
  if (result != 0) {
    midiOutHandle = 0;
    midi_outerr(result);
  }
  return midiOutHandle != 0;
}

void Form1::Midi_Out_close() {
  if (midiOutHandle == 0) return;
  const int result = services.midi->close(midiOutHandle, soundTime);
  if (result != 0) midi_outerr(result);
  midiOutHandle = 0;
}

void Form1::Midi_Out_Reset() {
  Midi_Out_close();
  Midi_Out_Open(-1);
}

void Form1::Midi_Out_Send(int status, int data1, int data2) {
  // A data byte outside 0..127 would be read as another message by the device: never send it.
  if (data1 < 0 || data1 > 127 || data2 < 0 || data2 > 127) {
    midi_outerr(kErrDataByte);
    return;
  }
  const auto word = static_cast<std::uint32_t>(packdword(data2, data1, status));
  const int result = services.midi->send(midiOutHandle, word, soundTime);
  if (result != 0) midi_outerr(result);
}

std::int32_t Form1::packdword(int data2, int data1, int status) {
  return data2 * 65536 + data1 * 256 + status;
}

void Form1::playnote() {
  Midi_Out_Send(192, instrumentNumber - 1, 0);
  Midi_Out_Send(144, noteNumber, 99);
}

void Form1::chooseOutput(const std::string& setting) {
  if (!services.outputs) return;
  Midi_Out_close();
  services.outputs->choose(setting);
  Midi_Out_Open(-1);
  midiOutSetting = setting.empty() ? "SYNTH" : setting;
  settingKey = "MIDI-OUT:";
  settingValue = midiOutSetting;
  storeSetting();
}

int Form1::audioBufferMs() const {
  const auto ms = parseInt16(audioBufferSetting);
  return ms && *ms >= 5 && *ms <= 500 ? *ms : 0;
}

void Form1::chooseAudioBuffer(int milliseconds) {
  audioBufferSetting = milliseconds > 0 ? std::to_string(milliseconds) : std::string();
  if (services.outputs) services.outputs->useAudioBuffer(audioBufferMs());
  settingKey = "AUDIO-BUFFER:";
  settingValue = audioBufferSetting;
  storeSetting();
}

void Form1::chooseMidiInput(const std::string& port) {
  hands.midiInSetting = port;
  settingKey = "MIDI-IN:";
  settingValue = port;
  storeSetting();
}

void Form1::midi_outerr(int code) {
  if (code == kErrDataByte) {
    midiErrorText = "Note " + std::to_string(noteNumber) +
                    " is outside the MIDI range 0 to 127 and was not sent.";
  } else {
    midiErrorText = services.midi->errorText(code).substr(0, 128);
  }
  report("MIDI: " + midiErrorText);
}

}  // namespace tastrello
