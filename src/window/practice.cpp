// Practice in the window: replay shows each chord and waits until the learner plays it, from
// the computer keyboard, a MIDI instrument or the mouse; wrong buttons and wrong bellows
// directions are shown and counted; each pass is scored into the record's history file; a
// section of the record can be looped; the tempo can rise along the record's ramp; a count-in
// and a metronome click on the percussion channel.
#include <algorithm>
#include <cmath>
#include <utility>

#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

namespace {

constexpr int kRampPercent = 4;   // a ramp's step: a small one

Colour verdictColour(Verdict verdict) {
  switch (verdict) {
    case Verdict::Right:
      return kRightKeyColour;
    case Verdict::WrongDirection:
      return kWrongDirectionColour;
    default:
      return kWrongButtonColour;
  }
}

bool isWrong(Verdict verdict) {
  return verdict == Verdict::WrongButton || verdict == Verdict::WrongDirection;
}

/// The place beside the keyboard of a button as practice numbers it; nothing for any other.
std::optional<int> besidePlace(const TrebleBeside& beside, int button) {
  return isBesideButton(button) ? beside.placeOf(besideAt(button)) : std::nullopt;
}

/// The buttons as the window names them now, without the blanks that pad the keyboard's
/// captions to the width of the layout's column; a bass button by its letter.
std::string namesOf(const std::vector<int>& buttons, const std::array<Control, kKeyCount>& keys,
                    const LeftHand& bass, const TrebleBeside& beside) {
  std::string names;
  for (int button : buttons) {
    std::string caption;
    if (isBassButton(button) && bassPlaceOf(button) < bass.placeCount())
      caption = bass.buttonAt(bassPlaceOf(button)).letter;
    else if (button >= 0 && button < kKeyCount)
      caption = keys[std::size_t(button)].caption;
    else if (const auto place = besidePlace(beside, button))
      caption = beside.caption(*place);
    const auto first = caption.find_first_not_of(' ');
    if (first == std::string::npos) continue;
    const std::string name = caption.substr(first, caption.find_last_not_of(' ') - first + 1);
    names += (names.empty() ? "" : " ") + name;
  }
  return names;
}

/// The bellows direction the buttons are played in, in words.
std::string directionOf(const std::vector<int>& buttons, const StatusReports& texts) {
  const Bellows bellows = bellowsOfChord(buttons);
  if (bellows == Bellows::Both) return texts.say(Text::BellowsBoth);
  return texts.say(bellows == Bellows::Push ? Text::BellowsPush : Text::BellowsPull);
}

}  // namespace

Clock& Form1::clock() {
  return services.clock ? *services.clock : standardClock_;
}

bool Form1::practising() const {
  return Practice.value == 1 && Timer1.enabled && replayMode != ReplayMode::Test;
}

void Form1::Practice_Click() {
  if (Practice.value == 1) setToggleValue(PlayAlong, 0);
  // A pass is scored only when it was practised from its first event to its last: switched on
  // in the middle, practice scores from the next pass on.
  practiceSession().drop();
  if (Practice.value == 1) applyRamp();
  if (Practice.value == 1 && Timer1.enabled && currentEvent() > replaySpan().first)
    status().inform(say(Text::MsgScoredFromNextPass));
  Speed_Click();
  showPracticePanel();
}

