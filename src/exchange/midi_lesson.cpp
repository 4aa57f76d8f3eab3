#include "exchange/midi_lesson.h"

#include "shell/ui_texts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "exchange/treble_sounds.h"
#include "records/record_format.h"
#include "shell/text.h"
#include "sound/layout_format.h"

namespace tastrello {

namespace {

constexpr int kPercussionChannel = 9;

/// The instrument of a track's notes (of a channel's in a format 0 file): its first program
/// change, -1 when it has none.
int instrumentOf(const MidiFileContent& file, int track, int channel) {
  for (const auto& p : file.programs)
    if (file.format == 0 ? p.channel == channel : p.track == track) return p.program;
  return -1;
}

bool inPart(const MidiFileContent& file, const MidiPart& part, int track, int channel) {
  if (part.program >= 0)
    return channel != kPercussionChannel && instrumentOf(file, track, channel) == part.program;
  if (part.track >= 0 && track != part.track) return false;
  return part.channel >= 0 ? channel == part.channel : channel != kPercussionChannel;
}

std::string partLabel(const MidiFileContent& file, const MidiPart& part, UiLanguage language) {
  const std::string count = std::to_string(part.notes);
  if (part.track < 0)
    return uiText(language, Text::MidiPartChannel, {std::to_string(part.channel + 1), count});
  const std::string& name = file.names[std::size_t(part.track)];
  const std::string number = std::to_string(part.track + 1);
  return name.empty() ? uiText(language, Text::MidiPartTrack, {number, count})
                      : uiText(language, Text::MidiPartTrackNamed, {number, name, count});
}

/// A time signature of `steps` steps of `stepsPerBeat` a quarter, in the smallest note value
/// that writes it whole (a pickup of one quarter is 1/4, of three sixteenths 3/16).
MidiEvent timeSignatureOfSteps(long long tick, int steps, int stepsPerBeat) {
  int numerator = steps * (4 / stepsPerBeat), power = 4;
  while (numerator % 2 == 0 && power > 2) {
    numerator /= 2;
    --power;
  }
  return timeSignatureEvent(tick, numerator, power, 24 / stepsPerBeat);
}

/// Where the tracks that play end (those with notes, controllers or programs), when every
/// track of the file ends: the export's first track runs on past a record shorter than its
/// pickup, to the time signature of the bar after the pickup, which the record never reaches.
std::optional<long long> endOfPlayingTracks(const MidiFileContent& file) {
  if (!file.end) return std::nullopt;
  std::set<int> playing;
  for (const auto& n : file.notes) playing.insert(n.track);
  for (const auto& c : file.controls) playing.insert(c.track);
  for (const auto& p : file.programs) playing.insert(p.track);
  std::optional<long long> end;
  for (int track : playing)
    if (track >= 0 && std::size_t(track) < file.trackEnds.size() && file.trackEnds[std::size_t(track)])
      end = std::max(end.value_or(0), *file.trackEnds[std::size_t(track)]);
  return end ? end : file.end;
}

}  // namespace

namespace {

/// The left hand to export: the record's buttons beside it and the instrument that sounds them.
struct BassToExport {
  const RecordHands& hands;
  const Instrument& instrument;

  const BassSound* soundOf(const ButtonAt& at) const {
    if (at.row < 1 || at.row > static_cast<int>(instrument.bass.size())) return nullptr;
    const auto& row = instrument.bass[std::size_t(at.row - 1)].buttons;
    if (at.number < 1 || at.number > static_cast<int>(row.size())) return nullptr;
    const BassButton& button = row[std::size_t(at.number - 1)];
    return at.push ? &button.push : &button.pull;
  }

