// The bass side in the window object, driven as a front end drives it: chosen in the instrument
// panel and kept for the next start, drawn with its letters, and played by clicks, keys and a
// MIDI instrument's bass channel, its basses on channel 2 and its chords on channel 3 in the
// direction the bellows go; a damaged instrument file is said line by line and changes nothing.
#include <cstdio>
#include <memory>
#include <set>

#include "instrument/instrument_format.h"
#include "records/record_hands.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr const char* kSettings = "Data/Tastrel.Ini";
constexpr const char* kTwelve = "Instrument_G-C-F_12-Bass.txt";
constexpr const char* kEight = "Instrument_G-C-F_8-Bass.txt";

/// The word a fake port logs for a message.
std::string word(int status, int data1, int data2) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(data2 << 16 | data1 << 8 | status));
  return hex;
}

}  // namespace

class BassSideTest : public FormTest {
 protected:
  /// Chooses an entry of the bass chooser by its file, as a click in the chooser does.
  void choose(const std::string& file) {
    form.fillChoosers();
    const auto& values = form.BassChooser.values;
    const auto it = std::find(values.begin(), values.end(), file);
    ASSERT_NE(it, values.end()) << file;
    form.BassChooser.selected = static_cast<int>(it - values.begin());
    form.BassChooser_Click();
  }
  static int shownBassKeys(const Form1& window) {
    int n = 0;
    for (const auto& key : window.BassKeys) n += key.visible;
    return n;
  }
  int shownBassKeys() const { return shownBassKeys(form); }
  /// The window started again on the same files, as at the learner's next start.
  std::unique_ptr<Form1> restarted() {
    auto again = std::make_unique<Form1>(Services{&port, &files, nullptr, &clock});
    again->Form_Load();
    again->Form_Activate();
    return again;
  }
  /// The note-ons of the left hand's channels (2 and 3).
  std::vector<std::string> bassNoteOns() const {
    std::vector<std::string> out;
    for (const auto& line : port.log)
      if (line.size() == 8 && (line.substr(6) == "91" || line.substr(6) == "92")) out.push_back(line);
    return out;
  }
  bool sent(const std::string& w) const {
    return std::find(port.log.begin(), port.log.end(), w) != port.log.end();
  }
  /// The place of the bass button with that letter.
  int letter(const std::string& caption) const {
    for (int p = 0; p < kBassKeyCount; ++p)
      if (form.BassKeys[p].visible && form.BassKeys[p].caption == caption) return p;
    ADD_FAILURE() << "no bass button " << caption;
    return 0;
  }
};

TEST_F(BassSideTest, TheWindowHasNoBassSideUntilOneIsChosenAndOffersTheTuningsSides) {
  EXPECT_EQ(shownBassKeys(), 0);
  form.fillChoosers();
  // The tuning's own sides, and the instruments of four and five rows that begin with it.
  EXPECT_EQ(form.BassChooser.values,
            (std::vector<std::string>{"", "Instrument_G-C-F-B-Es_18-Bass.txt",
                                      "Instrument_G-C-F-B_16-Bass.txt", kTwelve, kEight}));
  EXPECT_EQ(form.BassChooser.selected, 0);
  EXPECT_EQ(form.BassChooser.items.at(3), form.say(Text::BassSideOf, {"Steirische G-C-F, 12 B\xE4sse"}));
  // Another tuning on the keyboard: its own are offered.
  form.chooseTuning("Notes_A-D-G.txt");
  EXPECT_EQ(form.BassChooser.values,
            (std::vector<std::string>{"", "Instrument_A-D-G-C_16-Bass.txt",
                                      "Instrument_A-D-G_12-Bass.txt", "Instrument_A-D-G_8-Bass.txt"}));
}

TEST_F(BassSideTest, AChosenSideShowsItsLettersUnderTheTrebleAndComesBackAfterARestart) {
  choose(kTwelve);
  EXPECT_EQ(shownBassKeys(), 12);
  for (const char* caption : {"C", "c", "B", "b", "A", "a", "C'", "c'", "B'", "b'", "A'", "a'"})
    letter(caption);
  const Control& c = form.BassKeys[letter("C")];
  EXPECT_GE(c.top, form.Keys[10].top + form.Keys[10].height) << "below the treble";
  EXPECT_EQ(c.toolTip, form.say(Text::TipBassKey, {"C", "F", "C"}));
  EXPECT_NE(files.files[kSettings].find(std::string("BASS-SIDE:\r\n") + kTwelve + "\r\n"), std::string::npos);

  EXPECT_EQ(shownBassKeys(*restarted()), 12);

  choose("");
  EXPECT_EQ(shownBassKeys(), 0);
  EXPECT_NE(files.files[kSettings].find("BASS-SIDE:\r\n\r\n"), std::string::npos);
}

TEST_F(BassSideTest, AClickSoundsTheBassOnItsChannelInTheDirectionOfTheBlockClickedLast) {
  choose(kTwelve);
  port.clearLog();
  form.dispatch(Event::click(ControlId::BassKeys, letter("C")));
  EXPECT_EQ(form.BassKeys[letter("C")].backColor, kLitKeyColour);
  EXPECT_TRUE(sent(word(0xB1, 0, 1))) << "the reed font's bank";
  EXPECT_TRUE(sent(word(0xC1, 58, 0))) << "the Helikon bass";
  EXPECT_TRUE(sent(word(0x91, 36, 99))) << "C pulling";
  // A click on the push block pushes: the bass held turns to F.
  port.clearLog();
  form.Keys_Click(kButtonsPerBlock);
  EXPECT_TRUE(sent(word(0x81, 36, 0)));
  EXPECT_TRUE(sent(word(0x91, 41, 99)));
  // The chord button sounds its three notes on the chord channel.
  port.clearLog();
  form.dispatch(Event::click(ControlId::BassKeys, letter("c")));
  for (int pitch : {53, 57, 60}) EXPECT_TRUE(sent(word(0x92, pitch, 99))) << pitch;
  // A second click lets go.
  port.clearLog();
  form.dispatch(Event::click(ControlId::BassKeys, letter("C")));
  EXPECT_TRUE(sent(word(0x81, 41, 0)));
  EXPECT_EQ(form.BassKeys[letter("C")].backColor, kIdleKeyColour);
}

