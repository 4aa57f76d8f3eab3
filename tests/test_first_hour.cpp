// What a learner meets in the first hour: choices that come back after a restart, the first
// start, the four languages, the tuning's names and the name a recording is saved under.
#include <algorithm>

#include "exchange/midi_file.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

const std::string kSettings = "Data/Tastrel.Ini";

class FirstHourTest : public FormTest {
 protected:
  /// Ends the program and starts it again on the same working folder.
  void restart() {
    form = Form1({&port, &files, nullptr, &clock});
    start();
  }
  bool click(ControlId id) { return form.dispatch(Event::click(id)); }
  /// The entry of the tuning chooser that shows `name`.
  int tuningEntry(const std::string& name) const {
    const auto& items = form.TuningChooser.items;
    return static_cast<int>(std::find(items.begin(), items.end(), name) - items.begin());
  }
  /// The value line after the first occurrence of `key` in the settings file.
  std::string setting(const std::string& key) {
    const auto lines = files.lines(kSettings);
    const auto at = std::find(lines.begin(), lines.end(), key);
    return at == lines.end() || at + 1 == lines.end() ? "<none>" : *(at + 1);
  }
};

}  // namespace

// ---- Choices remembered

TEST_F(FirstHourTest, EveryChoiceMadeInTheWindowComesBackAfterARestart) {
  ASSERT_TRUE(form.dispatch(Event::value(ControlId::Speed, 12)));  // hidden while practising
  ASSERT_TRUE(click(ControlId::KeyLetters));
  ASSERT_TRUE(click(ControlId::RecordLession));
  ASSERT_TRUE(click(ControlId::CountInClick));
  ASSERT_TRUE(click(ControlId::PlayAlong));  // switches the metronome on ...
  ASSERT_TRUE(click(ControlId::Metronome));  // ... and the learner switches it off again
  ASSERT_TRUE(click(ControlId::KeyboardPlay));
  ASSERT_TRUE(click(ControlId::Expand));
  ASSERT_TRUE(form.dispatch(Event::choose(ControlId::TuningChooser, tuningEntry("A-D-G"))));
  const Toggle before[] = {form.KeyLetters, form.RecordLession, form.CountInClick,
                           form.PlayAlong,  form.Metronome,     form.KeyboardPlay};
  ASSERT_EQ(form.Metronome.value, 0);
  ASSERT_EQ(form.KeyboardPlay.value, 0);

  restart();
  const Toggle after[] = {form.KeyLetters, form.RecordLession, form.CountInClick,
                          form.PlayAlong,  form.Metronome,     form.KeyboardPlay};
  for (std::size_t i = 0; i < std::size(before); ++i) EXPECT_EQ(after[i].value, before[i].value) << i;
  EXPECT_EQ(form.Practice.value, 0);
  EXPECT_EQ(form.Speed.value, 12);
  EXPECT_EQ(form.chosenTuning, "Notes_A-D-G.txt");
  EXPECT_EQ(form.layoutInForce, "Notes_A-D-G.txt");
  EXPECT_EQ(form.TuningChooser.items.at(std::size_t(form.TuningChooser.selected)), "A-D-G");
  // What the choices show follows them: the lessons are listed, the keys carry their letters.
  EXPECT_EQ(form.RecordList.pattern, "Lesson*");
  EXPECT_FALSE(form.Keys[0].tag.empty());
  // The older keys keep their places and values: the language is still on the second line,
  // and the instrument list is whole.
  const auto lines = files.lines(kSettings);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "LANGUAGE:"), 1);
  EXPECT_EQ(setting("LANGUAGE:"), "Lang_ger.txt");
  EXPECT_EQ(form.instrumentNames[128], "Gunshot");
  EXPECT_EQ(form.status().problemCount(), 0) << form.StatusLine.toolTip;
}

