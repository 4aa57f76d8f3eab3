// The tuning of the sounds the program plays: each note held on real FluidSynth with the fonts
// the desktop and the page load, its reeds measured (tone_analysis.h); the measure itself on
// tones of known tuning; and the reed SoundFont's presets where the program looks for them.
#include <fluidsynth.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <random>
#include <tuple>

#include "platform/output_switch.h"
#include "sound/reed_presets.h"
#include "tone_analysis.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr double kRate = 48000;
constexpr int kFrames = 1 << 18;  // as the tuning table reads a note: 5.5 s

struct Component {
  double cents;  ///< from the pitch
  double db;     ///< level of its fundamental
};

/// Reeds of the given offsets and levels, each with harmonics falling as 1/n.
std::vector<float> reeds(double pitchHz, const std::vector<Component>& components,
                         int harmonics = 10) {
  std::vector<float> out(kFrames);
  for (const Component& c : components) {
    const double f = pitchHz * std::exp2(c.cents / 1200);
    const double a = 0.2 * std::pow(10.0, c.db / 20);
    for (int h = 1; h <= harmonics; ++h)
      for (int i = 0; i < kFrames; ++i)
        out[std::size_t(i)] += float(a / h * std::sin(2 * std::numbers::pi * h * f * i / kRate + h));
  }
  return out;
}

void addSine(std::vector<float>& s, double hz, double db) {
  const double a = 0.2 * std::pow(10.0, db / 20);
  for (std::size_t i = 0; i < s.size(); ++i)
    s[i] += float(a * std::sin(2 * std::numbers::pi * hz * double(i) / kRate));
}

ToneReading read(const std::vector<float>& sound, double pitchHz) {
  return readTone(partialsOf(sound, kRate), pitchHz);
}

}  // namespace

// ---- The measure, on tones whose tuning is known ------------------------------------------

TEST(ToneReadingTest, AReedAtPitchWithAQuieterTremoloAboveIsInTune) {
  // The lowest note of the layouts, where a tremolo beats slowest: 16 cents are 1 Hz.
  const double pitch = noteHz(45);
  const ToneReading r = read(reeds(pitch, {{0, 0}, {16, -4}}), pitch);
  EXPECT_EQ(outOfTune(r), "");
  ASSERT_GE(r.reeds.size(), 2u);
  EXPECT_NEAR(r.reeds[0].cents, 0, 0.3);
  EXPECT_NEAR(r.reeds[1].cents, 16, 0.3);
  EXPECT_NEAR(r.reeds[0].share, 1 / (1 + std::pow(10.0, -0.4)), 0.02);
  EXPECT_EQ(r.reeds[0].harmonics, 10);
}

TEST(ToneReadingTest, ASampleFlatInEveryPartialIsOutOfTune) {
  const double pitch = noteHz(55);
  const ToneReading r = read(reeds(pitch, {{-16, 0}}), pitch);
  ASSERT_FALSE(r.reeds.empty());
  EXPECT_NEAR(r.reeds[0].cents, -16, 0.3);
  EXPECT_NE(outOfTune(r).find("-16.0 cents"), std::string::npos) << outOfTune(r);
  // Six cents off is off too; four is within what the ear accepts.
  EXPECT_NE(outOfTune(read(reeds(pitch, {{6, 0}}), pitch)), "");
  EXPECT_EQ(outOfTune(read(reeds(pitch, {{-4, 0}}), pitch)), "");
}

TEST(ToneReadingTest, ASecondPartialFlatOfTheSeriesIsOutOfTune) {
  // As heard in a c1-e1-g1 chord: e1 at pitch, with a partial 40 cents flat of its second.
  const double pitch = noteHz(64);
  std::vector<float> sound = reeds(pitch, {{0, 0}});
  addSine(sound, 2 * pitch * std::exp2(-40.0 / 1200), -8);
  EXPECT_NE(outOfTune(read(sound, pitch)).find("-40.0 cents"), std::string::npos)
      << outOfTune(read(sound, pitch));
}

