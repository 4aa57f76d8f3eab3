// The tablature as Qt draws it from the logic's SVG: the SVG reads back as well-formed XML and
// holds what the layout says, a page renders (to the build folder, for a look), the PDF and
// SVG files are written whole.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QXmlStreamReader>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "platform/tablature_render.h"
#include "file_bytes.h"
#include "tab_tunes.h"
#include "tablature/tab_svg.h"


using namespace tastrello;
using namespace tastrello::testing;

namespace {

/// How many elements of each class an SVG document holds ("head", "bar", ...), read with Qt's
/// XML reader; `error` says why it is not well formed.
std::map<std::string, int> classesOf(const std::string& svg, std::string& error) {
  std::map<std::string, int> count;
  QXmlStreamReader xml(QByteArray::fromStdString(svg));
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    for (const QString& c : xml.attributes().value("class").toString().split(' ', Qt::SkipEmptyParts))
      ++count[c.toStdString()];
  }
  error = xml.hasError() ? xml.errorString().toStdString() : "";
  return count;
}

QImage render(const std::string& svg, const TabGeometry& g, double scale) {
  QImage image(int(g.width * scale), int(g.height * scale), QImage::Format_RGB32);
  image.fill(Qt::gray);
  QPainter painter(&image);
  EXPECT_TRUE(paintTabSvg(painter, svg, QRectF(0, 0, g.width * scale, g.height * scale)));
  return image;
}

/// The waltz as a record in `dir`/Records, for the converter.
void writeWaltzRecord(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir / "Records");
  std::string bytes = "Notes_G-C-F.txt\r\n";
  for (const std::string& line : waltz())
    bytes += line + (isRestMarker(line) ? "\r\n" : "\r\nx/\r\n");
  bytes += "*-*\r\n \r\n";
  std::ofstream(dir / "Records/Records_Waltz.txt", std::ios::binary) << bytes;
}

/// Runs the converter on the waltz record in `dir` into `out`: its exit status, and what it said
/// in `said`.
int convertWaltz(const std::filesystem::path& dir, const std::string& out, std::string& said) {
  const std::filesystem::path log = dir / "said.txt";
  const std::string command = "'" TASTRELLO_CONVERT "' '" + (dir / "Records/Records_Waltz.txt").string() +
                              "' '" + (dir / out).string() + "' --force >'" + log.string() + "' 2>&1";
  const int status = std::system(command.c_str());
  said = fileBytes(log);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(TabSvgRenderTest, APageRendersForALook) {
  TabDocument document{"Waltz <&> \xE4", "G-C-F", Meter{3, 2, 2, 96}, 96, waltz()};
  const auto pages = layoutTablature(document);
  const std::filesystem::path dir = TASTRELLO_LOOK;
  std::filesystem::create_directories(dir);
  const QImage image = render(tabPageSvg(document, pages, 0, {}, 3), {}, 2.5);
  ASSERT_TRUE(image.save(QString::fromStdString((dir / "waltz.png").string())));
  // And the first staff close up.
  const TabSystem& staff = pages[0].systems.front();
  const double zoom = 6;
  const QImage page = render(tabPageSvg(document, pages, 0, {}, 3), {}, zoom);
  for (int half = 0; half < 2; ++half) {
    const QImage near = page.copy(QRectF(half * 297.5 * zoom, (staff.top + staff.above - 10) * zoom,
                                         297.5 * zoom, (staff.below - staff.above + 20) * zoom)
                                      .toRect());
    ASSERT_TRUE(near.save(QString::fromStdString(
        (dir / ("waltz-staff-" + std::to_string(half + 1) + ".png")).string())));
  }
  // Something black was drawn on the white page, and the page covers the whole picture.
  EXPECT_EQ(image.pixelColor(2, 2), QColor(Qt::white));
  int dark = 0;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) dark += qGray(image.pixel(x, y)) < 80;
  EXPECT_GT(dark, 500);
}

