// MIDI files: the reader against hand-made files (running status, meta events, several tracks,
// truncated and lying files), the fingering search's choices, and export then import.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "exchange/midi_lesson.h"
#include "records/record_format.h"
#include "shell/text.h"
#include "shipped_layouts.h"
#include "lesson_support.h"
#include "test_support.h"

using namespace tastrello;
using tastrello::testing::randomLesson;
using tastrello::testing::randomMeter;

namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out += static_cast<char>(v);
  return out;
}

std::string header(int format, int tracks, int division = 96) {
  return "MThd" + bytes({0, 0, 0, 6, 0, format, 0, tracks, division >> 8, division & 0xFF});
}

std::string track(const std::string& events) {
  const auto n = events.size();
  return "MTrk" + bytes({int(n >> 24), int(n >> 16 & 0xFF), int(n >> 8 & 0xFF), int(n & 0xFF)}) +
         events;
}

const std::string kEnd = bytes({0, 0xFF, 0x2F, 0});

/// A synthetic keyboard: pull 60@0 62@3 64@6 65@9; push 60@34 62@37 64@40 67@43 60@46.
ButtonNotes smallKeyboard() {
  ButtonNotes notes{};
  for (auto [b, p] : {std::pair{0, 60},
                      {3, 62},
                      {6, 64},
                      {9, 65},
                      {34, 60},
                      {37, 62},
                      {40, 64},
                      {43, 67},
                      {46, 60}})
    notes[std::size_t(b)] = p;
  return notes;
}

std::vector<std::vector<int>> buttonsOf(const ImportResult& r) {
  std::vector<std::vector<int>> out;
  for (const auto& e : r.events) out.push_back(e.buttons);
  return out;
}

ButtonNotes shippedKeyboard() {
  return buttonNotesOf(tastrello::testing::shippedLayout("G-C-F"));
}

}  // namespace

TEST(MidiReaderTest, RunningStatusMetaEventsAndNoteOnsOfVelocityZeroAreRead) {
  // Note-on 60, running status note-on 64, a text meta event between, offs as velocity 0.
  const std::string events =
      bytes({0, 0x90, 60, 100, 0, 64, 90, 0, 0xFF, 0x01, 3, 'a', 'b', 'c', 96, 60, 0, 0, 64, 0}) +
      kEnd;
  std::string problem;
  const auto file = readMidiFile(header(0, 1) + track(events), problem);
  ASSERT_TRUE(file) << problem;
  ASSERT_EQ(file->notes.size(), 2u);
  EXPECT_EQ(file->notes[0], (MidiNote{0, 96, 0, 0, 60, 100}));
  EXPECT_EQ(file->notes[1], (MidiNote{0, 96, 0, 0, 64, 90}));
  EXPECT_TRUE(file->warnings.empty());
}

TEST(MidiReaderTest, WhatIsNoUsableFileIsRefusedWithAReason) {
  std::string problem;
  EXPECT_FALSE(readMidiFile("RIFF....", problem));
  EXPECT_NE(problem.find("MThd"), std::string::npos);
  EXPECT_FALSE(readMidiFile(header(2, 1) + track(kEnd), problem));
  EXPECT_NE(problem.find("format 2"), std::string::npos);
  EXPECT_FALSE(
      readMidiFile("MThd" + bytes({0, 0, 0, 6, 0, 0, 0, 1, 0xE7, 0x28}) + track(kEnd), problem));
  EXPECT_NE(problem.find("SMPTE"), std::string::npos);
  EXPECT_FALSE(readMidiFile(header(0, 1), problem));
  EXPECT_EQ(problem, "no track");
  EXPECT_FALSE(readMidiFile("MThd" + bytes({0x7F, 0, 0, 6, 0, 0, 0, 1, 0, 96}), problem));
}

