// MusicXML both ways, with the real XML and zip reading (pugixml and zlib): a score as a
// notation program writes it (pickup, ties, chords, a second voice, grace notes, a second
// staff), .mxl archives, hostile files, the exported score's bars, and export then import.
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <tuple>

#include "exchange/musicxml.h"
#include "exchange/wechselbass.h"
#include "instrument/instrument_format.h"
#include "fakes.h"
#include "lesson_support.h"
#include "platform/markup_reader.h"
#include "records/record_format.h"

using namespace tastrello;
using tastrello::testing::randomLesson;
using tastrello::testing::randomMeter;

namespace {

const PugiMarkupReader kReader;
constexpr UiLanguage kEnglish = UiLanguage::English;

/// A keyboard where each pitch has one pull button: 60@0 62@3 64@6 65@9 67@12.
ButtonNotes pullKeyboard() {
  ButtonNotes notes{};
  for (auto [b, p] : {std::pair{0, 60}, {3, 62}, {6, 64}, {9, 65}, {12, 67}})
    notes[std::size_t(b)] = p;
  return notes;
}

ButtonNotes shippedKeyboard() {
  tastrello::testing::MemoryFiles files;
  files.loadShippedData();
  std::size_t lines = 0;
  return buttonNotesOf(*parseNoteLayout(*files.read("Notes/Notes_G-C-F.txt"), lines));
}

std::vector<std::string> linesOf(const ImportResult& r) {
  std::vector<std::string> out;
  for (const auto& e : r.events) out.push_back(buttonLineOf(e));
  return out;
}

std::string note(const std::string& step, int octave, int duration, const std::string& extra = "",
                 const std::string& voice = "1") {
  return "<note>" + extra + "<pitch><step>" + step + "</step><octave>" + std::to_string(octave) +
         "</octave></pitch><duration>" + std::to_string(duration) + "</duration><voice>" + voice +
         "</voice></note>";
}

/// A score as notation programs write it: 3/4 with a quarter's pickup at 96 a minute, eighths,
/// a rest, a chord, a note tied across a bar line, a grace note, a second voice and a second
/// staff that the melody leaves out.
const std::string kScore =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"3.1\">"
    "<part-list><score-part id=\"P1\"><part-name>Melody</part-name></score-part></part-list>"
    "<part id=\"P1\"><measure number=\"0\" implicit=\"yes\"><attributes><divisions>2</divisions>"
    "<time><beats>3</beats><beat-type>4</beat-type></time><staves>2</staves></attributes>"
    "<direction><direction-type><metronome><beat-unit>quarter</beat-unit><per-minute>96"
    "</per-minute></metronome></direction-type><sound tempo=\"96\"/></direction>" +
    note("G", 4, 2) + "</measure><measure number=\"1\">" + note("C", 4, 1) +
    "<note><grace/><pitch><step>F</step><octave>4</octave></pitch><voice>1</voice></note>" +
    note("D", 4, 1) + note("E", 4, 2) +
    "<note><rest/><duration>2</duration><voice>1</voice></note><backup><duration>6</duration>"
    "</backup>" +
    note("D", 3, 6, "", "2") + "</measure><measure number=\"2\">" + note("C", 4, 2) +
    note("E", 4, 2, "<chord/>") + note("F", 4, 4) + "</measure><measure number=\"3\">" +
    note("F", 4, 2) + note("G", 4, 4) +
    "<backup><duration>6</duration></backup><note><pitch><step>C</step><octave>3</octave>"
    "</pitch><duration>6</duration><voice>5</voice><staff>2</staff></note></measure></part>"
    "</score-partwise>";

/// kScore with the F tied from bar 2 into bar 3.
std::string tiedScore() {
  std::string score = kScore;
  const std::string half = note("F", 4, 4), quarter = note("F", 4, 2);
  score.replace(score.find(half), half.size(),
                "<note><pitch><step>F</step><octave>4</octave></pitch><duration>4</duration>"
                "<tie type=\"start\"/><voice>1</voice></note>");
  score.replace(score.find(quarter), quarter.size(),
                "<note><pitch><step>F</step><octave>4</octave></pitch><duration>2</duration>"
                "<tie type=\"stop\"/><voice>1</voice></note>");
  return score;
}

void putLittleEndian(std::string& out, std::uint32_t value, int n) {
  for (int i = 0; i < n; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string rawDeflate(const std::string& bytes) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, uLong(bytes.size())), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = uInt(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = uInt(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

struct Member {
  std::string name, bytes;
  bool deflated = false;
  std::uint32_t declaredSize = 0;  ///< 0: the true size
};

/// A zip archive of the members, as archivers write it.
std::string zipOf(const std::vector<Member>& members) {
  std::string out, directory;
  for (const auto& m : members) {
    const std::string data = m.deflated ? rawDeflate(m.bytes) : m.bytes;
    const auto size = m.declaredSize ? m.declaredSize : std::uint32_t(m.bytes.size());
    const auto crc = std::uint32_t(
        crc32(0, reinterpret_cast<const Bytef*>(m.bytes.data()), uInt(m.bytes.size())));
    const auto offset = std::uint32_t(out.size());
    std::string common;
    putLittleEndian(common, 20, 2);                  // version needed
    putLittleEndian(common, 0, 2);                   // flags
    putLittleEndian(common, m.deflated ? 8 : 0, 2);  // method
    putLittleEndian(common, 0, 4);                   // time and date
    putLittleEndian(common, crc, 4);
    putLittleEndian(common, std::uint32_t(data.size()), 4);
    putLittleEndian(common, size, 4);
    putLittleEndian(common, std::uint32_t(m.name.size()), 2);
    putLittleEndian(common, 0, 2);  // extra
    putLittleEndian(out, 0x04034b50, 4);
    out += common + m.name + data;
    putLittleEndian(directory, 0x02014b50, 4);
    putLittleEndian(directory, 20, 2);  // version made by
    directory += common;
    putLittleEndian(directory, 0, 2);  // comment
    putLittleEndian(directory, 0, 2);  // disk
    putLittleEndian(directory, 0, 2);  // internal attributes
    putLittleEndian(directory, 0, 4);  // external attributes
    putLittleEndian(directory, offset, 4);
    directory += m.name;
  }
  const auto directoryAt = std::uint32_t(out.size());
  out += directory;
  putLittleEndian(out, 0x06054b50, 4);
  putLittleEndian(out, 0, 4);
  putLittleEndian(out, std::uint32_t(members.size()), 2);
  putLittleEndian(out, std::uint32_t(members.size()), 2);
  putLittleEndian(out, std::uint32_t(directory.size()), 4);
  putLittleEndian(out, directoryAt, 4);
  putLittleEndian(out, 0, 2);
  return out;
}

const std::string kContainer =
    "<?xml version=\"1.0\"?><container><rootfiles><rootfile full-path=\"score/tune.xml\" "
    "media-type=\"application/vnd.recordare.musicxml+xml\"/></rootfiles></container>";

ImportResult imported(const std::string& bytes, const ButtonNotes& notes,
                      const std::string& part = "") {
  std::string problem;
  const auto score = readMusicXml(bytes, kReader, problem);
  EXPECT_TRUE(score) << problem;
  return score ? importTune(tuneOfMusicXml(*score, part), notes, {}) : ImportResult{};
}

std::string refusal(const std::string& bytes) {
  std::string problem;
  EXPECT_FALSE(readMusicXml(bytes, kReader, problem));
  return problem;
}

}  // namespace

TEST(MusicXmlImportTest, AScoreComesWithItsRhythmMeterTempoPickupAndTies) {
  const auto result = imported(tiedScore(), pullKeyboard());
  EXPECT_EQ(result.meter, (Meter{3, 2, 2, 96}));
  const std::string P = kBreakPlay, M = kBreakMute;
  EXPECT_EQ(linesOf(result),
            (std::vector<std::string>{"12/", P, "00/", "03/", "06/", P, M,     M, "00/06/", P,
                                      "09/", P, P,     P,     P,     P, "12/", P, P,        P}));
  EXPECT_EQ(result.largestShiftMs, 0);
  // Untied, the F is struck again in bar 3.
  const auto untied = imported(kScore, pullKeyboard());
  EXPECT_EQ(linesOf(untied)[14], "09/");
}

TEST(MusicXmlImportTest, AnMxlArchiveIsReadThroughItsContainer) {
  const std::string archive = zipOf({{"mimetype", "application/vnd.recordare.musicxml", false, 0},
                                     {"decoy.xml", "<score-partwise/>", false, 0},
                                     {"META-INF/container.xml", kContainer, true, 0},
                                     {"score/tune.xml", tiedScore(), true, 0}});
  EXPECT_EQ(linesOf(imported(archive, pullKeyboard())),
            linesOf(imported(tiedScore(), pullKeyboard())));
  // Without a container, the first score in the archive.
  const std::string plain = zipOf({{"tune.musicxml", tiedScore(), true, 0}});
  EXPECT_EQ(imported(plain, pullKeyboard()).events.size(), 20u);
}

TEST(MusicXmlImportTest, HostileFilesAreRefusedWithTheirReason) {
  EXPECT_NE(refusal("<score-partwise><part>").find("not well-formed"), std::string::npos);
  EXPECT_NE(refusal("<score-timewise/>").find("score-timewise"), std::string::npos);
  EXPECT_NE(refusal("<html><body/></html>").find("<html>"), std::string::npos);
  EXPECT_NE(refusal(zipOf({{"readme.txt", "hello", false, 0}})).find("without a score"),
            std::string::npos);
  EXPECT_NE(refusal(zipOf({{"META-INF/container.xml", kContainer, false, 0}})).find("tune.xml"),
            std::string::npos);
  // A member that claims more than a score can be is refused before anything is inflated; one
  // that claims exactly the most is inflated, and refused for inflating to another size.
  const auto largest = std::uint32_t(kLargestScore);
  EXPECT_NE(refusal(zipOf({{"a.xml", tiedScore(), true, largest + 1}})).find("larger than 32 MB"),
            std::string::npos);
  EXPECT_NE(refusal(zipOf({{"a.xml", tiedScore(), true, largest}})).find("another length"),
            std::string::npos);
  EXPECT_NE(refusal(zipOf({{"a.xml", tiedScore(), true, 100}})).find("another length"),
            std::string::npos);
  std::string damaged = zipOf({{"a.xml", tiedScore(), true, 0}});
  for (std::size_t i = 40; i < 60; ++i) damaged[i] = '\xFF';
  EXPECT_FALSE(refusal(damaged).empty());
  // An archive cut short at any byte is refused, never read past its end.
  const std::string archive = zipOf(
      {{"META-INF/container.xml", kContainer, true, 0}, {"score/tune.xml", tiedScore(), true, 0}});
  for (std::size_t cut = 4; cut < archive.size(); cut += 7) {
    std::string problem;
    EXPECT_FALSE(readMusicXml(archive.substr(0, cut), kReader, problem)) << cut;
  }
}

TEST(MusicXmlImportTest, ZipBombsAndCrowdedArchivesAreRefusedCheaply) {
  // Ten megabytes of blanks that claim to be a thousand bytes: inflating stops at the thousand.
  const std::string blanks(10u << 20, ' ');
  EXPECT_NE(refusal(zipOf({{"a.xml", blanks, true, 1000}})).find("another length"),
            std::string::npos);
  // More members than any score has.
  std::vector<Member> crowd;
  for (int i = 0; i <= 4096; ++i) crowd.push_back({"m" + std::to_string(i) + ".xml", "<a/>"});
  EXPECT_EQ(refusal(zipOf(crowd)), "a zip archive of more than 4096 files");
  crowd.pop_back();
  EXPECT_EQ(refusal(zipOf(crowd)), "not a MusicXML score (its root is <a>)")
      << "4096 members are read: the first is taken as the score";
  // An encrypted member is refused by name.
  std::string encrypted = zipOf({{"secret.xml", tiedScore(), false, 0}});
  encrypted[6] = 1;                                    // the local header's flags
  encrypted[encrypted.find("PK\x01\x02", 0) + 8] = 1;  // the directory's
  EXPECT_EQ(refusal(encrypted), "secret.xml is encrypted");
}

TEST(MusicXmlImportTest, NamesInAnArchiveAreOnlyNamesNeverPlacesOnDisk) {
  // The container names its score with a path that climbs out of any folder; it is looked up
  // among the members by that exact name and read from memory, whatever the name says.
  const std::string climbing = "../../score/tune.xml";
  const std::string container =
      "<container><rootfiles><rootfile full-path=\"" + climbing + "\"/></rootfiles></container>";
  const std::string archive = zipOf({{"/etc/tune.xml", "<score-partwise/>", false, 0},
                                     {"score/tune.xml", "<score-timewise/>", false, 0},
                                     {"META-INF/container.xml", container, true, 0},
                                     {climbing, tiedScore(), true, 0}});
  EXPECT_EQ(linesOf(imported(archive, pullKeyboard())),
            linesOf(imported(tiedScore(), pullKeyboard())));
}

TEST(MusicXmlImportTest, DeepOrHugeDocumentsAreBoundedWithoutExhaustingTheStack) {
  // The most elements a score may have, and one more.
  std::string many = "<score-partwise>";
  for (std::size_t i = 1; i < kMostScoreElements; ++i) many += "<a/>";
  std::string problem;
  EXPECT_TRUE(readMusicXml(many + "</score-partwise>", kReader, problem)) << problem;
  EXPECT_EQ(refusal(many + "<a/></score-partwise>"), "more than 1000000 XML elements");

  // Nesting: as deep as allowed, one more, and far more (which, freed recursively, would
  // exhaust the stack).
  auto nested = [](int depth) {
    std::string xml;
    for (int i = 0; i < depth; ++i) xml += "<a>";
    for (int i = 0; i < depth; ++i) xml += "</a>";
    return xml;
  };
  EXPECT_TRUE(kReader.parseXml(nested(kDeepestXml), 1000, problem, kEnglish)) << problem;
  EXPECT_FALSE(kReader.parseXml(nested(kDeepestXml + 1), 1000, problem, kEnglish));
  EXPECT_EQ(problem, "XML elements nested more than 100 deep");
  EXPECT_FALSE(kReader.parseXml(nested(200000), 300000, problem, kEnglish));
  EXPECT_EQ(problem, "XML elements nested more than 100 deep");
  // The entities of a document type are not expanded (no "billion laughs").
  const std::string laughs =
      "<!DOCTYPE s [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">]>"
      "<score-partwise><work><work-title>&b;</work-title></work></score-partwise>";
  const auto score = kReader.parseXml(laughs, 100, problem, kEnglish);
  ASSERT_TRUE(score) << problem;
  EXPECT_LT(score->child("work")->childText("work-title").size(), 20u);
}

TEST(MusicXmlImportTest, ATransposingPartIsTakenAtTheSoundingPitch) {
  // A part for an instrument in B flat: written D and E sound as C and D, an octave lower
  // when the transposition says so too.
  auto part = [](const std::string& transpose) {
    return "<score-partwise><part id=\"P1\"><measure><attributes><divisions>1</divisions>"
           "<transpose>" + transpose + "</transpose></attributes>" +
           note("D", 5, 1) + note("E", 5, 1) + "</measure></part></score-partwise>";
  };
  EXPECT_EQ(linesOf(imported(part("<chromatic>-2</chromatic><octave-change>-1</octave-change>"),
                             pullKeyboard())),
            (std::vector<std::string>{"00/", "03/"}));
  EXPECT_EQ(linesOf(imported(part("<diatonic>-1</diatonic><chromatic>-14</chromatic>"),
                             pullKeyboard())),
            (std::vector<std::string>{"00/", "03/"}));
}

TEST(MusicXmlImportTest, ABackupLongerThanTheBarSoFarGoesBackOnlyToTheBarsStart) {
  // 4/4 in quarters: a damaged score backs up three quarters after one, in the first bar and
  // in the second; the melody note after it starts its own bar, never before it.
  auto tuneOf = [](const std::string& bars) {
    const std::string xml =
        "<score-partwise><part id=\"P1\"><measure><attributes><divisions>1</divisions>"
        "<time><beats>4</beats><beat-type>4</beat-type></time></attributes>" +
        bars + "</measure></part></score-partwise>";
    std::string problem;
    const auto score = readMusicXml(xml, kReader, problem);
    EXPECT_TRUE(score) << problem;
    return score ? tuneOfMusicXml(*score, "") : Tune{};
  };
  const std::string tooFar = "<backup><duration>3</duration></backup>";
  const Tune first = tuneOf(note("C", 4, 1) + tooFar + note("D", 4, 4));
  EXPECT_EQ(first.notes, (std::vector<TuneNote>{{0, 1, 60, -1}, {0, 4, 62, -1}}));
  EXPECT_EQ(first.pickupTicks, 0) << "the bar still holds four quarters";

  const Tune second = tuneOf(note("G", 4, 4) + "</measure><measure>" + note("C", 4, 1) +
                             tooFar + note("D", 4, 4) + "</measure><measure>" + note("E", 4, 4));
  EXPECT_EQ(second.notes, (std::vector<TuneNote>{
                              {0, 4, 67, -1}, {4, 1, 60, -1}, {4, 4, 62, -1}, {8, 4, 64, -1}}));
}

TEST(MusicXmlImportTest, AUtf16ScoreIsRecognisedAndRead) {
  std::string utf16 = "\xFF\xFE";
  for (char c : tiedScore()) utf16 += {c, '\0'};
  ASSERT_TRUE(looksLikeMusicXml(utf16));
  EXPECT_EQ(linesOf(imported(utf16, pullKeyboard())),
            linesOf(imported(tiedScore(), pullKeyboard())));
  EXPECT_FALSE(looksLikeMusicXml(std::string("MThd\0\0\0\x06", 8)));
}

TEST(MusicXmlImportTest, PartsWithNotesAreOfferedAndTheChosenOnesMelodyIsTaken) {
  std::string two = tiedScore();
  two.replace(two.find("</part-list>"), 0,
              "<score-part id=\"P2\"><part-name>Bass \xC3\xA4</part-name></score-part>"
              "<score-part id=\"P3\"><part-name>Empty</part-name></score-part>");
  two.replace(two.find("</score-partwise>"), 0,
              "<part id=\"P2\"><measure><attributes><divisions>1</divisions></attributes>" +
                  note("C", 4, 1) + note("D", 4, 1) +
                  "</measure></part><part id=\"P3\">"
                  "<measure><note><rest/><duration>4</duration></note></measure></part>");
  std::string problem;
  const auto score = readMusicXml(two, kReader, problem);
  ASSERT_TRUE(score);
  const auto parts = scoreParts(*score, UiLanguage::English);
  ASSERT_EQ(parts.size(), 2u) << "a part without notes is no choice";
  EXPECT_EQ(parts[1].label, "Part 2: Bass \xE4 (notes: 2)") << "Windows-1252, as the logic keeps";
  const auto bass = importTune(tuneOfMusicXml(*score, "P2"), pullKeyboard(), {});
  EXPECT_EQ(linesOf(bass), (std::vector<std::string>{"00/", "03/"}));
}

TEST(MusicXmlExportTest, EveryBarAddsUpToItsTimeSignatureTheLastEndsWithTheRecord) {
  // 3/4 in eighths with a one-eighth pickup at 80 a minute: a push chord held six steps
  // across the bar line, pull notes, silence.
  const ButtonNotes notes = shippedKeyboard();
  const std::vector<std::string> lines{"46/",      "10/",      "44/47/",   kBreakPlay, kBreakPlay,
                                       kBreakPlay, kBreakPlay, kBreakPlay, "10/",      kBreakMute};
  MusicXmlSettings settings;
  settings.title = "Walzer \xE4";
  settings.language = UiLanguage::English;
  const std::string xml = exportRecordToMusicXml(lines, notes, {3, 2, 1, 80}, settings);
  std::string problem;
  const auto score = kReader.parseXml(xml, kMostScoreElements, problem, kEnglish);
  ASSERT_TRUE(score) << problem;
  EXPECT_EQ(score->child("work")->childText("work-title"), "Walzer \xC3\xA4");
  const XmlElement* part = score->child("part");
  ASSERT_TRUE(part);
  std::vector<int> lengths;
  std::vector<std::string> measures, types, words, fingerings;
  int tieStarts = 0, tieStops = 0;
  for (const auto& measure : part->children) {
    measures.push_back(measure.attribute("number"));
    int length = 0;
    for (const auto& item : measure.children) {
      if (item.name == "direction")
        for (const auto& type : item.children)
          if (type.name == "direction-type") words.push_back(type.childText("words"));
      if (item.name != "note") continue;
      if (!item.child("chord")) {
        length += std::stoi(item.childText("duration"));
        types.push_back(item.childText("type") + (item.child("dot") ? "." : ""));
      }
      for (const auto& t : item.children)
        if (t.name == "tie") ++(t.attribute("type") == "start" ? tieStarts : tieStops);
      if (const XmlElement* n = item.child("notations"))
        if (const XmlElement* t = n->child("technical"))
          fingerings.push_back(t->childText("fingering"));
    }
    lengths.push_back(length);
  }
  EXPECT_EQ(measures, (std::vector<std::string>{"0", "1", "2"}));
  EXPECT_EQ(lengths, (std::vector<int>{1, 6, 3}))
      << "in eighths: the pickup, a whole bar, and the last bar as far as the record goes";
  EXPECT_EQ(types, (std::vector<std::string>{"eighth", "eighth", "half", "eighth", "eighth",
                                             "eighth", "eighth"}))
      << "the chord as a half and two eighths tied, the closing rest";
  EXPECT_EQ(tieStarts, 4) << "both notes of the chord, twice";
  EXPECT_EQ(tieStops, 4);
  EXPECT_EQ(words, (std::vector<std::string>{"", "push", "pull", "push", "pull"}))
      << "the tempo, then the bellows at each turn";
  EXPECT_EQ(fingerings, (std::vector<std::string>{"1/5", "2/4", "2/4", "2/5", "2/4"}))
      << "row/number, on the first of tied notes only";
}

TEST(MusicXmlExportTest, ExportThenImportGivesBackTheSameEventsMeterAndTempo) {
  const ButtonNotes notes = shippedKeyboard();
  std::mt19937 random(5);
  for (int round = 0; round < 200; ++round) {
    const Meter meter = randomMeter(random);
    const auto lines = randomLesson(random, notes, meter, true);
    MusicXmlSettings settings;
    settings.language = UiLanguage(random() % 4);
    const auto back = imported(exportRecordToMusicXml(lines, notes, meter, settings), notes);
    // A score's pickup is a whole bar of its own: a record shorter than its pickup comes back
    // with the pickup's rest.
    auto expected = lines;
    expected.resize(std::max(lines.size(), std::size_t(meter.pickupSteps)), kBreakMute);
    ASSERT_EQ(linesOf(back), expected) << "round " << round << ": " << formatMeter(meter);
    EXPECT_EQ(back.meter, meter) << "round " << round;
  }
}

TEST(MusicXmlExportTest, RandomTwoHandLessonsComeBackWithTrebleBassAndDirections) {
  // The bass on a second staff: random lessons, a bass button on about every other event in
  // the direction the treble holds (either in its silences), exported and imported again; on
  // the three-row instrument of the layout and on the three rows a record file holds of a
  // four- and a five-row instrument, with their larger bass sides.
  tastrello::testing::MemoryFiles files;
  files.loadShippedData();
  std::mt19937 random(38);
  for (const char* name : {"Instrument_G-C-F_12-Bass.txt", "Instrument_G-C-F-B_16-Bass.txt",
                           "Instrument_G-C-F-B-Es_18-Bass.txt"}) {
    std::vector<InstrumentProblem> problems;
    const Instrument instrument = *parseInstrument(*files.read("Notes/" + std::string(name)), problems);
    const ButtonNotes notes =
        instrument.layout.empty() ? recordNotesOf(instrument) : shippedKeyboard();
    const ButtonNumbering numbering(bassRowLengths(instrument));
    const auto heard = [&](const std::vector<HandButton>& bass) {
      std::vector<std::tuple<int, bool, std::vector<int>>> out;
      for (const HandButton& b : bass) {
        const BassButton& button = instrument.bass[std::size_t(b.at.row - 1)].buttons[std::size_t(b.at.number - 1)];
        auto sound = b.at.push ? button.push.notes : button.pull.notes;
        std::sort(sound.begin(), sound.end());
        out.emplace_back(b.event, b.at.push, sound);
      }
      std::sort(out.begin(), out.end());
      return out;
    };
    for (int round = 0; round < 80; ++round) {
      const Meter meter = randomMeter(random);
      auto lines = randomLesson(random, notes, meter, true);
      while (static_cast<int>(lines.size()) <= meter.pickupSteps)  // see the test above
        lines = randomLesson(random, notes, meter, true);
      RecordHands hands;
      bool held = false;
      for (std::size_t i = 0; i < lines.size(); ++i) {
        bool push = random() % 2 == 0;
        if (!isRestMarker(lines[i])) held = push = bellowsOf(lines[i]) == Bellows::Push;
        if (lines[i] == kBreakPlay) push = held;
        if (random() % 2 != 0) continue;
        ButtonAt at;
        do at = *numbering.placeOf(int(random() % unsigned(numbering.count())));
        while (at.push != push);
        hands.buttons.push_back({int(i + 1), Hand::Bass, at});
      }
      MusicXmlSettings settings;
      settings.language = UiLanguage(random() % 4);
      const std::string xml = exportRecordToMusicXml(lines, notes, meter, settings, hands, instrument);
      std::string problem;
      const auto score = readMusicXml(xml, kReader, problem);
      ASSERT_TRUE(score) << problem;
      const Tune tune = tuneOfMusicXml(*score, "");
      const ImportResult back = importTune(tune, notes, {});
      ASSERT_EQ(linesOf(back), lines) << name << " round " << round << ": " << formatMeter(meter);
      EXPECT_EQ(back.meter, meter) << name << " round " << round;
      int unplaced = 0;
      EXPECT_EQ(heard(bassOfTune(tune, back, instrument, unplaced)), heard(hands.buttons))
          << name << " round " << round;
      EXPECT_EQ(unplaced, 0) << name << " round " << round;
    }
  }
}

TEST(MusicXmlExportTest, RandomLessonsWithRowsFourAndFiveComeBackOnAllTheirRows) {
  // Random lessons with treble buttons of the rows past the third beside them (with a chord of
  // the record file, or alone where the record file keeps a silence) and a bass, imported on
  // all the instrument's rows: each note's fingering gives its row, and no row has a pitch
  // twice in one direction, so every treble button comes back as it was.
  using namespace tastrello::testing;
  MemoryFiles files;
  files.loadShippedData();
  std::mt19937 random(45);
  for (const char* name : {"Instrument_G-C-F-B_16-Bass.txt", "Instrument_G-C-F-B-Es_18-Bass.txt",
                           "Instrument_B-Es-As-Des_16-Bass.txt"}) {
    std::vector<InstrumentProblem> problems;
    const Instrument side = *parseInstrument(*files.read("Notes/" + std::string(name)), problems);
    const ButtonNotes rows = recordNotesOf(side);
    for (int round = 0; round < 80; ++round) {
      const Meter meter = randomMeter(random);
      auto lines = randomLesson(random, rows, meter, true);
      while (static_cast<int>(lines.size()) <= meter.pickupSteps)  // a pickup is a whole bar
        lines = randomLesson(random, rows, meter, true);
      const RecordHands treble = randomTrebleBeside(random, lines, side);
      const RecordHands bass = randomBass(random, lines, side, treble);
      MusicXmlSettings settings;
      settings.language = UiLanguage(random() % 4);
      const std::string xml =
          exportRecordToMusicXml(lines, rows, meter, settings, bothHands(treble, bass), side);
      std::string problem;
      const auto score = readMusicXml(xml, kReader, problem);
      ASSERT_TRUE(score) << problem;
      const Tune tune = tuneOfMusicXml(*score, "");
      const ImportResult back = importTune(tune, side, {});
      ASSERT_EQ(linesOf(back), lines) << name << " round " << round << ": " << formatMeter(meter);
      EXPECT_EQ(buttonSet(trebleBesideOf(back)), buttonSet(treble.buttons)) << name << " round " << round;
      EXPECT_EQ(back.meter, meter) << name << " round " << round;
      const ImportedBass bassBack = bassOfImport(tune, back, linesOf(back), side);
      EXPECT_EQ(bassHeard(bassBack.buttons, side), bassHeard(bass.buttons, side))
          << name << " round " << round;
      EXPECT_EQ(bassBack.unplaced, 0) << name << " round " << round;
    }
  }
}

TEST(MusicXmlExportTest, AFourthRowButtonIsANoteOfItsStepsChordWithItsFingering) {
  // G-C-F-B: event 1 is button 10 (row 2, d1 pulling) with row 4's third button (f1 pulling);
  // event 2 a silence of the record file that row 4's second button (b pushing) plays, held
  // through the ringing rest after it.
  tastrello::testing::MemoryFiles files;
  files.loadShippedData();
  std::vector<InstrumentProblem> problems;
  const Instrument four =
      *parseInstrument(*files.read("Notes/Instrument_G-C-F-B_16-Bass.txt"), problems);
  const std::vector<std::string> lines{"10/", kBreakMute, kBreakPlay};
  const RecordHands hands{"", {{1, Hand::Treble, {false, 4, 3}}, {2, Hand::Treble, {true, 4, 2}}}};
  MusicXmlSettings settings;
  settings.language = kEnglish;
  const std::string xml = exportRecordToMusicXml(
      lines, recordNotesOf(four), {4, 1, 0, 120}, settings, hands, four);
  std::string problem;
  const auto score = readMusicXml(xml, kReader, problem);
  ASSERT_TRUE(score) << problem;
  const Tune tune = tuneOfMusicXml(*score, "");
  std::vector<std::tuple<long long, int, long long, int>> notes;  // tick, pitch, length, row
  for (const TuneNote& n : tune.notes) notes.emplace_back(n.tick, n.pitch, n.length, n.row);
  std::sort(notes.begin(), notes.end());
  EXPECT_EQ(notes, (std::vector<std::tuple<long long, int, long long, int>>{
                       {0, 62, 1, 1}, {0, 65, 1, 3}, {1, 58, 2, 3}}))
      << "row 4's notes with their steps, read back on row 4 (3 from 0)";
  EXPECT_EQ(tune.bellows, (std::vector<std::pair<long long, bool>>{{0, false}, {1, true}}));
}

TEST(MusicXmlExportTest, EachShippedLessonComesBackWithItsClosingRest) {
  // The last bar ends with the record: the rest that closes a lesson is the last bar's rest,
  // and the silence up to the end of the score is read back as the lesson's own.
  const ButtonNotes notes = shippedKeyboard();
  const auto lessons = tastrello::testing::shippedLessons();
  ASSERT_EQ(lessons.size(), 8u);
  for (const auto& [name, lines] : lessons)
    for (const Meter& meter : {Meter{}, Meter{3, 2, 1, 90}, Meter{6, 4, 5, 72}}) {
      const auto back = imported(exportRecordToMusicXml(lines, notes, meter, {}), notes);
      EXPECT_EQ(linesOf(back), lines) << name << " in " << formatMeter(meter);
      EXPECT_EQ(back.meter, meter) << name;
    }
}

TEST(MusicXmlExportTest, ARecordShorterThanABarIsOneShortBarAndNoPickup) {
  const ButtonNotes notes = shippedKeyboard();
  const std::vector<std::string> lines{"46/", kBreakMute};
  const auto back = imported(exportRecordToMusicXml(lines, notes, {4, 1, 0, 0}, {}), notes);
  EXPECT_EQ(back.meter, (Meter{4, 1, 0, 0}));
  EXPECT_EQ(linesOf(back), lines);
  // Shorter than its pickup, it keeps the pickup whole: the pickup's length is its meter's.
  const auto picked = imported(exportRecordToMusicXml({"46/"}, notes, {4, 1, 3, 0}, {}), notes);
  EXPECT_EQ(picked.meter, (Meter{4, 1, 3, 0}));
  EXPECT_EQ(linesOf(picked), (std::vector<std::string>{"46/", kBreakMute, kBreakMute}));
}

TEST(MusicXmlImportTest, TheRestsOfTheLastBarAreTheTunesClosingSilence) {
  // 3/4: a bar of three quarters, then a quarter and a half rest.
  const std::string score =
      "<score-partwise><part id=\"P1\"><measure><attributes><divisions>1</divisions><time>"
      "<beats>3</beats><beat-type>4</beat-type></time></attributes>" +
      note("C", 4, 1) + note("D", 4, 1) + note("E", 4, 1) + "</measure><measure>" +
      note("C", 4, 1) + "<note><rest/><duration>2</duration></note></measure></part>"
                        "</score-partwise>";
  const std::string M = kBreakMute;
  EXPECT_EQ(linesOf(imported(score, pullKeyboard())),
            (std::vector<std::string>{"00/", "03/", "06/", "00/", M, M}));
}

/// A 4/4 bar in the parts given, each part's notes on its own beats and rests elsewhere, each
/// part played by the MIDI program given ("" names none): a melody a notation program split
/// into parts, one a channel.
std::string splitScore(const std::vector<std::pair<std::string, std::string>>& programAndBeats) {
  std::string list = "<part-list>", parts;
  for (std::size_t p = 0; p < programAndBeats.size(); ++p) {
    const std::string id = "P" + std::to_string(p + 1);
    const auto& [program, beats] = programAndBeats[p];
    list += "<score-part id=\"" + id + "\"><part-name>Accordion</part-name>" +
            (program.empty() ? "" : "<midi-instrument id=\"" + id + "-I1\"><midi-program>" + program +
                                        "</midi-program></midi-instrument>") +
            "</score-part>";
    parts += "<part id=\"" + id + "\"><measure><attributes><divisions>" +
             std::to_string(p + 1) + "</divisions><time><beats>4</beats><beat-type>4</beat-type>"
             "</time></attributes>";
    for (char beat : beats)
      parts += beat == '-' ? "<note><rest/><duration>" + std::to_string(p + 1) + "</duration></note>"
                           : note(std::string(1, beat), 4, int(p + 1));
    parts += "</measure></part>";
  }
  return "<score-partwise>" + list + "</part-list>" + parts + "</score-partwise>";
}

TEST(MusicXmlImportTest, TheMelodyOfOneInstrumentSplitIntoPartsComesBackWhole) {
  // Each part with its own divisions: the parts are laid on a common grid.
  const std::string score = splitScore({{"22", "C--F"}, {"22", "-D--"}, {"22", "--E-"}});
  const auto back = imported(score, pullKeyboard());
  EXPECT_EQ(linesOf(back), (std::vector<std::string>{"00/", "03/", "06/", "09/"}));
}

TEST(MusicXmlImportTest, PartsOfOneInstrumentAreOfferedAsOneAndOthersApart) {
  const std::string score = splitScore({{"22", "C---"}, {"1", "-D--"}, {"22", "--E-"}, {"", "---F"}});
  std::string problem;
  const auto root = readMusicXml(score, kReader, problem);
  ASSERT_TRUE(root) << problem;
  const auto parts = scoreParts(*root, UiLanguage::English);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0].label, "Parts 1, 3 of one instrument (notes: 2)");
  EXPECT_EQ(parts[1].label, "Part 2: Accordion (notes: 1)");
  EXPECT_EQ(parts[2].label, "Part 4: Accordion (notes: 1)");
  EXPECT_EQ(linesOf(importTune(tuneOfMusicXml(*root, parts[0].id), pullKeyboard(), {})),
            (std::vector<std::string>{"00/", kBreakMute, "06/", kBreakMute}));
}

