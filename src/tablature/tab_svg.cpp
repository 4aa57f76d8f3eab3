#include "tablature/tab_svg.h"

#include <algorithm>
#include <cmath>

#include "shell/text.h"

namespace tastrello {

std::string svgNumber(double value) {
  if (!std::isfinite(value)) return "0";
  const long long hundredths = std::llround(value * 100);
  const unsigned long long magnitude =
      hundredths < 0 ? 0ull - static_cast<unsigned long long>(hundredths)
                     : static_cast<unsigned long long>(hundredths);
  std::string out = (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100);
  const unsigned long long fraction = magnitude % 100;
  if (fraction != 0) {
    out += '.';
    out += static_cast<char>('0' + fraction / 10);
    if (fraction % 10 != 0) out += static_cast<char>('0' + fraction % 10);
  }
  return out;
}

namespace {

const char* const kSans = "DejaVu Sans, Liberation Sans, Arial, sans-serif";
const char* const kSerif = "DejaVu Serif, Liberation Serif, Times New Roman, serif";
constexpr double kPi = 3.14159265358979323846;

/// Text for XML: Windows-1252 made UTF-8, the five special characters escaped, control
/// characters (which XML 1.0 cannot hold) made spaces.
std::string xmlText(const std::string& bytes) {
  std::string out;
  for (char c : cp1252ToUtf8(bytes)) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
  }
  return out;
}

std::string valueName(const RhythmItem& r) {
  return std::to_string(r.barRest ? 0 : r.value.base) + (r.value.dotted ? "." : "");
}

class SvgPage {
 public:
  SvgPage(const TabDocument& document, const TabGeometry& g) : doc_(document), g_(g) {}

  std::string out;

  void page(const std::vector<TabPage>& pages, int index, int marked) {
    const TabPage& p = pages[static_cast<std::size_t>(index)];
    out += "<rect class=\"paper\" width=\"" + n(g_.width) + "\" height=\"" + n(g_.height) +
           "\" fill=\"#fff\"/>\n";
    if (p.head) head(p);
    footer(index, static_cast<int>(pages.size()));
    if (const auto mark = tabMarkOf(pages, index, marked, g_))
      out += "<rect class=\"mark\" x=\"" + n(mark->x) + "\" y=\"" + n(mark->y) +
             "\" width=\"" + n(mark->width) + "\" height=\"" + n(mark->height) +
             "\" fill=\"#ffd696\"/>\n";
    for (const TabSystem& system : p.systems) staff(system);
  }

 private:
  const TabDocument& doc_;
  const TabGeometry& g_;

  static std::string n(double v) { return svgNumber(v); }
  std::string pt(double x, double y) const { return n(x) + "," + n(y); }

  void text(const std::string& cls, double x, double y, double size, const std::string& body,
            const std::string& extra) {
    out += "<text class=\"" + cls + "\" x=\"" + n(x) + "\" y=\"" + n(y) + "\" font-size=\"" +
           n(size) + "\" " + extra + ">" + body + "</text>\n";
  }

  void head(const TabPage& p) {
    text("title", g_.width / 2, g_.titleBaseline(), g_.titleSize, xmlText(doc_.title),
         std::string("font-family=\"") + kSans + "\" font-weight=\"bold\" text-anchor=\"middle\"");
    text("tuning", g_.marginX, g_.subtitleBaseline(), g_.textSize,
         xmlText(doc_.heading) + " \xC2\xB7 " + xmlText(doc_.tuning),
         std::string("font-family=\"") + kSans + "\"");
    if (doc_.tempo <= 0) return;
    // A quarter note, then "= 96".
    const double s = g_.space * 0.8, x = p.tempoX + s, y = p.tempoY - 0.45 * s;
    out += "<g class=\"tempo\">";
    ellipse(x, y, 0.59 * s, 0.42 * s, -20);
    line(x + 0.53 * s, y, x + 0.53 * s, y - 3.2 * s, 0.12 * s);
    out += "</g>\n";
    text("tempo", x + 1.2 * s, p.tempoY, g_.textSize + 1, "= " + std::to_string(doc_.tempo),
         std::string("font-family=\"") + kSans + "\"");
  }

