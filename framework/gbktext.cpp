#include "framework/gbktext.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "framework/sysdeps.h"

namespace fw::gbk {
namespace {

std::size_t ClampCount(std::string_view text, long n) {
    if (n <= 0) return 0;
    return std::min(static_cast<std::size_t>(n), text.size());
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The end of the decimal number at the start of text (after white space and
// a sign), or 0 when there is none. Hexadecimal, "inf" and "nan" are not
// decimal numbers and read as no number, so no caller ever receives a NaN.
std::size_t DecimalNumberEnd(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t e = i + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-')) ++e;
        if (e < text.size() && IsDigit(text[e])) {
            while (e < text.size() && IsDigit(text[e])) ++e;
            i = e;
        }
    }
    return i;
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// What a byte that is not GBK becomes: U+FFFD, or "\xNN" when escaping.
// Returns the number of bytes written (at most 4); 0 when out has no room.
std::size_t UnreadableImpl(unsigned char c, bool escape, char* out, std::size_t room) {
    if (!escape) {
        if (room < 3) return 0;
        std::copy_n(kReplacement, 3, out);
        return 3;
    }
    if (room < 4) return 0;
    static const char digits[] = "0123456789abcdef";
    out[0] = '\\';
    out[1] = 'x';
    out[2] = digits[c >> 4];
    out[3] = digits[c & 0xF];
    return 4;
}

}  // namespace

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(a[i])) && i + 1 < a.size()) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
            ++i;
        } else if (AsciiLower(a[i]) != AsciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

long Find(std::string_view text, char c) {
    for (std::size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(b) && i + 1 < text.size()) {
            i += 2;
            continue;
        }
        if (text[i] == c) return static_cast<long>(i);
        ++i;
    }
    return -1;
}

std::string Left(std::string_view text, long n) {
    return std::string(text.substr(0, ClampCount(text, n)));
}

std::string Right(std::string_view text, long n) {
    std::size_t count = ClampCount(text, n);
    return std::string(text.substr(text.size() - count));
}

std::string TrimLeft(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(static_cast<unsigned char>(text[i]))) ++i;
    return std::string(text.substr(i));
}

// No GBK trail byte lies in the white-space range, so trimming from the end
// byte by byte never cuts a character.
std::string TrimRight(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && IsSpace(static_cast<unsigned char>(text[n - 1]))) --n;
    return std::string(text.substr(0, n));
}

std::string Trim(std::string_view text) { return TrimLeft(TrimRight(text)); }

std::string CutAtCharBoundary(std::string_view text, std::size_t maxBytes) {
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t width =
            IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
        if (i + width > maxBytes) break;
        i += width;
    }
    return std::string(text.substr(0, i));
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list probe;
    va_copy(probe, args);
    int length = std::vsnprintf(nullptr, 0, format, probe);
    va_end(probe);
    std::string out;
    if (length > 0) {
        out.resize(static_cast<std::size_t>(length));
        std::vsnprintf(out.data(), out.size() + 1, format, args);
    }
    va_end(args);
    return out;
}

int ParseLeadingInt(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSpace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // Past 2^31 the value is clamped anyway, so accumulation stops growing there.
    constexpr std::int64_t kCap = std::int64_t{INT_MAX} + 1;
    std::int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        value = std::min(value * 10 + (text[i] - '0'), kCap);
    if (negative) return static_cast<int>(std::max<std::int64_t>(-value, INT_MIN));
    return static_cast<int>(std::min<std::int64_t>(value, INT_MAX));
}

double ParseLeadingDouble(std::string_view text) {
    std::size_t end = DecimalNumberEnd(text);
    if (end == 0) return 0.0;
    // from_chars reads the C form whatever the host's LC_NUMERIC says (a
    // decimal comma, say); it takes neither white space nor a "+".
    std::string_view number = text.substr(0, end);
    while (!number.empty() && IsSpace(static_cast<unsigned char>(number.front())))
        number.remove_prefix(1);
    bool negative = false;
    if (!number.empty() && (number.front() == '+' || number.front() == '-')) {
        negative = number.front() == '-';
        number.remove_prefix(1);
    }
    double value = 0.0;
    const auto [ptr, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range)
        value = ptr != number.data() ? HUGE_VAL : 0.0;  // overflow, or underflow to 0
    return negative ? -value : value;
}

std::string ToUtf8(std::string_view gbkText) {
    try {
        return ConvertToUtf8(gbkText, false);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string ToUtf8Escaped(std::string_view gbkText) {
    try {
        return ConvertToUtf8(gbkText, true);
    } catch (const std::bad_alloc&) {
        return {};
    }
}

std::string FromUtf8(std::string_view utf8Text, bool* whole) {
    bool converted = true;
    std::string gbk;
    try {
        gbk = ConvertFromUtf8(utf8Text, converted);
    } catch (const std::bad_alloc&) {
        converted = false;
    }
    if (whole) *whole = converted;
    return gbk;
}

std::size_t WriteUnreadable(unsigned char c, bool escape, char* out, std::size_t room) {
    return UnreadableImpl(c, escape, out, room);
}

}  // namespace fw::gbk
