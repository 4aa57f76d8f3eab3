// The tuning of each note the program plays, read from the sound FluidSynth renders: for every
// preset the program uses (the accordions of the right hand, the Helikon bass and the chords of
// the left), each note held five seconds and its reeds measured (tests/tone_analysis.h).
//
//   tuning_table GENERAL_MIDI_FONT [REED_FONT] [--partials BANK:PROGRAM:NOTE]
//
// With the reed font the program's sound (the reed font stacked over the General MIDI font, as
// the program loads them); without it the General MIDI font alone. Prints one row a note and
// which notes are out of tune; asserts nothing. With --partials, the partials of that one note.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/fluid_synth_port.h"
#include "sound/reed_presets.h"
#include "tone_analysis.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

struct Preset {
  const char* name;
  int bank;
  int program;
  std::vector<int> notes;
};

std::vector<int> range(int low, int high) {
  std::vector<int> notes;
  for (int n = low; n <= high; ++n) notes.push_back(n);
  return notes;
}

std::string reedsText(const ToneReading& reading) {
  std::string text;
  char cell[64];
  for (std::size_t r = 1; r < reading.reeds.size() && r < 4; ++r) {
    const Reed& reed = reading.reeds[r];
    std::snprintf(cell, sizeof cell, " %+6.1f c %4.1f%% (%3.0f dB)", reed.cents, 100 * reed.share,
                  reed.loudestDb);
    text += cell;
  }
  return text.empty() ? " -" : text;
}

void measure(FluidSynthPort& synth, const Preset& preset) {
  std::printf("\n%s (bank %d, program %d, %zu notes)\n", preset.name, preset.bank,
              preset.program, preset.notes.size());
  std::printf("note              pitch Hz | main reed: cents share | other reeds: cents share "
              "(loudest partial) | beat Hz | verdict\n");
  std::vector<std::string> faults;
  for (int note : preset.notes) {
    const auto sound = holdNote(synth, preset.bank, preset.program, note, 1.0, 1 << 18);
    const ToneReading reading = readTone(partialsOf(sound, synth.sampleRate()), noteHz(note));
    const std::string fault = outOfTune(reading);
    const double beat = tremoloBeatHz(reading);
    const Reed main = reading.reeds.empty() ? Reed{} : reading.reeds.front();
    std::printf("%3d %-13s %8.2f | %+6.1f c %5.1f%% |%s | %5.2f | %s\n", note,
                noteName(note).c_str(), noteHz(note), main.cents, 100 * main.share,
                reedsText(reading).c_str(), beat, fault.empty() ? "in tune" : fault.c_str());
    if (!fault.empty()) faults.push_back(noteName(note));
  }
  std::printf("%zu of %zu notes out of tune", faults.size(), preset.notes.size());
  for (const auto& f : faults) std::printf("%s %s", &f == &faults.front() ? ":" : ",", f.c_str());
  std::printf("\n");
}

/// The partials of one note, loudest first, each with the harmonic of the pitch it is near.
void listPartials(FluidSynthPort& synth, int bank, int program, int note) {
  const auto sound = holdNote(synth, bank, program, note, 1.0, 1 << 18);
  const Spectrum spectrum = partialsOf(sound, synth.sampleRate(), -40);
  std::printf("\n%s on bank %d, program %d: partials down to -40 dB\n", noteName(note).c_str(),
              bank, program);
  for (const Partial& p : spectrum.partials) {
    const double harmonic = std::max(1.0, std::round(p.hz / noteHz(note)));
    std::printf("%9.2f Hz %6.1f dB  harmonic %2.0f %+7.1f cents\n", p.hz, p.db, harmonic,
                1200 * std::log2(p.hz / (harmonic * noteHz(note))));
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> fonts;
  int bank = -1, program = -1, note = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--partials" && i + 1 < argc)
      std::sscanf(argv[++i], "%d:%d:%d", &bank, &program, &note);
    else
      fonts.push_back(argv[i]);
  }
  if (fonts.empty() || fonts.size() > 2) {
    std::fprintf(stderr, "usage: tuning_table GENERAL_MIDI_FONT [REED_FONT] "
                         "[--partials BANK:PROGRAM:NOTE]\n");
    return 2;
  }
  FluidSynthPort::Options options;
  options.audioOutput = false;
  options.soundFont = fonts[0];
  if (fonts.size() > 1) options.reedFont = fonts[1];
  FluidSynthPort synth(options);
  if (!synth.ready()) {
    std::uint32_t handle = 0;
    std::fprintf(stderr, "the synthesizer did not start: %s\n",
                 synth.errorText(synth.open(-1, handle)).c_str());
    return 1;
  }
  if (fonts.size() > 1 && !synth.reedsLoaded()) {
    std::fprintf(stderr, "the reed font was not loaded:\n");
    for (const auto& line : synth.report().problems) std::fprintf(stderr, "  %s\n", line.c_str());
    return 1;
  }
  std::printf("%s%s%s\n", fonts[0].c_str(), fonts.size() > 1 ? " with " : " alone",
              fonts.size() > 1 ? fonts[1].c_str() : "");
  if (note >= 0) {
    listPartials(synth, bank, program, note);
    return 0;
  }
  const std::vector<int> treble = shippedLayoutNotes(TASTRELLO_DATA);
  for (const Preset& preset : {Preset{"Accordion", 0, kAccordionProgram, treble},
                               Preset{"Tango accordion", 0, kTangoAccordionProgram, treble},
                               Preset{"Helikon bass", kReedBassBank, kHelikonProgram, range(28, 52)},
                               Preset{"Bass chords", kReedBassBank, kBassChordProgram, range(48, 64)}})
    measure(synth, preset);
  return 0;
}