  void footer(int index, int count) {
    const std::string font = std::string("font-family=\"") + kSans + "\"";
    text("page-number", g_.width / 2, g_.footerBaseline(), g_.textSize,
         std::to_string(index + 1) + " / " + std::to_string(count),
         font + " text-anchor=\"middle\"");
    if (index > 0)
      text("running-title", g_.marginX, g_.footerBaseline(), g_.textSize - 1, xmlText(doc_.title),
           font + " font-style=\"italic\"");
  }

  void staff(const TabSystem& system) {
    const double s = g_.space;
    out += "<g class=\"staff\" transform=\"translate(0," + n(system.top) + ")\">\n";
    out += "<path class=\"lines\" stroke=\"#000\" stroke-width=\"" + n(0.11 * s) + "\" d=\"";
    for (int k = 0; k < 5; ++k)
      out += "M" + pt(system.left, k * s) + "H" + n(system.right);
    out += "\"/>\n";
    for (const TabBarLine& bar : system.barLines) barLine(bar);
    if (system.showsMeter) meter(system.meterX);
    if (system.showsBarNumber)
      text("bar-number", system.left, -1.4 * s, g_.textSize - 1, std::to_string(system.firstBar),
           std::string("font-family=\"") + kSans + "\" font-style=\"italic\"");
    for (const TabItem& item : system.items) this->item(item);
    for (const TabLine& beam : system.beams) {
      const double t = g_.beamThickness() / 2;
      out += "<path class=\"beam\" d=\"M" + pt(beam.x0, beam.y0 - t) + "L" +
             pt(beam.x1, beam.y1 - t) + "L" + pt(beam.x1, beam.y1 + t) + "L" +
             pt(beam.x0, beam.y0 + t) + "Z\"/>\n";
    }
    for (const TabTie& tie : system.ties) this->tie(tie);
    for (const auto& [from, to] : system.pushBars)
      out += "<rect class=\"push\" x=\"" + n(from) + "\" y=\"" + n(system.pushY) + "\" width=\"" +
             n(to - from) + "\" height=\"" + n(g_.pushThickness()) + "\"/>\n";
    for (const TabLetter& letter : system.letters)
      text("bass", letter.x, system.letterY, g_.letterSize(), xmlText(letter.text),
           "data-events=\"" + std::to_string(letter.event) + "\" data-bellows=\"" +
               (letter.push ? "push" : "pull") + "\" font-family=\"" + kSans +
               "\" font-weight=\"bold\" text-anchor=\"middle\"");
    out += "</g>\n";
  }

  void barLine(const TabBarLine& bar) {
    const double s = g_.space;
    if (!bar.final) {
      line(bar.x, 0, bar.x, 4 * s, 0.16 * s, "bar");
      return;
    }
    line(bar.x - 1.0 * s, 0, bar.x - 1.0 * s, 4 * s, 0.16 * s, "bar");
    out += "<rect class=\"final\" x=\"" + n(bar.x - 0.5 * s) + "\" y=\"0\" width=\"" +
           n(0.5 * s) + "\" height=\"" + n(4 * s) + "\"/>\n";
  }

  void meter(double x) {
    const double s = g_.space;
    const std::string font = std::string("font-family=\"") + kSerif +
                             "\" font-weight=\"bold\" text-anchor=\"middle\"";
    const int beats = isValidMeter(doc_.meter) ? doc_.meter.beatsPerBar : 4;  // as laid out
    text("meter", x, 2 * s, 2.75 * s, std::to_string(beats), font);
    text("meter", x, 4 * s, 2.75 * s, "4", font);
  }

