// Practice in the window object: replay waits for the learner's chord from the computer
// keyboard, a MIDI instrument or the mouse; wrong tries are shown and counted; passes go into
// the record's history; sections, the tempo ramp, the count-in and the metronome.
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr const char* kHistory = "Records/Practice_Records_T.txt";

}  // namespace

class PracticeModeTest : public FormTest {
 protected:
  /// Switches practice on and starts replay; ticks through the count-in to event 1.
  void startPractice() {
    form.clickToggle(form.Practice);
    form.PlayStop_Click();
    form.Timer1_Timer();
    form.Timer1_Timer();
    port.log.clear();
  }
  /// The key of the map that plays a button's place.
  std::string keyFor(int button) {
    for (const auto& [key, position] : form.hands.keyMap.positions)
      if (position == button % kButtonsPerBlock) return key;
    ADD_FAILURE() << "no key for button " << button;
    return {};
  }
  /// Holds a button as the hands do: the bellows key for the push block, then the key.
  void hold(int button) {
    if (button >= kButtonsPerBlock && !form.hands.keys.pushing())
      form.handKeyDown(form.hands.keyMap.bellows);
    form.handKeyDown(keyFor(button));
  }
  void letGo(int button) { form.handKeyUp(keyFor(button)); }
  void letGoAll() { form.releaseHands(); }
  int pitchOf(int button) { return *form.keyNote(button); }
  void pitchOn(int pitch) { form.MidiIn_Message(0x90u | unsigned(pitch) << 8 | 100u << 16); }
  void pitchOff(int pitch) { form.MidiIn_Message(0x80u | unsigned(pitch) << 8); }
  std::vector<std::string> historyLines() {
    return files.has(kHistory) ? files.lines(kHistory) : std::vector<std::string>{};
  }
  std::vector<std::string> passLines() {
    std::vector<std::string> out;
    for (const auto& line : historyLines())
      if (line.rfind("PASS;", 0) == 0) out.push_back(line);
    return out;
  }
  /// Percussion note-ons sent (the metronome and the count-in).
  int clicks() const {
    int n = 0;
    for (const auto& line : port.log) n += line.size() == 8 && line.substr(6) == "99";
    return n;
  }
};

TEST_F(PracticeModeTest, ReplayShowsTheChordAndWaitsWithoutPlayingIt) {
  loadEvents({"44/47/", "50/"});
  startPractice();
  EXPECT_EQ(form.currentEvent(), 1);
  EXPECT_TRUE(form.Acco2[1].visible);
  EXPECT_TRUE(form.Acco2[2].visible);
  for (int i = 0; i < 5; ++i) form.Timer1_Timer();
  EXPECT_EQ(form.currentEvent(), 1) << "replay went on without the learner";
  form.Timer1_Timer();
  EXPECT_TRUE(port.notes().empty()) << "the waited chord sounded ahead of the learner";
  EXPECT_NE(form.StatusLine.caption.find(form.Keys[44].caption), std::string::npos);
}

TEST_F(PracticeModeTest, TheRightChordFromTheKeysGoesOnAtOnceAndSoundsTheLearnersNotes) {
  loadEvents({"44/47/", "50/"});
  startPractice();
  hold(44);
  EXPECT_EQ(form.currentEvent(), 1) << "half the chord is not the chord";
  EXPECT_EQ(form.Keys[44].backColor, kRightKeyColour);
  clock.now += 0.3;  // the right chord comes part way through a step
  hold(47);
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_DOUBLE_EQ(form.Timer1.due, clock.now + form.Timer1.interval / 1000.0)
      << "the next chord must get a whole step";
  EXPECT_EQ(port.notes().size(), 2u) << "exactly the learner's two notes sound";
  // Still holding the chord is no try at the next one.
  EXPECT_EQ(form.currentEvent(), 2);
}

TEST_F(PracticeModeTest, WrongButtonsAndWrongDirectionsAreShownSaidAndCountedOncePerTry) {
  loadEvents({"44/", "47/"});
  startPractice();
  hold(50);  // a push button the chord does not have
  EXPECT_EQ(form.Keys[50].backColor, kWrongButtonColour);
  EXPECT_NE(form.StatusLine.caption.find(form.Keys[50].caption), std::string::npos);
  letGo(50);
  form.handKeyUp(form.hands.keyMap.bellows);
  hold(10);  // the place of 44 on pull
  EXPECT_EQ(form.Keys[10].backColor, kWrongDirectionColour);
  EXPECT_EQ(form.currentEvent(), 1);
  letGo(10);
  hold(44);  // the bellows turned, the right button
  EXPECT_EQ(form.currentEvent(), 2);
  letGoAll();
  hold(47);  // right at the first try; the pass ends
  const auto passes = passLines();
  ASSERT_EQ(passes.size(), 1u);
  EXPECT_NE(passes[0].find(";events=2;first=1;buttons=1;directions=1;"), std::string::npos)
      << passes[0];
}

