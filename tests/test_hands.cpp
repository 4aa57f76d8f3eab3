// Playing with the hands: the key map, keys and the bellows with their exact MIDI stream,
// recording from the keys, and MIDI pitches placed on buttons.
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

// ---- The key map file

TEST(KeyMapTest, TheShippedFileIsTheDefaultMapWithoutAProblem) {
  MemoryFiles files;
  files.loadShippedData();
  std::vector<KeyMapProblem> problems;
  const KeyMap map = parseKeyMap(*files.read("Data/Keymap.txt"), problems);
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(map, defaultKeyMap());
  // Every position of the pull block has exactly one key.
  std::vector<int> seen(kButtonsPerBlock);
  for (const auto& [key, position] : map.positions) ++seen[static_cast<std::size_t>(position)];
  EXPECT_EQ(seen, std::vector<int>(kButtonsPerBlock, 1));
  EXPECT_EQ(map.bellows, "Space");
}

TEST(KeyMapTest, BadLinesAreSkippedAndSaidWhy) {
  std::vector<KeyMapProblem> problems;
  const KeyMap map = parseKeyMap(
      joinLines({"# a comment", "Q=1", "Q=2", "Nonsense=3", "W=34", "E=-1", "R=x", "no equals", "",
                 "  T = 5 ", "BELLOWS=Shift", "COMMIT=Shift", "REST-MUTE=Hyper"}),
      problems);
  EXPECT_EQ(map.positions, (std::map<std::string, int>{{"Q", 1}, {"T", 5}}));
  EXPECT_EQ(map.bellows, "Shift");
  EXPECT_EQ(map.commit, "Return");  // its line used a key taken already
  EXPECT_EQ(map.restMute, "X");
  std::vector<int> lines;
  for (const auto& p : problems) lines.push_back(p.line);
  EXPECT_EQ(lines, (std::vector<int>{3, 4, 5, 6, 7, 8, 12, 13}));
  EXPECT_NE(problems[0].reason.find("(line 2)"), std::string::npos);
  EXPECT_NE(problems[1].reason.find("Nonsense"), std::string::npos);
}

// ---- Keys, bellows and the stream they send

class HandTest : public FormTest {
 protected:
  /// The messages after the last program change, as "on 3C" / "off 3C".
  std::vector<std::string> stream() const {
    std::vector<std::string> out;
    for (const auto& line : port.log) {
      if (line.size() != 8) continue;
      const std::string status = line.substr(6), note = line.substr(4, 2);
      if (status == "90") out.push_back("on " + note);
      if (status == "80") out.push_back("off " + note);
    }
    return out;
  }
};

TEST_F(HandTest, AKeySoundsWhileHeldAndChordsAndBellowsBehaveAsOnAnAccordion) {
  // A (position 0: d, note 50 = 0x32 pulling; push 34: H? the layout says) and S (position 3).
  const int pullA = *form.keyNote(0), pullS = *form.keyNote(3);
  const int pushA = *form.keyNote(34), pushS = *form.keyNote(37);
  auto hex = [](int n) {
    char h[3];
    std::snprintf(h, sizeof h, "%02X", n);
    return std::string(h);
  };
  EXPECT_TRUE(form.handKeyDown("A"));
  EXPECT_TRUE(form.handKeyDown("A"));  // the repeat of a held key plays nothing
  EXPECT_TRUE(form.handKeyDown("S"));
  EXPECT_EQ(form.Keys[0].backColor, kLitKeyColour);
  EXPECT_TRUE(form.handKeyDown("Space"));  // the bellows turn: push
  EXPECT_EQ(form.Keys[0].backColor, kIdleKeyColour);
  EXPECT_EQ(form.Keys[34].backColor, kLitKeyColour);
  EXPECT_TRUE(form.handKeyUp("A"));
  EXPECT_TRUE(form.handKeyUp("Space"));
  EXPECT_TRUE(form.handKeyUp("S"));
  EXPECT_EQ(stream(),
            (std::vector<std::string>{"on " + hex(pullA), "on " + hex(pullS), "off " + hex(pullA),
                                      "off " + hex(pullS), "on " + hex(pushA), "on " + hex(pushS),
                                      "off " + hex(pushA), "off " + hex(pushS), "on " + hex(pullS),
                                      "off " + hex(pullS)}));
  EXPECT_EQ(litKeys(), 0);
  EXPECT_FALSE(form.handKeyDown("F13"));  // no key of the map
}

