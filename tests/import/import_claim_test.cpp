// What a claim does for the writers of booking files: a file delivered under
// the same name while a booking is being imported is a new booking, a
// writer's temporary file is never read, and a new file is never looked up
// as an earlier import, whatever the tables hold.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "reservation/BookingClaim.h"
#include "reservation/FileSearch.h"
#include "reservation/ImportBooking.h"
#include "tests/import/ImportFixture.h"

namespace importtest {
namespace {

class ImportClaim : public ImportTest {};

TEST_P(ImportClaim, ABookingRenamedOntoTheNameDuringAnImportIsANewBooking) {
    Booking first, second;
    first.number = "FIRST";
    second.number = "SECOND";
    const std::string path = Drop("book.txt", first);
    // The usual writer: a temporary file, then a rename onto the final name,
    // while the first booking is in its transaction.
    auto previous = resv::SetBookingHandler([&](int, resv::BookingClaim& claim) {
        const std::string temporary = DropBytes(".tmp-w1", second.FileText());
        EXPECT_EQ(std::rename(temporary.c_str(), path.c_str()), 0);
        return resv::ImportBooking(claim);
    });
    ImportAll();
    resv::SetBookingHandler(previous);
    EXPECT_EQ(One("select CRONum from Reservation")[0], "FIRST");
    EXPECT_EQ(ts::ReadFile(path), second.FileText());  // delivered, unread, kept

    ImportAll();
    EXPECT_EQ(db_->Count("Reservation"), 2);
    EXPECT_FALSE(ts::FileExists(path));
    EXPECT_EQ(trace_.Count("imported " + path), 2u) << trace_.Text();
}

TEST_P(ImportClaim, WritersTemporaryFilesAreNeverRead) {
    const std::string temporary = Drop(".tmp-w1", Booking{});
    ImportAll();
    EXPECT_EQ(db_->Count("Reservation"), 0);
    EXPECT_TRUE(ts::FileExists(temporary));
    EXPECT_EQ(trace_.Lines().size(), 0u) << trace_.Text();
}

TEST_P(ImportClaim, ANewFileIsNotLookedUpAsAnEarlierImport) {
    const Booking b;
    Drop("a.txt", b);
    ImportAll();
    Drop("b.txt", b);  // the same booking sent twice is two deliveries
    ImportAll();
    EXPECT_EQ(db_->Count("Reservation"), 2);
    EXPECT_EQ(trace_.Count("already imported"), 0u) << trace_.Text();
}

INSTANTIATE_BACKENDS(ImportClaim);

}  // namespace
}  // namespace importtest