TEST_F(PracticeModeTest, LettingGoOfTheWrongButtonWhileHoldingTheRightOnesIsTheCorrection) {
  loadEvents({"44/47/", "50/"});
  startPractice();
  hold(44);
  hold(53);  // wrong
  EXPECT_EQ(form.currentEvent(), 1);
  hold(47);  // with the wrong one still held: still wrong
  EXPECT_EQ(form.currentEvent(), 1);
  letGo(53);
  EXPECT_EQ(form.currentEvent(), 2);
}

TEST_F(PracticeModeTest, MouseClicksBuildTheChordAndAWrongClickStartsTheTryAfresh) {
  loadEvents({"44/47/", "50/"});
  startPractice();
  form.Keys_Click(44);
  EXPECT_EQ(form.currentEvent(), 1);
  form.Keys_Click(53);
  EXPECT_EQ(form.Keys[53].backColor, kWrongButtonColour);
  EXPECT_EQ(form.currentEvent(), 1);
  form.Keys_Click(47);  // a new try: 47 alone is only part of the chord
  EXPECT_EQ(form.currentEvent(), 1);
  form.Keys_Click(44);
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_EQ(form.Keys[53].backColor, kIdleKeyColour) << "the wrong try's colour stays behind";
}

TEST_F(PracticeModeTest, MidiPitchesCountTheDirectionOnlyWhenTheInstrumentSendsIt) {
  loadEvents({"44/47/", "50/", "44/"});
  startPractice();
  // No bellows controller: the pitches are enough.
  pitchOn(pitchOf(44));
  EXPECT_EQ(form.currentEvent(), 1);
  pitchOn(pitchOf(47));
  EXPECT_EQ(form.currentEvent(), 2);
  pitchOff(pitchOf(44));
  pitchOff(pitchOf(47));
  pitchOn(pitchOf(50) + 1);  // a pitch the chord does not have
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_FALSE(form.StatusLine.caption.empty());
  pitchOff(pitchOf(50) + 1);
  pitchOn(pitchOf(50));
  EXPECT_EQ(form.currentEvent(), 3);
  pitchOff(pitchOf(50));

  // With a controller that says pull, the pitches of a push chord are the wrong direction.
  form.hands.bellowsController = 2;
  form.MidiIn_Message(0xB0u | 2u << 8 | 0u << 16);
  pitchOn(pitchOf(44));
  EXPECT_EQ(form.currentEvent(), 3);
  EXPECT_NE(form.StatusLine.caption.find(form.say(Text::BellowsPull)), std::string::npos)
      << form.StatusLine.caption;
  form.MidiIn_Message(0xB0u | 2u << 8 | 127u << 16);  // the bellows turn: push
  EXPECT_EQ(form.currentEvent(), 0) << "the pass is over; the next begins at the next step";
  ASSERT_EQ(passLines().size(), 1u);
  EXPECT_NE(passLines()[0].find(";events=3;first=1;buttons=1;directions=1;"), std::string::npos)
      << passLines()[0];
}

TEST_F(PracticeModeTest, ARestWaitsItsStepThenTheNextChordIsWaitedFor) {
  loadEvents({"44/", kBreakMute, "47/"});
  startPractice();
  hold(44);
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_FALSE(form.practice.waiting);
  form.Timer1_Timer();
  EXPECT_EQ(form.currentEvent(), 3);
  EXPECT_TRUE(form.practice.waiting);
  form.Timer1_Timer();
  EXPECT_EQ(form.currentEvent(), 3);
}

