#include "framework/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "framework/gbktext.h"
#include "framework/nodestructor.h"
#include "framework/sysdeps.h"

namespace fw {
namespace {

// Never destroyed: the module traces from its ELF destructor, which can run
// after the static objects of this library have been torn down.
TraceSink& InstalledSink() {
    static NoDestructor<TraceSink> sink;
    return *sink;
}

std::string FormatLine(const char* format, va_list args) {
    va_list probe;
    va_copy(probe, args);
    int length = std::vsnprintf(nullptr, 0, format, probe);
    va_end(probe);
    if (length <= 0) return {};
    std::string line(static_cast<std::size_t>(length), '\0');
    std::vsnprintf(line.data(), line.size() + 1, format, args);
    return line;
}

void AppendHex(std::string& out, unsigned char c) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 0xF];
}

// The length of the well-formed UTF-8 sequence at text[i] (no overlongs, no
// surrogates, at most U+10FFFF), or 0.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(i);
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

// Whether a run of bytes 0x80..0xFF is UTF-8 from end to end, without C1
// control characters (U+0080..U+009F).
bool WholeRunIsUtf8(std::string_view run) {
    for (std::size_t i = 0; i < run.size();) {
        const std::size_t n = Utf8SequenceAt(run, i);
        if (n == 0 || (run[i] == '\xC2' && static_cast<unsigned char>(run[i + 1]) < 0xA0))
            return false;
        i += n;
    }
    return true;
}

// Escapes control characters, and with utf8Only every run of non-ASCII bytes
// that is not UTF-8 as a whole: a GBK file name whose first character happens
// to be UTF-8 is written all as \xNN, the same in every line that names it.
std::string Escape(std::string_view text, bool utf8Only) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            AppendHex(out, c);
        } else if (c < 0x80 || !utf8Only) {
            out += static_cast<char>(c);
        } else {
            std::size_t end = i;
            while (end < text.size() && static_cast<unsigned char>(text[end]) >= 0x80) ++end;
            const std::string_view run = text.substr(i, end - i);
            if (WholeRunIsUtf8(run))
                out.append(run);
            else
                for (char b : run) AppendHex(out, static_cast<unsigned char>(b));
            i = end;
            continue;
        }
        ++i;
    }
    return out;
}

// Escapes the line and puts the priority in front when it goes to the journal.
std::string FinishLine(Priority priority, std::string_view text) {
    if (text.empty()) return {};
    const bool journal = StandardErrorIsJournal();
    const bool newline = text.back() == '\n';
    if (newline) text.remove_suffix(1);

    std::string out;
    if (journal) {
        // Appended piece by piece: "<" + std::to_string(...) trips GCC 12's
        // -Wrestrict false positive at -O3.
        out += '<';
        out += std::to_string(static_cast<int>(priority));
        out += '>';
    }
    out += Escape(text, journal);
    if (newline) out += '\n';
    return out;
}

void Emit(Priority priority, const std::string& formatted) {
    const std::string line = FinishLine(priority, formatted);
    const TraceSink& sink = InstalledSink();
    if (sink)
        sink(line);
    else
        WriteTraceChannel(line);
}

}  // namespace

void Trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = FormatLine(format, args);
    va_end(args);
    Emit(Priority::Info, line);
}

void Trace(Priority priority, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = FormatLine(format, args);
    va_end(args);
    Emit(priority, line);
}

std::string JournalText(std::string_view text) { return Escape(text, true); }

std::string TraceGbk(std::string_view gbkText) {
    if (!StandardErrorIsJournal()) return std::string(gbkText);
    return gbk::ToUtf8Escaped(gbkText);
}

TraceSink SetTraceSink(TraceSink sink) { return std::exchange(InstalledSink(), std::move(sink)); }

}  // namespace fw