TEST(MidiReaderTest, ATruncatedOrLyingFileIsReadAsFarAsItGoesAndSaysSo) {
  const std::string events = bytes({0, 0x90, 60, 100, 48, 0x80, 60, 0, 0, 0x90, 62, 100});
  // The chunk claims 200 bytes; the file ends after the second note-on.
  const std::string lying = header(0, 1) + "MTrk" + bytes({0, 0, 0, 200}) + events;
  std::string problem;
  const auto file = readMidiFile(lying, problem);
  ASSERT_TRUE(file) << problem;
  ASSERT_EQ(file->notes.size(), 2u);
  EXPECT_EQ(file->notes[0].length, 48);
  EXPECT_EQ(file->notes[1].length, 0) << "a note never ended ends with its track";
  EXPECT_GE(file->warnings.size(), 2u);
  // Cut inside a message and inside a meta event's data.
  for (std::size_t cut = 1; cut < events.size(); ++cut) {
    const auto f = readMidiFile(header(0, 1) + track(events.substr(0, cut)), problem);
    ASSERT_TRUE(f);
  }
  const auto meta = readMidiFile(header(0, 1) + track(bytes({0, 0xFF, 0x03, 50, 'x'})), problem);
  ASSERT_TRUE(meta);
  EXPECT_FALSE(meta->warnings.empty());
  // A data byte with no status before it.
  const auto stray = readMidiFile(header(0, 1) + track(bytes({0, 60, 100}) + kEnd), problem);
  ASSERT_TRUE(stray);
  EXPECT_NE(stray->warnings.at(0).find("no status"), std::string::npos);
}

TEST(MidiReaderTest, TimesOfUpToFourBytesAreReadAndAFifthByteIsNoTime) {
  // A note-on after 2^21 ticks (four bytes), its note-off 2^14 ticks later (three bytes).
  const std::string events =
      bytes({0x81, 0x80, 0x80, 0x00, 0x90, 60, 100, 0x81, 0x80, 0x00, 0x80, 60, 0}) + kEnd;
  std::string problem;
  const auto file = readMidiFile(header(0, 1) + track(events), problem);
  ASSERT_TRUE(file) << problem;
  EXPECT_EQ(file->notes, (std::vector<MidiNote>{{1 << 21, 1 << 14, 0, 0, 60, 100}}));
  EXPECT_TRUE(file->warnings.empty());
  // Five bytes are more than the format allows: the track is read no further.
  const auto endless =
      readMidiFile(header(0, 1) + track(bytes({0x81, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 100}) + kEnd),
                   problem);
  ASSERT_TRUE(endless) << problem;
  EXPECT_TRUE(endless->notes.empty());
  EXPECT_FALSE(endless->warnings.empty());
}

TEST(MidiReaderTest, TracksAndChannelsAreOfferedAsPartsAndImportedAlone) {
  const std::string melody =
      bytes({0, 0xFF, 0x03, 6}) + "Melody" +
      bytes({0, 0x90, 60, 100, 96, 0x80, 60, 0, 0, 0x90, 62, 100, 96, 0x80, 62, 0}) + kEnd;
  const std::string bass = bytes({0, 0x91, 64, 100, 192, 0x81, 64, 0}) + kEnd;
  std::string problem;
  const auto file = readMidiFile(header(1, 2) + track(melody) + track(bass), problem);
  ASSERT_TRUE(file) << problem;
  const auto parts = midiParts(*file);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].label, "Track 1: Melody (notes: 2)");
  const auto tune = importMidi(*file, parts[0], smallKeyboard());
  ASSERT_EQ(tune.events.size(), 2u);
  EXPECT_EQ(tune.events[1].buttons.size(), 1u);
  // Format 0: the parts are channels.
  const auto zero = readMidiFile(header(0, 1) + track(bytes({0, 0x90, 60, 100, 0, 0x93, 64, 100, 96,
                                                             0x80, 60, 0, 0, 0x83, 64, 0}) +
                                                      kEnd),
                                 problem);
  ASSERT_TRUE(zero);
  const auto channels = midiParts(*zero);
  ASSERT_EQ(channels.size(), 2u);
  EXPECT_EQ(channels[1].label, "Channel 4 (notes: 1)");
}