TEST_F(PracticeModeTest, APassIsScoredShownAndAppendedToTheHistoryKeepingWhatWasThere) {
  files.files[kHistory] =
      "PASS;2026-12-01 10:00;tempo=20;section=1-2;events=2;first=2;buttons=0;"
      "directions=0;seconds=9.0\r\nsomething a later version wrote\r\n";
  loadEvents({"44/", "47/"});
  EXPECT_NE(form.StatusLine.caption.find("2"), std::string::npos);  // line 2 is reported
  EXPECT_EQ(form.practice.history.passes.size(), 1u);
  startPractice();
  clock.now += 2;
  hold(44);
  letGoAll();
  clock.now += 3.26;
  hold(53);
  letGoAll();
  hold(47);
  const auto lines = historyLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "something a later version wrote") << "a line not understood was lost";
  EXPECT_EQ(lines[2],
            "PASS;2026-12-08 19:40;bpm=80;section=1-2;events=2;first=1;buttons=1;directions=0;"
            "seconds=5.3");
  EXPECT_NE(form.PracticeScore.caption.find("5.3"), std::string::npos)
      << form.PracticeScore.caption;
  EXPECT_TRUE(form.PracticeScore.visible);
  EXPECT_TRUE(form.PracticeChart.visible);
  EXPECT_EQ(form.practice.history.passes.size(), 2u);
}

TEST_F(PracticeModeTest, AStoppedPassIsNotScoredAndAFailedSaveIsReported) {
  loadEvents({"44/", "47/"});
  startPractice();
  hold(44);
  letGoAll();
  form.StopReplay_Click();
  EXPECT_TRUE(passLines().empty());

  files.failAppend = true;
  form.PlayStop_Click();
  form.Timer1_Timer();  // counted in again
  form.Timer1_Timer();
  hold(44);
  letGoAll();
  hold(47);
  EXPECT_NE(form.StatusLine.caption.find("disk full"), std::string::npos);
  EXPECT_EQ(form.practice.history.passes.size(), 1u) << "the pass still shows in the window";
}

TEST_F(PracticeModeTest, ASectionIsLoopedByReplayInBothModesAndByPractice) {
  loadEvents({"44/", "47/", "50/", "53/", "56/"});
  form.NotenSchirm.selected = 1;
  form.SectionFirst_Click();
  form.NotenSchirm.selected = 3;
  form.SectionLast_Click();
  EXPECT_EQ(form.replaySpan(), (std::pair<int, int>{2, 4}));
  EXPECT_EQ(form.NotenSchirm.markedFirst, 1);
  EXPECT_EQ(form.NotenSchirm.markedLast, 3);

  form.PlayStop_Click();
  std::vector<int> seen;
  for (int i = 0; i < 9; ++i) {
    form.Timer1_Timer();
    seen.push_back(form.currentEvent());
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 2, 3, 4, 0, 2, 3, 4, 0}));
  form.StopReplay_Click();

  form.PlayMode_Click();  // back and forth
  seen.clear();
  form.PlayStop_Click();
  for (int i = 0; i < 8; ++i) {
    form.Timer1_Timer();
    seen.push_back(form.currentEvent());
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 2, 3, 4, 0, 4, 3, 2}));
  form.StopReplay_Click();
  form.PlayMode_Click();

  startPractice();
  for (int b : {47, 50, 53}) {
    hold(b);
    letGoAll();
  }
  ASSERT_EQ(passLines().size(), 1u);
  EXPECT_NE(passLines()[0].find(";section=2-4;events=3;first=3;"), std::string::npos);
  form.SectionAll_Click();
  EXPECT_EQ(form.replaySpan(), (std::pair<int, int>{1, 5}));
  EXPECT_EQ(form.NotenSchirm.markedFirst, -1);
}

TEST_F(PracticeModeTest, MarkingAStartAfterTheEndOrWithNothingPickedIsSensible) {
  loadEvents({"44/", "47/", "50/", "53/"});
  form.NotenSchirm.selected = -1;
  form.SectionFirst_Click();
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgSectionPick));
  form.NotenSchirm.selected = 1;
  form.SectionLast_Click();
  EXPECT_EQ(form.replaySpan(), (std::pair<int, int>{1, 2}));
  form.NotenSchirm.selected = 2;
  form.SectionFirst_Click();  // after the end: the rest of the record
  EXPECT_EQ(form.replaySpan(), (std::pair<int, int>{3, 4}));
  // Loading another record forgets the section.
  loadEvents({"44/", "47/"});
  EXPECT_EQ(form.replaySpan(), (std::pair<int, int>{1, 2}));
}

