#include <fstream>

#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

class ReplayTest : public FormTest {
 protected:
  /// The event number each tick plays (0 for a rest tick).
  std::vector<int> ticks(int n) {
    std::vector<int> played;
    for (int i = 0; i < n; ++i) {
      const int selectedBefore = form.NotenSchirm.selected;
      form.Timer1_Timer();
      const bool playedEvent = form.replayPosition >= 1 && form.replayPosition < form.replayEnd;
      played.push_back(playedEvent ? form.replayPosition : 0);
      (void)selectedBefore;
    }
    return played;
  }
};

TEST_F(ReplayTest, SingleModeLoopsForwards) {
  loadEvents({"44/", "47/", "50/"});
  form.PlayStop_Click();
  EXPECT_EQ(ticks(10), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3, 0, 1}));
}

TEST_F(ReplayTest, RepeatModeGoesBackAndForth) {
  loadEvents({"44/", "47/", "50/"});
  form.PlayMode_Click();
  EXPECT_EQ(form.PlayMode.picture, pictures::kRepeat);
  form.PlayStop_Click();
  // The turn at the end keeps the position at replayEnd for one rest tick.
  std::vector<int> played;
  for (int i = 0; i < 12; ++i) {
    form.Timer1_Timer();
    played.push_back(form.replayPosition);
  }
  EXPECT_EQ(played, (std::vector<int>{0, 1, 2, 3, 4, 3, 2, 1, 0, 1, 2, 3}));
}

TEST_F(ReplayTest, PauseContinuesAndStopStartsAtEventOne) {
  loadEvents({"44/", "47/", "50/"});
  form.PlayStop_Click();
  ticks(3);
  form.Break_Click();
  EXPECT_FALSE(form.Timer1.enabled);
  EXPECT_TRUE(form.PlayStop.visible);
  form.PlayStop_Click();
  EXPECT_EQ(ticks(1), std::vector<int>{3});
  form.StopReplay_Click();
  EXPECT_FALSE(form.Acco2[1].visible);
  EXPECT_TRUE(form.RecordList.visible);
  // Play from a stop counts in again (the step counted down), then plays event 1.
  form.PlayStop_Click();
  EXPECT_EQ(form.AccordDisplay.caption, form.say(Text::CountIn, {"2"}));
  EXPECT_EQ(ticks(2), (std::vector<int>{0, 1}));
}

TEST_F(ReplayTest, ChordsSoundTheirNotesAndLayMarkers) {
  loadEvents({"44/47/", "10/"});
  form.PlayStop_Click();
  ticks(2);
  EXPECT_EQ(port.log, (std::vector<std::string>{"CLOSE", "OPEN", "000015C0", "00633C90", "000015C0",
                                                "00634090"}));
  EXPECT_TRUE(form.Acco2[1].visible && form.Acco2[2].visible);
  EXPECT_FALSE(form.Acco2[3].visible);
  EXPECT_EQ(form.Acco2[2].caption, "e1");
  EXPECT_EQ(form.Acco2[2].top, form.Keys[47].top - 3);
  EXPECT_EQ(form.NotenSchirm.selected, 0);
}

TEST_F(ReplayTest, CutSoundOffLetsNotesPileUp) {
  loadEvents({"44/", "47/"});
  form.setToggleValue(form.Check4, 0);
  form.PlayStop_Click();
  ticks(3);
  EXPECT_EQ(port.notes().size(), 2u);
  EXPECT_EQ(std::count(port.log.begin(), port.log.end(), "CLOSE"), 0);
}

TEST_F(ReplayTest, MuteRestSilencesAndKeepsMarkersPlayRestChangesNothing) {
  loadEvents({"44/", kBreakMute, kBreakPlay});
  form.PlayStop_Click();
  ticks(2);
  port.log.clear();
  ticks(1);
  EXPECT_EQ(port.log, (std::vector<std::string>{"CLOSE", "OPEN"}));
  EXPECT_TRUE(form.Acco2[1].visible);
  port.log.clear();
  ticks(1);
  EXPECT_TRUE(port.log.empty());
  EXPECT_EQ(form.NotenSchirm.selected, 2);
}

TEST_F(ReplayTest, SoundOffStillMovesMarkersAndSelection) {
  loadEvents({"44/", "47/"});
  form.SoundOnOff.value = 0;
  form.PlayStop_Click();
  ticks(3);
  EXPECT_TRUE(port.notes().empty());
  EXPECT_EQ(form.Acco2[1].left, form.Keys[47].left - 3);
  EXPECT_EQ(form.ZahlenSchirm.selected, 1);
}

TEST_F(ReplayTest, TempoIntervalsFollowTheSlider) {
  loadEvents({"44/"});
  // Beside the slider's step, the events per minute it gives (one decimal when slow).
  const std::tuple<int, int, std::string> steps[] = {{0, 5150, "Tempo 0 (11.7 pro Min.)"},
                                                     {23, 550, "Tempo 23 (109 pro Min.)"},
                                                     {25, 150, "Tempo 25 (400 pro Min.)"}};
  for (const auto& [speed, interval, caption] : steps) {
    form.Speed.value = speed;
    form.Speed_Click();
    form.Timer1_Timer();
    EXPECT_EQ(form.Timer1.interval, interval);
    EXPECT_EQ(form.Tempo.caption, caption);
  }
  form.Picture1_Click();
  EXPECT_EQ(form.Tempo.caption, "Tempo 25 (400 per min)");
}