TEST_F(BassSideTest, TheBassHeldSoundsOnWhenTheTrebleLetsGoOfItsChord) {
  choose(kTwelve);
  form.dispatch(Event::click(ControlId::BassKeys, letter("B")));
  form.Keys_Click(0);
  port.clearLog();
  form.Keys_Click(0);  // a lit button clicked again lets the chord go: the output is reset
  const auto reset = std::find(port.log.begin(), port.log.end(), "OPEN");
  ASSERT_NE(reset, port.log.end());
  EXPECT_NE(std::find(reset, port.log.end(), word(0x91, 43, 99)), port.log.end())
      << "the bass G sounds again after the reset";
}

TEST_F(BassSideTest, BottomRowKeysHoldBassesWhileDownAndTheBellowsKeyTurnsThem) {
  choose(kTwelve);
  port.clearLog();
  EXPECT_TRUE(form.dispatch(Event::keyDown("C")));
  EXPECT_TRUE(sent(word(0x91, 36, 99)));
  EXPECT_TRUE(form.dispatch(Event::keyDown("Space")));
  EXPECT_TRUE(sent(word(0x91, 41, 99)));
  port.clearLog();
  EXPECT_TRUE(form.dispatch(Event::keyUp("C")));
  EXPECT_TRUE(sent(word(0x81, 41, 0)));
  EXPECT_TRUE(form.dispatch(Event::keyUp("Space")));
  // Keys past the side's buttons are not the bass side's, and without a side none is.
  EXPECT_FALSE(form.dispatch(Event::keyDown("Slash")));
  choose("");
  EXPECT_FALSE(form.dispatch(Event::keyDown("C")));
}

TEST_F(BassSideTest, KeyLettersShowTheBassKeysToo) {
  choose(kTwelve);
  form.setToggleValue(form.KeyLetters, 1);
  EXPECT_EQ(form.BassKeys[letter("C")].tag, "C");
  EXPECT_EQ(form.BassKeys[letter("a")].tag, ",");
  EXPECT_EQ(form.BassKeys[letter("C'")].tag, "F1");
  form.setToggleValue(form.KeyLetters, 0);
  EXPECT_EQ(form.BassKeys[letter("C")].tag, "");
}

TEST_F(BassSideTest, LeavingTheWindowLetsTheKeysGoButNotTheLatchedClicks) {
  choose(kTwelve);
  form.dispatch(Event::click(ControlId::BassKeys, letter("A")));
  form.dispatch(Event::keyDown("C"));
  port.clearLog();
  form.dispatch(Event::leave());
  EXPECT_TRUE(sent(word(0x81, 36, 0)));
  EXPECT_FALSE(sent(word(0x81, 38, 0))) << "the clicked A stays latched";
  EXPECT_EQ(form.BassKeys[letter("A")].backColor, kLitKeyColour);
}

class BassChannelTest : public BassSideTest {
 protected:
  void SetUp() override {
    files.loadShippedData();
    files.files[kSettings] += "BASS-CHANNEL:\r\n2\r\n";
    start();
  }
};

TEST_F(BassChannelTest, TheBassChannelPlaysBassesAndChordsWhileTheTrebleKeepsItsOwn) {
  choose(kTwelve);
  port.clearLog();
  form.dispatch(Event::midi(0x91 | 38 << 8 | 100 << 16));  // D on channel 2: the bass A
  EXPECT_TRUE(sent(word(0x91, 38, 99)));
  form.dispatch(Event::midi(0x91 | 60 << 8 | 100 << 16));  // C from 48 up: the chord c
  for (int pitch : {48, 52, 55}) EXPECT_TRUE(sent(word(0x92, pitch, 99))) << pitch;
  EXPECT_TRUE(form.hands.pitches.empty()) << "the treble took none of them";
  form.dispatch(Event::midi(0x81 | 38 << 8));
  EXPECT_TRUE(sent(word(0x81, 38, 0)));
  // A chord the bellows' direction lacks is said, and nothing sounds.
  port.clearLog();
  form.dispatch(Event::midi(0x91 | 64 << 8 | 100 << 16));
  EXPECT_TRUE(bassNoteOns().empty());
  EXPECT_EQ(form.StatusLine.caption,
            form.say(Text::MsgNoBassForPitch, {"64", form.say(Text::BellowsPull)}));
  // Channel 1 is still the treble's.
  form.dispatch(Event::midi(0x90 | 67 << 8 | 100 << 16));
  EXPECT_EQ(form.hands.pitches, std::vector<int>{67});
}

TEST_F(BassChannelTest, AChannelOutsideOneToSixteenIsSaidAndTheChannelIsNone) {
  files.files[kSettings] += "BASS-CHANNEL:\r\n17\r\n";
  const auto again = restarted();
  const auto& problems = again->status().problems();
  EXPECT_NE(std::find(problems.begin(), problems.end(), again->say(Text::MsgBassChannelRefused, {"17"})),
            problems.end());
}

class DamagedInstrumentTest : public BassSideTest {};