void Form1::showPracticePanel() {
  const bool editing = EditBox.visible;
  for (Control* c : {&Practice, &PlayAlong, &CountInClick, &Metronome}) c->visible = !editing;
  for (Control* c : {&SectionFirst, &SectionLast, &SectionAll})
    c->visible = !editing && NotenSchirm.visible;
  // While practising the tempo is in beats a minute, in the place of the replay slider.
  const bool tempo = !editing && practiceOn();
  PracticeRamp.visible = PracticeTempo.visible = tempo;
  Speed.visible = !tempo;
  Tempo.width = tempo ? 1380 : 2760;
  Tempo.left = tempo ? 2040 : 3060;
  const bool loaded = !practice.historyPath.empty();
  // The meter stands over the record's views, where the view options stand during replay.
  MeterChooser.visible = PickupChooser.visible =
      !editing && loaded && NotenSchirm.visible && !StopReplay.visible;
  const bool along = PlayAlong.value == 1;
  // Playing along, each number gets how its chord was played beside it: the list widens to the
  // left, into the records' place, while replay keeps that empty.
  const bool wide = along && !editing && !RecordList.visible;
  ZahlenSchirm.left = wide ? 1920 : 3120;
  ZahlenSchirm.width = wide ? 2040 : 840;
  HandsChooser.visible = !editing && practiceOn() && leftHand_.present();
  fillHandsChooser();
  const bool scored = !editing && practiceOn() && loaded;
  PracticeScore.visible = scored && !PracticeScore.caption.empty();
  PracticeChart.visible = scored;
  TimingStrip.visible = TimingWindowChooser.visible = Calibrate.visible = scored && along;
  PracticeScore.height = along ? 1080 : 1440;
  PracticeChart.top = along ? 6930 : 6120;
  PracticeChart.height = along ? 2190 : 3000;
  PracticeChart.caption = say(along ? Text::ChartAlongCaption : Text::ChartCaption);
  fillPracticeChart();
  fillTimingStrip();
  PracticeRamp.toolTip =
      practice.history.ramp
          ? say(Text::TipRampOn, {std::to_string(practice.history.ramp->start),
                                  std::to_string(practice.history.ramp->target),
                                  std::to_string(practice.history.ramp->cleanPasses)})
          : say(Text::TipRampOff);
}

// ---- The history of the loaded record

void Form1::loadPracticeHistory(const std::string& recordFile) {
  practice.historyPath = RecordList.folder + historyFileName(recordFile);
  practice.history = {};
  practice.lastPass.reset();
  practice.passOpen = practice.waiting = false;
  practice.section = {};
  PracticeScore.caption.clear();
  practice.lastAlong.reset();
  practice.verdicts.clear();
  ZahlenSchirm.rowNotes.clear();
  practice.judge.clear();
  loadMeter(recordFile);
  const std::string name = historyFileName(recordFile);
  std::string bytes;
  if (auto read = services.files->read(practice.historyPath)) {
    bytes = std::move(*read);
  } else if (const std::string why = services.files->readProblem(practice.historyPath);
             !why.empty()) {
    status().report(say(Text::MsgHistoryUnread, {name, why}));
  }
  if (bytes.size() > kLargestHistory) {
    status().report(say(Text::MsgHistoryUnread, {name, say(Text::WhyTooLarge, {"16 MB"})}));
    bytes.clear();
  }
  // Passes of this run that could not be written yet count and show as if they had been.
  const auto unwritten = practice.unwritten.find(practice.historyPath);
  const std::size_t fileLines =
      unwritten == practice.unwritten.end() ? 0 : splitLines(bytes).size();
  if (unwritten != practice.unwritten.end())
    bytes += (bytes.empty() || bytes.back() == '\n' ? "" : "\r\n") + unwritten->second;
  std::vector<int> damaged;
  practice.history = parseHistory(bytes, damaged);
  if (unwritten != practice.unwritten.end())
    damaged.erase(std::remove_if(damaged.begin(), damaged.end(),
                                 [&](int line) { return std::size_t(line) > fileLines; }),
                  damaged.end());
  status().reportFew(name, damaged.size(), [&](std::size_t i) {
    return say(Text::MsgHistoryLine, {name, std::to_string(damaged[i])});
  });
  PracticeRamp.value = practice.history.ramp ? 1 : 0;
  applyRamp();
  showSection();
  showPracticePanel();
}

void Form1::appendToHistory(const std::string& line) {
  if (practice.historyPath.empty()) return;
  // The file is only ever appended to, never rewritten from what was understood of it: lines
  // this version cannot read and a history too large to read stay as they are. A line that
  // could not be written waits in memory and goes out with the next.
  std::string& waiting = practice.unwritten[practice.historyPath];
  waiting += line + "\r\n";
  const std::string problem = services.files->append(practice.historyPath, waiting);
  if (problem.empty()) {
    practice.unwritten.erase(practice.historyPath);
    return;
  }
  status().report(say(Text::MsgHistoryNotSaved, {practice.historyPath, problem}));
}

