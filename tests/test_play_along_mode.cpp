// Playing along in the window object: the record runs at the practice tempo without waiting,
// each chord played is judged by its moment and shown on its row, its buttons and the timing
// strip; a pass ends at the record's end, goes into the history and the next is counted in;
// the record's meter sets the grid, the count-in and the metronome's beats; the tap calibration.
#include <algorithm>

#include "practice/practice.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr const char* kHistory = "Records/Practice_Records_T.txt";
constexpr const char* kMeter = "Records/Meter_Records_T.txt";

}  // namespace

class PlayAlongModeTest : public FormTest {
 protected:
  void setTempo(int bpm) {
    form.PracticeTempo.value = bpm;
    form.PracticeTempo_Click();
  }
  /// Chooses a meter as a click in its chooser does ("3/2": three beats in eighths).
  void chooseMeter(const std::string& value) {
    const auto& values = form.MeterChooser.values;
    const auto it = std::find(values.begin(), values.end(), value);
    ASSERT_NE(it, values.end()) << value;
    form.MeterChooser.selected = static_cast<int>(it - values.begin());
    form.MeterChooser_Click();
  }
  /// Replay's next step, at the moment `at`.
  void tickAt(double at) {
    clock.now = at;
    form.Timer1_Timer();
  }
  /// Switches playing along on at 60 a minute, starts replay at `start` and ticks a second a
  /// step through the count-in; the first event sounds at `start` + the count-in.
  /// Playing along at 60 a minute, Play pressed at `start`: replay counts in.
  void pressPlayAlong(double start = 1000) {
    form.clickToggle(form.PlayAlong);
    setTempo(60);
    clock.now = start;
    form.PlayStop_Click();
  }
  /// The same, counted in up to the first chord; its moment.
  double startAlong(double start = 1000) {
    pressPlayAlong(start);
    double at = start;
    for (int i = 0; i < 20 && form.currentEvent() != 1; ++i) tickAt(at += 1.0);
    EXPECT_EQ(form.currentEvent(), 1);
    port.log.clear();
    return at;
  }
  std::string keyFor(int button) {
    for (const auto& [key, position] : form.hands.keyMap.positions)
      if (position == button % kButtonsPerBlock) return key;
    ADD_FAILURE() << "no key for button " << button;
    return {};
  }
  void holdAt(double at, int button) {
    clock.now = at;
    if (button >= kButtonsPerBlock && !form.hands.keys.pushing())
      form.handKeyDown(form.hands.keyMap.bellows);
    form.handKeyDown(keyFor(button));
  }
  void letGoAll() { form.releaseHands(); }
  std::vector<std::string> linesStarting(const std::string& kind) {
    std::vector<std::string> out;
    if (!files.has(kHistory)) return out;
    for (const auto& line : files.lines(kHistory))
      if (line.rfind(kind, 0) == 0) out.push_back(line);
    return out;
  }
  int clicks(bool accented) const {
    int n = 0;
    for (const auto& line : port.log)
      n += line.size() == 8 && line.substr(6) == "99" && (line.substr(0, 2) == "7F") == accented;
    return n;
  }
};

