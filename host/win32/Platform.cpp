// The host's platform side on Windows: its own lines on standard error (the
// module's trace channel is the debugger's output), no watch mode and no
// progress line.
#include "host/Platform.h"

#include <cstdio>

#include "host/Progress.h"

namespace host {

void Note(fw::Priority, std::string_view text) {
    std::fprintf(stderr, "reservation-host: %.*s\n", static_cast<int>(text.size()), text.data());
}

std::unique_ptr<WatchMode> WatchMode::Prepare(std::string& error) {
    error = "--watch is not available on Windows (try --help)";
    return nullptr;
}

std::unique_ptr<ProgressLine> ProgressLine::Start(const std::string&) { return nullptr; }

ProgressLine::~ProgressLine() = default;

}  // namespace host
