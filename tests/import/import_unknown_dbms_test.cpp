// A database whose family the record layer does not know reports no assigned
// identity: the import then reads the new guest profile back by import time,
// name and clerk, takes the newest, and says so once per Search call.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/import/ImportFixture.h"

#ifdef RESERVATION_UNKNOWN_DBMS_DRIVER

namespace importtest {
namespace {

constexpr const char* kNotice = "Nimbus DB reports no assigned identity";

class ImportUnknownDbms : public ImportTest {
  protected:
    void SetUp() override {
        ImportTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        // Before the first connection through the data source: unixODBC keeps
        // what it read of odbc.ini, so this needs a process of its own (CTest
        // runs each case in one).
        ts::WriteFile(db_->OdbcIniPath(),
                      std::string("[velmardb]\nDriver = ") + RESERVATION_UNKNOWN_DBMS_DRIVER +
                          "\nDatabase = " + db_->DatabaseName() + "\nTimeout = 10000\n");
    }
};

TEST_P(ImportUnknownDbms, TheSameNameTwiceInOneSecondGetsTwoAccounts) {
    Booking first, second;
    first.number = "U1";
    second.number = "U2";
    first.guest = second.guest = "O'Brien 张";  // a quote: the name is a bound parameter
    Drop("1.txt", first);
    Drop("2.txt", second);
    ImportAll();

    EXPECT_EQ(trace_.Count(kNotice), 1u) << trace_.Text();
    EXPECT_EQ(trace_.Count("imported "), 2u) << trace_.Text();
    // Each reservation and its folio hang on a profile of that guest, and the
    // second booking did not take the first one's.
    std::set<std::string> accounts;
    for (const ts::Row& row : db_->Query("select r.GstAcct, g.ChnName from Reservation r"
                                         " join FOLIO f on f.GstAcct = r.GstAcct"
                                         " join GstProfile g on g.Acct = r.GstAcct")) {
        accounts.insert(row[0].value_or(""));
        EXPECT_EQ(Text(row[1]), "O'Brien 张");
    }
    EXPECT_EQ(accounts.size(), 2u);

    // The next call says it again, once.
    trace_.Clear();
    Booking third;
    third.number = "U3";
    Drop("3.txt", third);
    ImportAll();
    EXPECT_EQ(trace_.Count(kNotice), 1u) << trace_.Text();
    EXPECT_EQ(db_->Count("Reservation"), 3);
}

INSTANTIATE_TEST_SUITE_P(Renamed, ImportUnknownDbms, ::testing::Values(ts::Backend::SQLite),
                         ts::BackendParamName);

}  // namespace
}  // namespace importtest

#endif
