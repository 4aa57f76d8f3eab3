#include "input/hand_input.h"

#include "shell/text.h"

namespace tastrello {

bool HandInput::readBellowsController(const std::string& value) {
  if (value.empty()) {
    bellowsController = -1;  // none: the direction comes from the notes held
    return true;
  }
  // 120 to 127 are channel mode messages (123 stops every note), and there is no controller
  // above 127: such a number would make the input listen for what the export cannot write.
  const auto number = parseInt16(value);
  if (!number || *number < 0 || *number > kLastBellowsController) return false;
  bellowsController = *number;
  return true;
}

}  // namespace tastrello
