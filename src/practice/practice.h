// Practice: judging what the learner plays against the event the replay waits for, the score
// of a pass, the tempo ramp, and the history file of a record's passes. Plain data and pure
// functions; the window object holds them.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "practice/play_along.h"
#include "practice/practice_hands.h"
#include "records/meter.h"

namespace tastrello {

/// What the buttons held say about the event waited for.
enum class Verdict {
  Waiting,         ///< nothing held yet, or only some of the right buttons
  Right,           ///< exactly the event's buttons
  WrongButton,     ///< a button the event does not have, in no direction
  WrongDirection,  ///< a button of the event's place, but in the other block (bellows)
};

/// Judges buttons held against an event's buttons: treble buttons (0..67) and bass buttons as
/// practice numbers them (see practice_hands.h). Order does not count.
Verdict judgeButtons(const std::vector<int>& event, const std::vector<int>& held);

/// What one held button is to the event: Right (one of its buttons), WrongDirection (the same
/// place in the other bellows block) or WrongButton. Colours each button while practising.
Verdict judgeButton(const std::vector<int>& event, int button);

/// Judges pitches from a MIDI instrument against the event's pitches and bellows direction:
/// the direction counts only when the instrument tells it (`controllerPush`).
Verdict judgePitches(const std::vector<int>& eventPitches, bool eventPush,
                     const std::vector<int>& held, std::optional<bool> controllerPush);

/// The figures of one pass through a record or a section.
struct PassScore {
  int events = 0;           ///< chords waited for
  int rightFirstTry = 0;    ///< chords played right with no wrong try before
  int wrongButtons = 0;     ///< wrong tries with a wrong button
  int wrongDirections = 0;  ///< wrong tries with the right place in the wrong direction
  double seconds = 0;
  bool clean() const { return events > 0 && rightFirstTry == events; }
  bool operator==(const PassScore&) const = default;
};

/// Counts a pass as the learner plays it, event by event.
class PassCounter {
 public:
  /// A chord is now waited for.
  void beginEvent();
  /// A verdict on what is held; wrong ones count once per change of what is held.
  void judged(Verdict verdict);
  const PassScore& score() const { return score_; }
  void finish(double seconds) { score_.seconds = seconds; }

 private:
  PassScore score_;
  bool wrongThisEvent_ = false;
  Verdict last_ = Verdict::Waiting;
};

/// Raise the tempo by `stepPercent` (at least one beat a minute) after `cleanPasses` clean
/// passes in a row, up to `target`.
struct TempoRamp {
  int start = 80;
  int target = 100;
  int stepPercent = 4;
  int cleanPasses = 2;
  bool operator==(const TempoRamp&) const = default;
};

/// The tempo one step of the ramp above `current`, held at the target.
int raisedTempo(const TempoRamp& ramp, int current);

/// The beats a minute of the replay slider's value (0..25), one event a beat, held within the
/// practice tempi: what the history of version 1.3 kept as its tempo.
int tempoOfSliderValue(int value);

/// One pass's tempo and whether it was clean, as the ramp sees it (in either practice mode).
struct RampPass {
  int tempo = 0;
  bool clean = false;
};

/// One line of the history: when, at which tempo, which section, the figures.
struct PassRecord {
  std::string when;  ///< "2026-12-08 19:40"
  int tempo = 0;     ///< beats per minute
  int first = 1, last = 1;  ///< the section, events from 1
  PassScore score;
  bool operator==(const PassRecord&) const = default;
};

/// A record's history. The file is only ever appended to: a ramp line ("RAMP;from=..", or
/// "RAMP;off") holds from where it stands, so the passes before it do not count for it.
struct History {
  std::optional<TempoRamp> ramp;
  std::size_t rampFrom = 0;       ///< the passes waited for before the ramp line in force
  std::size_t rampAlongFrom = 0;  ///< and the passes played along
  std::vector<PassRecord> passes;             ///< practice that waits for the learner
  std::vector<PlayAlongPass> alongPasses;     ///< practice that plays along
  /// The order of every pass in the file: false a pass waited for, true one played along.
  std::vector<bool> order;
  bool operator==(const History&) const = default;
  /// The passes waited for since the ramp in force was set.
  std::vector<PassRecord> rampPasses() const;
  /// The passes of one mode since the ramp in force was set, as the ramp sees them.
  std::vector<RampPass> rampSteps(bool along) const;
};

/// Reads a history file; a damaged line is skipped and its number (from 1) kept in `damaged`.
History parseHistory(std::string_view bytes, std::vector<int>& damaged);
/// The file's bytes: the passes, with the ramp line in force (if any) at its place; CR LF.
std::string formatHistory(const History& history);
/// One pass as its line, to append to the file. The seconds are written with a point, whatever
/// the machine's language.
std::string formatPass(const PassRecord& pass);
/// A ramp line to append: the ramp, or "RAMP;off" when there is none.
std::string formatRamp(const std::optional<TempoRamp>& ramp);

/// The history file of a record: "Practice_" + the record's file name, in the records folder.
std::string historyFileName(const std::string& recordFile);

/// The largest history read (16 MB, some 150,000 passes); a larger one is kept and appended
/// to, but not read.
constexpr std::size_t kLargestHistory = 16u * 1024 * 1024;

/// The tempo a ramp asks for now, from the passes kept: the ramp's start when none was played
/// in it; otherwise the last pass's tempo (held between start and target), raised when the
/// passes at that tempo end in enough clean ones.
int rampTempo(const TempoRamp& ramp, const std::vector<RampPass>& passes);
int rampTempo(const TempoRamp& ramp, const std::vector<PassRecord>& passes);

/// A stretch of the record, events `first` to `last` (from 1); 0 and 0 for the whole record.
struct Section {
  int first = 0, last = 0;
  bool whole() const { return first == 0; }
  /// The events it spans in a record of `count` events, held inside 1..count.
  std::pair<int, int> span(int count) const;
  bool operator==(const Section&) const = default;
};

/// What practice keeps between the learner's notes: the chord waited for, the pass under way,
/// the loaded record's history and its section.
struct PracticeState {
  // A tap offset beyond half a second is no offset of a player's but a calibration gone wrong;
  // a timing window narrower than 10 ms judges the sound's own jitter, one wider than 300 ms
  // reaches the neighbouring chords at a brisk tempo.
  static constexpr int kLargestTapOffsetMs = 500;
  static constexpr int kNarrowestWindowMs = 10;
  static constexpr int kWidestWindowMs = 300;

