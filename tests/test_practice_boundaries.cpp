// Practice from a MIDI instrument at the edges of the two bellows blocks: the pitches of every
// button count only in that button's own direction when the instrument says the bellows.
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class PracticeDirectionTest : public FormTest {
 protected:
  void pitch(int number, bool on) {
    form.MidiIn_Message((on ? 0x90u : 0x80u) | unsigned(number) << 8 | (on ? 100u : 0u) << 16);
  }
  void bellows(bool push) { form.MidiIn_Message(0xB0u | 2u << 8 | (push ? 127u : 0u) << 16); }
};

TEST_F(PracticeDirectionTest, EveryButtonsPitchIsRightOnlyInItsOwnBellowsDirection) {
  std::vector<std::string> events;
  std::vector<int> buttons;
  for (int b = 0; b < kKeyCount; ++b) {
    if (!form.keyNote(b)) continue;
    buttons.push_back(b);
    events.push_back(right("0" + std::to_string(b), 2) + "/");
  }
  ASSERT_GT(buttons.size(), 60u);
  loadEvents(events);
  form.hands.bellowsController = 2;
  form.clickToggle(form.Practice);
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const int b = buttons[i];
    const bool push = b >= kButtonsPerBlock;
    ASSERT_EQ(form.currentEvent(), int(i) + 1) << "button " << b;
    bellows(!push);
    pitch(*form.keyNote(b), true);
    EXPECT_EQ(form.currentEvent(), int(i) + 1) << "button " << b << " taken in the other direction";
    pitch(*form.keyNote(b), false);
    bellows(push);
    pitch(*form.keyNote(b), true);
    pitch(*form.keyNote(b), false);
    if (i + 1 < buttons.size()) {
      EXPECT_EQ(form.currentEvent(), int(i) + 2) << "button " << b << " refused in its direction";
    }
  }
  ASSERT_FALSE(form.practice.history.passes.empty());
  const PassScore& score = form.practice.history.passes.back().score;
  EXPECT_EQ(score.wrongDirections, int(buttons.size()));
  EXPECT_EQ(score.wrongButtons, 0);
}