TEST_F(DamagedInstrumentTest, EachDamagedLineIsSaidWithItsNumberAndTheSideStaysAsItWas) {
  choose(kEight);
  std::string& file = files.files[std::string("Notes/") + kTwelve];
  const auto at = file.find(" 3  B   C    36");
  ASSERT_NE(at, std::string::npos);
  file.replace(at, 15, " 3  B   C    3x");
  choose(kTwelve);
  EXPECT_EQ(shownBassKeys(), 8) << "the eight basses stay";
  const auto& problems = form.status().problems();
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems.back().find("Notes/" + std::string(kTwelve)), std::string::npos) << problems.back();
  const int line = 1 + static_cast<int>(std::count(file.begin(), file.begin() + at, '\n'));
  EXPECT_NE(problems.back().find(std::to_string(line)), std::string::npos) << problems.back();
  EXPECT_NE(problems.back().find("3x"), std::string::npos) << problems.back();
  EXPECT_EQ(form.BassChooser.values.at(form.BassChooser.selected), kEight);
}

TEST_F(DamagedInstrumentTest, AMissingInstrumentFileIsSaidAtTheStartAndTheWindowHasNoBassSide) {
  files.files[kSettings] += "BASS-SIDE:\r\nInstrument_Nowhere.txt\r\n";
  const auto again = restarted();
  EXPECT_EQ(shownBassKeys(*again), 0);
  const auto& problems = again->status().problems();
  ASSERT_FALSE(problems.empty());
  EXPECT_NE(problems.back().find("Instrument_Nowhere.txt"), std::string::npos) << problems.back();
}

// ---- A record's bass: replayed with its events, taken by the editor, saved beside the record

class BassRecordTest : public BassSideTest {
 protected:
  const std::vector<std::string> events{"10/", "13/", kBreakMute};  // two pull chords, a rest
  static HandButton bassOf(int event, int row, int number, bool push = false) {
    return {event, Hand::Bass, {push, row, number}};
  }
  void loadWithBass(const std::vector<HandButton>& bass) {
    files.files["Records/Hands_Records_T.txt"] = formatRecordHands({kTwelve, bass}, events);
    loadEvents(events);
  }
  /// The hands file saved beside a record, read back against an instrument (the twelve basses).
  RecordHands savedHands(const std::string& recordFile, const std::string& instrumentFile = kTwelve) {
    const auto it = files.files.find("Records/" + handsFileName(recordFile));
    if (it == files.files.end()) return {};
    std::vector<InstrumentProblem> problems;
    Instrument instrument = *parseInstrument(files.files["Notes/" + instrumentFile], problems);
    std::size_t lines = 0;
    if (!instrument.layout.empty())
      takeTrebleFromLayout(instrument, *parseNoteLayout(files.files["Notes/" + instrument.layout], lines));
    const HandsContext context{form.ShadowListe3.items, instrumentFile, trebleRowLengths(instrument),
                               bassRowLengths(instrument)};
    const HandsRead read = readRecordHands(it->second, "", context);
    EXPECT_TRUE(read.problems.empty()) << read.problems.size();
    return read.hands;
  }
  /// Playing along at 60 beats a minute, ticked on to event 1: the moment it came.
  double startPlayingAlong() {
    form.clickToggle(form.PlayAlong);
    form.PracticeTempo.value = 60;
    form.PracticeTempo_Click();
    clock.now = 1000;
    form.PlayStop_Click();
    double at = 1000;
    for (int i = 0; i < 20 && form.currentEvent() != 1; ++i) {
      clock.now = at += 1.0;
      form.Timer1_Timer();
    }
    EXPECT_EQ(form.currentEvent(), 1);
    return at;
  }
  void commit(std::initializer_list<int> keys, std::initializer_list<std::string> basses = {}) {
    clickKeys(keys);
    for (const std::string& b : basses) form.BassKeys_Click(letter(b));
    form.NextRecord_Click();
  }
};

TEST_F(BassRecordTest, ARecordsBassBringsItsSideAndReplaySoundsEachEventsOwn) {
  loadWithBass({bassOf(1, 1, 1), bassOf(3, 1, 2)});
  EXPECT_EQ(shownBassKeys(), 12) << "the side the file names came into force";
  EXPECT_TRUE(form.status().problems().empty());
  EXPECT_TRUE(bassNoteOns().empty()) << "loading sounds nothing";
  form.PlayStop_Click();
  form.Timer1_Timer();  // counted in
  port.clearLog();
  form.Timer1_Timer();  // event 1: the bass C with the chord
  EXPECT_TRUE(sent(word(0x91, 36, 99)));
  EXPECT_EQ(form.BassKeys[letter("C")].backColor, kLitKeyColour);
  port.clearLog();
  form.Timer1_Timer();  // event 2: a chord without bass: the finger lifts
  // Let go, or cut with the chord before (the cut between chords) and not sounded again.
  EXPECT_TRUE(sent(word(0x81, 36, 0)) || (sent("CLOSE") && !sent(word(0x91, 36, 99))));
  EXPECT_EQ(form.BassKeys[letter("C")].backColor, kIdleKeyColour);
  port.clearLog();
  form.Timer1_Timer();  // event 3: a silent rest, the chord c in it
  for (int pitch : {48, 52, 55}) EXPECT_TRUE(sent(word(0x92, pitch, 99))) << pitch;
  form.StopReplay_Click();
  for (const auto& key : form.BassKeys) EXPECT_NE(key.backColor, kLitKeyColour);
  port.clearLog();
  form.Midi_Out_Reset();
  EXPECT_TRUE(bassNoteOns().empty()) << "the replay's bass does not come back after a reset";
}

