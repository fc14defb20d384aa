// The command line of reservation-host, and what the host reads from a
// request before handing it to the module: its drop directory, whether that
// can be scanned, and the clerk's name in GBK.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct HostOptions {
    std::string modulePath;  // empty: DefaultModulePath()
    bool help = false;
    bool version = false;
    bool watch = false;
    int intervalSeconds = 60;
    std::string metricsPath;  // empty: no metrics file
    std::vector<std::string> requests;
};

// Parses argv. On a usage error returns nullopt with error set to a
// one-line message ("unknown option -v"). --watch and --metrics need exactly
// one request; --interval takes whole seconds, at least 1.
std::optional<HostOptions> ParseHostOptions(int argc, const char* const* argv, std::string& error);

// The drop directory of a request, read as the module reads it: the text
// before the first "?", made absolute against the current directory.
// Empty when the request has no "?" or nothing before it.
std::string DropDirectoryOf(std::string_view request);

}  // namespace host

namespace host {

// The request with its clerk's name (after the first "!" that follows the
// "?") converted from UTF-8, as a terminal types it, to the GBK the module
// stores. The directory part is left as the file system's bytes, and a name
// that is not UTF-8 or has no GBK form (a GBK name, say) is passed unchanged.
std::string ClerkToGbk(std::string_view request);

}  // namespace host
