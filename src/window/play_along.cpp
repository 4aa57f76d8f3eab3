// Lessons that keep time, in the window: the loaded record's meter, the practice tempo in beats
// a minute, playing along (replay runs at the tempo and each chord played is judged by its
// moment, shown on its buttons, its row and a strip of the last chords, scored a pass at a
// time into the history) and the tap calibration of the learner's own offset.
#include <algorithm>
#include <cmath>
#include <limits>

#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kCalibrationClicks = 8;
constexpr std::size_t kVerdictsShown = 16;  // the timing strip's chords
constexpr int kWindows[] = {120, 100, 80, 60, 40, 30, 20};
constexpr int kBeatsOffered[] = {2, 3, 4, 5, 6};
constexpr int kGrids[] = {1, 2, 4};

Colour timingColour(Timing timing) {
  switch (timing) {
    case Timing::OnTime:
      return kRightKeyColour;
    case Timing::Early:
    case Timing::Late:
    case Timing::WrongDirection:
    case Timing::LetGoEarly:
      return kWrongDirectionColour;
    default:
      return kWrongButtonColour;
  }
}

}  // namespace

bool Form1::practiceOn() const {
  return Practice.value == 1 || PlayAlong.value == 1;
}

bool Form1::playingAlong() const {
  return PlayAlong.value == 1 && Timer1.enabled && replayMode != ReplayMode::Test;
}

Pace Form1::pace() const {
  Pace pace;
  pace.practising = practiceOn();
  pace.meter = practice.meter;
  pace.practiceTempo = practice.tempo;
  pace.sliderInterval = tempoInterval();
  pace.countInClicked = CountInClick.value == 1;
  pace.firstEvent = replaySpan().first;
  return pace;
}

// ---- The controls

void Form1::PlayAlong_Click() {
  // One practice at a time: playing along does not wait, waiting does not play along.
  if (PlayAlong.value == 1) setToggleValue(Practice, 0);
  // The record's notes are the learner's to play: the beat comes from the metronome.
  if (PlayAlong.value == 1) setToggleValue(Metronome, 1);
  practice.passOpen = false;
  practice.judge.clear();
  practice.heldBeforePass.clear();
  if (PlayAlong.value == 1) applyRamp();
  if (PlayAlong.value == 1 && Timer1.enabled && currentEvent() > replaySpan().first)
    status().inform(say(Text::MsgScoredFromNextPass));
  Speed_Click();
  showPracticePanel();
}

void Form1::PracticeTempo_Click() {
  practice.tempo = PracticeTempo.value;
  Speed_Click();
}

void Form1::TimingWindowChooser_Click() {
  const int entry = TimingWindowChooser.selected;
  if (entry < 0 || entry >= int(std::size(kWindows))) return;
  practice.windowMs = kWindows[entry];
  settingKey = "TIMING-WINDOW:";
  settingValue = std::to_string(practice.windowMs);
  storeSetting();
}

void Form1::MeterChooser_Click() {
  const int entry = MeterChooser.selected;
  if (entry < 0 || entry >= int(std::size(kBeatsOffered) * std::size(kGrids))) return;
  Meter& m = practice.meter;
  m.beatsPerBar = kBeatsOffered[std::size_t(entry) / std::size(kGrids)];
  m.stepsPerBeat = kGrids[std::size_t(entry) % std::size(kGrids)];
  m.pickupSteps = std::min(m.pickupSteps, m.stepsPerBar() - 1);
  saveMeter();
  fillMeterChoosers();
  Speed_Click();
}

void Form1::PickupChooser_Click() {
  if (PickupChooser.selected < 0 || PickupChooser.selected >= practice.meter.stepsPerBar()) return;
  practice.meter.pickupSteps = PickupChooser.selected;
  saveMeter();
}

