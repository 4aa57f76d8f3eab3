// The audio buffer's policy: what "AUDIO-BUFFER:" may ask for, the automatic buffer's growth,
// and the window object applying it through the outputs and saying what is asked and given.
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace ab = tastrello::audio_buffer;

// ---- Reading the setting

TEST(AudioBufferSettingTest, EmptyMeansAutomaticAndEveryOfferedSizeReadsBackAsItself) {
  for (const char* empty : {"", "   "}) {
    const BufferReading r = ab::read(empty);
    EXPECT_TRUE(r.choice.automatic()) << '"' << empty << '"';
    EXPECT_EQ(r.refusal, BufferRefusal::None);
  }
  EXPECT_EQ(ab::stored(BufferChoice{}), "") << "automatic is stored as an empty value";
  for (int ms : ab::offeredMs()) {
    const BufferReading r = ab::read(ab::stored({ms}));
    EXPECT_EQ(r.refusal, BufferRefusal::None) << ms;
    EXPECT_EQ(r.choice.milliseconds, ms);
  }
}

TEST(AudioBufferSettingTest, TheLimitsAreAcceptedAndEverythingPastThemIsRefusedWithItsReason) {
  struct Case {
    const char* value;
    BufferRefusal refusal;
  };
  const Case cases[] = {
      {"5", BufferRefusal::None},         {" 170 ", BufferRefusal::None},
      {"4", BufferRefusal::TooSmall},     {"0", BufferRefusal::TooSmall},
      {"-5", BufferRefusal::TooSmall},    {"-99999999999999999999", BufferRefusal::TooSmall},
      {"171", BufferRefusal::TooLarge},   {"501", BufferRefusal::TooLarge},
      {"32768", BufferRefusal::TooLarge}, {"99999999999999999999", BufferRefusal::TooLarge},
      {"abc", BufferRefusal::NotANumber}, {"40ms", BufferRefusal::NotANumber},
      {"4.5", BufferRefusal::NotANumber}, {"+40", BufferRefusal::NotANumber},
      {"1e2", BufferRefusal::NotANumber}, {"4 0", BufferRefusal::NotANumber},
  };
  for (const Case& c : cases) {
    const BufferReading r = ab::read(c.value);
    EXPECT_EQ(r.refusal, c.refusal) << c.value;
    if (c.refusal != BufferRefusal::None) {
      EXPECT_TRUE(r.choice.automatic()) << c.value << ": a refused value asks for nothing";
    }
  }
}

TEST(AudioBufferSettingTest, EveryAcceptedSizeIsWholeBlocksNearItsMillisecondsAndFitsTheOutput) {
  for (double rate : {44100.0, 48000.0, 96000.0}) {
    for (int ms = ab::kMinMs; ms <= ab::kMaxMs; ++ms) {
      const int frames = ab::framesFor(ms, rate);
      EXPECT_EQ(frames % ab::kBlockFrames, 0) << ms << " ms at " << rate;
      // Nearest whole block: never more than half a block away.
      EXPECT_LE(std::abs(frames - ms * rate / 1000), ab::kBlockFrames / 2.0) << ms;
    }
    EXPECT_EQ(ab::framesFor(0, rate), ab::kBlockFrames) << "never less than one block";
  }
  // The largest size accepted is one the output holds, so nothing is cut later.
  EXPECT_LE(ab::framesFor(ab::kMaxMs, ab::kRate), 8192);
  EXPECT_GE(ab::framesFor(ab::kMaxMs + 1, ab::kRate), 8192)
      << "the limit is the output's, not one below it";
}

// ---- The automatic buffer's growth

TEST(AudioBufferGrowthTest, TheAutomaticBufferDoublesOnceForNewDropoutsUpToItsLimit) {
  AudioBuffer b = ab::start({}, ab::kRate);
  EXPECT_EQ(b.frames, ab::kAutomaticStart);
  b = ab::afterDropouts(b, 0);
  EXPECT_EQ(b.frames, ab::kAutomaticStart) << "nothing ran dry";
  b = ab::afterDropouts(b, 7);  // a burst of seven between two looks: one doubling
  EXPECT_EQ(b.frames, 2 * ab::kAutomaticStart);
  b = ab::afterDropouts(b, 7);
  EXPECT_EQ(b.frames, 2 * ab::kAutomaticStart) << "old dropouts are answered already";
  for (int dropouts = 8; dropouts < 20; ++dropouts) b = ab::afterDropouts(b, dropouts);
  EXPECT_EQ(b.frames, ab::kAutomaticLimit);
}

TEST(AudioBufferGrowthTest, AFixedBufferStaysAndANewOutputsCountStartsAfresh) {
  AudioBuffer fixed = ab::start({40}, ab::kRate);
  EXPECT_EQ(fixed.frames, 1920);
  fixed = ab::afterDropouts(fixed, 50);
  EXPECT_EQ(fixed.frames, 1920);
  EXPECT_EQ(fixed.dropoutsSeen, 50);

  AudioBuffer b = ab::start({}, ab::kRate);
  b = ab::afterDropouts(b, 30);
  ASSERT_EQ(b.frames, 2048);
  b = ab::afterDropouts(b, 0);  // a synthesizer started again counts from 0
  EXPECT_EQ(b.frames, 2048);
  b = ab::afterDropouts(b, 1);
  EXPECT_EQ(b.frames, 4096) << "its first dropout is new";
}

