// The instrument file: whatever the writer writes comes back the same, a damaged file is
// refused with a reason on each line at fault, and the numbers records give the buttons.
#include <algorithm>
#include <random>

#include "instrument/instrument_format.h"
#include "sound/buttons.h"
#include "note_names.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

/// A random instrument as a teacher could write it: names of one word (Windows-1252 letters
/// too), notes anywhere in 0..127, bass letters by the case rule.
class RandomInstrument {
 public:
  explicit RandomInstrument(unsigned seed) : random_(seed) {}

  Instrument next() {
    Instrument instrument;
    instrument.name = word() + " " + word() + ", 16 B\xE4sse";
    const bool fromLayout = number(0, 3) == 0;
    const int rows = fromLayout ? 3 : number(1, kMaxTrebleRows);
    if (fromLayout) instrument.layout = "Notes_" + word() + ".txt";
    static const char* keys[] = {"G", "C", "F", "B", "Es", "As", "Des", "Fis", "H"};
    for (int r = 0; r < rows; ++r) {
      TrebleRow row{keys[number(0, 8)], {}};
      const int length = fromLayout ? 0 : number(1, kMaxRowButtons);
      for (int b = 0; b < length; ++b) row.buttons.push_back({word(), note(), word(), note()});
      instrument.treble.push_back(row);
    }
    for (int r = number(0, kMaxBassRows); r > 0; --r) instrument.bass.push_back(bassRow());
    return instrument;
  }

 private:
  BassRow bassRow() {
    BassRow row;
    for (int b = number(1, kMaxRowButtons); b > 0; --b) {
      const bool chord = number(0, 1) == 1;
      std::string letter(1, static_cast<char>((chord ? 'a' : 'A') + number(0, 25)));
      if (number(0, 2) == 0) letter += "'";
      row.buttons.push_back({letter, sound(chord), sound(chord)});
    }
    return row;
  }
  BassSound sound(bool chord) {
    BassSound sound{word(), {}};
    for (int n = chord ? number(2, kMaxChordNotes) : 1; n > 0; --n) sound.notes.push_back(note());
    return sound;
  }
  std::string word() {
    static const std::string letters = "abcdefghABCDEFGH#'m7\xE4\xF6\xDC";
    std::string w;
    for (int n = number(1, 4); n > 0; --n) w += letters[static_cast<std::size_t>(number(0, 20))];
    return w;
  }
  int note() { return number(0, 127); }
  int number(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  std::mt19937 random_;
};

/// The problems parseInstrument finds in these lines; the instrument must be refused.
std::vector<InstrumentProblem> problemsOf(const std::vector<std::string>& lines) {
  std::vector<InstrumentProblem> problems;
  EXPECT_FALSE(parseInstrument(joinLines(lines), problems));
  return problems;
}

const std::vector<std::string> kHead{"NAME=Test", "ROW=G", " 1 H 47 d 50", " 2 d 50 f# 54"};

std::vector<std::string> withLines(std::vector<std::string> lines,
                                   std::initializer_list<std::string> more) {
  lines.insert(lines.end(), more);
  return lines;
}

}  // namespace

TEST(InstrumentFileTest, WhatTheWriterWritesReadsBackTheSame) {
  RandomInstrument random(38);
  for (int i = 0; i < 300; ++i) {
    const Instrument written = random.next();
    const std::string bytes = instrumentFileText(written);
    std::vector<InstrumentProblem> problems;
    const auto read = parseInstrument(bytes, problems);
    ASSERT_TRUE(read) << bytes << (problems.empty() ? "" : problems[0].detail);
    EXPECT_TRUE(problems.empty());
    ASSERT_EQ(*read, written) << bytes;
    // Windows-1252 with CR LF, as every file of the program.
    EXPECT_EQ(splitLines(bytes).size() * 2, static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\r') +
                                                                      std::count(bytes.begin(), bytes.end(), '\n')));
  }
}