TEST_F(FirstHourTest, TheWaitingPracticeAndTheRecordsOwnTuningComeBackToo) {
  ASSERT_TRUE(click(ControlId::Practice));
  ASSERT_TRUE(click(ControlId::Expand));
  ASSERT_TRUE(form.dispatch(Event::choose(ControlId::TuningChooser, tuningEntry("A-D-G"))));
  ASSERT_TRUE(form.dispatch(Event::choose(ControlId::TuningChooser, 0)));  // the record's own
  restart();
  EXPECT_EQ(form.Practice.value, 1);
  EXPECT_EQ(form.PlayAlong.value, 0);
  EXPECT_EQ(form.chosenTuning, "");
  EXPECT_EQ(setting("PRACTICE:"), "WAIT");
  EXPECT_EQ(setting("TUNING:"), "");
}

TEST_F(FirstHourTest, TheSettingsAreWrittenOnlyWhenAChoiceChanges) {
  files.replaceCount = 0;
  for (int i = 0; i < 50; ++i) form.dispatch(Event::tick());
  form.dispatch(Event::click(ControlId::Keys, 44));  // playing is no choice
  form.dispatch(Event::value(ControlId::Speed, form.Speed.value));
  EXPECT_EQ(files.replaceCount, 0);
  click(ControlId::CountInClick);
  click(ControlId::Metronome);
  EXPECT_EQ(files.replaceCount, 2);  // one write each, never one a key
}

TEST_F(FirstHourTest, AChoiceTheProgramDoesNotKnowIsSaidAndTheDefaultHolds) {
  const std::string defaultMetronome = std::to_string(form.Metronome.value);
  files.files[kSettings] += joinLines({"TEMPO:", "99", "PRACTICE:", "MAYBE", "METRONOME:", "yes",
                                       "TUNING:", "Notes_None.txt", "SHOW-KEYS:", "TRUE"});
  restart();
  EXPECT_EQ(form.Speed.value, 23);
  EXPECT_EQ(form.Practice.value + form.PlayAlong.value, 0);
  EXPECT_EQ(std::to_string(form.Metronome.value), defaultMetronome);
  EXPECT_EQ(form.chosenTuning, "");  // a tuning that cannot be loaded leaves the shipped one
  EXPECT_EQ(form.layoutInForce, "Notes_G-C-F.txt");
  EXPECT_EQ(form.KeyLetters.value, 1);  // the good values still count
  EXPECT_GE(form.status().problemCount(), 4);
  for (const char* said : {"TEMPO: 99", "PRACTICE: MAYBE", "METRONOME: yes"})
    EXPECT_NE(form.StatusLine.toolTip.find(said), std::string::npos) << said;
}

// ---- The first start

TEST_F(FirstHourTest, TheFirstStartShowsTheLessonsAndSaysWhatToDoFirst) {
  ASSERT_EQ(form.RecordList.items, std::vector<std::string>{"Records_Demo.txt"});
  form.welcome();
  EXPECT_EQ(form.RecordLession.value, 1);
  EXPECT_EQ(form.RecordList.items.size(), 8u);
  EXPECT_EQ(form.RecordList.items.front(), "Lessons_1 C-Dur Tonleiter.txt");
  EXPECT_NE(form.StatusLine.caption.find(form.Label8.caption), std::string::npos);
  EXPECT_EQ(form.status().problemCount(), 0);
  // The next start is no first start, and the lessons stay until the learner switches.
  restart();
  EXPECT_EQ(form.RecordLession.value, 1);
  EXPECT_TRUE(form.StatusLine.caption.empty());
}

// ---- Languages

TEST_F(FirstHourTest, BavarianIsChosenByItsFlagAndSpellsPlayingOneWay) {
  ASSERT_TRUE(click(ControlId::Picture4));
  EXPECT_EQ(form.languageFile, "LANG_BAY.TXT");
  EXPECT_EQ(setting("LANGUAGE:"), "LANG_BAY.TXT");
  EXPECT_EQ(form.Picture4.toolTip, "Boarisch");
  EXPECT_EQ(form.Label8.caption, "Obspuin");
  restart();
  EXPECT_EQ(form.Label8.caption, "Obspuin");
  // The word for playing back is spelled alike on the buttons, in the captions and the tips.
  std::string everything = *files.read("Data/LANG_BAY.TXT");
  for (int id = 0; id < static_cast<int>(Text::Count); ++id)
    everything += uiText(UiLanguage::Bavarian, static_cast<Text>(id)) + "\n";
  EXPECT_EQ(everything.find("Oospu"), std::string::npos);
  EXPECT_NE(everything.find("Obspui-Modus"), std::string::npos);
}

