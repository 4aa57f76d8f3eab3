#include "exchange/markup.h"

#include <cstdint>

namespace tastrello {

namespace {

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kLongestComment = 0xFFFF;
constexpr std::size_t kMostMembers = 4096;

/// A little-endian number of `n` bytes at `at`, or nothing past the end.
std::optional<std::uint32_t> littleEndian(std::string_view b, std::size_t at, int n) {
  if (at > b.size() || b.size() - at < std::size_t(n)) return std::nullopt;
  std::uint32_t v = 0;
  for (int i = n - 1; i >= 0; --i)
    v = (v << 8) | static_cast<unsigned char>(b[at + std::size_t(i)]);
  return v;
}

}  // namespace

const XmlElement* XmlElement::child(std::string_view childName) const {
  for (const auto& c : children)
    if (c.name == childName) return &c;
  return nullptr;
}

std::string XmlElement::childText(std::string_view childName) const {
  const XmlElement* c = child(childName);
  return c ? c->text : std::string();
}

std::string XmlElement::attribute(std::string_view attributeName) const {
  for (const auto& [key, value] : attributes)
    if (key == attributeName) return value;
  return {};
}

namespace {

/// The archive's directory as its end record gives it: where it lies and how many members it
/// has; nothing (with `why`) when there is no end record or it points outside.
struct ZipDirectory {
  std::size_t at = 0;
  std::uint32_t count = 0;
};

std::optional<ZipDirectory> directoryOf(std::string_view archive, Text& why, std::string& argument) {
  // The end record lies within the last 22 bytes plus the longest comment.
  if (archive.size() < kEndRecordSize) {
    why = Text::WhyNotZip;
    return std::nullopt;
  }
  std::size_t end = archive.size() - kEndRecordSize;
  const std::size_t lowest = archive.size() > kEndRecordSize + kLongestComment ? end - kLongestComment : 0;
  for (;; --end) {
    if (littleEndian(archive, end, 4) == kEndOfDirectory) break;
    if (end == lowest) {
      why = Text::WhyZipNoEnd;
      return std::nullopt;
    }
  }
  const auto count = littleEndian(archive, end + 10, 2);
  const auto directorySize = littleEndian(archive, end + 12, 4);
  const auto directoryAt = littleEndian(archive, end + 16, 4);
  if (!count || !directorySize || !directoryAt || *directoryAt == 0xFFFFFFFF || *count == 0xFFFF) {
    why = Text::WhyZip64;
    return std::nullopt;
  }
  if (*directoryAt > end || end - *directoryAt < *directorySize) {
    why = Text::WhyZipDirectory;
    return std::nullopt;
  }
  if (*count > kMostMembers) {
    why = Text::WhyZipTooMany;
    argument = std::to_string(kMostMembers);
    return std::nullopt;
  }
  return ZipDirectory{*directoryAt, *count};
}

/// The directory entry at `at` (moved past it) and where its data lies; nothing (with `why`
/// and the member's name) when it is damaged, encrypted, too large or reaches outside.
std::optional<ZipMember> memberAt(std::string_view archive, std::size_t& at, std::size_t largestMember, Text& why,
                                  std::string& name) {
  const auto signature = littleEndian(archive, at, 4);
  const auto flags = littleEndian(archive, at + 8, 2);
  const auto method = littleEndian(archive, at + 10, 2);
  const auto compressed = littleEndian(archive, at + 20, 4);
  const auto size = littleEndian(archive, at + 24, 4);
  const auto nameLength = littleEndian(archive, at + 28, 2);
  const auto extraLength = littleEndian(archive, at + 30, 2);
  const auto commentLength = littleEndian(archive, at + 32, 2);
  const auto local = littleEndian(archive, at + 42, 4);
  if (signature != kDirectoryEntry || !flags || !method || !compressed || !size || !nameLength || !extraLength ||
      !commentLength || !local || at + 46 > archive.size() || archive.size() - at - 46 < *nameLength) {
    why = Text::WhyZipDirectory;
    return std::nullopt;
  }
  ZipMember member;
  member.name = name = std::string(archive.substr(at + 46, *nameLength));
  at += 46 + std::size_t(*nameLength) + *extraLength + *commentLength;
  if (*flags & 1) {
    why = Text::WhyZipEncrypted;
    return std::nullopt;
  }
  if (*size > largestMember) {
    why = Text::WhyZipTooLarge;
    return std::nullopt;
  }
  // The data follows the member's local header, whose name and extra field may differ.
  const auto localName = littleEndian(archive, std::size_t(*local) + 26, 2);
  const auto localExtra = littleEndian(archive, std::size_t(*local) + 28, 2);
  if (littleEndian(archive, *local, 4) != kLocalHeader || !localName || !localExtra) {
    why = Text::WhyZipEntry;
    return std::nullopt;
  }
  member.method = static_cast<int>(*method);
  member.offset = std::size_t(*local) + 30 + *localName + *localExtra;
  member.compressedSize = *compressed;
  member.size = *size;
  if (member.offset > archive.size() || archive.size() - member.offset < member.compressedSize) {
    why = Text::WhyZipEntryLong;
    return std::nullopt;
  }
  return member;
}

}  // namespace

std::optional<std::vector<ZipMember>> zipMembers(std::string_view archive, std::size_t largestMember,
                                                 std::string& problem, UiLanguage language) {
  Text why = Text::WhyNotZip;
  std::string argument;
  const auto directory = directoryOf(archive, why, argument);
  if (!directory) {
    problem = argument.empty() ? uiText(language, why) : uiText(language, why, {argument});
    return std::nullopt;
  }
  std::vector<ZipMember> members;
  std::size_t at = directory->at;
  for (std::uint32_t i = 0; i < directory->count; ++i) {
    std::string name;
    auto member = memberAt(archive, at, largestMember, why, name);
    if (!member) {
      if (why == Text::WhyZipDirectory)
        problem = uiText(language, why);
      else if (why == Text::WhyZipTooLarge)
        problem = uiText(language, why, {name, std::to_string(largestMember >> 20)});
      else
        problem = uiText(language, why, {name});
      return std::nullopt;
    }
    members.push_back(std::move(*member));
  }
  return members;
}

std::optional<std::string> zipMemberBytes(std::string_view archive, const ZipMember& member,
                                          const MarkupReader& reader, std::string& problem,
                                          UiLanguage language) {
  if (member.offset > archive.size() || archive.size() - member.offset < member.compressedSize) {
    problem = uiText(language, Text::WhyZipEntryLong, {member.name});
    return std::nullopt;
  }
  const std::string_view data = archive.substr(member.offset, member.compressedSize);
  if (member.method == 0) {
    if (member.size != member.compressedSize) {
      problem = uiText(language, Text::WhyZipTwoSizes, {member.name});
      return std::nullopt;
    }
    return std::string(data);
  }
  if (member.method != 8) {
    problem = uiText(language, Text::WhyZipMethod, {member.name, std::to_string(member.method)});
    return std::nullopt;
  }
  std::string why;
  auto bytes = reader.inflate(data, member.size, why, language);
  if (!bytes) problem = member.name + ": " + why;
  return bytes;
}

}  // namespace tastrello