TEST_F(BassRecordTest, ADamagedLineIsSaidWithItsNumberAndTheOtherBassesPlay) {
  std::string hands = formatRecordHands({kTwelve, {bassOf(1, 1, 1), bassOf(2, 1, 3)}}, events);
  hands += "BASS;event=9;row=1;number=1;bellows=pull\r\n";
  const int line = static_cast<int>(std::count(hands.begin(), hands.end(), '\n'));
  files.files["Records/Hands_Records_T.txt"] = hands;
  loadEvents(events);
  ASSERT_EQ(form.status().problems().size(), 1u);
  EXPECT_EQ(form.status().problems().back(),
            form.say(Text::MsgHandsLine, {"Records/Hands_Records_T.txt", std::to_string(line)}));
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  port.clearLog();
  form.Timer1_Timer();
  EXPECT_TRUE(sent(word(0x91, 43, 99))) << "event 2's bass B";
}

TEST_F(BassRecordTest, TheEditorTakesTheBassHeldWithEachChordAndTheSaveWritesItBeside) {
  choose(kTwelve);
  form.Record_Click();
  commit({10}, {"C"});
  commit({13});
  commit({16}, {"b", "B"});
  form.SaveName.text = "Zwei";
  form.SaveRecord_Click();
  const std::string record = files.files["Records/Records_Zwei.txt"];
  EXPECT_EQ(record.find("BASS"), std::string::npos) << "the record file stays as it was";
  EXPECT_EQ(savedHands("Records_Zwei.txt").buttons,
            (std::vector<HandButton>{bassOf(1, 1, 1), bassOf(3, 1, 3), bassOf(3, 1, 4)}));
  EXPECT_EQ(savedHands("Records_Zwei.txt").instrument, kTwelve);
}

TEST_F(BassRecordTest, DeletingAndInsertingEventsKeepsEachBassWithItsChord) {
  choose(kTwelve);
  form.Record_Click();
  commit({10});
  commit({13}, {"A"});
  form.EditBox.selected = 0;
  form.EditBox_Click();
  form.KillNote_Click();  // the first chord goes: A's chord is event 1 now
  form.editClickState = 0;
  form.EditBox.selected = 0;
  form.EditBox_Click();
  form.RepIns_Click();  // insert before it
  commit({19}, {"c"});
  form.SaveName.text = "Drei";
  form.SaveRecord_Click();
  ASSERT_EQ(form.ShadowListe3.items, (std::vector<std::string>{"19/", "13/"}));
  EXPECT_EQ(savedHands("Records_Drei.txt").buttons,
            (std::vector<HandButton>{bassOf(1, 1, 2), bassOf(2, 1, 5)}));
}

TEST_F(BassRecordTest, ARecordSavedWithoutBassOverOneWithBassLeavesNoOldBassBeside) {
  loadWithBass({bassOf(1, 1, 1)});
  form.Record_Click();
  form.ReEd_Click();  // start afresh: nothing of the record stays
  commit({10});
  form.SaveName.text = "T";
  form.SaveRecord_Click();
  form.SaveRecord_Click();  // the second click replaces the record
  EXPECT_TRUE(savedHands("Records_T.txt").buttons.empty());
  loadEvents({"10/"});
  port.clearLog();
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  EXPECT_TRUE(bassNoteOns().empty());
  EXPECT_FALSE(port.notes().empty()) << "the treble plays";
}

TEST_F(BassRecordTest, TheWindowsExportsCarryTheRecordsBass) {
  loadEvents(events);
  const auto trackCount = [](const std::string& midi) {
    return static_cast<unsigned char>(midi.at(10)) << 8 | static_cast<unsigned char>(midi.at(11));
  };
  const int trebleOnly = trackCount(form.exportMidi().value());
  EXPECT_EQ(form.exportMusicXml().value().find("<staves>2</staves>"), std::string::npos);
  loadWithBass({bassOf(1, 1, 1)});
  EXPECT_EQ(trackCount(form.exportMidi().value()), trebleOnly + 1) << "the left hand's track";
  EXPECT_NE(form.exportMusicXml().value().find("<staves>2</staves>"), std::string::npos);
}

TEST_F(BassRecordTest, AShippedTwoHandLessonBringsItsSideAndItsGriffschriftWritesTheBassLetters) {
  form.setToggleValue(form.RecordLession, 1);
  load("Lessons_5 Polka Haenschen klein.txt");
  EXPECT_TRUE(form.status().problems().empty())
      << (form.status().problems().empty() ? "" : form.status().problems().back());
  EXPECT_EQ(shownBassKeys(), 12);
  const TabDocument document = form.tablatureDocument();
  ASSERT_FALSE(document.bass.empty());
  std::set<std::string> letters;
  for (const TabBass& b : document.bass) letters.insert(b.letter);
  EXPECT_TRUE(letters.count("C") && letters.count("c")) << "the polka in C: its bass and chord";
  // A record without bass has none under its staff.
  load("Lessons_2 Alle meine Entchen.txt");
  EXPECT_TRUE(form.tablatureDocument().bass.empty());
}

// ---- An import's left hand: chord symbols or notes of its own, on the side in force

class BassImportTest : public BassRecordTest {
 protected:
  /// Two bars of 2/4 in quarters, c' e' | g' c'', pushed, under a C chord symbol.
  static Tune polkaInC() {
    Tune tune;
    tune.beatsPerBar = 2;
    const int pitches[] = {60, 64, 67, 72};
    for (int i = 0; i < 4; ++i) tune.notes.push_back({i * 480LL, 480, pitches[i]});
    tune.bellows = {{0, true}};
    tune.harmonies = {{0, 0, false}};
    return tune;
  }
  std::vector<std::string> bassLetters() {
    std::vector<std::string> letters;
    for (const TabBass& b : form.tablatureDocument().bass) letters.push_back(b.letter);
    return letters;
  }
};