  /// The pitches an event's bass buttons sound.
  std::vector<int> pitchesOf(int event) const {
    std::vector<int> pitches;
    for (const ButtonAt& at : handButtons(hands, event, Hand::Bass))
      if (const BassSound* sound = soundOf(at))
        for (int pitch : sound->notes)
          if (pitch >= 0 && pitch <= 127) pitches.push_back(pitch);
    return pitches;
  }
};

/// The treble's tracks, one a row on the row's channel: rows 1 to 3 always, rows 4 and 5 from
/// their first note on. Row 1's track also carries the bellows.
class TrebleTracks {
 public:
  explicit TrebleTracks(std::uint8_t program) : program_(program) {
    for (int row = 1; row <= 3; ++row) track(row);
  }
  void start(long long tick, int row, int pitch) {
    track(row).push_back({tick, {std::uint8_t(0x90 | trebleChannelOf(row)), std::uint8_t(pitch), 100}});
    sounding_.push_back({row, pitch});
  }
  void stopAll(long long tick) {
    for (const auto& [row, pitch] : sounding_)
      track(row).push_back({tick, {std::uint8_t(0x80 | trebleChannelOf(row)), std::uint8_t(pitch), 0}});
    sounding_.clear();
  }
  std::vector<MidiEvent>& first() { return track(1); }
  /// The tracks in order of row.
  std::vector<std::vector<MidiEvent>> take() {
    std::vector<std::vector<MidiEvent>> out;
    for (auto& entry : tracks_) out.push_back(std::move(entry.second));
    return out;
  }

 private:
  std::vector<MidiEvent>& track(int row) {
    auto [it, added] = tracks_.try_emplace(row);
    if (added) it->second.push_back({0, {std::uint8_t(0xC0 | trebleChannelOf(row)), program_}});
    return it->second;
  }
  std::uint8_t program_;
  std::map<int, std::vector<MidiEvent>> tracks_;
  std::vector<std::pair<int, int>> sounding_;  // (row, pitch)
};

/// The conductor track: the tempo, and the time signatures whose clicks fall on each step (a
/// reader learns the grid from them).
std::vector<MidiEvent> conductorOf(const Meter& meter, const ExportSettings& settings) {
  const long long step = kExportDivision / meter.stepsPerBeat;
  const long long micros = meter.tempo > 0
                               ? (60000000LL + meter.tempo / 2) / meter.tempo
                               : std::max(1, settings.intervalMs) * 1000LL * meter.stepsPerBeat;
  std::vector<MidiEvent> conductor{tempoEvent(0, micros)};
  const int click = 24 / meter.stepsPerBeat;
  if (meter.pickupSteps > 0)
    conductor.push_back(timeSignatureOfSteps(0, meter.pickupSteps, meter.stepsPerBeat));
  conductor.push_back(timeSignatureEvent(meter.pickupSteps * step, meter.beatsPerBar, 2, click));
  return conductor;
}

std::string exportMidi(const std::vector<std::string>& buttonLines, const ButtonNotes& notes,
                       const Meter& givenMeter, const ExportSettings& settings,
                       const BassToExport* bass) {
  const Meter meter = isValidMeter(givenMeter) ? givenMeter : Meter{};
  const long long step = kExportDivision / meter.stepsPerBeat;
  const auto program = static_cast<std::uint8_t>(std::clamp(settings.program, 1, 128) - 1);
  TrebleTracks rows(program);
  std::vector<MidiEvent> bassTrack{{0, {std::uint8_t(0xC0 | kBassChannel), program}}};
  std::optional<bool> push;
  const auto controller = static_cast<std::uint8_t>(std::clamp(settings.bellowsController, 0, 119));
  const auto turnTo = [&](long long tick, bool eventPush) {
    if (push == eventPush) return;
    rows.first().push_back({tick, {0xB0, controller, std::uint8_t(eventPush ? 127 : 0)}});
    push = eventPush;
  };
  // A rest of the record file that treble buttons beside it play is their chord.
  const std::vector<std::string> lines =
      bass ? linesPlayedWithBeside(buttonLines, bass->hands) : buttonLines;
  const std::optional<TrebleBeside> beside =
      bass ? std::optional<TrebleBeside>(TrebleBeside{bass->hands, bass->instrument}) : std::nullopt;
  const std::vector<EventTreble> treble = trebleOfRecord(lines, notes, beside ? &*beside : nullptr);
  long long tick = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line != kBreakPlay) rows.stopAll(tick);  // a rest that plays lets the notes ring through it
    if (treble[i].bellows != Bellows::None) turnTo(tick, treble[i].bellows != Bellows::Pull);
    for (const SoundingButton& b : treble[i].sounds) rows.start(tick, b.at.row, b.pitch);
    if (bass) {
      // Each bass button sounds for its step; in a silence of the treble it sets the bellows.
      const auto buttons = handButtons(bass->hands, static_cast<int>(i + 1), Hand::Bass);
      if (!buttons.empty() && treble[i].bellows == Bellows::None && line != kBreakPlay)
        turnTo(tick, buttons.front().push);
      const std::vector<int> pitches = bass->pitchesOf(static_cast<int>(i + 1));
      for (int pitch : pitches)
        bassTrack.push_back({tick, {std::uint8_t(0x90 | kBassChannel), std::uint8_t(pitch), 100}});
      for (int pitch : pitches)
        bassTrack.push_back(
            {tick + step, {std::uint8_t(0x80 | kBassChannel), std::uint8_t(pitch), 0}});
    }
    tick += step;
  }
  rows.stopAll(tick);
  std::vector<std::vector<MidiEvent>> tracks = rows.take();
  if (bass) tracks.push_back(std::move(bassTrack));
  return writeMidiFile(kExportDivision, conductorOf(meter, settings), settings.name, tracks, tick);
}

}  // namespace

