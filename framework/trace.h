// The diagnostic trace channel: printf-style lines written to standard error,
// one write(2) per line so that lines of concurrent processes never interleave.
// Tests replace the sink to capture what the module writes.
#pragma once

#include <functional>
#include <string_view>

namespace fw {

// Formats like printf and writes the result as one line. The format carries
// its own trailing "\n" where a line wants one; nothing is appended.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Receives every formatted trace line. The default sink writes to fd 2.
using TraceSink = std::function<void(std::string_view line)>;

// Installs a sink and returns the previous one; an empty sink restores the
// default. Not thread-safe: install before the code under test runs.
TraceSink SetTraceSink(TraceSink sink);

}  // namespace fw
