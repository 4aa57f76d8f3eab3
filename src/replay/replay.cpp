#include "replay/replay.h"

#include "records/record_format.h"
#include "shell/text.h"

namespace tastrello {

ReplayStep Replay::advance(const ReplayRules& rules) {
  ReplayVariables& v = *variables_;
  v.replayPosition += v.replayStep;
  ReplayStep step;
  if (countIn_ > 0) {
    --countIn_;
    step.countInRan = true;
  }
  if (v.replayMode == ReplayMode::Test) {
    // The dry run of a load walks the whole record once.
    if (v.replayPosition == v.replayEnd) {
      v.replayPosition = 0;
      v.testPassDone = true;
      step.kind = ReplayStepKind::DryRunDone;
      return step;
    }
  } else {
    // Replay runs through the span: forwards in a loop, or back and forth. Practice always goes
    // forwards, a pass at a time.
    if (v.replayStep > 0 && v.replayPosition > rules.last) {
      const bool countInRan = step.countInRan;
      step = passOver(rules);
      step.countInRan = countInRan;
      return step;
    }
    if (v.replayStep < 0 && v.replayPosition < rules.first) {
      v.replayPosition = rules.first - 1;
      v.replayStep = 1;
      step.kind = ReplayStepKind::TurnsBack;
      return step;
    }
    if (v.replayPosition < rules.first) return step;  // the steps counted in before the span
    step.passBegins = v.replayStep > 0 && v.replayPosition == rules.first &&
                      (rules.waits || rules.playsAlong);
  }
  if (v.replayPosition < 1 || v.replayPosition > kMaxEvents) return step;  // outside the tables
  step.event = v.replayPosition;
  const std::string& buttons = v.eventButtonLines[std::size_t(v.replayPosition)];
  if (buttons == kBreakMute) {
    step.kind = ReplayStepKind::SilentRest;
  } else if (buttons == kBreakPlay) {
    step.kind = ReplayStepKind::RingingRest;
  } else {
    step.kind = ReplayStepKind::Chord;
    readChord(v.replayPosition);
  }
  return step;
}

ReplayStep Replay::passOver(const ReplayRules& rules) {
  ReplayVariables& v = *variables_;
  ReplayStep step;
  step.kind = ReplayStepKind::PassEnds;
  if (rules.playsAlong) {
    // The next pass comes after a count-in, as the first did: the window counts in.
    step.countsInAgain = true;
    return step;
  }
  if (v.replayMode == ReplayMode::Single || rules.waits) {
    v.replayPosition = rules.first - 1;
    v.replayStep = 1;
  } else {
    v.replayPosition = rules.last + 1;
    v.replayStep = -1;
  }
  return step;
}

void Replay::readChord(int event) {
  ReplayVariables& v = *variables_;
  const auto [buttons, names] = chordOfLines(v.eventButtonLines[std::size_t(event)],
                                             v.eventNameLines[std::size_t(event)]);
  v.chordButtons = buttons;
  v.chordNames = names;
}

void Replay::countIn(int steps, int first) {
  countIn_ = steps;
  variables_->replayPosition = first - steps;
  variables_->replayStep = 1;
}

void Replay::stop() {
  countIn_ = 0;
  variables_->replayStep = 1;
  variables_->replayPosition = 0;
  variables_->replayStarted = false;
}

std::pair<std::array<int, 5>, std::array<std::string, 5>> chordOfLines(const std::string& buttons,
                                                                      const std::string& names) {
  std::array<int, 5> numbers{};
  std::array<std::string, 5> fields;
  const auto nameFields = nameLineFields(names);
  for (std::size_t k = 1; k <= 4; ++k) {
    numbers[k] = leadingNumber(mid(buttons, 3 * k - 2, 2));
    fields[k] = nameFields[k - 1];
  }
  return {numbers, fields};
}

}  // namespace tastrello