class MusicXmlWindowTest : public ::testing::Test {
 protected:
  tastrello::testing::FakePort port;
  tastrello::testing::MemoryFiles files;
  tastrello::testing::FakeClock clock;
  Form1 form{{&port, &files, nullptr, &clock, nullptr, nullptr, &kReader}};
  void SetUp() override {
    files.loadShippedData();
    form.Form_Load();
    form.Form_Activate();
  }
};

TEST_F(MusicXmlWindowTest, AScoreOpensInTheEditorWithItsRhythmAndMeter) {
  const ButtonNotes notes = form.buttonNotes();
  const std::vector<std::string> lines{"46/", kBreakPlay, "10/", kBreakMute, "44/47/"};
  const std::string xml = exportRecordToMusicXml(lines, notes, {2, 2, 0, 72}, {});
  form.openMidiFile("Tune", xml);
  EXPECT_TRUE(form.EditBox.visible);
  EXPECT_EQ(form.ShadowListe3.items, lines);
  form.SaveRecord_Click();
  EXPECT_EQ(files.files["Records/Meter_Records_Tune.txt"], formatMeter({2, 2, 0, 72}));
  // Without a reader of XML (an edition without one), the score is refused with the reason.
  Form1 bare{{&port, &files, nullptr, &clock}};
  bare.Form_Load();
  bare.openMidiFile("Tune", xml);
  EXPECT_NE(bare.StatusLine.caption.find(bare.say(Text::WhyNoMusicXml)), std::string::npos);
}

