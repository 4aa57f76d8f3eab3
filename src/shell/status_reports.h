// The status line: the program's one place for what it has to tell the learner. A problem is
// shown and kept (the line's tip lists the latest, a counter says how many since start); a
// confirmation is shown and not kept. The texts are said in the language in force, and the
// message on show is said again when the language changes.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "shell/ui_texts.h"

namespace tastrello {

class StatusReports {
 public:
  /// The bytes of a problem shown and kept: a problem quoting a huge line is cut.
  static constexpr std::size_t kLongestProblem = 400;
  static constexpr std::size_t kProblemsKept = 50;
  /// A damaged file reports this many problems one by one, and the rest as one.
  static constexpr std::size_t kReportsPerFile = 10;

  /// What the line shows: the message, every problem kept (oldest first, a line each), and the
  /// counter with its tip. The window copies these onto its two labels.
  struct View {
    std::string line;
    std::string lineTip;
    std::string count;
    std::string countTip;
    bool operator==(const View&) const = default;
  };

  /// Where the window shows the line: its labels' captions and tips, written on every change.
  /// The window gives its own labels each time it uses the line, so a copy of the window shows
  /// on its own labels.
  struct Display {
    std::string* line = nullptr;
    std::string* lineTip = nullptr;
    std::string* count = nullptr;
    std::string* countTip = nullptr;
  };
  void showOn(const Display& display) { display_ = display; }

  /// One of the program's own texts in the language in force. It is kept a while with what it
  /// was made of, so that a message shown just after can be said again in another language.
  std::string say(Text id, std::vector<std::string> args = {}) const;
  std::string say(Text id, std::initializer_list<std::string> args) const {
    return say(id, std::vector<std::string>(args));
  }

  /// Shows a problem and keeps it with the others met since start.
  void report(const std::string& text);
  /// Reports the first kReportsPerFile of `count` problems of one file one by one (`text` gives
  /// the i-th) and the rest as one "and N more": a damaged file costs a few lines.
  void reportFew(const std::string& file, std::size_t count,
                 const std::function<std::string(std::size_t)>& text);
  /// Shows a confirmation; it is no problem and is not kept.
  void inform(const std::string& text);
  /// Shows a confirmation made by `make` from the window, made again from it when the language
  /// changes while it is on show (for messages that quote captions, which change with the
  /// language too). The maker is a plain function: it keeps nothing of the window it was given.
  template <class Window>
  void informAgain(const Window& window, std::string (*make)(const Window&)) {
    inform(make(window));
    recipe_.make = reinterpret_cast<Maker>(make);
    recipe_.call = [](Maker maker, const void* from) {
      return reinterpret_cast<std::string (*)(const Window&)>(maker)(*static_cast<const Window*>(from));
    };
  }

  /// The language the texts are said in from now on.
  void useLanguage(UiLanguage language);
  UiLanguage language() const { return language_; }
  /// Says the message on show again in the language in force: made again by its maker from
  /// `window`, or the table's text with the texts it quotes made again (names and numbers stay
  /// as they were). Nothing when the message was not made here.
  template <class Window>
  void sayAgain(const Window& window) {
    sayAgainFrom(&window);
  }

  int problemCount() const { return problemCount_; }
  const std::vector<std::string>& problems() const { return problems_; }
  const View& view() const { return view_; }

 private:
  struct Said {
    Text id;
    std::vector<std::string> args;
    std::string text;
  };
  using Maker = void (*)();
  /// How the message on show was made, to make it again in another language.
  struct Recipe {
    std::string shown;
    Maker make = nullptr;  ///< the maker, its type restored by `call`
    std::string (*call)(Maker, const void* window) = nullptr;
    std::optional<Said> message;
    std::vector<std::optional<Said>> quoted;  ///< for each argument, how it was said, if so
  };

  std::optional<Said> madeOf(const std::string& text) const;
  void sayAgainFrom(const void* window);
  void show(const std::string& text);
  void showCount();
  /// The message on show: the window's label's (something else may have been put there since).
  const std::string& onShow() const { return display_.line ? *display_.line : view_.line; }

  UiLanguage language_ = UiLanguage::German;
  mutable std::deque<Said> lastSaid_;
  Recipe recipe_;
  std::vector<std::string> problems_;  ///< the latest problems, oldest first
  int problemCount_ = 0;               ///< problems met since start
  View view_;
  Display display_;
};

}  // namespace tastrello