TEST(MidiReaderTest, TheTracksOfOneInstrumentAreOnePartAndOthersStandApart) {
  // Tracks 1 and 3 are played by instrument 22, track 2 by instrument 1, track 4 names none.
  const auto played = [](int program, int channel, int pitch) {
    return track(bytes({0, 0xC0 | channel, program, 0, 0x90 | channel, pitch, 100, 96,
                        0x80 | channel, pitch, 0}) +
                 kEnd);
  };
  const std::string unnamed = track(bytes({0, 0x93, 67, 100, 96, 0x83, 67, 0}) + kEnd);
  std::string problem;
  const auto file = readMidiFile(
      header(1, 4) + played(21, 0, 60) + played(0, 1, 62) + played(21, 2, 64) + unnamed, problem);
  ASSERT_TRUE(file) << problem;
  const auto parts = midiParts(*file);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].label, "Instrument 22, tracks 1, 3 (notes: 2)");
  EXPECT_EQ(parts[1].label, "Track 2 (notes: 1)");
  EXPECT_EQ(parts[2].label, "Track 4 (notes: 1)");
  const auto together = importMidi(*file, parts[0], smallKeyboard());
  std::vector<int> pitches;
  for (const auto& e : together.events)
    for (int b : e.buttons) pitches.push_back(*smallKeyboard()[std::size_t(b)]);
  EXPECT_EQ(pitches, (std::vector<int>{60, 64}));
}

TEST(FingeringTest, AScaleStaysInTheOneDirectionThatHasAllOfIt) {
  std::vector<std::pair<int, int>> missing;
  const auto events =
      fingerChords({{60}, {62}, {64}, {65}, {64}, {62}, {60}}, smallKeyboard(), missing);
  EXPECT_TRUE(missing.empty());
  for (const auto& e : events) {
    ASSERT_EQ(e.buttons.size(), 1u);
    EXPECT_LT(e.buttons[0], kButtonsPerBlock) << "a needless turn of the bellows";
  }
}

TEST(FingeringTest, AMelodyThatForcesAReversalTurnsOnceAndAChordOnlyOnPushIsPushed) {
  std::vector<std::pair<int, int>> missing;
  // 65 has only pull, 67 only push: one turn; 60 goes with the 65 beside it.
  const auto melody = fingerChords({{60}, {65}, {67}}, smallKeyboard(), missing);
  EXPECT_EQ(melody[0].buttons, std::vector<int>{0});
  EXPECT_EQ(melody[1].buttons, std::vector<int>{9});
  EXPECT_EQ(melody[2].buttons, std::vector<int>{43});
  const auto chord = fingerChords({{60, 67}}, smallKeyboard(), missing);
  ASSERT_EQ(chord[0].buttons.size(), 2u);
  EXPECT_GE(chord[0].buttons[0], kButtonsPerBlock);
  // Of 60's two push buttons, the one nearer 67 (43) is taken.
  EXPECT_EQ(chord[0].buttons, (std::vector<int>{43, 46}));
  EXPECT_TRUE(missing.empty());
}

TEST(FingeringTest, MissingPitchesAreLeftOutAndNamedAndAChordNeverMixesDirections) {
  std::vector<std::pair<int, int>> missing;
  // 61 has no button; 65 (pull only) and 67 (push only) cannot sound together.
  const auto events = fingerChords({{61}, {65, 67}, {60}}, smallKeyboard(), missing);
  EXPECT_TRUE(events[0].buttons.empty());
  ASSERT_EQ(events[1].buttons.size(), 1u);
  EXPECT_EQ(missing.size(), 2u);
  EXPECT_EQ(missing[0], (std::pair<int, int>{0, 61}));
  EXPECT_EQ(missing[1].first, 1);
}

