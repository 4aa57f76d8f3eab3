// The contract between the window object and a front end: the table of controls, events that
// reach their handlers (and only shown, enabled controls), the time the window object keeps
// for its timers and replay, and the requests a front end answers.
#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "exchange/midi_file.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

// ---- The table

class ControlTableTest : public FormTest {
 protected:
  /// Makes a control and what it lies on shown and enabled, so that its events are taken.
  void reveal(ControlId id, int index) {
    for (; id != ControlId::Window; id = controlInfo(id).parent, index = 0) {
      Control* c = form.control(id, index);
      ASSERT_TRUE(c) << controlInfo(id).name;
      c->visible = c->enabled = true;
    }
  }
  /// The event that a front end sends for a control of this kind.
  Event eventFor(const ControlInfo& info) {
    Control* c = form.control(info.id, info.count > 1 ? 5 : 0);
    switch (info.kind) {
      case ControlKind::List: {
        auto& list = static_cast<ListBox&>(*c);
        if (list.items.empty()) list.items.push_back("a row");
        return Event::row(info.id, 0);
      }
      case ControlKind::TextField:
        return Event::typed(info.id, "Name");
      case ControlKind::Slider: {
        auto& slider = static_cast<Slider&>(*c);
        return Event::value(info.id,
                            slider.value == slider.minimum ? slider.maximum : slider.minimum);
      }
      case ControlKind::Chooser: {
        auto& chooser = static_cast<Chooser&>(*c);
        if (chooser.values.empty()) chooser.items = chooser.values = {""};
        return Event::choose(info.id, 0);
      }
      case ControlKind::Timer: {
        Timer& t = *form.timer(info.id);
        t.enabled = true;
        t.due = clock.now;
        return Event::tick();
      }
      default:
        return Event::click(info.id, info.count > 1 ? 5 : 0);
    }
  }
};

TEST_F(ControlTableTest, EveryControlsEventReachesItsHandler) {
  int withHandlers = 0;
  for (const ControlInfo& info : controlTable()) {
    if (info.handler[0] == 0) continue;
    ++withHandlers;
    if (info.kind != ControlKind::Timer) reveal(info.id, info.count > 1 ? 5 : 0);
    // Other timers due now would run first: only this one waits.
    for (const ControlInfo& other : controlTable())
      if (Timer* t = form.timer(other.id)) t->enabled = false;
    const Event event = eventFor(info);
    EXPECT_TRUE(form.dispatch(event)) << info.name;
    EXPECT_STREQ(form.handled, info.handler) << info.name;
    for (const auto& request : form.takeRequests())  // nobody answers here
      form.dispatch(Event::cancelledAnswer(request.id));
  }
  EXPECT_GT(withHandlers, 50);
}

TEST_F(ControlTableTest, CheckBoxesWithoutAHandlerTakeTheirValueFromTheClick) {
  for (ControlId id : {ControlId::Check4, ControlId::CountInClick, ControlId::Metronome}) {
    reveal(id, 0);
    auto& toggle = static_cast<Toggle&>(*form.control(id));
    const int before = toggle.value;
    EXPECT_TRUE(form.dispatch(Event::click(id)));
    EXPECT_EQ(toggle.value, 1 - before) << controlInfo(id).name;
    EXPECT_STREQ(form.handled, "");
  }
}

TEST(ControlTableSourceTest, EveryHandlerTheWindowObjectDeclaresIsInTheTable) {
  std::ifstream header(std::string(TASTRELLO_SOURCE) + "/shell/main_window.h");
  ASSERT_TRUE(header);
  std::stringstream text;
  text << header.rdbuf();
  const std::string source = text.str();
  std::set<std::string> inTable;
  for (const auto& info : controlTable()) inTable.insert(info.handler);
  const std::regex declared(R"(void (\w+_(?:Click|Change|Timer))\()");
  int found = 0;
  for (std::sregex_iterator it(source.begin(), source.end(), declared), end; it != end; ++it) {
    ++found;
    EXPECT_TRUE(inTable.count((*it)[1])) << (*it)[1] << " is reached by no control";
  }
  EXPECT_GT(found, 50);
}

