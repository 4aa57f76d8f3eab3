// MIDI files: the reader against hand-made files (running status, meta events, several tracks,
// truncated and lying files), the fingering search's choices, and export then import.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "exchange/midi_lesson.h"
#include "records/record_format.h"
#include "shell/text.h"
#include "test_support.h"

using namespace tastrello;

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
  std::ifstream in(std::string(TASTRELLO_DATA) + "/Notes/Notes_G-C-F.txt", std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  std::size_t lines = 0;
  return buttonNotesOf(*parseNoteLayout(s.str(), lines));
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
  EXPECT_EQ(parts[0].label, "Track 1: Melody (2 notes)");
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
  EXPECT_EQ(channels[1].label, "Channel 4 (1 notes)");
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
  // A five-note chord (slightly spread), then a two-beat gap, then 61 (no button).
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
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].size(), 3u);
  EXPECT_TRUE(got[1].empty() && got[2].empty()) << "two beats of silence, two rests";
  EXPECT_EQ(got[3].size(), 1u);
  std::string all;
  for (const auto& p : result.problems) all += p + "\n";
  EXPECT_NE(all.find("bar 1, beat 1: a chord of 5 notes"), std::string::npos) << all;
  EXPECT_NE(all.find("bar 1, beat 4: note 61"), std::string::npos) << all;
}

TEST(MidiExportTest, ExportThenImportGivesTheSameChordsWhateverButtonsAreChosen) {
  const ButtonNotes notes = shippedKeyboard();
  std::mt19937 random(7);
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> lines;
    std::vector<std::set<int>> wanted;
    const int count = 1 + int(random() % 60);
    for (int i = 0; i < count; ++i) {
      if (i > 0 && random() % 6 == 0) {
        lines.push_back(kBreakMute);
        wanted.push_back({});
        continue;
      }
      const int base = random() % 2 ? kButtonsPerBlock : 0;
      std::set<int> buttons, pitches;
      const int size = 1 + int(random() % 3);
      while (int(buttons.size()) < size) {
        const int b = base + int(random() % kButtonsPerBlock);
        if (pitches.insert(*notes[std::size_t(b)]).second) buttons.insert(b);
        if (pitches.size() < buttons.size()) break;
      }
      std::string line;
      for (int b : buttons) line += right("00" + std::to_string(b), 2) + "/";
      lines.push_back(line);
      wanted.push_back(pitches);
    }
    while (!wanted.empty() && wanted.back().empty()) {
      wanted.pop_back();
      lines.pop_back();
    }
    const std::string midi = exportRecordToMidi(lines, notes, {300, 22, 2, "Round"});
    std::string problem;
    const auto file = readMidiFile(midi, problem);
    ASSERT_TRUE(file) << problem;
    EXPECT_TRUE(file->warnings.empty());
    EXPECT_EQ(file->firstTempo, 300000);
    const auto back = importMidi(*file, {}, notes);
    EXPECT_TRUE(back.problems.empty()) << back.problems.front();
    ASSERT_EQ(back.events.size(), wanted.size()) << "round " << round;
    for (std::size_t e = 0; e < wanted.size(); ++e) {
      std::set<int> pitches;
      for (int b : back.events[e].buttons) pitches.insert(*notes[std::size_t(b)]);
      EXPECT_EQ(pitches, wanted[e]) << "round " << round << ", event " << e + 1;
      const Bellows bellows = bellowsOfButtons(back.events[e].buttons);
      EXPECT_NE(bellows, Bellows::Both);
    }
  }
}

TEST(MidiExportTest, RowsGoOnTheirChannelsTheBellowsBeforeEachTurnAndAPlayRestRingsOn) {
  ButtonNotes notes = smallKeyboard();
  notes[1] = 70;  // row 2 of the pull block
  const std::string midi =
      exportRecordToMidi({"00/01/", kBreakPlay, "34/", "37/"}, notes, {500, 1, 11, "x"});
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
  EXPECT_EQ(form.unsavedChanges, 3);
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
