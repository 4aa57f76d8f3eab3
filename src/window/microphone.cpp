// The microphone as an input: chosen in the instrument panel beside the MIDI ports, its sound
// listened to, and each chord heard taken where keys and a MIDI instrument's notes are taken:
// by practice waiting for a chord, by playing along, by the editor; its level on the meter.
#include <algorithm>
#include <cmath>

#include "window/form1.h"
#include "records/record_format.h"
#include "shell/text.h"

namespace tastrello {

namespace {

// The longest rest the editor lays between two chords heard: a longer silence is the learner
// stopping, not the tune resting.
constexpr int kLongestHeardRest = 8;
// A chord heard is a fresh press: for playing along's judge the chord before is let go this
// much before it.
constexpr double kLetGoBeforeOnset = 0.001;
// The most a chord has buttons.
constexpr std::size_t kChordButtons = 4;

}  // namespace

void Form1::chooseMicrophone(std::optional<std::string> source) {
  const bool fresh = source && source != ear_.source();
  ear_.choose(std::move(source));
  settingKey = "MICROPHONE:";
  settingValue = listen::Ear::stored(ear_.source());
  storeSetting();
  openMicrophone();
  if (!fresh) return;
  // A microphone newly chosen first learns the instrument: its pitch and how loud it sounds.
  ear_.useLayout(buttonNotes(), keyCaptions());
  status().inform(ear_.startTuning(uiLanguageOf(textsLanguage)));
}

void Form1::openMicrophone() {
  Request request;
  request.kind = ear_.source() ? Request::Kind::OpenSoundInput : Request::Kind::CloseSoundInput;
  request.name = ear_.source().value_or("");
  ask(std::move(request), [this](const Event& e) {
    if (e.index < 0) status().report(say(Text::MicrophoneOf, {e.bytes}));
  });
  MicLevel.caption = ear_.meter(uiLanguageOf(textsLanguage));
  MicLevel.toolTip = ear_.source() ? say(Text::TipMicLevel) : "";
}

void Form1::hearSound(const std::vector<float>& samples, int sampleRate, double capturedAt) {
  if (!ear_.source()) return;  // sound still on its way when the microphone was let go
  ear_.useLayout(buttonNotes(), keyCaptions());
  // Practice, playing along or recording started: tuning in ends with what it learnt so far.
  if ((practising() || playingAlong() || editing()) && ear_.tuningIn()) ear_.endTuning();
  ear_.expect(chordExpectedNow());
  const UiLanguage language = uiLanguageOf(textsLanguage);
  const listen::Ear::Heard heard = ear_.hear(samples, sampleRate, capturedAt, language);
  for (const listen::ListenVerdict& chord : heard.chords) takeHeardChord(chord);
  if (!heard.tuningSays.empty()) status().inform(heard.tuningSays);
  // The A tuning in learnt stays for the next start.
  if (!ear_.tuningIn()) rememberChoices();
  MicLevel.caption = ear_.meter(language);
}

std::optional<std::vector<int>> Form1::chordExpectedNow() const {
  if (playingAlong()) {
    // The chord due, until it was judged; then the next one: the learner may play it early.
    const std::vector<int> due = wantedButtons();
    const bool judged = !practice.verdicts.empty() && practice.verdicts.back().event == replayPosition;
    if (!due.empty() && !judged) return due;
    const int last = std::min<int>(replaySpan().second, static_cast<int>(eventButtonLines.size()) - 1);
    for (int k = replayPosition + 1; k <= last; ++k) {
      std::vector<int> next = buttonsOfLine(eventButtonLines[std::size_t(k)]);
      if (!next.empty()) return next;
    }
    return due.empty() ? std::nullopt : std::optional(due);
  }
  if (practising() && practice.waiting) {
    // The ear knows the keyboard's reeds only: the bass side and the rows past the third are
    // not listened for.
    std::vector<int> treble = practice.wanted;
    std::erase_if(treble, [](int button) { return button >= kKeyCount; });
    return treble;
  }
  return std::nullopt;
}

void Form1::takeHeardChord(const listen::ListenVerdict& heard) {
  std::vector<int> buttons = ear_.buttonsOf(heard);
  if (buttons.size() > kChordButtons) buttons.resize(kChordButtons);
  const std::string said = ear_.listening().say(heard, uiLanguageOf(textsLanguage));
  if (buttons.empty()) {
    // Notes no button of the chord's side has: nothing to judge or record, but it is said.
    if (heard.verdict == listen::Verdict::WrongNotes) status().inform(said);
    return;
  }
  const double inputBefore = inputAt;
  inputAt = heard.at;  // the chord counts from when it sounded, not from when it was judged
  if (playingAlong()) {
    const double at = inputMoment();
    inputAt = at - kLetGoBeforeOnset;
    alongHeld({});
    inputAt = at;
    alongHeld(buttons);
  } else if (practising()) {
    if (practice.waiting) {
      for (auto& key : Keys) key.backColor = keyIdleColor;
      const PracticeTry attempt = practiceSession().held(buttons, true);
      showTry(attempt);
      // What was heard says more than the buttons it stands for: which notes sound and which not.
      if (heard.verdict == listen::Verdict::WrongNotes && attempt.verdict && *attempt.verdict != Verdict::Right)
        status().inform(said);
    }
  } else {
    if (editing()) recordHeardChord(buttons, heard.at);
    for (auto& key : Keys) key.backColor = keyIdleColor;
    for (int button : buttons) Keys[button].backColor = keyLitColor;
    if (!editing()) status().inform(said);
  }
  inputAt = inputBefore;
}

void Form1::recordHeardChord(const std::vector<int>& buttons, double at) {
  if (draft().eventCount() == 0) ear_.forgetChords();
  if (!draft().pendingEmpty()) NextRecord_Click();  // what the learner clicked goes first
  // The chord before rings on through the steps between: ringing rests, as the rest button
  // writes them.
  const int steps = ear_.stepsSinceChord(at, pace().stepInterval() / 1000.0);
  for (int step = 1; step < std::min(steps, kLongestHeardRest + 1); ++step) EditBreak_Click();
  for (int button : buttons) draft().holdButton(button, Keys[button].caption);
  NextRecord_Click();
}

}  // namespace tastrello
