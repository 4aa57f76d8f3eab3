// XML documents and zip archives as the MusicXML import needs them: the parsing itself is a
// library's (behind MarkupReader), the tree it gives is plain data, and the zip container
// (.mxl) is taken apart here, with its members inflated by the reader. Standard library only.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shell/ui_texts.h"

namespace tastrello {

/// An element of an XML document: its name, attributes, the text directly inside it, and the
/// elements inside it, in document order.
struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  std::vector<XmlElement> children;

  /// The first child of that name; nothing when there is none.
  const XmlElement* child(std::string_view childName) const;
  /// The text of the first child of that name ("" when there is none).
  std::string childText(std::string_view childName) const;
  /// The attribute's value ("" when it has none).
  std::string attribute(std::string_view attributeName) const;
};

/// How deep elements may nest in a document read (a score nests less than ten deep).
constexpr int kDeepestXml = 100;

/// Parses XML and inflates compressed data for the MusicXML import.
/// Real implementation: PugiMarkupReader (platform/markup_reader.h: pugixml and zlib). A web
/// edition may answer with the browser's DOMParser and DecompressionStream.
class MarkupReader {
 public:
  virtual ~MarkupReader() = default;
  /// The document's root element; nothing, with `problem` worded in `language`, when the
  /// bytes are no well-formed XML, hold more than `largestElements` elements or nest them
  /// deeper than kDeepestXml.
  virtual std::optional<XmlElement> parseXml(std::string_view bytes, std::size_t largestElements,
                                             std::string& problem,
                                             UiLanguage language) const = 0;
  /// Raw deflate data (a zip member of method 8) inflated; nothing, with `problem` worded in
  /// `language`, unless it inflates to exactly `size` bytes.
  virtual std::optional<std::string> inflate(std::string_view deflated, std::size_t size,
                                             std::string& problem, UiLanguage language) const = 0;
};

/// The members of a zip archive by name, read through its central directory; nothing, with
/// `problem`, for what is no zip archive this can read (no end record, a damaged directory,
/// encryption, zip64, a member larger than `largestMember`).
struct ZipMember {
  std::string name;
  int method = 0;          ///< 0 stored, 8 deflated
  std::size_t offset = 0;  ///< of its data in the archive
  std::size_t compressedSize = 0;
  std::size_t size = 0;
};
std::optional<std::vector<ZipMember>> zipMembers(std::string_view archive,
                                                 std::size_t largestMember, std::string& problem,
                                                 UiLanguage language = UiLanguage::English);

/// A member's bytes; nothing, with `problem`, when it cannot be read or inflated.
std::optional<std::string> zipMemberBytes(std::string_view archive, const ZipMember& member,
                                          const MarkupReader& reader, std::string& problem,
                                          UiLanguage language = UiLanguage::English);

}  // namespace tastrello
