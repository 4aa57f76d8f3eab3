// How replay keeps time at a moment: the replay interval of the tempo slider in free replay, or
// the practice tempo in beats a minute on the record's grid while a practice is chosen; and the
// count-in before the first event, as long as a bar and on to the beat that event falls on.
#pragma once

#include "records/meter.h"

namespace tastrello {

/// The clicked count-in outside practice: a bar of four.
constexpr int kCountInClicks = 4;

struct Pace {
  bool practising = false;      ///< a practice of either kind is chosen
  Meter meter;                  ///< the record's meter (its grid counts while practising)
  int practiceTempo = 60;       ///< beats a minute while practising
  int sliderInterval = 500;     ///< milliseconds a step from the tempo slider otherwise
  bool countInClicked = false;  ///< the count-in clicks a bar (else two silent steps)
  int firstEvent = 1;           ///< the first event replayed (the section's, or 1)

  /// One replay step in milliseconds, never below 1.
  int stepInterval() const;
  /// The steps a beat has: the record's grid while practising, one otherwise.
  int stepsPerBeat() const;
  /// The steps counted in before the first event.
  int countInSteps() const;
  /// The bar the count-in counts: the meter's while practising, else a bar of four.
  int countInBar() const;
  /// The step within its bar of the first event replayed.
  int firstEventPlace() const;
  /// The step within its bar of the count-in's step when `countInLeft` steps remain.
  int countInPlace(int countInLeft) const;
};

}  // namespace tastrello
