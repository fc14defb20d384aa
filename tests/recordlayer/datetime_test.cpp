// DateTimeValue against the local time rules: midnight of a date, the far
// side of January 2038, daylight-saving days and dates that do not exist.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "recordlayer/CDBException.h"
#include "recordlayer/DateTimeValue.h"
#include "tests/support/ScopedTimeZone.h"

namespace {

TEST(DateTimeValue, LocalMidnightOfADate) {
    ts::ScopedTimeZone zone("Asia/Shanghai");
    rl::DateTimeValue v = rl::DateTimeValue::FromLocalDate(2024, 3, 7);
    ASSERT_TRUE(v.HasValue());
    EXPECT_EQ(v.Seconds(), 1709769600 - 8 * 3600);
    const rl::LocalDateTime local = v.ToLocal();
    EXPECT_EQ(local.year, 2024);
    EXPECT_EQ(local.month, 3);
    EXPECT_EQ(local.day, 7);
    EXPECT_EQ(local.hour + local.minute + local.second, 0);
    EXPECT_EQ(rl::DateTimeValue::FromLocal(local), v);
}

TEST(DateTimeValue, DatesAfterJanuary2038) {
    ts::ScopedTimeZone zone("UTC");
    rl::DateTimeValue v = rl::DateTimeValue::FromLocalDate(2040, 2, 29);
    ASSERT_TRUE(v.HasValue());
    EXPECT_EQ(v.Seconds(), 2214086400LL);
    EXPECT_EQ(v.ToLocal().day, 29);
    rl::DateTimeValue far = rl::DateTimeValue::FromLocalDate(9999, 12, 31);
    ASSERT_TRUE(far.HasValue());
    EXPECT_EQ(far.ToLocal().year, 9999);
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
    EXPECT_EQ(summer.ToLocal().hour, 0);
}

TEST(DateTimeValue, DatesThatDoNotExistHaveNoValue) {
    ts::ScopedTimeZone zone("UTC");
    EXPECT_FALSE(rl::DateTimeValue::FromLocalDate(2023, 2, 29).HasValue());
    EXPECT_FALSE(rl::DateTimeValue::FromLocalDate(2024, 13, 1).HasValue());
    EXPECT_FALSE(rl::DateTimeValue::FromLocalDate(2024, 4, 31).HasValue());
    // One second before the epoch is a real time, not mktime's error value.
    rl::DateTimeValue before = rl::DateTimeValue::FromLocal(
        {.year = 1969, .month = 12, .day = 31, .hour = 23, .minute = 59, .second = 59});
    ASSERT_TRUE(before.HasValue());
    EXPECT_EQ(before.Seconds(), -1);
}

// The record layer's one error type, with the SQLSTATE that says what went
// wrong, also for a value that is not there or not on the calendar.
TEST(DateTimeValue, UsingAMissingOrUnrepresentableValueThrowsTheLayersError) {
    ts::ScopedTimeZone zone("UTC");
    const auto stateOf = [](const rl::DateTimeValue& v) {
        try {
            v.ToLocal();
        } catch (const rl::CDBException& e) {
            return e.SqlState();
        }
        return std::string("none");
    };
    EXPECT_EQ(stateOf(rl::DateTimeValue()), "22002");
    EXPECT_EQ(stateOf(rl::DateTimeValue(INT64_MAX)), "22008");
    EXPECT_THROW(rl::DateTimeValue().Seconds(), rl::CDBException);
}

}  // namespace
