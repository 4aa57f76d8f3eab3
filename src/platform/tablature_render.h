// Showing and printing tablature pages: the logic's SVG (tablature/tab_svg.h) drawn with Qt's
// SVG renderer on the screen and into PDF, and written as it is to SVG files, so that every
// output shows one engraving.
#pragma once

#include <QPainter>
#include <string>
#include <vector>

#include "shell/ui_texts.h"
#include "tablature/tab_layout.h"

namespace tastrello {

/// Draws an SVG document (a page of tabPageSvg) into `target`; false when Qt cannot read it.
bool paintTabSvg(QPainter& painter, const std::string& svg, const QRectF& target);

/// Draws a page in points, at the painter's origin; `currentEvent` (from 1; 0 for none) is
/// marked.
void paintTabPage(QPainter& painter, const TabDocument& document, const std::vector<TabPage>& pages,
                  int page, const TabGeometry& geometry, int currentEvent = 0);

/// Writes every page to a PDF file with writeFileAtomically: `path` is replaced only when the
/// whole file is on the disk, and only a plain file there is replaced (never a link or a
/// device). `letter` chooses US Letter paper, otherwise A4; the pages fit both. Returns "" or
/// what went wrong (in `language`), and how many pages were written.
std::string writeTabPdf(const std::string& path, const TabDocument& document, bool letter,
                        int& pageCount, UiLanguage language = UiLanguage::English);
/// Writes the pages one under the other into one SVG file, the same way.
std::string writeTabSvg(const std::string& path, const TabDocument& document, int& pageCount,
                        UiLanguage language = UiLanguage::English);

/// Letter paper where the system measures in inches (the United States), A4 elsewhere.
bool letterPaperHere();

}  // namespace tastrello