TEST(InstrumentFileTest, EveryLineAtFaultIsSaidWithItsNumberAndTheWholeFileLast) {
  const auto problems = problemsOf(
      {"# a comment", "ROW=G", " 1 H 47 d 128", " 2 d 50 f#", "BASS-ROW", " 1 c F 41 C 36",
       " 2 A F 53+57+60 C 48+52+55", " 3 C F 41 C 48+52+55", "COLOUR=red"});
  const std::vector<InstrumentProblem> expected{{3, InstrumentFault::BadNote, "128"},
                                                {4, InstrumentFault::FieldCount, "5"},
                                                {6, InstrumentFault::BadLetter, "c"},
                                                {7, InstrumentFault::BadLetter, "A"},
                                                {8, InstrumentFault::MixedSound, "41 48+52+55"},
                                                {9, InstrumentFault::UnknownLine, "COLOUR=red"},
                                                {0, InstrumentFault::NoName, ""}};
  EXPECT_EQ(problems, expected);
}

TEST(InstrumentFileTest, AMissingButtonLineIsOneProblemNotOneForEveryLineAfterIt) {
  // Buttons 1, 2, 4, 5: the gap is said once, where it shows.
  const auto problems = problemsOf(withLines(kHead, {" 4 g 55 a 57", " 5 h 59 c1 60"}));
  EXPECT_EQ(problems, (std::vector<InstrumentProblem>{{5, InstrumentFault::WrongNumber, "3"}}));
}

TEST(InstrumentFileTest, ARefusedRowTakesItsButtonsWithIt) {
  // An unknown key: its buttons belong to no row, and are not added to the row before.
  const auto problems = problemsOf(withLines(kHead, {"ROW=X", " 1 c 48 f 53"}));
  EXPECT_EQ(problems, (std::vector<InstrumentProblem>{{5, InstrumentFault::BadKey, "X"},
                                                      {6, InstrumentFault::ButtonOutsideRow, "1"}}));
}

TEST(InstrumentFileTest, LimitsOfRowsButtonsAndChordsAreSaid) {
  std::vector<std::string> lines{"NAME=Six rows"};
  for (int r = 0; r < 6; ++r) lines.insert(lines.end(), {"ROW=C", " 1 c 48 f 53"});
  EXPECT_EQ(problemsOf(lines),
            (std::vector<InstrumentProblem>{{12, InstrumentFault::TooManyRows, "5"},
                                            {13, InstrumentFault::ButtonOutsideRow, "1"}}));

  lines = {"NAME=Long row", "ROW=C"};
  for (int b = 1; b <= 17; ++b) lines.push_back(std::to_string(b) + " c 48 f 53");
  EXPECT_EQ(problemsOf(lines),
            (std::vector<InstrumentProblem>{{19, InstrumentFault::TooManyButtons, "16"}}));

  EXPECT_EQ(problemsOf(withLines(kHead, {"BASS-ROW", " 1 a F 41+45+48+53+57 C 36+40+43"})),
            (std::vector<InstrumentProblem>{{6, InstrumentFault::TooManyNotes, "41+45+48+53+57"}}));
}

TEST(InstrumentFileTest, RowsWithoutButtonsAndRepeatedSettingsAreRefused) {
  EXPECT_EQ(problemsOf({"NAME=A", "ROW=G", "ROW=C", " 1 c 48 f 53", "BASS-ROW", "NAME=B"}),
            (std::vector<InstrumentProblem>{{2, InstrumentFault::EmptyRow, ""},
                                            {5, InstrumentFault::EmptyRow, ""},
                                            {6, InstrumentFault::NameTwice, "1"}}));
  EXPECT_EQ(problemsOf({""}), (std::vector<InstrumentProblem>{{0, InstrumentFault::NoName, ""},
                                                              {0, InstrumentFault::NoTreble, ""}}));
}

TEST(InstrumentFileTest, AnInstrumentOnALayoutTakesThreeRowsOfKeysAndNoButtons) {
  const std::vector<std::string> head{"NAME=T", "LAYOUT=Notes_G-C-F.txt", "ROW=G", "ROW=C"};
  EXPECT_EQ(problemsOf(withLines(head, {"ROW=F", "ROW=B"})),
            (std::vector<InstrumentProblem>{{0, InstrumentFault::LayoutRows, "4"}}));
  EXPECT_EQ(problemsOf(withLines(head, {" 1 c 48 f 53", "ROW=F"})),
            (std::vector<InstrumentProblem>{
                {5, InstrumentFault::ButtonsWithLayout, "Notes_G-C-F.txt"}}));
  // Only a layout file of the note list, inside the folder.
  EXPECT_EQ(problemsOf({"NAME=T", "LAYOUT=../Notes_G-C-F.txt", "ROW=G"}).front(),
            (InstrumentProblem{2, InstrumentFault::BadLayoutName, "../Notes_G-C-F.txt"}));
  EXPECT_EQ(problemsOf({"NAME=T", "LAYOUT=Instrument_G.txt", "ROW=G"}).front().fault,
            InstrumentFault::BadLayoutName);
}

