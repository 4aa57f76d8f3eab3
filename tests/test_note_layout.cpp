#include <cctype>
#include <map>

#include "note_names.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

/// A layout file of 51 lines: the given caption lines and note lines, padded with comments.
std::string layoutFile(std::vector<std::string> captions, std::vector<std::string> notes) {
  captions.resize(25, "### spare");
  notes.resize(26, "### spare");
  captions.insert(captions.end(), notes.begin(), notes.end());
  return joinLines(captions);
}

}  // namespace

class NoteLayoutTest : public FormTest {
 protected:
  void load(const std::string& bytes) {
    files.files["Notes/Notes_Test.txt"] = bytes;
    form.noteFileName = "Notes_Test.txt";
    form.loadNoteLayout();
  }
};

TEST_F(NoteLayoutTest, ShippedLayoutGivesTheGcfButtons) {
  EXPECT_EQ(form.Keys[0].caption, "d ");
  EXPECT_EQ(form.keyNotes[0], "50");
  EXPECT_EQ(form.Keys[33].caption, "d3");
  EXPECT_EQ(form.keyNotes[33], "86");
  EXPECT_EQ(form.Keys[34].caption, "H ");
  EXPECT_EQ(form.keyNotes[34], "47");
  EXPECT_EQ(form.Keys[67].caption, "g3");
  EXPECT_EQ(form.keyNotes[67], "91");
  EXPECT_EQ(form.Keys[44].caption, "c1");
  EXPECT_EQ(form.keyNotes[44], "60");
  EXPECT_FALSE(form.keyNotes[68]);
}

TEST_F(NoteLayoutTest, LineKindsAdvanceTheCounterAsTheyShould) {
  // Comment: no advance; "000" is a single line; "##" alone is an entry; empty is a triple.
  load(layoutFile({"### c", "000x9", "##a", "", "aa bb cc"}, {"", "00 123", "## 1"}));
  EXPECT_EQ(form.Keys[0].caption, "x9");
  EXPECT_EQ(form.Keys[1].caption, "##");
  EXPECT_EQ(form.Keys[2].caption, "");  // "##a": field 2 is empty (line ends)
  EXPECT_EQ(form.Keys[4].caption, "");  // the empty line
  EXPECT_EQ(form.Keys[7].caption, "aa");
  EXPECT_EQ(form.Keys[9].caption, "cc");
  EXPECT_EQ(form.keyNotes[0], "");
  EXPECT_EQ(form.keyNotes[3], "123");
  EXPECT_EQ(form.keyNotes[4], "##");
  EXPECT_EQ(form.Keys[10].caption, "d1");  // not reached: keeps the shipped caption
}

TEST_F(NoteLayoutTest, TripleAtTheLastButtonsSetsOnlyItsFirstField) {
  std::vector<std::string> captions(22, "aa bb cc");  // buttons 0..65
  captions.push_back("xx yy zz");                     // k = 66: only button 66
  captions.push_back("qq rr ss");                     // k stays 66
  load(layoutFile(captions, {}));
  EXPECT_EQ(form.Keys[66].caption, "qq");
  EXPECT_EQ(form.Keys[67].caption, "g3");
}

TEST_F(NoteLayoutTest, EntriesPastTheKeyTableAreIgnored) {
  std::vector<std::string> notes(24, "10 20 30");  // would reach index 71
  load(layoutFile({}, notes));
  EXPECT_EQ(form.keyNotes[70], "20");
  EXPECT_EQ(form.keyNotes[69], "10");
}

TEST_F(NoteLayoutTest, MissingOrShortFileKeepsTheLayoutInForce) {
  load(joinLines({"aa bb cc"}));
  EXPECT_EQ(form.Keys[0].caption, "d ");
  EXPECT_NE(form.StatusLine.caption.find("1 Zeilen statt 51"), std::string::npos);
  EXPECT_EQ(form.noteFileName, "Notes_G-C-F.txt");
  form.noteFileName = "Notes_None.txt";
  form.loadNoteLayout();
  EXPECT_EQ(form.noteFileName, "Notes_G-C-F.txt");
  EXPECT_NE(form.StatusLine.caption.find(form.say(Text::WhyUnreadable)), std::string::npos);
}

