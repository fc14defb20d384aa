#include "recordlayer/DateTimeValue.h"

#include <ctime>
#include <stdexcept>

#include "framework/clock.h"

namespace rl {
DateTimeValue DateTimeValue::FromLocalDate(int year, int month, int day) {
    const std::optional<fw::EpochSeconds> seconds = fw::FromLocalTime({year, month, day}, 0, 0, 0);
    return seconds ? DateTimeValue(*seconds) : DateTimeValue();
}

DateTimeValue DateTimeValue::FromTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
    const std::optional<fw::EpochSeconds> seconds =
        fw::FromLocalTime({ts.year, ts.month, ts.day}, ts.hour, ts.minute, ts.second);
    return seconds ? DateTimeValue(*seconds) : DateTimeValue();
}

SQL_TIMESTAMP_STRUCT DateTimeValue::ToTimestamp() const {
    std::tm tm{};
    if (!fw::ToLocalTime(Seconds(), tm))
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