TEST_F(ControlTableTest, NamesAreUniqueAndEveryControlIsFoundByNameAndState) {
  std::set<std::string> names;
  for (const ControlInfo& info : controlTable()) {
    EXPECT_TRUE(names.insert(info.name).second) << info.name;
    EXPECT_EQ(controlNamed(info.name), info.id);
    EXPECT_EQ(&controlInfo(info.id), &info);
    if (info.kind == ControlKind::Timer) {
      EXPECT_TRUE(form.timer(info.id)) << info.name;
      EXPECT_FALSE(form.control(info.id)) << info.name;
      continue;
    }
    for (int i = 0; i < info.count; ++i) {
      Control* c = form.control(info.id, i);
      ASSERT_TRUE(c) << info.name << i;
      EXPECT_EQ(form.idOf(*c), info.id) << info.name << i;
    }
    EXPECT_FALSE(form.control(info.id, info.count)) << "past the end of " << info.name;
  }
  EXPECT_EQ(controlNamed("NoSuchControl"), ControlId::Window);
}

// ---- Events

class DispatchTest : public FormTest {};

TEST_F(DispatchTest, WhatIsNotShownOrNotEnabledTakesNoEvent) {
  form.Record_Click();  // recording: the transport is hidden, Save enabled
  EXPECT_FALSE(form.dispatch(Event::click(ControlId::PlayStop)));
  EXPECT_STREQ(form.handled, "");
  form.SaveRecord.enabled = false;
  EXPECT_FALSE(form.dispatch(Event::click(ControlId::SaveRecord)));
  // A control on a hidden one is hidden too: the option on the splash.
  EXPECT_FALSE(form.Splashscreen.visible);
  EXPECT_FALSE(form.dispatch(Event::click(ControlId::NeverShow)));
  EXPECT_EQ(form.NeverShow.value, 0);
  // An event a kind does not have.
  EXPECT_FALSE(form.dispatch(Event::row(ControlId::Record, 0)));
  EXPECT_FALSE(form.dispatch(Event::click(ControlId::Label2)));
}

TEST_F(DispatchTest, ValuesAreHeldInsideWhatTheControlOffers) {
  EXPECT_TRUE(form.dispatch(Event::value(ControlId::Speed, 99)));
  EXPECT_EQ(form.Speed.value, form.Speed.maximum);
  EXPECT_TRUE(form.dispatch(Event::row(ControlId::NoteList, 999)));
  EXPECT_EQ(form.NoteList.selected, -1);
  form.Expand_Click();
  EXPECT_FALSE(form.dispatch(Event::choose(ControlId::TuningChooser, 999)));
  EXPECT_TRUE(form.dispatch(Event::choose(ControlId::TuningChooser, 2)));
  EXPECT_EQ(form.chosenTuning, form.TuningChooser.values[2]);
}

TEST_F(DispatchTest, AChoiceJustPastTheLastEntryIsRefusedAndTheLastIsTaken) {
  form.Expand_Click();
  const int count = int(form.TuningChooser.values.size());
  ASSERT_GE(count, 3);
  ASSERT_NE(form.TuningChooser.selected, count - 1);
  const int before = form.TuningChooser.selected;
  const std::string tuning = form.chosenTuning;
  for (int outside : {count, -1}) {
    EXPECT_FALSE(form.dispatch(Event::choose(ControlId::TuningChooser, outside))) << outside;
    EXPECT_EQ(form.TuningChooser.selected, before) << outside;
    EXPECT_EQ(form.chosenTuning, tuning) << outside;
  }
  EXPECT_TRUE(form.dispatch(Event::choose(ControlId::TuningChooser, count - 1)));
  EXPECT_EQ(form.TuningChooser.selected, count - 1);
  EXPECT_EQ(form.chosenTuning, form.TuningChooser.values[std::size_t(count) - 1]);
}

