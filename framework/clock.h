// The local clock and the reading of booking dates.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace fw {

// Seconds since 1970-01-01 00:00 UTC. 64 bits on every platform: the 32-bit
// Windows build's time_t has 32, and would read an instant after January 2038
// as one in 1901..1970.
using EpochSeconds = std::int64_t;

// One reading of the local clock, formatted.
struct ClockReading {
    std::string time;          // "%H:%M:%S"
    std::string date;          // "%Y-%m-%d"
    std::int64_t seconds = 0;  // since the epoch
};

// Reads the clock once (the clock source, else the system clock) and
// formats it in the local time zone.
ClockReading ReadLocalClock();

// The system clock, never the pinned source: for comparing with file times.
EpochSeconds SystemClockNow();

// Breaks t down in the local time zone (localtime_r on POSIX, the system's
// time zone rules on Win32); false when it cannot.
bool ToLocalTime(EpochSeconds t, std::tm& local);

// Tests pin the clock: the source returns the epoch seconds to read. An empty
// function restores the real clock.
void SetClockSource(std::function<EpochSeconds()> source);

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

// The instant that a local date and time of day name, with the local rules
// deciding daylight-saving time (mktime with tm_isdst -1 on POSIX, the
// system's time zone rules on Win32). Nothing when the date is not in the
// calendar, the time of day is out of range, or the platform cannot convert
// it (Win32: before 1601).
std::optional<EpochSeconds> FromLocalTime(const CivilDate& date, int hour, int minute, int second);

// to - from in whole days (negative when to is earlier).
long DaysBetween(const CivilDate& from, const CivilDate& to);

}  // namespace fw
