#include "framework/gbktext.h"

#include <iconv.h>
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

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

// A host application may switch LC_NUMERIC to a locale with a decimal comma;
// booking files always use a point.
locale_t CLocale() {
    static locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return c;
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// What a byte that is not GBK becomes: U+FFFD, or "\xNN" when escaping.
// Returns the number of bytes written (at most 4); 0 when out has no room.
std::size_t Unreadable(unsigned char c, bool escape, char* out, std::size_t room) {
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

// Used when iconv cannot even be opened: ASCII passes, everything else is
// shown as unreadable rather than guessed at.
std::string AsciiOnly(std::string_view text, bool escape) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            char unreadable[4];
            out.append(unreadable, Unreadable(c, escape, unreadable, sizeof unreadable));
            if (!escape && IsLeadByte(c) && i + 1 < text.size()) ++i;
        }
    }
    return out;
}

class IconvHandle {
  public:
    IconvHandle() : cd_(iconv_open("UTF-8", "GBK")) {}
    ~IconvHandle() {
        if (valid()) iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return cd_; }

  private:
    iconv_t cd_;
};

std::string ConvertToUtf8(std::string_view text, bool escape) {
    IconvHandle cd;
    if (!cd.valid()) return AsciiOnly(text, escape);

    std::string out;
    // Every GBK byte becomes at most three UTF-8 bytes, a replacement
    // included, or four as an escape.
    out.resize(text.size() * 4 + 4);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();

    while (inLeft > 0) {
        if (iconv(cd.get(), &in, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == EILSEQ || errno == EINVAL) {
            // Not GBK (or cut off at the end): show one replacement and
            // resynchronise at the next byte.
            const std::size_t n =
                Unreadable(static_cast<unsigned char>(*in), escape, outPtr, outLeft);
            if (n == 0) break;
            outPtr += n;
            outLeft -= n;
            ++in;
            --inLeft;
            iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        } else {
            break;  // E2BIG cannot happen with the size above
        }
    }
    out.resize(static_cast<std::size_t>(outPtr - out.data()));
    return out;
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
    std::string number(text.substr(0, end));
    locale_t c = CLocale();
    if (c == static_cast<locale_t>(nullptr)) return std::strtod(number.c_str(), nullptr);
    return strtod_l(number.c_str(), nullptr, c);
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

}  // namespace fw::gbk
