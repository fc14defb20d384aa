#include "recordlayer/DateTimeValue.h"

#include <ctime>

#include "framework/clock.h"
#include "recordlayer/CDBException.h"

namespace rl {
namespace {

// mktime with the local rules deciding daylight-saving time; no value when the
// fields do not name a representable local time.
std::optional<std::int64_t> LocalToSeconds(const LocalDateTime& local) {
    std::tm tm{};
    tm.tm_year = local.year - 1900;
    tm.tm_mon = local.month - 1;
    tm.tm_mday = local.day;
    tm.tm_hour = local.hour;
    tm.tm_min = local.minute;
    tm.tm_sec = local.second;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    // -1 is also one second before the epoch; the normalised fields tell.
    if (t == static_cast<std::time_t>(-1) &&
        !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31 && tm.tm_hour == 23 &&
          tm.tm_min == 59 && tm.tm_sec == 59))
        return std::nullopt;
    // A date that does not exist (30 February) comes back normalised.
    if (tm.tm_year != local.year - 1900 || tm.tm_mon != local.month - 1 || tm.tm_mday != local.day)
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

}  // namespace

DateTimeValue DateTimeValue::FromLocalDate(int year, int month, int day) {
    return FromLocal({.year = year, .month = month, .day = day});
}

DateTimeValue DateTimeValue::FromLocal(const LocalDateTime& local) {
    std::optional<std::int64_t> seconds = LocalToSeconds(local);
    return seconds ? DateTimeValue(*seconds) : DateTimeValue();
}

std::int64_t DateTimeValue::Seconds() const {
    if (!seconds_) throw CDBException("22002", 0, "a date-time without a value was used");
    return *seconds_;
}

LocalDateTime DateTimeValue::ToLocal() const {
    const auto t = static_cast<std::time_t>(Seconds());
    std::tm tm{};
    if (!fw::ToLocalTime(t, tm))
        throw CDBException("22008", 0,
                           "date-time value " + std::to_string(t) + " outside the local calendar");
    return {.year = tm.tm_year + 1900,
            .month = tm.tm_mon + 1,
            .day = tm.tm_mday,
            .hour = tm.tm_hour,
            .minute = tm.tm_min,
            .second = tm.tm_sec};
}

}  // namespace rl
