// The progress line of a one-shot run: its arithmetic, and on a real
// pseudo-terminal that the module's trace lines stay whole beside it; with
// standard error on a pipe, no progress at all.
#include "host/Progress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/host/HostChild.h"
#include "tests/support/TestSupport.h"

namespace {

using hosttest::BookingText;
using hosttest::HostChild;

TEST(ProgressText, RateAndTimeLeftFollowFromWhatWasHandled) {
    EXPECT_EQ(host::FormatProgress(0, 500, 3.0, false),
              "reservation-host: 0 of 500 bookings handled");
    // Too early for a rate worth showing.
    EXPECT_EQ(host::FormatProgress(2, 500, 0.1, false),
              "reservation-host: 2 of 500 bookings handled");
    EXPECT_EQ(host::FormatProgress(100, 500, 10.0, false),
              "reservation-host: 100 of 500 bookings handled, 10.0/s, 0:40 left");
    EXPECT_EQ(host::FormatProgress(10, 50000, 5.0, false),
              "reservation-host: 10 of 50000 bookings handled, 2.0/s, 6:56:35 left");
    EXPECT_EQ(host::FormatProgress(500, 500, 125.0, true),
              "reservation-host: 500 of 500 bookings handled in 2:05 (4.0/s)");
    EXPECT_EQ(host::FormatProgress(0, 3, 0.0, true),
              "reservation-host: 0 of 3 bookings handled in 0:00 (0.0/s)");
}

TEST(ProgressCount, CountsRegularFilesOnly) {
    ts::TempDir dir;
    EXPECT_EQ(host::CountWaitingFiles(dir.Path()), 0);
    ts::WriteFile(dir.File("a"), "x");
    ts::WriteFile(dir.File("b.txt"), "x");
    ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink(dir.File("a").c_str(), dir.File("link").c_str()), 0);
    EXPECT_EQ(host::CountWaitingFiles(dir.Path()), 2);
    EXPECT_EQ(host::CountWaitingFiles(dir.File("missing")), -1);
}

class ProgressRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        if (!ts::BackendAvailable(ts::Backend::SQLite, &why)) GTEST_SKIP() << why;
        db_ = std::make_unique<ts::HotelDatabase>(ts::Backend::SQLite);
        for (int i = 0; i < kBookings; ++i)
            ts::WriteFile(drop_.File(ts::Cat("b", i, ".txt")),
                          BookingText("WB-" + std::to_string(i), "客人" + std::to_string(i)));
        ts::WriteFile(drop_.File("zz-empty.txt"), "");  // stays: not every booking can be handled
    }
    static constexpr int kBookings = 12;
    ts::TempDir drop_;
    std::unique_ptr<ts::HotelDatabase> db_;
};

TEST_F(ProgressRunTest, OnATerminalTraceLinesStayWholeAndTheLastLineIsFinished) {
    HostChild host({drop_.Path() + "?1!Zedi"}, HostChild::Output::Terminal);
    ASSERT_EQ(host.Finish(), 0) << host.Text();
    const std::string& out = host.Text();

    EXPECT_NE(out.find("reservation-host: 12 of 13 bookings handled in "), std::string::npos)
        << out;
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.back(), '\n');
    EXPECT_EQ(db_->Count("GstProfile"), kBookings);

    // Every trace line begins on a cleared line or a fresh one, never after
    // progress text, and is written whole.
    int imported = 0;
    for (std::size_t at = out.find("imported "); at != std::string::npos;
         at = out.find("imported ", at + 1)) {
        ++imported;
        const bool freshLine =
            at == 0 || out[at - 1] == '\n' || out.compare(at - 4, 4, "\r\033[K") == 0;
        EXPECT_TRUE(freshLine) << "glued at " << at << ": " << out;
        const std::size_t end = out.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        EXPECT_EQ(out.substr(at, end - at).find('\r'), std::string::npos)
            << out.substr(at, end - at);
    }
    EXPECT_EQ(imported, kBookings);
    const std::size_t unload = out.find("RESERVATION.DLL Terminating!\n");
    ASSERT_NE(unload, std::string::npos);
    EXPECT_EQ(unload + 29, out.size());
    EXPECT_EQ(out[unload - 1], '\n');
}

TEST_F(ProgressRunTest, OnAPipeThereIsNoProgress) {
    HostChild host({drop_.Path() + "?1!Zedi"});
    ASSERT_EQ(host.Finish(), 0) << host.Text();
    EXPECT_EQ(host.Text().find('\r'), std::string::npos) << host.Text();
    EXPECT_EQ(host.Text().find("bookings handled"), std::string::npos) << host.Text();
    EXPECT_EQ(hosttest::CountOf(host.Text(), "imported "), kBookings);
}

}  // namespace