TEST_F(BassImportTest, ChordSymbolsBecomeAWechselbassSavedBesideTheRecord) {
  choose(kTwelve);
  form.importTune(polkaInC(), "Polka", {});
  form.SaveName.text = "Polka";
  form.SaveRecord_Click();
  // Polka: bass and chord on each pair of beats, the bass from the fundamental to the fifth:
  // C, the C chord, G, the C chord; in Griffschrift the C row's B and b, and the G row's A.
  EXPECT_EQ(bassLetters(), (std::vector<std::string>{"B", "b", "A", "b"}));
  EXPECT_EQ(savedHands("Records_Polka.txt").instrument, kTwelve);
  const auto& problems = form.status().problems();
  EXPECT_NE(std::find(problems.begin(), problems.end(),
                      "Polka: " + form.say(Text::MsgImportBass, {"4", kTwelve})),
            problems.end());
}

TEST_F(BassImportTest, WithoutABassSideTheImportSaysHowToGetTheBassAndSavesNone) {
  form.importTune(polkaInC(), "Polka", {});
  const auto& problems = form.status().problems();
  EXPECT_NE(std::find(problems.begin(), problems.end(),
                      "Polka: " + form.say(Text::MsgImportBassNoSide)),
            problems.end());
  form.SaveName.text = "Polka";
  form.SaveRecord_Click();
  EXPECT_TRUE(savedHands("Records_Polka.txt").buttons.empty());
  EXPECT_TRUE(bassLetters().empty());
}

TEST_F(BassImportTest, ATuneWithoutALeftHandLeavesTheBassOfTheRecordBeforeBehind) {
  loadWithBass({bassOf(1, 1, 1)});
  Tune tune = polkaInC();
  tune.harmonies.clear();
  form.importTune(tune, "Melodie", {});
  for (const auto& problem : form.status().problems())
    EXPECT_EQ(problem.find(form.say(Text::MsgImportBassNoSide)), std::string::npos);
  form.SaveName.text = "Melodie";
  form.SaveRecord_Click();
  EXPECT_TRUE(bassLetters().empty()) << "the loaded record's bass is not the import's";
}

// ---- Practising the left hand or both: the program plays the hand the learner leaves out

class TwoHandPracticeTest : public BassRecordTest {
 protected:
  void SetUp() override {
    BassRecordTest::SetUp();
    // Event 1 with the bass C, event 2 with the chord c, both pulling; event 3 a rest.
    loadWithBass({bassOf(1, 1, 1), bassOf(2, 1, 2)});
  }
  /// Chooses the hands as a click in the chooser does.
  void chooseHands(PracticedHands hands) {
    form.HandsChooser.selected = static_cast<int>(hands);
    form.HandsChooser_Click();
  }
  /// Practice that waits, counted in to event 1, with the sound sent from then on logged.
  void startPractice(PracticedHands hands = PracticedHands::Right) {
    chooseHands(hands);
    port.clearLog();
    form.clickToggle(form.Practice);
    form.PlayStop_Click();
    form.Timer1_Timer();
    form.Timer1_Timer();
    ASSERT_EQ(form.currentEvent(), 1);
  }
  bool trebleSounded(int button) const {
    return sent(word(0x90, *form.keyNote(button), 99)) ||
           sent(word(0x90, *form.keyNote(button), 100));
  }
  std::string trebleKey(int button) {
    for (const auto& [key, position] : form.hands.keyMap.positions)
      if (position == button % kButtonsPerBlock) return key;
    ADD_FAILURE() << "no key for button " << button;
    return {};
  }
  void press(const std::string& key) { form.dispatch(Event::keyDown(key)); }
  void release(const std::string& key) { form.dispatch(Event::keyUp(key)); }
  /// Ticks until the pass is scored; its figures.
  PassScore scoredPass() {
    for (int i = 0; i < 8 && form.practice.history.passes.empty(); ++i) form.Timer1_Timer();
    EXPECT_EQ(form.practice.history.passes.size(), 1u);
    return form.practice.history.passes.empty() ? PassScore{}
                                                : form.practice.history.passes.back().score;
  }
};

TEST_F(TwoHandPracticeTest, TheHandsChooserShowsWithABassSideWhilePractisingAndIsKept) {
  EXPECT_FALSE(form.HandsChooser.visible) << "not practising";
  form.clickToggle(form.Practice);
  EXPECT_TRUE(form.HandsChooser.visible);
  EXPECT_EQ(form.HandsChooser.items.at(1), form.say(Text::HandsLeft));
  chooseHands(PracticedHands::Both);
  EXPECT_NE(files.files[kSettings].find("PRACTICE-HANDS:\r\nBOTH\r\n"), std::string::npos);
  EXPECT_EQ(restarted()->practice.hands.practised(), PracticedHands::Both);
  // Without a bass side there is nothing to choose, and the right hand is practised.
  choose("");
  EXPECT_FALSE(form.HandsChooser.visible);
  EXPECT_EQ(form.practice.hands.practised(), PracticedHands::Right);
  choose(kTwelve);
  EXPECT_EQ(form.practice.hands.practised(), PracticedHands::Both) << "the choice came back";
}

TEST_F(TwoHandPracticeTest, AStoredChoiceThatIsNoneIsSaidAndTheRightHandIsPractised) {
  std::string& settings = files.files[kSettings];
  settings = "PRACTICE-HANDS:\r\nLINKS\r\n" + settings;
  const auto again = restarted();
  EXPECT_EQ(again->practice.hands.chosen(), PracticedHands::Right);
  const auto& problems = again->status().problems();
  EXPECT_NE(std::find_if(problems.begin(), problems.end(),
                         [](const std::string& p) {
                           return p.find("PRACTICE-HANDS: LINKS") != std::string::npos;
                         }),
            problems.end());
}

TEST_F(TwoHandPracticeTest, WithTheRightHandPractisedTheProgramPlaysTheBassAsBefore) {
  startPractice();
  EXPECT_TRUE(sent(word(0x91, 36, 99))) << "the record's bass C";
  EXPECT_FALSE(trebleSounded(10)) << "the treble waits for the learner";
  port.clearLog();
  press("B");  // a bass key: the learner's own playing, not judged
  EXPECT_EQ(form.currentEvent(), 1);
  EXPECT_NE(form.BassKeys[letter("B")].backColor, kWrongButtonColour);
  release("B");
  press(trebleKey(10));
  EXPECT_EQ(form.currentEvent(), 2);
}

