#include "platform/markup_reader.h"

#include <zlib.h>

#include <pugixml.hpp>

namespace tastrello {

namespace {

enum class Copied { Whole, TooMany, TooDeep };

/// Copies pugixml's tree into plain elements, counting them against the limit. The tree is
/// walked without recursion; the plain elements are freed recursively, so their nesting is
/// bounded too (a score nests less than ten deep).
Copied copyTree(const pugi::xml_node& root, XmlElement& out, std::size_t largest) {
  struct Pending {
    pugi::xml_node from;
    XmlElement* to;
    int depth;
  };
  std::vector<Pending> pending{{root, &out, 1}};
  std::size_t count = 0;
  while (!pending.empty()) {
    const Pending p = pending.back();
    pending.pop_back();
    if (++count > largest) return Copied::TooMany;
    if (p.depth > kDeepestXml) return Copied::TooDeep;
    p.to->name = p.from.name();
    for (const auto& a : p.from.attributes()) p.to->attributes.emplace_back(a.name(), a.value());
    std::size_t elements = 0;
    for (const auto& c : p.from.children()) {
      if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
        p.to->text += c.value();
      else if (c.type() == pugi::node_element)
        ++elements;
    }
    p.to->children.resize(elements);
    std::size_t i = 0;
    for (const auto& c : p.from.children())
      if (c.type() == pugi::node_element)
        pending.push_back({c, &p.to->children[i++], p.depth + 1});
  }
  return Copied::Whole;
}

}  // namespace

std::optional<XmlElement> PugiMarkupReader::parseXml(std::string_view bytes,
                                                     std::size_t largestElements,
                                                     std::string& problem,
                                                     UiLanguage language) const {
  pugi::xml_document document;
  // Entities of a DOCTYPE are neither expanded nor fetched: pugixml reads none.
  const pugi::xml_parse_result parsed =
      document.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_auto);
  if (!parsed) {
    // pugixml says what it found in English; the frame around it is the learner's.
    problem = uiText(language, Text::WhyXmlMalformed,
                     {parsed.description(), std::to_string(parsed.offset)});
    return std::nullopt;
  }
  const pugi::xml_node root = document.document_element();
  if (!root) {
    problem = uiText(language, Text::WhyXmlEmpty);
    return std::nullopt;
  }
  XmlElement out;
  switch (copyTree(root, out, largestElements)) {
    case Copied::Whole:
      return out;
    case Copied::TooMany:
      problem = uiText(language, Text::WhyXmlTooMany, {std::to_string(largestElements)});
      break;
    case Copied::TooDeep:
      problem = uiText(language, Text::WhyXmlTooDeep, {std::to_string(kDeepestXml)});
      break;
  }
  return std::nullopt;
}

std::optional<std::string> PugiMarkupReader::inflate(std::string_view deflated, std::size_t size,
                                                     std::string& problem,
                                                     UiLanguage language) const {
  std::string out(size, '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) {
    problem = uiText(language, Text::WhyInflateStart);
    return std::nullopt;
  }
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
  stream.avail_in = static_cast<uInt>(deflated.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(size);
  // One byte more room than declared would be needed for a member longer than it says.
  const int result = ::inflate(&stream, Z_FINISH);
  const bool whole = result == Z_STREAM_END && stream.total_out == size;
  inflateEnd(&stream);
  if (!whole) {
    problem = uiText(language,
                     result == Z_DATA_ERROR ? Text::WhyInflateDamaged : Text::WhyInflateSize);
    return std::nullopt;
  }
  return out;
}

}  // namespace tastrello