TEST(ToneReadingTest, AReedAboveThatOutweighsTheReedAtPitchIsOutOfTune) {
  const double pitch = noteHz(60);
  EXPECT_NE(outOfTune(read(reeds(pitch, {{0, -6}, {20, 0}}), pitch)).find("+20.0 cents"),
            std::string::npos);
  // The loudest reed is at pitch, but two others beside it carry more of the sound.
  const ToneReading crowded = read(reeds(pitch, {{0, 0}, {10, -1}, {-10, -1}}), pitch);
  EXPECT_NE(outOfTune(crowded).find("carries only 39 %"), std::string::npos) << outOfTune(crowded);
}

TEST(ToneReadingTest, AStrongPartialOffTheSeriesIsOutOfTuneAndAFaintOneIsNot) {
  const double pitch = noteHz(67);
  std::vector<float> strong = reeds(pitch, {{0, 0}, {10, -4}});
  addSine(strong, 2.5 * pitch, -20);
  EXPECT_NE(outOfTune(read(strong, pitch)).find("on no reed's series"), std::string::npos);
  std::vector<float> faint = reeds(pitch, {{0, 0}, {10, -4}});
  addSine(faint, 2.5 * pitch, -45);
  EXPECT_EQ(outOfTune(read(faint, pitch)), "");
}

TEST(ToneReadingTest, ASecondTremoloReedOrOneBeyondAQuarterToneIsOutOfTune) {
  const double pitch = noteHz(72);
  EXPECT_NE(outOfTune(read(reeds(pitch, {{0, 0}, {10, -6}, {25, -6}}), pitch)), "");
  EXPECT_NE(outOfTune(read(reeds(pitch, {{0, 0}, {70, -6}}), pitch)), "");
}

TEST(ToneReadingTest, NoiseBelowTheStrongPartialsIsNoReed) {
  const double pitch = noteHz(50);
  std::vector<float> sound = reeds(pitch, {{0, 0}});
  std::mt19937 random(7);
  std::normal_distribution<float> noise(0, 0.002f);  // about -50 dB below the partials
  for (float& x : sound) x += noise(random);
  const ToneReading r = read(sound, pitch);
  EXPECT_EQ(outOfTune(r), "");
  EXPECT_GT(r.reeds[0].share, 0.95);
}

TEST(ToneReadingTest, SilenceIsNoNote) {
  EXPECT_NE(outOfTune(read(std::vector<float>(kFrames), noteHz(60))), "");
}

// ---- The shipped sounds --------------------------------------------------------------------

namespace {

struct Sound {
  const char* where;      ///< the desktop or the page
  const char* preset;
  std::string generalMidiFont;  ///< "" for the first found, as the desktop looks for it
  int bank;
  int program;
  std::vector<int> notes;
  bool tremolo = false;  ///< a second reed beats above the main one, as on a real accordion
};

void PrintTo(const Sound& sound, std::ostream* out) { *out << sound.where << " " << sound.preset; }

std::vector<int> notesFrom(int low, int high) {
  std::vector<int> notes;
  for (int n = low; n <= high; ++n) notes.push_back(n);
  return notes;
}

const std::string kPageFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

std::vector<Sound> shippedSounds() {
  const std::vector<int> treble = shippedLayoutNotes(TASTRELLO_DATA);
  std::vector<Sound> sounds;
  for (const auto& [where, font] :
       {std::pair<const char*, std::string>{"Desktop", ""}, {"Page", kPageFont}}) {
    sounds.push_back({where, "Accordion", font, 0, kAccordionProgram, treble, true});
    sounds.push_back({where, "TangoAccordion", font, 0, kTangoAccordionProgram, treble});
    sounds.push_back({where, "HelikonBass", font, kReedBassBank, kHelikonProgram, notesFrom(28, 52)});
    sounds.push_back({where, "BassChords", font, kReedBassBank, kBassChordProgram, notesFrom(48, 64)});
  }
  return sounds;
}

}  // namespace