// ---- The treble of a layout, and the numbers of the buttons

class LayoutTrebleTest : public ::testing::Test {
 protected:
  MemoryFiles files;
  void SetUp() override { files.loadShippedData(); }
  NoteLayout layout(const std::string& name) {
    std::size_t lines = 0;
    return *parseNoteLayout(*files.read("Notes/" + name), lines);
  }
};

TEST_F(LayoutTrebleTest, EveryButtonOfTheLayoutKeepsItsRecordNumberNoteAndName) {
  for (const char* name : {"Notes_G-C-F.txt", "Notes_B-Es-As.txt"}) {
    SCOPED_TRACE(name);
    const NoteLayout notes = layout(name);
    Instrument instrument{"T", name, {{"G", {}}, {"C", {}}, {"F", {}}}, {}};
    ASSERT_EQ(takeTrebleFromLayout(instrument, notes), std::nullopt);
    const ButtonNumbering numbering(trebleRowLengths(instrument));
    ASSERT_EQ(numbering.count(), kKeyCount);
    for (int b = 0; b < kKeyCount; ++b) {
      const ButtonAt at = *numbering.placeOf(b);
      const ButtonPlace record = placeOf(b);
      EXPECT_EQ(at, (ButtonAt{record.push, record.row, record.number})) << b;
      const TrebleButton& button = instrument.treble[std::size_t(at.row - 1)].buttons[std::size_t(at.number - 1)];
      EXPECT_EQ(at.push ? button.push : button.pull, parseInt16(*notes.notes[std::size_t(b)])) << b;
      EXPECT_TRUE(namesNote(at.push ? button.pushName : button.pullName, at.push ? button.push : button.pull));
    }
  }
}

TEST_F(LayoutTrebleTest, ALayoutWithAButtonUnsetOrNoMidiNoteIsNamedByThatButton) {
  NoteLayout notes = layout("Notes_G-C-F.txt");
  notes.notes[40] = "200";
  Instrument instrument{"T", "Notes_G-C-F.txt", {}, {}};
  EXPECT_EQ(takeTrebleFromLayout(instrument, notes), 40);
  notes.notes[40] = "55";
  notes.captions[33].reset();
  EXPECT_EQ(takeTrebleFromLayout(instrument, notes), 33);
}

TEST(ButtonNumberingTest, NumbersAndPlacesAnswerEachOtherForAnyRows) {
  std::mt19937 random(4);
  for (int i = 0; i < 200; ++i) {
    std::vector<int> rows(std::size_t(random() % 5 + 1));
    for (int& length : rows) length = int(random() % 16 + 1);
    const ButtonNumbering numbering(rows);
    int total = 0;
    for (int length : rows) total += length;
    ASSERT_EQ(numbering.count(), 2 * total);
    for (int id = 0; id < numbering.count(); ++id) {
      const auto at = numbering.placeOf(id);
      ASSERT_TRUE(at);
      EXPECT_EQ(at->push, id >= total);
      EXPECT_EQ(numbering.numberOf(*at), id);
    }
    EXPECT_EQ(numbering.placeOf(numbering.count()), std::nullopt);
    EXPECT_EQ(numbering.numberOf({false, int(rows.size()) + 1, 1}), std::nullopt);
    EXPECT_EQ(numbering.numberOf({true, 1, rows[0] + 1}), std::nullopt);
  }
}

TEST(ButtonNumberingTest, AFourthRowFollowsTheThreeRowNumbersRankByRank) {
  // The first rank is 0..3 now; button 3 of a three-row record (row 1, number 2) moves to 4.
  const ButtonNumbering numbering({11, 12, 11, 11});
  EXPECT_EQ(numbering.blockSize(), 45);
  EXPECT_EQ(numbering.numberOf({false, 4, 1}), 3);
  EXPECT_EQ(numbering.numberOf({false, 1, 2}), 4);
  EXPECT_EQ(numbering.numberOf({false, 2, 12}), 44);
  EXPECT_EQ(numbering.numberOf({true, 1, 1}), 45);
}
