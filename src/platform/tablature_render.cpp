#include "platform/tablature_render.h"

#include <QBuffer>
#include <QLocale>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>

#include "platform/disk_files.h"
#include "shell/text.h"

namespace tastrello {

namespace {

QString toQt(const std::string& bytes) {
  return QString::fromStdString(cp1252ToUtf8(bytes));
}

void drawStaff(QPainter& p, const TabGeometry& g, double top) {
  p.setPen(QPen(Qt::black, 0.6));
  for (int line = 0; line < 5; ++line) {
    const double y = top + line * g.lineGap;
    p.drawLine(QPointF(g.margin, y), QPointF(g.width - g.margin, y));
  }
  p.drawLine(QPointF(g.margin, top), QPointF(g.margin, top + 4 * g.lineGap));
  p.drawLine(QPointF(g.width - g.margin, top), QPointF(g.width - g.margin, top + 4 * g.lineGap));
}

void drawNote(QPainter& p, const TabGeometry& g, double top, double x, const TabNote& note) {
  const double cx = x + g.column / 2, cy = g.stepY(top, note.step);
  const double rx = g.lineGap * 0.62, ry = g.lineGap * 0.46;
  // Ledger lines below and above the staff, up to the note.
  p.setPen(QPen(Qt::black, 0.6));
  for (int step = -2; step >= note.step - (note.step % 2 == 0 ? 0 : 1) && step < 0; step -= 2)
    p.drawLine(QPointF(cx - rx * 1.8, g.stepY(top, step)),
               QPointF(cx + rx * 1.8, g.stepY(top, step)));
  for (int step = 10; step <= note.step; step += 2)
    p.drawLine(QPointF(cx - rx * 1.8, g.stepY(top, step)),
               QPointF(cx + rx * 1.8, g.stepY(top, step)));
  if (note.cross) {
    p.setPen(QPen(Qt::black, 1.3));
    p.drawLine(QPointF(cx - rx, cy - ry), QPointF(cx + rx, cy + ry));
    p.drawLine(QPointF(cx - rx, cy + ry), QPointF(cx + rx, cy - ry));
  } else {
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(cx, cy), rx, ry);
  }
}

void drawRest(QPainter& p, const TabGeometry& g, double top, const TabEvent& event) {
  const double cx = event.x + g.column / 2, mid = g.stepY(top, 4);
  p.setPen(QPen(Qt::black, 1.1));
  p.setBrush(Qt::black);
  if (event.rest == TabRest::Silent) {
    p.drawRect(
        QRectF(cx - g.lineGap * 0.6, mid - g.lineGap * 0.5, g.lineGap * 1.2, g.lineGap * 0.5));
  } else {
    // Hold: the chord rings on (an arc over a dot).
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(cx - g.lineGap, mid - g.lineGap, 2 * g.lineGap, 1.6 * g.lineGap), 0, 180 * 16);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(cx, mid - g.lineGap * 0.1), 1.0, 1.0);
  }
}

std::string pageText(int page, int count) {
  return std::to_string(page + 1) + " / " + std::to_string(count);
}

}  // namespace