TEST_F(TwoHandPracticeTest, PractisingTheLeftHandTheProgramPlaysTheTrebleAndWaitsForTheBass) {
  startPractice(PracticedHands::Left);
  EXPECT_TRUE(trebleSounded(10)) << "the treble is the program's";
  EXPECT_TRUE(bassNoteOns().empty()) << "the bass is the learner's to play";
  EXPECT_EQ(form.BassKeys[letter("C")].backColor, kMarkedBassColour);
  EXPECT_EQ(form.StatusLine.caption,
            form.say(Text::MsgPlayChord, {"C", form.say(Text::BellowsPull)}));

  press(trebleKey(13));  // the treble does not count
  release(trebleKey(13));
  press("B");  // a wrong bass
  EXPECT_EQ(form.BassKeys[letter("B")].backColor, kWrongButtonColour);
  release("B");
  press("Space");  // the right bass, pushing
  press("C");
  EXPECT_EQ(form.BassKeys[letter("C")].backColor, kWrongDirectionColour);
  release("C");
  release("Space");
  for (int i = 0; i < 3; ++i) form.Timer1_Timer();
  EXPECT_EQ(form.currentEvent(), 1) << "replay went on without the learner's bass";

  press("C");
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_EQ(form.BassKeys[letter("c")].backColor, kMarkedBassColour);
  release("C");
  press("V");  // the chord c
  EXPECT_EQ(form.currentEvent(), 3);
  release("V");
  const PassScore score = scoredPass();
  EXPECT_EQ(score.events, 2);
  EXPECT_EQ(score.rightFirstTry, 1);
  EXPECT_EQ(score.wrongButtons, 1);
  EXPECT_EQ(score.wrongDirections, 1);
}

TEST_F(TwoHandPracticeTest, PractisingBothHandsTheChordIsTheTrebleAndTheBassTogether) {
  startPractice(PracticedHands::Both);
  EXPECT_FALSE(trebleSounded(10));
  EXPECT_TRUE(bassNoteOns().empty());
  press(trebleKey(10));
  EXPECT_EQ(form.currentEvent(), 1) << "the bass is still to come";
  EXPECT_EQ(form.Keys[10].backColor, kRightKeyColour);
  press("C");
  EXPECT_EQ(form.currentEvent(), 2);
  release("C");
  release(trebleKey(10));
  // A click on the bass counts as a click on the treble does, and lets go with the chord.
  form.Keys_Click(13);
  form.dispatch(Event::click(ControlId::BassKeys, letter("c")));
  EXPECT_EQ(form.currentEvent(), 3);
  EXPECT_NE(form.BassKeys[letter("c")].backColor, kLitKeyColour)
      << "the clicked bass lifted for the next chord";
  const PassScore score = scoredPass();
  EXPECT_EQ(score.events, 2);
  EXPECT_EQ(score.rightFirstTry, 2);
}

TEST_F(TwoHandPracticeTest, PlayingAlongTheBassIsJudgedByItsMomentAndShownOnItsButton) {
  chooseHands(PracticedHands::Left);
  const double at = startPlayingAlong();
  ASSERT_EQ(form.currentEvent(), 1);
  EXPECT_TRUE(trebleSounded(10)) << "the treble is the program's";
  clock.now = at + 0.040;
  press("C");
  ASSERT_GE(form.ZahlenSchirm.rowNotes.size(), 1u);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[0], "+40");
  EXPECT_EQ(form.BassKeys[letter("C")].backColor, kRightKeyColour);
  release("C");
  clock.now = at + 1;
  form.Timer1_Timer();
  clock.now = at + 1.010;
  press("Space");
  press("V");  // the chord c pushing: the wrong direction
  EXPECT_EQ(form.ZahlenSchirm.rowNotes.at(1), "<>");
}

TEST_F(TwoHandPracticeTest, PractisingTheLeftHandOfARecordWithoutBassSaysSoAndPlaysItWhole) {
  files.files.erase("Records/Hands_Records_T.txt");
  loadEvents(events);
  form.clickToggle(form.Practice);
  chooseHands(PracticedHands::Left);
  form.PlayStop_Click();
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgNoBassToPractise));
  port.clearLog();
  for (int i = 0; i < 4 && form.currentEvent() != 2; ++i) form.Timer1_Timer();
  EXPECT_EQ(form.currentEvent(), 2) << "nothing is waited for";
  EXPECT_TRUE(trebleSounded(13));
}

TEST_F(BassImportTest, OnAFourRowInstrumentItsFourthRowsButtonsAreSavedBesideTheRecord) {
  // A record of the G-C-F-B instrument brings it into force; then a tune of es (63, on row 4
  // alone, pulling) held two beats and d1: the record file keeps a silence that rings on where
  // es plays, and es goes beside it.
  const std::string four = "Instrument_G-C-F-B_16-Bass.txt";
  files.files["Records/Hands_Records_T.txt"] = formatRecordHands({four, {bassOf(1, 1, 1)}}, events);
  loadEvents(events);
  ASSERT_EQ(shownBassKeys(), 16) << "the record's four-row instrument is in force";
  Tune tune;
  tune.notes = {{0, 960, 63}, {960, 480, 62}};
  form.importTune(tune, "Es", {});
  EXPECT_EQ(form.ShadowListe3.items, (std::vector<std::string>{kBreakMute, kBreakPlay, "10/"}));
  EXPECT_EQ(form.ShadowListe2.items.back(), "d1/") << "named as the instrument names it";
  const auto& problems = form.status().problems();
  EXPECT_NE(std::find(problems.begin(), problems.end(),
                      "Es: " + form.say(Text::MsgImportRows, {"1", four})),
            problems.end());
  form.SaveName.text = "Es";
  form.SaveRecord_Click();
  const RecordHands saved = savedHands("Records_Es.txt", four);
  EXPECT_EQ(saved.instrument, four);
  EXPECT_EQ(saved.buttons, (std::vector<HandButton>{{1, Hand::Treble, {false, 4, 2}}}));
}