void Form1::fillMeterChoosers() {
  const Meter& m = practice.meter;
  static const Text kGridNames[] = {Text::GridQuarters, Text::GridEighths, Text::GridSixteenths};
  MeterChooser.items.clear();
  MeterChooser.values.clear();
  for (int beats : kBeatsOffered) {
    for (std::size_t g = 0; g < std::size(kGrids); ++g) {
      if (beats == m.beatsPerBar && kGrids[g] == m.stepsPerBeat)
        MeterChooser.selected = int(MeterChooser.items.size());
      MeterChooser.items.push_back(std::to_string(beats) + "/4, " + say(kGridNames[g]));
      MeterChooser.values.push_back(std::to_string(beats) + "/" + std::to_string(kGrids[g]));
    }
  }
  PickupChooser.items = {say(Text::PickupNone)};
  PickupChooser.values = {"0"};
  for (int steps = 1; steps < m.stepsPerBar(); ++steps) {
    PickupChooser.items.push_back(say(Text::PickupSteps, {std::to_string(steps)}));
    PickupChooser.values.push_back(std::to_string(steps));
  }
  PickupChooser.selected = m.pickupSteps;
  TimingWindowChooser.items.clear();
  TimingWindowChooser.values.clear();
  for (int ms : kWindows) {
    if (ms == practice.windowMs) TimingWindowChooser.selected = int(TimingWindowChooser.items.size());
    TimingWindowChooser.items.push_back(say(Text::TimingWindowEntry, {std::to_string(ms)}));
    TimingWindowChooser.values.push_back(std::to_string(ms));
  }
  MeterChooser.toolTip = say(Text::TipMeter);
  PickupChooser.toolTip = say(Text::TipPickup);
  TimingWindowChooser.toolTip = say(Text::TipTimingWindow);
}

// ---- The meter file of the loaded record

void Form1::loadMeter(const std::string& recordFile) {
  practice.meterPath = RecordList.folder + meterFileName(recordFile);
  practice.meter = readMeterBeside(recordFile);
  if (practice.meter.tempo > 0) practice.tempo = practice.meter.tempo;
  PracticeTempo.value = std::clamp(practice.tempo, PracticeTempo.minimum, PracticeTempo.maximum);
  fillMeterChoosers();
}

void Form1::saveMeter() {
  if (practice.meterPath.empty()) return;
  const std::string problem = services.files->replace(practice.meterPath, formatMeter(practice.meter));
  if (!problem.empty()) status().report(say(Text::MsgNotSaved, {practice.meterPath, problem}));
}

// ---- Playing along

std::vector<int> Form1::wantedButtons() const {
  std::vector<int> buttons;
  for (int k = 1; k <= 4; ++k) {
    const int button = chordButtons[std::size_t(k)];
    if (!chordNames[std::size_t(k)].empty() && button >= 0 && button < kKeyCount)
      buttons.push_back(button);
  }
  return buttons;
}

void Form1::expectChord() {
  std::vector<int> treble = wantedButtons();
  const std::vector<int> beside = practisedBeside(replayPosition, Hand::Treble);
  treble.insert(treble.end(), beside.begin(), beside.end());
  const std::vector<int> buttons =
      practice.hands.chord(treble, practisedBeside(replayPosition, Hand::Bass));
  markBeside(buttons);
  if (buttons.empty()) return;
  // The chord holds through the ringing rests after it.
  int steps = 1;
  for (int k = replayPosition + 1; k <= replaySpan().second && eventButtonLines[std::size_t(k)] == kBreakPlay; ++k)
    ++steps;
  // The chord is due at its step's place on the beat, also when the tick came late (a busy
  // machine): the learner keeping the beat is not judged by the thread's delay.
  const double at = tickMoment();
  const double step = pace().stepInterval() / 1000.0;
  practice.alongClicked.clear();
  playBass(leftHand_.releaseAll(LeftHand::Holder::Mouse));
  if (!practice.passOpen) return;
  practice.judge.expect({replayPosition, at, at + steps * step, buttons, steps});
  // Buttons pressed early, before replay came to the chord, may have played it already.
  collectVerdicts(clock().seconds());
}

void Form1::alongHeld(const std::vector<int>& held) {
  const double now = inputMoment();
  if (!practice.passOpen) {
    keepHeldBeforePass(now, held);
    return;
  }
  practice.judge.held(now, held);
  collectVerdicts(now);
}

void Form1::keepHeldBeforePass(double now, const std::vector<int>& held) {
  // The changes of the last seconds, and before them only what was held then: a button held
  // from long before does not look freshly pressed, and the list stays short however long the
  // count-in.
  constexpr double kKeptSeconds = 2;
  auto& kept = practice.heldBeforePass;
  const auto recent = std::find_if(kept.begin(), kept.end(), [&](const auto& change) {
    return change.first >= now - kKeptSeconds;
  });
  if (recent - kept.begin() > 1) kept.erase(kept.begin(), recent - 1);
  kept.emplace_back(now, held);
}

