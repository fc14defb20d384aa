#include "recordlayer/DateTimeValue.h"

#include <ctime>
#include <string>

#include "framework/clock.h"
#include "recordlayer/CDBException.h"

namespace rl {

DateTimeValue DateTimeValue::FromLocalDate(int year, int month, int day) {
    return FromLocal({.year = year, .month = month, .day = day});
}

DateTimeValue DateTimeValue::FromLocal(const LocalDateTime& local) {
    // 64-bit seconds on every platform, the 32-bit Windows DLL's too.
    const std::optional<fw::EpochSeconds> seconds = fw::FromLocalTime(
        {local.year, local.month, local.day}, local.hour, local.minute, local.second);
    return seconds ? DateTimeValue(*seconds) : DateTimeValue();
}

std::int64_t DateTimeValue::Seconds() const {
    if (!seconds_) throw CDBException("22002", 0, "a date-time without a value was used");
    return *seconds_;
}

LocalDateTime DateTimeValue::ToLocal() const {
    const std::int64_t t = Seconds();
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