TEST_F(NoteLayoutTest, ChoosingALayoutReturnsToFreePlayButLeavesReplayAlone) {
  files.files["Notes/Notes_Two.txt"] = layoutFile({"zz yy xx"}, {"70 71 72"});
  form.refreshFileList(form.NoteList);
  form.RecordList.selected = 0;  // a sample lesson
  form.RecordList_Click();
  form.PlayStop_Click();
  selectRow(form.NoteList, "Notes_Two.txt");
  form.NoteList_Click();
  EXPECT_EQ(form.Keys[0].caption, "zz");
  EXPECT_EQ(form.Infos.caption, kFreePlay);
  EXPECT_EQ(form.Infos.fontSize, 18);
  EXPECT_TRUE(form.NotenSchirm.items.empty());
  EXPECT_FALSE(form.Acco2[1].visible);
  EXPECT_EQ(form.Label2.caption, "");
  EXPECT_TRUE(form.Timer1.enabled);
  EXPECT_GT(form.replayEnd, 1);
}

TEST_F(NoteLayoutTest, ARefusedLayoutInTheListChangesNothing) {
  files.files["Notes/Notes_Broken.txt"] = joinLines({"aa bb cc"});
  form.refreshFileList(form.NoteList);
  form.RecordList.selected = 0;
  form.RecordList_Click();
  const auto views = form.NotenSchirm.items;
  const auto infos = form.Infos.caption;
  ASSERT_FALSE(views.empty());
  selectRow(form.NoteList, "Notes_Broken.txt");
  form.NoteList_Click();
  EXPECT_EQ(form.NotenSchirm.items, views);
  EXPECT_TRUE(form.NotenSchirm.visible);
  EXPECT_EQ(form.Infos.caption, infos);
  EXPECT_NE(form.Label2.caption, "");
  EXPECT_EQ(form.NoteList.items[form.NoteList.selected], "Notes_G-C-F.txt");
  EXPECT_NE(form.StatusLine.caption.find("Notes_Broken.txt"), std::string::npos);
}

// ---- The tunings shipped beside G-C-F

namespace {

std::vector<int> layoutNotes(MemoryFiles& files, const std::string& name) {
  std::size_t lines = 0;
  const auto layout = parseNoteLayout(*files.read("Notes/" + name), lines);
  std::vector<int> notes;
  if (!layout) return notes;
  for (int b = 0; b < kKeyCount; ++b) notes.push_back(parseInt16(*layout->notes[b]).value_or(-1));
  return notes;
}

}  // namespace

TEST(TuningsTest, EveryShippedTuningIsGcfMovedByItsIntervalAndNamesItsNotes) {
  MemoryFiles files;
  files.loadShippedData();
  const auto gcf = layoutNotes(files, "Notes_G-C-F.txt");
  ASSERT_EQ(gcf.size(), static_cast<std::size_t>(kKeyCount));
  const std::map<std::string, int> intervals{{"Notes_G-C-F.txt", 0},   {"Notes_A-D-G.txt", 2},
                                             {"Notes_B-Es-As.txt", 3}, {"Notes_H-E-A.txt", 4},
                                             {"Notes_F-B-Es.txt", -2}, {"Notes_C-F-B.txt", 5}};
  auto shipped = files.list("Notes/").value();
  // The note list shows the layouts alone; the instrument files beside them are not tunings.
  std::erase_if(shipped, [](const std::string& name) { return !matchesPattern(name, "NOTES*.*"); });
  EXPECT_EQ(shipped.size(), intervals.size());
  for (const auto& [name, interval] : intervals) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(files.has("Notes/" + name));
    std::size_t lines = 0;
    const auto layout = parseNoteLayout(*files.read("Notes/" + name), lines);
    ASSERT_TRUE(layout);
    const auto notes = layoutNotes(files, name);
    for (int b = 0; b < kKeyCount; ++b) {
      EXPECT_EQ(notes[b], gcf[b] + interval) << "button " << b;
      EXPECT_TRUE(namesNote(*layout->captions[b], notes[b]))
          << "button " << b << " caption \"" << *layout->captions[b] << "\" note " << notes[b];
    }
  }
  EXPECT_TRUE(namesNote("f#", 66) && namesNote("H ", 47) && namesNote("b1", 70));
  EXPECT_FALSE(namesNote("c2", 60) || namesNote("es", 64) || namesNote("x1", 60));
}
