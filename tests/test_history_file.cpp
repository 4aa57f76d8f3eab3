// The practice history as a file: its numbers the same on every desktop, the forms earlier
// versions wrote read back, and appending that never loses what was there.
#include <clocale>
#include <random>

#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr const char* kHistory = "Records/Practice_Records_T.txt";

PassRecord passOf(double seconds) {
  return {"2026-12-08 19:40", 20, 1, 2, {2, 1, 1, 0, seconds}};
}

/// The seconds a line's "seconds=" field reads back as; nothing when the line is refused.
std::optional<double> secondsRead(const std::string& field) {
  std::vector<int> damaged;
  const History h = parseHistory(
      "PASS;2026-12-08 19:40;tempo=20;section=1-2;events=2;first=1;buttons=1;directions=0;"
      "seconds=" +
          field,
      damaged);
  if (h.passes.empty()) return std::nullopt;
  return h.passes[0].score.seconds;
}

/// Switches the C library's numbers to a German desktop's for as long as it lives.
class GermanNumbers {
 public:
  GermanNumbers() : before_(std::setlocale(LC_NUMERIC, nullptr)) {
    active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  }
  ~GermanNumbers() { std::setlocale(LC_NUMERIC, before_.c_str()); }
  bool active() const { return active_; }

 private:
  std::string before_;
  bool active_ = false;
};

}  // namespace

TEST(HistoryNumbersTest, TheTimeIsWrittenWithAPointWhateverTheDesktopsLanguage) {
  GermanNumbers german;
  if (!german.active()) GTEST_SKIP() << "the locale de_DE.UTF-8 is missing (scripts/setup makes it)";
  const std::string line = formatPass(passOf(34.5));
  EXPECT_NE(line.find(";seconds=34.5"), std::string::npos) << line;
  EXPECT_EQ(secondsRead("34.5"), 34.5);
}

TEST(HistoryNumbersTest, TheFormsEarlierVersionsWroteAreRead) {
  EXPECT_EQ(secondsRead("34.5"), 34.5);
  EXPECT_EQ(secondsRead("34,5"), 34.5);  // 1.3 on a German or Spanish desktop
  EXPECT_EQ(secondsRead("34"), 34.0);
  EXPECT_EQ(secondsRead("0.0"), 0.0);
  EXPECT_EQ(secondsRead("34.56"), 34.6);  // more digits are rounded to the tenth kept
  EXPECT_EQ(secondsRead("34.04"), 34.0);
  EXPECT_EQ(secondsRead("9.96"), 10.0);
}

TEST(HistoryNumbersTest, ATimeThatIsNoNumberMakesTheLineDamaged) {
  for (const std::string field : {"", ".5", "34.", "34,", "34.x", "-1.0", "-0.5", "+3.0", "1e3",
                                  "3 4", "34,5,6", "34.5.6", "nan", "inf", "99999999999"})
    EXPECT_FALSE(secondsRead(field)) << field;
}

TEST(HistoryNumbersTest, EveryTimeWrittenReadsBackAsItWasShown) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> tenths(0, 10'000'000);
  for (int i = 0; i < 2000; ++i) {
    const double seconds = tenths(random) / 10.0;
    const std::string line = formatPass(passOf(seconds));
    std::vector<int> damaged;
    const History h = parseHistory(line, damaged);
    ASSERT_EQ(h.passes.size(), 1u) << line;
    EXPECT_EQ(h.passes[0].score.seconds, seconds) << line;
  }
}

TEST(DecimalTextTest, DigitsAreRoundedAndPaddedWithoutTheCLibrary) {
  EXPECT_EQ(decimalText(34.5, 1), "34.5");
  EXPECT_EQ(decimalText(34.0, 1), "34.0");
  EXPECT_EQ(decimalText(0.04, 1), "0.0");
  EXPECT_EQ(decimalText(2.25, 1), "2.3");  // half away from zero
  EXPECT_EQ(decimalText(1.05, 2), "1.05");
  EXPECT_EQ(decimalText(1.005, 3, ','), "1,005");
  EXPECT_EQ(decimalText(-0.25, 1), "-0.3");
  EXPECT_EQ(decimalText(11.65, 0), "12");
  EXPECT_EQ(decimalText(std::nan(""), 1), "-");
}

// ---- Appending a pass in the window object

