// Faults that would make the import benchmarks measure the wrong thing
// without failing: booking files the module reads differently than meant, a
// floor that writes other rows than the module, driver settings or pooling
// that never reach the driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ConnectionPooling.h"
#include "bench/DataSourceCopy.h"
#include "bench/Floor.h"
#include "framework/clock.h"
#include "recordlayer/CDBException.h"
#include "recordlayer/DbConnection.h"
#include "reservation/FileSearch.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(BenchBookingFile, SplitsIntoTheFieldsTheImportReads) {
    const bench::BookingValues booking = bench::BookingFor(42);
    resv::BookingFields table;
    EXPECT_EQ(resv::SplitBooking(bench::BookingFileText(booking), table), resv::kFileFieldCount);
    EXPECT_EQ(table[1], "WB-0000042");
    EXPECT_EQ(ts::Utf8(table[2]), "网络预订");
    EXPECT_EQ(ts::Utf8(table[5]), "标准间");
    EXPECT_EQ(ts::Utf8(table[6]), "现金");
    EXPECT_EQ(table[7], "2026-03-17");
    EXPECT_EQ(table[8], "2026-03-20");
    EXPECT_EQ(ts::Utf8(table[9]), "宾客0000042");
    EXPECT_EQ(table[11], "2");
    EXPECT_EQ(table[12], "1");
    EXPECT_EQ(table[13], "");
    EXPECT_EQ(table[14], "");
    EXPECT_EQ(table[15], "1000");
    EXPECT_EQ(ts::Utf8(table[16]), "无烟");
    EXPECT_NE(bench::BookingFor(43).guest, booking.guest);
    EXPECT_NE(bench::BookingFor(43).number, booking.number);
}

TEST(BenchOptions, ValuesFlagsAndRepeats) {
    const char* argv[] = {"bench",    "--count=5", "--backend", "sqlite",
                          "--pooled", "--dsn",     "A=1",       "--dsn=B=2"};
    const bench::Options options(static_cast<int>(std::size(argv)), const_cast<char**>(argv));
    EXPECT_EQ(options.Int("count", 1), 5);
    EXPECT_EQ(options.Int("rows", 7), 7);
    EXPECT_TRUE(options.Has("pooled"));
    EXPECT_EQ(options.Text("pooled", "x"), "");
    EXPECT_EQ(options.All("dsn"), (std::vector<std::string>{"A=1", "B=2"}));
    EXPECT_EQ(options.Backends(), std::vector<ts::Backend>{ts::Backend::SQLite});

    const char* bad[] = {"bench", "--count=0", "--backend=oracle"};
    const bench::Options wrong(3, const_cast<char**>(bad));
    EXPECT_THROW(wrong.Int("count", 1), std::invalid_argument);
    EXPECT_THROW(wrong.Backends(), std::invalid_argument);
}

class BenchDatabase : public ts::BackendTest {
  protected:
    void SetUp() override {
        ts::BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        fw::SetClockSource([] { return std::time_t{1773000000}; });
    }
    void TearDown() override { fw::SetClockSource({}); }

    // Every row of the three tables the import writes, in insertion order.
    // (The module takes a drop directory in the file system's order, so the
    // comparison below uses one booking.)
    static std::vector<std::vector<ts::Row>> Written(ts::HotelDatabase& db) {
        return {db.Query("select * from GstProfile order by Acct"),
                db.Query("select * from Reservation order by Register"),
                db.Query("select * from FOLIO order by Serial")};
    }
};

TEST_P(BenchDatabase, FloorWritesTheRowsTheModuleWrites) {
    std::vector<std::vector<ts::Row>> byFloor, byModule;
    {
        ts::HotelDatabase db(GetBackend());
        bench::RunFloor(1, 1);
        byFloor = Written(db);
    }
    {
        ts::HotelDatabase db(GetBackend());
        ts::TempDir drop;
        bench::WriteBookingFiles(drop.Path(), 1, 1);
        const bench::ImportRun run = bench::ImportDropDirectory(drop.Path());
        ASSERT_EQ(run.imported, 1) << (run.firstProblems.empty() ? "" : run.firstProblems[0]);
        EXPECT_EQ(run.otherLines, 0);
        byModule = Written(db);
    }
    ASSERT_EQ(byFloor[0].size(), 1u);
    EXPECT_EQ(byFloor, byModule);
}

TEST_P(BenchDatabase, DataSourceCopyReachesTheDriverAndIsUndone) {
    ts::HotelDatabase db(GetBackend());
    const char* setting =
        GetBackend() == ts::Backend::SQLite
            ? "SyncPragma=OFF"
            : "ConnSettings=SET client_encoding TO 'GBK';SET synchronous_commit TO off";
    {
        const bench::DataSourceCopy copy(db, "", {setting});
        EXPECT_NE(std::string(std::getenv("ODBCINI")), db.OdbcIniPath());
        const std::string settings = bench::DurabilitySettings(db);
        if (GetBackend() == ts::Backend::SQLite)
            EXPECT_NE(settings.find("synchronous=0 (OFF)"), std::string::npos) << settings;
        else
            EXPECT_NE(settings.find("synchronous_commit=off"), std::string::npos) << settings;
    }
    EXPECT_EQ(std::string(std::getenv("ODBCINI")), db.OdbcIniPath());
}

// A temporary table lives as long as its physical connection: a second
// DbConnection sees it only when the driver manager handed back the same one.
TEST_P(BenchDatabase, PoolingHandsBackTheSameConnection) {
    const bench::ConnectionPooling pooling;
    ts::HotelDatabase db(GetBackend());
    const bench::DataSourceCopy copy(db, bench::PooledDriverName(GetBackend()), {});
    {
        rl::DbConnection first;
        first.OpenConnection(ts::kModuleConnect, 0);
        first.ExecuteDirect("create temporary table pooled_probe (x integer)");
        first.CloseConnection();
    }
    rl::DbConnection second;
    second.OpenConnection(ts::kModuleConnect, 0);
    EXPECT_NO_THROW(second.ExecuteDirect("insert into pooled_probe (x) values (1)"));
}

TEST_P(BenchDatabase, WithoutPoolingEachConnectionIsNew) {
    ts::HotelDatabase db(GetBackend());
    {
        rl::DbConnection first;
        first.OpenConnection(ts::kModuleConnect, 0);
        first.ExecuteDirect("create temporary table pooled_probe (x integer)");
    }
    rl::DbConnection second;
    second.OpenConnection(ts::kModuleConnect, 0);
    EXPECT_THROW(second.ExecuteDirect("insert into pooled_probe (x) values (1)"), rl::CDBException);
}

INSTANTIATE_BACKENDS(BenchDatabase);

}  // namespace
