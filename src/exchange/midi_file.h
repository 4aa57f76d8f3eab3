// Standard MIDI Files on plain bytes: a reader that takes format 0 and 1 apart into notes (with
// running status, meta and system exclusive events, and files that lie about their lengths),
// and a writer of format 1 files. Standard library only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/ui_texts.h"

namespace tastrello {

/// A note as it sounds: onset and length in ticks, on a track and channel (0..15).
struct MidiNote {
  long long tick = 0;
  long long length = 0;
  int track = 0;
  int channel = 0;
  int pitch = 0;
  int velocity = 0;
  bool operator==(const MidiNote&) const = default;
};

/// A controller change: the bellows controller among others.
struct MidiControl {
  long long tick = 0;
  int track = 0;
  int channel = 0;
  int controller = 0;
  int value = 0;
  bool operator==(const MidiControl&) const = default;
};

/// A program change: the instrument (0..127) the channel plays from `tick` on.
struct MidiProgram {
  long long tick = 0;
  int track = 0;
  int channel = 0;
  int program = 0;
  bool operator==(const MidiProgram&) const = default;
};

/// A time signature: `numerator` over 2 to the `denominatorPower`, and the MIDI clocks (24 a
/// quarter) of one metronome click.
struct MidiTimeSignature {
  long long tick = 0;
  int numerator = 4;
  int denominatorPower = 2;
  int clocksPerClick = 24;
  bool operator==(const MidiTimeSignature&) const = default;
};

/// A tempo: microseconds per quarter note from `tick` on.
struct MidiTempo {
  long long tick = 0;
  long long micros = 500000;
  bool operator==(const MidiTempo&) const = default;
};

struct MidiFileContent {
  int format = 1;
  int division = 480;                 ///< ticks per quarter note
  int tracks = 0;                     ///< track chunks read
  std::vector<std::string> names;     ///< per track: its name meta event ("" when none)
  std::vector<MidiNote> notes;        ///< in order of onset (then track, then pitch)
  long long firstTempo = 500000;      ///< microseconds per quarter note, of the first tempo
  std::vector<MidiControl> controls;  ///< controller changes, in order of time
  std::vector<MidiProgram> programs;  ///< program changes, in order of reading
  std::vector<MidiTimeSignature> timeSignatures;  ///< in order of time
  std::vector<MidiTempo> tempos;                  ///< in order of time
  /// Where the file says it ends: its last end of track, when every track has one (a track
  /// cut short says nothing of where the piece ends).
  std::optional<long long> end;
  std::vector<std::optional<long long>> trackEnds;  ///< per track: its end of track, if any
  std::vector<std::string> warnings;              ///< what was repaired or left out, in words
};

/// Reads a Standard MIDI File. Nothing (and `problem`) when it is none or cannot be used (no
/// header, format 2, time in SMPTE frames); a track cut short or lying about its length is
/// read as far as it goes and named in `warnings`. Problem and warnings are worded in `language`.
std::optional<MidiFileContent> readMidiFile(std::string_view bytes, std::string& problem,
                                            UiLanguage language = UiLanguage::English);

/// One event to write: `tick` from the start, and its bytes (status first; a meta event as
/// 0xFF, type, data without the length, which the writer adds).
struct MidiEvent {
  long long tick = 0;
  std::vector<std::uint8_t> bytes;
};

/// A format 1 file: a first track with the name and the `conductor`'s events (tempo, time
/// signature), then one track per list. Every track ends at `end` (a silence after the last
/// note belongs to the piece), or at its last event when that comes later.
std::string writeMidiFile(int division, const std::vector<MidiEvent>& conductor,
                          const std::string& name,
                          const std::vector<std::vector<MidiEvent>>& tracks, long long end = 0);
/// The same with one tempo (microseconds per quarter note) as the conductor.
std::string writeMidiFile(int division, long long tempo, const std::string& name,
                          const std::vector<std::vector<MidiEvent>>& tracks);
/// The meta events of a tempo and of a time signature, for the conductor.
MidiEvent tempoEvent(long long tick, long long micros);
MidiEvent timeSignatureEvent(long long tick, int numerator, int denominatorPower,
                             int clocksPerClick);

}  // namespace tastrello
