#include "recordlayer/DateTimeValue.h"

#include <ctime>
#include <stdexcept>

#include "framework/clock.h"

namespace rl {
namespace {

// mktime with the local rules deciding daylight-saving time; no value when the
// fields do not name a representable local time.
std::optional<std::int64_t> LocalToSeconds(int year, int month, int day, int hour, int minute,
                                           int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);
    // -1 is also one second before the epoch; the normalised fields tell.
    if (t == static_cast<std::time_t>(-1) &&
        !(tm.tm_year == 69 && tm.tm_mon == 11 && tm.tm_mday == 31 && tm.tm_hour == 23 &&
          tm.tm_min == 59 && tm.tm_sec == 59))
        return std::nullopt;
    // A date that does not exist (30 February) comes back normalised.
    if (tm.tm_year != year - 1900 || tm.tm_mon != month - 1 || tm.tm_mday != day)
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

}  // namespace

DateTimeValue DateTimeValue::FromLocalDate(int year, int month, int day) {
    std::optional<std::int64_t> seconds = LocalToSeconds(year, month, day, 0, 0, 0);
    return seconds ? DateTimeValue(*seconds) : DateTimeValue();
}

DateTimeValue DateTimeValue::FromTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
    std::optional<std::int64_t> seconds =
        LocalToSeconds(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second);
    return seconds ? DateTimeValue(*seconds) : DateTimeValue();
}

SQL_TIMESTAMP_STRUCT DateTimeValue::ToTimestamp() const {
    std::time_t t = static_cast<std::time_t>(Seconds());
    std::tm tm{};
    if (!fw::ToLocalTime(t, tm))
        throw std::out_of_range("date-time value outside the local calendar");
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(tm.tm_year + 1900);
    ts.month = static_cast<SQLUSMALLINT>(tm.tm_mon + 1);
    ts.day = static_cast<SQLUSMALLINT>(tm.tm_mday);
    ts.hour = static_cast<SQLUSMALLINT>(tm.tm_hour);
    ts.minute = static_cast<SQLUSMALLINT>(tm.tm_min);
    ts.second = static_cast<SQLUSMALLINT>(tm.tm_sec);
    ts.fraction = 0;
    return ts;
}

}  // namespace rl
