// The record under edit on its own: its lists stay aligned whatever is done to them, a commit
// goes where the selection and the switch say, its limits hold, and a learner's work is asked
// about before one click loses it.
#include <gtest/gtest.h>

#include <random>

#include "editor/record_draft.h"

using namespace tastrello;

namespace {

/// The window's lists the draft keeps the record in.
struct Lists {
  std::vector<std::string> display, names, buttons;
  std::vector<Bellows> bellows;
  std::string pendingDisplay, pendingNames, pendingButtons;
  DraftLists refs() {
    return {display, bellows, names, buttons, pendingDisplay, pendingNames, pendingButtons};
  }
};

RecordEvent chordOf(int button) {
  const std::string name = "c" + std::to_string(button % 3 + 1);
  return {name + "  ", name + "/", buttonField(button)};
}

}  // namespace

class RecordDraftTest : public ::testing::Test {
 protected:
  Lists lists;
  RecordDraft draft{lists.refs()};

  std::vector<RecordEvent> events() const {
    std::vector<RecordEvent> out;
    for (std::size_t i = 0; i < lists.display.size(); ++i)
      out.push_back({lists.display[i], lists.names[i], lists.buttons[i]});
    return out;
  }
};

TEST_F(RecordDraftTest, AnySequenceOfEditsKeepsTheListsAlignedAsAPlainListWouldBe) {
  // Given random inserts, replaces and erases at rows in and out of range, expect the lists to
  // hold what a plain list of events holds, each row with its own bellows mark.
  std::mt19937 random(37);
  std::vector<RecordEvent> model;
  for (int step = 0; step < 2000; ++step) {
    const int row = int(random() % (model.size() + 3)) - 1;  // -1 .. size + 1
    const RecordEvent event = random() % 5 == 0 ? restEvent(kBreakMute) : chordOf(int(random() % 68));
    switch (random() % 4) {
      case 0:
        draft.insert(row, event);
        if (row >= 0 && row <= int(model.size())) model.insert(model.begin() + row, event);
        break;
      case 1:
        draft.replace(row, event);
        if (row >= 0 && row < int(model.size())) model[std::size_t(row)] = event;
        break;
      case 2:
        draft.erase(row);
        if (row >= 0 && row < int(model.size())) model.erase(model.begin() + row);
        break;
      default:
        if (random() % 50 == 0) {
          draft.clear();
          model.clear();
        }
    }
    ASSERT_EQ(events(), model) << "step " << step;
    ASSERT_EQ(lists.bellows.size(), model.size());
  }
  for (std::size_t i = 0; i < model.size(); ++i)
    EXPECT_EQ(lists.bellows[i], bellowsOf(model[i].buttonLine));
}

TEST_F(RecordDraftTest, ACommitAppendsReplacesOrInsertsAtTheSelection) {
  for (int b : {1, 2, 3}) {
    draft.holdButton(b, "c1");
    ASSERT_EQ(draft.commit(-1, true, b), RecordDraft::Commit::Taken);
  }
  draft.holdButton(40, "e1");
  EXPECT_EQ(draft.commit(1, true, 4), RecordDraft::Commit::Taken);  // replaces the second
  draft.holdButton(41, "g1");
  EXPECT_EQ(draft.commit(0, false, 5), RecordDraft::Commit::Taken);  // inserts before the first
  EXPECT_EQ(lists.buttons, (std::vector<std::string>{"41/", "01/", "40/", "03/"}));
  EXPECT_TRUE(draft.pendingEmpty());
  EXPECT_EQ(draft.unsavedChanges(), 5);
}

TEST_F(RecordDraftTest, AButtonIsInTheChordOnceAndAFifthLetsItGo) {
  for (int b : {5, 6, 5, 7, 8}) draft.holdButton(b, "a1");
  EXPECT_EQ(lists.pendingButtons, "05/06/07/08/");
  EXPECT_EQ(lists.pendingNames, "a1/a1/a1/a1/");
  draft.holdButton(9, "a1");
  EXPECT_TRUE(draft.pendingEmpty());
  EXPECT_EQ(lists.pendingNames, "");
}

TEST_F(RecordDraftTest, RefusedCommitsLeaveNothingHalfPending) {
  EXPECT_EQ(draft.commit(-1, true, 1), RecordDraft::Commit::NoChord);
  draft.addToPending({"x ", "x\r\n/", "05/"});
  EXPECT_EQ(draft.commit(-1, true, 2), RecordDraft::Commit::NotStorable);
  EXPECT_TRUE(draft.pendingEmpty());
  draft.holdButton(5, "c1");
  EXPECT_EQ(draft.commit(-1, true, RecordDraft::kCommitLimit + 1), RecordDraft::Commit::Limit);
  EXPECT_TRUE(draft.pendingEmpty());
  EXPECT_EQ(draft.eventCount(), 0);
  EXPECT_EQ(draft.unsavedChanges(), 0);
}

TEST_F(RecordDraftTest, AFullRecordTakesReplacementsButNoMoreEvents) {
  for (int i = 0; i < kMaxEvents; ++i) draft.insert(i, chordOf(i % 68));
  draft.holdButton(10, "c1");
  EXPECT_EQ(draft.commit(-1, true, 1), RecordDraft::Commit::Limit);
  draft.holdButton(10, "c1");
  EXPECT_EQ(draft.commit(7, false, 2), RecordDraft::Commit::Limit);  // an insert grows it
  draft.holdButton(10, "c1");
  EXPECT_EQ(draft.commit(7, true, 3), RecordDraft::Commit::Taken);
  EXPECT_EQ(draft.eventCount(), kMaxEvents);
  EXPECT_EQ(lists.buttons[7], "10/");
}

class LosingWorkTest : public RecordDraftTest {};

TEST_F(LosingWorkTest, CancelAsksOnceForTheChangesItWouldLose) {
  draft.begin("");
  EXPECT_TRUE(draft.mayCancel());  // nothing to lose
  draft.noteChange();
  EXPECT_FALSE(draft.mayCancel());
  draft.noteChange();  // asked about fewer changes than there are now: asks again
  EXPECT_FALSE(draft.mayCancel());
  EXPECT_TRUE(draft.mayCancel());
  EXPECT_EQ(draft.unsavedChanges(), 0);
}

TEST_F(LosingWorkTest, SavingOverAnotherRecordAsksOnceForThatNameOnly) {
  draft.begin("Records_Polka.txt");
  EXPECT_TRUE(draft.mayReplace("Records_Walzer.txt", false));  // nothing there to lose
  EXPECT_TRUE(draft.mayReplace("records_polka.TXT", true));    // the record continued
  EXPECT_FALSE(draft.mayReplace("Records_Walzer.txt", true));
  EXPECT_FALSE(draft.mayReplace("Records_Marsch.txt", true));  // another name asks anew
  EXPECT_TRUE(draft.mayReplace("Records_Marsch.txt", true));
  draft.nameChanged();
  EXPECT_FALSE(draft.mayReplace("Records_Marsch.txt", true));
  draft.saved();
  EXPECT_FALSE(draft.mayReplace("Records_Marsch.txt", true));
}
