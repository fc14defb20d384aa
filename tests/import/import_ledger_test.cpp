// Exactly once fenced by the database: a booking file is known by its name and
// its bytes, whatever mount, machine or time stamp it is seen through, and a
// commit whose answer was lost is found imported by whoever imports the file
// next. The commit's answer is lost for real: through a relay that drops it
// (PostgreSQL, MariaDB), or a driver that commits and then reports a failure,
// and fails the disconnect after it too (SQLite).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "reservation/FileSearch.h"
#include "tests/import/ImportFixture.h"
#include "tests/support/CommitCutter.h"
#include "tests/support/FuseMirror.h"

namespace importtest {
namespace {

std::string Account(ts::HotelDatabase& db, const std::string& number) {
    return db.Scalar("select GstAcct from Reservation where CRONum = '" + number + "'");
}

class ImportLedger : public ImportTest {};

TEST_P(ImportLedger, AFileIsItsNameAndItsBytes) {
    if (!ts::HotelDatabase::HasLedger()) GTEST_SKIP() << "a database without the import ledger";
    Booking original;
    original.number = "L1";
    Booking amended = original;
    amended.rooms = "2";
    Drop("a.txt", original);
    ImportAll();
    const std::string account = Account(*db_, "L1");

    const struct {
        const char* name;
        const Booking& booking;
        bool imported;  // else already imported, as the first one's guest
    } deliveries[] = {
        {"a.txt", original, false},    // delivered again
        {"a.txt~2", original, false},  // as the module puts a file back beside a newer one
        {"a.txt", amended, true},      // amended: a new booking
        {"b.txt", original, true},     // another file with the same text
    };
    for (const auto& d : deliveries) {
        SCOPED_TRACE(d.name);
        const std::string path = Drop(d.name, d.booking);
        trace_.Clear();
        ImportAll();
        EXPECT_FALSE(ts::FileExists(path));
        EXPECT_EQ(
            trace_.Count(d.imported ? "imported " + path
                                    : "already imported " + path + " as guest account " + account),
            1u)
            << trace_.Text();
    }
    EXPECT_EQ(db_->Count("Reservation"), 3);
    EXPECT_EQ(db_->Count("BookingImport"), 3);
    EXPECT_EQ(db_->Scalar("select max(RmNumbers) from Reservation"), "2");
}

TEST_P(ImportLedger, WithoutTheTableEachCallSaysOnceThatExactlyOnceIsOff) {
    for (int call = 1; call <= 2; ++call) {
        Drop("a" + std::to_string(call), Booking{});
        Drop("b" + std::to_string(call), Booking{});
        ImportAll();
    }
    EXPECT_EQ(db_->Count("Reservation"), 4);
    EXPECT_EQ(trace_.LedgerNotices(), ts::HotelDatabase::HasLedger() ? 0u : 2u);
}

INSTANTIATE_BACKENDS(ImportLedger);

// The answer to the commit is lost; the file goes back, and the next import,
// through another mount and after a touch, finds the booking imported. With
// the ledger that is its row; without it, the claim area's mark of the file.
class CommitInDoubt : public ImportTest {
  protected:
    void SetUp() override {
        ImportTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        std::string why;
        if (!ts::FuseMirror::Available(&why)) GTEST_SKIP() << why;
        // Before the first connection through the data source: unixODBC keeps
        // what it read of odbc.ini for the process.
        std::string ini = ts::ReadFile(db_->OdbcIniPath());
        if (GetBackend() == ts::Backend::SQLite) {
#ifdef RESERVATION_COMMIT_LOST_DRIVER
            ini.replace(ini.find("Driver = "),
                        ini.find('\n', ini.find("Driver = ")) - ini.find("Driver = "),
                        std::string("Driver = ") + RESERVATION_COMMIT_LOST_DRIVER);
#else
            GTEST_SKIP() << "no SQLite ODBC driver to wrap";
#endif
        } else {
            const std::string portKey = "Port = ";
            const std::size_t at = ini.find(portKey) + portKey.size();
            const int port = std::stoi(ini.substr(at));
            cutter_ = std::make_unique<ts::CommitCutter>("127.0.0.1", port);
            ini.replace(at, ini.find('\n', at) - at, std::to_string(cutter_->Port()));
        }
        ts::WriteFile(db_->OdbcIniPath(), ini);
    }
    void TearDown() override {
        unsetenv("RESERVATION_TEST_COMMIT_LOST");
        ImportTest::TearDown();
        cutter_.reset();
    }
    void LoseTheNextCommitsAnswer() {
        if (cutter_)
            cutter_->Arm();
        else
            setenv("RESERVATION_TEST_COMMIT_LOST", "1", 1);
    }

    std::unique_ptr<ts::CommitCutter> cutter_;
};

TEST_P(CommitInDoubt, IsFoundImportedThroughAnotherMountAfterATouch) {
    Booking b;
    b.number = "D1";
    const std::string path = Drop("d.txt", b);
    LoseTheNextCommitsAnswer();
    ImportAll();
    unsetenv("RESERVATION_TEST_COMMIT_LOST");
    ASSERT_EQ(trace_.Count("can't import " + path), 1u) << trace_.Text();
    ASSERT_TRUE(ts::FileExists(path));
    ASSERT_EQ(db_->Count("Reservation"), 1);  // the server did commit
    if (cutter_) {
        EXPECT_EQ(cutter_->Cuts(), 1);
    }

    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), nullptr, 0), 0);
    const ts::FuseMirror mirror(drop_.Path());
    ASSERT_TRUE(mirror.Mounted()) << mirror.Why();
    trace_.Clear();
    ImportAll("Zedi", mirror.Path());
    EXPECT_EQ(trace_.Count("already imported " + mirror.Path() + "/d.txt as guest account " +
                           Account(*db_, "D1")),
              1u)
        << trace_.Text();
    EXPECT_FALSE(ts::FileExists(path));
    EXPECT_EQ(db_->Count("Reservation"), 1);
}

INSTANTIATE_BACKENDS(CommitInDoubt);

}  // namespace
}  // namespace importtest
