// The window on a real X server (its own Xvfb, with the server's key auto-repeat on): keys held
// down by the X test extension sound once however long they are held, also with the bellows
// key held, whatever the server sends for its repeats.
#include <gtest/gtest.h>

#include <QTest>
#include <cstdlib>
#include <string>

#include "test_support.h"
#include "x11_harness.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

/// Runs xdotool against the test's server; false when it is not there or fails.
bool xdotool(const std::string& arguments) {
  const std::string command = "DISPLAY=" + xServer->display + " xdotool " + arguments;
  return std::system(command.c_str()) == 0;
}

}  // namespace

class HeldKeyTest : public FormTest {
 protected:
  void SetUp() override {
    if (xServer->display.empty()) GTEST_SKIP() << xServer->why;
    if (std::system("command -v xdotool >/dev/null") != 0)
      GTEST_SKIP() << "xdotool is not installed";
    FormTest::SetUp();
    view = std::make_unique<MainView>(form);
    view->show();
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get(), 10000));
    port.clearLog();
  }
  /// Note-ons sent for a note.
  int strikes(int note) const {
    char word[9];
    std::snprintf(word, sizeof word, "00%02X%02X90", 0x63, note);  // velocity 99
    int n = 0;
    for (const auto& line : port.log) n += line == word;
    return n;
  }
  /// Presses the keys in order, holds them, lets them go in the order given.
  void hold(const std::string& down, int milliseconds, const std::string& up) {
    ASSERT_TRUE(xdotool("keydown " + down));
    QTest::qWait(milliseconds);  // the hold itself, long past the server's repeat delay
    ASSERT_TRUE(xdotool("keyup " + up));
    ASSERT_TRUE(QTest::qWaitFor([this] { return form.hands.keysDown.empty(); }, 5000));
  }
  std::unique_ptr<MainView> view;
};

TEST_F(HeldKeyTest, AKeyHeldForSecondsSoundsOnce) {
  hold("a", 2500, "a");
  EXPECT_EQ(strikes(*form.keyNote(0)), 1) << "the held key struck again";
  EXPECT_EQ(form.Keys[0].backColor, form.keyIdleColor);
}

TEST_F(HeldKeyTest, AKeyHeldWithTheBellowsHeldSoundsOnceAndTheBellowsStay) {
  hold("space a", 2500, "a space");
  EXPECT_EQ(strikes(*form.keyNote(34)), 1) << "the held key struck again while pushing";
  EXPECT_EQ(strikes(*form.keyNote(0)), 0) << "the bellows flipped back to pull on a repeat";
  EXPECT_FALSE(form.hands.keys.pushing());
}

int main(int argc, char** argv) {
  XServer x;
  xServer = &x;
  prepareX(x);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
