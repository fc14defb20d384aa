// Two front desks on one share: two hosts scanning the same drop directory at
// the same time import each booking once.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/import/ImportFixture.h"
#include "tests/robustness/HostProcess.h"
#include "tests/robustness/Ledger.h"

namespace robust {
namespace {

class TwoHosts : public ts::BackendTest {};

TEST_P(TwoHosts, EachBookingIsImportedOnce) {
    ts::HotelDatabase db(GetBackend());
    ts::TempDir drop;
    std::set<std::string> numbers;
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 40; ++i) {
            importtest::Booking b;
            b.number = "T" + std::to_string(round) + "-" + std::to_string(i);
            b.guest = "客" + b.number;
            ts::WriteFile(drop.File(b.number + ".txt"), b.FileText());
            numbers.insert(b.number);
        }
        const std::string request = drop.Path() + "?1!desk";
        HostProcess first({request}), second({request});
        EXPECT_EQ(first.Wait(), 0) << first.Output();
        EXPECT_EQ(second.Wait(), 0) << second.Output();
        // A booking the other host held was passed over; one more call takes
        // up whatever both passed over.
        HostProcess sweep({request});
        EXPECT_EQ(sweep.Wait(), 0) << sweep.Output();
        ExpectExactlyOnce(db, drop.Path(), numbers, true);
        const int imported =
            CountOf(first.Output() + second.Output() + sweep.Output(), "imported ");
        EXPECT_EQ(imported, 40) << first.Output() << second.Output();
    }
}

INSTANTIATE_BACKENDS(TwoHosts);

}  // namespace
}  // namespace robust
