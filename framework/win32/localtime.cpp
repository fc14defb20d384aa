// The local time zone on Win32: the system's time zone rules, including the
// daylight-saving rules of the year in question
// (SystemTimeToTzSpecificLocalTime), not the CRT's TZ variable.
#include <windows.h>

#include "framework/clock.h"

namespace fw {

bool ToLocalTime(std::time_t t, std::tm& local) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(t) * 10000000ULL + 116444736000000000ULL;
    FILETIME utc{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
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

}  // namespace fw
