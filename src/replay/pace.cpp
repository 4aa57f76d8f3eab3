#include "replay/pace.h"

#include <algorithm>

namespace tastrello {

int Pace::stepInterval() const {
  if (!practising) return std::max(1, sliderInterval);
  const int steps = stepsPerBeat();
  const int tempo = std::max(1, practiceTempo);
  return std::max(1, (60000 + tempo * steps / 2) / (tempo * steps));
}

int Pace::stepsPerBeat() const {
  return practising ? std::max(1, meter.stepsPerBeat) : 1;
}

int Pace::countInSteps() const {
  if (!countInClicked) return 2;
  // A whole bar, and on to the beat the first event falls on (a pickup, a section).
  return countInBar() + firstEventPlace();
}

int Pace::countInBar() const {
  return practising ? std::max(1, meter.stepsPerBar()) : kCountInClicks;
}

int Pace::firstEventPlace() const {
  return practising ? barPlaceOf(meter, firstEvent - 1).step : 0;
}

int Pace::countInPlace(int countInLeft) const {
  const int bar = countInBar();
  return ((firstEventPlace() - countInLeft) % bar + bar) % bar;
}

}  // namespace tastrello
