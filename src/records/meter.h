// A record's time: its meter (beats per bar, the steps of its grid per beat, a pickup) and its
// own tempo, kept beside the record in a file of the program's own; and the record's events
// laid on that grid. The record file holds rhythm already: each event is one step, a chord held
// for several steps is the chord followed by rests that ring on ("-BREAK PLAY-"), a silence is
// a silent rest ("-BREAK MUTE-"). Plain data and pure functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tastrello {

/// Tempi are beats per minute: a record's own, and those of practice.
constexpr int kSlowestTempo = 20;
constexpr int kFastestTempo = 300;

struct Meter {
  int beatsPerBar = 4;   ///< 1 to 12
  int stepsPerBeat = 1;  ///< the grid: 1 quarters, 2 eighths, 4 sixteenths
  int pickupSteps = 0;   ///< steps before the first full bar (less than a bar)
  int tempo = 0;         ///< the record's own tempo (kSlowestTempo to kFastestTempo), 0: none
  bool operator==(const Meter&) const = default;
  int stepsPerBar() const { return beatsPerBar * stepsPerBeat; }
};

/// The meter file of a record: "Meter_" + the record's file name, in the records folder.
std::string meterFileName(const std::string& recordFile);

/// Whether a meter can be kept: its numbers in their ranges.
bool isValidMeter(const Meter& meter);

/// Reads a meter file: "METER;beats=4;steps=2;pickup=0" and, optionally, "TEMPO;bpm=96";
/// empty lines and lines starting with "#" are comments. Nothing, with `problem` saying why
/// (in English, for the caller to put in its own words), when the file holds no valid METER
/// line; a later valid line of a kind wins over an earlier one; unknown kinds are ignored (a
/// later version may add kinds). A meter comes with `problem` "" when every line was used, or
/// naming the lines of its kinds that were not (a tempo out of range, a METER or TEMPO line
/// that cannot be read), for the caller to say.
std::optional<Meter> parseMeter(std::string_view bytes, std::string& problem);

/// The file's bytes, CR LF.
std::string formatMeter(const Meter& meter);

/// One event of a record on its grid.
struct TimedEvent {
  int event = 0;       ///< the event in the record, from 1 (a chord, or the first rest of a run)
  long long step = 0;  ///< the step it starts at, from 0
  int steps = 1;       ///< how many steps it lasts
  bool rest = false;   ///< silence (a silent rest, or a ringing rest with nothing to ring)
  bool operator==(const TimedEvent&) const = default;
};

/// The record's events (button lines or rest markers) as chords with their lengths: a chord
/// lasts one step and one more for each ringing rest after it; silent rests, and ringing rests
/// with no chord before them, are silence of one step each (each its own TimedEvent).
std::vector<TimedEvent> timeline(const std::vector<std::string>& buttonLines);

/// Where a step lies: bar 0 is the pickup (when there is one), full bars count from 1.
struct BarPlace {
  long long bar = 1;
  int step = 0;  ///< the step within its bar, from 0 (within the pickup: counted to its end,
                 ///< so that the pickup's last step has the place of a full bar's last step)
  bool operator==(const BarPlace&) const = default;
};
BarPlace barPlaceOf(const Meter& meter, long long step);

}  // namespace tastrello
