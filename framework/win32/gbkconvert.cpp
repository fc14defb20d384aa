// GBK to UTF-8 and back on Win32: code page 936, one character at a time so
// that a byte that is not GBK costs only itself.
#include <windows.h>

#include "framework/gbktext.h"
#include "framework/sysdeps.h"

namespace fw::gbk {

std::string ConvertToUtf8(std::string_view text, bool escape) {
    std::string out;
    out.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
            ++i;
            continue;
        }
        wchar_t wide[2] = {};
        int units = 0;
        if (IsLeadByte(c) && i + 1 < text.size())
            units = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, text.data() + i, 2, wide, 2);
        if (units == 1) {
            char utf8[4];
            const int n =
                WideCharToMultiByte(CP_UTF8, 0, wide, 1, utf8, sizeof utf8, nullptr, nullptr);
            out.append(utf8, static_cast<std::size_t>(n));
            i += 2;
            continue;
        }
        char unreadable[4];
        out.append(unreadable, WriteUnreadable(c, escape, unreadable, sizeof unreadable));
        ++i;
    }
    return out;
}

std::string ConvertFromUtf8(std::string_view text, bool& whole) {
    whole = true;
    if (text.empty()) return {};
    const int units =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), units);
    // A byte that is not UTF-8 arrives as U+FFFD, which GBK has no form for.
    BOOL defaulted = FALSE;
    const int n = WideCharToMultiByte(936, 0, wide.data(), units, nullptr, 0, "?", &defaulted);
    std::string gbk(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(936, 0, wide.data(), units, gbk.data(), n, "?", &defaulted);
    whole = !defaulted && wide.find(L'\xFFFD') == std::wstring::npos;
    return gbk;
}

}  // namespace fw::gbk