class HistoryAppendTest : public FormTest {
 protected:
  const std::string oldPass =
      "PASS;2026-12-01 10:00;tempo=20;section=1-2;events=2;first=2;buttons=0;directions=0;"
      "seconds=9.0\r\n";

  void loadRecord() { loadEvents({"44/", "47/"}); }
  /// Plays one clean pass of the two-chord record from the keyboard.
  void playPass() {
    if (!form.Timer1.enabled) {
      if (form.Practice.value == 0) form.clickToggle(form.Practice);
      form.PlayStop_Click();
      form.Timer1_Timer();
      form.Timer1_Timer();
    }
    for (int button : {44, 47}) {
      form.handKeyDown(form.hands.keyMap.bellows);
      form.handKeyDown(keyFor(button));
      form.releaseHands();
    }
  }
  std::string keyFor(int button) {
    for (const auto& [key, position] : form.hands.keyMap.positions)
      if (position == button % kButtonsPerBlock) return key;
    return {};
  }
  /// The history's pass lines, read past the store (which may refuse to read it).
  std::vector<std::string> passLines() {
    std::vector<std::string> out;
    for (const auto& line : splitLines(files.files[kHistory]))
      if (line.rfind("PASS;", 0) == 0) out.push_back(line);
    return out;
  }
};

TEST_F(HistoryAppendTest, AHistoryThatCannotBeReadIsSaidAndKeptWithTheNewPassAtItsEnd) {
  files.files[kHistory] = oldPass;
  files.unreadable[kHistory] = "no permission";
  loadRecord();
  EXPECT_NE(form.StatusLine.toolTip.find(form.say(
                Text::MsgHistoryUnread, {"Practice_Records_T.txt", "no permission"})),
            std::string::npos)
      << form.StatusLine.toolTip;
  playPass();
  EXPECT_EQ(files.files[kHistory].substr(0, oldPass.size()), oldPass) << "the old pass was lost";
  EXPECT_EQ(passLines().size(), 2u);
}

TEST_F(HistoryAppendTest, AHistoryTooLargeToReadIsKeptWhole) {
  std::string large;
  while (large.size() <= kLargestHistory) large += oldPass;
  files.files[kHistory] = large;
  loadRecord();
  EXPECT_NE(form.StatusLine.toolTip.find("16 MB"), std::string::npos) << form.StatusLine.toolTip;
  EXPECT_TRUE(form.practice.history.passes.empty());
  playPass();
  const std::string& now = files.files[kHistory];
  EXPECT_EQ(now.size(), large.size() + passLines().back().size() + 2);
  EXPECT_EQ(now.compare(0, large.size(), large), 0);
}

TEST_F(HistoryAppendTest, APassThatCannotBeWrittenIsKeptAndGoesOutWithTheNext) {
  files.files[kHistory] = oldPass;
  loadRecord();
  files.failAppend = true;
  playPass();
  EXPECT_NE(form.StatusLine.caption.find("disk full"), std::string::npos) << form.StatusLine.caption;
  EXPECT_EQ(files.files[kHistory], oldPass);
  // Loaded again, the record still counts the pass that waits to be written.
  form.StopReplay_Click();
  loadRecord();
  EXPECT_EQ(form.practice.history.passes.size(), 2u);
  files.failAppend = false;
  playPass();
  const auto lines = passLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0] + "\r\n", oldPass);
  EXPECT_EQ(files.appendCount, 1) << "both waiting lines go out in one append";
  EXPECT_EQ(form.practice.history.passes.size(), 3u);
}

TEST_F(HistoryAppendTest, ADamagedHistoryCostsAFewReportsWhateverItsSize) {
  std::string bytes = oldPass;
  for (int i = 0; i < 5000; ++i) bytes += "junk " + std::to_string(i) + "\r\n";
  bytes += oldPass;
  files.files[kHistory] = bytes;
  const int before = form.status().problemCount();
  loadRecord();
  EXPECT_EQ(form.status().problemCount() - before, int(StatusReports::kReportsPerFile) + 1);
  EXPECT_EQ(form.StatusLine.caption,
            form.say(Text::MsgMoreProblems,
                     {"Practice_Records_T.txt", std::to_string(5000 - StatusReports::kReportsPerFile)}));
  EXPECT_EQ(form.practice.history.passes.size(), 2u);  // the good lines are read all the same
}