TEST_F(HandTest, TheSwitchTurnsKeyboardPlayOffAndLetsHeldNotesGo) {
  form.handKeyDown("D");
  form.clickToggle(form.KeyboardPlay);
  EXPECT_EQ(stream().back().substr(0, 3), "off");
  EXPECT_FALSE(form.claimsKey("D"));
  EXPECT_FALSE(form.handKeyDown("D"));
  EXPECT_EQ(litKeys(), 0);
}

TEST_F(HandTest, RecordingFromTheKeysBuildsChordsAndTakesThemWithEnter) {
  EXPECT_FALSE(form.claimsKey("Return"));  // outside recording Enter keeps its role
  form.Record_Click();
  form.handKeyDown("A");
  form.handKeyDown("S");
  form.handKeyUp("A");
  form.handKeyUp("S");
  EXPECT_EQ(form.EditorTMP3.caption, "00/03/");
  EXPECT_FALSE(form.EditBreak.enabled);
  form.handKeyDown("Return");
  form.handKeyUp("Return");
  form.handKeyDown("Z");  // the rest that rings on
  form.handKeyUp("Z");
  form.handKeyDown("Space");
  form.handKeyDown("A");
  form.handKeyDown("A");  // a repeat adds nothing
  form.handKeyUp("A");
  form.handKeyDown("A");  // pressed again: the chord holds a button once
  form.handKeyDown("Return");
  form.handKeyDown("X");
  EXPECT_EQ(form.ShadowListe3.items,
            (std::vector<std::string>{"00/03/", kBreakPlay, "34/", kBreakMute}));
  // A fifth button lets the chord go, as a fifth click does.
  for (const char* key : {"Q", "W", "E", "R", "T"}) form.handKeyDown(key);
  EXPECT_EQ(form.EditorTMP3.caption, "");
}

// ---- MIDI pitches on buttons

class PlacementTest : public ::testing::Test {
 protected:
  ButtonNotes notes{};
  void SetUp() override {
    // Pitch 60 on pull 3 and 20 and on push 40; 64 only on push 43; 67 on pull 6 and push 46.
    notes[3] = notes[20] = notes[40] = 60;
    notes[43] = 64;
    notes[6] = notes[46] = 67;
  }
};

TEST_F(PlacementTest, TheControllerDecidesTheBellows) {
  EXPECT_EQ(placePitches({60}, notes, true, false, std::nullopt), (PitchPlacement{true, {40}}));
  EXPECT_EQ(placePitches({64}, notes, false, true, std::nullopt),
            (PitchPlacement{false, {std::nullopt}}));  // no pull button: sounds without one
}

TEST_F(PlacementTest, WithoutAControllerEveryHeldPitchMustExistInTheDirection) {
  EXPECT_EQ(placePitches({60}, notes, std::nullopt, false, std::nullopt).push, false);
  // 64 exists only pushing: the chord turns to push, and 60 moves to its push button.
  EXPECT_EQ(placePitches({60, 64}, notes, std::nullopt, false, std::nullopt),
            (PitchPlacement{true, {40, 43}}));
  // The current direction wins when both hold every pitch.
  EXPECT_EQ(placePitches({60, 67}, notes, std::nullopt, true, std::nullopt).push, true);
  EXPECT_EQ(placePitches({60, 67}, notes, std::nullopt, false, std::nullopt).push, false);
  // A pitch no button has keeps the direction and has no button.
  EXPECT_EQ(placePitches({60, 61}, notes, std::nullopt, false, std::nullopt),
            (PitchPlacement{false, {3, std::nullopt}}));
}

