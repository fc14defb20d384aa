// The command line of reservation-host, and the drop directory a request
// names.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct HostOptions {
    std::string modulePath;  // empty: DefaultModulePath()
    bool help = false;
    bool watch = false;
    int intervalSeconds = 60;
    std::vector<std::string> requests;
};

// Parses argv. On a usage error returns nullopt with error set to a
// one-line message. --watch needs exactly one request; --interval takes
// whole seconds, at least 1.
std::optional<HostOptions> ParseHostOptions(int argc, const char* const* argv, std::string& error);

// The drop directory of a request, read as the module reads it: the text
// before the first "?", made absolute against the current directory.
// Empty when the request has no "?" or nothing before it.
std::string DropDirectoryOf(std::string_view request);

}  // namespace host
