// The ini reader on arbitrary file text. An input holding a NUL is read as
// "section\nkey\0ini text", so that names are fuzzed as well; any other
// input is queried with the names the module uses.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/profile.h"
#include "fuzz/check.h"

namespace {

void Query(std::string_view text, std::string_view section, std::string_view key,
           std::size_t bufferSize) {
    const std::string_view fallback =
        "\x01"
        "default"
        "\x02";
    const std::size_t limit = bufferSize == 0 ? 0 : bufferSize - 1;
    std::string withDefault = fw::ParseProfileString(text, section, key, fallback, bufferSize);
    std::string withoutDefault = fw::ParseProfileString(text, section, key, "", bufferSize);
    FUZZ_CHECK(withDefault.size() <= limit);
    if (withDefault != withoutDefault) {
        // Not found: the default, cut like a value.
        FUZZ_CHECK(withDefault == fallback.substr(0, limit));
        FUZZ_CHECK(withoutDefault.empty());
    } else {
        // Found: a value is always a piece of the file text.
        FUZZ_CHECK(text.find(withDefault) != std::string_view::npos);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::size_t nul = input.find('\0');
    if (nul != std::string_view::npos) {
        std::string_view names = input.substr(0, nul);
        std::size_t newline = names.find('\n');
        std::string_view section = names.substr(0, newline);
        std::string_view key =
            newline == std::string_view::npos ? std::string_view() : names.substr(newline + 1);
        std::string_view text = input.substr(nul + 1);
        Query(text, section, key, 100);
        Query(text, section, key, size % 7);
        return 0;
    }
    for (std::string_view key : {"DefaultRateCode", "\xB1\xEA\xD7\xBC\xBC\xE4", "\xCC\xD7\xBC\xE4"})
        Query(input, "INTERNETRESERVE", key, 100);
    return 0;
}
