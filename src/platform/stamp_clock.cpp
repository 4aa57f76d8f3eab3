#include "platform/stamp_clock.h"

#include <algorithm>

namespace tastrello {

double StampClock::moment(std::uint32_t stamp, double now) {
  // Stamps wrap after 49.7 days; the step from the last one, taken as signed, goes on across
  // the wrap (and a stamp a little older than the last one, as releases held back may be,
  // steps back).
  stampMs_ = wrapping_ ? stampMs_ + static_cast<std::int32_t>(stamp - last_) : stamp;
  wrapping_ = true;
  last_ = stamp;
  return momentOfSeconds(static_cast<double>(stampMs_) / 1000.0, now);
}

double StampClock::momentOfSeconds(double stamped, double now) {
  const double distance = now - stamped;
  if (!started_ || distance > distance_ + kSetBack) {
    distance_ = distance;
  } else {
    distance_ = std::min(distance_ + kDrift * std::max(0.0, now - lastNow_), distance);
  }
  started_ = true;
  lastNow_ = now;
  return stamped + distance_;
}

double MidiMoments::moment(double sinceLast, double now) {
  // A time going back (none should) is taken as none.
  stamped_ += std::max(0.0, sinceLast);
  return clock_.momentOfSeconds(stamped_, now);
}

}  // namespace tastrello