  void item(const TabItem& item) {
    const RhythmItem& r = item.rhythm;
    out += "<g class=\"" + std::string(r.rest ? "rest" : "chord") + "\" data-events=\"" +
           std::to_string(r.event) + "-" + std::to_string(r.lastEvent) + "\" data-value=\"" +
           valueName(r) + "\">";
    const double s = g_.space;
    for (const TabLine& l : item.ledgers) line(l.x0, l.y0, l.x1, l.y1, 0.16 * s, "ledger");
    if (r.rest) rest(item);
    double leftmost = item.x;
    for (const TabHead& h : item.heads) leftmost = std::min(leftmost, h.x);
    for (const TabHead& h : item.heads) noteHead(h, r.value.base, leftmost);
    if (item.stem != 0) {
      const TabLine& st = item.stemLine;
      line(st.x0, st.y0, st.x1, st.y1, g_.stemWidth(), "stem");
      for (int k = 0; k < item.flags; ++k)
        flag(st.x1 - g_.stemWidth() / 2, st.y1 + item.stem * k * 0.8 * s, item.stem);
    }
    for (const auto& [x, y] : item.dots)
      out += "<circle class=\"dot\" cx=\"" + n(x) + "\" cy=\"" + n(y) + "\" r=\"" + n(0.22 * s) +
             "\"/>";
    if (item.bellows == Bellows::Both)
      text("mixed", item.x, item.markY, g_.textSize + 2, "!",
           std::string("font-family=\"") + kSans +
               "\" font-weight=\"bold\" fill=\"#b00000\" text-anchor=\"middle\"");
    out += "</g>\n";
  }

  /// A head; an open head of row 3 has its cross before the chord's leftmost head.
  void noteHead(const TabHead& h, int base, double leftmost) {
    const double s = g_.space;
    if (base < 8 && h.note.cross) {
      cross(h.x, h.y, 0.45 * s, "head cross");
      return;
    }
    if (base < 8 && h.note.doubleCross) {
      doubleCross(h.x, h.y, 0.45 * s, "head double-cross");
      return;
    }
    const double before = leftmost - g_.headWidth() / 2 - 0.85 * s;
    if (h.note.cross) cross(before, h.y, 0.35 * s, "row3");
    if (h.note.doubleCross) doubleCross(before, h.y, 0.35 * s, "row4");
    if (base < 8) {
      out += "<ellipse class=\"head\" cx=\"" + n(h.x) + "\" cy=\"" + n(h.y) + "\" rx=\"" +
             n(0.59 * s) + "\" ry=\"" + n(0.42 * s) + "\" transform=\"rotate(-20 " +
             pt(h.x, h.y) + ")\"/>";
      return;
    }
    // Open heads: the ring between two ellipses.
    out += "<path class=\"head open\" fill-rule=\"evenodd\" d=\"";
    if (base == 8) {
      out += ellipsePath(h.x, h.y, 0.6 * s, 0.43 * s, -20) +
             ellipsePath(h.x, h.y, 0.52 * s, 0.2 * s, -32);
    } else {
      out += ellipsePath(h.x, h.y, 0.78 * s, 0.5 * s, 0) +
             ellipsePath(h.x, h.y, 0.4 * s, 0.27 * s, 60);
    }
    out += "\"/>";
  }

  static std::string ellipsePath(double cx, double cy, double rx, double ry, double degrees) {
    const double a = degrees * kPi / 180, dx = rx * std::cos(a), dy = rx * std::sin(a);
    const std::string arc = "A" + n(rx) + "," + n(ry) + " " + n(degrees) + " 1,0 ";
    return "M" + n(cx - dx) + "," + n(cy - dy) + arc + n(cx + dx) + "," + n(cy + dy) + arc +
           n(cx - dx) + "," + n(cy - dy) + "Z";
  }