void Form1::alongClick(int button) {
  // A treble button sounds here; a bass button sounded with its click.
  std::optional<int> note;
  if (button >= 0 && button < kKeyCount) note = keyNote(button);
  if (note && SoundOnOff.value == 1) {
    noteNumber = *note;
    playnote();
  }
  const bool learners =
      isBassButton(button) ? practice.hands.learnerPlaysBass() : practice.hands.learnerPlaysTreble();
  if (!learners) return;
  // The mouse holds nothing: the buttons clicked towards the chord due make the chord.
  if (std::find(practice.alongClicked.begin(), practice.alongClicked.end(), button) ==
      practice.alongClicked.end())
    practice.alongClicked.push_back(button);
  alongHeld(practice.alongClicked);
}

void Form1::collectVerdicts(double now) {
  for (const TimedVerdict& verdict : practice.judge.judge(now)) {
    practice.verdicts.push_back(verdict);
    showVerdict(verdict);
  }
}

void Form1::showVerdict(const TimedVerdict& v) {
  std::string note;
  Text message = Text::MsgAlongOnTime;
  switch (v.timing) {
    case Timing::OnTime:
      note = (v.ms > 0 ? "+" : "") + std::to_string(v.ms);
      break;
    case Timing::Early:
      note = std::to_string(v.ms);
      message = Text::MsgAlongEarly;
      break;
    case Timing::Late:
      note = "+" + std::to_string(v.ms);
      message = Text::MsgAlongLate;
      break;
    case Timing::WrongButton:
      note = "x";
      message = Text::MsgAlongWrongButton;
      break;
    case Timing::WrongDirection:
      note = "<>";
      message = Text::MsgAlongWrongDirection;
      break;
    case Timing::Missed:
      note = "-";
      message = Text::MsgAlongMissed;
      break;
    case Timing::LetGoEarly:
      note = "~";
      message = Text::MsgAlongShort;
      break;
  }
  // On the row of the chord, on its buttons and in the status line.
  // The numbers' list has room beside each number; the chords' list has none.
  const auto row = static_cast<std::size_t>(v.event - 1);
  if (row < ZahlenSchirm.items.size()) {
    ZahlenSchirm.rowNotes.resize(ZahlenSchirm.items.size());
    ZahlenSchirm.rowNotes[row] = note;
  }
  const std::string& line = eventButtonLines.at(std::size_t(v.event));
  std::vector<int> judged;
  if (practice.hands.learnerPlaysTreble()) {
    judged = buttonsOfLine(line);
    const std::vector<int> beside = practisedBeside(v.event, Hand::Treble);
    judged.insert(judged.end(), beside.begin(), beside.end());
  }
  if (practice.hands.learnerPlaysBass()) {
    const std::vector<int> bass = practisedBeside(v.event, Hand::Bass);
    judged.insert(judged.end(), bass.begin(), bass.end());
  }
  for (int button : judged) colourButton(button, timingColour(v.timing));
  status().inform(say(message, {std::to_string(std::abs(v.ms))}));
  fillTimingStrip();
}

void Form1::fillTimingStrip() {
  // Twice the window either side: a chord just outside it still shows how far it was.
  const double reach = 2.0 * std::max(1, practice.windowMs);
  const std::size_t from =
      practice.verdicts.size() > kVerdictsShown ? practice.verdicts.size() - kVerdictsShown : 0;
  TimingStrip.columns.clear();
  for (std::size_t i = from; i < practice.verdicts.size(); ++i) {
    const TimedVerdict& v = practice.verdicts[i];
    const bool timed = v.timing == Timing::OnTime || v.timing == Timing::Early ||
                       v.timing == Timing::Late || v.timing == Timing::LetGoEarly;
    TimingStrip.columns.push_back({timed ? std::clamp(v.ms / reach, -1.0, 1.0) : 0,
                                   timingColour(v.timing), -1,
                                   timed ? std::to_string(v.ms) : std::string(), !timed});
  }
  TimingStrip.places = int(kVerdictsShown);
  TimingStrip.centred = true;
  TimingStrip.band = practice.windowMs / reach;
  TimingStrip.scaleTop = say(Text::StripLate);
  TimingStrip.scaleBottom = say(Text::StripEarly);
  TimingStrip.toolTip = say(Text::StripCaption);
  TimingStrip.footer.clear();
}