TEST(MidiImportTest, ChordsByOnsetRestsFromGapsTheFourHighestAndBarAndBeatInReports) {
  // A five-note chord (slightly spread), then a two-beat gap, then 61 (no button), then 60.
  const std::string events =
      bytes({0,  0x90, 60,   90,   2,  0x90, 62,   90,   0,  0x90, 64,   90, 0,    0x90, 65,
             90, 0,    0x90, 67,   90, 94,   0x80, 60,   0,  0,    0x80, 62, 0,    0,    0x80,
             64, 0,    0,    0x80, 65, 0,    0,    0x80, 67, 0,    0x81, 64, 0x90, 61,   90,
             96, 0x80, 61,   0,    0,  0x90, 60,   90,   96, 0x80, 60,   0}) +
      kEnd;
  std::string problem;
  const auto file = readMidiFile(header(0, 1) + track(events), problem);
  ASSERT_TRUE(file) << problem;
  const auto result = importMidi(*file, {}, smallKeyboard());
  const auto got = buttonsOf(result);
  // The chord's four highest (62 64 65 67) cannot all sound in one direction: three on pull.
  // The unplayable 61 keeps its beat as silence, so the 60 stays on beat 1 of bar 2.
  ASSERT_EQ(got.size(), 5u);
  EXPECT_EQ(got[0].size(), 3u);
  EXPECT_TRUE(got[1].empty() && got[2].empty() && got[3].empty());
  EXPECT_FALSE(result.events[1].ringing) << "a gap is silence";
  EXPECT_EQ(got[4].size(), 1u);
  EXPECT_EQ(result.meter, (Meter{4, 1, 0, 120})) << "no tempo in the file: the standard's 120";
  std::string all;
  for (const auto& note : result.notes) all += describe(note, UiLanguage::English) + "\n";
  EXPECT_NE(all.find("bar 1, beat 1: a chord of 5 notes"), std::string::npos) << all;
  EXPECT_NE(all.find("bar 1, beat 4: c#1 has no button in either direction"), std::string::npos)
      << all;
}

std::vector<std::string> linesOf(const ImportResult& r) {
  std::vector<std::string> out;
  for (const auto& e : r.events) out.push_back(buttonLineOf(e));
  return out;
}

TEST(MidiExportTest, ExportThenImportGivesBackTheSameButtonLines) {
  // The program's own bellows controller and row channels decide buttons and directions.
  const ButtonNotes notes = shippedKeyboard();
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    const auto lines = randomLesson(random, notes, {}, false);
    const std::string midi = exportRecordToMidi(lines, notes, {}, {300, 22, 2, "Round"});
    std::string problem;
    const auto file = readMidiFile(midi, problem);
    ASSERT_TRUE(file) << problem;
    EXPECT_TRUE(file->warnings.empty());
    const auto back = importMidi(*file, {}, notes);
    ASSERT_EQ(linesOf(back), lines) << "round " << round;
    EXPECT_EQ(back.meter, (Meter{4, 1, 0, 200})) << "a step of 300 ms, a beat at 200 a minute";
    ASSERT_EQ(back.notes.size(), 1u) << describe(back.notes.back(), UiLanguage::English);
    EXPECT_EQ(back.notes[0].kind, ImportNote::Kind::Grid);
  }
}

TEST(MidiExportTest, AScaleThatTurnsTheBellowsComesBackWithItsTurns) {
  // Up the scale pushing and pulling in turn, as a learner plays it.
  const ButtonNotes notes = shippedKeyboard();
  const std::vector<std::string> scale{"46/", "10/", "49/", "13/", "52/", "16/", "55/", "19/"};
  std::string problem;
  const auto file = readMidiFile(exportRecordToMidi(scale, notes, {}, {}), problem);
  ASSERT_TRUE(file);
  EXPECT_EQ(linesOf(importMidi(*file, {}, notes)), scale);
  // Without the controller the search chooses, as for any file: fewer turns.
  MidiFileContent plain = *file;
  plain.controls.clear();
  EXPECT_LT(importMidi(plain, {}, notes).bellowsChanges, 7);
  // A controller of another number is not the bellows.
  ImportOptions other;
  other.bellowsController = 11;
  EXPECT_LT(importMidi(*file, {}, notes, other).bellowsChanges, 7);
}