void Form1::PracticeRamp_Click() {
  if (practice.historyPath.empty()) {
    PracticeRamp.value = 0;
    status().report(say(Text::MsgPlayNothing));
    return;
  }
  History& history = practice.history;
  if (PracticeRamp.value == 1) {
    // The tempo set now is the goal; the ramp starts a fifth below it and rises 4 % a step.
    const int target = practice.tempo;
    history.ramp = TempoRamp{std::max(kSlowestTempo, target * 4 / 5), target, kRampPercent, 2};
  } else {
    history.ramp.reset();
  }
  history.rampFrom = history.ramp ? history.passes.size() : 0;
  history.rampAlongFrom = history.ramp ? history.alongPasses.size() : 0;
  appendToHistory(formatRamp(history.ramp));
  applyRamp();
  showPracticePanel();
}

void Form1::applyRamp() {
  const auto& ramp = practice.history.ramp;
  if (!ramp || PracticeRamp.value == 0) return;
  const int tempo = rampTempo(*ramp, practice.history.rampSteps(PlayAlong.value == 1));
  if (tempo == practice.tempo) return;
  practice.tempo = tempo;
  PracticeTempo.value = std::clamp(tempo, PracticeTempo.minimum, PracticeTempo.maximum);
  Speed_Click();
}

// ---- Passes

PracticeSession& Form1::practiceSession() {
  practiceSession_.bind(&practice);
  return practiceSession_;
}

void Form1::beginPass() {
  // Playing along: the chords are judged against their moments, heard through the output.
  const double latency = outputLatency();
  practiceSession().beginPass(replaySpan().first, clock().seconds(), latency);
  ZahlenSchirm.rowNotes.clear();
}

void Form1::finishPass() {
  if (!practice.passOpen) return;
  const std::optional<PassRecord> pass =
      practiceSession().finishPass(clock().seconds(), replaySpan().second, clock().localTime());
  appendToHistory(formatPass(*pass));
  showPassScore();
  showPracticePanel();
  const int before = practice.tempo;
  applyRamp();
  if (practice.tempo > before) status().inform(say(Text::MsgTempoUp, {std::to_string(practice.tempo)}));
}

void Form1::fillPracticeChart() {
  constexpr std::size_t kPassesShown = 20;
  struct Shown {
    double share;
    bool clean;
    int tempo;
  };
  std::vector<Shown> shown;
  if (PlayAlong.value == 1) {
    for (const PlayAlongPass& p : practice.history.alongPasses)
      shown.push_back({p.score.onTimePercent() / 100.0, p.score.clean(), p.bpm});
  } else {
    for (const PassRecord& p : practice.history.passes)
      shown.push_back({p.score.events > 0 ? double(p.score.rightFirstTry) / p.score.events : 0,
                       p.score.clean(), p.tempo});
  }
  if (shown.size() > kPassesShown)
    shown.erase(shown.begin(), shown.end() - std::ptrdiff_t(kPassesShown));
  // The line's scale reaches a little above the fastest tempo shown and the ramp's goal.
  int fastest = practice.history.ramp ? practice.history.ramp->target : 0;
  for (const Shown& s : shown) fastest = std::max(fastest, s.tempo);
  const int top = (fastest / 20 + 1) * 20;
  PracticeChart.columns.clear();
  for (const Shown& s : shown)
    PracticeChart.columns.push_back({s.share, s.clean ? kRightKeyColour : kWrongDirectionColour,
                                     double(s.tempo) / top, std::to_string(s.tempo)});
  PracticeChart.places = int(kPassesShown);
  PracticeChart.scaleTop = "100%";
  PracticeChart.scaleBottom = "0";
  PracticeChart.footer =
      shown.empty() ? std::string() : say(Text::PracticeTempoText, {std::to_string(shown.back().tempo)});
}

void Form1::showPassScore() {
  if (!practice.lastPass) return;
  const PassRecord& p = *practice.lastPass;
  const std::string seconds = decimalText(p.score.seconds, 1);
  PracticeScore.caption =
      say(Text::PassScore,
          {std::to_string(practice.history.passes.size()), std::to_string(p.tempo),
           std::to_string(p.first), std::to_string(p.last), std::to_string(p.score.rightFirstTry),
           std::to_string(p.score.events), std::to_string(p.score.wrongButtons),
           std::to_string(p.score.wrongDirections), seconds});
}

// ---- Waiting for a chord and judging what is played

