#include "editor/record_draft.h"

#include "shell/text.h"

namespace tastrello {

namespace {

template <typename T>
void insertAt(std::vector<T>& items, int row, const T& value) {
  items.insert(items.begin() + row, value);
}

template <typename T>
void eraseAt(std::vector<T>& items, int row) {
  items.erase(items.begin() + row);
}

}  // namespace

void RecordDraft::bind(const DraftLists& lists) {
  display_ = &lists.display;
  bellows_ = &lists.bellows;
  names_ = &lists.names;
  buttons_ = &lists.buttons;
  pendingDisplay_ = &lists.pendingDisplay;
  pendingNames_ = &lists.pendingNames;
  pendingButtons_ = &lists.pendingButtons;
}

void RecordDraft::insert(int row, const RecordEvent& event) {
  if (row < 0 || row > eventCount()) return;
  insertAt(*display_, row, event.display);
  insertAt(*bellows_, row, bellowsOf(event.buttonLine));
  insertAt(*names_, row, event.nameLine);
  insertAt(*buttons_, row, event.buttonLine);
}

void RecordDraft::replace(int row, const RecordEvent& event) {
  if (!isEventRow(row)) return;
  const auto i = static_cast<std::size_t>(row);
  (*display_)[i] = event.display;
  (*bellows_)[i] = bellowsOf(event.buttonLine);
  (*names_)[i] = event.nameLine;
  (*buttons_)[i] = event.buttonLine;
}

void RecordDraft::erase(int row) {
  if (!isEventRow(row)) return;
  eraseAt(*display_, row);
  eraseAt(*bellows_, row);
  eraseAt(*names_, row);
  eraseAt(*buttons_, row);
}

void RecordDraft::clear() {
  display_->clear();
  bellows_->clear();
  names_->clear();
  buttons_->clear();
}

RecordContent RecordDraft::content(const std::string& layoutName) const {
  return {layoutName, *buttons_, *names_};
}

RecordEvent RecordDraft::pending() const {
  return {*pendingDisplay_, *pendingNames_, *pendingButtons_};
}

void RecordDraft::addToPending(const RecordEvent& part) {
  *pendingDisplay_ += part.display;
  *pendingNames_ += part.nameLine;
  *pendingButtons_ += part.buttonLine;
}

void RecordDraft::clearPending() {
  pendingDisplay_->clear();
  pendingNames_->clear();
  pendingButtons_->clear();
}

void RecordDraft::holdButton(int button, const std::string& caption) {
  const std::string field = buttonField(button);
  const std::string& buttons = *pendingButtons_;
  for (std::size_t i = 0; i + 3 <= buttons.size(); i += 3)
    if (buttons.compare(i, 3, field) == 0) return;
  if (buttons.size() >= 12)
    clearPending();
  else
    addToPending({caption + " ", right(caption, 3) + "/", field});
}

RecordDraft::Commit RecordDraft::commit(int selectedRow, bool replaceMode, int commits) {
  const RecordEvent event = pending();
  const bool selected = isEventRow(selectedRow);
  // Besides the per-recording limit, a record never grows past what the tables can replay.
  const bool grows = !selected || !replaceMode;
  if (commits > kCommitLimit || (grows && eventCount() >= kMaxEvents && !event.display.empty())) {
    clearPending();  // a refused commit leaves nothing half-pending
    return Commit::Limit;
  }
  if (event.display.empty()) return Commit::NoChord;
  if (!isWritableEvent(event.buttonLine, event.nameLine)) {
    clearPending();
    return Commit::NotStorable;
  }
  if (!selected)
    insert(eventCount(), event);
  else if (replaceMode)
    replace(selectedRow, event);
  else
    insert(selectedRow, event);
  clearPending();
  noteChange();
  return Commit::Taken;
}

void RecordDraft::begin(const std::string& source) {
  unsaved_ = 0;
  cancelConfirmed_ = false;
  replaceConfirmed_.clear();
  source_ = source;
  importedMeter.reset();
}

void RecordDraft::noteChange() {
  ++unsaved_;
  cancelConfirmed_ = false;  // asked about fewer changes than there are now
}

bool RecordDraft::mayCancel() {
  if (unsaved_ > 0 && !cancelConfirmed_) {
    cancelConfirmed_ = true;
    return false;
  }
  unsaved_ = 0;
  return true;
}

bool RecordDraft::mayReplace(const std::string& fileName, bool existsAlready) {
  if (!existsAlready || sameNameIgnoringCase(fileName, source_) ||
      sameNameIgnoringCase(replaceConfirmed_, fileName))
    return true;
  replaceConfirmed_ = fileName;
  return false;
}

void RecordDraft::saved() {
  replaceConfirmed_.clear();
  unsaved_ = 0;
}

}  // namespace tastrello