TEST(MidiExportTest, ExportThenImportGivesBackTheSameEventsMeterAndTempo) {
  // Lessons with rhythm on every grid, meter, pickup and tempo.
  const ButtonNotes notes = shippedKeyboard();
  std::mt19937 random(11);
  for (int round = 0; round < 80; ++round) {
    const Meter meter = randomMeter(random);
    const auto lines = randomLesson(random, notes, meter, true);
    const std::string midi = exportRecordToMidi(lines, notes, meter, {});
    std::string problem;
    const auto file = readMidiFile(midi, problem);
    ASSERT_TRUE(file) << problem;
    const auto back = importMidi(*file, {}, notes);
    ASSERT_EQ(linesOf(back), lines) << "round " << round;
    EXPECT_EQ(back.meter, meter) << "round " << round;
    EXPECT_EQ(back.largestShiftMs, 0);
  }
}

TEST(MidiExportTest, QuartersWrittenOnAFinerGridComeBackOnIt) {
  // Every chord lasts two eighths: the file's click on each step keeps the eighth grid.
  const ButtonNotes notes = shippedKeyboard();
  const std::vector<std::string> lines{"46/", kBreakPlay, "10/", kBreakPlay, "49/"};
  std::string problem;
  const auto file = readMidiFile(exportRecordToMidi(lines, notes, {3, 2, 0, 90}, {}), problem);
  ASSERT_TRUE(file);
  const auto back = importMidi(*file, {}, notes);
  EXPECT_EQ(linesOf(back), lines);
  EXPECT_EQ(back.meter, (Meter{3, 2, 0, 90}));
}

TEST(MidiExportTest, EachShippedLessonComesBackWithItsClosingRest) {
  // Each lesson ends in a silent rest that gives replay its breath before the loop begins
  // again: the file ends after it, and the import keeps the silence up to the file's end.
  const ButtonNotes notes = shippedKeyboard();
  const auto lessons = tastrello::testing::shippedLessons();
  ASSERT_EQ(lessons.size(), 8u);
  for (const auto& [name, lines] : lessons) {
    ASSERT_EQ(lines.back(), kBreakMute) << name;
    std::string problem;
    const auto file = readMidiFile(exportRecordToMidi(lines, notes, {}, {}), problem);
    ASSERT_TRUE(file) << problem;
    EXPECT_EQ(file->end, static_cast<long long>(lines.size()) * kExportDivision) << name;
    EXPECT_EQ(linesOf(importMidi(*file, {}, notes)), lines) << name;
  }
}

/// The file a notation program makes of an export when it gives each channel a part of its own
/// and saves it back: one track per channel with its instrument and notes, the bellows
/// controller and the names dropped, the time signatures and tempo kept.
std::string splitIntoParts(const MidiFileContent& file) {
  std::map<int, std::vector<MidiEvent>> parts;
  for (const auto& p : file.programs)
    parts[p.channel].push_back({0, {std::uint8_t(0xC0 | p.channel), std::uint8_t(p.program)}});
  for (const auto& n : file.notes) {
    const auto channel = std::uint8_t(n.channel);
    parts[n.channel].push_back({n.tick, {std::uint8_t(0x90 | channel), std::uint8_t(n.pitch), 80}});
    parts[n.channel].push_back(
        {n.tick + n.length, {std::uint8_t(0x80 | channel), std::uint8_t(n.pitch), 0}});
  }
  std::vector<MidiEvent> conductor;
  for (const auto& t : file.tempos) conductor.push_back(tempoEvent(t.tick, t.micros));
  for (const auto& t : file.timeSignatures)
    conductor.push_back(timeSignatureEvent(t.tick, t.numerator, t.denominatorPower, t.clocksPerClick));
  std::vector<std::vector<MidiEvent>> tracks;
  for (auto& [channel, events] : parts) tracks.push_back(std::move(events));
  return writeMidiFile(file.division, conductor, "", tracks, file.end.value_or(0));
}

