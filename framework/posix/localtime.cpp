// The local time zone on POSIX: localtime_r and mktime (TZ, else
// /etc/localtime). time_t has 64 bits here.
#include <ctime>

#include "framework/clock.h"
#include "framework/sysdeps.h"

namespace fw {

EpochSeconds SystemClockNow() { return std::time(nullptr); }

bool ToLocalTime(EpochSeconds t, std::tm& local) {
    const std::time_t time = t;
    return localtime_r(&time, &local) != nullptr;
}

std::optional<EpochSeconds> LocalToEpoch(const CivilDate& date, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = date.year - 1900;
    tm.tm_mon = date.month - 1;
    tm.tm_mday = date.day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    // -1 is also one second before the epoch; the normalised fields tell.
    if (t == static_cast<std::time_t>(-1) &&
        !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31 && tm.tm_hour == 23 &&
          tm.tm_min == 59 && tm.tm_sec == 59))
        return std::nullopt;
    return t;
}

}  // namespace fw
