// The shared test doubles and a window object started on the shipped data.
#pragma once

#include <gtest/gtest.h>

#include "fakes.h"

namespace tastrello::testing {

/// A window object on the shipped data, started and activated.
class FormTest : public ::testing::Test {
 protected:
  FakePort port;
  MemoryFiles files;
  Form1 form{{&port, &files}};

  void start() {
    form.Form_Load();
    form.Form_Activate();
    port.log.clear();
  }
  void SetUp() override {
    files.loadShippedData();
    start();
  }
  void clickKeys(std::initializer_list<int> keys) {
    for (int k : keys) form.Keys_Click(k);
  }
  /// Clicks the buttons of a chord and takes it into the record.
  void recordChord(std::initializer_list<int> keys) {
    clickKeys(keys);
    form.NextRecord_Click();
  }
  /// Types a name and clicks Save once.
  void saveAs(const std::string& name) {
    form.SaveName.text = name;
    form.SaveName_Change();
    form.SaveRecord_Click();
  }
  /// Reads the record list afresh and clicks the file of that name.
  void load(const std::string& name) {
    form.refreshFileList(form.RecordList);
    selectRow(form.RecordList, name);
    form.RecordList_Click();
  }
  /// Selects the row that shows `name` (the list must have it).
  static void selectRow(ListBox& list, const std::string& name) {
    const auto it = std::find(list.items.begin(), list.items.end(), name);
    ASSERT_NE(it, list.items.end()) << name;
    list.selected = static_cast<int>(it - list.items.begin());
  }
  int litKeys() const {
    int n = 0;
    for (const auto& key : form.Keys) n += key.backColor == kLitKeyColour;
    return n;
  }
};

}  // namespace tastrello::testing
