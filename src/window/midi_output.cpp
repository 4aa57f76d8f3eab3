// The program's only path to sound: one output device, a program change and a note-on on
// channel 1, and the device reset (close and reopen) that silences every sounding note.
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

SoundOut& Form1::sound() {
  sound_.bind(services.midi, &midiOutHandle, [this](int code) { midi_outerr(code); });
  return sound_;
}

bool Form1::Midi_Out_Open(int deviceId) {
  return sound().open(deviceId);
}

void Form1::Midi_Out_close() {
  sound().close();
}

void Form1::Midi_Out_Reset() {
  sound().reset();
  // The reset ended every note: replay's bass is over, and the bass buttons the learner still
  // holds sound on.
  LeftHand::Change resounded = leftHand_.releaseAll(LeftHand::Holder::Replay);
  resounded.stopped.clear();  // ended by the reset already
  resounded.started = leftHand_.sounding();
  playBass(resounded);
  // The treble beside the keyboard is let go as the keyboard's is, unless keys or a MIDI
  // instrument still hold it.
  trebleBeside_.releaseAll(Holder::Mouse);
  trebleBeside_.releaseAll(Holder::Replay);
  playBeside({{}, trebleBeside_.sounding()});
}

void Form1::Midi_Out_Send(int status, int data1, int data2) {
  sound().send(status, data1, data2);
}

std::int32_t Form1::packdword(int data2, int data1, int status) {
  return SoundOut::pack(data2, data1, status);
}

void Form1::playnote() {
  sound().note(instrumentNumber, noteNumber);
}

void Form1::chooseOutput(const std::string& setting) {
  if (!services.outputs) return;
  Midi_Out_close();
  services.outputs->choose(setting);
  Midi_Out_Open(-1);
  AudioTimer_Timer();  // the panel says at once what sounds now
  midiOutSetting = setting.empty() ? "SYNTH" : setting;
  settingKey = "MIDI-OUT:";
  settingValue = midiOutSetting;
  storeSetting();
}

int Form1::audioBufferMs() const {
  return audio_buffer::read(audioBufferSetting).choice.milliseconds;
}

namespace {

/// The output's rate once it reports one; the synthesizer's own before.
double audioRate(Services& services) {
  if (!services.audio) return audio_buffer::kRate;
  const double rate = services.audio->audioReport().sampleRate;
  return rate > 0 ? rate : audio_buffer::kRate;
}

}  // namespace

void Form1::startAudioBuffer() {
  const BufferReading reading = audio_buffer::read(audioBufferSetting);
  std::string why;
  switch (reading.refusal) {
    case BufferRefusal::None:
      break;
    case BufferRefusal::NotANumber:
      why = say(Text::WhyNotWholeMs);
      break;
    case BufferRefusal::TooSmall:
      why = say(Text::WhyBufferBelow, {std::to_string(audio_buffer::kMinMs)});
      break;
    case BufferRefusal::TooLarge:
      why = say(Text::WhyBufferAbove, {std::to_string(audio_buffer::kMaxMs)});
      break;
  }
  // The value stays in the file as it is: the learner's own, to correct.
  if (!why.empty()) status().report(say(Text::MsgAudioBufferRefused, {audioBufferSetting, why}));
  audioBuffer = audio_buffer::start(reading.choice, audio_buffer::kRate);
  if (services.outputs) services.outputs->useAudioBuffer(audioBuffer.frames);
}

void Form1::chooseAudioBuffer(int milliseconds) {
  // A new choice answers none of the old dropouts. A port in force tells none: the
  // synthesizer's count stands where it was last seen.
  const AudioReport r = services.audio ? services.audio->audioReport() : AudioReport{};
  const int dropouts = r.port.empty() ? r.dropouts() : audioBuffer.dropoutsSeen;
  audioBuffer = audio_buffer::start({milliseconds}, audioRate(services));
  audioBuffer.dropoutsSeen = dropouts;
  if (services.outputs) services.outputs->useAudioBuffer(audioBuffer.frames);
  audioBufferSetting = audio_buffer::stored(audioBuffer.choice);
  settingKey = "AUDIO-BUFFER:";
  settingValue = audioBufferSetting;
  storeSetting();
}

