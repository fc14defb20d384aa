#include "framework/clock.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <optional>
#include <string>

#include "tests/support/Encoding.h"
#include "tests/support/ScopedTimeZone.h"
#include "tests/support/TempDir.h"

using fw::CivilDate;
using fw::ParseDate;
using ts::Gbk;

namespace {

using ts::ScopedTimeZone;

class PinnedClock {
  public:
    explicit PinnedClock(std::time_t t) {
        fw::SetClockSource([t] { return t; });
    }
    ~PinnedClock() { fw::SetClockSource({}); }
    PinnedClock(const PinnedClock&) = delete;
    PinnedClock& operator=(const PinnedClock&) = delete;
};

std::string LocalDate(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char buffer[32];
    strftime(buffer, sizeof buffer, "%Y-%m-%d", &tm);
    return buffer;
}

}  // namespace

TEST(LocalClock, PinnedSourceIsFormattedInLocalTime) {
    ScopedTimeZone tz("CST-8");
    {
        PinnedClock clock(0);
        fw::ClockReading r = fw::ReadLocalClock();
        EXPECT_EQ(r.time, "08:00:00");
        EXPECT_EQ(r.date, "1970-01-01");
    }
    // After 2038: the clock must not wrap.
    PinnedClock clock(4102444799);  // 2099-12-31 23:59:59 UTC
    fw::ClockReading r = fw::ReadLocalClock();
    EXPECT_EQ(r.time, "07:59:59");
    EXPECT_EQ(r.date, "2100-01-01");
}

TEST(LocalClock, EmptySourceRestoresTheRealClock) {
    { PinnedClock clock(0); }
    std::time_t before = time(nullptr);
    fw::ClockReading r = fw::ReadLocalClock();
    std::time_t after = time(nullptr);
    EXPECT_TRUE(r.date == LocalDate(before) || r.date == LocalDate(after)) << r.date;
    ASSERT_EQ(r.time.size(), 8u);
    EXPECT_EQ(r.time[2], ':');
    EXPECT_EQ(r.time[5], ':');
}

TEST(ParseDate, AcceptsTheFourWrittenForms) {
    const CivilDate expected{2024, 3, 5};
    EXPECT_EQ(ParseDate("2024-03-05"), expected);
    EXPECT_EQ(ParseDate("2024/03/05"), expected);
    EXPECT_EQ(ParseDate("2024.03.05"), expected);
    EXPECT_EQ(ParseDate("2024-3-5"), expected);
    EXPECT_EQ(ParseDate("2024/3/05"), expected);
    EXPECT_EQ(ParseDate(" \t2024-03-05"), expected);
    EXPECT_EQ(ParseDate(Gbk("2024年3月5日")), expected);
    EXPECT_EQ(ParseDate(Gbk("2024年03月05日")), expected);
    EXPECT_EQ(ParseDate(Gbk("2024年12月31日 10:00")), (CivilDate{2024, 12, 31}));
}

TEST(ParseDate, TimeOfDayIsIgnored) {
    const CivilDate expected{2024, 3, 5};
    EXPECT_EQ(ParseDate("2024-03-05 14:30:00"), expected);
    EXPECT_EQ(ParseDate("2024-03-05T14:30:00Z"), expected);
    EXPECT_EQ(ParseDate("2024/3/5\r\n"), expected);
    EXPECT_EQ(ParseDate("2024-03-05 anything at all"), expected);
    // Only the text of the view counts, not what lies behind it.
    EXPECT_EQ(ParseDate(std::string_view("2024-03-051", 10)), expected);
}

TEST(ParseDate, RejectsMalformedText) {
    for (std::string_view text :
         {"", "   ", "garbage", "2024", "2024-03", "2024-03-", "24-03-05", "12024-03-05",
          "2024-003-05", "2024-03-005", "2024-03-05x", "2024-03-05:", "2024-03/05", "2024/03-05",
          "2024 03 05", "-2024-03-05", "2024--03-05", "2024-+3-05"}) {
        EXPECT_EQ(ParseDate(text), std::nullopt) << text;
    }
    EXPECT_EQ(ParseDate(Gbk("2024年3月5")), std::nullopt);
    EXPECT_EQ(ParseDate(Gbk("2024年3-5")), std::nullopt);
    EXPECT_EQ(ParseDate(Gbk("2024年3月5日") + "x"), std::nullopt);
}

TEST(ParseDate, ChecksTheCalendar) {
    EXPECT_EQ(ParseDate("2024-02-29"), (CivilDate{2024, 2, 29}));
    EXPECT_EQ(ParseDate("2000-02-29"), (CivilDate{2000, 2, 29}));
    EXPECT_EQ(ParseDate("2023-02-29"), std::nullopt);
    EXPECT_EQ(ParseDate("1900-02-29"), std::nullopt);
    EXPECT_EQ(ParseDate("2024-02-30"), std::nullopt);
    EXPECT_EQ(ParseDate("2024-04-31"), std::nullopt);
    EXPECT_EQ(ParseDate("2024-13-01"), std::nullopt);
    EXPECT_EQ(ParseDate("2024-00-10"), std::nullopt);
    EXPECT_EQ(ParseDate("2024-01-00"), std::nullopt);
    EXPECT_EQ(ParseDate("2024-01-32"), std::nullopt);
    EXPECT_EQ(ParseDate("0000-01-01"), std::nullopt);
    EXPECT_EQ(ParseDate("0001-01-01"), (CivilDate{1, 1, 1}));
    EXPECT_EQ(ParseDate("9999-12-31"), (CivilDate{9999, 12, 31}));
}

TEST(DaysBetween, CountsWholeDaysAcrossYears) {
    EXPECT_EQ(fw::DaysBetween({2023, 12, 31}, {2024, 1, 1}), 1);
    EXPECT_EQ(fw::DaysBetween({2024, 1, 1}, {2023, 12, 31}), -1);
    EXPECT_EQ(fw::DaysBetween({2024, 1, 1}, {2025, 1, 1}), 366);
    EXPECT_EQ(fw::DaysBetween({2023, 1, 1}, {2024, 1, 1}), 365);
    EXPECT_EQ(fw::DaysBetween({2024, 2, 28}, {2024, 3, 1}), 2);
    EXPECT_EQ(fw::DaysBetween({2024, 3, 5}, {2024, 3, 5}), 0);
    EXPECT_EQ(fw::DaysBetween({1, 1, 1}, {9999, 12, 31}), 3652058);
}

TEST(DaysBetween, AgreesWithTheSystemCalendar) {
    ScopedTimeZone tz("UTC0");
    const CivilDate epoch{1970, 1, 1};
    for (int year : {1601, 1899, 1900, 1969, 1970, 2000, 2038, 2100, 2400, 9999}) {
        for (int month = 1; month <= 12; ++month) {
            std::tm tm{};
            tm.tm_year = year - 1900;
            tm.tm_mon = month - 1;
            tm.tm_mday = 28;
            long expected = static_cast<long>(timegm(&tm) / 86400);
            EXPECT_EQ(fw::DaysBetween(epoch, {year, month, 28}), expected) << year << "-" << month;
        }
    }
}

TEST(DaysBetween, DaylightSavingChangeDoesNotShortenANight) {
    ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(fw::DaysBetween(*ParseDate("2024-03-30"), *ParseDate("2024-04-01")), 2);
    EXPECT_EQ(fw::DaysBetween(*ParseDate("2024-10-26"), *ParseDate("2024-10-28")), 2);
}