// ---- The window object

class AudioPanelTest : public ::testing::Test {
 protected:
  FakePort port;
  MemoryFiles files;
  FakeOutputs outputs;
  FakeAudio audio;
  Form1 form{{&port, &files, &outputs, nullptr, nullptr, &audio}};

  void SetUp() override {
    files.loadShippedData();
    audio.next.running = true;
    audio.next.driver = "PulseAudio 16.1";
    audio.next.sampleRate = 48000;
    audio.next.bufferFrames = 1024;
    audio.next.framesInForce = 1024;
    audio.next.latencyMs = 14.6;
  }
  /// The settings file with "AUDIO-BUFFER:" set to `value` before the other keys.
  void setBuffer(const std::string& value) {
    auto& ini = files.files.at("Data/Tastrel.Ini");
    ini = "AUDIO-BUFFER:\r\n" + value + "\r\nBELLOWS-CC:\r\n5\r\n" + ini;
  }
  void start() {
    form.Form_Load();
    form.Form_Activate();
    outputs.log.clear();
  }
  bool reported(const std::string& part) const {
    for (const auto& p : form.problems)
      if (p.find(part) != std::string::npos) return true;
    return false;
  }
};

TEST_F(AudioPanelTest, ARefusedValueIsSaidWithItsReasonAndTheRestOfTheSettingsHold) {
  for (const char* value : {"-5", "4", "501", "200", "abc"}) {
    SCOPED_TRACE(value);
    files.loadShippedData();
    setBuffer(value);
    form = Form1({&port, &files, &outputs, nullptr, nullptr, &audio});
    form.Form_Load();
    outputs.log.clear();
    form.Form_Activate();
    EXPECT_TRUE(reported(std::string("AUDIO-BUFFER: ") + value)) << form.StatusLine.caption;
    EXPECT_EQ(outputs.log.front(), "buffer 1024") << "the automatic start, not a cut size";
    EXPECT_EQ(form.hands.bellowsController, 5) << "the other keys are read as before";
    const auto lines = files.lines("Data/Tastrel.Ini");
    EXPECT_EQ(lines[1], value) << "the learner's value is kept in the file to correct";
  }
}

TEST_F(AudioPanelTest, EachRefusalGivesItsOwnReasonInTheLanguageInForce) {
  std::set<std::string> messages;
  for (const char* value : {"4", "501", "abc"}) {
    files.loadShippedData();
    setBuffer(value);
    form = Form1({&port, &files, &outputs, nullptr, nullptr, &audio});
    start();
    messages.insert(form.StatusLine.caption);
    form.Picture1_Click();  // English
    form.problems.clear();
    form.startAudioBuffer();
    messages.insert(form.StatusLine.caption);
  }
  EXPECT_EQ(messages.size(), 6u) << "three reasons in two languages";
}

TEST_F(AudioPanelTest, AnAcceptedSizeIsGivenToTheOutputInWholeBlocks) {
  setBuffer("170");
  form.Form_Load();
  form.Form_Activate();
  EXPECT_EQ(outputs.log.front(), "buffer 8192");
  EXPECT_EQ(form.audioBufferMs(), 170);
  EXPECT_TRUE(form.problems.empty() || !reported("AUDIO-BUFFER"));
}

TEST_F(AudioPanelTest, TheTimerGrowsTheAutomaticBufferOnlyForNewDropoutsOfAnyKind) {
  start();
  audio.next.lateWrites = 1;  // the server never said so; the output noticed
  form.AudioTimer_Timer();
  EXPECT_EQ(outputs.log, std::vector<std::string>{"buffer 2048"});
  EXPECT_TRUE(reported("43")) << "the growth is said, with the new size";
  form.AudioTimer_Timer();
  EXPECT_EQ(outputs.log.size(), 1u) << "the same dropout is not answered twice";
  audio.next.silences = 2;
  form.AudioTimer_Timer();
  audio.next.underruns = 5;
  form.AudioTimer_Timer();
  form.AudioTimer_Timer();
  audio.next.underruns = 9;
  form.AudioTimer_Timer();
  EXPECT_EQ(outputs.log,
            (std::vector<std::string>{"buffer 2048", "buffer 4096"}))
      << "it stops at the automatic limit";
}

TEST_F(AudioPanelTest, AChosenSizeStaysAfterDropoutsAndIsStored) {
  start();
  audio.next.underruns = 3;
  form.chooseAudioBuffer(40);
  EXPECT_EQ(outputs.log, std::vector<std::string>{"buffer 1920"});
  auto settings = files.lines("Data/Tastrel.Ini");
  auto key = std::find(settings.begin(), settings.end(), "AUDIO-BUFFER:");
  ASSERT_NE(key, settings.end());
  EXPECT_EQ(*(key + 1), "40");
  audio.next.underruns = 8;
  form.AudioTimer_Timer();
  EXPECT_EQ(outputs.log.size(), 1u) << "a size the learner chose is not grown";

  form.chooseAudioBuffer(0);
  EXPECT_EQ(outputs.log.back(), "buffer 1024");
  form.AudioTimer_Timer();
  EXPECT_EQ(outputs.log.back(), "buffer 1024") << "dropouts before the choice are answered";
  settings = files.lines("Data/Tastrel.Ini");
  key = std::find(settings.begin(), settings.end(), "AUDIO-BUFFER:");
  EXPECT_EQ(*(key + 1), "");
}

