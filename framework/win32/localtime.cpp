// The local time zone and the system clock on Win32, through FILETIME and
// SYSTEMTIME, never the CRT: its time_t is 32 bits in the 32-bit build and
// ends in January 2038. The system's time zone rules, not the CRT's TZ
// variable, in both directions (SystemTimeToTzSpecificLocalTime and
// TzSpecificLocalTimeToSystemTime).
#include <windows.h>

#include "framework/clock.h"
#include "framework/sysdeps.h"

namespace fw {
namespace {

// FILETIME counts 100 ns since 1601-01-01 UTC.
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr std::int64_t kEpochTicks = 116444736000000000;  // 1970-01-01 as FILETIME

std::int64_t Ticks(const FILETIME& ft) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) |
                                     ft.dwLowDateTime);
}

}  // namespace

EpochSeconds SystemClockNow() {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return (Ticks(now) - kEpochTicks) / kTicksPerSecond;
}

bool ToLocalTime(EpochSeconds t, std::tm& local) {
    if (t < -kEpochTicks / kTicksPerSecond) return false;  // before 1601
    const auto ticks = static_cast<std::uint64_t>(t * kTicksPerSecond + kEpochTicks);
    const FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME universal{}, here{};
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &here))
        return false;
    local = std::tm{};
    local.tm_year = here.wYear - 1900;
    local.tm_mon = here.wMonth - 1;
    local.tm_mday = here.wDay;
    local.tm_hour = here.wHour;
    local.tm_min = here.wMinute;
    local.tm_sec = here.wSecond;
    local.tm_wday = here.wDayOfWeek;
    local.tm_isdst = -1;
    return true;
}

std::optional<EpochSeconds> LocalToEpoch(const CivilDate& date, int hour, int minute, int second) {
    SYSTEMTIME here{};
    here.wYear = static_cast<WORD>(date.year);
    here.wMonth = static_cast<WORD>(date.month);
    here.wDay = static_cast<WORD>(date.day);
    here.wHour = static_cast<WORD>(hour);
    here.wMinute = static_cast<WORD>(minute);
    here.wSecond = static_cast<WORD>(second);
    SYSTEMTIME universal{};
    FILETIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &here, &universal) ||
        !SystemTimeToFileTime(&universal, &utc))
        return std::nullopt;
    return (Ticks(utc) - kEpochTicks) / kTicksPerSecond;
}

}  // namespace fw
