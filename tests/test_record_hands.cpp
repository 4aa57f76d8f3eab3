// The file beside a record that holds its bass and its rows past the third: written and read
// back, damaged files read as far as they can be, the buttons kept with their events while the
// record is edited, and four-row chords split between the record file and this one.
#include <gtest/gtest.h>

#include <random>

#include "instrument/instrument_format.h"
#include "sound/buttons.h"
#include "records/record_format.h"
#include "records/record_hands.h"
#include "shell/text.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

const std::string kFourRow = "Instrument_G-C-F-B_16-Bass.txt";

Instrument shippedInstrument(const std::string& name) {
  MemoryFiles files;
  files.loadShippedData();
  std::vector<InstrumentProblem> problems;
  return parseInstrument(files.read("Notes/" + name).value(), problems).value();
}

HandButton bass(int event, int row, int number, bool push) {
  return {event, Hand::Bass, {push, row, number}};
}
HandButton treble(int event, int row, int number, bool push) {
  return {event, Hand::Treble, {push, row, number}};
}

}  // namespace

class RecordHandsFileTest : public ::testing::Test {
 protected:
  // A polka's first bar: a pulled chord held, a pushed one, a silence.
  HandsContext context{{"10/13/", kBreakPlay, "44/47/", kBreakMute},
                       kFourRow,
                       {11, 12, 11, 11},
                       {8, 8}};

  HandsRead readBack(const std::string& bytes) { return readRecordHands(bytes, "", context); }
  HandsRead readLines(const std::vector<std::string>& lines) {
    return readBack(joinLines(lines));
  }
};

TEST_F(RecordHandsFileTest, WhatIsWrittenReadsBackTheSameWithoutAProblem) {
  const RecordHands hands{kFourRow,
                          {bass(1, 1, 7, false), bass(2, 1, 8, false), treble(3, 4, 11, true),
                           bass(3, 2, 8, true), bass(4, 1, 1, false), bass(4, 2, 1, false)}};
  const std::string bytes = formatRecordHands(hands, context.buttonLines);
  const HandsRead read = readBack(bytes);
  EXPECT_EQ(read.hands, hands);
  EXPECT_TRUE(read.problems.empty());
  // Every line ends with CR LF, and none is bare LF.
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
  for (std::size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1))
    EXPECT_EQ(bytes[at - 1], '\r') << at;
}

TEST_F(RecordHandsFileTest, AnInstrumentNamedInWindows1252KeepsItsBytes) {
  context.instrumentFile = "Instrument_Kn\xF6pferl.txt";  // o umlaut in Windows-1252
  const RecordHands hands{context.instrumentFile, {bass(1, 1, 1, false)}};
  const std::string bytes = formatRecordHands(hands, context.buttonLines);
  EXPECT_NE(bytes.find("file=Instrument_Kn\xF6pferl.txt\r\n"), std::string::npos);
  const HandsRead read = readBack(bytes);
  EXPECT_EQ(read.hands, hands);
  EXPECT_TRUE(read.problems.empty());
}

TEST_F(RecordHandsFileTest, ARecordWithoutSuchButtonsWritesNoFileButEmptiesOneThatIsThere) {
  EXPECT_EQ(handsSavedWith({kFourRow, {}}, context.buttonLines, false), std::nullopt);
  const auto emptied = handsSavedWith({kFourRow, {}}, context.buttonLines, true);
  ASSERT_TRUE(emptied);
  const HandsRead read = readBack(*emptied);
  EXPECT_TRUE(read.hands.buttons.empty());
  EXPECT_TRUE(read.problems.empty());
  EXPECT_TRUE(handsSavedWith({"", {bass(1, 1, 1, false)}}, context.buttonLines, false));
}

TEST_F(RecordHandsFileTest, NoFileIsNoProblemButAFileThatCannotBeReadIsNamed) {
  const HandsRead none = readRecordHands(std::nullopt, "", context);
  EXPECT_TRUE(none.hands.buttons.empty());
  EXPECT_TRUE(none.problems.empty());
  const HandsRead refused = readRecordHands(std::nullopt, "permission denied", context);
  EXPECT_EQ(refused.problems,
            (std::vector<HandsProblem>{{0, HandsFault::Unreadable, "permission denied"}}));
  // One byte past the largest file read is refused whole, however good its lines.
  std::string large = formatRecordHands({"", {bass(1, 1, 1, false)}}, context.buttonLines);
  large.resize(kLargestHandsFile + 1, '#');
  const HandsRead tooLarge = readBack(large);
  EXPECT_TRUE(tooLarge.hands.buttons.empty());
  ASSERT_EQ(tooLarge.problems.size(), 1u);
  EXPECT_EQ(tooLarge.problems[0].fault, HandsFault::TooLarge);
}