TEST_F(PracticeModeTest, TheRampStartsBelowTheTargetRisesAfterCleanPassesAndIsKeptPerRecord) {
  loadEvents({"44/", "47/"});
  auto setTempo = [&](int bpm) {
    form.PracticeTempo.value = bpm;
    form.PracticeTempo_Click();
  };
  setTempo(100);
  form.clickToggle(form.PracticeRamp);  // the tempo set is the goal; the ramp starts below it
  EXPECT_EQ(form.practice.tempo, 80);
  EXPECT_EQ(form.PracticeTempo.value, 80);
  ASSERT_FALSE(historyLines().empty());
  EXPECT_EQ(historyLines().back(), "RAMP;from=80;to=100;percent=4;clean=2");
  startPractice();
  auto pass = [&](bool clean) {
    if (form.currentEvent() == 0) form.Timer1_Timer();  // to event 1 of the next pass
    if (!clean) {
      hold(50);
      letGoAll();
    }
    hold(44);
    letGoAll();
    hold(47);
    letGoAll();
  };
  pass(true);
  EXPECT_EQ(form.practice.tempo, 80);
  pass(false);
  pass(true);
  EXPECT_EQ(form.practice.tempo, 80) << "one clean pass after a faulty one is not enough";
  pass(true);
  EXPECT_EQ(form.practice.tempo, 83);
  EXPECT_EQ(form.PracticeTempo.value, 83);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgTempoUp, {"83"}));

  // Loaded again, the record's ramp and its tempo come back.
  form.StopReplay_Click();
  setTempo(140);
  form.clickToggle(form.Practice);
  loadEvents({"44/", "47/"});
  EXPECT_EQ(form.PracticeRamp.value, 1);
  EXPECT_EQ(form.practice.tempo, 83);
  form.clickToggle(form.PracticeRamp);  // off
  EXPECT_EQ(historyLines().back(), "RAMP;off");
  EXPECT_FALSE(form.practice.history.ramp);
}

TEST_F(PracticeModeTest, TheCountInClicksABarOfFourAndTheMetronomeEveryStepWhileWaiting) {
  loadEvents({"44/", "47/"});
  form.clickToggle(form.Practice);
  form.clickToggle(form.CountInClick);
  form.PlayStop_Click();
  EXPECT_EQ(form.replay().countInLeft(), kCountInClicks);
  std::vector<int> events;
  for (int i = 0; i < 4; ++i) {
    form.Timer1_Timer();
    events.push_back(form.currentEvent());
  }
  EXPECT_EQ(events, (std::vector<int>{0, 0, 0, 1}));
  EXPECT_EQ(clicks(), kCountInClicks);
  // Every click is on channel 10 and lets the one before go.
  EXPECT_EQ(port.log.front().substr(6), "99");
  port.log.clear();
  form.clickToggle(form.Metronome);
  for (int i = 0; i < 3; ++i) form.Timer1_Timer();
  EXPECT_EQ(clicks(), 3);
  EXPECT_EQ(form.currentEvent(), 1);
}

TEST_F(PracticeModeTest, PracticeOffLeavesReplayAsItWas) {
  loadEvents({"44/", "47/"});
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  EXPECT_EQ(form.currentEvent(), 1);
  EXPECT_EQ(port.notes().size(), 1u);
  form.Keys_Click(53);  // a click while replaying plays as always and is judged by nobody
  EXPECT_EQ(form.Keys[53].backColor, kLitKeyColour);
  form.Timer1_Timer();
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_FALSE(files.has(kHistory));
}

// ---- Replay and practice after Stop, an import, a layout chosen, practice switched on late

TEST_F(PracticeModeTest, PlayAfterStopCountsInAgainAndStartsAtTheSection) {
  loadEvents({"44/", "47/", "50/", "53/", "56/"});
  form.NotenSchirm.selected = 2;
  form.SectionFirst_Click();
  form.NotenSchirm.selected = 4;
  form.SectionLast_Click();
  form.clickToggle(form.CountInClick);
  for (int round = 0; round < 2; ++round) {
    port.log.clear();
    form.PlayStop_Click();
    EXPECT_EQ(clicks(), 1) << "the accented first click, round " << round;
    std::vector<int> events;
    for (int i = 0; i < 5; ++i) {
      form.Timer1_Timer();
      events.push_back(form.currentEvent());
    }
    EXPECT_EQ(events, (std::vector<int>{0, 0, 0, 3, 4})) << "round " << round;
    EXPECT_EQ(clicks(), kCountInClicks);
    form.StopReplay_Click();
  }
}