TEST_F(PlayAlongModeTest, EachChordIsJudgedByItsMomentAndShownOnItsRowItsButtonsAndTheStrip) {
  loadEvents({"44/", "47/", "50/", "53/"});
  const double t1 = startAlong();
  EXPECT_TRUE(port.notes().empty()) << "the record's chord sounded for the learner";
  holdAt(t1 + 0.030, 44);
  EXPECT_EQ(form.Keys[44].backColor, kRightKeyColour);
  ASSERT_GE(form.ZahlenSchirm.rowNotes.size(), 1u);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[0], "+30");
  letGoAll();

  tickAt(t1 + 1);
  holdAt(t1 + 1.200, 47);  // late
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgAlongLate, {"200"}));
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[1], "+200");
  letGoAll();

  holdAt(t1 + 1.850, 50);  // early, before replay has come to its chord
  tickAt(t1 + 2);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[2], "-150");
  letGoAll();

  tickAt(t1 + 3);  // nothing played for the last chord
  tickAt(t1 + 4);  // the end: the pass is over
  const auto plays = linesStarting("PLAY;");
  ASSERT_EQ(plays.size(), 1u);
  const auto pass = parsePlayAlongPass(plays[0]);
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->bpm, 60);
  EXPECT_EQ(pass->score.chords, 4);
  EXPECT_EQ(pass->score.onTime, 1);
  EXPECT_EQ(pass->score.late, 1);
  EXPECT_EQ(pass->score.early, 1);
  EXPECT_EQ(pass->score.missed, 1);
  EXPECT_EQ(pass->score.meanMs, 27);  // (30 + 200 - 150) / 3
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[3], "-");

  // The strip shows the four chords, early below the middle and late above it.
  ASSERT_EQ(form.TimingStrip.columns.size(), 4u);
  EXPECT_GT(form.TimingStrip.columns[1].height, form.TimingStrip.band);
  EXPECT_LT(form.TimingStrip.columns[2].height, -form.TimingStrip.band);
  EXPECT_LT(std::abs(form.TimingStrip.columns[0].height), form.TimingStrip.band);
  EXPECT_TRUE(form.TimingStrip.visible);
  // The score and the chart show the pass.
  EXPECT_TRUE(form.PracticeScore.visible);
  EXPECT_NE(form.PracticeScore.caption.find("25"), std::string::npos) << form.PracticeScore.caption;
  ASSERT_EQ(form.PracticeChart.columns.size(), 1u);
  EXPECT_DOUBLE_EQ(form.PracticeChart.columns[0].height, 0.25);
  EXPECT_TRUE(linesStarting("PASS;").empty()) << "a pass played along is no pass waited for";
}

TEST_F(PlayAlongModeTest, ThePassEndsAtTheEndAndTheNextIsCountedInAgain) {
  loadEvents({"44/", "47/"});
  const double t1 = startAlong();
  holdAt(t1, 44);
  letGoAll();
  tickAt(t1 + 1);
  holdAt(t1 + 1, 47);
  letGoAll();
  form.CountInClick.value = 1;
  tickAt(t1 + 2);  // past the end
  EXPECT_EQ(linesStarting("PLAY;").size(), 1u);
  EXPECT_FALSE(form.AccordDisplay.caption.empty()) << "no count-in before the next pass";
  double at = t1 + 2;
  int ticks = 0;
  while (form.currentEvent() != 1 && ticks < 20) {
    tickAt(at += 1);
    ++ticks;
  }
  EXPECT_EQ(ticks, 4) << "a bar of 4/4 counted in";
  holdAt(at, 44);
  letGoAll();
  tickAt(at + 1);
  holdAt(at + 1.01, 47);
  letGoAll();
  tickAt(at + 2);
  const auto plays = linesStarting("PLAY;");
  ASSERT_EQ(plays.size(), 2u);
  EXPECT_TRUE(parsePlayAlongPass(plays[1])->score.clean());
}

TEST_F(PlayAlongModeTest, StoppingInTheMiddleScoresNothingAndSwitchingModesLeavesOneOn) {
  loadEvents({"44/", "47/", "50/"});
  const double t1 = startAlong();
  EXPECT_EQ(form.Metronome.value, 1) << "playing along needs a beat to play to";
  holdAt(t1, 44);
  letGoAll();
  form.StopReplay_Click();
  EXPECT_TRUE(linesStarting("PLAY;").empty());
  form.clickToggle(form.Practice);
  EXPECT_EQ(form.PlayAlong.value, 0);
  form.clickToggle(form.PlayAlong);
  EXPECT_EQ(form.Practice.value, 0);
}

TEST_F(PlayAlongModeTest, AChordHeldThroughRingingRestsLetGoEarlyIsSaid) {
  loadEvents({"44/", kBreakPlay, kBreakPlay, "47/"});
  const double t1 = startAlong();
  holdAt(t1, 44);
  tickAt(t1 + 1);
  clock.now = t1 + 1.5;
  letGoAll();  // held a step and a half of three
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgAlongShort, {"1500"}));
}