TEST_F(ReplayTest, PlayWithoutARecordOnlyColoursTheList) {
  form.PlayStop_Click();
  EXPECT_EQ(form.RecordList.backColor, kLitKeyColour);
  EXPECT_FALSE(form.Timer1.enabled);
  EXPECT_TRUE(form.PlayStop.visible);
}

TEST_F(ReplayTest, ModeSwitchMidReplayTurnsAtTheNextTurningPoint) {
  loadEvents({"44/", "47/", "50/"});
  form.PlayMode_Click();
  form.PlayStop_Click();
  ticks(6);  // going backwards at event 3
  form.AccordDisplay.caption = "x";
  form.PlayMode_Click();
  EXPECT_EQ(form.replayMode, "Single");
  EXPECT_EQ(form.AccordDisplay.caption, "");
  std::vector<int> played;
  for (int i = 0; i < 5; ++i) {
    form.Timer1_Timer();
    played.push_back(form.replayPosition);
  }
  EXPECT_EQ(played, (std::vector<int>{2, 1, 0, 1, 2}));
}

TEST_F(ReplayTest, LoadingRunsTheStepNPlusTwoTimes) {
  loadEvents({"44/", "47/", kBreakPlay});
  // The pass sounded both chords before the final reset; the reset closes the device.
  EXPECT_EQ(form.replayPosition, 1);
  EXPECT_EQ(form.replayEnd, 4);
  EXPECT_TRUE(form.testPassDone);
}

TEST_F(ReplayTest, ButtonsOutsideTheKeyboardPlayNothing) {
  loadEvents({"44/"});
  form.eventButtonLines[1] = "99/44/";
  form.eventNameLines[1] = "xx/c1/";
  form.PlayStop_Click();
  ticks(2);
  EXPECT_FALSE(form.Acco2[1].visible);
  EXPECT_TRUE(form.Acco2[2].visible);
  EXPECT_EQ(port.notes(), std::vector<std::string>{"00633C90"});
}

namespace {

long residentPages() {
  long pages = 0, resident = 0;
  std::ifstream("/proc/self/statm") >> pages >> resident;
  return resident;
}

}  // namespace

TEST_F(ReplayTest, LongRunStaysInsideTheTablesAndDoesNotGrow) {
  loadEvents({"44/47/50/", kBreakMute, "10/13/", kBreakPlay});
  form.PlayMode_Click();
  form.Speed.value = 25;
  form.PlayStop_Click();
  [[maybe_unused]] long before = 0;  // unused where the check is left out
  for (int i = 0; i < 100000; ++i) {
    if (i == 1000) before = residentPages();
    form.Timer1_Timer();
    if (i % 1000 == 0) port.clearLog();
    if (i % 997 == 0) form.clickToggle(form.SoundOnOff);
    if (i % 1999 == 0) form.clickToggle(form.Check4);
    ASSERT_GE(form.replayPosition, 0);
    ASSERT_LE(form.replayPosition, form.replayEnd);
  }
  EXPECT_EQ(form.NotenSchirm.items.size(), 4u);
  EXPECT_EQ(form.beepCount, 0);
#ifndef __SANITIZE_ADDRESS__                // AddressSanitizer keeps freed memory in quarantine
  EXPECT_LT(residentPages() - before, 64);  // under 256 KiB over 99,000 ticks
#endif
}

// ---- Replaying a record in another tuning

TEST_F(ReplayTest, ARecordReplayedInAnotherTuningSoundsItsButtonsThere) {
  // Each replay loads the lesson afresh and plays 40 ticks from the start.
  auto replayNotes = [this] {
    form.StopReplay_Click();
    form.RecordList_Click();
    form.PlayStop_Click();
    port.log.clear();
    for (int i = 0; i < 40; ++i) form.Timer1_Timer();
    std::vector<int> notes;
    for (const auto& word : port.notes())
      notes.push_back(std::stoi(word.substr(4, 2), nullptr, 16));
    return notes;
  };
  form.clickToggle(form.RecordLession);
  form.RecordList.selected = 0;
  const auto inGcf = replayNotes();
  ASSERT_GT(inGcf.size(), 10u);
  auto raised = inGcf;
  for (int& n : raised) n += 2;
  // Chosen while the record is loaded: it stays loaded and plays on the new tuning.
  form.StopReplay_Click();
  form.chooseTuning("Notes_A-D-G.txt");
  EXPECT_EQ(form.Keys[44].caption, "d1");
  EXPECT_FALSE(form.NotenSchirm.items.empty());
  form.PlayStop_Click();
  port.log.clear();
  form.Timer1_Timer();  // the step counted in
  form.Timer1_Timer();
  ASSERT_FALSE(port.notes().empty());
  EXPECT_EQ(std::stoi(port.notes().front().substr(4, 2), nullptr, 16), raised.front());
  // The tuning stays for every record loaded, until the chooser gives each its own again.
  EXPECT_EQ(replayNotes(), raised);
  EXPECT_EQ(form.noteFileName, "Notes_A-D-G.txt");
  form.chooseTuning("");
  EXPECT_EQ(form.noteFileName, "Notes_G-C-F.txt");
  EXPECT_EQ(replayNotes(), inGcf);
  // A layout that cannot be read changes nothing.
  form.chooseTuning("Notes_None.txt");
  EXPECT_EQ(form.noteFileName, "Notes_G-C-F.txt");
  EXPECT_EQ(form.chosenTuning, "");
}
