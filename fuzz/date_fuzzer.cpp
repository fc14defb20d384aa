// The booking date reader on arbitrary text: whatever it accepts must be a
// real calendar date that reads back the same when written plainly, and
// whose next day is one day later.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "framework/clock.h"
#include "fuzz/check.h"

namespace {

std::string Plain(const fw::CivilDate& d) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::optional<fw::CivilDate> date = fw::ParseDate(text);
    if (!date) return 0;

    FUZZ_CHECK(date->year >= 1 && date->year <= 9999);
    FUZZ_CHECK(date->month >= 1 && date->month <= 12);
    FUZZ_CHECK(date->day >= 1 && date->day <= 31);
    FUZZ_CHECK(fw::ParseDate(Plain(*date)) == date);

    long days = fw::DaysBetween(fw::CivilDate{1, 1, 1}, *date);
    FUZZ_CHECK(days >= 0 && days <= 3652058);

    fw::CivilDate next{date->year, date->month, date->day + 1};
    if (!fw::ParseDate(Plain(next)))
        next = date->month == 12 ? fw::CivilDate{date->year + 1, 1, 1}
                                 : fw::CivilDate{date->year, date->month + 1, 1};
    FUZZ_CHECK(fw::DaysBetween(*date, next) == 1);
    return 0;
}