void Form1::waitForChord() {
  std::vector<int> treble = wantedButtons();
  const std::vector<int> beside = practisedBeside(replayPosition, Hand::Treble);
  treble.insert(treble.end(), beside.begin(), beside.end());
  const std::vector<int> bass = practisedBeside(replayPosition, Hand::Bass);
  if (!practiceSession().waitFor(practice.hands.chord(treble, bass))) return;
  markBeside(practice.wanted);
  status().inform(say(Text::MsgPlayChord, {namesOf(practice.wanted, Keys, leftHand_, trebleBeside_),
                                            directionOf(practice.wanted, status())}));
}

void Form1::markBeside(const std::vector<int>& buttons) {
  std::vector<int> bass, treble;
  for (int button : buttons) {
    if (isBassButton(button)) bass.push_back(bassPlaceOf(button));
    if (const auto place = besidePlace(trebleBeside_, button)) treble.push_back(*place);
  }
  leftHand_.mark(std::move(bass));
  trebleBeside_.mark(std::move(treble));
  showBassColours();
  playBeside({});
}

void Form1::colourButton(int button, Colour colour) {
  if (button >= 0 && button < kKeyCount) {
    Keys[button].backColor = colour;
  } else if (isBassButton(button)) {
    if (bassPlaceOf(button) < leftHand_.placeCount()) BassKeys[bassPlaceOf(button)].backColor = colour;
  } else if (const auto place = besidePlace(trebleBeside_, button)) {
    RowKeys[*place].backColor = colour;
  }
}

void Form1::judgeKeys(bool pressed) {
  if (practice.hands.learnerPlaysBass()) {
    judgeBothHands(pressed);
    return;
  }
  std::vector<int> held;
  for (int position : hands.keys.held()) held.push_back(hands.keys.button(position));
  if (playingAlong()) {
    alongHeld(held);
    return;
  }
  if (!practising() || !practice.waiting) return;
  showTry(practiceSession().held(held, pressed));
}

void Form1::judgePitchesHeld(bool pressed) {
  if (practice.hands.learnerPlaysBass()) {
    judgeBothHands(pressed);
    return;
  }
  std::vector<int> buttons;
  for (int pitch : hands.pitches) buttons.push_back(heldButtonOf(pitch));
  if (playingAlong()) {
    std::erase(buttons, -1);
    alongHeld(buttons);
    return;
  }
  if (!practising() || !practice.waiting) return;
  std::vector<int> wantedPitches;
  for (int button : practice.wanted) {
    if (button >= 0 && button < kKeyCount) {
      if (const auto note = keyNote(button)) wantedPitches.push_back(*note);
    } else if (const auto place = besidePlace(trebleBeside_, button)) {
      wantedPitches.push_back(trebleBeside_.pitchOf(*place));
    }
  }
  showTry(practiceSession().heldPitches(wantedPitches, hands.pitches, buttons,
                                        hands.controllerPush, pressed));
}

void Form1::judgeBothHands(bool pressed) {
  std::vector<int> treble;
  for (int position : hands.keys.held()) treble.push_back(hands.keys.button(position));
  for (const int pitch : hands.pitches)
    if (const int button = heldButtonOf(pitch); button >= 0) treble.push_back(button);
  std::vector<int> bass = leftHand_.heldPlaces(LeftHand::Holder::Key);
  for (int place : leftHand_.heldPlaces(LeftHand::Holder::Midi))
    if (std::find(bass.begin(), bass.end(), place) == bass.end()) bass.push_back(place);
  const std::vector<int> held = practice.hands.held(treble, bass, leftHand_.pushing());
  if (playingAlong()) {
    alongHeld(held);
    return;
  }
  if (!practising() || !practice.waiting) return;
  showTry(practiceSession().held(held, pressed));
}

void Form1::practiceClick(int button) {
  // A button of the keyboard sounds here; one beside it or on the bass sounded with its click.
  std::optional<int> note;
  if (button >= 0 && button < kKeyCount) note = keyNote(button);
  const bool learners =
      isBassButton(button) ? practice.hands.learnerPlaysBass() : practice.hands.learnerPlaysTreble();
  if (!practice.waiting || !learners) {
    if (note && SoundOnOff.value == 1) {
      noteNumber = *note;
      playnote();
    }
    return;
  }
  if (practiceSession().freshTry()) {
    // A new try: the buttons of the last one go dark and, when chords are cut, fall silent.
    for (auto& key : Keys) key.backColor = keyIdleColor;
    showBassColours();
    playBeside({});
    if (Check4.value == 1) Midi_Out_Reset();
  }
  if (note && SoundOnOff.value == 1) {
    noteNumber = *note;
    playnote();
  }
  showTry(practiceSession().clicked(button));
}