TEST(MidiExportTest, EachShippedLessonComesBackWholeFromAFileSplitIntoPartsByChannel) {
  // The rows' channels become parts of one instrument: offered together, the melody whole,
  // each event's notes as they were (the buttons chosen afresh: the bellows went with the split).
  const ButtonNotes notes = shippedKeyboard();
  const auto pitchesOf = [&](const std::vector<std::string>& lines) {
    std::vector<std::set<int>> out;
    for (const auto& line : lines) {
      std::set<int> chord;
      if (line != kBreakMute && line != kBreakPlay)
        for (int b : buttonsOfLine(line)) chord.insert(*notes[std::size_t(b)]);
      out.push_back(chord);
    }
    return out;
  };
  for (const auto& [name, lines] : tastrello::testing::shippedLessons()) {
    std::string problem;
    const auto exported = readMidiFile(exportRecordToMidi(lines, notes, {}, {}), problem);
    ASSERT_TRUE(exported) << problem;
    const auto split = readMidiFile(splitIntoParts(*exported), problem);
    ASSERT_TRUE(split) << problem;
    ASSERT_GT(split->tracks, 2) << name << ": a part for each row played";
    const auto parts = midiParts(*split);
    EXPECT_TRUE(parts.empty()) << name << ": " << parts.size() << " parts offered";
    const MidiPart part = parts.empty() ? MidiPart{} : parts.front();
    EXPECT_EQ(pitchesOf(linesOf(importMidi(*split, part, notes))), pitchesOf(lines)) << name;
  }
}

class MidiEndTest : public ::testing::Test {
 protected:
  /// A format 0 file of one note of a beat (96 ticks), its track ending `after` ticks later.
  static std::string noteThenSilence(int after) {
    std::string delta = bytes({after & 0x7F});
    for (int rest = after >> 7; rest > 0; rest >>= 7) delta.insert(0, bytes({0x80 | (rest & 0x7F)}));
    return header(0, 1) + track(bytes({0, 0x90, 60, 100, 96, 0x80, 60, 0}) + delta +
                                bytes({0xFF, 0x2F, 0}));
  }
  static ImportResult imported(const std::string& midi) {
    std::string problem;
    const auto file = readMidiFile(midi, problem);
    EXPECT_TRUE(file) << problem;
    return file ? importMidi(*file, {}, smallKeyboard()) : ImportResult{};
  }
};

TEST_F(MidiEndTest, SilenceUpToTheEndOfTrackIsPartOfTheTuneAsFarAsARecordReaches) {
  EXPECT_EQ(linesOf(imported(noteThenSilence(2 * 96))),
            (std::vector<std::string>{"00/", kBreakMute, kBreakMute}));
  EXPECT_EQ(linesOf(imported(noteThenSilence(0))), (std::vector<std::string>{"00/"}));
  // An end a little off the grid is rounded to it as the notes are.
  EXPECT_EQ(imported(noteThenSilence(96 + 10)).events.size(), 2u);
  const auto far = imported(noteThenSilence(100000));
  EXPECT_EQ(far.events.size(), 200u);
  for (const auto& note : far.notes) EXPECT_NE(note.kind, ImportNote::Kind::RecordFull);
}

TEST_F(MidiEndTest, AFileWithoutAnEndOfTrackSaysNothingOfWhereItEnds) {
  // The second track is cut short: the first one's end says nothing for the piece.
  const std::string cut = header(1, 2) + track(bytes({0, 0x90, 60, 100, 96, 0x80, 60, 0}) +
                                                bytes({0x83, 0x00, 0xFF, 0x2F, 0})) +
                          track(bytes({0, 0xFF, 0x03, 1, 'x'}));
  std::string problem;
  const auto file = readMidiFile(cut, problem);
  ASSERT_TRUE(file) << problem;
  EXPECT_FALSE(file->end);
  EXPECT_EQ(linesOf(importMidi(*file, {}, smallKeyboard())), (std::vector<std::string>{"00/"}));
  // Every track ended: the last end is the file's.
  const std::string two = header(1, 2) + track(bytes({0, 0x90, 60, 100, 96, 0x80, 60, 0}) + kEnd) +
                          track(bytes({0x83, 0x00, 0xFF, 0x2F, 0}));
  const auto both = readMidiFile(two, problem);
  ASSERT_TRUE(both);
  EXPECT_EQ(both->end, 384) << "the second track's end, the later one";
}

class MidiPickupTest : public ::testing::Test {
 protected:
  const ButtonNotes notes = shippedKeyboard();

