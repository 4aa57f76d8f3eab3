#include "shell/text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace tastrello {

std::vector<std::string> splitLines(std::string_view bytes) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  std::vector<std::string> lines;
  std::string current;
  bool open = false;  // a line has started that no line end has closed yet
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(std::move(current));
      current.clear();
      open = false;
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      current.push_back(c);
      open = true;
    }
  }
  if (open) lines.push_back(std::move(current));
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& line : lines) {
    out += line;
    out += kCrLf;
  }
  return out;
}

std::string mid(std::string_view s, std::size_t start, std::size_t count) {
  if (start < 1 || start > s.size()) return {};
  return std::string(s.substr(start - 1, count));
}

std::string right(std::string_view s, std::size_t count) {
  return std::string(s.size() <= count ? s : s.substr(s.size() - count));
}

std::string left(std::string_view s, std::size_t count) {
  return std::string(s.substr(0, count));
}

std::optional<int> parseInt16(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (s.empty()) return std::nullopt;
  int value = 0;
  auto [end, err] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (err != std::errc() || end != s.data() + s.size()) return std::nullopt;
  if (value < -32768 || value > 32767) return std::nullopt;
  return value;
}

int leadingNumber(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  int value = 0;
  for (char c : s) {
    if (c < '0' || c > '9' || value > 100000) break;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::optional<double> parseDecimal(std::string_view s) {
  const bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  const std::size_t mark = s.find_first_of(".,");
  const std::string_view whole = s.substr(0, mark);
  const std::string_view fraction =
      mark == std::string_view::npos ? std::string_view() : s.substr(mark + 1);
  auto digits = [](std::string_view d) {
    return std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (whole.empty() || whole.size() > 9 || !digits(whole) || fraction.size() > 6 ||
      !digits(fraction) || (mark != std::string_view::npos && fraction.empty()))
    return std::nullopt;
  double value = 0;
  for (char c : whole) value = value * 10 + (c - '0');
  double place = 0.1;
  for (char c : fraction) value += (c - '0') * place, place /= 10;
  return negative ? -value : value;
}

namespace {

// Upper case of a Windows-1252 byte: ASCII letters and the accented letters of the
// Latin-1 range (except the German sharp s, y with diaeresis and the divide sign).
unsigned char upperByte(unsigned char c) {
  if (c >= 'a' && c <= 'z') return c - 32;
  if (c >= 0xE0 && c != 0xF7 && c != 0xFF) return c - 32;
  if (c == 0x9A || c == 0x9C || c == 0x9E) return c - 16;  // š œ ž
  return c;
}

}  // namespace

std::string upper(std::string_view s) {
  std::string out(s);
  for (auto& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

std::string upperLetters(std::string_view s) {
  std::string out(s);
  for (auto& c : out) c = static_cast<char>(upperByte(static_cast<unsigned char>(c)));
  return out;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return upperByte(static_cast<unsigned char>(x)) ==
                  upperByte(static_cast<unsigned char>(y));
         });
}

bool matchesPattern(std::string_view name, std::string_view pattern) {
  // Iterative wildcard match with backtracking to the last star.
  std::size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  auto same = [](char x, char y) {
    return upperByte(static_cast<unsigned char>(x)) == upperByte(static_cast<unsigned char>(y));
  };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || same(pattern[p], name[n]))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

namespace {

// Unicode code points of the Windows-1252 bytes 0x80 to 0x9F (0 where the byte is undefined).
constexpr std::array<char32_t, 32> kHighTable = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::optional<char> cp1252Byte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (std::size_t i = 0; i < kHighTable.size(); ++i) {
    if (kHighTable[i] != 0 && kHighTable[i] == cp) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

}  // namespace

std::string cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    char32_t cp = b;
    if (b >= 0x80 && b <= 0x9F) cp = kHighTable[b - 0x80] ? kHighTable[b - 0x80] : 0xFFFD;
    appendUtf8(out, cp);
  }
  return out;
}

bool showsInk(unsigned char byte) {
  if (byte <= ' ' || byte == 0x7F || byte == 0xA0 || byte == 0xAD) return false;
  return byte < 0x80 || byte > 0x9F || kHighTable[byte - 0x80] != 0;
}

std::optional<std::string> utf8ToCp1252(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t cp;
    std::size_t len;
    if (b < 0x80) {
      cp = b, len = 1;
    } else if ((b & 0xE0) == 0xC0) {
      cp = b & 0x1F, len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      cp = b & 0x0F, len = 3;
    } else if ((b & 0xF8) == 0xF0) {
      cp = b & 0x07, len = 4;
    } else {
      return std::nullopt;
    }
    if (i + len > utf8.size()) return std::nullopt;
    for (std::size_t k = 1; k < len; ++k) {
      const auto c = static_cast<unsigned char>(utf8[i + k]);
      if ((c & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (c & 0x3F);
    }
    auto byte = cp1252Byte(cp);
    if (!byte) return std::nullopt;
    out.push_back(*byte);
    i += len;
  }
  return out;
}

std::string decimalText(double value, int decimals, char mark) {
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const double scaled = value * static_cast<double>(scale);
  if (!std::isfinite(scaled) || std::fabs(scaled) > 9e15) return "-";
  const long long n = std::llround(scaled);
  const unsigned long long magnitude = static_cast<unsigned long long>(n < 0 ? -n : n);
  const auto unit = static_cast<unsigned long long>(scale);
  std::string text = (n < 0 ? "-" : "") + std::to_string(magnitude / unit);
  if (decimals > 0) {
    const std::string fraction = std::to_string(magnitude % unit);
    text +=
        mark + std::string(static_cast<std::size_t>(decimals) - fraction.size(), '0') + fraction;
  }
  return text;
}

bool isSafeFileName(std::string_view name) {
  if (name.empty() || name.size() > 100 || name == "." || name == "..") return false;
  if (name.find("..") != std::string_view::npos) return false;
  for (unsigned char c : name) {
    if (c < 32 || c == 127) return false;
    if (std::string_view("/\\<>:\"|?*").find(static_cast<char>(c)) != std::string_view::npos)
      return false;
  }
  return true;
}

bool isSafeRelativePath(std::string_view path) {
  if (path.empty() || path.size() > 400) return false;
  for (;;) {
    const std::size_t slash = path.find('/');
    if (!isSafeFileName(path.substr(0, slash))) return false;
    if (slash == std::string_view::npos) return true;
    path.remove_prefix(slash + 1);
  }
}

}  // namespace tastrello
