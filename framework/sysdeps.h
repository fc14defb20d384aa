// What the portable sources of the platform layer (trace.cpp, clock.cpp,
// gbktext.cpp, processtag.cpp) take from the platform's own implementation, posix/ or win32/.
// Internal to framework/; nothing above it includes this.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// Writes one finished trace line to the platform's trace channel: standard
// error (one write(2)) on POSIX, OutputDebugStringA on Win32. Never fails.
void WriteTraceChannel(std::string_view line);

// A host name with every character other than letters, digits, "-", "."
// and "_" replaced by "_".
std::string TagSafeHostName(std::string host);

// A process tag cut at its "+" signs.
std::vector<std::string> SplitProcessTag(std::string_view tag);

namespace gbk {

// GBK bytes to UTF-8; each byte that is not GBK goes through WriteUnreadable.
std::string ConvertToUtf8(std::string_view text, bool escape);

// UTF-8 to GBK; "?" for each character (or stray byte) without a GBK form,
// and whole set false when there was one.
std::string ConvertFromUtf8(std::string_view text, bool& whole);

// Writes the stand-in for a byte that is not GBK: U+FFFD, or "\xNN" with
// escape. Returns the number of bytes written (at most 4); 0 when out has no
// room.
std::size_t WriteUnreadable(unsigned char c, bool escape, char* out, std::size_t room);

}  // namespace gbk
}  // namespace fw
