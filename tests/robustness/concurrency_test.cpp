// Front desks on one share: hosts scanning the same drop directory at the
// same time import each booking once, also where no lock reaches from one
// machine to another and hosts die in the middle.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

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

// Three machines on one network share: flock and leases do not reach from
// one to the other (the test module's RESERVATION_TEST_NO_LOCKS stands for
// that), so the claims alone keep them apart. Hosts are killed at random
// between and during rounds; what they held is taken up by the next ones.
class ThreeHostsWithoutLocks : public ts::BackendTest {};

TEST_P(ThreeHostsWithoutLocks, EveryBookingLandsOnceAndNoClaimIsLeft) {
    const int bookings = GetBackend() == ts::Backend::SQLite ? 200 : 1000;
    ts::HotelDatabase db(GetBackend());
    ts::TempDir drop;
    std::set<std::string> numbers;
    for (int i = 0; i < bookings; ++i) {
        importtest::Booking b;
        b.number = "S" + std::to_string(i);
        b.guest = "客" + b.number;
        const std::string path = drop.File(b.number + ".txt");
        ts::WriteFile(path, b.FileText());
        numbers.insert(b.number);
    }

    std::mt19937 random(std::random_device{}());
    const std::string request = drop.Path() + "?1!desk";
    const std::vector<std::string> args = {"--module", hosttest::TestModulePath(), request};
    // Without a lease a file is taken once left alone for a while; these
    // are complete from the start.
    const std::vector<std::string> env = {"RESERVATION_TEST_NO_LOCKS=1", "RESERVATION_MIN_AGE=0"};
    int killed = 0;
    for (int round = 0; round < 6; ++round) {
        std::vector<std::unique_ptr<HostChild>> hosts;
        for (int h = 0; h < 3; ++h)
            hosts.push_back(std::make_unique<HostChild>(args, HostChild::Output::Pipe,
                                                        hosttest::HostPath(), env));
        // One of them dies at a moment nobody chose, unless this is the last
        // round, which must finish the work.
        if (round < 5) {
            hosts[random() % 3]->Drain(std::chrono::milliseconds(50 + random() % 400));
            hosts[random() % 3]->Signal(SIGKILL);
        }
        for (auto& host : hosts) killed += host->Finish(kBatchRun) == 128 + SIGKILL;
        ExpectExactlyOnce(db, drop.Path(), numbers, false);
        if (HasFailure()) return;
    }
    ExpectExactlyOnce(db, drop.Path(), numbers, true);
    EXPECT_FALSE(std::filesystem::exists(drop.File(".claims")));
    std::printf("%d hosts killed\n", killed);
}

INSTANTIATE_BACKENDS(ThreeHostsWithoutLocks);

}  // namespace
}  // namespace robust
