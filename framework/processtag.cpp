// The parts of process tags alike on every platform.
#include "framework/processtag.h"

#include "framework/sysdeps.h"

namespace fw {

std::string TagSafeHostName(std::string host) {
    for (char& c : host) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_';
        if (!keep) c = '_';
    }
    return host;
}

std::vector<std::string> SplitProcessTag(std::string_view tag) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t plus = tag.find('+', start);
        parts.emplace_back(
            tag.substr(start, plus == std::string_view::npos ? tag.npos : plus - start));
        if (plus == std::string_view::npos) break;
        start = plus + 1;
    }
    return parts;
}

}  // namespace fw
