#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class MidiTest : public ::testing::Test {
 protected:
  FakePort port;
  MemoryFiles files;
  Form1 form{{&port, &files, nullptr}};
};

TEST_F(MidiTest, PackedWordsFollowTheShortMessageLayout) {
  EXPECT_EQ(Form1::packdword(0, 21, 192), 0x000015C0);
  EXPECT_EQ(Form1::packdword(99, 60, 144), 0x00633C90);
}

TEST_F(MidiTest, PlaynoteSendsProgramChangeThenNoteOnEveryTime) {
  form.Midi_Out_Open(-1);
  form.instrumentNumber = 22;
  form.noteNumber = 60;
  form.playnote();
  form.playnote();
  EXPECT_EQ(port.log,
            (std::vector<std::string>{"OPEN", "000015C0", "00633C90", "000015C0", "00633C90"}));
}

TEST_F(MidiTest, InstrumentEndsMapToProgramsZeroAnd127) {
  form.Midi_Out_Open(-1);
  form.noteNumber = 60;
  form.instrumentNumber = 1;
  form.playnote();
  form.instrumentNumber = 128;
  form.playnote();
  EXPECT_EQ(port.log[1], "000000C0");
  EXPECT_EQ(port.log[3], "00007FC0");
}

TEST_F(MidiTest, OpenClosesFirstAndResetReopens) {
  EXPECT_TRUE(form.Midi_Out_Open(-1));
  EXPECT_TRUE(form.Midi_Out_Open(-1));
  form.Midi_Out_Reset();
  EXPECT_EQ(port.log, (std::vector<std::string>{"OPEN", "CLOSE", "OPEN", "CLOSE", "OPEN"}));
  EXPECT_NE(form.midiOutHandle, 0u);
}

TEST_F(MidiTest, CloseOnAClosedDeviceDoesNothing) {
  form.Midi_Out_close();
  EXPECT_TRUE(port.log.empty());
  EXPECT_TRUE(form.StatusLine.caption.empty());
}

TEST_F(MidiTest, FailedOpenReportsAndEverySendFailsVisibly) {
  port.failOpen = true;
  EXPECT_FALSE(form.Midi_Out_Open(-1));
  EXPECT_EQ(form.midiOutHandle, 0u);
  EXPECT_EQ(form.StatusLine.caption, "MIDI: error 7");
  form.playnote();
  EXPECT_EQ(form.midiErrorText, "error 5");
  EXPECT_EQ(port.log, std::vector<std::string>{"OPEN FAILED"});
  port.failOpen = false;
  form.Midi_Out_Reset();  // a later reset recovers
  EXPECT_NE(form.midiOutHandle, 0u);
}

TEST_F(MidiTest, NoteAbove127IsNeverSent) {
  form.Midi_Out_Open(-1);
  form.instrumentNumber = 22;
  form.noteNumber = 200;
  form.playnote();
  EXPECT_EQ(port.log, (std::vector<std::string>{"OPEN", "000015C0"}));
  EXPECT_NE(form.StatusLine.caption.find("200"), std::string::npos);
}

class OutputChoiceTest : public FormTest {
 protected:
  FakeOutputs outputs;
  void SetUp() override {
    files.loadShippedData();
    form = Form1({&port, &files, &outputs});
    form.Form_Load();
  }
};

TEST_F(OutputChoiceTest, TheStoredChoiceAndSoundFontTakeEffectBeforeTheFirstOpen) {
  form.midiOutSetting = "LOG:midi.log";
  form.soundFontSetting = "my.sf2";
  form.audioBufferSetting = "40";
  form.Form_Activate();
  EXPECT_EQ(outputs.log, (std::vector<std::string>{"buffer 1920", "font my.sf2",
                                                   "choose LOG:midi.log"}));
  EXPECT_EQ(port.log, std::vector<std::string>{"OPEN"});
}

TEST_F(OutputChoiceTest, ChoosingClosesSwitchesOpensAndStores) {
  form.Form_Activate();
  port.log.clear();
  outputs.log.clear();
  form.chooseOutput("Some Port");
  EXPECT_EQ(port.log, (std::vector<std::string>{"CLOSE", "OPEN"}));
  EXPECT_EQ(outputs.log, std::vector<std::string>{"choose Some Port"});
  form.chooseOutput("");
  const auto settings = files.lines("Data/Tastrel.Ini");
  const auto key = std::find(settings.begin(), settings.end(), "MIDI-OUT:");
  ASSERT_NE(key, settings.end());
  EXPECT_EQ(*(key + 1), "SYNTH");
}
