// The host killed with SIGKILL at random moments while it imports batches,
// then started again: no booking lost, none imported twice, none partial.
// RESERVATION_CRASH_KILLS sets the number of kills (default 50; the long run
// documented in the README uses 500), RESERVATION_CRASH_SEED the random seed.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
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

using namespace std::chrono_literals;

long EnvNumber(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 10) : fallback;
}

class CrashTest : public ts::BackendTest {
  protected:
    void SetUp() override {
        ts::BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        db_ = std::make_unique<ts::HotelDatabase>(GetBackend());
    }

    void DropBatch(int count) {
        for (int i = 0; i < count; ++i) {
            importtest::Booking b;
            b.number = ts::Cat("K", next_++);
            b.guest = "客人" + b.number;  // a different guest each: a failed read-back can't hide
            b.price = std::to_string(300 + next_ % 700);
            ts::WriteFile(drop_.File(b.number + ".txt"), b.FileText());
            numbers_.insert(b.number);
        }
    }

    bool Waiting() const {
        for (const std::string& n : numbers_)
            if (ts::FileExists(drop_.File(n + ".txt"))) return true;
        return false;
    }

    std::unique_ptr<ts::HotelDatabase> db_;
    ts::TempDir drop_;
    std::set<std::string> numbers_;
    int next_ = 1000;
};

TEST_P(CrashTest, KilledAtRandomPointsEveryBookingLandsExactlyOnce) {
    const long kills =
        EnvNumber("RESERVATION_CRASH_KILLS", GetBackend() == ts::Backend::SQLite ? 50 : 25);
    const unsigned seed =
        static_cast<unsigned>(EnvNumber("RESERVATION_CRASH_SEED", std::random_device{}()));
    RecordProperty("seed", std::to_string(seed));
    std::mt19937 random(seed);
    SCOPED_TRACE("RESERVATION_CRASH_SEED=" + std::to_string(seed));

    // Points inside the import; "commit" is the window between the commit and
    // the removal of the file.
    const char* const points[] = {"begin", "profile", "reservation", "folio", "commit", "remove"};
    const std::string request = drop_.Path() + "?1!crash";
    const std::string module = hosttest::TestModulePath();

    DropBatch(30);
    long killed = 0, runs = 0;
    while (killed < kills) {
        if (!Waiting()) DropBatch(10);
        ++runs;
        std::vector<std::string> crashAt;
        std::chrono::milliseconds after{0};
        if (random() % 4 != 0) {
            crashAt.push_back(std::string("RESERVATION_CRASH_AT=") +
                              points[random() % std::size(points)] + ":" +
                              std::to_string(1 + random() % 4));
        } else {
            after = std::chrono::milliseconds(random() % 400);  // a moment nobody chose
        }
        HostChild host({"--module", module, request}, HostChild::Output::Pipe, hosttest::HostPath(),
                       crashAt);
        if (crashAt.empty()) {
            host.Drain(after);
            host.Signal(SIGKILL);
        }
        const int status = host.Finish(kBatchRun);
        if (status == 128 + SIGKILL)
            ++killed;
        else
            ASSERT_EQ(status, 0) << host.Text();
        ASSERT_LT(runs, kills * 4) << "the crash points are not being reached";
        ExpectExactlyOnce(*db_, drop_.Path(), numbers_, false);
        if (HasFailure()) return;
    }

    HostChild last({"--module", module, request});
    ASSERT_EQ(last.Finish(kBatchRun), 0) << last.Text();
    ExpectExactlyOnce(*db_, drop_.Path(), numbers_, true);
    std::printf("%ld kills in %ld runs, %zu bookings\n", killed, runs, numbers_.size());
}

INSTANTIATE_BACKENDS(CrashTest);

}  // namespace
}  // namespace robust
