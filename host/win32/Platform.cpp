// The host's platform side on Windows: its own lines on standard error (the
// module's trace channel is the debugger's output), no watch mode and no
// progress line.
#include "host/Platform.h"

#include <windows.h>

#include <cstdio>
#include <string>

#include "host/Progress.h"

namespace host {

void Note(fw::Priority, std::string_view text) {
    std::fprintf(stderr, "reservation-host: %.*s\n", static_cast<int>(text.size()), text.data());
}

std::string DropDirectoryProblem(const std::string& directory) {
    // The ANSI calls take the name as the module does: std::filesystem would
    // convert it by the C locale, which is not the system's code page.
    const DWORD attributes = GetFileAttributesA(directory.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return "does not exist";
        return "cannot be read (error " + std::to_string(error) + ")";
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return "is not a directory";
    WIN32_FIND_DATAA entry;
    const HANDLE listing = FindFirstFileA((directory + "\\*").c_str(), &entry);
    if (listing == INVALID_HANDLE_VALUE)
        return "cannot be read (error " + std::to_string(GetLastError()) + ")";
    FindClose(listing);
    return "";
}

std::unique_ptr<WatchMode> WatchMode::Prepare(std::string& error) {
    error = "--watch is not available on Windows (try --help)";
    return nullptr;
}

std::unique_ptr<ProgressLine> ProgressLine::Start(const std::string&) { return nullptr; }

ProgressLine::~ProgressLine() = default;

}  // namespace host
