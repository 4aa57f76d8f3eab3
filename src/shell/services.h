// The small interfaces through which the logic reaches the world. Each has one real
// implementation in src/platform (or, for the web edition, in web/). The test doubles of
// MidiPort, Files, OutputChoice, Clock and AudioStatus are in tests/fakes.h; MidiPorts has
// none, as the tests leave it null.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tastrello {

class MarkupReader;  // exchange/markup.h: XML and zip for the MusicXML import

/// A moment on the window object's clock (Clock::seconds), at which a message is to sound.
/// kAtOnce (and any moment already past) means as soon as possible.
using SoundTime = double;
constexpr SoundTime kAtOnce = 0;

/// A MIDI output device in the manner of the system's MIDI output calls.
/// Real implementations: the built-in FluidSynth synthesizer, RtMidi ports, a log file,
/// and the switch that routes to whichever the user chose.
class MidiPort {
 public:
  virtual ~MidiPort() = default;
  /// Opens the output for `deviceId` (-1: the chosen default output). Returns 0 and a
  /// non-zero `handle` on success, or an error code for `errorText` with `handle` left 0.
  virtual int open(int deviceId, std::uint32_t& handle) = 0;
  /// Plays one packed short message at `at`: a port that can schedule places it there in its
  /// sound, any other plays it at once. Returns 0, or an error code (also for handle 0).
  virtual int send(std::uint32_t handle, std::uint32_t word, SoundTime at) = 0;
  /// Releases the device at `at` (as `send` places a message); every note still sounding on it
  /// stops then. Returns 0 or an error code.
  virtual int close(std::uint32_t handle, SoundTime at) = 0;
  /// The text for an error code, at most 128 characters.
  virtual std::string errorText(int code) = 0;
  /// How long before their moment messages may be handed over: a port that schedules keeps
  /// their time however late the window's thread is. 0 for a port that plays all at once.
  virtual double leadSeconds() { return 0; }
};

/// One file of a change of several files: where it is, and its new bytes.
struct FileChange {
  std::string path;
  std::string bytes;
};

/// Why a change of files was not made: the file it failed at, and what went wrong there.
/// `why` is "" when the change was made.
struct FileProblem {
  std::string path;
  std::string why;
  bool ok() const { return why.empty(); }
};

/// Whole-file access relative to the working folder. Paths use "/" and are Windows-1252
/// bytes; names are matched without regard to letter case.
/// Real implementation: DiskFiles (src/platform/disk_files.h).
class Files {
 public:
  virtual ~Files() = default;
  /// The file's bytes, or nothing when it is missing or cannot be read.
  virtual std::optional<std::string> read(const std::string& path) = 0;
  /// Replaces the file's content through a temporary file and a rename, so that a failure
  /// leaves the old file whole. Returns "" on success, otherwise what went wrong.
  virtual std::string replace(const std::string& path, const std::string& bytes) = 0;
  /// The names of the files in `folder`; nothing when the folder is missing or cannot be read.
  virtual std::optional<std::vector<std::string>> list(const std::string& folder) = 0;
  /// Adds `bytes` at the end of the file, made when missing; when its last line has no line
  /// end, CR LF comes first, so that what is added starts a line. What was there is never
  /// changed or lost: on failure the file is as it was. Returns "" or what went wrong.
  /// DiskFiles appends in place. This default, for stores that only replace, replaces the file
  /// with its old bytes and the new ones, and refuses when the old ones cannot be read.
  virtual std::string append(const std::string& path, const std::string& bytes) {
    auto old = read(path);
    if (!old) {
      if (std::string why = readProblem(path); !why.empty()) return why;
      old.emplace();  // nothing there yet
    }
    if (!old->empty() && old->back() != '\n') *old += "\r\n";
    return replace(path, *old + bytes);
  }
  /// Replaces files of one folder as one change (a record and its meter): afterwards either
  /// every one has its new bytes or every one is as it was, also when the program is killed
  /// in between (DiskFiles completes an interrupted change at its next start).
  /// This default is for stores that change each file at once, with no moment between two
  /// files at which the program could be stopped (the page's memory): it replaces them in
  /// turn and, when one fails, puts back the old bytes of those it had replaced (a file that
  /// was not there before stays, as this interface cannot remove one).
  virtual FileProblem replaceTogether(const std::vector<FileChange>& changes) {
    std::vector<std::optional<std::string>> old;  // nothing: the file is not there yet
    for (const FileChange& change : changes) {
      old.push_back(read(change.path));
      if (!old.back())
        if (std::string why = readProblem(change.path); !why.empty()) return {change.path, why};
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
      const std::string why = replace(changes[i].path, changes[i].bytes);
      if (why.empty()) continue;
      for (std::size_t j = 0; j < i; ++j)
        if (old[j]) replace(changes[j].path, *old[j]);
      return {changes[i].path, why};
    }
    return {};
  }
  /// Why `read` gives nothing for the path: "" when nothing is there (or it can be read),
  /// otherwise the reason (a folder, a link to nothing, too large, no permission ...).
  virtual std::string readProblem(const std::string& path) {
    (void)path;
    return {};
  }
};