TEST_F(DispatchTest, ARowJustPastTheLastIsNoRowAndTheLastIsSelected) {
  const int rows = int(form.NoteList.items.size());
  ASSERT_GE(rows, 2);
  for (int outside : {rows, -1}) {
    EXPECT_TRUE(form.dispatch(Event::row(ControlId::NoteList, rows - 1)));
    EXPECT_EQ(form.NoteList.selected, rows - 1);
    EXPECT_TRUE(form.dispatch(Event::row(ControlId::NoteList, outside))) << outside;
    EXPECT_EQ(form.NoteList.selected, -1) << outside;
  }
}

TEST_F(DispatchTest, AKeyHeldDownSoundsOnceWhateverItsRepeatsAndTheBellows) {
  EXPECT_TRUE(form.dispatch(Event::keyDown("A")));
  for (int i = 0; i < 25; ++i) EXPECT_TRUE(form.dispatch(Event::keyDown("A", true)));
  EXPECT_TRUE(form.dispatch(Event::keyDown("Space")));
  for (int i = 0; i < 25; ++i) EXPECT_TRUE(form.dispatch(Event::keyDown("Space", true)));
  EXPECT_EQ(port.notes().size(), 2u) << "the pull note, then the push note at the turn";
  EXPECT_TRUE(form.hands.keys.pushing());
  EXPECT_FALSE(form.dispatch(Event::keyDown("F13")));  // no key of the map
}

// ---- Time

class TimeTest : public FormTest {
 protected:
  void tick(double seconds) {
    clock.now += seconds;
    form.dispatch(Event::tick());
  }
};

TEST_F(TimeTest, ReplayStepsComeAtTheirMomentsAndAStalledMachineDoesNotBurst) {
  loadEvents({"44/", "47/", "50/", "53/"});
  form.Speed.value = 25;  // 150 ms a step, from the next wait on
  const double start = clock.now;
  form.dispatch(Event::click(ControlId::PlayStop));
  EXPECT_DOUBLE_EQ(form.nextWake(), start + 0.15) << "Play is a step at the tempo in force";
  tick(0.149);
  EXPECT_EQ(form.replayPosition, -1) << "a tick before its time runs nothing";
  tick(0.001);
  EXPECT_DOUBLE_EQ(form.nextWake(), start + 0.30);
  tick(0.15);
  EXPECT_EQ(form.currentEvent(), 1);
  // The machine stalls for two seconds: one step now, then the grid goes on from here.
  tick(2.0);
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_DOUBLE_EQ(form.nextWake(), clock.now + 0.15);
  form.dispatch(Event::click(ControlId::Break));
  EXPECT_LT(form.Timer1.due, 0) << "a paused replay wakes nobody";
  form.SplashTimer.enabled = false;  // the splash's first tick, still to come
  EXPECT_TRUE(std::isinf(form.nextWake()));
}

TEST_F(TimeTest, AnOutputThatSchedulesGetsEachStepAheadWithItsMoment) {
  loadEvents({"44/47/", kBreakMute, "50/"});
  port.lead = 0.04;
  form.Speed.value = 25;
  form.Speed_Click();
  form.Timer1.interval = 150;
  const double start = clock.now;
  form.dispatch(Event::click(ControlId::PlayStop));
  // Play is a step sounding 40 ms from now, as the steps handed over ahead do.
  EXPECT_DOUBLE_EQ(form.nextWake(), start + 0.15);
  tick(0.15);  // the count-in step, prepared ahead
  port.times.clear();
  port.closeTimes.clear();
  tick(0.15);  // event 1, 40 ms before its moment
  const double moment = start + 0.34;
  ASSERT_EQ(form.currentEvent(), 1);
  EXPECT_TRUE(form.showsAhead()) << "the front end draws the step when it sounds";
  EXPECT_DOUBLE_EQ(form.nextWake(), moment);
  ASSERT_FALSE(port.times.empty());
  for (SoundTime at : port.times) EXPECT_DOUBLE_EQ(at, moment);
  EXPECT_DOUBLE_EQ(port.closeTimes.back(), moment) << "the cut before the chord is placed too";
  tick(0.04);
  EXPECT_FALSE(form.showsAhead());
  // The silent rest silences at its own moment.
  tick(0.15 - 0.04);
  EXPECT_DOUBLE_EQ(port.closeTimes.back(), moment + 0.15);
  // What the learner does sounds at once.
  port.times.clear();
  form.dispatch(Event::click(ControlId::Keys, 10));
  ASSERT_FALSE(port.times.empty());
  for (SoundTime at : port.times) EXPECT_EQ(at, kAtOnce);
}

