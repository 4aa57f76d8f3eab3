// The count-in before the first event, as the learner hears it: the window object driven
// through its contract on a clock set by hand, each click and note taken with the moment it
// sounds. A bar of even clicks, the first of it accented, and the first event on the beat
// after them, whatever the grid, a pickup, a section, practice or plain replay, a pause, an
// output that takes its steps ahead, or a thread that gets to its ticks late.
#include <algorithm>
#include <cmath>
#include <functional>

#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr double kStart = 1000;

}  // namespace

class CountInTest : public FormTest {
 protected:
  void SetUp() override {
    FormTest::SetUp();
    form.SplashTimer.enabled = false;  // its ticks are no part of what is heard here
  }
  /// Playing along at `bpm` in `beats`/4 on a grid of `steps` a beat, the count-in clicked.
  void playAlongIn(int beats, int steps, int bpm = 120, int pickup = 0) {
    form.practice.meter = {beats, steps, pickup, 0};
    form.clickToggle(form.PlayAlong);
    form.PracticeTempo.value = bpm;
    form.PracticeTempo_Click();
    form.setToggleValue(form.CountInClick, 1);
  }
  /// Play pressed at `at`: what sounds from here on is heard from this moment.
  void pressPlay(double at = kStart) {
    if (!listening_) port.clearLog();
    listening_ = true;
    origin_ = at;
    clock.now = at;
    form.dispatch(Event::click(ControlId::PlayStop));
    take();
  }
  /// Forgets what was heard so far.
  void forget() { sounded_.clear(); }
  /// The window's timers run until `until`, each tick taken `late(n)` seconds after the
  /// moment it asked to be woken (a busy thread).
  void runUntil(double until, const std::function<double(int)>& late = nullptr) {
    for (int n = 0; n < 1000; ++n) {
      const double wake = form.nextWake();
      if (wake > until + 1e-9) return;  // a moment summed from steps may be off by a bit
      clock.now = std::max(clock.now, wake + (late ? late(n) : 0));
      form.dispatch(Event::tick());
      take();
    }
    ADD_FAILURE() << "the timers never got to " << until;
  }
  /// What sounded, in milliseconds after the last Play: a click as "500" ("500!" when
  /// accented), a note of the record as "500n".
  std::string heard() const {
    std::string out;
    for (const auto& [word, at] : sounded_) {
      const std::string kind = word.substr(6);
      if (kind != "99" && kind != "90") continue;
      const bool accent = kind == "99" && word.substr(4, 2) == "4C";
      const char* mark = kind == "90" ? "n" : accent ? "!" : "";
      out += (out.empty() ? "" : " ") + std::to_string(std::lround((at - origin_) * 1000)) + mark;
    }
    return out;
  }
  /// The verdict on the first chord's row when `button` is pressed at `at` (stamped).
  std::string chordPressedAt(double at, int button) {
    const std::string key = keyFor(button);
    clock.now = std::max(clock.now, at);  // a key is stamped no later than it reaches the window
    if (button >= kButtonsPerBlock && !form.hands.keys.pushing())
      form.dispatch(Event::keyDown(form.hands.keyMap.bellows, false, at));
    form.dispatch(Event::keyDown(key, false, at));
    form.dispatch(Event::keyUp(key, at + 0.1));
    take();
    const auto& notes = form.ZahlenSchirm.rowNotes;
    const auto row = std::size_t(form.replaySpan().first - 1);
    return row < notes.size() ? notes[row] : "";
  }
  /// The beats the count-in shows as left ("?" for another caption).
  std::string beatsShown() {
    for (int beats = 1; beats <= 16; ++beats)
      if (form.AccordDisplay.caption == form.say(Text::CountIn, {std::to_string(beats)}))
        return std::to_string(beats);
    return "?";
  }
  std::string keyFor(int button) {
    for (const auto& [key, position] : form.hands.keyMap.positions)
      if (position == button % kButtonsPerBlock) return key;
    ADD_FAILURE() << "no key for button " << button;
    return {};
  }

