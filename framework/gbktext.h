// Helpers for GBK byte strings held in std::string. Positions and lengths are
// in bytes; a search for an ASCII separator steps over double-byte characters
// (a lead byte 0x81..0xFE and the byte after it).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace fw::gbk {

inline bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The separator white space: space and 0x09..0x0D.
inline bool IsSpace(unsigned char c) { return c == 0x20 || (c >= 0x09 && c <= 0x0D); }

// The one case folding of the code base: ASCII letters only, byte by byte.
// Identifiers, ini names and driver names are compared with it; no locale.
inline char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal but for the case of ASCII letters. A double-byte character compares
// exactly: its trail byte may well be an ASCII letter.
bool EqualIgnoringCase(std::string_view a, std::string_view b);

// Position of the first character c (ASCII), stepping over double-byte
// characters; -1 when absent.
long Find(std::string_view text, char c);

// The first / last n bytes, n clamped to [0, size].
std::string Left(std::string_view text, long n);
std::string Right(std::string_view text, long n);

std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);
std::string Trim(std::string_view text);

// The longest prefix of at most maxBytes bytes that does not end inside a
// double-byte character.
std::string CutAtCharBoundary(std::string_view text, std::size_t maxBytes);

// printf into a std::string.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reads a leading decimal integer the C way (leading white space, optional
// sign, digits); 0 when there is none, clamped to the 32-bit range.
int ParseLeadingInt(std::string_view text);

// Reads a leading decimal floating-point number (strtod on the C locale);
// 0 when there is none.
double ParseLeadingDouble(std::string_view text);

// GBK bytes to UTF-8; bytes that are not GBK become U+FFFD. Never throws.
std::string ToUtf8(std::string_view gbkText);

// The same, but a byte that is not GBK becomes the four characters "\xNN"
// (lower-case hex), so that a log line shows what the file held.
std::string ToUtf8Escaped(std::string_view gbkText);

// UTF-8 to GBK bytes. A character GBK has no form for, and a byte that is
// not UTF-8, becomes "?"; whole, when given, says whether none did. Never
// throws.
std::string FromUtf8(std::string_view utf8Text, bool* whole = nullptr);

}  // namespace fw::gbk
