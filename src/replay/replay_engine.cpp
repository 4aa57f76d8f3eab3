// The replay engine: one step per timer tick through the loaded record, markers over the
// buttons of each chord, its notes, the two rests, and the transport buttons.
#include <algorithm>

#include "shell/main_window.h"
#include "shell/text.h"

namespace tastrello {

void Form1::advanceReplay() {
  replayPosition += replayStep;
  if (countIn > 0) {
    --countIn;
    showCountIn();
  }
  if (replayMode == "Test") {
    // The dry run of a load walks the whole record once.
    if (replayPosition == replayEnd) {
      replayPosition = 0;
      testPassDone = true;
      return;
    }
  } else {
    // Replay runs through the section (the whole record when none is marked): forwards in a
    // loop, or back and forth. Practice always goes forwards, a pass at a time.
    const auto [first, last] = replaySpan();
    if (replayStep > 0 && replayPosition > last) {
      if (practising()) finishPass();
      if (playingAlong()) {
        // The next pass comes after a count-in, as the first did.
        finishAlongPass();
        startCountIn();
        return;
      }
      if (replayMode == "Single" || practising()) {
        replayPosition = first - 1;
        replayStep = 1;
      } else {
        replayPosition = last + 1;
        replayStep = -1;
      }
      return;
    }
    if (replayStep < 0 && replayPosition < first) {
      replayPosition = first - 1;
      replayStep = 1;
      return;
    }
    if (replayPosition < first) return;  // the steps counted in before the first event
    // A pass is scored from the first event of what is played to its last.
    if (replayStep > 0 && replayPosition == first && (practising() || playingAlong()))
      beginPass();
  }
  if (replayPosition < 1 || replayPosition > kMaxEvents) return;  // outside the tables

  const std::string& a = eventButtonLines[replayPosition];
  const std::string& b = eventNameLines[replayPosition];
  if (a == kBreakMute) {
    Midi_Out_Reset();
  } else if (a == kBreakPlay) {
    // The notes ring on.
  } else {
    // While practising the notes are the learner's own: they sound when played, not here.
    const bool waits = practising();
    const bool along = playingAlong();
    const bool quiet = waits || along;
    if (Check4.value == 1 && !quiet) Midi_Out_Reset();
    for (int k = 1; k <= 4; ++k) chordButtons[k] = leadingNumber(mid(a, 3 * k - 2, 2));
    const auto names = nameLineFields(b);
    for (int k = 1; k <= 4; ++k) chordNames[k] = names[k - 1];
    hideMarkers();
    for (int k = 1; k <= 4; ++k) {
      const int button = chordButtons[k];
      // A field without a name, or naming no button of the keyboard, plays nothing.
      if (chordNames[k].empty() || button < 0 || button >= kKeyCount) continue;
      Acco2[k].left = Keys[button].left - 3;
      Acco2[k].top = Keys[button].top - 3;
      Acco2[k].caption = Keys[button].caption;
      Acco2[k].visible = true;
      const std::optional<int> note = keyNote(button);
      if (!note || quiet) continue;
      noteNumber = *note;
      if (SoundOnOff.value == 1) playnote();
    }
    if (waits) waitForChord();
    if (along) expectChord();
  }
  if (static_cast<int>(NotenSchirm.items.size()) < replayPosition) {
    beep();
  } else {
    NotenSchirm.selected = replayPosition - 1;
    ZahlenSchirm.selected = replayPosition - 1;
  }
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
  Timer1.interval = stepInterval();
  if (playingAlong()) collectVerdicts(tickMoment());
  // A chord waited for holds the replay; the metronome keeps the beat meanwhile.
  const bool held = practising() && practice.waiting;
  if (!held) advanceReplay();
  // The click comes after the step, so that a chord cutting the sound before it (or a silent
  // rest) does not cut the click.
  if (countIn > 0)
    clickCountIn();
  else
    clickMetronome(held);
}

void Form1::clickMetronome(bool held) {
  // The metronome clicks the beats of the record's bars, the first of a bar accented; while a
  // chord is waited for, every step.
  if (Metronome.value != 1) return;
  const int beat = stepsPerBeat();
  if (beat == 1 && !practiceOn()) {
    sendClick(false);
    return;
  }
  const BarPlace place = barPlaceOf(practice.meter, std::max(0, replayPosition - 1));
  if (held || place.step % beat == 0) sendClick(!held && place.step == 0 && practiceOn());
}

void Form1::clickCountIn() {
  // The steps before the first event are the beats of the bars before it: the clicked
  // count-in clicks them all, a silent one leaves them to the metronome.
  const bool clicked = CountInClick.value == 1;
  if (!clicked && Metronome.value != 1) return;
  const int place = countInPlace();
  if (place % stepsPerBeat() == 0) sendClick(place == 0 && (clicked || practiceOn()));
}

void Form1::startCountIn() {
  // The first event comes after a count-in at this tempo (two silent steps without the
  // clicked one), shown as it runs down, so that the silence is not taken for a fault. Its
  // first step is the one taken now: the caller clicks it.
  countIn = countInSteps();
  replayPosition = replaySpan().first - countIn;
  replayStep = 1;
  showCountIn();
}

void Form1::showCountIn() {
  AccordDisplay.fontSize = 18;
  // Counted in beats: a count-in of eighths shows each beat once.
  const int beat = stepsPerBeat();
  AccordDisplay.caption =
      countIn > 0 ? say(Text::CountIn, {std::to_string((countIn + beat - 1) / beat)}) : "";
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
    report(say(Text::MsgPlayNothing));
    return;
  }
  AccordDisplay.caption.clear();
  AccordDisplay.fontSize = 18;
  // What is held is followed for the first chord from here on (see keepHeldBeforePass).
  practice.heldBeforePass.clear();
  Timer1.enabled = true;
  showPanel(browserPanel(), false);
  PlayStop.visible = Label8.visible = false;
  showPanel(replayPanel(), true);
  setToggleValue(Check3, 1);
  setToggleValue(Check1, 1);
  ZahlenSchirm.visible = true;
  showPracticePanel();
  // Play is a step of the replay's grid, at the tempo in force now (one set while paused too).
  Timer1.interval = stepInterval();
  const double lead = leadOf(ControlId::Timer1);
  const double at = clock().seconds() + lead;
  Timer1.due = at + Timer1.interval / 1000.0;
  // A count-in paused is counted in afresh. An output that takes the steps ahead gets Play's
  // click placed as theirs are, so that the first beat is as long as the others.
  if (replayStarted && countIn == 0) return;
  replayStarted = true;
  soundTime = lead > 0 ? at : kAtOnce;
  startCountIn();
  clickCountIn();
  soundTime = kAtOnce;
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
  if (countIn > 0) {
    countIn = 0;
    showCountIn();
  }
  showPanel(replayPanel(), false);
  showPanel(browserPanel(), true);
  hideMarkers();
  PlayStop.visible = Label8.visible = true;
  replayStep = 1;
  replayPosition = 0;
  practice.judge.clear();
  // The next Play starts afresh: it counts in again, and starts at the section when one is
  // marked.
  replayStarted = false;
  // A pass left unfinished is not scored.
  practice.passOpen = practice.waiting = practice.correcting = false;
  practice.clickNote = 0;
  showPracticePanel();
  Midi_Out_Reset();
}

void Form1::PlayMode_Click() {
  if (replayMode.empty() || replayMode == "Single") {
    replayMode = "Repeat";
    PlayMode.picture = pictures::kRepeat;
    updateStateTips();
    return;
  }
  AccordDisplay.caption.clear();
  AccordDisplay.fontSize = 18;
  if (replayMode == "Repeat") {
    replayMode = "Single";
    PlayMode.picture = pictures::kSingle;
  }
  updateStateTips();
}

void Form1::PlayMode2_Click() {
  PlayMode2.picture = PlayMode.picture;
}

}  // namespace tastrello