 private:
  /// Each word sent with the moment it sounds: the moment it carries, or when it was sent.
  void take() {
    std::size_t word = 0;
    for (const auto& line : port.log) {
      if (line.size() != 8) continue;  // OPEN, CLOSE
      if (word >= taken_) {
        const SoundTime at = port.times.at(word);
        sounded_.emplace_back(line, at == kAtOnce ? clock.now : at);
      }
      ++word;
    }
    taken_ = word;
  }
  std::vector<std::pair<std::string, double>> sounded_;
  std::size_t taken_ = 0;
  bool listening_ = false;
  double origin_ = kStart;
};

// ---- Playing along

/// A count-in played along at 120 a minute in 4/4: what is heard up to the first chord, the
/// beats shown meanwhile, and the first chord's moment.
struct CountInCase {
  const char* what;
  int steps;   ///< a beat's steps
  int pickup;  ///< steps before the first whole bar
  int first;   ///< the section's first event
  bool clicked;
  const char* heard;
  const char* shown;
  double chordAt;  ///< seconds after Play
};

void PrintTo(const CountInCase& c, std::ostream* out) {
  *out << c.what;
}

class CountInCaseTest : public CountInTest, public ::testing::WithParamInterface<CountInCase> {};

TEST_P(CountInCaseTest, ABarOfEvenClicksAndTheFirstChordOnTheBeatAfterThem) {
  const CountInCase& c = GetParam();
  const std::vector<std::string> events{"44/", "47/", "50/", "53/", "56/", "59/"};
  loadEvents(events);
  form.NotenSchirm.selected = c.first - 1;
  form.SectionFirst_Click();
  playAlongIn(4, c.steps, 120, c.pickup);
  form.setToggleValue(form.CountInClick, c.clicked ? 1 : 0);
  pressPlay();
  // The beats left are shown, each once however many steps a beat has.
  std::string shown, last;
  for (double at = kStart; at < kStart + c.chordAt;) {
    if (form.AccordDisplay.caption != last) shown += (shown.empty() ? "" : "|") + beatsShown();
    last = form.AccordDisplay.caption;
    runUntil(at += 0.5 / c.steps);
  }
  EXPECT_EQ(heard(), c.heard);
  EXPECT_EQ(shown, c.shown);
  EXPECT_EQ(form.AccordDisplay.caption, "");
  EXPECT_EQ(chordPressedAt(kStart + c.chordAt, std::stoi(events[std::size_t(c.first - 1)])), "0");
}

// The metronome takes over on the first chord: accented on the first beat of a bar. A pickup, and
// a section that starts on the third beat, are counted in from a whole bar on to their beat;
// without the count-in the metronome gives the beats of the two steps before the first chord.
INSTANTIATE_TEST_SUITE_P(
    Grids, CountInCaseTest,
    ::testing::Values(
        CountInCase{"quarters", 1, 0, 1, true, "0! 500 1000 1500 2000!", "4|3|2|1", 2.0},
        CountInCase{"eighths", 2, 0, 1, true, "0! 500 1000 1500 2000!", "4|3|2|1", 2.0},
        CountInCase{"sixteenths", 4, 0, 1, true, "0! 500 1000 1500 2000!", "4|3|2|1", 2.0},
        CountInCase{"pickup", 1, 1, 1, true, "0! 500 1000 1500 2000! 2500 3000 3500",
                    "7|6|5|4|3|2|1", 3.5},
        CountInCase{"section", 1, 0, 3, true, "0! 500 1000 1500 2000! 2500 3000", "6|5|4|3|2|1",
                    3.0},
        CountInCase{"silent", 1, 0, 1, false, "0 500 1000!", "2|1", 1.0}),
    [](const auto& test) { return std::string(test.param.what); });

