// The engraved pages as SVG text: one engraving for the screen, the PDF, the SVG file, the
// converter and the web edition. The glyphs are paths and simple shapes (no music font to
// ship); the texts (title, tuning, tempo, meter, bar and page numbers) are text in a common
// font. Each chord and rest is a group of class "chord" or "rest" with its events
// (data-events="5-7") and its value (data-value="4." for a dotted quarter), so that a front
// end can find and mark them. Pure functions; numbers are written without the C locale.
#pragma once

#include <string>
#include <vector>

#include "tablature/tab_layout.h"

namespace tastrello {

/// One page as a standalone SVG document (UTF-8), in points; the item that shows `marked` (an
/// event from 1; 0 for none) is shaded.
std::string tabPageSvg(const TabDocument& document, const std::vector<TabPage>& pages, int page,
                       const TabGeometry& geometry = {}, int marked = 0);

/// Every page, one under the other `kTabPageGap` points apart, in one SVG document.
std::string tabDocumentSvg(const TabDocument& document, const std::vector<TabPage>& pages,
                           const TabGeometry& geometry = {});
constexpr double kTabPageGap = 12;

/// A number as SVG writes it: at most two decimals, a point, no exponent, no trailing zeros.
std::string svgNumber(double value);

}  // namespace tastrello
