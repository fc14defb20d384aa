// Faults that would make the import benchmarks measure the wrong thing
// without failing: booking files the module reads differently than meant, a
// floor that writes other rows than the module, driver settings or pooling
// that never reach the driver.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ConnectionPooling.h"
#include "bench/DataSourceCopy.h"
#include "bench/Floor.h"
#include "bench/HostRun.h"
#include "bench/TableFill.h"
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

// A stand-in host: trace lines split over several writes, the last one
// without its newline, and a non-zero exit.
TEST(BenchHostRun, CountsImportedLinesAndKeepsTheOthers) {
    ts::TempDir dir;
    const std::string host = dir.File("host.sh");
    ts::WriteFile(
        host,
        "#!/bin/sh\n"
        "echo 'RESERVATION.DLL Initializing!' >&2\n"
        "printf 'impo' >&2; printf 'rted a as guest account 1\\nrequest=%s\\n' \"$1\" >&2\n"
        "echo \"probe=$BENCH_PROBE\" >&2\n"
        "printf 'imported b as guest account 2' >&2\n"
        "exit 3\n");
    ASSERT_EQ(chmod(host.c_str(), 0755), 0);

    const bench::HostRun run = bench::RunHost(host, "/drop", {"BENCH_PROBE=set"});
    EXPECT_EQ(run.imported, 2);
    EXPECT_EQ(run.otherLines, (std::vector<std::string>{"request=/drop?1!bench", "probe=set"}));
    EXPECT_EQ(run.exitStatus, 3);
    ASSERT_TRUE(run.firstImported.has_value());
    EXPECT_LE(*run.firstImported, run.seconds);
    EXPECT_GT(run.peakKiB, 0);
}

TEST(BenchImportRun, CountsOnlyBookingsThatWereImported) {
    ts::HotelDatabase db(ts::Backend::SQLite);
    ts::TempDir drop;
    bench::WriteBookingFiles(drop.Path(), 1, 1);
    bench::BookingValues undated = bench::BookingFor(2);
    undated.arrival = "someday";
    ts::WriteFile(drop.File("undated.txt"), bench::BookingFileText(undated));

    const bench::ImportRun run = bench::ImportDropDirectory(drop.Path());
    EXPECT_EQ(run.imported, 1);
    EXPECT_EQ(run.otherLines, 1);
    ASSERT_EQ(run.firstProblems.size(), 1u);
    EXPECT_NE(run.firstProblems[0].find("undated.txt"), std::string::npos) << run.firstProblems[0];
    EXPECT_FALSE(run.firstProblems[0].ends_with("\n"));
    EXPECT_EQ(db.Count("Reservation"), 1);
}

// The driver reads the first of two lines with one keyword, so a setting
// must replace the line it overrides.
TEST(BenchDataSourceCopy, ReplacesKeywordsAndAddsNewOnes) {
    ts::HotelDatabase db(ts::Backend::SQLite);
    const bench::DataSourceCopy copy(db, "pooled-driver", {"Timeout=5", "SyncPragma=FULL"});
    std::istringstream text(ts::ReadFile(std::getenv("ODBCINI")));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);

    auto count = [&lines](const std::string& prefix) {
        return std::count_if(lines.begin(), lines.end(),
                             [&prefix](const std::string& l) { return l.starts_with(prefix); });
    };
    EXPECT_EQ(lines.front(), "[velmardb]");
    EXPECT_EQ(count("Driver"), 1);
    EXPECT_EQ(count("Driver=pooled-driver"), 1);
    EXPECT_EQ(count("Timeout"), 1);
    EXPECT_EQ(count("Timeout=5"), 1);
    EXPECT_EQ(count("SyncPragma=FULL"), 1);
    EXPECT_EQ(count("Database = " + db.DatabaseName()), 1);
}

class BenchDatabase : public ts::BackendTest {
  protected:
    void SetUp() override {
        ts::BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        fw::SetClockSource([] { return std::time_t{1773000000}; });
    }
    void TearDown() override { fw::SetClockSource({}); }

    // Every row of the three tables the import writes, in insertion order,
    // and how many ledger rows, for which account (their keys differ).
    // (The module takes a drop directory in the file system's order, so the
    // comparison below uses one booking.)
    static std::vector<std::vector<ts::Row>> Written(ts::HotelDatabase& db) {
        return {db.Query("select * from GstProfile order by Acct"),
                db.Query("select * from Reservation order by Register"),
                db.Query("select * from FOLIO order by Serial"),
                db.Query("select count(*), min(GstAcct) from BookingImport")};
    }
};

