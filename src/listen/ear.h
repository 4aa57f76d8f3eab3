// The microphone as one of the window's inputs: the source the learner chose (kept in the
// settings), the listening that judges its sound against the chord expected, the meter's level,
// and the buttons each chord heard stands for, so that practice, playing along and the editor
// take a chord heard as they take buttons held.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "listen/listening.h"
#include "shell/ui_texts.h"

namespace tastrello::listen {

class Ear {
 public:
  /// What the settings keep for the system's default microphone; "" keeps that none is chosen.
  static constexpr const char* kDefaultSource = "DEFAULT";

  /// The source listened to ("": the system's default microphone), or nothing: none chosen.
  const std::optional<std::string>& source() const { return source_; }
  void choose(std::optional<std::string> source) { source_ = std::move(source); }
  static std::string stored(const std::optional<std::string>& source);
  static std::optional<std::string> fromStored(const std::string& value);

  /// The instrument heard: its buttons' notes and captions. New notes make the listening afresh
  /// (what it learnt of the instrument's pitch with it); the latency stays.
  void useLayout(const ButtonNotes& notes, const std::array<std::string, kKeyCount>& captions);
  /// The chord the next chords heard are judged against (buttons 0-67), or nothing.
  void expect(const std::optional<std::vector<int>>& buttons);
  const std::optional<std::vector<int>>& expected() const { return expected_; }
  /// What a block of sound gave: the chords heard in it, and while tuning in, what the learner
  /// is to read when the step moved on ("" when it did not).
  struct Heard {
    std::vector<ListenVerdict> chords;
    std::string tuningSays;
  };
  /// A block of the microphone's sound. Tuning in ends once its last chord was heard.
  Heard hear(const std::vector<float>& samples, int sampleRate, double capturedAt, UiLanguage language);

  /// Tuning in: the learner plays the layout's given chords; what to read first.
  std::string startTuning(UiLanguage language);
  bool tuningIn() { return listening().mode() == Listening::Mode::TuningIn; }
  /// Calibration by the program's clicks; `clickPlayed` says when one sounded.
  void startCalibration() { listening().startCalibration(); }
  bool calibrating() { return listening().mode() == Listening::Mode::Calibrating; }
  void clickPlayed(double at) { listening().clickPlayed(at); }
  /// Ends calibration: the latency measured is taken when enough clicks were heard (`measured`).
  struct CalibrationEnd {
    bool measured = false;
    std::string says;  ///< what the learner reads
  };
  CalibrationEnd endCalibration(UiLanguage language);

  /// The buttons a chord heard stands for, as if they were held. Against a chord expected:
  /// right, its buttons; the bellows the wrong way, the same places in the other block; wrong
  /// notes, its buttons that sound and a button for each note too many, on its bellows side.
  /// With none expected: a button for each note heard, on the side where all have one, each
  /// near the one before (the editor records them).
  std::vector<int> buttonsOf(const ListenVerdict& heard);

  /// Steps of `stepSeconds` from the chord recorded before to one heard `at` (rounded, at
  /// least 1; 1 for the first): the editor lays chords heard on the step's grid. Remembers `at`.
  int stepsSinceChord(double at, double stepSeconds);
  /// The editor starts a record afresh: the next chord heard is its first.
  void forgetChords() { lastChordAt_.reset(); }

  /// The meter: the level of the last 50 ms in whole decibels of full scale (-120: silence).
  int levelDb() const;
  /// The meter as the learner reads it: a bar and the level ("" with no microphone chosen).
  std::string meter(UiLanguage language) const;
  /// The instrument's A, as tuning in learnt it (cents from 440 Hz); it stays for every
  /// layout heard after, and for the next start as "MIC-A:" (hertz, one decimal: "441.5").
  double referenceCents() const { return referenceCents_; }
  void setReferenceCents(double cents);
  /// Ends tuning in, keeping the A it learnt.
  void endTuning();
  static std::string storedA(double cents);
  /// An "MIC-A:" value: hertz with at most one decimal, within a semitone of 440; nothing for
  /// anything else.
  static std::optional<double> centsOfStoredA(const std::string& value);
  /// The capture's latency in whole milliseconds, as the settings keep it.
  int latencyMs() const;
  void setLatencyMs(int milliseconds);
  /// No microphone reaches the program a second late: such a latency is a calibration gone
  /// wrong.
  static constexpr int kLongestLatencyMs = 1000;
  /// Takes a "MIC-LATENCY:" value: whole milliseconds from 0 to kLongestLatencyMs. False,
  /// with the latency left as it was, for anything else.
  bool readLatency(const std::string& value);

  /// Calibration, tuning in and the texts of the listening; made with the layout.
  Listening& listening();

 private:
  std::optional<std::string> source_;
  ButtonNotes notes_{};
  std::array<std::string, kKeyCount> captions_;
  std::unique_ptr<Listening> listening_;
  std::optional<std::vector<int>> expected_;
  double latency_ = 0;
  double referenceCents_ = 0;
  // The editor's chords heard: the side and the button of the one before.
  bool lastPush_ = true;
  std::optional<int> lastButton_;
  std::optional<double> lastChordAt_;
};

}  // namespace tastrello::listen