TEST_F(TimeTest, TimersSetFromCodeCountFromThenAndEachRunsInTheOrderOfItsMoment) {
  form.splashState = "TRUE";
  form.SplashTimer.enabled = true;
  form.SplashTimer.due = -1;
  form.dispatch(Event::tick());  // enabled by code before: counts from this event
  EXPECT_DOUBLE_EQ(form.nextWake(), clock.now + 2.0);
  tick(2.0);
  EXPECT_TRUE(form.Splashscreen.visible);
  EXPECT_EQ(form.SplashTimer.interval, 5000);
  EXPECT_DOUBLE_EQ(form.nextWake(), clock.now + 5.0) << "the new interval from the next wait";
  tick(5.0);
  EXPECT_FALSE(form.Splashscreen.visible);
  EXPECT_FALSE(form.SplashTimer.enabled);
}

// ---- Requests

class RequestTest : public FormTest {
 protected:
  Request only() {
    auto requests = form.takeRequests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? Request{} : requests.front();
  }
  /// A file with two tracks of notes: a melody of two notes and a bass of one.
  static std::string twoTracks() {
    auto note = [](long long tick, int channel, int pitch, long long length) {
      return std::vector<MidiEvent>{
          {tick, {std::uint8_t(0x90 | channel), std::uint8_t(pitch), 100}},
          {tick + length, {std::uint8_t(0x80 | channel), std::uint8_t(pitch), 0}}};
    };
    auto melody = note(0, 0, 60, 400);
    const auto second = note(480, 0, 64, 400);
    melody.insert(melody.end(), second.begin(), second.end());
    return writeMidiFile(480, 500000, "Two", {melody, note(0, 1, 48, 900)});
  }
};

TEST_F(RequestTest, AnImportAsksForTheFileThenForThePartAndOpensTheEditor) {
  ASSERT_TRUE(form.dispatch(Event::click(ControlId::MidiImport)));
  const Request open = only();
  EXPECT_EQ(open.kind, Request::Kind::OpenFile);
  EXPECT_EQ(open.largest, 16u << 20);
  form.dispatch(Event::fileChosen(open.id, "Two", twoTracks()));
  const Request part = only();
  ASSERT_EQ(part.kind, Request::Kind::ChooseOne);
  ASSERT_EQ(part.options.size(), 3u);  // every track, and each of the two
  EXPECT_EQ(part.options[0], form.say(Text::MidiPartAll));
  form.dispatch(Event::chosen(part.id, 1));
  EXPECT_TRUE(form.EditBox.visible);
  EXPECT_EQ(form.EditBox.items.size(), 2u) << "the melody alone";
  EXPECT_EQ(form.SaveName.text, "Two");
  // An answer given twice, or to nothing asked, changes nothing.
  form.dispatch(Event::chosen(part.id, 0));
  EXPECT_EQ(form.EditBox.items.size(), 2u);
}