class ShippedSoundTest : public ::testing::TestWithParam<Sound> {};

TEST_P(ShippedSoundTest, EveryNoteHasAReedAtPitchAndOnlyItsTremoloBeatingAboveIt) {
  const Sound& sound = GetParam();
  if (sound.generalMidiFont.empty() ? FluidSynthPort::findSoundFont().empty()
                                    : !std::filesystem::exists(sound.generalMidiFont))
    GTEST_SKIP() << "no General MIDI SoundFont " << sound.generalMidiFont << " (scripts/setup)";
  FluidSynthPort::Options options;
  options.audioOutput = false;
  options.soundFont = sound.generalMidiFont;
  options.reedFont = TASTRELLO_REEDS;
  FluidSynthPort synth(options);
  ASSERT_TRUE(synth.ready());
  ASSERT_TRUE(synth.reedsLoaded());
  ASSERT_GE(sound.notes.size(), 17u);
  std::string faults;
  for (int note : sound.notes) {
    const auto held = holdNote(synth, sound.bank, sound.program, note, 0.5, kFrames);
    const ToneReading reading = readTone(partialsOf(held, synth.sampleRate()), noteHz(note));
    std::string fault = outOfTune(reading);
    // A tremolo heard as a slow swell, neither still nor a rough buzz.
    const double beat = tremoloBeatHz(reading);
    if (fault.empty() && sound.tremolo && (beat < 0.5 || beat > 8))
      fault = "its tremolo beats " + std::to_string(beat) + " times a second";
    if (!fault.empty()) faults += "\n  " + noteName(note) + ": " + fault;
  }
  EXPECT_EQ(faults, "") << sound.where << " " << sound.preset;
}

INSTANTIATE_TEST_SUITE_P(Shipped, ShippedSoundTest, ::testing::ValuesIn(shippedSounds()),
                         [](const ::testing::TestParamInfo<Sound>& param) {
                           return std::string(param.param.where) + param.param.preset;
                         });

// ---- The reed SoundFont itself -------------------------------------------------------------

class ReedFontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings = new_fluid_settings();
    fluid_settings_setint(settings, "synth.reverb.active", 0);
    fluid_settings_setint(settings, "synth.chorus.active", 0);
    synth = new_fluid_synth(settings);
    fontId = fluid_synth_sfload(synth, TASTRELLO_REEDS, 1);
    ASSERT_GE(fontId, 0) << TASTRELLO_REEDS;
  }
  void TearDown() override {
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
  }
  /// The level of a key held half a second on the reed font alone (a key far below its
  /// sample's note speaks as slowly as it is transposed down).
  double level(int bank, int program, int key) {
    fluid_synth_program_select(synth, 0, fontId, bank, program);
    fluid_synth_noteon(synth, 0, key, 99);
    std::vector<float> left(22050), right(22050);
    fluid_synth_write_float(synth, 22050, left.data(), 0, 1, right.data(), 0, 1);
    fluid_synth_all_sounds_off(synth, -1);
    double sum = 0;
    for (float x : left) sum += x * x;
    return std::sqrt(sum / 22050);
  }
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  int fontId = -1;
};

TEST_F(ReedFontTest, ItsPresetsStandWhereTheProgramLooksForThemAndNoOthers) {
  fluid_sfont_t* font = fluid_synth_get_sfont_by_id(synth, fontId);
  const std::vector<std::pair<int, int>> expected{{0, kAccordionProgram},
                                                  {0, kTangoAccordionProgram},
                                                  {kReedBassBank, kBassChordProgram},
                                                  {kReedBassBank, kHelikonProgram}};
  std::vector<std::pair<int, int>> found;
  fluid_sfont_iteration_start(font);
  while (fluid_preset_t* p = fluid_sfont_iteration_next(font))
    found.emplace_back(fluid_preset_get_banknum(p), fluid_preset_get_num(p));
  std::sort(found.begin(), found.end());
  EXPECT_EQ(found, expected);
}

