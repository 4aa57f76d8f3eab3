// The Wechselbass made from chord symbols: the pattern of each meter, fundamental and fifth,
// the bellows the melody leaves, beats the bass side cannot play, and chord symbols read from
// a score and laid on the imported record.
#include <gtest/gtest.h>

#include <random>

#include "exchange/musicxml.h"
#include "exchange/wechselbass.h"
#include "instrument/instrument_format.h"
#include "tab_tunes.h"
#include "test_support.h"

using namespace tastrello;
using namespace tastrello::testing;

namespace {

constexpr int C = 0, D = 2, F = 5, G = 7;

const std::string kPush = chord({button(2, 6, true)});  // the middle row's Gleichton, pushed
const std::string kPull = chord({button(2, 6)});

std::string beatsOf(const std::vector<BassBeat>& pattern) {
  std::string out;
  for (BassBeat b : pattern) out += b == BassBeat::Bass ? 'B' : 'c';
  return out;
}

}  // namespace

TEST(BassPatternTest, PairsForEvenBarsThreesForWaltzes) {
  EXPECT_EQ(beatsOf(barPattern(2)), "Bc");
  EXPECT_EQ(beatsOf(barPattern(4)), "BcBc");
  EXPECT_EQ(beatsOf(barPattern(3)), "Bcc");
  EXPECT_EQ(beatsOf(barPattern(9)), "BccBccBcc");
  EXPECT_EQ(beatsOf(barPattern(1)), "B");
  EXPECT_EQ(beatsOf(barPattern(5)), "BcBcc");  // a lone last beat is no bass
}

class WechselbassTest : public ::testing::Test {
 protected:
  Instrument instrument;
  void SetUp() override { instrument = load("Instrument_G-C-F-B_16-Bass.txt"); }

  static Instrument load(const std::string& name) {
    MemoryFiles files;
    files.loadShippedData();
    std::vector<InstrumentProblem> problems;
    return parseInstrument(files.read("Notes/" + name).value(), problems).value();
  }
  const BassButton& buttonAt(const ButtonAt& at) const {
    return instrument.bass.at(std::size_t(at.row - 1)).buttons.at(std::size_t(at.number - 1));
  }
  /// The letters of the accompaniment, each with "_" when pushed, blank-separated.
  std::string letters(const Accompaniment& a) const {
    std::string out;
    for (const HandButton& b : a.bass)
      out += (out.empty() ? "" : " ") + buttonAt(b.at).letter + (b.at.push ? "_" : "");
    return out;
  }
  Accompaniment play(const std::vector<std::string>& lines, const Meter& meter,
                     const std::vector<RecordHarmony>& harmonies) const {
    return wechselbass(lines, {}, meter, harmonies, instrument);
  }
};

TEST_F(WechselbassTest, APolkaAlternatesFundamentalAndFifthUnderAPushedMelody) {
  // 2/4 in quarters, four bars pushed: C major for two bars, G major for two.
  const auto a = play(std::vector<std::string>(8, kPush), {2, 1, 0, 0}, {{0, C}, {4, G}});
  // C pushed: "B" (C), its chord "b"; then "A" (G) the fifth. G pushed: "A", its chord "a",
  // the fifth D on the inner row ("D'").
  EXPECT_EQ(letters(a), "B_ b_ A_ b_ A_ a_ D'_ a_");
  EXPECT_TRUE(a.gaps.empty());
  for (std::size_t i = 0; i < a.bass.size(); ++i) EXPECT_EQ(a.bass[i].event, int(i + 1));
}

TEST_F(WechselbassTest, AWaltzIsBassChordChordAndAMarchBassChordOnEachPair) {
  const auto waltz = play(std::vector<std::string>(6, kPull), {3, 1, 0, 0}, {{0, C}});
  EXPECT_EQ(letters(waltz), "C c c B c c");  // C pulled: "C"; the fifth G pulled: "B"
  // 4/4 on eighths: only every other step is a beat.
  const auto march = play(std::vector<std::string>(8, kPull), {4, 2, 0, 0}, {{0, F}});
  ASSERT_EQ(march.bass.size(), 4u);
  std::vector<int> events;
  for (const HandButton& b : march.bass) events.push_back(b.event);
  EXPECT_EQ(events, (std::vector<int>{1, 3, 5, 7}));
  EXPECT_EQ(letters(march), "D d C d");  // F pulled: "D"; the fifth C pulled: "C"
}

