#include "practice/practice_session.h"

#include <algorithm>
#include <cmath>

#include "practice/practice_hands.h"
#include "sound/buttons.h"
#include "sound/layout_format.h"

namespace tastrello {

namespace {

bool isWrong(Verdict verdict) {
  return verdict == Verdict::WrongButton || verdict == Verdict::WrongDirection;
}

}  // namespace

void PracticeSession::beginPass(int first, double now, double latencySeconds) {
  PracticeState& s = *state_;
  s.passOpen = true;
  s.passFirst = first;
  s.judge = PlayAlongJudge(s.windowMs, latencySeconds + s.offsetSeconds);
  // What was played while replay counted in reaches the judge as it came: a chord played just
  // before the first one's moment counts for it, however soon it was let go.
  for (const auto& [at, held] : std::exchange(s.heldBeforePass, {})) s.judge.held(at, held);
  s.verdicts.clear();
  s.passStarted = now;
  s.pass = PassCounter();
}

std::optional<PassRecord> PracticeSession::finishPass(double now, int last,
                                                      const std::string& when) {
  PracticeState& s = *state_;
  if (!s.passOpen) return std::nullopt;
  s.passOpen = false;
  // The file keeps tenths of a second; so does what is shown.
  s.pass.finish(std::round((now - s.passStarted) * 10) / 10);
  const int first = std::clamp(s.passFirst, 1, std::max(1, last));
  const PassRecord pass{when, s.tempo, first, last, s.pass.score()};
  s.history.passes.push_back(pass);
  s.lastPass = pass;
  return pass;
}

bool PracticeSession::waitFor(const std::vector<int>& buttons) {
  PracticeState& s = *state_;
  s.wanted.clear();
  for (int button : buttons)
    if (isPracticeButton(button)) s.wanted.push_back(button);
  s.clicked.clear();
  s.waiting = !s.wanted.empty();
  if (s.waiting && s.passOpen) s.pass.beginEvent();
  return s.waiting;
}

PracticeTry PracticeSession::held(const std::vector<int>& buttons, bool pressed) {
  PracticeState& s = *state_;
  std::vector<std::pair<int, Verdict>> colours;
  for (int button : buttons) colours.emplace_back(button, judgeButton(s.wanted, button));
  return take(judgeButtons(s.wanted, buttons), std::move(colours), buttons,
              pressed || s.correcting);
}

PracticeTry PracticeSession::heldPitches(const std::vector<int>& wantedPitches,
                                         const std::vector<int>& pitches,
                                         const std::vector<int>& buttons,
                                         std::optional<bool> controllerPush, bool pressed) {
  PracticeState& s = *state_;
  if (s.wanted.empty()) return {};  // nothing waited for
  const bool push = isPushButton(s.wanted.front());
  const Verdict verdict = judgePitches(wantedPitches, push, pitches, controllerPush);
  std::vector<std::pair<int, Verdict>> colours;
  std::vector<int> held;
  for (std::size_t i = 0; i < pitches.size() && i < buttons.size(); ++i) {
    if (buttons[i] < 0) continue;
    held.push_back(buttons[i]);
    const bool wantedPitch = std::find(wantedPitches.begin(), wantedPitches.end(), pitches[i]) !=
                             wantedPitches.end();
    colours.emplace_back(buttons[i], verdict == Verdict::WrongDirection
                                         ? Verdict::WrongDirection
                                         : (wantedPitch ? Verdict::Right : Verdict::WrongButton));
  }
  return take(verdict, std::move(colours), held, pressed || s.correcting);
}

PracticeTry PracticeSession::clicked(int button) {
  PracticeState& s = *state_;
  if (std::find(s.clicked.begin(), s.clicked.end(), button) == s.clicked.end())
    s.clicked.push_back(button);
  const std::vector<int> held = s.clicked;
  std::vector<std::pair<int, Verdict>> colours;
  for (int b : held) colours.emplace_back(b, judgeButton(s.wanted, b));
  const Verdict verdict = judgeButtons(s.wanted, held);
  // The mouse holds nothing: a wrong try ends with the click, the next click starts anew.
  if (isWrong(verdict)) s.clicked.clear();
  return take(verdict, std::move(colours), held, true);
}

PracticeTry PracticeSession::take(Verdict verdict, std::vector<std::pair<int, Verdict>> colours,
                                  const std::vector<int>& held, bool counts) {
  PracticeState& s = *state_;
  PracticeTry result;
  result.colours = std::move(colours);
  if (!counts) return result;
  result.verdict = verdict;
  s.pass.judged(verdict);
  s.correcting = isWrong(verdict);
  if (!isWrong(verdict)) return result;
  for (int button : held)
    if (judgeButton(s.wanted, button) != Verdict::Right) result.wrong.push_back(button);
  if (result.wrong.empty()) result.wrong = held;
  return result;
}

void PracticeSession::chordPlayed() {
  state_->waiting = false;
  state_->correcting = false;
  state_->clicked.clear();
}

void PracticeSession::drop() {
  state_->passOpen = false;
  state_->waiting = false;
  state_->correcting = false;
  state_->clicked.clear();
}

}  // namespace tastrello