TEST_F(RecordHandsFileTest, DamagedLinesAreNamedByLineAndTheOthersKept) {
  const HandsRead read = readLines({
      "# a comment",                                   // 1
      "BASS;event=1;row=1;number=7;bellows=pull",      // 2: kept
      "BASS;event=1;row=1;number=7",                   // 3: a field missing
      "BASS;event=x;row=1;number=7;bellows=pull",      // 4: not a number
      "BASS;event=1;row=1;number=7;bellows=both",      // 5: no such direction
      "BASS;event=1;row=1;number=6;bellows=pull;x=1",  // 6: a field too many
      "BASS;event=5;row=1;number=7;bellows=pull",      // 7: the record has 4 events
      "BASS;event=0;row=1;number=7;bellows=pull",      // 8: events count from 1
      "BASS;event=2;row=3;number=1;bellows=pull",      // 9: two bass rows
      "TREBLE;event=2;row=4;number=12;bellows=pull",   // 10: the fourth row has 11
      "BASS;event=1;row=1;number=7;bellows=pull",      // 11: again
      "SWING;amount=2",                                // 12: unknown
      "",                                              // 13
      "BASS;event=2;row=2;number=8;bellows=pull",      // 14: kept
      "BASS;event=1;row=1;number=7;number=7;bellows=pull",  // 15: a field twice
  });
  EXPECT_EQ(read.hands.buttons,
            (std::vector<HandButton>{bass(1, 1, 7, false), bass(2, 2, 8, false)}));
  const std::vector<HandsProblem> expected{
      {3, HandsFault::BadFields, "BASS;event=1;row=1;number=7"},
      {4, HandsFault::BadFields, "BASS;event=x;row=1;number=7;bellows=pull"},
      {5, HandsFault::BadFields, "BASS;event=1;row=1;number=7;bellows=both"},
      {6, HandsFault::BadFields, "BASS;event=1;row=1;number=6;bellows=pull;x=1"},
      {7, HandsFault::OutsideRecord, "4"},
      {8, HandsFault::OutsideRecord, "4"},
      {9, HandsFault::NotOnInstrument, ""},
      {10, HandsFault::NotOnInstrument, ""},
      {11, HandsFault::Twice, "2"},
      {12, HandsFault::UnknownLine, "SWING;amount=2"},
      {15, HandsFault::BadFields, "BASS;event=1;row=1;number=7;number=7;bellows=pull"},
  };
  EXPECT_EQ(read.problems, expected);
}

TEST_F(RecordHandsFileTest, ARecordChangedWithoutItsFileIsNamedAndTheButtonsThatFitKept) {
  const RecordHands hands{kFourRow, {bass(1, 1, 7, false), bass(4, 1, 1, false)}};
  const std::string bytes = formatRecordHands(hands, context.buttonLines);
  // Another program changed the first chord and cut the last event.
  context.buttonLines = {"10/", kBreakPlay, "44/47/"};
  const HandsRead read = readBack(bytes);
  EXPECT_EQ(read.hands.buttons, (std::vector<HandButton>{bass(1, 1, 7, false)}));
  ASSERT_EQ(read.problems.size(), 2u);
  EXPECT_EQ(read.problems[0].fault, HandsFault::RecordChanged);
  EXPECT_EQ(read.problems[0].detail, "4");  // the events it was saved with
  EXPECT_EQ(read.problems[1].fault, HandsFault::OutsideRecord);
  // Only the chord changed, the count the same: still named.
  context.buttonLines = {"11/13/", kBreakPlay, "44/47/", kBreakMute};
  ASSERT_EQ(readBack(bytes).problems.size(), 1u);
  EXPECT_EQ(readBack(bytes).problems[0].fault, HandsFault::RecordChanged);
}