namespace {

// The input chooser's values: a MIDI port by its name, a microphone by this and its source's
// name (no port's name starts with a control character).
const std::string kMicrophoneValue = "\x1F" "MIC:";

bool isMicrophoneValue(const std::string& value) {
  return value.compare(0, kMicrophoneValue.size(), kMicrophoneValue) == 0;
}

}  // namespace

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
    if (e.index < 0) status().report(say(Text::MsgMidiIn, {e.bytes}));
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
  for (const auto& layout : NoteList.items) offer(TuningChooser, tuningName(layout), layout);
  TuningChooser.selected = 0;
  for (std::size_t i = 1; i < TuningChooser.values.size(); ++i)
    if (sameNameIgnoringCase(TuningChooser.values[i], chosenTuning))
      TuningChooser.selected = static_cast<int>(i);
  TuningChooser.toolTip = say(Text::TipTuning);
  fillBassChooser();
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
  offerMicrophones();

  BufferChooser.items.clear();
  BufferChooser.values.clear();
  offer(BufferChooser, say(Text::AudioBufferAuto), "0");
  for (int ms : audio_buffer::offeredMs())
    offer(BufferChooser, say(Text::AudioBufferMs, {std::to_string(ms)}), std::to_string(ms));
  const int buffer = audioBufferMs();
  selectValue(BufferChooser, std::to_string(buffer),
              say(Text::AudioBufferMs, {std::to_string(buffer)}));
  BufferChooser.toolTip = say(Text::TipAudioBuffer);
}

void Form1::OutputChooser_Click() {
  chooseOutput(OutputChooser.values.at(std::size_t(OutputChooser.selected)));
}

void Form1::offerMicrophones() {
  offer(InputChooser, say(Text::MicrophoneCaption), kMicrophoneValue);
  std::string why;  // a server that does not answer offers the default microphone alone
  if (services.sources)
    for (const SoundSource& source : services.sources->list(why))
      offer(InputChooser, say(Text::MicrophoneOf, {source.description}), kMicrophoneValue + source.name);
  if (const auto& source = ear_.source())
    selectValue(InputChooser, kMicrophoneValue + *source, say(Text::MicrophoneOf, {*source}));
  else
    selectValue(InputChooser, hands.midiInSetting, hands.midiInSetting);
}

void Form1::InputChooser_Click() {
  // One instrument is played at a time: a MIDI instrument or an accordion heard.
  const std::string& value = InputChooser.values.at(std::size_t(InputChooser.selected));
  if (isMicrophoneValue(value)) {
    if (!hands.midiInSetting.empty()) chooseMidiInput("");
    chooseMicrophone(value.substr(kMicrophoneValue.size()));
    return;
  }
  if (ear_.source()) chooseMicrophone(std::nullopt);
  chooseMidiInput(value);
}

void Form1::BufferChooser_Click() {
  chooseAudioBuffer(
      parseInt16(BufferChooser.values.at(std::size_t(BufferChooser.selected))).value_or(0));
}

void Form1::AudioTimer_Timer() {
  if (!services.audio) return;
  const AudioReport r = services.audio->audioReport();
  for (const std::string& line : r.problems) status().report(say(Text::MsgSynthProblem, {line}));
  if (!r.port.empty()) {
    AudioInfo.caption = say(Text::AudioPort, {r.port, Calibrate.caption});
    AudioInfo.toolTip = AudioInfo.caption;
    return;
  }
  if (!r.running) {
    AudioInfo.caption = say(Text::AudioNotRunning, {r.problem});
    AudioInfo.toolTip = AudioInfo.caption;
    return;
  }
  const AudioBuffer next = audio_buffer::afterDropouts(audioBuffer, r.dropouts());
  if (next.frames != audioBuffer.frames && services.outputs) {
    services.outputs->useAudioBuffer(next.frames);
    status().report(say(Text::MsgAudioGrew,
               {std::to_string(audio_buffer::millisecondsOf(next.frames, r.sampleRate))}));
  }
  audioBuffer = next;
  const std::string asked =
      std::to_string(audio_buffer::millisecondsOf(audioBuffer.frames, r.sampleRate));
  const std::string given = std::to_string(audio_buffer::millisecondsOf(
      r.framesInForce > 0 ? r.framesInForce : audioBuffer.frames, r.sampleRate));
  const std::string latency = std::to_string(static_cast<int>(r.latencyMs + 0.5));
  const std::string dropouts = std::to_string(r.dropouts());
  // The latency and the dropouts come first: where the panel's line is cut, they are read
  // still, and the whole line where the pointer rests on it.
  AudioInfo.caption =
      asked == given ? say(Text::AudioRunning, {r.driver, asked, latency, dropouts})
                     : say(Text::AudioRunningGiven, {r.driver, asked, given, latency, dropouts});
  AudioInfo.toolTip = AudioInfo.caption;
}

void Form1::midi_outerr(int code) {
  midiErrorText = code == kErrDataByte
                      ? say(Text::MsgNoteOutsideMidi, {std::to_string(noteNumber)})
                      : services.midi->errorText(code).substr(0, 128);
  // An output that is gone fails every open and every message of every note: each of its
  // reasons is said once, not once a message, until something else is reported.
  const std::string shown = "MIDI: " + midiErrorText;
  const auto& problems = status().problems();
  for (auto it = problems.rbegin(); it != problems.rend() && it->rfind("MIDI: ", 0) == 0; ++it)
    if (*it == shown) return;
  status().report(shown);
}

}  // namespace tastrello
