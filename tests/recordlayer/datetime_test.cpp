// DateTimeValue against the local time rules: midnight of a date, the far
// side of January 2038, daylight-saving days and dates that do not exist.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "recordlayer/DateTimeValue.h"
#include "tests/support/ScopedTimeZone.h"

namespace {

TEST(DateTimeValue, LocalMidnightOfADate) {
    ts::ScopedTimeZone zone("Asia/Shanghai");
    rl::DateTimeValue v = rl::DateTimeValue::FromLocalDate(2024, 3, 7);
    ASSERT_TRUE(v.HasValue());
    EXPECT_EQ(v.Seconds(), 1709769600 - 8 * 3600);
    SQL_TIMESTAMP_STRUCT ts = v.ToTimestamp();
    EXPECT_EQ(ts.year, 2024);
    EXPECT_EQ(ts.month, 3);
    EXPECT_EQ(ts.day, 7);
    EXPECT_EQ(ts.hour + ts.minute + ts.second, 0);
    EXPECT_EQ(rl::DateTimeValue::FromTimestamp(ts), v);
}

TEST(DateTimeValue, DatesAfterJanuary2038) {
    ts::ScopedTimeZone zone("UTC");
    rl::DateTimeValue v = rl::DateTimeValue::FromLocalDate(2040, 2, 29);
    ASSERT_TRUE(v.HasValue());
    EXPECT_EQ(v.Seconds(), 2214086400LL);
    EXPECT_EQ(v.ToTimestamp().day, 29);
    rl::DateTimeValue far = rl::DateTimeValue::FromLocalDate(9999, 12, 31);
    ASSERT_TRUE(far.HasValue());
    EXPECT_EQ(far.ToTimestamp().year, 9999);
}

TEST(DateTimeValue, MidnightOnDaylightSavingDays) {
    ts::ScopedTimeZone zone("Europe/Berlin");
    // Summer time begins at 02:00 on 31 March 2024: midnight is still CET.
    rl::DateTimeValue spring = rl::DateTimeValue::FromLocalDate(2024, 3, 31);
    rl::DateTimeValue summer = rl::DateTimeValue::FromLocalDate(2024, 7, 1);
    ASSERT_TRUE(spring.HasValue());
    ASSERT_TRUE(summer.HasValue());
    EXPECT_EQ(spring.Seconds(), 1711839600);  // 2024-03-30T23:00:00Z
    EXPECT_EQ(summer.Seconds(), 1719784800);  // 2024-06-30T22:00:00Z
    EXPECT_EQ(summer.ToTimestamp().hour, 0);
}

TEST(DateTimeValue, DatesThatDoNotExistHaveNoValue) {
    ts::ScopedTimeZone zone("UTC");
    EXPECT_FALSE(rl::DateTimeValue::FromLocalDate(2023, 2, 29).HasValue());
    EXPECT_FALSE(rl::DateTimeValue::FromLocalDate(2024, 13, 1).HasValue());
    EXPECT_FALSE(rl::DateTimeValue::FromLocalDate(2024, 4, 31).HasValue());
    // One second before the epoch is a real time, not mktime's error value.
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = 1969;
    ts.month = 12;
    ts.day = 31;
    ts.hour = 23;
    ts.minute = 59;
    ts.second = 59;
    rl::DateTimeValue before = rl::DateTimeValue::FromTimestamp(ts);
    ASSERT_TRUE(before.HasValue());
    EXPECT_EQ(before.Seconds(), -1);
}

}  // namespace