TEST_F(AudioPanelTest, ThePanelSaysWhatIsAskedWhatTheServerGaveAndTheLatencyMeasured) {
  start();
  form.AudioTimer_Timer();
  const std::string same = form.AudioInfo.caption;
  EXPECT_NE(same.find("PulseAudio 16.1"), std::string::npos) << same;
  EXPECT_NE(same.find("21"), std::string::npos) << same;
  EXPECT_NE(same.find("15"), std::string::npos) << "the measured latency, rounded: " << same;
  // A virtual machine's server holds 1536 frames when 1024 are asked.
  audio.next.framesInForce = 1536;
  audio.next.latencyMs = 33.2;
  form.AudioTimer_Timer();
  const std::string given = form.AudioInfo.caption;
  EXPECT_NE(given.find("21"), std::string::npos) << given;
  EXPECT_NE(given.find("32"), std::string::npos) << given;
  EXPECT_NE(given.find("33"), std::string::npos) << given;
  EXPECT_GT(given.size(), same.size()) << "asked and given are both said";
  // Where the panel cuts the line, the latency is read before the sizes; the whole line is
  // read where the pointer rests on it.
  EXPECT_LT(given.find("33"), given.find("21")) << given;
  EXPECT_EQ(form.AudioInfo.toolTip, given);
  form.Picture1_Click();  // English
  EXPECT_NE(form.AudioInfo.caption, given) << "in the language in force";
  EXPECT_NE(form.AudioInfo.caption.find("32"), std::string::npos);

  audio.next = {};
  audio.next.problem = "no server";
  form.AudioTimer_Timer();
  EXPECT_NE(form.AudioInfo.caption.find("no server"), std::string::npos);
}

TEST_F(AudioPanelTest, APortInForceIsNamedAndTheSynthesizersDropoutsStayAnswered) {
  start();
  audio.next.underruns = 3;
  form.AudioTimer_Timer();
  ASSERT_EQ(outputs.log, std::vector<std::string>{"buffer 2048"});
  const AudioReport synth = audio.next;

  // A port chosen: the panel says which, with its latency unknown and what makes up for it.
  audio.next = {};
  audio.next.port = "USB Keys MIDI 1";
  form.OutputChooser.items = {"x", "USB Keys MIDI 1"};
  form.OutputChooser.values = {"", "USB Keys MIDI 1"};
  form.OutputChooser.selected = 1;
  form.OutputChooser_Click();
  const std::string caption = form.AudioInfo.caption;
  EXPECT_NE(caption.find("USB Keys MIDI 1"), std::string::npos) << caption;
  EXPECT_NE(caption.find(form.Calibrate.caption), std::string::npos) << caption;
  EXPECT_EQ(caption.find(form.say(Text::OutputBuiltIn)), std::string::npos) << caption;
  EXPECT_EQ(caption.find("PulseAudio"), std::string::npos) << caption;

  // A size chosen meanwhile; back on the synthesizer, its old dropouts are no new ones.
  form.chooseAudioBuffer(0);
  audio.next = synth;
  form.AudioTimer_Timer();
  EXPECT_EQ(outputs.log.back(), "buffer 1024") << "the buffer grew for dropouts it had answered";
  EXPECT_NE(form.AudioInfo.caption.find("PulseAudio"), std::string::npos) << form.AudioInfo.caption;
}

TEST_F(AudioPanelTest, TheSynthesizersOwnProblemsReachTheStatusLineOnce) {
  start();
  audio.next.problems = {"warning: a sample could not be loaded", "error: out of voices"};
  form.AudioTimer_Timer();
  form.AudioTimer_Timer();
  int seen = 0;
  for (const auto& p : form.problems)
    if (p.find("could not be loaded") != std::string::npos ||
        p.find("out of voices") != std::string::npos)
      ++seen;
  EXPECT_EQ(seen, 2);
}

TEST_F(AudioPanelTest, TheChooserOffersThePolicysSizesAndShowsAValueFromTheFileThatIsNotOffered) {
  setBuffer("5");
  start();
  form.fillChoosers();
  const auto& values = form.BufferChooser.values;
  ASSERT_EQ(values.size(), 1 + ab::offeredMs().size() + 1);
  EXPECT_EQ(values.front(), "0");
  EXPECT_EQ(values.at(std::size_t(form.BufferChooser.selected)), "5");
  form.BufferChooser.selected = 3;
  form.BufferChooser_Click();
  EXPECT_EQ(form.audioBufferSetting, std::to_string(ab::offeredMs()[2]));
}