std::string exportRecordToMidi(const std::vector<std::string>& buttonLines,
                               const ButtonNotes& notes, const Meter& meter,
                               const ExportSettings& settings) {
  return exportMidi(buttonLines, notes, meter, settings, nullptr);
}

std::string exportRecordToMidi(const std::vector<std::string>& buttonLines,
                               const ButtonNotes& notes, const Meter& meter,
                               const ExportSettings& settings, const RecordHands& hands,
                               const Instrument& instrument) {
  const BassToExport bass{hands, instrument};
  return exportMidi(buttonLines, notes, meter, settings, &bass);
}

ButtonNotes buttonNotesOf(const NoteLayout& layout) {
  ButtonNotes notes{};
  for (int b = 0; b < kKeyCount; ++b)
    if (const auto& entry = layout.notes[std::size_t(b)])
      notes[std::size_t(b)] = parseInt16(*entry);
  return notes;
}

std::vector<MidiPart> midiParts(const MidiFileContent& file, UiLanguage language) {
  std::map<std::pair<int, int>, int> counts;  // (track, channel) -> notes
  for (const auto& note : file.notes)
    ++counts[{file.format == 0 ? -1 : note.track, file.format == 0 ? note.channel : -1}];
  std::map<int, std::vector<MidiPart>> byInstrument;  // of the parts with a program
  std::vector<MidiPart> parts;
  for (const auto& [key, n] : counts) {
    MidiPart part{key.first, key.second, n, {}};
    part.label = partLabel(file, part, language);
    const int program = key.second == kPercussionChannel
                            ? -1
                            : instrumentOf(file, std::max(0, key.first), key.second);
    if (program >= 0) byInstrument[program].push_back(part);
    parts.push_back(std::move(part));
  }
  for (const auto& entry : byInstrument) {
    // Named apart: clang before 16 (the WebAssembly compiler) cannot capture a structured
    // binding in the lambdas below.
    const int program = entry.first;
    const std::vector<MidiPart>& played = entry.second;
    if (played.size() < 2) continue;
    // One instrument's tracks become one part, where its first track was.
    MidiPart together{-1, -1, 0, {}, program};
    std::string numbers;
    for (const auto& p : played) {
      together.notes += p.notes;
      const int number = (p.track >= 0 ? p.track : p.channel) + 1;
      numbers += (numbers.empty() ? "" : ", ") + std::to_string(number);
    }
    together.label = uiText(language, file.format == 0 ? Text::MidiPartInstrumentChannels
                                                       : Text::MidiPartInstrumentTracks,
                            {std::to_string(program + 1), numbers, std::to_string(together.notes)});
    const auto first = std::find_if(parts.begin(), parts.end(), [&](const MidiPart& p) {
      return p.track == played.front().track && p.channel == played.front().channel;
    });
    *first = together;
    parts.erase(std::remove_if(std::next(first), parts.end(), [&](const MidiPart& p) {
                  return std::any_of(played.begin(), played.end(), [&](const MidiPart& q) {
                    return q.track == p.track && q.channel == p.channel;
                  });
                }),
                parts.end());
  }
  if (parts.size() < 2) parts.clear();
  return parts;
}