TEST_F(PlayAlongModeTest, TheFirstChordPlayedWhileReplayStillCountsInCountsEarly) {
  // Given: the first chord pressed 40 ms before its moment, before replay's tick reaches it.
  loadEvents({"44/", "47/"});
  pressPlayAlong();
  double at = 1000;
  for (int i = 0; i < 20 && form.replayPosition < 0; ++i) tickAt(at += 1.0);
  ASSERT_EQ(form.replayPosition, 0);
  holdAt(at + 0.960, 44);
  tickAt(at + 1.0);
  ASSERT_GE(form.ZahlenSchirm.rowNotes.size(), 1u);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[0], "-40");
}

TEST_F(PlayAlongModeTest, AShortChordPlayedJustEarlyIsOnTimeOnTheStatusLineAndInTheHistory) {
  // Given: the first and the second chord each pressed 60 ms before its moment and let go
  // 20 ms before it, before replay came to it (the first while replay still counted in); the
  // last two not played.
  loadEvents({"44/", "47/", "50/", "53/"});
  pressPlayAlong();
  tickAt(1001);  // the count-in's last step; the first chord is due at 1002
  holdAt(1001.94, 44);
  clock.now = 1001.98;
  letGoAll();
  tickAt(1002);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgAlongOnTime, {"60"}));
  holdAt(1002.94, 47);
  clock.now = 1002.98;
  letGoAll();
  tickAt(1003);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgAlongOnTime, {"60"}));
  ASSERT_GE(form.ZahlenSchirm.rowNotes.size(), 2u);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[0], "-60");
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[1], "-60");
  for (double at : {1004.0, 1005.0, 1006.0}) tickAt(at);
  const auto plays = linesStarting("PLAY;");
  ASSERT_EQ(plays.size(), 1u);
  const auto pass = parsePlayAlongPass(plays[0]);
  ASSERT_TRUE(pass);
  EXPECT_EQ(pass->score.onTime, 2);
  EXPECT_EQ(pass->score.missed, 2);
  EXPECT_EQ(pass->score.meanMs, -60);
}

TEST_F(PlayAlongModeTest, TheMeterSetsTheGridTheCountInAndTheBeatsOfTheMetronome) {
  loadEvents({"44/", "47/", "50/", "53/", "56/", "59/"});
  // 3/4 in eighths: a step is half a beat; the meter is kept beside the record.
  chooseMeter("3/2");
  ASSERT_TRUE(files.has(kMeter));
  EXPECT_NE(files.files[kMeter].find("beats=3"), std::string::npos);
  EXPECT_NE(files.files[kMeter].find("steps=2"), std::string::npos);

  form.clickToggle(form.PlayAlong);
  setTempo(90);
  EXPECT_EQ(form.pace().stepInterval(), 333);
  form.CountInClick.value = 1;
  clock.now = 1000;
  form.PlayStop_Click();
  int ticks = 0;
  while (form.currentEvent() != 1 && ticks < 20) {
    form.Timer1_Timer();
    ++ticks;
  }
  EXPECT_EQ(ticks, 6) << "a bar of 3/4 in eighths";
  EXPECT_EQ(clicks(true) + clicks(false), 3 + 1) << "the count-in clicks beats, not eighths";
  port.log.clear();
  for (int i = 0; i < 5; ++i) form.Timer1_Timer();  // events 2 to 6: one full bar
  EXPECT_EQ(clicks(false), 2) << "events 3 and 5 start beats";
  // Loaded again, the record keeps its meter.
  form.StopReplay_Click();
  loadEvents({"44/", "47/", "50/", "53/", "56/", "59/"});
  EXPECT_EQ(form.practice.meter.beatsPerBar, 3);
  EXPECT_EQ(form.practice.meter.stepsPerBeat, 2);
}

