// The MusicXML import's XML parser and inflater: pugixml and zlib.
#pragma once

#include "exchange/markup.h"

namespace tastrello {

/// MarkupReader with pugixml (the document's tree) and zlib (raw deflate).
class PugiMarkupReader : public MarkupReader {
 public:
  std::optional<XmlElement> parseXml(std::string_view bytes, std::size_t largestElements,
                                     std::string& problem, UiLanguage language) const override;
  std::optional<std::string> inflate(std::string_view deflated, std::size_t size,
                                     std::string& problem, UiLanguage language) const override;
};

}  // namespace tastrello
