// The left hand in the window: the bass side of an instrument file, chosen in the instrument
// panel, drawn in the band under the treble, and played with the mouse, the keys and a MIDI
// instrument's bass channel; its basses and chords sound on channels of their own, in the
// direction the bellows go.
#include <algorithm>

#include "instrument/instrument_format.h"
#include "records/record_hands.h"
#include "shell/text.h"
#include "window/form1.h"

namespace tastrello {

static_assert(kBassKeyCount >= kMaxBassRows * kMaxRowButtons,
              "every bass button an instrument file may give has its control");

namespace {

constexpr const char* kInstrumentPattern = "INSTRUMENT_*.TXT";

/// Why a line of an instrument file is not used, in the language in force.
std::string instrumentProblemText(const Form1& w, const InstrumentProblem& problem) {
  switch (problem.fault) {
    case InstrumentFault::UnknownLine:
    case InstrumentFault::NameTwice:
    case InstrumentFault::LayoutTwice:
    case InstrumentFault::ButtonOutsideRow:
    case InstrumentFault::ButtonsWithLayout:
      return w.say(Text::WhyInstrumentLine);
    case InstrumentFault::BadLayoutName:
    case InstrumentFault::BadKey:
    case InstrumentFault::WrongNumber:
    case InstrumentFault::FieldCount:
    case InstrumentFault::BadNote:
    case InstrumentFault::BadLetter:
    case InstrumentFault::MixedSound:
      return w.say(Text::WhyInstrumentValue, {problem.detail});
    case InstrumentFault::TooManyRows:
    case InstrumentFault::TooManyButtons:
    case InstrumentFault::TooManyNotes:
      return w.say(Text::WhyInstrumentTooMany);
    case InstrumentFault::EmptyRow:
    case InstrumentFault::NoName:
    case InstrumentFault::NoTreble:
    case InstrumentFault::LayoutRows:
      break;
  }
  return w.say(Text::WhyInstrumentIncomplete);
}

}  // namespace

std::optional<Instrument> Form1::readInstrument(const std::string& file) {
  const std::string path = "Notes/" + file;
  const auto bytes = services.files->read(path);
  if (!bytes || bytes->size() > kLargestInstrumentFile) {
    const std::string why =
        bytes ? say(Text::WhyTooLarge, {"64 KB"}) : services.files->readProblem(path);
    status().report(say(Text::MsgInstrumentUnread, {path, why}));
    return std::nullopt;
  }
  std::vector<InstrumentProblem> problems;
  auto instrument = parseInstrument(*bytes, problems);
  if (instrument && !instrument->layout.empty()) {
    std::string why;
    const auto layout = readNoteLayout(instrument->layout, why);
    if (!layout || takeTrebleFromLayout(*instrument, *layout)) {
      problems.push_back({0, InstrumentFault::LayoutRows, instrument->layout});
      instrument.reset();
    }
  }
  if (instrument && instrument->bass.empty()) {
    problems.push_back({0, InstrumentFault::EmptyRow, ""});
    instrument.reset();
  }
  status().reportFew(path, problems.size(), [&](std::size_t i) {
    const InstrumentProblem& problem = problems[i];
    const std::string why = instrumentProblemText(*this, problem);
    return problem.line == 0 ? say(Text::MsgInstrumentUnread, {path, why})
                             : say(Text::MsgInstrumentLine,
                                   {path, std::to_string(problem.line), why});
  });
  return instrument;
}

void Form1::chooseBassSide(const std::string& file) {
  if (file.empty()) {
    playBass(leftHand_.use(std::nullopt));
  } else if (auto instrument = readInstrument(file)) {
    playBass(leftHand_.use(std::move(instrument), file));
  }
  practice.hands.bassSide(leftHand_.present());
  showBassSide();
  showTrebleBeside();
  fillBassChooser();
  showPracticePanel();  // the hands to practise are offered with a bass side
}

void Form1::BassChooser_Click() {
  const auto entry = static_cast<std::size_t>(BassChooser.selected);
  if (entry >= BassChooser.values.size()) return;
  chooseBassSide(BassChooser.values[entry]);
  rememberChoices();
}

void Form1::fillBassChooser() {
  BassChooser.items = {say(Text::BassSideNone)};
  BassChooser.values = {""};
  BassChooser.selected = 0;
  BassChooser.toolTip = say(Text::TipBassSide);
  const auto files = services.files->list("Notes/");
  std::vector<std::string> names;
  for (const std::string& name : files.value_or(std::vector<std::string>{}))
    if (matchesPattern(name, kInstrumentPattern)) names.push_back(name);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const auto bytes = services.files->read("Notes/" + name);
    if (!bytes || bytes->size() > kLargestInstrumentFile) continue;
    std::vector<InstrumentProblem> problems;
    const auto instrument = parseInstrument(*bytes, problems);
    // The sides of the tuning on the keyboard and the instruments of more rows that begin with
    // it; the side in force whatever it belongs to; and a file that cannot be read, so that
    // choosing it says why.
    const bool inForce = sameNameIgnoringCase(name, leftHand_.file());
    const bool fits = !instrument || (!instrument->bass.empty() &&
                                      (sameNameIgnoringCase(instrument->layout, noteFileName) ||
                                       hasTrebleBeside(*instrument, buttonNotes())));
    if (!fits && !inForce) continue;
    if (inForce) BassChooser.selected = static_cast<int>(BassChooser.items.size());
    BassChooser.items.push_back(say(Text::BassSideOf, {instrument ? instrument->name : name}));
    BassChooser.values.push_back(name);
  }
}