TEST_F(PlayAlongModeTest, TheMeterChosenIsTheOneTheGriffschriftAndTheExportWriteEvenWhenItsFileFails) {
  loadEvents({"44/", "47/", "50/", "53/", "56/", "59/"});
  EXPECT_EQ(form.tablatureDocument().meter.beatsPerBar, 4) << "a record without a meter file";
  files.failReplace = true;  // the meter file cannot be written: said, and the choice stands
  chooseMeter("3/1");
  EXPECT_FALSE(files.has(kMeter));
  EXPECT_FALSE(form.status().problems().empty());
  // What the choosers show is what the sheet and the files written from it say: 3/4.
  EXPECT_EQ(form.tablatureDocument().meter.beatsPerBar, 3);
  const std::string midi = form.exportMidi().value();
  const std::string timeSignature("\xFF\x58\x04\x03", 4);
  EXPECT_NE(midi.find(timeSignature), std::string::npos) << "a time signature of 3 beats";
  EXPECT_NE(form.exportMusicXml().value().find("<beats>3</beats>"), std::string::npos);
}

TEST_F(PlayAlongModeTest, TheCalibrationKeepsTheLearnersOffsetAndTakesItOut) {
  loadEvents({"44/", "47/"});
  setTempo(60);
  clock.now = 500;
  form.Calibrate_Click();
  ASSERT_TRUE(form.CalibrationTimer.enabled);
  const std::string key = keyFor(44);
  for (int i = 0; i < 8; ++i) {
    clock.now = 500 + i;
    form.CalibrationTimer_Timer();
    clock.now += 0.050;  // the learner taps 50 ms after each click
    form.handKeyDown(key);
    form.handKeyUp(key);
  }
  clock.now = 508;
  form.CalibrationTimer_Timer();
  EXPECT_FALSE(form.CalibrationTimer.enabled);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgCalibrated, {"50"}));
  ASSERT_TRUE(files.has("Data/Tastrel.Ini"));
  const auto settings = files.lines("Data/Tastrel.Ini");
  const auto it = std::find(settings.begin(), settings.end(), "TAP-OFFSET:");
  ASSERT_NE(it, settings.end());
  EXPECT_EQ(*(it + 1), "50");

  // Played 50 ms after each chord's moment, the learner is on time to the millisecond.
  const double t1 = startAlong();
  holdAt(t1 + 0.050, 44);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[0], "0");
}

TEST_F(PlayAlongModeTest, TooFewTapsKeepTheOffsetAndSayWhy) {
  loadEvents({"44/"});
  form.Calibrate_Click();
  for (int i = 0; i < 9; ++i) {
    clock.now += 1;
    form.CalibrationTimer_Timer();
  }
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgCalibrationFailed));
  EXPECT_DOUBLE_EQ(form.practice.offsetSeconds, 0);
}

// A chord is heard when the output in force sounds it: the built-in synthesizer its latency after
// the chord's moment, a MIDI port (whose latency is unknown) at the moment itself.
class PlayAlongOutputTest : public PlayAlongModeTest {
 protected:
  FakeAudio audio;
  void SetUp() override {
    files.loadShippedData();
    form = Form1({&port, &files, nullptr, &clock, nullptr, &audio});
    start();
    loadEvents({"44/", "47/"});
  }
};

TEST_F(PlayAlongOutputTest, AChordIsOnTimeWhenTheSynthesizerSoundsItAfterItsLatency) {
  audio.next.running = true;
  audio.next.latencyMs = 42;
  const double t1 = startAlong();
  holdAt(t1 + 0.042, 44);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes.at(0), "0");
}

TEST_F(PlayAlongOutputTest, AChordIsOnTimeWhenAPortSoundsItAtItsMoment) {
  audio.next.port = "USB Keys MIDI 1";
  const double t1 = startAlong();
  holdAt(t1, 44);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes.at(0), "0");
}