TEST_F(WechselbassTest, InASilenceTheBellowsKeepTheirWayUnlessOnlyTheOtherHasTheButton) {
  // A pushed chord, then three beats of silence: the bass stays pushed.
  const std::vector<std::string> lines{kPush, kBreakMute, kBreakMute, kBreakMute};
  EXPECT_EQ(letters(play(lines, {2, 1, 0, 0}, {{0, C}})), "B_ b_ A_ b_");
  // A held pulled chord binds the bellows through its ringing rests; the silence after it
  // follows the chord before it.
  const std::vector<std::string> held{kPull, kBreakPlay, kBreakMute, kBreakMute};
  EXPECT_EQ(letters(play(held, {2, 1, 0, 0}, {{0, C}})), "C c B c");
  // D major's chord sounds only pulling ("a"): in a silence after a pushed chord it is taken
  // pulling, and the bellows go on pushing for the bass after it.
  const auto d = play(lines, {2, 1, 0, 0}, {{0, D}});
  EXPECT_EQ(letters(d), "D'_ a C'_ a");
}

TEST_F(WechselbassTest, ABeatTheMelodysBellowsLeaveNoButtonForIsAGap) {
  // A pushed melody over D major: the chord sounds only pulling.
  const auto a = play(std::vector<std::string>(4, kPush), {2, 1, 0, 0}, {{0, D}});
  EXPECT_EQ(letters(a), "D'_ C'_");
  EXPECT_EQ(a.gaps, (std::vector<BassGap>{{1, D, true, false}, {3, D, true, false}}));
  // A minor chord the side does not have.
  const auto minor = play(std::vector<std::string>(2, kPull), {2, 1, 0, 0}, {{0, F, true}});
  EXPECT_EQ(minor.gaps, (std::vector<BassGap>{{1, F, true, true}}));
}

TEST_F(WechselbassTest, AChangeOfHarmonyStartsFromItsFundamentalAndNoChordStopsTheBass) {
  // 2/4 with a pickup of a beat: nothing before the first symbol, a change in the middle of
  // the alternation, then "no chord".
  const auto a = play(std::vector<std::string>(12, kPush), {2, 1, 1, 0},
                      {{1, C}, {3, C}, {5, G}, {9, -1}});
  EXPECT_EQ(letters(a), "B_ b_ A_ b_ A_ a_ D'_ a_");
  EXPECT_EQ(a.bass.front().event, 2);
  EXPECT_EQ(a.bass.back().event, 9);
}

TEST_F(WechselbassTest, EveryButtonSoundsTheHarmonyAndGoesWithTheTreblesBellows) {
  // Random melodies of pushed, pulled and silent steps over random major and minor harmonies,
  // on every shipped bass side with an inner row: each beat under a harmony has a button or a
  // gap, each button sounds its harmony's fundamental, fifth or triad, and goes the way the
  // treble goes while it sounds.
  std::mt19937 random(7);
  for (const char* name : {"Instrument_G-C-F-B_16-Bass.txt", "Instrument_A-D-G_12-Bass.txt",
                           "Instrument_G-C-F-B-Es_18-Bass.txt"}) {
    instrument = load(name);
    for (int round = 0; round < 40; ++round) {
      const Meter meter{2 + int(random() % 3), 1 + int(random() % 2), 0, 0};
      std::vector<std::string> lines;
      for (int i = 0; i < 48; ++i) {
        const int kind = int(random() % 4);
        lines.push_back(kind == 0 ? kPush : kind == 1 ? kPull : kind == 2 ? kBreakPlay : kBreakMute);
      }
      std::vector<RecordHarmony> harmonies;
      for (long long step = 0; step < 48; step += 1 + static_cast<long long>(random() % 8))
        harmonies.push_back({step, int(random() % 12), random() % 3 == 0});
      const auto a = wechselbass(lines, {}, meter, harmonies, instrument);
      std::size_t beats = 0;
      for (long long s = 0; s < 48; s += meter.stepsPerBeat) ++beats;
      EXPECT_EQ(a.bass.size() + a.gaps.size(), beats) << name << " round " << round;
      for (const HandButton& b : a.bass) {
        const long long step = b.event - 1;
        RecordHarmony h;
        for (const auto& x : harmonies) if (x.step <= step) h = x;
        const BassButton& button = buttonAt(b.at);
        const BassSound& sound = b.at.push ? button.push : button.pull;
        const int root = h.root, third = (h.root + (h.minor ? 3 : 4)) % 12, fifth = (h.root + 7) % 12;
        if (sound.notes.size() == 1) {
          EXPECT_TRUE(sound.notes[0] % 12 == root || sound.notes[0] % 12 == fifth) << name;
        } else {
          EXPECT_EQ(pitchClassesOf(sound.notes), pitchClassesOf({root, third, fifth})) << name;
        }
        // The chord the treble holds at that step, if any.
        std::optional<bool> held;
        for (long long i = step; i >= 0; --i) {
          const std::string& line = lines[std::size_t(i)];
          if (line == kBreakPlay) continue;
          if (line != kBreakMute) held = line == kPush;
          break;
        }
        if (held) {
          EXPECT_EQ(b.at.push, *held) << name << " step " << step;
        }
      }
    }
  }
}