TEST_F(MusicXmlWindowTest, AScoreOfSeveralPartsAsksWhichInTheLanguageInForce) {
  std::string two = tiedScore();
  two.replace(two.find("</part-list>"), 0,
              "<score-part id=\"P2\"><part-name>Bass</part-name></score-part>");
  two.replace(two.find("</score-partwise>"), 0,
              "<part id=\"P2\"><measure><attributes><divisions>1</divisions></attributes>" +
                  note("G", 3, 1) + note("C", 4, 1) + "</measure></part>");
  form.openMidiFile("Two", two);
  auto requests = form.takeRequests();
  ASSERT_EQ(requests.size(), 1u);
  const Request question = requests.front();
  ASSERT_EQ(question.kind, Request::Kind::ChooseOne);
  EXPECT_EQ(question.name, form.say(Text::ScorePartQuestion));
  ASSERT_EQ(question.options.size(), 2u);
  EXPECT_EQ(question.options[1], form.say(Text::ScorePartLabel, {"2", "Bass", "2"}));
  EXPECT_FALSE(form.EditBox.visible) << "nothing is imported before the choice";
  form.dispatch(Event::chosen(question.id, 1));
  ASSERT_TRUE(form.EditBox.visible);
  EXPECT_EQ(form.ShadowListe3.items.size(), 2u) << "the bass's two notes, not the melody";
}