Tune tuneOfMidi(const MidiFileContent& file, const MidiPart& part, const ImportOptions& options) {
  Tune tune;
  tune.division = file.division;
  // The bellows: the controller's changes in the part, or in the whole file when the part has
  // none (the program's export sends them with row 1's notes).
  std::vector<std::pair<long long, bool>> partBellows, fileBellows;
  for (const auto& c : file.controls) {
    if (c.controller != options.bellowsController) continue;
    const bool push = c.value != 0;  // as the MIDI input reads it
    fileBellows.push_back({c.tick, push});
    if (inPart(file, part, c.track, c.channel)) partBellows.push_back({c.tick, push});
  }
  tune.bellows = partBellows.empty() ? fileBellows : partBellows;
  // With the bellows given, channels 1 to 3 are the rows, as the export writes them.
  const bool rows = !tune.bellows.empty();
  for (const auto& note : file.notes) {
    if (!inPart(file, part, note.track, note.channel)) continue;
    if (rows && note.channel == kBassChannel) {
      tune.bassNotes.push_back({note.tick, note.length, note.pitch, -1});
      continue;
    }
    tune.notes.push_back(
        {note.tick, note.length, note.pitch, rows ? trebleRowOfChannel(note.channel) : -1});
  }
  // The program's own export (it carries the bellows) ends where its rows end.
  tune.endTick = rows ? endOfPlayingTracks(file) : file.end;

  // The meter: a first bar shorter than the next time signature's is a pickup.
  const auto& signatures = file.timeSignatures;
  std::size_t main = 0;
  if (signatures.size() >= 2 && signatures[0].tick == 0 && signatures[1].tick > 0) {
    const long long firstBar = file.division * 4LL * signatures[0].numerator >>
                               std::min(signatures[0].denominatorPower, 30);
    const long long secondBar = file.division * 4LL * signatures[1].numerator >>
                                std::min(signatures[1].denominatorPower, 30);
    if (signatures[1].tick == firstBar && firstBar < secondBar) {
      tune.pickupTicks = firstBar;
      main = 1;
    }
  }
  if (main < signatures.size()) {
    const auto& s = signatures[main];
    const auto beats = quarterBeatsPerBar(s.numerator, s.denominatorPower);
    if (beats) {
      tune.beatsPerBar = *beats;
    } else {
      tune.pickupTicks = 0;
      tune.notesOnReading.push_back({ImportNote::Kind::MeterNotKept, -1, 0,
                                     std::to_string(s.numerator) + "/" +
                                         std::to_string(1LL << std::min(s.denominatorPower, 30)),
                                     0, 0});
    }
    tune.stepsPerBeatAtLeast = s.clocksPerClick == 6 ? 4 : s.clocksPerClick == 12 ? 2 : 1;
    long long changes = 0;
    for (std::size_t i = main + 1; i < signatures.size(); ++i)
      changes += signatures[i].numerator != signatures[i - 1].numerator ||
                 signatures[i].denominatorPower != signatures[i - 1].denominatorPower;
    if (changes > 0)
      tune.notesOnReading.push_back({ImportNote::Kind::MeterChanges, -1, 0, {}, changes, 0});
  }
  // The tempo: the first; the changes after it are named.
  if (!file.tempos.empty()) {
    tune.microsPerQuarter = file.tempos.front().micros;
    tune.tempo = static_cast<int>((60000000LL + tune.microsPerQuarter / 2) / tune.microsPerQuarter);
    long long changes = 0;
    for (std::size_t i = 1; i < file.tempos.size(); ++i)
      changes += file.tempos[i].micros != file.tempos[i - 1].micros;
    if (changes > 0)
      tune.notesOnReading.push_back(
          {ImportNote::Kind::TempoChanges, -1, 0, {}, changes, std::clamp(tune.tempo, 20, 300)});
  } else {
    tune.tempo = 120;  // the standard's tempo when a file names none
  }
  return tune;
}

ImportResult importMidi(const MidiFileContent& file, const MidiPart& part, const ButtonNotes& notes,
                        const ImportOptions& options) {
  return importTune(tuneOfMidi(file, part, options), notes, options);
}

}  // namespace tastrello