TEST_F(PlacementTest, AmongButtonsOfOnePitchTheNearestToTheHandIsTaken) {
  // 67 is at 6 (rank 2); 60 at 3 (rank 1) is nearer to it than 20 (rank 6).
  EXPECT_EQ(placePitches({67, 60}, notes, std::nullopt, false, std::nullopt).buttons[1], 3);
  // Alone, the pitch goes nearest the last button played.
  EXPECT_EQ(placePitches({60}, notes, std::nullopt, false, 23).buttons[0], 20);
  EXPECT_EQ(buttonDistance(0, 33), 11 + 1);
}

TEST_F(HandTest, AMidiInstrumentPlaysButtonsAndTheBellowsController) {
  form.hands.bellowsController = 64;
  const int button44 = *form.keyNote(44);         // c1, push, in G-C-F
  form.MidiIn_Message(0x000040B0u | 127u << 16);  // the bellows: push
  form.MidiIn_Message(0x90u | static_cast<std::uint32_t>(button44) << 8 | 100u << 16);
  ASSERT_FALSE(form.hands.pitchButtons.empty());
  const int button = form.hands.pitchButtons.at(button44);
  EXPECT_GE(button, kButtonsPerBlock);
  EXPECT_EQ(*form.keyNote(button), button44);
  EXPECT_EQ(form.Keys[button].backColor, kLitKeyColour);
  form.MidiIn_Message(0x80u | static_cast<std::uint32_t>(button44) << 8);
  EXPECT_EQ(form.Keys[button].backColor, kIdleKeyColour);
  EXPECT_EQ(stream().size(), 2u);
  // A pitch no button has is said and still sounds.
  form.MidiIn_Message(0x90u | 5u << 8 | 100u << 16);
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgNoButtonForPitch, {"5"}));
  EXPECT_EQ(stream().back(), "on 05");
  form.MidiIn_Message(0x90u | 5u << 8);  // a note-on of velocity 0 ends it
  EXPECT_EQ(stream().back(), "off 05");
}

// ---- The letters on the buttons: what the learner's own layout prints on the keys

class KeyLayoutTest : public FormTest {
 protected:
  /// What a German layout prints, unshifted, on the places of a US keyboard where the two differ
  /// (as the desktop reads it from the X server; the web page from the browser).
  static std::string german() {
    return keyPrintsText({{"Y", "z"},
                          {"Z", "y"},
                          {"Minus", "\xDF"},
                          {"Equal", "\xB4"},
                          {"BracketLeft", "\xFC"},
                          {"BracketRight", "+"},
                          {"Semicolon", "\xF6"},
                          {"Apostrophe", "\xE4"},
                          {"Backslash", "#"},
                          {"QuoteLeft", "^"},
                          {"Slash", "-"},
                          {"A", "a"},
                          {"1", "1"}});
  }
  void layout(const std::string& lines) { ASSERT_TRUE(form.dispatch(Event::keyLayout(lines))); }
};

TEST_F(KeyLayoutTest, EveryButtonShowsTheLetterTheLearnersKeyPrints) {
  form.clickToggle(form.KeyLetters);
  layout(german());
  // The keycaps of a German keyboard at the places the shipped map uses, where they are not
  // the US names.
  const std::map<std::string, std::string> keycaps = {{"Y", "Z"},
                                                      {"Minus", "\xDF"},
                                                      {"BracketLeft", "\xDC"},
                                                      {"BracketRight", "+"},
                                                      {"Semicolon", "\xD6"},
                                                      {"Apostrophe", "\xC4"}};
  const auto names = keyNamesByPosition(form.hands.keyMap);
  for (int b = 0; b < kKeyCount; ++b) {
    const std::string& name = names[static_cast<std::size_t>(b % kButtonsPerBlock)];
    const auto keycap = keycaps.find(name);
    EXPECT_EQ(form.Keys[b].tag, keycap == keycaps.end() ? name : keycap->second) << "button " << b;
  }
}

