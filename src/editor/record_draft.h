// The record under edit: its events in three aligned lists (the texts the editor shows with
// their bellows marks, the name lines and the button lines), the pending chord in three texts,
// and what keeps a learner's work from being lost by one click (the changes a cancel would
// lose, the name a save would replace). The lists are the window's own (its editor list and
// the two lists it never shows); every change goes through the operations here, so the three
// stay aligned by construction.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sound/buttons.h"
#include "records/meter.h"
#include "records/record_format.h"

namespace tastrello {

/// Where the record under edit is kept.
struct DraftLists {
  std::vector<std::string>& display;
  std::vector<Bellows>& bellows;  ///< the display's marks, a row each
  std::vector<std::string>& names;
  std::vector<std::string>& buttons;
  std::string& pendingDisplay;
  std::string& pendingNames;
  std::string& pendingButtons;
};

class RecordDraft {
 public:
  /// Commits a recording may make before it must be saved and begun anew.
  static constexpr int kCommitLimit = 198;

  explicit RecordDraft(const DraftLists& lists) { bind(lists); }
  /// Works from now on on these lists (the window's own, after a copy of the window); what it
  /// keeps of its own (changes unsaved, the confirmations) stays.
  void bind(const DraftLists& lists);

  // ---- The events
  int eventCount() const { return static_cast<int>(display_->size()); }
  bool isEventRow(int row) const { return row >= 0 && row < eventCount(); }
  /// Inserts before `row`; the end (eventCount()) appends.
  void insert(int row, const RecordEvent& event);
  void replace(int row, const RecordEvent& event);
  void erase(int row);
  void clear();
  /// The events as a record file holds them, with the layout they were made with.
  RecordContent content(const std::string& layoutName) const;

  // ---- The pending chord
  RecordEvent pending() const;
  bool pendingEmpty() const { return pendingDisplay_->empty(); }
  void addToPending(const RecordEvent& part);
  void clearPending();
  /// Adds a button held towards the chord: a button is in a chord once, and a fifth lets the
  /// chord go (as a fifth click does). `caption` is the button's note name.
  void holdButton(int button, const std::string& caption);

  /// What became of a commit.
  enum class Commit {
    Taken,        ///< appended, or put at the selected row
    Limit,        ///< the recording's commits or the record's events are used up
    NoChord,      ///< nothing pending
    NotStorable,  ///< a chord the record file cannot hold
  };
  /// Commits the pending chord (or rest): appended, or at `selectedRow` replacing or inserting
  /// before it; `commits` counts this recording's commits, this one included. The pending
  /// chord is emptied unless there was none.
  Commit commit(int selectedRow, bool replaceMode, int commits);

  // ---- Work that one click must not lose
  /// A recording begins: nothing to lose yet. `source` is the record's file it continues ("").
  void begin(const std::string& source);
  /// Counts a change that a cancel would lose.
  void noteChange();
  /// Changes since the recording began (or was last saved).
  int unsavedChanges() const { return unsaved_; }
  /// Whether a cancel may go ahead: with unsaved changes the first click only asks (false).
  bool mayCancel();
  /// Whether saving as `fileName` may go ahead: replacing another record than the one
  /// continued asks first (false), the second click with this name replaces it.
  bool mayReplace(const std::string& fileName, bool existsAlready);
  /// Another name was typed: a save asks again.
  void nameChanged() { replaceConfirmed_.clear(); }
  /// The record was saved.
  void saved();
  const std::string& source() const { return source_; }

  /// The meter of a tune imported into the editor, saved beside the record.
  std::optional<Meter> importedMeter;

 private:
  std::vector<std::string>* display_ = nullptr;
  std::vector<Bellows>* bellows_ = nullptr;
  std::vector<std::string>* names_ = nullptr;
  std::vector<std::string>* buttons_ = nullptr;
  std::string* pendingDisplay_ = nullptr;
  std::string* pendingNames_ = nullptr;
  std::string* pendingButtons_ = nullptr;
  int unsaved_ = 0;
  bool cancelConfirmed_ = false;  ///< Cancel was clicked once and said what would be lost
  std::string replaceConfirmed_;  ///< the file Save was clicked once for, to replace it
  std::string source_;            ///< the record's file continued by this recording, or ""
};

}  // namespace tastrello