void paintTabPage(QPainter& p, const TabDocument& document, const std::vector<TabPage>& pages,
                  int page, const TabGeometry& g, int currentEvent) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRectF(0, 0, g.width, g.height), Qt::white);
  QFont font("DejaVu Sans");
  font.setPointSizeF(14);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(QRectF(g.margin, g.margin, g.width - 2 * g.margin, 20), Qt::AlignLeft | Qt::AlignTop,
             toQt(document.title));
  font.setPointSizeF(9);
  font.setBold(false);
  p.setFont(font);
  p.drawText(QRectF(g.margin, g.margin + 22, g.width - 2 * g.margin, 14),
             Qt::AlignLeft | Qt::AlignTop,
             QStringLiteral("Griffschrift · ") + toQt(document.tuning));
  p.drawText(QRectF(g.margin, g.height - g.margin - 12, g.width - 2 * g.margin, 12),
             Qt::AlignHCenter | Qt::AlignBottom,
             QString::fromStdString(pageText(page, static_cast<int>(pages.size()))));
  if (page < 0 || page >= static_cast<int>(pages.size())) {
    p.restore();
    return;
  }
  for (const TabSystem& system : pages[page].systems) {
    drawStaff(p, g, system.top);
    for (const TabEvent& event : system.events) {
      if (event.number == currentEvent) {
        p.fillRect(
            QRectF(event.x, g.stepY(system.top, TabGeometry::kHighestStep) - g.lineGap, g.column,
                   (TabGeometry::kHighestStep - TabGeometry::kLowestStep + 4) * g.lineGap / 2),
            QColor(255, 214, 150));
        drawStaff(p, g, system.top);
      }
      for (const TabNote& note : event.notes) drawNote(p, g, system.top, event.x, note);
      if (event.rest != TabRest::None) drawRest(p, g, system.top, event);
      if (event.bellows == Bellows::Both) {
        p.setPen(QColor(170, 0, 0));
        p.drawText(QRectF(event.x, system.top - 4 * g.lineGap, g.column, g.lineGap * 2),
                   Qt::AlignCenter, QStringLiteral("!"));
      }
    }
    // Push: a bar under the staff, below the lowest notes.
    const double barY = g.stepY(system.top, TabGeometry::kLowestStep) + g.lineGap * 1.2;
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    for (const auto& [from, to] : system.pushBars)
      p.drawRect(QRectF(from + 2, barY, to - from - 4, g.lineGap * 0.45));
  }
  p.restore();
}

bool letterPaperHere() {
  return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
}

namespace {

/// Lays the document out, has `draw` write its pages into memory and writes them to `path`
/// with the one file writer: the file is replaced only when complete and on the disk.
/// `draw` returns false when its painter failed.
template <typename Draw>
std::string writeTabFile(const std::string& path, const TabDocument& document, int& pageCount,
                         UiLanguage language, Draw&& draw) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const TabGeometry g;
  const auto pages = layoutTablature(document.buttonLines, g);
  if (!draw(buffer, g, pages)) return uiText(language, Text::WhyDrawn);
  buffer.close();
  const WriteResult written = writeFileAtomically(
      path, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  if (!written.ok()) return written.text(language);
  pageCount = static_cast<int>(pages.size());
  return {};
}

}  // namespace

std::string writeTabPdf(const std::string& path, const TabDocument& document, bool letter,
                        int& pageCount, UiLanguage language) {
  return writeTabFile(
      path, document, pageCount, language,
      [&](QIODevice& file, const TabGeometry& g, const std::vector<TabPage>& pages) {
        QPdfWriter pdf(&file);
        pdf.setPageSize(QPageSize(letter ? QPageSize::Letter : QPageSize::A4));
        pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
        pdf.setResolution(72);  // one device unit is one point
        pdf.setTitle(toQt(document.title));
        pdf.setCreator(QStringLiteral("Tastrello"));
        QPainter painter(&pdf);
        const QSizeF paper = pdf.pageLayout().fullRect(QPageLayout::Point).size();
        for (int page = 0; page < static_cast<int>(pages.size()); ++page) {
          if (page > 0) pdf.newPage();
          painter.save();
          painter.translate((paper.width() - g.width) / 2, (paper.height() - g.height) / 2);
          paintTabPage(painter, document, pages, page, g);
          painter.restore();
        }
        return painter.end();
      });
}

std::string writeTabSvg(const std::string& path, const TabDocument& document, int& pageCount,
                        UiLanguage language) {
  return writeTabFile(
      path, document, pageCount, language,
      [&](QIODevice& file, const TabGeometry& g, const std::vector<TabPage>& pages) {
        const double gap = 12;  // between the pages, one under the other
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        const QSizeF size(g.width, static_cast<double>(pages.size()) * (g.height + gap) - gap);
        svg.setSize(size.toSize());
        svg.setViewBox(QRectF(QPointF(0, 0), size));
        svg.setResolution(72);
        svg.setTitle(toQt(document.title));
        QPainter painter(&svg);
        for (int page = 0; page < static_cast<int>(pages.size()); ++page) {
          painter.save();
          painter.translate(0, page * (g.height + gap));
          paintTabPage(painter, document, pages, page, g);
          painter.restore();
        }
        return painter.end();
      });
}

}  // namespace tastrello