  PracticeHands hands;       ///< the hands the learner practises
  bool waiting = false;      ///< a chord is shown and waited for
  std::vector<int> wanted;   ///< its buttons
  std::vector<int> clicked;  ///< buttons clicked with the mouse towards it
  bool correcting = false;   ///< the last try was wrong: letting go is judged too
  bool passOpen = false;     ///< a pass is under way (its first chord was shown)
  int passFirst = 0;         ///< the event the pass began at
  double passStarted = 0;    ///< the clock's seconds when it began
  PassCounter pass;
  Section section;
  std::string historyPath;  ///< the loaded record's history file ("" when none is loaded)
  History history;
  std::optional<PassRecord> lastPass;  ///< the latest pass of this session, for its score
  /// Lines that could not be appended to a history yet (history path -> its lines, CR LF):
  /// they go out with the next line appended to it, and count as read meanwhile.
  std::map<std::string, std::string> unwritten;

  // Time: the loaded record's meter, the practice tempo, and playing along.
  Meter meter;                 ///< the loaded record's (4/4, a step a beat when it has none)
  std::string meterPath;       ///< its meter file ("" when no record is loaded)
  int tempo = 80;              ///< beats per minute while practising
  PlayAlongJudge judge;        ///< the chords played along, judged
  std::vector<TimedVerdict> verdicts;  ///< the pass's verdicts so far
  std::optional<PlayAlongPass> lastAlong;  ///< the latest pass played along, for its score
  int windowMs = 80;           ///< how far from its moment a chord is on time
  double offsetSeconds = 0;    ///< the learner's own offset, from tapping to clicks
  std::vector<int> alongClicked;  ///< buttons clicked with the mouse towards the chord due
  /// The buttons held while no pass is open (the count-in), as they changed: each change's
  /// moment and the buttons held after it.
  std::vector<std::pair<double, std::vector<int>>> heldBeforePass;
  struct Calibration {
    int clicksLeft = 0;  ///< 0: not calibrating
    std::vector<double> clicks, taps;
  } calibration;

  /// Takes a "TAP-OFFSET:" value: whole milliseconds from -500 to 500, or empty for none.
  /// False, with the offset left as it was, for anything else.
  bool readTapOffset(const std::string& value);
  /// Takes a "TIMING-WINDOW:" value: whole milliseconds from 10 to 300, or empty for the start
  /// value. False, with the window left as it was, for anything else.
  bool readTimingWindow(const std::string& value);
};

}  // namespace tastrello
