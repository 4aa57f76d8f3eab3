// Listening as a front end holds it: the one object the window (and the web page's worklet)
// feeds the microphone's sound to. It knows the layout, the chord expected and the capture's
// latency, and gives back verdicts placed on the program's clock; it also runs the two
// first-use steps of a microphone: calibration (the program clicks, the microphone hears the
// clicks, the delay between is the latency) and tuning in (the learner plays given chords, the
// instrument's A and level are learnt). Plain state, standard library only; no clock of its own:
// every moment comes in with the sound.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "listen/listener.h"
#include "listen/tuning.h"
#include "shell/ui_texts.h"
#include "sound/layout_format.h"

namespace tastrello::listen {

/// A chord heard, judged against the chord expected when there was one.
struct ListenVerdict {
  Verdict verdict = Verdict::Nothing;  ///< Nothing: heard with no chord expected
  bool judged = false;                 ///< against a chord expected
  double at = 0;                       ///< its onset on the program's clock, latency taken out
  std::vector<int> heard;              ///< the treble's pitches that sound
  std::vector<int> missing, extra;     ///< WrongNotes: pitches
};

/// Where calibration stands: the clicks played and heard, and the latency they give.
struct Calibration {
  int clicksPlayed = 0, clicksHeard = 0;
  std::optional<double> latency;  ///< seconds; once at least kLeastClicks were heard
  static constexpr int kLeastClicks = 3;
};

/// The step of tuning in: the chord to play next, and what was learnt so far.
struct TuningStep {
  int index = 0, count = 0;  ///< the chord to play is number index + 1 of count; index == count: done
  std::vector<int> buttons;  ///< its buttons (their block is the bellows direction)
  TuningReport report;
};

class Listening {
 public:
  Listening(const ButtonNotes& notes, const std::array<std::string, kKeyCount>& captions);
  ~Listening();

  /// The chord the next onsets are judged against (buttons 0-67, the block the bellows), or
  /// nothing: chords are only heard.
  void expect(std::optional<std::vector<int>> buttons);
  /// Sound as the capture delivers it: `count` samples at `sampleRate`, the first captured at
  /// `capturedAt` on the program's clock (seconds). Returns the chords heard since, in order.
  std::vector<ListenVerdict> feed(const float* samples, std::size_t count, double sampleRate, double capturedAt);

  /// The capture's latency (seconds) taken off every onset: calibrated, or kept in the settings.
  void setLatency(double seconds) { latency_ = seconds; }
  double latency() const { return latency_; }
  /// The sound's level over the last 50 ms, dB of a full-scale sine (-120: silence): the meter.
  double levelDb() const { return levelDb_; }

  /// Calibration: from now, onsets are the program's clicks. `clickPlayed` tells when each was
  /// heard from the loudspeaker (the program's clock); the latency is the median delay between
  /// a click played and the one heard next, once enough were heard. `endCalibration` keeps it.
  void startCalibration();
  void clickPlayed(double at);
  Calibration calibration() const;
  void endCalibration();

  /// Tuning in: the learner plays the layout's given chords, push and pull; `tuningStep` says
  /// which is next (the next once the one asked for was heard right) and what was learnt from
  /// all that sounded; `endTuning` takes the A learnt for listening.
  void startTuning();
  TuningStep tuningStep() const;
  void endTuning();
  /// The instrument's A the chords are heard by, in cents from 440 Hz: learnt by tuning in, or
  /// given (what an earlier tuning in learnt).
  double referenceCents() const { return referenceCents_; }
  void setReferenceCents(double cents);

  enum class Mode : std::uint8_t { Judging, Calibrating, TuningIn };
  Mode mode() const { return mode_; }

  /// What the learner reads: a verdict, the step of tuning in, the calibration.
  std::string say(const ListenVerdict& verdict, UiLanguage language) const;
  std::string say(const TuningStep& step, UiLanguage language) const;
  /// The latency calibrated, once there is one ("" before).
  static std::string say(const Calibration& calibration, UiLanguage language);

 private:
  void restart(double sampleRate);
  void followLevel(const float* samples, std::size_t count);
  ListenVerdict verdictOf(const Heard& heard) const;
  void hearClicks(const float* samples, std::size_t count);
  double momentOf(double sample) const;
  std::string names(const std::vector<int>& pitches) const;
  void askForTuningChord(int index);

  ButtonNotes notes_;
  std::array<std::string, kKeyCount> captions_;
  double rate_ = 0;
  std::unique_ptr<Listener> listener_;
  std::optional<Expectation> expected_;
  double referenceCents_ = 0;
  double latency_ = 0;
  double levelDb_ = -120;
  double levelPower_ = 0;
  // The stream's clock: the sample fed last and its moment.
  long long fed_ = 0;
  double fedAt_ = 0;
  Mode mode_ = Mode::Judging;
  // Calibration: the clicks played and the moments clicks were heard, and the loudness the
  // next click must rise above.
  std::vector<double> clicksPlayed_, clicksHeard_;
  double clickFloor_ = 1e-6;
  long long lastClick_ = -1000000;
  // Tuning in.
  std::vector<std::vector<int>> tuningChords_;  ///< buttons
  std::unique_ptr<TuningIn> tuning_;
  int tuningIndex_ = 0;  ///< the chord asked for
  long long tuningLooked_ = 0;  ///< the sample at which the A learnt was last taken
};

}  // namespace tastrello::listen