TEST_F(KeyLayoutTest, AKeyStillPlaysByItsPlaceWhateverItPrints) {
  form.clickToggle(form.KeyLetters);
  const std::string shownBefore = form.Keys[16].tag;
  form.handKeyDown("Y");
  const auto before = port.notes();
  form.handKeyUp("Y");
  port.log.clear();
  layout(german());
  EXPECT_NE(form.Keys[16].tag, shownBefore);
  form.handKeyDown("Y");  // the key a German keyboard prints Z on, where the badge now says Z
  EXPECT_EQ(port.notes(), before);
}

TEST_F(KeyLayoutTest, TheHelpBoardNamesTheRestKeysAsPrinted) {
  layout(german());
  // The rest that rings on is the place of US Z, which prints Y here; Return prints nothing.
  EXPECT_NE(form.Tafel1.caption.find("(Y)"), std::string::npos) << form.Tafel1.caption;
  EXPECT_NE(form.Tafel1.caption.find("(Enter)"), std::string::npos) << form.Tafel1.caption;
  EXPECT_NE(form.Tafel1.caption.find("(X)"), std::string::npos) << form.Tafel1.caption;
}

TEST_F(KeyLayoutTest, ANewLayoutReplacesTheOldOneAndKeysItLeavesOutShowTheirUsNames) {
  form.clickToggle(form.KeyLetters);
  layout(german());
  layout("Q=a\n");  // a layout told in part (French: A where the US Q is)
  EXPECT_EQ(form.Keys[1].tag, "A");
  EXPECT_EQ(form.Keys[16].tag, "Y");
  EXPECT_EQ(form.Keys[27].tag, ";");
  layout("");
  EXPECT_EQ(form.Keys[1].tag, "Q");
}

TEST_F(KeyLayoutTest, LettersComeWhenTheKeysAreShownLaterAndGoWhenHidden) {
  layout(german());
  EXPECT_EQ(form.Keys[16].tag, "");
  form.clickToggle(form.KeyLetters);
  EXPECT_EQ(form.Keys[16].tag, "Z");
  form.clickToggle(form.KeyLetters);
  EXPECT_EQ(form.Keys[16].tag, "");
}

TEST(KeyPrintsTest, OnlyKnownKeysWithOnePrintableCharacterAreTaken) {
  const KeyPrints prints = parseKeyPrints(
      "Equal==\nY=z\r\nNonsense=x\nQ=\nW=ab\nE= "
      "\nR=\t\nT\n=5\nS=\x9A\nD=\xA0\nF=\xDF\nG=\xFF\nU=\x81\n");
  EXPECT_EQ(prints,
            (KeyPrints{{"Equal", "="}, {"Y", "z"}, {"S", "\x9A"}, {"F", "\xDF"}, {"G", "\xFF"}}));
  EXPECT_EQ(parseKeyPrints(keyPrintsText(prints)), prints);
}

TEST_F(KeyLayoutTest, LettersAreShownInCapitalsAsOnTheKeysSharpSAndYDiaeresisAsTheyAre) {
  form.clickToggle(form.KeyLetters);
  // Positions 0 (A), 3 (S), 6 (D) and 9 (F) of the shipped map.
  layout("A=\xE9\nS=\x9A\nD=\xDF\nF=\xFF\n");
  EXPECT_EQ(form.Keys[0].tag, "\xC9");
  EXPECT_EQ(form.Keys[3].tag, "\x8A");
  EXPECT_EQ(form.Keys[6].tag, "\xDF");
  EXPECT_EQ(form.Keys[9].tag, "\xFF");
}
