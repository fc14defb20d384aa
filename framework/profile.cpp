#include "framework/profile.h"

#include <optional>

#include "framework/gbktext.h"

namespace fw {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string_view TrimSpace(std::string_view s) {
    while (!s.empty() && gbk::IsSpace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && gbk::IsSpace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    return value;
}

std::string CutToBuffer(std::string_view value, std::size_t bufferSize) {
    if (bufferSize == 0) return {};
    return std::string(value.substr(0, bufferSize - 1));
}

// The raw value of key in the first section named section, if any.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
    section = TrimSpace(section);
    key = TrimSpace(key);
    bool inSection = false;
    bool sectionSeen = false;
    while (!text.empty()) {
        std::size_t eol = text.find('\n');
        std::string_view line = text.substr(0, eol);
        text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

        line = TrimSpace(line);
        if (line.empty() || line.front() == ';') continue;

        if (line.front() == '[') {
            // Only the first section of that name counts.
            if (sectionSeen) return std::nullopt;
            std::string_view name = line.substr(1);
            long close = gbk::Find(name, ']');
            if (close >= 0) name = name.substr(0, static_cast<std::size_t>(close));
            inSection = gbk::EqualIgnoringCase(TrimSpace(name), section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) continue;

        long eq = gbk::Find(line, '=');
        if (eq < 0) continue;
        if (gbk::EqualIgnoringCase(TrimSpace(line.substr(0, static_cast<std::size_t>(eq))), key))
            return line.substr(static_cast<std::size_t>(eq) + 1);
    }
    return std::nullopt;
}

}  // namespace

std::string ParseProfileString(std::string_view text, std::string_view section,
                               std::string_view key, std::string_view defaultValue,
                               std::size_t bufferSize) {
    std::optional<std::string_view> raw = FindValue(text, section, key);
    if (!raw) return CutToBuffer(defaultValue, bufferSize);
    return CutToBuffer(Unquote(TrimBlanks(*raw)), bufferSize);
}

std::string CutProfileValue(std::string_view value, std::size_t bufferSize) {
    return CutToBuffer(value, bufferSize);
}

}  // namespace fw