void Form1::finishAlongPass() {
  if (!practice.passOpen) return;
  practice.passOpen = false;
  collectVerdicts(std::numeric_limits<double>::infinity());  // what is still open is over
  const auto [first, last] = replaySpan();
  PlayAlongPass pass{clock().localTime(), practice.tempo, first, last,
                     scoreOf(practice.verdicts), practice.windowMs};
  appendToHistory(formatPlayAlongPass(pass));
  practice.history.alongPasses.push_back(pass);
  practice.history.order.push_back(true);
  practice.lastAlong = pass;
  showAlongScore();
  showPracticePanel();
  const int before = practice.tempo;
  applyRamp();
  if (practice.tempo > before) status().inform(say(Text::MsgTempoUp, {std::to_string(practice.tempo)}));
}

void Form1::showAlongScore() {
  if (!practice.lastAlong) return;
  const PlayAlongPass& p = *practice.lastAlong;
  const TimingScore& s = p.score;
  const std::string more =
      say(Text::AlongScoreMore,
          {std::to_string(s.early), std::to_string(s.late), std::to_string(s.missed),
           std::to_string(s.wrongButtons + s.wrongDirections), std::to_string(s.letGoEarly)});
  PracticeScore.caption =
      say(Text::AlongScore,
          {std::to_string(practice.history.alongPasses.size()), std::to_string(p.bpm),
           std::to_string(p.first), std::to_string(p.last), std::to_string(s.onTimePercent()),
           std::to_string(p.windowMs), std::to_string(s.meanMs), std::to_string(s.spreadMs),
           more});
}

// ---- The tap calibration

void Form1::Calibrate_Click() {
  practice.calibration = {kCalibrationClicks, {}, {}};
  CalibrationTimer.interval = std::max(200, 60000 / std::max(1, practice.tempo));
  CalibrationTimer.enabled = true;
  restartTimer(CalibrationTimer);
  if (ear_.source()) {
    // With a microphone the clicks measure it: how late it hears what sounds.
    ear_.startCalibration();
    status().inform(say(Text::MsgCalibrateMicrophone, {std::to_string(kCalibrationClicks)}));
    return;
  }
  status().inform(say(Text::MsgCalibrate, {std::to_string(kCalibrationClicks)}));
}

void Form1::CalibrationTimer_Timer() {
  auto& c = practice.calibration;
  if (c.clicksLeft <= 0) {
    finishCalibration();
    return;
  }
  const bool first = c.clicksLeft == kCalibrationClicks;
  --c.clicksLeft;
  sound().click(first);
  c.clicks.push_back(clock().seconds());
  if (ear_.source() && ear_.calibrating()) ear_.clickPlayed(c.clicks.back() + outputLatency());
}

void Form1::tap() {
  if (practice.calibration.clicksLeft > 0 || CalibrationTimer.enabled)
    practice.calibration.taps.push_back(inputMoment());
}

double Form1::outputLatency() {
  if (!services.audio) return 0;
  // A report hands the synthesizer's problems over once: they are said here, not lost.
  const AudioReport r = services.audio->audioReport();
  for (const std::string& line : r.problems) status().report(say(Text::MsgSynthProblem, {line}));
  return r.latencyMs / 1000.0;
}

void Form1::finishCalibration() {
  CalibrationTimer.enabled = false;
  auto& c = practice.calibration;
  if (ear_.source() && ear_.calibrating()) {
    c = {};
    const listen::Ear::CalibrationEnd end = ear_.endCalibration(uiLanguageOf(textsLanguage));
    if (!end.measured) {
      status().report(end.says);
      return;
    }
    settingKey = "MIC-LATENCY:";
    settingValue = std::to_string(ear_.latencyMs());
    storeSetting();
    status().inform(end.says);
    return;
  }
  const double latency = outputLatency();
  const auto offset = tapOffset(c.clicks, c.taps, CalibrationTimer.interval / 1000.0);
  c = {};
  if (!offset) {
    status().report(say(Text::MsgCalibrationFailed));
    return;
  }
  // The taps answer the clicks as they are heard: the output's latency is no part of the
  // learner's own offset.
  practice.offsetSeconds = *offset - latency;
  const int ms = static_cast<int>(std::lround(practice.offsetSeconds * 1000));
  settingKey = "TAP-OFFSET:";
  settingValue = std::to_string(ms);
  storeSetting();
  status().inform(say(Text::MsgCalibrated, {std::to_string(ms)}));
}

}  // namespace tastrello