TEST_F(MusicXmlWindowTest, TheExportedScoreIsWellFormedForOtherPrograms) {
  // xmllint (libxml2) as a second, independent reader of what a notation program is given.
  if (std::system("xmllint --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no xmllint";
  namespace fs = std::filesystem;
  const std::vector<std::string> lines{"46/",      "10/",      "44/47/", kBreakPlay, kBreakPlay,
                                       kBreakMute, "13/16/19/", "10/"};
  MusicXmlSettings settings;
  settings.title = "Boarischer <&> \xE4";  // markup characters and a letter beyond ASCII
  const fs::path file =
      fs::temp_directory_path() / ("tastrello-score-" + std::to_string(::getpid()) + ".musicxml");
  std::ofstream(file, std::ios::binary)
      << exportRecordToMusicXml(lines, form.buttonNotes(), {3, 2, 1, 90}, settings);
  const std::string command = "xmllint --noout --nonet '" + file.string() + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0);
  fs::remove(file);
}

TEST(MusicXmlConvertTest, TheConverterWritesAScoreAndReadsItBackWithTheMeterBesideTheRecord) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("tastrello-musicxml-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "Records");
  const std::vector<std::string> lines{"46/", kBreakPlay, kBreakPlay, "10/", kBreakMute, "44/47/"};
  RecordContent record{"Notes_G-C-F.txt", lines, {}};
  for (const auto& line : lines) record.nameLines.push_back(isRestMarker(line) ? line : "x/");
  auto write = [](const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  };
  write(dir / "Records/Records_Waltz.txt", formatRecord(record));
  write(dir / "Records/Meter_Records_Waltz.txt", formatMeter({3, 2, 1, 84}));
  const auto run = [&](const std::string& in, const std::string& out) {
    const std::string command = std::string(TASTRELLO_CONVERT) + " '" + (dir / in).string() +
                                "' '" + (dir / out).string() + "' >'" +
                                (dir / "said.txt").string() + "' 2>&1";
    return std::system(command.c_str());
  };
  ASSERT_EQ(run("Records/Records_Waltz.txt", "Waltz.musicxml"), 0);
  ASSERT_EQ(run("Waltz.musicxml", "Records/Records_Back.txt"), 0);
  std::ifstream back(dir / "Records/Records_Back.txt", std::ios::binary);
  std::stringstream bytes;
  bytes << back.rdbuf();
  RecordProblem problem;
  const auto read = parseRecord(bytes.str(), problem);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->buttonLines, lines);
  std::ifstream meter(dir / "Records/Meter_Records_Back.txt", std::ios::binary);
  std::stringstream meterBytes;
  meterBytes << meter.rdbuf();
  EXPECT_EQ(meterBytes.str(), formatMeter({3, 2, 1, 84}));
  // A damaged score is refused with its reason and leaves nothing behind.
  write(dir / "Bad.mxl", "PK\x03\x04 not really");
  EXPECT_NE(run("Bad.mxl", "Records/Records_Bad.txt"), 0);
  EXPECT_FALSE(fs::exists(dir / "Records/Records_Bad.txt"));
  std::ifstream said(dir / "said.txt");
  std::stringstream saidBytes;
  saidBytes << said.rdbuf();
  EXPECT_NE(saidBytes.str().find("zip"), std::string::npos) << saidBytes.str();
  fs::remove_all(dir);
}