TEST_F(RecordHandsFileTest, ButtonsAgainstTheirEventsBellowsAndAnotherInstrumentAreNamedButKept) {
  const HandsRead read = readLines({
      "INSTRUMENT;file=Instrument_A-D-G-C_16-Bass.txt",  // 1
      "BASS;event=1;row=1;number=7;bellows=push",        // 2: its chord pulls
      "BASS;event=4;row=1;number=7;bellows=push",        // 3: a silence: it sets the way
      "BASS;event=4;row=1;number=8;bellows=pull",        // 4: against line 3
      "BASS;event=3;row=1;number=8;bellows=push",        // 5: with its chord
  });
  EXPECT_EQ(read.hands.buttons.size(), 4u);
  const std::vector<HandsProblem> expected{
      {1, HandsFault::OtherInstrument, "Instrument_A-D-G-C_16-Bass.txt"},
      {2, HandsFault::AgainstBellows, ""},
      {4, HandsFault::AgainstBellows, ""},
  };
  EXPECT_EQ(read.problems, expected);
  // Names of instrument files are matched as the folder matches them, without letter case.
  EXPECT_TRUE(readLines({"INSTRUMENT;file=instrument_g-c-f-b_16-bass.TXT"}).problems.empty());
}

TEST_F(RecordHandsFileTest, TheInstrumentToReadAgainstIsTheOneTheFileNamesLast) {
  EXPECT_EQ(instrumentNamedIn(formatRecordHands({kFourRow, {bass(1, 1, 1, false)}},
                                                context.buttonLines)),
            kFourRow);
  EXPECT_EQ(instrumentNamedIn("INSTRUMENT;file=A.txt\r\n# INSTRUMENT;file=B.txt\r\n"
                              "INSTRUMENT;file=C.txt\n"),
            "C.txt");
  EXPECT_EQ(instrumentNamedIn("BASS;event=1;row=1;number=1;bellows=pull\r\n"), "");
}

// ---- Editing

TEST(RecordHandsEditTest, ButtonsStayWithTheirEventWhenEventsAreInsertedAndErased) {
  RecordHands hands{"", {bass(1, 1, 7, false), bass(2, 1, 8, false), bass(3, 2, 8, true)}};
  insertHandsEvent(hands, 1);  // before the second event
  EXPECT_EQ(hands.buttons, (std::vector<HandButton>{bass(1, 1, 7, false), bass(3, 1, 8, false),
                                                    bass(4, 2, 8, true)}));
  eraseHandsEvent(hands, 2);  // the third event, with its bass
  EXPECT_EQ(hands.buttons, (std::vector<HandButton>{bass(1, 1, 7, false), bass(3, 2, 8, true)}));
  eraseHandsEvent(hands, 1);  // an event without buttons: the later ones move back
  EXPECT_EQ(hands.buttons, (std::vector<HandButton>{bass(1, 1, 7, false), bass(2, 2, 8, true)}));
  insertHandsEvent(hands, 2);  // at the end: nothing moves
  EXPECT_EQ(hands.buttons, (std::vector<HandButton>{bass(1, 1, 7, false), bass(2, 2, 8, true)}));
}

TEST(RecordHandsEditTest, ReplacingAnEventsBassKeepsTheOrderByEventAndTheOtherHand) {
  RecordHands hands{"", {bass(1, 1, 7, false), treble(2, 4, 3, false), bass(3, 1, 1, true)}};
  setHandButtons(hands, 2, Hand::Bass, {{false, 1, 8}, {false, 2, 8}});
  EXPECT_EQ(hands.buttons,
            (std::vector<HandButton>{bass(1, 1, 7, false), treble(2, 4, 3, false),
                                     bass(2, 1, 8, false), bass(2, 2, 8, false),
                                     bass(3, 1, 1, true)}));
  EXPECT_EQ(handButtons(hands, 2, Hand::Bass),
            (std::vector<ButtonAt>{{false, 1, 8}, {false, 2, 8}}));
  EXPECT_EQ(handButtons(hands, 2, Hand::Treble), (std::vector<ButtonAt>{{false, 4, 3}}));
  setHandButtons(hands, 1, Hand::Bass, {});
  EXPECT_TRUE(handButtons(hands, 1, Hand::Bass).empty());
  EXPECT_EQ(hands.buttons.size(), 4u);
}

// ---- Four-row chords

class FourRowChordTest : public ::testing::Test {
 protected:
  Instrument instrument = shippedInstrument(kFourRow);
};

