// Two front desks on one share: two hosts scanning the same drop directory at
// the same time import each booking once.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/host/HostChild.h"
#include "tests/import/ImportFixture.h"
#include "tests/robustness/Ledger.h"

namespace robust {
namespace {

using hosttest::CountOf;
using hosttest::HostChild;

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
        HostChild first({request}), second({request});
        EXPECT_EQ(first.Finish(kBatchRun), 0) << first.Text();
        EXPECT_EQ(second.Finish(kBatchRun), 0) << second.Text();
        // A booking the other host held was passed over; one more call takes
        // up whatever both passed over.
        HostChild sweep({request});
        EXPECT_EQ(sweep.Finish(kBatchRun), 0) << sweep.Text();
        ExpectExactlyOnce(db, drop.Path(), numbers, true);
        const int imported = CountOf(first.Text() + second.Text() + sweep.Text(), "imported ");
        EXPECT_EQ(imported, 40) << first.Text() << second.Text();
    }
}

INSTANTIATE_BACKENDS(TwoHosts);

}  // namespace
}  // namespace robust
