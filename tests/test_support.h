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
  FakeClock clock;
  Form1 form{{&port, &files, nullptr, &clock}};

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
  /// Writes a record of the given events (button lines; name lines made from the captions)
  /// as Records/Records_T.txt and loads it.
  void loadEvents(const std::vector<std::string>& events) {
    std::vector<std::string> lines{"Notes_G-C-F.txt"};
    for (const auto& e : events) {
      lines.push_back(e);
      if (e == kBreakMute || e == kBreakPlay) continue;
      std::string names;
      for (std::size_t i = 0; i + 2 <= e.size(); i += 3)
        names += right(form.Keys[std::stoi(e.substr(i, 2))].caption, 3) + "/";
      lines.push_back(names);
    }
    lines.insert(lines.end(), {kEndMarker, " "});
    files.files["Records/Records_T.txt"] = joinLines(lines);
    form.refreshFileList(form.RecordList);
    selectRow(form.RecordList, "Records_T.txt");
    form.RecordList_Click();
    port.log.clear();
  }
  int litKeys() const {
    int n = 0;
    for (const auto& key : form.Keys) n += key.backColor == kLitKeyColour;
    return n;
  }
};

}  // namespace tastrello::testing