// Keys carry the moment the system stamped on them: a busy thread that takes them late does not
// move them, and a tick that runs late does not move its chord off the beat.
class StampedKeyTest : public PlayAlongModeTest {
 protected:
  /// The key of `button` (and the bellows for a push) pressed at `pressed`, taken at `taken`.
  void pressTaken(double taken, double pressed, int button) {
    clock.now = taken;
    if (button >= kButtonsPerBlock && !form.hands.keys.pushing())
      form.dispatch(Event::keyDown(form.hands.keyMap.bellows, false, pressed));
    form.dispatch(Event::keyDown(keyFor(button), false, pressed));
  }
  void releaseTaken(double taken, double released, int button) {
    clock.now = taken;
    form.dispatch(Event::keyUp(keyFor(button), released));
  }
};

TEST_F(StampedKeyTest, APressTakenLateIsJudgedByItsOwnMoment) {
  loadEvents({"44/", "47/", "50/"});
  const double t1 = startAlong();
  pressTaken(t1 + 0.150, t1 + 0.020, 44);  // the thread got to it 130 ms after the press
  EXPECT_EQ(form.ZahlenSchirm.rowNotes.at(0), "+20");
  releaseTaken(t1 + 0.300, t1 + 0.290, 44);
  // Without a moment of its own the key counts from when it is taken.
  tickAt(t1 + 1);
  pressTaken(t1 + 1.150, -1, 47);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes.at(1), "+150");
}

TEST_F(StampedKeyTest, AnEarlyPressTakenAfterItsChordWasHandedOverCountsEarly) {
  // Given: pressed 60 ms before the chord, taken only after replay handed the chord over.
  loadEvents({"44/", "47/", "50/"});
  const double t1 = startAlong();
  tickAt(t1 + 1.010);
  pressTaken(t1 + 1.030, t1 + 0.940, 47);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes.at(1), "-70");
}

TEST_F(StampedKeyTest, AMomentStillToComeIsTakenAsNow) {
  loadEvents({"44/", "47/"});
  const double t1 = startAlong();
  pressTaken(t1 + 0.030, t1 + 5, 44);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes.at(0), "+30");
}

TEST_F(StampedKeyTest, AReleaseTakenLateIsJudgedByItsOwnMoment) {
  // Given: a chord held through two ringing rests (until t1 + 3), let go at t1 + 2.5 but taken
  // at t1 + 2.95, inside the last window's worth that is forgiven.
  loadEvents({"44/", kBreakPlay, kBreakPlay, "47/"});
  const double t1 = startAlong();
  pressTaken(t1, t1, 44);
  tickAt(t1 + 1);
  tickAt(t1 + 2);
  releaseTaken(t1 + 2.95, t1 + 2.5, 44);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgAlongShort, {"500"}));
}

TEST_F(StampedKeyTest, ATickRunningLateLeavesItsChordOnTheBeat) {
  // Every tick runs 30 ms after its moment; the chord stays due at the moment.
  loadEvents({"44/", "47/"});
  pressPlayAlong();
  double due = 0;
  for (int i = 0; i < 20 && form.currentEvent() != 1; ++i) {
    due = form.Timer1.due;
    clock.now = due + 0.030;
    form.dispatch(Event::tick());
  }
  ASSERT_EQ(form.currentEvent(), 1);
  pressTaken(due + 0.040, -1, 44);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes.at(0), "+40");
}

TEST_F(StampedKeyTest, CalibrationTapsCountFromTheirOwnMoment) {
  loadEvents({"44/"});
  setTempo(60);
  clock.now = 500;
  form.Calibrate_Click();
  const std::string key = keyFor(44);
  for (int i = 0; i < 8; ++i) {
    clock.now = 500 + i;
    form.CalibrationTimer_Timer();
    // Tapped 50 ms after the click, taken 100 to 240 ms after it.
    clock.now = 500 + i + 0.100 + 0.020 * i;
    form.dispatch(Event::keyDown(key, false, 500 + i + 0.050));
    form.dispatch(Event::keyUp(key, 500 + i + 0.090));
  }
  clock.now = 508;
  form.CalibrationTimer_Timer();
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgCalibrated, {"50"}));
}