TEST(TabSvgRenderTest, TheSvgIsWellFormedAndHoldsWhatTheLayoutSays) {
  // Every page of a long record with rhythm, and a title full of XML's special characters.
  std::vector<std::string> lines;
  for (int i = 0; i < 24; ++i) {
    const auto more = waltz();
    lines.insert(lines.end(), more.begin(), more.end());
  }
  const TabDocument document{"<a & \"b\"> 'c' \x01", "G-C-F", Meter{3, 2, 2, 0}, 120, lines};
  const auto pages = layoutTablature(document);
  ASSERT_GT(pages.size(), 1u);
  for (int p = 0; p < static_cast<int>(pages.size()); ++p) {
    std::map<std::string, int> expected;
    for (const TabSystem& system : pages[static_cast<std::size_t>(p)].systems) {
      expected["bar"] += static_cast<int>(system.barLines.size());
      expected["beam"] += static_cast<int>(system.beams.size());
      expected["tie"] += static_cast<int>(system.ties.size());
      expected["push"] += static_cast<int>(system.pushBars.size());
      expected["staff"] += 1;
      for (const TabItem& item : system.items) {
        expected[item.rhythm.rest ? "rest" : "chord"] += 1;
        expected["head"] += static_cast<int>(item.heads.size());
        expected["stem"] += item.stem != 0;
        expected["flag"] += item.flags;
        expected["ledger"] += static_cast<int>(item.ledgers.size());
        expected["dot"] += static_cast<int>(item.dots.size());
      }
    }
    std::string error;
    const auto found = classesOf(tabPageSvg(document, pages, p, {}, 5), error);
    EXPECT_EQ(error, "") << "page " << p;
    for (const auto& [name, count] : expected) EXPECT_EQ(found.count(name) ? found.at(name) : 0, count) << name << " on page " << p;
    EXPECT_EQ(found.count("title") ? found.at("title") : 0, p == 0 ? 1 : 0);
    EXPECT_EQ(found.count("tempo") ? found.at("tempo") : 0, p == 0 ? 2 : 0);  // the note and "= 120"
    EXPECT_EQ(found.count("mark") ? found.at("mark") : 0, p == 0 ? 1 : 0);
  }
  std::string error;
  const auto whole = classesOf(tabDocumentSvg(document, pages), error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(whole.at("page"), static_cast<int>(pages.size()));
  EXPECT_EQ(whole.count("mark"), 0u);  // a file marks nothing
}

TEST(TabSvgRenderTest, ATwoHandPageShowsItsBassLettersUnderTheStaff) {
  // The waltz with a bass-chord-chord on every beat of its bars, and a fourth-row button.
  TabDocument document{"Two hands", "G-C-F-B", Meter{3, 2, 2, 96}, 96, waltz()};
  const int events = static_cast<int>(document.buttonLines.size());
  bool pushed = false;  // the way the treble's chord before goes: the bass goes with it
  for (int event = 1, beat = 0; event <= events; ++event) {
    const std::string& line = document.buttonLines[std::size_t(event - 1)];
    if (!isRestMarker(line)) pushed = bellowsOf(line) == Bellows::Push;
    if (event >= 3 && event % 2 == 1)
      document.bass.push_back({event, beat++ % 3 == 0 ? "A" : "a", pushed});
  }
  document.trebleBeside = {{3, Hand::Treble, {false, 4, 8}}};
  const auto pages = layoutTablature(document);
  std::string error;
  const auto found = classesOf(tabPageSvg(document, pages, 0), error);
  ASSERT_EQ(error, "");
  int letters = 0;
  for (const TabSystem& system : pages[0].systems) letters += static_cast<int>(system.letters.size());
  EXPECT_EQ(letters, static_cast<int>(document.bass.size()));
  EXPECT_EQ(found.count("bass") ? found.at("bass") : 0, letters);
  EXPECT_EQ(found.count("double-cross") ? found.at("double-cross") : 0, 1);
  const double scale = 4;
  const QImage image = render(tabPageSvg(document, pages, 0), {}, scale);
  const std::filesystem::path dir = TASTRELLO_LOOK;
  std::filesystem::create_directories(dir);
  ASSERT_TRUE(image.save(QString::fromStdString((dir / "two-hands.png").string())));
  // Ink where each letter stands, and none in the gap between the letters and the staff's
  // bottom line, left of the first letter.
  const TabGeometry g;
  const auto dark = [&](double x0, double y0, double x1, double y1) {
    int n = 0;
    for (int y = int(y0 * scale); y < int(y1 * scale); ++y)
      for (int x = int(x0 * scale); x < int(x1 * scale); ++x) n += qGray(image.pixel(x, y)) < 100;
    return n;
  };
  for (const TabSystem& system : pages[0].systems)
    for (const TabLetter& letter : system.letters) {
      const double base = system.top + system.letterY, size = g.letterSize();
      EXPECT_GT(dark(letter.x - 0.3 * size, base - 0.7 * size, letter.x + 0.3 * size, base), 10)
          << letter.text << " of event " << letter.event;
    }
}

TEST(TabPdfTest, EveryPageOfTheLayoutOnTheChosenPaper) {
  namespace fs = std::filesystem;
  TabDocument document{"Song", "G-C-F", Meter{}, 0, song()};
  document.buttonLines.resize(200, "00/33/");  // and tall chords to the limit: two pages
  const auto expected = static_cast<int>(layoutTablature(document).size());
  ASSERT_GT(expected, 1);
  const fs::path dir = fs::temp_directory_path() / ("tastrello-tabpdf-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  for (const bool letter : {false, true}) {
    int pages = 0;
    const fs::path path = dir / (letter ? "letter.pdf" : "a4.pdf");
    ASSERT_EQ(writeTabPdf(path.string(), document, letter, pages), "");
    EXPECT_EQ(pages, expected);
    std::ifstream in(path, std::ios::binary);
    const std::string pdf(std::istreambuf_iterator<char>(in), {});
    int found = 0;
    for (auto at = pdf.find("/Type /Page\n"); at != std::string::npos; at = pdf.find("/Type /Page\n", at + 1)) ++found;
    EXPECT_EQ(found, expected);
    EXPECT_NE(pdf.find(letter ? "/MediaBox [0 0 612" : "/MediaBox [0 0 595"), std::string::npos);
  }
  // A folder that is not there: the reason, and no file.
  int pages = 0;
  EXPECT_NE(writeTabSvg((dir / "none" / "x.svg").string(), document, pages), "");
  EXPECT_FALSE(fs::exists(dir / "none"));
  fs::remove_all(dir);
}

TEST(TabConvertTest, TheConverterPrintsTheBassBesideTheRecordAndNamesItsDamagedLines) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tastrello-tabhands-" + std::to_string(::getpid()));
  writeWaltzRecord(dir);
  std::ofstream(dir / "Records/hands_records_waltz.TXT", std::ios::binary)
      << "INSTRUMENT;file=Instrument_G-C-F_12-Bass.txt\r\n"
         "BASS;event=3;row=1;number=5;bellows=push\r\n"
         "BASS;event=4;row=1;number=6;bellows=push\r\n"
         "BASS;event=5;row=1;number=6;bellows=sideways\r\n";
  const auto run = [&](const std::string& out, std::string& said) {
    return convertWaltz(dir, out, said);
  };
  const auto fileOf = [&](const std::string& name) { return fileBytes(dir / name); };
  std::string said;
  ASSERT_EQ(run("w.svg", said), 0) << said;
  EXPECT_NE(said.find("hands_records_waltz.TXT: line 4: a line that cannot be read"), std::string::npos)
      << said;
  std::string error;
  const auto found = classesOf(fileOf("w.svg"), error);
  EXPECT_EQ(error, "");
  EXPECT_EQ(found.count("bass") ? found.at("bass") : 0, 2);
  // The G-C-F 12-bass side's letters of the outer row's fifth and sixth buttons.
  EXPECT_NE(fileOf("w.svg").find("data-events=\"3\" data-bellows=\"push\""), std::string::npos);
  EXPECT_NE(fileOf("w.svg").find(">A</text>"), std::string::npos);
  EXPECT_NE(fileOf("w.svg").find(">a</text>"), std::string::npos);
  ASSERT_EQ(run("w.musicxml", said), 0) << said;
  EXPECT_NE(fileOf("w.musicxml").find("<staff>2</staff>"), std::string::npos);
  // An instrument that is not there: said, and the record written as it is.
  std::ofstream(dir / "Records/hands_records_waltz.TXT", std::ios::binary)
      << "INSTRUMENT;file=Instrument_Nowhere.txt\r\nBASS;event=3;row=1;number=5;bellows=push\r\n";
  ASSERT_EQ(run("w.svg", said), 0) << said;
  EXPECT_NE(said.find("instrument Instrument_Nowhere.txt cannot be read"), std::string::npos) << said;
  EXPECT_EQ(fileOf("w.svg").find("class=\"bass\""), std::string::npos);
  fs::remove_all(dir);
}