  void ellipse(double cx, double cy, double rx, double ry, double degrees) {
    out += "<ellipse cx=\"" + n(cx) + "\" cy=\"" + n(cy) + "\" rx=\"" + n(rx) + "\" ry=\"" +
           n(ry) + "\" transform=\"rotate(" + n(degrees) + " " + pt(cx, cy) + ")\"/>";
  }

  void line(double x0, double y0, double x1, double y1, double width,
            const std::string& cls = "") {
    out += "<line" + (cls.empty() ? std::string() : " class=\"" + cls + "\"") + " x1=\"" + n(x0) +
           "\" y1=\"" + n(y0) + "\" x2=\"" + n(x1) + "\" y2=\"" + n(y1) +
           "\" stroke=\"#000\" stroke-width=\"" + n(width) + "\"/>";
  }

  void cross(double x, double y, double r, const std::string& cls) {
    out += "<path class=\"" + cls + "\" stroke=\"#000\" stroke-width=\"" + n(0.17 * g_.space) +
           "\" stroke-linecap=\"round\" fill=\"none\" d=\"M" + pt(x - r, y - r) + "L" +
           pt(x + r, y + r) + "M" + pt(x - r, y + r) + "L" + pt(x + r, y - r) + "\"/>";
  }

  /// The double cross: an X of heavier strokes with a square at each of its ends.
  void doubleCross(double x, double y, double r, const std::string& cls) {
    const double q = 0.3 * r;
    out += "<g class=\"" + cls + "\"><path stroke=\"#000\" stroke-width=\"" +
           n(0.14 * g_.space) + "\" fill=\"none\" d=\"M" + pt(x - r, y - r) + "L" +
           pt(x + r, y + r) + "M" + pt(x - r, y + r) + "L" + pt(x + r, y - r) + "\"/>";
    for (const double dx : {-r, r})
      for (const double dy : {-r, r})
        out += "<rect x=\"" + n(x + dx - q) + "\" y=\"" + n(y + dy - q) + "\" width=\"" +
               n(2 * q) + "\" height=\"" + n(2 * q) + "\"/>";
    out += "</g>";
  }

  /// A flag from the stem's end (x, y): hanging to the right for an up stem, rising for a down
  /// stem.
  void flag(double x, double y, int stem) {
    const double s = g_.space, v = stem > 0 ? s : -s;
    const auto p = [&](double dx, double dy) { return pt(x + dx * s, y + dy * v); };
    out += "<path class=\"flag\" d=\"M" + p(0, 0) + "C" + p(0.15, 0.95) + " " + p(1.35, 1.35) +
           " " + p(0.95, 2.9) + "C" + p(1.15, 1.75) + " " + p(0.45, 1.3) + " " + p(0, 1.15) +
           "Z\"/>";
  }

  void tie(const TabTie& t) {
    if (t.x1 <= t.x0) return;
    const double s = g_.space, sign = t.above ? -1 : 1;
    const double k = (t.x1 - t.x0) * 0.25;
    const double bulge = sign * std::min(0.9 * s, 0.2 * (t.x1 - t.x0) + 0.25 * s);
    const double inner = bulge - sign * 0.16 * s;
    out += "<path class=\"tie\" d=\"M" + pt(t.x0, t.y) + "C" + pt(t.x0 + k, t.y + bulge) + " " +
           pt(t.x1 - k, t.y + bulge) + " " + pt(t.x1, t.y) + "C" + pt(t.x1 - k, t.y + inner) +
           " " + pt(t.x0 + k, t.y + inner) + " " + pt(t.x0, t.y) + "Z\"/>\n";
  }

