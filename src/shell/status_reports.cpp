#include "shell/status_reports.h"

#include <algorithm>

namespace tastrello {

namespace {

constexpr std::size_t kSaidKept = 32;  // a message and what it quotes, with room to spare

}  // namespace

std::string StatusReports::say(Text id, std::vector<std::string> args) const {
  std::string text = uiText(language_, id, args);
  if (lastSaid_.size() == kSaidKept) lastSaid_.pop_front();
  lastSaid_.push_back({id, std::move(args), text});
  return text;
}

std::optional<StatusReports::Said> StatusReports::madeOf(const std::string& text) const {
  for (auto it = lastSaid_.rbegin(); it != lastSaid_.rend(); ++it)
    if (it->text == text) return *it;
  return std::nullopt;
}

void StatusReports::report(const std::string& text) {
  ++problemCount_;
  // A problem quoting a huge line of a file would make every later report slow to show.
  const std::string kept =
      text.size() > kLongestProblem ? text.substr(0, kLongestProblem - 1) + "\x85" : text;
  show(kept);
  // The line shows the latest; resting the pointer on it shows all that are kept. The list is
  // extended at its end and cut at its front, never rebuilt, so a report costs the same
  // however many came before.
  std::string& tip = view_.lineTip;
  if (problems_.size() == kProblemsKept) {
    tip.erase(0, problems_.front().size() + 1);  // the oldest and the line end after it
    problems_.erase(problems_.begin());
  }
  if (!tip.empty()) tip += '\n';
  tip += kept;
  problems_.push_back(kept);
  if (display_.lineTip) *display_.lineTip = tip;
  showCount();
}

void StatusReports::reportFew(const std::string& file, std::size_t count,
                           const std::function<std::string(std::size_t)>& text) {
  const std::size_t shown = std::min(count, kReportsPerFile);
  for (std::size_t i = 0; i < shown; ++i) report(text(i));
  if (count > shown) report(say(Text::MsgMoreProblems, {file, std::to_string(count - shown)}));
}

void StatusReports::inform(const std::string& text) {
  show(text);
}

void StatusReports::useLanguage(UiLanguage language) {
  language_ = language;
  showCount();
}

void StatusReports::sayAgainFrom(const void* window) {
  const Recipe recipe = recipe_;
  if (recipe.shown != onShow()) return;  // set some other way since
  if (recipe.make) {
    inform(recipe.call(recipe.make, window));
    recipe_.make = recipe.make;
    recipe_.call = recipe.call;
  } else if (recipe.message) {
    std::vector<std::string> args = recipe.message->args;
    for (std::size_t i = 0; i < args.size(); ++i)
      if (const auto& quoted = recipe.quoted[i]) args[i] = say(quoted->id, quoted->args);
    show(say(recipe.message->id, std::move(args)));
  }
}

void StatusReports::show(const std::string& text) {
  view_.line = text;
  if (display_.line) *display_.line = text;
  // How the message was made is looked up the moment it is shown, just after it was said.
  recipe_ = {text, nullptr, nullptr, madeOf(text), {}};
  if (recipe_.message)
    for (const auto& arg : recipe_.message->args) recipe_.quoted.push_back(madeOf(arg));
}

void StatusReports::showCount() {
  view_.count =
      problemCount_ > 1 ? say(Text::MsgMessages, {std::to_string(problemCount_)}) : std::string();
  view_.countTip = view_.lineTip.empty() ? std::string() : say(Text::TipStatus) + ":\n" + view_.lineTip;
  if (display_.count) *display_.count = view_.count;
  if (display_.countTip) *display_.countTip = view_.countTip;
}

}  // namespace tastrello