  /// A record of `length` events: a chord first, then chords, ringing and silent rests.
  static std::vector<std::string> shortRecord(std::mt19937& random, int length) {
    const std::vector<std::string> kinds{"46/", "10/13/", kBreakPlay, kBreakMute, "52/55/"};
    std::vector<std::string> lines{"49/"};
    while (static_cast<int>(lines.size()) < length) {
      const std::string& next = kinds[random() % kinds.size()];
      if (next == kBreakPlay && lines.back() == kBreakMute) continue;  // nothing to ring
      lines.push_back(next);
    }
    return lines;
  }

  /// The file of the record exported and read back.
  MidiFileContent roundTrip(const std::vector<std::string>& lines, const Meter& meter) const {
    std::string problem;
    const auto file = readMidiFile(exportRecordToMidi(lines, notes, meter, {}), problem);
    EXPECT_TRUE(file) << problem;
    return file.value_or(MidiFileContent{});
  }
};

TEST_F(MidiPickupTest, ARecordShorterThanItsPickupComesBackWithoutTheRestOfThePickup) {
  // Given one chord in a 4/4 with a pickup of three quarters, expect the chord alone back,
  // with the pickup it had.
  const Meter meter{4, 1, 3, 100};
  const MidiFileContent file = roundTrip({"49/"}, meter);
  const ImportResult back = importMidi(file, {}, notes);
  EXPECT_EQ(linesOf(back), (std::vector<std::string>{"49/"}));
  EXPECT_EQ(back.meter, meter);
}

TEST_F(MidiPickupTest, EveryLengthAroundThePickupKeepsItsEventsAndMeter) {
  // Records from one event to a bar past the pickup, on every grid, with a pickup of each
  // length (none, one step, up to a step short of the bar), closing rests among them.
  std::mt19937 random(5);
  for (int stepsPerBeat : {1, 2, 4})
    for (int beats : {2, 3, 6})
      for (int pickup = 0; pickup < beats * stepsPerBeat; ++pickup)
        for (int length = 1; length <= pickup + beats * stepsPerBeat; ++length) {
          const Meter meter{beats, stepsPerBeat, pickup, 90};
          const auto lines = shortRecord(random, length);
          const std::string what = std::to_string(beats) + " beats of " +
                                   std::to_string(stepsPerBeat) + " steps, pickup " +
                                   std::to_string(pickup) + ", " + std::to_string(length) +
                                   " events";
          const ImportResult back = importMidi(roundTrip(lines, meter), {}, notes);
          ASSERT_EQ(linesOf(back), lines) << what;
          ASSERT_EQ(back.meter, meter) << what;
        }
}

TEST(MidiExportTest, RowsGoOnTheirChannelsTheBellowsBeforeEachTurnAndAPlayRestRingsOn) {
  ButtonNotes notes = smallKeyboard();
  notes[1] = 70;  // row 2 of the pull block
  const std::string midi =
      exportRecordToMidi({"00/01/", kBreakPlay, "34/", "37/"}, notes, {}, {500, 1, 11, "x"});
  std::string problem;
  const auto file = readMidiFile(midi, problem);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->notes.size(), 4u);
  EXPECT_EQ(file->notes[0].channel, 0);
  EXPECT_EQ(file->notes[1].channel, 1);
  EXPECT_EQ(file->notes[0].length, 2 * kExportDivision) << "the rest that plays lets it ring";
  // The controller: 0 before the first chord, 127 before the push; never before the second push.
  int controllers = 0;
  for (std::size_t i = 0; i + 2 < midi.size(); ++i)
    if (static_cast<unsigned char>(midi[i]) == 0xB0 && midi[i + 1] == 11) ++controllers;
  EXPECT_EQ(controllers, 2);
}

class MidiWindowTest : public tastrello::testing::FormTest {};