TEST(TabConvertTest, TheConverterPrintsTheMeterFileBesideTheRecord) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("tastrello-tabconvert-" + std::to_string(::getpid()));
  writeWaltzRecord(dir);
  const auto run = [&](const std::string& out, std::string& said) {
    return convertWaltz(dir, out, said);
  };
  const auto svgOf = [&](const std::string& name) { return fileBytes(dir / name); };
  const auto bars = [](const std::string& svg) {
    std::string error;
    const auto found = classesOf(svg, error);
    EXPECT_EQ(error, "");
    return found.count("bar") ? found.at("bar") : 0;
  };
  const auto barsOf = [](const Meter& meter) {
    int n = 0;
    const auto pages = layoutTablature({"", "", meter, 0, waltz()});  // kept while it is read
    for (const auto& system : pages.front().systems) n += static_cast<int>(system.barLines.size());
    return n;
  };
  std::string said;
  // Its name in another letter case is found as the program finds its files.
  std::ofstream(dir / "Records/METER_records_waltz.TXT", std::ios::binary)
      << "METER;beats=3;steps=2;pickup=2\r\nTEMPO;bpm=96\r\n";
  ASSERT_EQ(run("w.svg", said), 0) << said;
  EXPECT_NE(said.find("tuning G-C-F, 3/4"), std::string::npos) << said;
  const std::string svg = svgOf("w.svg");
  EXPECT_NE(svg.find(">= 96</text>"), std::string::npos);
  EXPECT_NE(svg.find(">3</text>"), std::string::npos);
  EXPECT_EQ(bars(svg), barsOf(Meter{3, 2, 2, 96}));
  // A meter file it cannot read is named, and the record printed as without one.
  std::ofstream(dir / "Records/METER_records_waltz.TXT", std::ios::binary) << "METER;beats=3;steps=5;pickup=0\r\n";
  ASSERT_EQ(run("w.svg", said), 0) << said;
  EXPECT_NE(said.find("METER_records_waltz.TXT: a METER line that cannot be read"), std::string::npos) << said;
  EXPECT_NE(said.find("4/4"), std::string::npos);
  EXPECT_EQ(bars(svgOf("w.svg")), barsOf(Meter{}));
  fs::remove_all(dir);
}

int main(int argc, char** argv) {
  // Drawing needs fonts, not a screen.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
