// Replay in the window: each step the replay takes becomes markers over the buttons of its
// chord, its notes, the two rests and the practice that waits for it; and the transport buttons.
#include <algorithm>

#include "replay/replay.h"
#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

ReplayRules Form1::replayRules() const {
  const auto [first, last] = replaySpan();
  return {first, last, practising(), playingAlong()};
}

Replay& Form1::replay() {
  replay_.bind(this);
  return replay_;
}

void Form1::advanceReplay() {
  const ReplayStep step = replay().advance(replayRules());
  if (step.countInRan) showCountIn();
  // A pass is scored from the first event of what is played to its last.
  if (step.passBegins) beginPass();
  switch (step.kind) {
    case ReplayStepKind::Quiet:
    case ReplayStepKind::DryRunDone:
    case ReplayStepKind::TurnsBack:
      return;
    case ReplayStepKind::PassEnds:
      if (practising()) finishPass();
      if (step.countsInAgain) {
        finishAlongPass();
        startCountIn();
      }
      return;
    case ReplayStepKind::SilentRest:
      Midi_Out_Reset();
      replayBass(false);
      break;
    case ReplayStepKind::RingingRest:
      replayBass(true);  // the notes ring on
      break;
    case ReplayStepKind::Chord:
      showReplayChord();
      break;
  }
  if (static_cast<int>(NotenSchirm.items.size()) < replayPosition) {
    beep();
  } else {
    NotenSchirm.selected = replayPosition - 1;
    ZahlenSchirm.selected = replayPosition - 1;
  }
}

void Form1::showReplayChord() {
  // While practising the notes are the learner's own: they sound when played, not here. The
  // hand the learner leaves out is the program's.
  const bool waits = practising();
  const bool along = playingAlong();
  const bool quiet = (waits || along) && practice.hands.learnerPlaysTreble();
  hideMarkers();
  if (Check4.value == 1 && !quiet) Midi_Out_Reset();
  for (int k = 1; k <= 4; ++k) {
    const int button = chordButtons[k];
    // A field without a name, or naming no button of the keyboard, plays nothing.
    if (chordNames[k].empty() || button < 0 || button >= kKeyCount) continue;
    Acco2[k].left = Keys[button].left - 3;
    Acco2[k].top = Keys[button].top - 3;
    Acco2[k].width = Keys[button].width;  // smaller among four or five rows
    Acco2[k].height = Keys[button].height;
    Acco2[k].caption = Keys[button].caption;
    Acco2[k].visible = true;
    const std::optional<int> note = keyNote(button);
    if (!note || quiet) continue;
    noteNumber = *note;
    if (SoundOnOff.value == 1) playnote();
  }
  replayBass(false);
  if (waits) waitForChord();
  if (along) expectChord();
}

int Form1::loadedEventCount() const {
  // The replay tables, not the views: choosing a note layout empties the views, and replay
  // goes on over the tables.
  return std::clamp(replayEnd - 1, 0, kMaxEvents);
}

std::vector<std::string> Form1::loadedEvents() const {
  const int count = loadedEventCount();
  return {eventButtonLines.begin() + 1, eventButtonLines.begin() + 1 + count};
}

int Form1::currentEvent() const {
  // Outside the span replay is between two passes (or counting in): no event is shown.
  const auto [first, last] = replaySpan();
  return replayPosition >= first && replayPosition <= last ? replayPosition : 0;
}

int Form1::tempoInterval() const {
  return 5150 - 200 * Speed.value;
}

void Form1::Timer1_Timer() {
  Timer1.interval = pace().stepInterval();
  if (playingAlong()) collectVerdicts(tickMoment());
  // A chord waited for holds the replay; the metronome keeps the beat meanwhile.
  const bool held = practising() && practice.waiting;
  if (!held) advanceReplay();
  // The click comes after the step, so that a chord cutting the sound before it (or a silent
  // rest) does not cut the click.
  if (replay().countInLeft() > 0)
    clickCountIn();
  else
    clickMetronome(held);
}

void Form1::clickMetronome(bool held) {
  // The metronome clicks the beats of the record's bars, the first of a bar accented; while a
  // chord is waited for, every step.
  if (Metronome.value != 1) return;
  const int beat = pace().stepsPerBeat();
  if (beat == 1 && !practiceOn()) {
    sound().click(false);
    return;
  }
  const BarPlace place = barPlaceOf(practice.meter, std::max(0, replayPosition - 1));
  if (held || place.step % beat == 0) sound().click(!held && place.step == 0 && practiceOn());
}