TEST_F(PracticeModeTest, OpeningAMidiFileStopsReplayAndEndsPracticeBeforeTheEditorOpens) {
  loadEvents({"44/", "47/", "50/"});
  const auto midi = form.exportMidi();
  ASSERT_TRUE(midi);
  startPractice();
  hold(44);  // a pass under way
  letGoAll();
  form.importMidi(*midi, "Tune", {});
  EXPECT_TRUE(form.EditBox.visible);
  EXPECT_FALSE(form.Timer1.enabled);
  EXPECT_FALSE(form.practising());
  EXPECT_FALSE(form.practice.passOpen);
  // Clicks in the editor build a chord and are judged by nobody; the old record gets no pass.
  form.Keys_Click(47);
  form.Keys_Click(50);
  EXPECT_EQ(form.EditorTMP3.caption, "47/50/");
  EXPECT_TRUE(passLines().empty());
}

TEST_F(PracticeModeTest, PracticeSwitchedOnInTheMiddleScoresFromTheNextWholePass) {
  loadEvents({"44/", "47/", "50/"});
  form.PlayStop_Click();
  for (int i = 0; i < 3; ++i) form.Timer1_Timer();  // counted in, events 1 and 2
  ASSERT_EQ(form.currentEvent(), 2);
  form.clickToggle(form.Practice);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgScoredFromNextPass));
  form.Timer1_Timer();
  hold(50);  // the last chord of a pass begun without practice
  letGoAll();
  form.Timer1_Timer();  // the turn: no pass of two thirds is scored
  EXPECT_TRUE(passLines().empty());
  for (int button : {44, 47, 50}) {
    while (!form.practice.waiting) form.Timer1_Timer();
    hold(button);
    letGoAll();
  }
  form.Timer1_Timer();
  ASSERT_EQ(passLines().size(), 1u);
  EXPECT_NE(passLines()[0].find("section=1-3;events=3;first=3"), std::string::npos)
      << passLines()[0];
}

TEST_F(PracticeModeTest, APassOfARecordOpeningWithARestSpansTheWholeRecord) {
  loadEvents({kBreakMute, "44/", "47/"});
  startPractice();
  for (int button : {44, 47}) {
    while (!form.practice.waiting) form.Timer1_Timer();
    hold(button);
    letGoAll();
  }
  form.Timer1_Timer();
  ASSERT_EQ(passLines().size(), 1u);
  EXPECT_NE(passLines()[0].find("section=1-3;events=2"), std::string::npos) << passLines()[0];
}

TEST_F(PracticeModeTest, TheMetronomeIsHeardOnEveryStepWhenChordsCutTheSound) {
  loadEvents({"44/", kBreakMute, "47/"});
  ASSERT_EQ(form.Check4.value, 1);
  form.clickToggle(form.Metronome);
  form.PlayStop_Click();
  form.Timer1_Timer();
  for (int step = 0; step < 3; ++step) {
    port.log.clear();
    form.Timer1_Timer();
    // Nothing of the step silences the device after its click.
    const auto click = std::find_if(port.log.rbegin(), port.log.rend(), [](const auto& line) {
      return line.size() == 8 && line.substr(6) == "99";
    });
    const auto close = std::find(port.log.rbegin(), port.log.rend(), std::string("CLOSE"));
    ASSERT_NE(click, port.log.rend()) << "step " << step;
    EXPECT_TRUE(close == port.log.rend() || close > click) << "step " << step;
  }
}

TEST_F(PracticeModeTest, ChoosingALayoutDuringReplayLetsReplayGoOnOverTheLoadedTables) {
  loadEvents({"44/", "47/", "50/"});
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  ASSERT_EQ(form.currentEvent(), 1);
  selectRow(form.NoteList, "Notes_G-C-F.txt");
  form.NoteList_Click();
  EXPECT_TRUE(form.NotenSchirm.items.empty());
  const int beeps = form.beepCount;
  port.log.clear();
  form.Timer1_Timer();
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_EQ(form.beepCount, beeps + 1) << "a beep where the view has no row";
  EXPECT_EQ(port.notes().size(), 1u);
  EXPECT_TRUE(form.Acco2[1].visible);
}

TEST_F(PracticeModeTest, AWrongButtonIsNamedWithoutTheBlanksOfItsCaption) {
  // Captions are padded to their column's width ("h " and " c1" in the shipped layouts).
  loadEvents({"44/"});
  form.Keys[50].caption = "h ";
  form.Keys[44].caption = " c1";
  startPractice();
  hold(50);
  const std::string& said = form.StatusLine.caption;
  EXPECT_NE(said.find(": h."), std::string::npos) << said;
  EXPECT_NE(said.find(": c1 ("), std::string::npos) << said;
  EXPECT_EQ(said.find(" ."), std::string::npos) << said;
}
