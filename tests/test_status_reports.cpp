// The status line's problems: the latest shown, the last ones kept for the tool tip in order,
// a huge one cut, a file's many problems said as a few and how many more; and the message on
// show said again in another language.
#include <gtest/gtest.h>

#include "shell/status_reports.h"

using namespace tastrello;

class StatusReportTest : public ::testing::Test {
 protected:
  /// The tool tip the kept problems must give: the last ones, oldest first, a line each.
  static std::string expectedTip(int from, int to) {
    std::string tip;
    for (int i = from; i < to; ++i) tip += (tip.empty() ? "" : "\n") + problem(i);
    return tip;
  }
  static std::string problem(int i) { return "problem " + std::to_string(i); }

  StatusReports status;
};

TEST_F(StatusReportTest, TheToolTipHoldsTheLatestProblemsInOrderAfterAnyNumber) {
  const int kept = int(StatusReports::kProblemsKept);
  int reported = 0;
  for (int total : {1, kept - 1, kept, kept + 1, 3 * kept + 7}) {
    while (reported < total) status.report(problem(reported++));
    EXPECT_EQ(status.view().lineTip, expectedTip(std::max(0, total - kept), total)) << total;
    EXPECT_EQ(status.view().line, problem(total - 1));
    EXPECT_EQ(status.problemCount(), total);
  }
  // Problems of many lines each are kept and cut as wholes too.
  for (int i = 0; i < kept + 3; ++i) status.report("two\nlines " + std::to_string(i));
  EXPECT_EQ(status.view().lineTip.rfind("two\nlines 3\n", 0), 0u) << status.view().lineTip;
}

TEST_F(StatusReportTest, AProblemQuotingAHugeLineIsCutInTheLineAndTheToolTip) {
  status.report("unknown key \"" + std::string(10'000'000, 'K') + "\"");
  EXPECT_EQ(status.view().line.size(), StatusReports::kLongestProblem);
  EXPECT_EQ(status.view().line.back(), '\x85');  // the ellipsis of Windows-1252
  EXPECT_LT(status.view().lineTip.size(), StatusReports::kLongestProblem * StatusReports::kProblemsKept);
  status.report("short");
  EXPECT_EQ(status.view().line, "short");
}

TEST_F(StatusReportTest, AProblemAsLongAsTheLongestKeptIsShownWholeAndOneMoreIsCut) {
  const std::string longest(StatusReports::kLongestProblem, 'L');
  status.report(longest);
  EXPECT_EQ(status.view().line, longest);
  EXPECT_EQ(status.view().lineTip, longest);
  status.report(longest + "M");
  EXPECT_EQ(status.view().line, longest.substr(1) + '\x85');
}

TEST_F(StatusReportTest, AFilesManyProblemsAreAFewAndHowManyMore) {
  for (std::size_t count : {std::size_t(0), StatusReports::kReportsPerFile,
                            StatusReports::kReportsPerFile + 1, std::size_t(2000)}) {
    const int before = status.problemCount();
    std::size_t asked = 0;
    status.reportFew("Data/x.txt", count, [&](std::size_t i) {
      ++asked;
      return problem(int(i));
    });
    const std::size_t shown = std::min(count, StatusReports::kReportsPerFile);
    EXPECT_EQ(asked, shown) << "texts beyond those shown were made";
    EXPECT_EQ(status.problemCount() - before, int(shown + (count > shown ? 1 : 0)));
    if (count > shown) {
      EXPECT_EQ(status.view().line,
                status.say(Text::MsgMoreProblems, {"Data/x.txt", std::to_string(count - shown)}));
    }
  }
}

TEST_F(StatusReportTest, TheCounterAppearsWithTheSecondProblemAndAConfirmationCountsNothing) {
  status.inform("saved");
  status.report("one");
  EXPECT_EQ(status.view().count, "");
  EXPECT_EQ(status.view().countTip, status.say(Text::TipStatus) + ":\none");
  status.inform("saved again");
  status.report("two");
  EXPECT_EQ(status.problemCount(), 2);
  EXPECT_EQ(status.view().count, status.say(Text::MsgMessages, {"2"}));
  EXPECT_EQ(status.problems(), (std::vector<std::string>{"one", "two"}));
}

class StatusLanguageTest : public StatusReportTest {};

TEST_F(StatusLanguageTest, AMessageIsSaidAgainWithTheTextsItQuotesNamesStayAsTheyWere) {
  const std::string why = status.say(Text::WhyUnreadable);
  status.report(status.say(Text::MsgRecordRefused, {"Records_Jodler.txt", why}));
  status.useLanguage(UiLanguage::English);
  status.sayAgain(*this);
  EXPECT_EQ(status.view().line,
            uiText(UiLanguage::English, Text::MsgRecordRefused,
                   {"Records_Jodler.txt", uiText(UiLanguage::English, Text::WhyUnreadable)}));
  // The counter and its tip follow the language too.
  status.report("another");
  EXPECT_EQ(status.view().count, uiText(UiLanguage::English, Text::MsgMessages, {"2"}));
}

namespace {

/// A window as far as its status line knows one: a caption that changes with the language.
struct Window {
  StatusReports status;
  std::string caption = "Abspielen";
};

std::string quoteCaption(const Window& w) {
  return w.status.say(Text::MsgMessages, {w.caption});
}

}  // namespace

TEST_F(StatusLanguageTest, AMessageMadeByItsMakerIsMadeAgainByItFromTheWindowAsItIsThen) {
  Window window;
  window.status.informAgain(window, quoteCaption);
  EXPECT_EQ(window.status.view().line, uiText(UiLanguage::German, Text::MsgMessages, {"Abspielen"}));
  // A copy of the window keeps nothing of the first: its maker reads the copy.
  Window copy = window;
  copy.caption = "Play";
  copy.status.useLanguage(UiLanguage::English);
  copy.status.sayAgain(copy);
  EXPECT_EQ(copy.status.view().line, uiText(UiLanguage::English, Text::MsgMessages, {"Play"}));
  copy.caption = "Tocar";
  copy.status.useLanguage(UiLanguage::Spanish);
  copy.status.sayAgain(copy);  // said again, and again makeable
  EXPECT_EQ(copy.status.view().line, uiText(UiLanguage::Spanish, Text::MsgMessages, {"Tocar"}));
}

TEST_F(StatusLanguageTest, ATextNotMadeFromTheTableStaysAsItIs) {
  status.inform("Records_Demo.txt");
  status.useLanguage(UiLanguage::Spanish);
  status.sayAgain(*this);
  EXPECT_EQ(status.view().line, "Records_Demo.txt");
  // Nor is a message said again once another has replaced it.
  status.inform(status.say(Text::WhyUnreadable));
  status.inform("plain");
  status.useLanguage(UiLanguage::German);
  status.sayAgain(*this);
  EXPECT_EQ(status.view().line, "plain");
}