void Form1::showTry(const PracticeTry& attempt) {
  for (const auto& [button, verdict] : attempt.colours) colourButton(button, verdictColour(verdict));
  if (!attempt.verdict) return;
  if (*attempt.verdict == Verdict::Right) {
    chordPlayed();
    return;
  }
  if (!isWrong(*attempt.verdict)) return;
  const std::string wanted = namesOf(practice.wanted, Keys, leftHand_, trebleBeside_);
  const std::string wrong = namesOf(attempt.wrong, Keys, leftHand_, trebleBeside_);
  const std::string wantedWay = directionOf(practice.wanted, status());
  if (*attempt.verdict == Verdict::WrongDirection) {
    status().inform(say(Text::MsgWrongDirection, {wrong, directionOf(attempt.wrong, status()),
                                                  wanted + " (" + wantedWay + ")"}));
  } else {
    status().inform(say(Text::MsgWrongButton, {wrong, wanted, wantedWay}));
  }
}

void Form1::chordPlayed() {
  practiceSession().chordPlayed();
  // A bass clicked towards the chord lets go, as a finger lifts for the next button.
  playBass(leftHand_.releaseAll(LeftHand::Holder::Mouse));
  playBeside(trebleBeside_.releaseAll(Holder::Mouse));
  StatusLine.caption.clear();
  advanceReplay();
  // What comes next (a chord, a rest) gets a whole step from now.
  restartTimer(Timer1);
}

// ---- The section

std::pair<int, int> Form1::replaySpan() const {
  return practice.section.span(loadedEventCount());
}

void Form1::NotenSchirm_Click() {
  ZahlenSchirm.selected = NotenSchirm.selected;
}

void Form1::ZahlenSchirm_Click() {
  NotenSchirm.selected = ZahlenSchirm.selected;
}

void Form1::SectionFirst_Click() {
  markSection(true);
}

void Form1::SectionLast_Click() {
  markSection(false);
}

void Form1::HandsChooser_Click() {
  static constexpr PracticedHands kHands[] = {PracticedHands::Right, PracticedHands::Left,
                                              PracticedHands::Both};
  const int entry = HandsChooser.selected;
  if (entry < 0 || entry >= int(std::size(kHands))) return;
  practice.hands.choose(kHands[entry]);
  // A pass is scored for the hands it was played with, from its first chord on.
  practiceSession().drop();
  practice.judge.clear();
  if (Timer1.enabled && currentEvent() > replaySpan().first)
    status().inform(say(Text::MsgScoredFromNextPass));
  rememberChoices();
}

void Form1::fillHandsChooser() {
  HandsChooser.items = {say(Text::HandsRight), say(Text::HandsLeft), say(Text::HandsBoth)};
  HandsChooser.values = {"RIGHT", "LEFT", "BOTH"};
  HandsChooser.selected = static_cast<int>(practice.hands.chosen());
  HandsChooser.toolTip = say(Text::TipHands);
}

void Form1::SectionAll_Click() {
  practice.section = {};
  practice.passOpen = false;
  showSection();
}

void Form1::markSection(bool first) {
  const int count = static_cast<int>(NotenSchirm.items.size());
  const int row = NotenSchirm.selected;
  if (row < 0 || row >= count) {
    status().report(say(Text::MsgSectionPick));
    return;
  }
  const int event = row + 1;
  auto [from, to] = replaySpan();
  // A start after the end takes the rest of the record; an end before the start, its
  // beginning.
  if (first) {
    from = event;
    if (to < from) to = count;
  } else {
    to = event;
    if (from > to) from = 1;
  }
  practice.section = {from, to};
  practice.passOpen = false;  // a pass runs through one section
  showSection();
  status().inform(say(Text::MsgSection, {std::to_string(from), std::to_string(to)}));
}

void Form1::showSection() {
  const bool whole = practice.section.whole();
  const auto [from, to] = replaySpan();
  for (ListBox* view : {&NotenSchirm, &ZahlenSchirm}) {
    view->markedFirst = whole ? -1 : from - 1;
    view->markedLast = whole ? -1 : to - 1;
  }
}

}  // namespace tastrello