// ---- An instrument of four or five rows: its treble past the keyboard's three rows

class TrebleBesideWindowTest : public BassRecordTest {
 protected:
  static constexpr const char* kFour = "Instrument_G-C-F-B_16-Bass.txt";
  int shownRowKeys() const {
    int n = 0;
    for (const auto& key : form.RowKeys) n += key.visible;
    return n;
  }
  /// The shown button beside the keyboard with that caption, in a block.
  int rowKey(const std::string& caption, bool push) const {
    for (int p = 0; p < kRowKeyCount; ++p) {
      const Control& key = form.RowKeys[p];
      const bool inPushBlock = key.left > form.Keys[kButtonsPerBlock].left;
      if (key.visible && key.caption == caption && inPushBlock == push) return p;
    }
    ADD_FAILURE() << "no button " << caption;
    return 0;
  }
  bool noteOn(int pitch) const { return sent(word(0x90, pitch, 99)) || sent(word(0x90, pitch, 100)); }
  static TwipRect rectOf(const Control& c) { return {c.left, c.top, c.width, c.height}; }
};

TEST_F(TrebleBesideWindowTest, AFourRowInstrumentShowsItsFourthRowWithTheKeyboardAmongItsRows) {
  const TwipRect designed = rectOf(form.Keys[0]);
  EXPECT_EQ(shownRowKeys(), 0);
  choose(kFour);
  EXPECT_EQ(shownRowKeys(), 22) << "row B's eleven buttons in each block";
  EXPECT_EQ(shownBassKeys(), 16);
  EXPECT_LT(form.Keys[0].width, designed.width) << "four columns a block: smaller buttons";
  EXPECT_EQ(form.RowKeys[rowKey("es", false)].backColor, kIdleKeyColour);
  EXPECT_TRUE(std::all_of(form.Keys.begin(), form.Keys.end(), [](const Control& k) { return k.visible; }));
  // Another tuning on the keyboard: the four rows no longer begin with it.
  form.chooseTuning("Notes_A-D-G.txt");
  EXPECT_EQ(shownRowKeys(), 0);
  EXPECT_EQ(rectOf(form.Keys[0]), designed);
  form.chooseTuning("Notes_G-C-F.txt");
  EXPECT_EQ(shownRowKeys(), 22);
  choose("");
  EXPECT_EQ(shownRowKeys(), 0);
  EXPECT_EQ(rectOf(form.Keys[0]), designed) << "the three rows where they have always been";
}

TEST_F(TrebleBesideWindowTest, AClickSoundsAFourthRowButtonInItsBlocksDirectionUntilClickedAgain) {
  choose(kFour);
  const int es = rowKey("es", false);
  port.clearLog();
  form.dispatch(Event::click(ControlId::RowKeys, es));
  EXPECT_TRUE(noteOn(63));
  EXPECT_EQ(form.RowKeys[es].backColor, kLitKeyColour);
  // The push block's b (58) pushes, and the bass held turns with the bellows.
  form.dispatch(Event::click(ControlId::BassKeys, letter("C")));
  port.clearLog();
  form.dispatch(Event::click(ControlId::RowKeys, rowKey("b", true)));
  EXPECT_TRUE(noteOn(58));
  EXPECT_TRUE(sent(word(0x91, 41, 99))) << "the bass C pushes F";
  port.clearLog();
  form.dispatch(Event::click(ControlId::RowKeys, es));
  EXPECT_TRUE(sent(word(0x80, 63, 0)));
  EXPECT_EQ(form.RowKeys[es].backColor, kIdleKeyColour);
  // A click past the buttons shown does nothing.
  port.clearLog();
  form.dispatch(Event::click(ControlId::RowKeys, kRowKeyCount - 1));
  EXPECT_TRUE(port.log.empty());
}

TEST_F(TrebleBesideWindowTest, AMidiNoteNoKeyboardButtonSoundsPlaysTheFourthRowsButton) {
  choose(kFour);
  const int es = rowKey("es", false);
  port.clearLog();
  form.MidiIn_Message(0x90 | 63 << 8 | 100 << 16);
  EXPECT_EQ(form.RowKeys[es].backColor, kLitKeyColour);
  EXPECT_TRUE(noteOn(63));
  EXPECT_TRUE(form.status().problems().empty()) << "it has a button";
  form.MidiIn_Message(0x80 | 63 << 8);
  EXPECT_EQ(form.RowKeys[es].backColor, kIdleKeyColour);
  EXPECT_TRUE(sent(word(0x80, 63, 0)));
  // Without the fourth row it has none, and still sounds.
  choose(kTwelve);
  port.clearLog();
  form.MidiIn_Message(0x90 | 63 << 8 | 100 << 16);
  EXPECT_TRUE(noteOn(63));
  EXPECT_FALSE(form.status().problems().empty());
}

