// What the window benchmarks share: a record written into the working folder and loaded.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "window/form1.h"
#include "shell/text.h"

namespace tastrello {

/// Writes Records/`fileName` from a layout name and the events' lines (button line, then the
/// name line for a chord) and loads it as a click in the record list does.
inline void loadBenchRecord(Form1& form, Files& files, const std::string& fileName,
                            std::vector<std::string> lines) {
  lines.insert(lines.end(), {"*-*", " "});
  files.replace("Records/" + fileName, joinLines(lines));
  form.refreshFileList(form.RecordList);
  const auto& items = form.RecordList.items;
  form.RecordList.selected = int(std::find(items.begin(), items.end(), fileName) - items.begin());
  form.RecordList_Click();
}

}  // namespace tastrello