TEST_F(FourRowChordTest, TheFirstThreeRowsAreNumberedAsEveryRecordNumbersThem) {
  // The numbering of records/buttons.h, worked out there on its own.
  for (int button = 0; button < 68; ++button) {
    const ButtonPlace place = placeOf(button);
    const ButtonAt at{place.push, place.row, place.number};
    EXPECT_EQ(recordNumbering().numberOf(at), button);
    const SplitChord split = splitChord(instrument, {at});
    EXPECT_EQ(buttonsOfLine(split.buttonLine), std::vector<int>{button});
    EXPECT_TRUE(split.overflow.empty());
  }
}

TEST_F(FourRowChordTest, RowsPastTheThirdAndAFifthButtonGoBesideTheRecord) {
  const SplitChord split = splitChord(
      instrument, {{true, 1, 7}, {true, 4, 5}, {true, 2, 6}, {true, 3, 6}, {true, 2, 8}, {true, 1, 8}});
  EXPECT_EQ(split.buttonLine, "52/50/51/56/");
  EXPECT_EQ(split.nameLine, "h1/g1/c2/e2/");  // the push names of the G-C-F-B treble
  EXPECT_EQ(split.overflow, (std::vector<ButtonAt>{{true, 4, 5}, {true, 1, 8}}));
  // The record reads the line as a pushed chord, as the original program will.
  EXPECT_EQ(bellowsOf(split.buttonLine), Bellows::Push);
  EXPECT_TRUE(isWritableEvent(split.buttonLine, split.nameLine));
}

TEST_F(FourRowChordTest, AChordOfTheFourthRowAloneIsASilenceInTheRecordFile) {
  const SplitChord split = splitChord(instrument, {{false, 4, 3}, {false, 4, 4}});
  EXPECT_EQ(split.buttonLine, kBreakMute);
  EXPECT_TRUE(isWritableEvent(split.buttonLine, split.nameLine));
  EXPECT_EQ(split.overflow.size(), 2u);
}

TEST_F(FourRowChordTest, AnySplitChordComesBackWholeFromBothFiles) {
  // Given random chords of one direction on all four rows, written as a record and its hands
  // file and read back, expect each event's chord as it was (in a set's sense).
  std::mt19937 random(38);
  std::vector<std::vector<ButtonAt>> chords;
  RecordContent record{"Notes_G-C-F.txt", {}, {}};
  RecordHands hands{kFourRow, {}};
  for (int event = 1; event <= 60; ++event) {
    std::vector<ButtonAt> chord;
    const bool push = random() % 2 == 0;
    const int size = 1 + static_cast<int>(random() % 6);
    while (static_cast<int>(chord.size()) < size) {
      const int row = 1 + static_cast<int>(random() % 4);
      const int length = static_cast<int>(instrument.treble[std::size_t(row - 1)].buttons.size());
      const ButtonAt at{push, row, 1 + static_cast<int>(random() % std::size_t(length))};
      if (std::find(chord.begin(), chord.end(), at) == chord.end()) chord.push_back(at);
    }
    const SplitChord split = splitChord(instrument, chord);
    record.buttonLines.push_back(split.buttonLine);
    record.nameLines.push_back(split.nameLine);
    setHandButtons(hands, event, Hand::Treble, split.overflow);
    chords.push_back(chord);
  }
  RecordProblem problem;
  const auto recordRead = parseRecord(formatRecord(record), problem);
  ASSERT_TRUE(recordRead);
  const HandsContext context{recordRead->buttonLines, kFourRow, trebleRowLengths(instrument),
                             bassRowLengths(instrument)};
  const HandsRead handsRead =
      readRecordHands(formatRecordHands(hands, record.buttonLines), "", context);
  ASSERT_TRUE(handsRead.problems.empty());
  ASSERT_EQ(recordRead->buttonLines.size(), chords.size());
  for (std::size_t i = 0; i < chords.size(); ++i) {
    auto whole = wholeChord(recordRead->buttonLines[i], handsRead.hands, static_cast<int>(i + 1));
    auto expected = chords[i];
    const auto order = [](const ButtonAt& a, const ButtonAt& b) {
      return std::tie(a.row, a.number) < std::tie(b.row, b.number);
    };
    std::sort(whole.begin(), whole.end(), order);
    std::sort(expected.begin(), expected.end(), order);
    EXPECT_EQ(whole, expected) << "event " << i + 1;
  }
}