TEST_F(TrebleBesideWindowTest, ReplaySoundsAndLightsTheFourthRowButtonsOfEachEvent) {
  // Event 1 plays es beside its chord; event 2 nothing beside; event 3 is a rest.
  files.files["Records/Hands_Records_T.txt"] =
      formatRecordHands({kFour, {{1, Hand::Treble, {false, 4, 2}}}}, events);
  loadEvents(events);
  ASSERT_EQ(shownRowKeys(), 22) << "the record's instrument came into force";
  const int es = rowKey("es", false);
  form.PlayStop_Click();
  form.Timer1_Timer();  // counted in
  port.clearLog();
  form.Timer1_Timer();  // event 1
  EXPECT_TRUE(noteOn(63));
  EXPECT_EQ(form.RowKeys[es].backColor, kLitKeyColour);
  port.clearLog();
  form.Timer1_Timer();  // event 2: the finger lifts
  EXPECT_FALSE(noteOn(63));
  EXPECT_EQ(form.RowKeys[es].backColor, kIdleKeyColour);
  form.StopReplay_Click();
}

TEST_F(TrebleBesideWindowTest, TheEditorTakesTheButtonsBesideWithEachChordAndTheSaveKeepsThemBeside) {
  choose(kFour);
  form.Record_Click();
  const int es = rowKey("es", false);
  form.dispatch(Event::click(ControlId::RowKeys, es));
  commit({10});  // a chord of the keyboard, es beside it
  form.dispatch(Event::click(ControlId::RowKeys, es));
  form.NextRecord_Click();  // es alone: the record file keeps a silence
  commit({13});
  form.SaveName.text = "Vier";
  form.SaveRecord_Click();
  EXPECT_EQ(form.ShadowListe3.items, (std::vector<std::string>{"10/", kBreakMute, "13/"}));
  const RecordHands saved = savedHands("Records_Vier.txt", kFour);
  EXPECT_EQ(saved.instrument, kFour);
  EXPECT_EQ(saved.buttons, (std::vector<HandButton>{{1, Hand::Treble, {false, 4, 2}},
                                                    {2, Hand::Treble, {false, 4, 2}}}));
  EXPECT_EQ(form.RowKeys[es].backColor, kIdleKeyColour) << "let go with the chord taken";
}

TEST_F(TrebleBesideWindowTest, PracticeWaitsForTheFourthRowsButtonWithTheChordAndJudgesItsDirection) {
  files.files["Records/Hands_Records_T.txt"] =
      formatRecordHands({kFour, {{1, Hand::Treble, {false, 4, 2}}}}, events);
  loadEvents(events);
  const int es = rowKey("es", false);
  form.clickToggle(form.Practice);
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  ASSERT_EQ(form.currentEvent(), 1);
  EXPECT_EQ(form.RowKeys[es].backColor, kMarkedBassColour) << "shown as one to play";
  EXPECT_NE(form.StatusLine.caption.find("es"), std::string::npos) << form.StatusLine.caption;
  form.Keys_Click(10);
  EXPECT_EQ(form.currentEvent(), 1) << "the keyboard's part of the chord alone";
  // The same place pushing (b): the wrong direction, shown on it.
  const int b = rowKey("b", true);
  form.dispatch(Event::click(ControlId::RowKeys, b));
  EXPECT_EQ(form.RowKeys[b].backColor, kWrongDirectionColour);
  EXPECT_EQ(form.currentEvent(), 1);
  form.Keys_Click(10);
  form.dispatch(Event::click(ControlId::RowKeys, es));
  EXPECT_EQ(form.currentEvent(), 2);
  EXPECT_NE(form.RowKeys[es].backColor, kMarkedBassColour) << "event 2 has nothing beside";
  form.Keys_Click(13);
  for (int i = 0; i < 8 && form.practice.history.passes.empty(); ++i) form.Timer1_Timer();
  ASSERT_EQ(form.practice.history.passes.size(), 1u);
  const PassScore score = form.practice.history.passes.back().score;
  EXPECT_EQ(score.events, 2);
  EXPECT_EQ(score.rightFirstTry, 1);
  EXPECT_EQ(score.wrongDirections, 1);
}

TEST_F(TrebleBesideWindowTest, PracticeTakesTheFourthRowsButtonFromAMidiInstrument) {
  files.files["Records/Hands_Records_T.txt"] =
      formatRecordHands({kFour, {{1, Hand::Treble, {false, 4, 2}}}}, events);
  loadEvents(events);
  form.clickToggle(form.Practice);
  form.PlayStop_Click();
  form.Timer1_Timer();
  form.Timer1_Timer();
  ASSERT_EQ(form.currentEvent(), 1);
  const int pitch10 = *form.keyNote(10);
  form.MidiIn_Message(0x90 | std::uint32_t(pitch10) << 8 | 100 << 16);
  EXPECT_EQ(form.currentEvent(), 1);
  form.MidiIn_Message(0x90 | 63 << 8 | 100 << 16);  // es, on the fourth row only
  EXPECT_EQ(form.currentEvent(), 2);
}

TEST_F(TrebleBesideWindowTest, PlayingAlongTheFourthRowsButtonIsPartOfTheChordJudgedByItsMoment) {
  files.files["Records/Hands_Records_T.txt"] =
      formatRecordHands({kFour, {{1, Hand::Treble, {false, 4, 2}}}}, events);
  loadEvents(events);
  const int es = rowKey("es", false);
  const double at = startPlayingAlong();
  ASSERT_EQ(form.currentEvent(), 1);
  EXPECT_EQ(form.RowKeys[es].backColor, kMarkedBassColour) << "due with the chord";
  clock.now = at + 0.030;
  form.Keys_Click(10);
  EXPECT_TRUE(form.ZahlenSchirm.rowNotes.empty() || form.ZahlenSchirm.rowNotes[0].empty())
      << "half the chord is no chord yet";
  form.dispatch(Event::click(ControlId::RowKeys, es));
  ASSERT_GE(form.ZahlenSchirm.rowNotes.size(), 1u);
  EXPECT_EQ(form.ZahlenSchirm.rowNotes[0], "+30") << "judged when the whole chord was played";
  EXPECT_EQ(form.RowKeys[es].backColor, kRightKeyColour);
}
