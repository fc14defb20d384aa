// The local clock and the reading of booking dates.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fw {

// One reading of the local clock, formatted.
struct ClockReading {
    std::string time;          // "%H:%M:%S"
    std::string date;          // "%Y-%m-%d"
    std::int64_t seconds = 0;  // since the epoch
};

// Reads the clock once (time(2) + localtime_r + strftime).
ClockReading ReadLocalClock();

// Breaks t down in the local time zone (localtime_r on POSIX, the system's
// time zone rules on Win32); false when it cannot.
bool ToLocalTime(std::time_t t, std::tm& local);

// Tests pin the clock: the source returns the epoch seconds to read. An empty
// function restores the real clock.
void SetClockSource(std::function<std::time_t()> source);

struct CivilDate {
    int year = 0;
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    bool operator==(const CivilDate&) const = default;
};

// Reads the date part of a booking date. Accepted (after leading white
// space): YYYY-MM-DD, YYYY/MM/DD, YYYY.MM.DD and YYYY年MM月DD日 (GBK), month and
// day with one or two digits; what follows the date (a time of day after a
// blank or "T") is ignored. The date must exist in the calendar; years 1..9999.
std::optional<CivilDate> ParseDate(std::string_view text);

// to - from in whole days (negative when to is earlier).
long DaysBetween(const CivilDate& from, const CivilDate& to);

}  // namespace fw
