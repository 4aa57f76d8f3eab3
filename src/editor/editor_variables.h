// The window variables of recording and the editor. The window object is built on them (it
// inherits them under their names).
#pragma once

#include <string>

namespace tastrello {

struct EditorVariables {
  /// "EDIT" from the first recording on: from then on every button played joins the pending
  /// chord. Empty before.
  std::string keyMode;
  int commitCounter = 0;  ///< commit requests since recording was last entered
  bool replaceMode = true;
  int editClickState = 0;  ///< the editor list's click toggle: 0 idle, 10 selected, 5 deselecting

  bool editing() const { return keyMode == "EDIT"; }
};

}  // namespace tastrello
