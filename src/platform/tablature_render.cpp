#include "platform/tablature_render.h"

#include <QBuffer>
#include <QLocale>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgRenderer>

#include "platform/disk_files.h"
#include "shell/text.h"
#include "tablature/tab_svg.h"

namespace tastrello {

namespace {

QString toQt(const std::string& bytes) {
  return QString::fromStdString(cp1252ToUtf8(bytes));
}

}  // namespace

bool paintTabSvg(QPainter& painter, const std::string& svg, const QRectF& target) {
  QSvgRenderer renderer(QByteArray::fromStdString(svg));
  if (!renderer.isValid()) return false;
  renderer.render(&painter, target);
  return true;
}

void paintTabPage(QPainter& p, const TabDocument& document, const std::vector<TabPage>& pages,
                  int page, const TabGeometry& g, int currentEvent) {
  paintTabSvg(p, tabPageSvg(document, pages, page, g, currentEvent),
              QRectF(0, 0, g.width, g.height));
}

bool letterPaperHere() {
  return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
}

namespace {

/// Lays the document out, has `draw` write its pages into memory and writes them to `path`
/// with the one file writer: the file is replaced only when complete and on the disk.
/// `draw` returns false when it failed.
template <typename Draw>
std::string writeTabFile(const std::string& path, const TabDocument& document, int& pageCount,
                         UiLanguage language, Draw&& draw) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const TabGeometry g;
  const auto pages = layoutTablature(document, g);
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
        // The page box fits both papers: centred on either.
        const QRectF box(QPointF((paper.width() - g.width) / 2, (paper.height() - g.height) / 2),
                         QSizeF(g.width, g.height));
        bool drawn = true;
        for (int page = 0; page < static_cast<int>(pages.size()); ++page) {
          if (page > 0) pdf.newPage();
          drawn = paintTabSvg(painter, tabPageSvg(document, pages, page, g), box) && drawn;
        }
        return painter.end() && drawn;
      });
}

std::string writeTabSvg(const std::string& path, const TabDocument& document, int& pageCount,
                        UiLanguage language) {
  return writeTabFile(
      path, document, pageCount, language,
      [&](QIODevice& file, const TabGeometry& g, const std::vector<TabPage>& pages) {
        const std::string svg = tabDocumentSvg(document, pages, g);
        return file.write(svg.data(), qint64(svg.size())) == qint64(svg.size());
      });
}

}  // namespace tastrello