TEST_F(ReedFontTest, EveryKeyOfEveryPresetSounds) {
  // A MIDI instrument may play any key: a key that a preset of this font lacks would be
  // silent, not played by the General MIDI font beneath.
  std::string silent;
  for (const auto& [bank, program] : std::vector<std::pair<int, int>>{
           {0, kAccordionProgram}, {0, kTangoAccordionProgram},
           {kReedBassBank, kHelikonProgram}, {kReedBassBank, kBassChordProgram}})
    for (int key = 0; key < 128; ++key)
      if (level(bank, program, key) < 1e-3)
        silent += " " + std::to_string(bank) + ":" + std::to_string(program) + "/" + std::to_string(key);
  EXPECT_EQ(silent, "");
}

TEST(ReedStackTest, TheGeneralMidiFontStillPlaysTheOtherInstrumentsAndTheMetronome) {
  if (FluidSynthPort::findSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont";
  FluidSynthPort::Options options;
  options.audioOutput = false;
  options.reedFont = TASTRELLO_REEDS;
  FluidSynthPort synth(options);
  ASSERT_TRUE(synth.reedsLoaded());
  // The piano, and the claves of the metronome on the percussion channel.
  const auto piano = holdNote(synth, 0, 0, 60, 0.0, 9600);
  double sum = 0;
  for (float x : piano) sum += x * x;
  EXPECT_GT(std::sqrt(sum / 9600), 0.005);
  std::uint32_t handle = 0;
  ASSERT_EQ(synth.open(-1, handle), 0);
  ASSERT_EQ(synth.send(handle, 0x006E4B99, kAtOnce), 0);
  std::vector<float> left(4800), right(4800);
  synth.render(left.data(), right.data(), 4800);
  sum = 0;
  for (float x : left) sum += x * x;
  EXPECT_GT(std::sqrt(sum / 4800), 0.005);
}

TEST(ReedStackTest, AReedFontThatCannotBeLoadedLeavesTheSoundAndIsReportedOnce) {
  if (FluidSynthPort::findSoundFont().empty()) GTEST_SKIP() << "no General MIDI SoundFont";
  FluidSynthPort::Options options;
  options.audioOutput = false;
  options.reedFont = "/nonexistent/tastrello-reeds.sf2";
  FluidSynthPort synth(options);
  EXPECT_TRUE(synth.ready());
  EXPECT_FALSE(synth.reedsLoaded());
  const auto said = [](const AudioReport& r) {
    return std::count_if(r.problems.begin(), r.problems.end(), [](const std::string& line) {
      return line.find("/nonexistent/tastrello-reeds.sf2") != std::string::npos;
    });
  };
  EXPECT_EQ(said(synth.report()), 1);
  EXPECT_EQ(said(synth.report()), 0);
  // The General MIDI accordion plays, and the Helikon's numbers give its tuba.
  for (const auto& [bank, program, note] : {std::tuple{0, kAccordionProgram, 60},
                                            std::tuple{kReedBassBank, kHelikonProgram, 40}}) {
    const auto sound = holdNote(synth, bank, program, note, 0.0, 9600);
    double sum = 0;
    for (float x : sound) sum += x * x;
    EXPECT_GT(std::sqrt(sum / 9600), 0.005) << bank << ":" << program;
  }
}

TEST(ReedStackTest, ASoundFontTheLearnerNamedIsPlayedWholeWithItsOwnAccordion) {
  const std::string font = FluidSynthPort::findSoundFont();
  if (font.empty()) GTEST_SKIP() << "no General MIDI SoundFont";
  FluidSynthPort::Options options;
  options.audioOutput = false;
  options.reedFont = TASTRELLO_REEDS;
  OutputSwitch found(std::filesystem::temp_directory_path(), options);
  EXPECT_TRUE(found.synth().reedsLoaded());
  OutputSwitch named(std::filesystem::temp_directory_path(), options);
  named.useSoundFont(font);  // SOUNDFONT:
  EXPECT_TRUE(named.synth().ready());
  EXPECT_FALSE(named.synth().reedsLoaded());
}