TEST_F(RequestTest, AScoreIsOfferedAndRefusedWithTheReasonWhereNoReaderOfXmlIsGiven) {
  form.dispatch(Event::click(ControlId::MidiImport));
  const Request open = only();
  for (const char* extension : {"mid", "midi", "musicxml", "xml", "mxl"})
    EXPECT_NE(std::find(open.options.begin(), open.options.end(), extension), open.options.end())
        << extension;
  // As in the web edition, which has no reader of XML: the reason, and nothing opened.
  form.dispatch(Event::fileChosen(open.id, "Tune.musicxml",
                                  "\xEF\xBB\xBF <?xml version=\"1.0\"?><score-partwise/>"));
  EXPECT_FALSE(form.EditBox.visible);
  EXPECT_NE(form.StatusLine.caption.find(form.say(Text::WhyNoMusicXml)), std::string::npos);
  form.dispatch(Event::click(ControlId::MidiImport));
  form.dispatch(Event::fileChosen(only().id, "Tune.mxl", std::string("PK\x03\x04", 4)));
  EXPECT_NE(form.StatusLine.caption.find(form.say(Text::WhyNoMusicXml)), std::string::npos);
}

TEST_F(RequestTest, ACancelledOrRefusedFileChangesNothingButSaysWhy) {
  form.dispatch(Event::click(ControlId::MidiImport));
  form.dispatch(Event::cancelledAnswer(only().id));
  EXPECT_FALSE(form.EditBox.visible);
  EXPECT_EQ(form.problemCount, 0);
  form.dispatch(Event::click(ControlId::MidiImport));
  form.dispatch(Event::fileRefused(only().id, "Pipe", form.say(Text::WhyNotAPlainFile)));
  EXPECT_FALSE(form.EditBox.visible);
  EXPECT_NE(form.StatusLine.caption.find(form.say(Text::WhyNotAPlainFile)), std::string::npos);
}

TEST_F(RequestTest, TheExportAsksTheFormatHandsOverTheFilesBytesAndSaysWhereTheyWent) {
  loadEvents({"44/47/", "10/"});
  form.dispatch(Event::click(ControlId::MidiExport));
  const Request format = only();
  ASSERT_EQ(format.kind, Request::Kind::ChooseOne);
  ASSERT_EQ(format.options.size(), 2u);
  form.dispatch(Event::chosen(format.id, 0));
  const Request save = only();
  ASSERT_EQ(save.kind, Request::Kind::SaveFile);
  EXPECT_EQ(save.bytes.substr(0, 4), "MThd");
  EXPECT_EQ(save.name, "T.mid");
  form.dispatch(Event::saved(save.id, "/home/l/T.mid"));
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgExportedMidi, {"/home/l/T.mid", "2"}));
  // The second format is a score, with the record's name and its own extension.
  form.dispatch(Event::click(ControlId::MidiExport));
  form.dispatch(Event::chosen(only().id, 1));
  const Request score = only();
  ASSERT_EQ(score.kind, Request::Kind::SaveFile);
  EXPECT_EQ(score.name, "T.musicxml");
  EXPECT_EQ(score.options, std::vector<std::string>{"musicxml"});
  EXPECT_NE(score.bytes.find("<score-partwise"), std::string::npos);
  form.dispatch(Event::cancelledAnswer(score.id));
  form.dispatch(Event::click(ControlId::MidiExport));
  form.dispatch(Event::chosen(only().id, 0));
  form.dispatch(Event::notSaved(only().id, "/full/T.mid", "no space left"));
  EXPECT_NE(form.StatusLine.caption.find("no space left"), std::string::npos);
  EXPECT_EQ(form.problemCount, 1);
}

TEST_F(RequestTest, TheMidiInputOfTheSettingsIsOpenedAtTheStartAndAFailureIsSaid) {
  form.hands.midiInSetting = "Keyboard 1";
  form.Form_Activate();
  const Request open = only();
  ASSERT_EQ(open.kind, Request::Kind::OpenMidiInput);
  EXPECT_EQ(open.name, "Keyboard 1");
  form.dispatch(Event::fileRefused(open.id, open.name, "no such port"));
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgMidiIn, {"no such port"}));
}