TEST_P(BenchDatabase, FloorsWriteTheRowsTheModuleWrites) {
    std::vector<std::vector<ts::Row>> byFloor, byRules, byModule;
    {
        ts::HotelDatabase db(GetBackend());
        bench::RunFloor(1, 1);
        byFloor = Written(db);
    }
    {
        ts::HotelDatabase db(GetBackend());
        ts::TempDir drop;
        bench::WriteBookingFiles(drop.Path(), 1, 1);
        bench::RunRulesFloor(GetBackend(), drop.Path(), 1, 1);
        byRules = Written(db);
        EXPECT_FALSE(ts::FileExists(drop.File("booking-0000001.txt")));
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
    EXPECT_EQ(byRules, byModule);
}

TEST_P(BenchDatabase, DataSourceCopyReachesTheDriverAndIsUndone) {
    ts::HotelDatabase db(GetBackend());
    const bool mariadb = GetBackend() == ts::Backend::MariaDB;
    const char* setting =
        GetBackend() == ts::Backend::SQLite ? "SyncPragma=OFF"
        : mariadb                           ? "INITSTMT=SET SESSION sql_mode = 'ANSI_QUOTES'"
                  : "ConnSettings=SET client_encoding TO 'GBK';SET synchronous_commit TO off";
    {
        const bench::DataSourceCopy copy(db, "", {setting});
        EXPECT_NE(std::string(std::getenv("ODBCINI")), db.OdbcIniPath());
        // MariaDB's flush setting is the server's, not the session's.
        const std::string settings =
            mariadb ? db.Scalar("select @@session.sql_mode") : bench::DurabilitySettings(db);
        if (mariadb)
            EXPECT_EQ(settings, "ANSI_QUOTES");
        else if (GetBackend() == ts::Backend::SQLite)
            EXPECT_NE(settings.find("synchronous=0 (OFF)"), std::string::npos) << settings;
        else
            EXPECT_NE(settings.find("synchronous_commit=off"), std::string::npos) << settings;
    }
    EXPECT_EQ(std::string(std::getenv("ODBCINI")), db.OdbcIniPath());
}

// A temporary table lives as long as its physical connection: a second
// DbConnection sees it only when the driver manager handed back the same one.
bool SecondConnectionIsTheFirst() {
    {
        rl::DbConnection first;
        first.OpenConnection(ts::kModuleConnect, 0);
        first.ExecuteDirect("create temporary table pooled_probe (x integer)");
        first.CloseConnection();
    }
    rl::DbConnection second;
    second.OpenConnection(ts::kModuleConnect, 0);
    try {
        second.ExecuteDirect("insert into pooled_probe (x) values (1)");
        return true;
    } catch (const rl::CDBException&) {
        return false;
    }
}

TEST_P(BenchDatabase, PoolingHandsBackTheSameConnection) {
    const bench::ConnectionPooling pooling;
    ts::HotelDatabase db(GetBackend());
    const bench::DataSourceCopy copy(db, bench::PooledDriverName(GetBackend()), {});
    EXPECT_TRUE(SecondConnectionIsTheFirst());
}

// What the package ships (packaging/odbcinst.ini, the data source's driver
// name and keywords) pools: the figures "shipped configuration" rest on it.
TEST_P(BenchDatabase, TheShippedConfigurationPools) {
    const bench::ShippedConfiguration shipped = bench::ReadShippedConfiguration(GetBackend());
    if (shipped.driver.empty()) GTEST_SKIP() << "no data source shipped for this database";
    const bench::ConnectionPooling pooling(shipped.odbcinstIni);
    ts::HotelDatabase db(GetBackend());
    const bench::DataSourceCopy copy(db, shipped.driver, shipped.settings);
    EXPECT_TRUE(SecondConnectionIsTheFirst());
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

TEST_P(BenchDatabase, HostImportsThroughTheSameDataSource) {
    ts::HotelDatabase db(GetBackend());
    ts::TempDir drop;
    bench::WriteBookingFiles(drop.Path(), 1, 3);
    // An unloaded driver library leaves leaks the checker cannot attribute.
    const bench::HostRun run =
        bench::RunHost(bench::DefaultHostPath(), drop.Path(), {"ASAN_OPTIONS=detect_leaks=0"});
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(run.imported, 3);
    EXPECT_TRUE(run.otherLines.empty()) << run.otherLines.front();
    EXPECT_TRUE(std::filesystem::is_empty(drop.Path()));
    EXPECT_EQ(db.Count("Reservation"), 3);
}

// Accounts do not start at 1 here, so rows that assumed they did would
// point at the wrong guests.
TEST_P(BenchDatabase, FilledReservationsAndFoliosBelongToTheFilledGuests) {
    ts::HotelDatabase db(GetBackend());
    db.Execute("insert into GstProfile (ChnName, OrgClerk) values ('earlier', 'desk')");
    bench::FillHotelTables(db, 50);

    EXPECT_EQ(db.Count("GstProfile"), 51);
    EXPECT_EQ(db.Scalar("select count(*) from Reservation r join GstProfile g on g.Acct = r.GstAcct"
                        " where g.OrgClerk = 'fill'"),
              "50");
    EXPECT_EQ(db.Scalar("select count(*) from FOLIO f join GstProfile g on g.Acct = f.GstAcct"
                        " where g.OrgClerk = 'fill'"),
              "50");
    EXPECT_EQ(db.Scalar("select count(distinct ChnName) from GstProfile where OrgClerk = 'fill'"),
              "50");
    EXPECT_EQ(db.Scalar("select count(distinct CRONum) from Reservation"), "50");
    EXPECT_EQ(db.Scalar("select count(distinct OrgTime) from GstProfile where OrgClerk = 'fill'"),
              "50");
    EXPECT_EQ(db.Scalar("select min(OrgTime) from GstProfile where OrgClerk = 'fill'"), "00:00:01");
}

INSTANTIATE_BACKENDS(BenchDatabase);

}  // namespace
