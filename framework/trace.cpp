#include "framework/trace.h"

#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>

#include "framework/nodestructor.h"

namespace fw {
namespace {

// Never destroyed: the module traces from its ELF destructor, which can run
// after the static objects of this library have been torn down.
TraceSink& InstalledSink() {
    static NoDestructor<TraceSink> sink;
    return *sink;
}

void WriteToStandardError(std::string_view line) {
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nowhere left to report a failing diagnostic channel
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
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

}  // namespace

void Trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = FormatLine(format, args);
    va_end(args);

    const TraceSink& sink = InstalledSink();
    if (sink)
        sink(line);
    else
        WriteToStandardError(line);
}

TraceSink SetTraceSink(TraceSink sink) { return std::exchange(InstalledSink(), std::move(sink)); }

}  // namespace fw