TEST_F(CountInTest, TheNextPassIsCountedInWithOneAccentAndTheSameBeats) {
  loadEvents({"44/", "47/"});
  playAlongIn(4, 1);
  pressPlay();
  runUntil(kStart + 2.9);
  forget();
  runUntil(kStart + 5.0);
  // Chords at 2.0 and 2.5; the pass ends on the next beat, which starts the count-in.
  EXPECT_EQ(heard(), "3000! 3500 4000 4500 5000!");
}

TEST_F(CountInTest, PauseInTheCountInCountsInAfreshAtPlay) {
  loadEvents({"44/", "47/"});
  playAlongIn(4, 1);
  pressPlay(kStart - 10);
  runUntil(kStart - 9.0);  // three clicks of the count-in
  clock.now = kStart - 8.8;
  form.dispatch(Event::click(ControlId::Break));
  forget();
  pressPlay();
  runUntil(kStart + 2.0);
  EXPECT_EQ(heard(), "0! 500 1000 1500 2000!");
}

// ---- Plain replay

TEST_F(CountInTest, ReplayCountsInAtTheSlidersTempoFromTheFirstPlay) {
  loadEvents({"44/", "47/"});
  form.setToggleValue(form.CountInClick, 1);
  form.dispatch(Event::value(ControlId::Speed, 23));  // 550 ms a step
  pressPlay();
  runUntil(kStart + 2.2);
  EXPECT_EQ(heard(), "0! 550 1100 1650 2200n");
}

TEST_F(CountInTest, ReplayWithoutTheCountInPlaysTheFirstEventTwoStepsAfterPlay) {
  loadEvents({"44/", "47/"});
  form.dispatch(Event::value(ControlId::Speed, 24));  // 350 ms a step
  pressPlay();
  EXPECT_EQ(form.AccordDisplay.caption, form.say(Text::CountIn, {"2"}));
  runUntil(kStart + 1.05);
  EXPECT_EQ(heard(), "700n 1050n");
}

TEST_F(CountInTest, PlayAfterPauseGoesOnAStepLaterAtTheTempoSetMeanwhile) {
  loadEvents({"44/", "47/", "50/"});
  form.dispatch(Event::value(ControlId::Speed, 23));  // 550 ms
  pressPlay(kStart - 10);
  runUntil(kStart - 10 + 1.65);  // events 1 and 2
  form.dispatch(Event::click(ControlId::Break));
  form.dispatch(Event::value(ControlId::Speed, 25));  // 150 ms, set while paused
  forget();
  pressPlay();
  runUntil(kStart + 0.45);
  EXPECT_EQ(heard(), "150n 450n") << "event 3, a rest, event 1";
}

// ---- Time: an output that takes its steps ahead, a thread late to its ticks

TEST_F(CountInTest, AnOutputThatSchedulesHearsTheCountInOnTheGridHoweverLateTheTicks) {
  // Steps are handed over 40 ms before they sound, Play's own click too, so that the first beat
  // is as long as the others. Each tick runs up to 450 ms late (less than a step: a machine
  // further behind starts the grid afresh); the steps are placed by their places on the grid.
  loadEvents({"44/", "47/", "50/", "53/"});
  port.lead = 0.04;
  playAlongIn(4, 1);
  pressPlay();
  runUntil(kStart + 2.0, [](int n) { return 0.45 * ((n * 7) % 10) / 9.0; });
  EXPECT_EQ(heard(), "40! 540 1040 1540 2040!");
  EXPECT_EQ(std::count(port.times.begin(), port.times.end(), kAtOnce), 0)
      << "a click sent at once, off the grid";
}

TEST_F(CountInTest, AnOutputThatSchedulesHasTheFirstChordJudgedWhereItSounds) {
  loadEvents({"44/", "47/"});
  port.lead = 0.04;
  playAlongIn(4, 1);
  pressPlay();
  runUntil(kStart + 2.0);
  EXPECT_EQ(chordPressedAt(kStart + 2.04, 44), "0");
}