/// What device -1 stands for. Real implementation: OutputSwitch (src/platform/output_switch.h).
class OutputChoice {
 public:
  virtual ~OutputChoice() = default;
  /// "SYNTH" or "" for the built-in synthesizer, "LOG:file" for a log in the working folder,
  /// or a MIDI port's name. Takes effect at the next open.
  virtual void choose(const std::string& setting) = 0;
  /// The SoundFont file of the built-in synthesizer ("" for the first one found); takes
  /// effect when the synthesizer is first used.
  virtual void useSoundFont(const std::string& file) = 0;
  /// The built-in synthesizer's audio buffer in frames, as the window object decided it
  /// (sound/audio_buffer.h). A running output takes it at once, without a gap where its
  /// server allows; a synthesizer made later starts with it.
  virtual void useAudioBuffer(int frames) = 0;
};

/// The MIDI ports of the system, by name. Real implementation: RtMidiPorts
/// (src/platform/midi_input.h).
class MidiPorts {
 public:
  virtual ~MidiPorts() = default;
  /// The input ports (an instrument to play on); empty without a MIDI system.
  virtual std::vector<std::string> inputs() = 0;
  /// The output ports (an instrument to play through); empty without a MIDI system.
  virtual std::vector<std::string> outputs() = 0;
};

/// A source a microphone can be opened on.
struct SoundSource {
  std::string name;         ///< what the capture opens
  std::string description;  ///< what the learner is shown
};

/// The system's microphones and line inputs. Real implementations: PulseCapture and
/// PipeWireCapture (src/platform), monitors of sinks left out.
class SoundSources {
 public:
  virtual ~SoundSources() = default;
  /// The sources there are now; empty with `why` when the server does not answer.
  virtual std::vector<SoundSource> list(std::string& why) = 0;
};

/// What the output in force says of itself: the built-in synthesizer's sound output, or the MIDI
/// port (or log) chosen instead, whose latency the program cannot know and takes as 0 (the
/// learner's tap calibration makes up for the rest). The counts run from the synthesizer's start
/// and count only while notes sound: silence running dry is heard by nobody.
struct AudioReport {
  /// The MIDI port or "LOG:file" in force; "" for the built-in synthesizer. With a port in
  /// force every field below is left as it starts.
  std::string port;
  bool running = false;   ///< an audio output is open
  std::string driver;     ///< "PulseAudio 16.1", "PipeWire 0.3.65", "alsa", "web audio" ...
  std::string soundFont;  ///< the SoundFont file in use
  std::string problem;    ///< why it does not run ("" when it does)
  int bufferFrames = 0;   ///< the buffer asked for
  int framesInForce = 0;  ///< the most a note waits, as the server gave the buffer
  int cycleFrames = 0;    ///< on PipeWire the graph's cycle; else 0
  double sampleRate = 0;  ///< frames per second
  double latencyMs = 0;   ///< a note played now is heard this much later, as measured
  int underruns = 0;      ///< times the server said it had nothing left to play
  int lateWrites = 0;     ///< times the server asked for sound when it had almost none left
  int silences = 0;       ///< gaps in the stream's own timing that the server did not report
  /// The synthesizer's own warnings and errors since the last report, oldest first.
  std::vector<std::string> problems;
  int dropouts() const { return underruns + lateWrites + silences; }
  bool operator==(const AudioReport&) const = default;
};

/// The state of the output in force. Real implementation: OutputSwitch (src/platform).
class AudioStatus {
 public:
  virtual ~AudioStatus() = default;
  /// What the output in force says now; its `problems` are handed over once (the next report
  /// has only newer ones).
  virtual AudioReport audioReport() = 0;
};

/// The time: the replay's steps and the moments its messages sound, the length of a practice
/// pass and the date of its line in the history.
/// Real implementation: StandardClock (src/shell/standard_clock.h), which is also used when
/// none is given.
class Clock {
 public:
  virtual ~Clock() = default;
  /// Seconds from any fixed moment; never goes back.
  virtual double seconds() = 0;
  /// The local date and time as "2026-12-08 19:40".
  virtual std::string localTime() = 0;
};

/// What the window object is given to reach the world. `outputs` may be null: then the
/// output is whatever `midi` is. `clock` may be null: then the system's clock is used.
/// `ports` and `audio` may be null: then no port is offered and no sound output described.
/// `markup` may be null: then MusicXML files are refused with the reason. `sources` may be null:
/// then the microphone is offered as the system's default one only.
struct Services {
  MidiPort* midi = nullptr;
  Files* files = nullptr;
  OutputChoice* outputs = nullptr;
  Clock* clock = nullptr;
  MidiPorts* ports = nullptr;
  AudioStatus* audio = nullptr;
  const MarkupReader* markup = nullptr;
  SoundSources* sources = nullptr;
};

}  // namespace tastrello