void Form1::showBassSide() {
  for (int place = 0; place < kBassKeyCount; ++place) {
    Control& key = BassKeys[place];
    key.visible = place < leftHand_.placeCount();
    if (!key.visible) continue;
    const TwipRect rect = leftHand_.rectOf(place);
    key.left = rect.left;
    key.top = rect.top;
    key.width = rect.width;
    key.height = rect.height;
    const BassButton& button = leftHand_.buttonAt(place);
    key.caption = button.letter;
    key.toolTip = say(Text::TipBassKey, {button.letter, button.push.name, button.pull.name});
    key.tag = KeyLetters.value == 1 ? keyLabel(leftHand_.keyOf(place)) : std::string();
  }
  showBassColours();
}

void Form1::showBassColours() {
  for (int place = 0; place < leftHand_.placeCount(); ++place)
    BassKeys[place].backColor = leftHand_.held(place)     ? keyLitColor
                                : leftHand_.marked(place) ? kMarkedBassColour
                                                          : keyIdleColor;
}

std::vector<int> Form1::practisedBeside(int event, Hand hand) const {
  std::vector<int> buttons;
  for (const ButtonAt& at : handButtons(leftHand_.record(), event, hand)) {
    if (hand == Hand::Treble && trebleBeside_.placeOf(at))
      buttons.push_back(besideButton(at));
    else if (const auto place = hand == Hand::Bass ? leftHand_.placeOf(at) : std::nullopt)
      buttons.push_back(bassButton(*place, at.push));
  }
  return buttons;
}

void Form1::playBass(const LeftHand::Change& change) {
  // Notes let go always go out: a note started before the sound was switched off ends.
  for (const BassNote& note : change.stopped) sound().bassNoteOff(note.chord, note.pitch);
  if (SoundOnOff.value == 1)
    for (const BassNote& note : change.started) sound().bassNote(note.chord, note.pitch);
  showBassColours();
}

void Form1::loadRecordBass(const std::string& recordFile) {
  const std::string path = RecordList.folder + handsFileName(recordFile);
  const auto bytes = services.files->read(path);
  const std::string why = bytes ? std::string() : services.files->readProblem(path);
  if (!why.empty()) status().report(say(Text::MsgHandsUnread, {path, why}));
  // A record's bass plays on the bass side of the instrument it was saved for.
  const std::string named = bytes ? instrumentNamedIn(*bytes) : std::string();
  if (!named.empty() && !sameNameIgnoringCase(named, leftHand_.file())) chooseBassSide(named);
  if (!bytes || !leftHand_.present()) {
    leftHand_.takeRecordBass({});
    return;
  }
  const Instrument& instrument = *leftHand_.instrument();
  const HandsContext context{loadedEvents(), leftHand_.file(), trebleRowLengths(instrument),
                             bassRowLengths(instrument)};
  const HandsRead read = readRecordHands(bytes, why, context);
  status().reportFew(path, read.problems.size(), [&](std::size_t i) {
    const HandsProblem& problem = read.problems[i];
    const bool kept = problem.fault == HandsFault::AgainstBellows ||
                      problem.fault == HandsFault::OtherInstrument ||
                      problem.fault == HandsFault::RecordChanged;
    if (problem.line == 0 && !kept) return say(Text::MsgHandsUnread, {path, problem.detail});
    return say(kept ? Text::MsgHandsKept : Text::MsgHandsLine, {path, std::to_string(problem.line)});
  });
  leftHand_.takeRecordBass(read.hands);
}

void Form1::replayBass(bool ringing) {
  if (replayMode == ReplayMode::Test) return;  // the dry run of a load sounds nothing of it
  const bool learner = practising() || playingAlong();
  if (!learner || !practice.hands.learnerPlaysTreble()) {
    const auto beside = handButtons(leftHand_.record(), replayPosition, Hand::Treble);
    playBeside(trebleBeside_.replayEvent(beside, ringing));
  }
  // The left hand is the learner's while they practise it.
  if (learner && practice.hands.learnerPlaysBass()) return;
  playBass(leftHand_.replayEvent(replayPosition, ringing));
}

std::optional<FileChange> Form1::bassSavedWith(const std::string& fileName) {
  const std::string path = RecordList.folder + handsFileName(fileName);
  const bool there = services.files->read(path).has_value();
  auto bytes = handsSavedWith(leftHand_.recordHands(), ShadowListe3.items, there);
  if (!bytes) return std::nullopt;
  return FileChange{path, std::move(*bytes)};
}

void Form1::BassKeys_Click(int place) {
  if (place < 0 || place >= leftHand_.placeCount()) return;
  playBass(leftHand_.click(place));
  if (!practice.hands.learnerPlaysBass() || !leftHand_.held(place)) return;
  const int button = bassButton(place, leftHand_.pushing());
  if (playingAlong())
    alongClick(button);
  else if (practising())
    practiceClick(button);
}

void Form1::midiBassNote(int pitch, bool on) {
  if (!on) {
    playBass(leftHand_.midiNoteOff(pitch));
    if (practice.hands.learnerPlaysBass()) judgeBothHands(false);
  } else if (leftHand_.placeForPitch(pitch)) {
    tap();
    playBass(leftHand_.midiNoteOn(pitch));
    if (practice.hands.learnerPlaysBass()) judgeBothHands(true);
  } else {
    const Text direction = leftHand_.pushing() ? Text::BellowsPush : Text::BellowsPull;
    status().report(say(Text::MsgNoBassForPitch, {std::to_string(pitch), say(direction)}));
  }
}

}  // namespace tastrello
