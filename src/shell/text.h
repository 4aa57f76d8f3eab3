// Text helpers shared by every loader and writer: the line reader, Windows-1252 conversion,
// the character-position helpers the file formats are defined with, and name matching.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tastrello {

inline const std::string kCrLf = "\r\n";

/// Splits file bytes into lines. Accepts CR LF, LF and lone CR line ends; a final line end
/// does not start another line. A UTF-8 byte order mark at the start is dropped.
std::vector<std::string> splitLines(std::string_view bytes);

/// Joins lines into file bytes, each line followed by CR LF.
std::string joinLines(const std::vector<std::string>& lines);

/// `count` characters of `s` from the 1-based position `start`; shorter or empty near the end.
std::string mid(std::string_view s, std::size_t start, std::size_t count);
/// The last `count` characters of `s` (all of `s` when it is shorter).
std::string right(std::string_view s, std::size_t count);
/// The first `count` characters of `s` (all of `s` when it is shorter).
std::string left(std::string_view s, std::size_t count);

/// Reads a decimal integer with optional blanks around it. Empty text, other characters or
/// a value outside the 16-bit signed range give nothing.
std::optional<int> parseInt16(std::string_view s);

/// `value` with `decimals` digits after `mark` ("34.5"), rounded half away from zero; the
/// same on every machine whatever its locale (no C library formatting is involved).
std::string decimalText(double value, int decimals, char mark = '.');

/// The leading decimal number after leading blanks, or 0 when there is none.
int leadingNumber(std::string_view s);

/// Reads "34.5", "34,5" (as a German or Spanish desktop's C library wrote it) or "34"; at most
/// 9 digits before the mark and 6 after, an optional minus. Nothing for anything else.
std::optional<double> parseDecimal(std::string_view s);

/// ASCII upper case (Windows-1252 letters above 127 are compared as they are).
std::string upper(std::string_view s);
/// Upper case of ASCII and Windows-1252 letters ("\xF6" o with diaeresis becomes "\xD6"), as
/// a keyboard prints them; the sharp s and the y with diaeresis stay as they are, as names are
/// compared.
std::string upperLetters(std::string_view s);
/// Compares two names without regard to letter case (ASCII and Windows-1252 letters).
bool sameNameIgnoringCase(std::string_view a, std::string_view b);
/// Matches a file name against a pattern with "*" and "?" wildcards, ignoring letter case.
bool matchesPattern(std::string_view name, std::string_view pattern);

/// A name that stays inside its folder and that file systems accept: no path separators,
/// no "..", no control characters or characters Windows refuses, at most 100 bytes.
bool isSafeFileName(std::string_view name);
/// One or more safe file names joined by "/": a path that stays inside the folder it is
/// relative to.
bool isSafeRelativePath(std::string_view path);

/// Windows-1252 bytes to UTF-8 (undefined bytes map to U+FFFD).
std::string cp1252ToUtf8(std::string_view bytes);

/// Whether a Windows-1252 byte shows something on its own: not a control character, a blank,
/// a byte the code page leaves undefined, the no-break space or the soft hyphen.
bool showsInk(unsigned char byte);
/// UTF-8 to Windows-1252; nothing when a character has no Windows-1252 byte or the input is
/// not valid UTF-8.
std::optional<std::string> utf8ToCp1252(std::string_view utf8);

}  // namespace tastrello