void Form1::clickCountIn() {
  // The steps before the first event are the beats of the bars before it: the clicked
  // count-in clicks them all, a silent one leaves them to the metronome.
  const bool clicked = CountInClick.value == 1;
  if (!clicked && Metronome.value != 1) return;
  const Pace now = pace();
  const int place = now.countInPlace(replay_.countInLeft());
  if (place % now.stepsPerBeat() == 0) sound().click(place == 0 && (clicked || practiceOn()));
}

void Form1::startCountIn() {
  // The first event comes after a count-in at this tempo (two silent steps without the
  // clicked one), shown as it runs down, so that the silence is not taken for a fault. Its
  // first step is the one taken now: the caller clicks it.
  replay().countIn(pace().countInSteps(), replaySpan().first);
  showCountIn();
}

void Form1::showCountIn() {
  AccordDisplay.fontSize = 18;
  // Counted in beats: a count-in of eighths shows each beat once.
  const int beat = pace().stepsPerBeat();
  const int left = replay_.countInLeft();
  AccordDisplay.caption =
      left > 0 ? say(Text::CountIn, {std::to_string((left + beat - 1) / beat)}) : "";
}

void Form1::Speed_Click() {
  Tempo.caption =
      practiceOn()
          ? say(Text::PracticeTempoText, {std::to_string(practice.tempo)})
          : say(Text::TempoText, {std::to_string(Speed.value), eventsPerMinuteText(tempoInterval())});
}

void Form1::PlayStop_Click() {
  const std::string prefix = left(Label2.caption, 6);
  if (prefix != "Lesson" && prefix != "Record") {
    RecordList.backColor = keyLitColor;
    status().report(say(Text::MsgPlayNothing));
    return;
  }
  AccordDisplay.caption.clear();
  AccordDisplay.fontSize = 18;
  // What is held is followed for the first chord from here on (see keepHeldBeforePass).
  practice.heldBeforePass.clear();
  Timer1.enabled = true;
  if (practiceOn() && practice.hands.practised() == PracticedHands::Left && !leftHand_.recordHasBass())
    status().inform(say(Text::MsgNoBassToPractise));
  showPanel(browserPanel(), false);
  PlayStop.visible = Label8.visible = false;
  showPanel(replayPanel(), true);
  setToggleValue(Check3, 1);
  setToggleValue(Check1, 1);
  ZahlenSchirm.visible = true;
  showPracticePanel();
  // Play is a step of the replay's grid, at the tempo in force now (one set while paused too).
  Timer1.interval = pace().stepInterval();
  const double lead = leadOf(ControlId::Timer1);
  const double at = clock().seconds() + lead;
  Timer1.due = at + Timer1.interval / 1000.0;
  // A count-in paused is counted in afresh. An output that takes the steps ahead gets Play's
  // click placed as theirs are, so that the first beat is as long as the others.
  if (replayStarted && replay().countInLeft() == 0) return;
  replayStarted = true;
  sound().soundAt(lead > 0 ? at : kAtOnce);
  startCountIn();
  clickCountIn();
  sound().soundAt(kAtOnce);
}

void Form1::Break_Click() {
  Timer1.enabled = false;
  Label12.visible = Break.visible = false;
  PlayStop.visible = Label8.visible = true;
  Check3.visible = Check1.visible = false;
}

void Form1::StopReplay_Click() {
  if (SoundOnOff.value == 1) {
    Midi_Out_close();
    Midi_Out_Open(-1);  // a failure is reported by midi_outerr
  }
  Timer1.enabled = false;
  if (replay().countInLeft() > 0) {
    replay().endCountIn();
    showCountIn();
  }
  showPanel(replayPanel(), false);
  showPanel(browserPanel(), true);
  hideMarkers();
  PlayStop.visible = Label8.visible = true;
  practice.judge.clear();
  // The next Play starts afresh: it counts in again, and starts at the section when one is
  // marked.
  replay().stop();
  // A pass left unfinished is not scored.
  practiceSession().drop();
  sound().forgetClick();
  showPracticePanel();
  Midi_Out_Reset();
}

void Form1::PlayMode_Click() {
  if (replayMode.empty() || replayMode == ReplayMode::Single) {
    replayMode = ReplayMode::Repeat;
    PlayMode.picture = pictures::kRepeat;
    updateStateTips();
    return;
  }
  AccordDisplay.caption.clear();
  AccordDisplay.fontSize = 18;
  if (replayMode == ReplayMode::Repeat) {
    replayMode = ReplayMode::Single;
    PlayMode.picture = pictures::kSingle;
  }
  updateStateTips();
}

void Form1::PlayMode2_Click() {
  PlayMode2.picture = PlayMode.picture;
}

}  // namespace tastrello
