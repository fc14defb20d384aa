#include "host/HostOptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "framework/direnum.h"
#include "framework/gbktext.h"

namespace host {
namespace {

bool ParseInterval(const char* text, int& seconds) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1 || value > INT_MAX) return false;
    seconds = static_cast<int>(value);
    return true;
}

}  // namespace

std::optional<HostOptions> ParseHostOptions(int argc, const char* const* argv, std::string& error) {
    HostOptions options;
    // An option that takes a value, as "--name VALUE" or "--name=VALUE".
    auto valueOf = [&](int& i, const char* name, std::string& value) {
        const std::size_t length = std::strlen(name);
        const char* arg = argv[i];
        if (std::strcmp(arg, name) == 0) {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        }
        if (std::strncmp(arg, name, length) == 0 && arg[length] == '=') {
            value = arg + length + 1;
            return true;
        }
        return false;
    };

    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        std::string value;
        if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.version = true;
        } else if (std::strcmp(arg, "--watch") == 0) {
            options.watch = true;
        } else if (valueOf(i, "--module", value)) {
            options.modulePath = value;
        } else if (valueOf(i, "--metrics", value)) {
            options.metricsPath = value;  // empty (a unit's METRICS= left empty): none
        } else if (valueOf(i, "--interval", value)) {
            if (!ParseInterval(value.c_str(), options.intervalSeconds)) {
                error = "--interval needs a whole number of seconds, at least 1: " + value;
                return std::nullopt;
            }
        } else if (!error.empty()) {
            return std::nullopt;
        } else if (std::strcmp(arg, "--") == 0) {
            for (++i; i < argc; ++i) options.requests.emplace_back(argv[i]);
        } else if ((arg[0] == '-' && arg[1] == '-') ||
                   (arg[0] == '-' && arg[1] != '\0' && std::strchr(arg, '?') == nullptr)) {
            // "-DIR?1!clerk" may be a request; "-v" is an option we do not know.
            error = std::string("unknown option ") + arg;
            return std::nullopt;
        } else {
            options.requests.emplace_back(arg);
        }
    }
    if (options.help || options.version) return options;
    if (options.requests.empty()) {
        error = "no request given";
        return std::nullopt;
    }
    if (options.watch && options.requests.size() != 1) {
        error = "--watch takes exactly one request";
        return std::nullopt;
    }
    if (!options.metricsPath.empty() && options.requests.size() != 1) {
        error = "--metrics takes exactly one request";
        return std::nullopt;
    }
    return options;
}

std::string DropDirectoryOf(std::string_view request) {
    const std::size_t q = request.find('?');
    if (q == std::string_view::npos || q == 0) return "";
    std::string directory = fw::MakeAbsolute(std::string(request.substr(0, q)));
    while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
    return directory;
}

std::string ClerkToGbk(std::string_view request) {
    const std::size_t q = request.find('?');
    const std::size_t x = request.find('!', q == std::string_view::npos ? 0 : q);
    if (x == std::string_view::npos) return std::string(request);
    const std::string_view clerk = request.substr(x + 1);
    bool ascii = true;
    for (char c : clerk) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return std::string(request);

    bool whole = false;
    const std::string gbk = fw::gbk::FromUtf8(clerk, &whole);
    if (!whole) return std::string(request);
    return std::string(request.substr(0, x + 1)) + gbk;
}

}  // namespace host
