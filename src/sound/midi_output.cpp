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
  openMidiInput();
}

void Form1::openMidiInput() {
  Request request;
  request.kind = Request::Kind::OpenMidiInput;
  request.name = hands.midiInSetting;
  ask(std::move(request), [this](const Event& e) {
    if (e.index < 0) report(say(Text::MsgMidiIn, {e.bytes}));
  });
}

namespace {

/// Selects the entry standing for `value`; one is added for a value not offered (a port that
/// is not there now, a log file, a size typed into the settings).
void selectValue(Chooser& chooser, const std::string& value, const std::string& label) {
  for (std::size_t i = 0; i < chooser.values.size(); ++i) {
    if (chooser.values[i] == value) {
      chooser.selected = static_cast<int>(i);
      return;
    }
  }
  chooser.items.push_back(label);
  chooser.values.push_back(value);
  chooser.selected = static_cast<int>(chooser.values.size()) - 1;
}

void offer(Chooser& chooser, const std::string& label, const std::string& value) {
  chooser.items.push_back(label);
  chooser.values.push_back(value);
}

}  // namespace

void Form1::fillChoosers() {
  TuningChooser.items.clear();
  TuningChooser.values.clear();
  offer(TuningChooser, say(Text::TuningOwn), "");
  for (const auto& layout : NoteList.items) offer(TuningChooser, layout, layout);
  TuningChooser.selected = 0;
  for (std::size_t i = 1; i < TuningChooser.values.size(); ++i)
    if (sameNameIgnoringCase(TuningChooser.values[i], chosenTuning))
      TuningChooser.selected = static_cast<int>(i);
  TuningChooser.toolTip = say(Text::TipTuning);
  if (!services.outputs) return;

  OutputChooser.items.clear();
  OutputChooser.values.clear();
  offer(OutputChooser, say(Text::OutputBuiltIn), "");
  if (services.ports)
    for (const auto& port : services.ports->outputs()) offer(OutputChooser, port, port);
  const std::string output = midiOutSetting == "SYNTH" ? std::string() : midiOutSetting;
  selectValue(OutputChooser, output, output);

  InputChooser.items.clear();
  InputChooser.values.clear();
  offer(InputChooser, say(Text::MidiInNone), "");
  if (services.ports)
    for (const auto& port : services.ports->inputs()) offer(InputChooser, port, port);
  selectValue(InputChooser, hands.midiInSetting, hands.midiInSetting);

  BufferChooser.items.clear();
  BufferChooser.values.clear();
  offer(BufferChooser, say(Text::AudioBufferAuto), "0");
  for (int ms : {5, 10, 20, 40, 80})
    offer(BufferChooser, say(Text::AudioBufferMs, {std::to_string(ms)}), std::to_string(ms));
  const int buffer = audioBufferMs();
  selectValue(BufferChooser, std::to_string(buffer),
              say(Text::AudioBufferMs, {std::to_string(buffer)}));
  BufferChooser.toolTip = say(Text::TipAudioBuffer);
}

void Form1::OutputChooser_Click() {
  chooseOutput(OutputChooser.values.at(std::size_t(OutputChooser.selected)));
}

void Form1::InputChooser_Click() {
  chooseMidiInput(InputChooser.values.at(std::size_t(InputChooser.selected)));
}

void Form1::BufferChooser_Click() {
  chooseAudioBuffer(
      parseInt16(BufferChooser.values.at(std::size_t(BufferChooser.selected))).value_or(0));
}

void Form1::AudioTimer_Timer() {
  if (!services.audio) return;
  const AudioReport r = services.audio->audioReport();
  AudioInfo.caption =
      r.running
          ? say(Text::AudioRunning,
                {r.driver,
                 std::to_string(int(1000.0 * r.bufferFrames / std::max(1.0, r.sampleRate) + 0.5)),
                 std::to_string(r.underruns)})
          : say(Text::AudioNotRunning, {r.problem});
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