// ---- Chord symbols from a score

namespace {

XmlElement el(std::string name, std::vector<XmlElement> children = {}, std::string text = {}) {
  return {std::move(name), {}, std::move(text), std::move(children)};
}

XmlElement note(const std::string& step, int duration) {
  return el("note", {el("pitch", {el("step", {}, step), el("octave", {}, "5")}),
                     el("duration", {}, std::to_string(duration))});
}

XmlElement harmony(const std::string& step, const std::string& kind, int alter = 0) {
  std::vector<XmlElement> root{el("root-step", {}, step)};
  if (alter != 0) root.push_back(el("root-alter", {}, std::to_string(alter)));
  return el("harmony", {el("root", root), el("kind", {}, kind)});
}

}  // namespace

TEST(ScoreHarmonyTest, ChordSymbolsComeWithTheMelodyOntoTheRecordsSteps) {
  // 2/4, two divisions a quarter: a pickup of an eighth, then bars with symbols on the beat and
  // one after an eighth; "none" stops the chords.
  XmlElement attributes = el("attributes", {el("divisions", {}, "2"),
                                            el("time", {el("beats", {}, "2"), el("beat-type", {}, "4")})});
  XmlElement pickup = el("measure", {attributes, note("G", 1)});
  pickup.attributes = {{"number", "0"}, {"implicit", "yes"}};
  XmlElement bar1 = el("measure", {harmony("C", "major"), note("C", 2), note("E", 2)});
  XmlElement bar2 = el("measure", {harmony("A", "minor-seventh"), note("A", 1),
                                   harmony("B", "dominant", -1), note("G", 1), note("F", 2)});
  XmlElement bar3 = el("measure", {harmony("", "none"), note("C", 4)});
  XmlElement part = el("part", {pickup, bar1, bar2, bar3});
  part.attributes = {{"id", "P1"}};
  const XmlElement score = el("score-partwise", {part});
  const Tune tune = tuneOfMusicXml(score, "P1");
  EXPECT_EQ(tune.harmonies, (std::vector<TuneHarmony>{{1, 0, false},     // after the pickup
                                                     {5, 9, true},      // a minor seventh: minor
                                                     {6, 10, false},    // B flat
                                                     {9, -1, false}}));
  ButtonNotes notes;
  for (int b = 0; b < kKeyCount; ++b) notes[std::size_t(b)] = 60 + b % 24;  // every pitch there
  const ImportResult imported = importTune(tune, notes, {});
  ASSERT_EQ(imported.meter.stepsPerBeat, 2);  // eighths
  EXPECT_EQ(imported.meter.pickupSteps, 1);
  EXPECT_EQ(harmoniesOnRecord(tune, imported),
            (std::vector<RecordHarmony>{{1, 0, false}, {5, 9, true}, {6, 10, false}, {9, -1, false}}));
}

TEST(ScoreHarmonyTest, ChordSymbolsOfPartsTakenTogetherKeepTheirTimeOnTheCommonGrid) {
  // The melody counts three divisions a quarter, the part with the symbols one: its symbol on
  // the second beat stays on the second beat when both are read on a grid of three, whichever
  // part comes first.
  const auto part = [](const std::string& id, int divisions, std::vector<XmlElement> measure) {
    measure.insert(measure.begin(), el("attributes", {el("divisions", {}, std::to_string(divisions)),
                                                      el("time", {el("beats", {}, "2"),
                                                                  el("beat-type", {}, "4")})}));
    XmlElement p = el("part", {el("measure", std::move(measure))});
    p.attributes = {{"id", id}};
    return p;
  };
  const XmlElement score = el(
      "score-partwise",
      {part("P1", 3, {note("C", 3), note("D", 3)}),
       part("P2", 1, {harmony("F", "major"), note("F", 1), harmony("C", "major"), note("E", 1)})});
  const Tune tune = tuneOfMusicXml(score, "P1 P2");
  ASSERT_EQ(tune.division, 3);
  EXPECT_EQ(tune.harmonies, (std::vector<TuneHarmony>{{0, 5, false}, {3, 0, false}}));
  const Tune melodyFirst = tuneOfMusicXml(score, "P2 P1");
  EXPECT_EQ(melodyFirst.harmonies, tune.harmonies);
}