  void rest(const TabItem& item) {
    const double s = g_.space, x = item.x;
    const auto p = [&](double dx, double dy) { return pt(x + dx * s, 2 * s + dy * s); };
    const int base = item.rhythm.barRest ? 16 : item.rhythm.value.base;
    const std::string cls = "rest-glyph";
    switch (base) {
      case 16:  // hangs from the fourth line
        out += "<rect class=\"" + cls + "\" x=\"" + n(x - 0.6 * s) + "\" y=\"" + n(1 * s) +
               "\" width=\"" + n(1.2 * s) + "\" height=\"" + n(0.5 * s) + "\"/>";
        break;
      case 8:  // sits on the middle line
        out += "<rect class=\"" + cls + "\" x=\"" + n(x - 0.6 * s) + "\" y=\"" + n(1.5 * s) +
               "\" width=\"" + n(1.2 * s) + "\" height=\"" + n(0.5 * s) + "\"/>";
        break;
      case 4:
        out += "<path class=\"" + cls + "\" d=\"M" + p(-0.3, -1.5) + "L" + p(0.42, -0.62) + "Q" +
               p(0.02, -0.2) + " " + p(0.12, 0.2) + "L" + p(0.48, 0.62) + "Q" + p(-0.2, 0.4) +
               " " + p(-0.02, 1.45) + "Q" + p(-0.75, 0.75) + " " + p(-0.05, 0.5) + "L" +
               p(-0.45, 0.02) + "Q" + p(-0.05, -0.35) + " " + p(-0.1, -0.75) + "Z\"/>";
        break;
      default: {  // eighth and sixteenth: hooks on a slanting stem
        const int hooks = base == 1 ? 2 : 1;
        const double low = hooks == 2 ? 1.9 : 1.0;
        out += "<g class=\"" + cls + "\">";
        for (int k = 0; k < hooks; ++k) {
          const double dy = k * 1.0, dx = -k * 0.28;
          out += "<circle cx=\"" + n(x + (dx - 0.3) * s) + "\" cy=\"" + n(2 * s + (dy - 0.45) * s) +
                 "\" r=\"" + n(0.27 * s) + "\"/>";
          out += "<path fill=\"none\" stroke=\"#000\" stroke-width=\"" + n(0.13 * s) + "\" d=\"M" +
                 p(dx - 0.3, dy - 0.3) + "Q" + p(dx + 0.1, dy - 0.1) + " " +
                 p(dx + 0.52, dy - 0.62) + "\"/>";
        }
        line(x + 0.52 * s, 2 * s - 0.62 * s, x - 0.02 * s - (hooks - 1) * 0.3 * s,
             2 * s + low * s, 0.13 * s);
        out += "</g>";
      }
    }
  }
};

std::string svgOpen(const TabGeometry& g, double height, const TabDocument& document) {
  const std::string w = svgNumber(g.width), h = svgNumber(height);
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" + w +
         "pt\" height=\"" + h + "pt\" viewBox=\"0 0 " + w + " " + h + "\">\n<title>" +
         xmlText(document.title) + "</title>\n";
}

}  // namespace

std::string tabPageSvg(const TabDocument& document, const std::vector<TabPage>& pages, int page,
                       const TabGeometry& geometry, int marked) {
  std::string svg = svgOpen(geometry, geometry.height, document);
  if (page >= 0 && page < static_cast<int>(pages.size())) {
    SvgPage writer(document, geometry);
    writer.page(pages, page, marked);
    svg += writer.out;
  }
  return svg + "</svg>\n";
}

std::string tabDocumentSvg(const TabDocument& document, const std::vector<TabPage>& pages,
                           const TabGeometry& geometry) {
  const double count = static_cast<double>(std::max<std::size_t>(1, pages.size()));
  std::string svg =
      svgOpen(geometry, count * (geometry.height + kTabPageGap) - kTabPageGap, document);
  for (int p = 0; p < static_cast<int>(pages.size()); ++p) {
    SvgPage writer(document, geometry);
    writer.page(pages, p, 0);
    svg += "<g class=\"page\" transform=\"translate(0," +
           svgNumber(p * (geometry.height + kTabPageGap)) + ")\">\n" + writer.out + "</g>\n";
  }
  return svg + "</svg>\n";
}

}  // namespace tastrello
