#include "replay/replay_variables.h"

#include <ostream>

namespace tastrello {

namespace {

constexpr std::string_view kNames[] = {"", "Single", "Repeat", "Test"};

}  // namespace

ReplayMode& ReplayMode::operator=(std::string_view name) {
  other_.clear();
  for (unsigned char k = None; k <= Test; ++k) {
    if (name == kNames[k]) {
      kind_ = static_cast<Kind>(k);
      return *this;
    }
  }
  kind_ = Other;
  other_ = name;
  return *this;
}

std::string ReplayMode::name() const {
  return kind_ == Other ? other_ : std::string(kNames[kind_]);
}

std::ostream& operator<<(std::ostream& out, const ReplayMode& mode) {
  return out << '"' << mode.name() << '"';
}

}  // namespace tastrello