// ---- The tuning's names

TEST_F(FirstHourTest, ARetunedRecordIsListedWithTheNamesOfTheTuningInForce) {
  click(ControlId::RecordLession);
  const std::string file = "Records/Lessons_1 C-Dur Tonleiter.txt";
  const std::string bytes = *files.read(file);
  load("Lessons_1 C-Dur Tonleiter.txt");
  ASSERT_EQ(form.layoutInForce, "Notes_G-C-F.txt");
  const auto own = form.NotenSchirm.items;
  ASSERT_EQ(own.at(0), displayTextFromNameLine("c1/"));  // button 44 in G-C-F

  click(ControlId::Expand);
  ASSERT_TRUE(form.dispatch(Event::choose(ControlId::TuningChooser, tuningEntry("A-D-G"))));
  // Button 44 is another note in A-D-G: the list says what the button and the status line say.
  const std::string caption = right(form.Keys[44].caption, 3);
  ASSERT_NE(caption, right(std::string("  c1"), 3));
  EXPECT_EQ(form.NotenSchirm.items.at(0), displayTextFromNameLine(caption + "/"));
  EXPECT_EQ(form.NotenSchirm.items.size(), own.size());
  // Loading it again in the chosen tuning names it the same way; the file is not touched.
  load("Lessons_1 C-Dur Tonleiter.txt");
  EXPECT_EQ(form.NotenSchirm.items.at(0), displayTextFromNameLine(caption + "/"));
  EXPECT_EQ(*files.read(file), bytes);
  // Back to the record's own tuning, its own names come back.
  ASSERT_TRUE(form.dispatch(Event::choose(ControlId::TuningChooser, 0)));
  EXPECT_EQ(form.NotenSchirm.items, own);
}

TEST_F(FirstHourTest, TuningsAreOfferedByTheirNames) {
  const auto& items = form.TuningChooser.items;
  for (const char* name : {"A-D-G", "B-Es-As", "C-F-B", "F-B-Es", "G-C-F", "H-E-A"})
    EXPECT_NE(std::find(items.begin(), items.end(), name), items.end()) << name;
  for (const auto& item : items) EXPECT_EQ(item.find("Notes_"), std::string::npos) << item;
}

// ---- The editor's name field

TEST_F(FirstHourTest, ContinuingARecordSavesItUnderItsOwnNameAndShowsWhatWasSaved) {
  load("Records_Demo.txt");
  const auto events = form.NotenSchirm.items.size();
  click(ControlId::Record);
  EXPECT_EQ(form.SaveName.text, "Demo");
  form.Keys_Click(44);
  form.NextRecord_Click();
  click(ControlId::SaveRecord);  // the record's own file: no second click needed
  EXPECT_EQ(form.status().problemCount(), 0) << form.StatusLine.toolTip;
  EXPECT_FALSE(form.EditBox.visible);
  EXPECT_EQ(form.Label2.caption, "Records_Demo.txt");
  EXPECT_EQ(form.Infos.caption, "Demo");
  EXPECT_EQ(form.NotenSchirm.items.size(), events + 1);  // the list shows the file as saved
  EXPECT_TRUE(form.SaveName.text.empty());
}

TEST_F(FirstHourTest, ANewRecordingAndACancelledImportLeaveNoNameBehind) {
  form.SaveName.text = "left over";
  click(ControlId::Record);
  EXPECT_TRUE(form.SaveName.text.empty());
  click(ControlId::CancelRec);
  form.importMidi(writeMidiFile(480, 500000, "Tune", {{{0, {0x90, 60, 100}}, {400, {0x80, 60, 0}}}}),
                  "Tune", MidiPart{});
  ASSERT_TRUE(form.EditBox.visible);
  EXPECT_EQ(form.SaveName.text, "Tune");
  click(ControlId::CancelRec);  // the import's events are unsaved: asked first
  click(ControlId::CancelRec);
  EXPECT_FALSE(form.EditBox.visible);
  EXPECT_TRUE(form.SaveName.text.empty());
  click(ControlId::Record);
  EXPECT_TRUE(form.SaveName.text.empty());
}