TEST_F(MidiWindowTest, AnImportOpensUnsavedInTheEditorAndNeverReplacesUnsavedWork) {
  loadEvents({"44/47/", kBreakMute, "10/"});
  const auto midi = form.exportMidi();
  ASSERT_TRUE(midi);
  form.importMidi(*midi, "Tune", {});
  EXPECT_TRUE(form.EditBox.visible);
  ASSERT_EQ(form.EditBox.items.size(), 3u);
  EXPECT_EQ(form.ShadowListe2.items[1], kBreakMute);
  EXPECT_EQ(form.draft().unsavedChanges(), 3);
  EXPECT_EQ(form.SaveName.text, "Tune");
  // A second import would replace three unsaved events: refused, nothing changes.
  form.importMidi(*midi + "", "Other", {});
  EXPECT_EQ(form.SaveName.text, "Tune");
  EXPECT_EQ(form.StatusLine.caption, form.say(Text::MsgImportUnsaved, {"3"}));
  // Garbage is refused with its reason, the editor untouched.
  form.CancelRec_Click();
  form.CancelRec_Click();
  form.importMidi("not a midi file", "Junk", {});
  EXPECT_FALSE(form.EditBox.visible);
  EXPECT_NE(form.StatusLine.caption.find("MThd"), std::string::npos);
}

TEST_F(MidiWindowTest, AnImportedMeterIsWrittenBesideTheRecordWhenItIsSaved) {
  // A lesson in 3/4 with eighths at 90 a minute, exported and imported again.
  const std::vector<std::string> lines{"44/", kBreakPlay, "47/", "50/", kBreakMute, "10/"};
  const std::string midi = exportRecordToMidi(lines, form.buttonNotes(), {3, 2, 0, 90}, {});
  form.importMidi(midi, "Waltz", {});
  ASSERT_EQ(form.ShadowListe3.items, lines);
  form.SaveRecord_Click();
  ASSERT_TRUE(files.files.count("Records/Records_Waltz.txt"));
  EXPECT_EQ(files.files["Records/Meter_Records_Waltz.txt"], formatMeter({3, 2, 0, 90}));
  // The saved record loaded and exported again carries the same meter.
  load("Records_Waltz.txt");
  std::string problem;
  const auto again = readMidiFile(*form.exportMidi(), problem);
  ASSERT_TRUE(again);
  EXPECT_EQ(importMidi(*again, {}, form.buttonNotes()).meter, (Meter{3, 2, 0, 90}));
}

TEST_F(MidiWindowTest, ARecordingOfTheLearnersOwnWritesNoMeterOfAnEarlierImport) {
  const std::string midi =
      exportRecordToMidi({"44/", "47/"}, form.buttonNotes(), {3, 2, 0, 90}, {});
  form.importMidi(midi, "Tune", {});
  form.CancelRec_Click();
  form.CancelRec_Click();
  form.Record_Click();
  recordChord({44});
  saveAs("Mine");
  EXPECT_TRUE(files.files.count("Records/Records_Mine.txt"));
  EXPECT_FALSE(files.files.count("Records/Meter_Records_Mine.txt"));
}

TEST_F(MidiWindowTest, WhatTheImportLeftOutIsSaidInTheLanguageInForce) {
  // 61 (c#1) has no button in G-C-F, at bar 1, beat 2.
  std::vector<MidiEvent> notes;
  for (auto [tick, pitch] : {std::pair{0, 60}, {480, 61}, {960, 62}}) {
    notes.push_back({tick, {0x90, std::uint8_t(pitch), 90}});
    notes.push_back({tick + 480, {0x80, std::uint8_t(pitch), 0}});
  }
  const std::string midi = writeMidiFile(480, 500000, "t", {notes});
  form.Picture1_Click();  // English
  form.importMidi(midi, "Tune", {});
  const std::string& all = form.StatusLine.toolTip;
  EXPECT_NE(all.find("Tune: bar 1, beat 2: c#1 has no button in either direction; left out"),
            std::string::npos)
      << all;
  EXPECT_NE(form.StatusLine.caption.find("Imported events: 3 (4/4, quarters, 120 per min)"),
            std::string::npos)
      << form.StatusLine.caption;
  form.CancelRec_Click();
  form.CancelRec_Click();
  form.Picture3_Click();  // German
  form.importMidi(midi, "Tune", {});
  EXPECT_NE(form.StatusLine.toolTip.find("Takt 1, Schlag 2: c#1 hat in keiner Balgrichtung"),
            std::string::npos);
}
