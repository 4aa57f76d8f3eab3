// The status line's problems: the latest shown, the last ones kept for the tool tip in order,
// a huge one cut, and a file's many problems said as a few and how many more.
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class StatusReportTest : public FormTest {
 protected:
  /// The tool tip the kept problems must give: the last ones, oldest first, a line each.
  static std::string expectedTip(int from, int to) {
    std::string tip;
    for (int i = from; i < to; ++i) tip += (tip.empty() ? "" : "\n") + problem(i);
    return tip;
  }
  static std::string problem(int i) { return "problem " + std::to_string(i); }
};

TEST_F(StatusReportTest, TheToolTipHoldsTheLatestProblemsInOrderAfterAnyNumber) {
  form = Form1({&port, &files, nullptr, &clock});  // not started: no problem of its own yet
  const int kept = int(Form1::kProblemsKept);
  int reported = 0;
  for (int total : {1, kept - 1, kept, kept + 1, 3 * kept + 7}) {
    while (reported < total) form.report(problem(reported++));
    EXPECT_EQ(form.StatusLine.toolTip, expectedTip(std::max(0, total - kept), total)) << total;
    EXPECT_EQ(form.StatusLine.caption, problem(total - 1));
    EXPECT_EQ(form.problemCount, total);
  }
  // Problems of many lines each are kept and cut as wholes too.
  for (int i = 0; i < kept + 3; ++i) form.report("two\nlines " + std::to_string(i));
  EXPECT_EQ(form.StatusLine.toolTip.rfind("two\nlines 3\n", 0), 0u) << form.StatusLine.toolTip;
}

TEST_F(StatusReportTest, AProblemQuotingAHugeLineIsCutInTheLineAndTheToolTip) {
  form.report("unknown key \"" + std::string(10'000'000, 'K') + "\"");
  EXPECT_EQ(form.StatusLine.caption.size(), Form1::kLongestProblem);
  EXPECT_EQ(form.StatusLine.caption.back(), '\x85');  // the ellipsis of Windows-1252
  EXPECT_LT(form.StatusLine.toolTip.size(), Form1::kLongestProblem * Form1::kProblemsKept);
  form.report("short");
  EXPECT_EQ(form.StatusLine.caption, "short");
}

TEST_F(StatusReportTest, AProblemAsLongAsTheLongestKeptIsShownWholeAndOneMoreIsCut) {
  const std::string longest(Form1::kLongestProblem, 'L');
  form.report(longest);
  EXPECT_EQ(form.StatusLine.caption, longest);
  EXPECT_EQ(form.problems.back(), longest);
  form.report(longest + "M");
  EXPECT_EQ(form.StatusLine.caption, longest.substr(1) + '\x85');
}

TEST_F(StatusReportTest, AFilesManyProblemsAreAFewAndHowManyMore) {
  for (std::size_t count : {std::size_t(0), Form1::kReportsPerFile, Form1::kReportsPerFile + 1,
                            std::size_t(2000)}) {
    const int before = form.problemCount;
    std::size_t asked = 0;
    form.reportFew("Data/x.txt", count, [&](std::size_t i) {
      ++asked;
      return problem(int(i));
    });
    const std::size_t shown = std::min(count, Form1::kReportsPerFile);
    EXPECT_EQ(asked, shown) << "texts beyond those shown were made";
    EXPECT_EQ(form.problemCount - before, int(shown + (count > shown ? 1 : 0)));
    if (count > shown) {
      EXPECT_EQ(form.StatusLine.caption,
                form.say(Text::MsgMoreProblems, {"Data/x.txt", std::to_string(count - shown)}));
    }
  }
}
