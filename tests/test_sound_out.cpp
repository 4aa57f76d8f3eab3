// Sound out on its own, against the recording port: what reaches the device, in which order,
// at which moment, and what never does.
#include <gtest/gtest.h>

#include "fakes.h"
#include "sound/sound_out.h"

using namespace tastrello;
using namespace tastrello::testing;

class SoundOutTest : public ::testing::Test {
 protected:
  FakePort port;
  std::uint32_t handle = 0;
  std::vector<int> errors;
  SoundOut sound{port, handle, [this](int code) { errors.push_back(code); }};

  void SetUp() override { ASSERT_TRUE(sound.open(-1)); }
};

TEST_F(SoundOutTest, ANoteIsItsInstrumentThenItsNoteOnAndANoteOffLetsItGo) {
  sound.note(22, 60);
  sound.noteOff(60);
  sound.note(1, 127);
  EXPECT_EQ(port.log, (std::vector<std::string>{"OPEN", "000015C0", "00633C90", "00003C80",
                                                "000000C0", "00637F90"}));
  EXPECT_TRUE(errors.empty());
}

TEST_F(SoundOutTest, ADataByteOutsideMidiIsNeverSentAndSaysWhichByte) {
  for (auto [instrument, pitch] : {std::pair{22, 128}, {22, -1}, {129, 60}, {0, 60}}) {
    port.clearLog();
    errors.clear();
    sound.note(instrument, pitch);
    EXPECT_EQ(port.invalidDataBytes, 0);
    ASSERT_FALSE(errors.empty()) << instrument << " " << pitch;
    EXPECT_EQ(errors.back(), kErrDataByte);
    EXPECT_EQ(sound.refusedByte(), pitch < 0 || pitch > 127 ? pitch : instrument - 1);
  }
}

TEST_F(SoundOutTest, AClickLetsTheClickBeforeItGoAndAResetForgetsNothingItMustNot) {
  sound.click(true);
  sound.click(false);
  sound.reset();
  sound.forgetClick();  // the reset ended it: no note-off for a click the device lost
  sound.click(false);
  EXPECT_EQ(port.log, (std::vector<std::string>{"OPEN", "007F4C99", "00004C89", "005A4D99",
                                                "CLOSE", "OPEN", "005A4D99"}));
}

TEST_F(SoundOutTest, MessagesAndTheResetGoOutAtTheMomentInForce) {
  sound.soundAt(12.5);
  sound.note(22, 60);
  sound.reset();
  sound.soundAt(kAtOnce);
  sound.note(22, 62);
  EXPECT_EQ(port.times, (std::vector<SoundTime>{12.5, 12.5, kAtOnce, kAtOnce}));
  EXPECT_EQ(port.closeTimes, (std::vector<SoundTime>{12.5}));
}

TEST_F(SoundOutTest, AFailedOpenLeavesNoHandleAndEveryMessageSaysSo) {
  port.failOpen = true;
  EXPECT_FALSE(sound.open(-1));
  EXPECT_EQ(handle, 0u);
  errors.clear();
  sound.note(22, 60);
  EXPECT_EQ(errors, (std::vector<int>{FakePort::kInvalidHandle, FakePort::kInvalidHandle}));
  sound.close();  // nothing open: no call, no error
  EXPECT_EQ(errors.size(), 2u);
}

TEST_F(SoundOutTest, TheLeftHandsChannelsGetTheirReedsBeforeTheFirstNoteAndAgainAfterAReset) {
  sound.bassNote(false, 36);
  sound.bassNote(true, 48);
  sound.bassNoteOff(false, 36);
  // Bank 1 on channels 2 and 3, the Helikon bass (58) and the chord reeds (21), then the notes.
  EXPECT_EQ(port.log, (std::vector<std::string>{"OPEN", "000100B1", "00003AC1", "000100B2",
                                                "000015C2", "00632491", "00633092", "00002481"}));
  port.clearLog();
  sound.reset();  // the device opened afresh has forgotten them
  sound.bassNote(true, 52);
  EXPECT_EQ(port.log, (std::vector<std::string>{"CLOSE", "OPEN", "000100B1", "00003AC1",
                                                "000100B2", "000015C2", "00633492"}));
  EXPECT_TRUE(errors.empty());
}
