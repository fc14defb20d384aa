// The watch loop in-process, with a stand-in for Search, on real inotify:
// which events make a call, that bursts and the module's put-backs do not
// multiply calls, the back-off while the database is unreachable, an
// overflowing event queue, a directory that goes and comes back, and the
// stop descriptor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "host/DropContents.h"
#include "host/FollowUpPolicy.h"
#include "host/WatchLoop.h"
#include "tests/support/TempDir.h"

namespace {

using host::Wake;
using std::chrono::milliseconds;

constexpr milliseconds kNoWait{0};
constexpr milliseconds kWait{5000};  // an upper bound; the events are already queued

void Touch(const std::string& path, const std::string& text = "booking") {
    ts::WriteFile(path, text);
}

// Does to every booking file what the module does to one it does not
// import: renames it into its claim, then back into the drop directory.
void ClaimAndPutBackEveryFile(const std::string& dir) {
    const std::string claim = dir + "/.claims/host+1+2+3";
    ::mkdir((dir + "/.claims").c_str(), 0755);
    ::mkdir(claim.c_str(), 0755);
    for (const char* name : {"a", "b", "c"}) {
        const std::string path = dir + "/" + name;
        if (rename(path.c_str(), (claim + "/" + name).c_str()) == 0)
            rename((claim + "/" + name).c_str(), path.c_str());
    }
}

class WatchLoopTest : public ::testing::Test {
  protected:
    // Builds the loop on root/drop; onSearch runs inside every call.
    void Make(milliseconds interval = milliseconds(3600000)) {
        host::WatchLoop::Options options;
        options.directory = drop_;
        options.interval = interval;
        options.stopFd = stop_;
        options.missingRetry = milliseconds(20);
        options.firstRetry = firstRetry_;
        loop_ = std::make_unique<host::WatchLoop>(
            options,
            [this] {
                if (onSearch_) onSearch_(loop_->Calls());
                return database_;
            },
            [this](fw::Priority, std::string_view line) { notes_.emplace_back(line); });
        ASSERT_TRUE(loop_->Ok()) << loop_->Error();
    }
    void SetUp() override {
        drop_ = root_.File("drop");
        ASSERT_EQ(mkdir(drop_.c_str(), 0755), 0);
        stop_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        ASSERT_GE(stop_, 0);
    }
    void TearDown() override {
        loop_.reset();
        ::close(stop_);
    }

    ts::TempDir root_;
    std::string drop_;
    int stop_ = -1;
    std::function<void(int call)> onSearch_;
    host::CallReport::Database database_ = host::CallReport::Database::Untested;
    milliseconds firstRetry_{3600000};
    std::vector<std::string> notes_;
    std::unique_ptr<host::WatchLoop> loop_;
};

TEST_F(WatchLoopTest, CallsAtStartAndOnceForABurstOfFiles) {
    Make();
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);

    for (int i = 0; i < 20; ++i) Touch(drop_ + "/f" + std::to_string(i));
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    EXPECT_EQ(loop_->Calls(), 2);

    Touch(root_.File("moved"));
    ASSERT_EQ(rename(root_.File("moved").c_str(), (drop_ + "/moved").c_str()), 0);
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
    EXPECT_EQ(loop_->Calls(), 3);
}

TEST_F(WatchLoopTest, FilesArrivingDuringACallCauseExactlyOneMoreCall) {
    Make();
    onSearch_ = [this](int call) {
        if (call == 1)
            for (int i = 0; i < 5; ++i) Touch(drop_ + "/late" + std::to_string(i));
    };
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::FollowUp);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    EXPECT_EQ(loop_->Calls(), 2);
}

// The module's put-backs, and another host's, are no news; a booking
// written meanwhile is.
TEST_F(WatchLoopTest, FilesPutBackAreNoNewsButANewVersionIs) {
    Touch(drop_ + "/a");
    Make();
    onSearch_ = [this](int) { ClaimAndPutBackEveryFile(drop_); };
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    Touch(drop_ + "/b");
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);

    onSearch_ = {};
    ClaimAndPutBackEveryFile(drop_);  // another host, between calls
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    EXPECT_EQ(loop_->Calls(), 2);

    // A changed file is news again, and so is one arriving during a call.
    Touch(drop_ + "/a", "rewritten booking");
    onSearch_ = [this](int call) {
        ClaimAndPutBackEveryFile(drop_);
        if (call == 3) Touch(drop_ + "/c");
    };
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::FollowUp);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
}

// A booking delivered after a call's listing but before its events are
// drained is in the listing and in the batch: its event still makes it news,
// and its later put-back does not.
TEST_F(WatchLoopTest, AFileListedAfterACallIsStillNewsByItsEvent) {
    host::FollowUpPolicy policy(drop_);
    policy.Known(host::ListDrop(drop_));
    Touch(drop_ + "/x");
    host::DropBatch during;
    during.files.push_back({"x", IN_MOVED_TO});
    EXPECT_TRUE(policy.AfterCall(during, host::ListDrop(drop_)));
    EXPECT_FALSE(policy.BringsNews(during));
}

// The event of a writer's close may be read while the kernel still counts
// that writer (preempted between the two): the file is looked at again and is
// news once let go of.
TEST_F(WatchLoopTest, AFileFoundHeldAtItsCloseIsNewsOnceLetGo) {
    host::FollowUpPolicy policy(drop_);
    Touch(drop_ + "/w.txt");
    const int writer = ::open((drop_ + "/w.txt").c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    host::DropBatch closed;
    closed.files.push_back({"w.txt", IN_CLOSE_WRITE});
    EXPECT_FALSE(policy.BringsNews(closed));
    EXPECT_TRUE(policy.HoldsAny());
    EXPECT_FALSE(policy.RecheckHeld());
    ::close(writer);
    EXPECT_TRUE(policy.RecheckHeld());
    EXPECT_FALSE(policy.HoldsAny());
}

TEST_F(WatchLoopTest, AFileStillHeldByItsWriterWaitsForItsLastClose) {
    const std::string held = drop_ + "/held";
    int second = -1;
    Make();
    onSearch_ = [&](int) {
        // The writer closes one of its two descriptors during the call.
        const int first = ::open(held.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        second = ::open(held.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_EQ(::write(first, "booking", 7), 7);
        ::close(first);
    };
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    ::close(second);
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
}

TEST_F(WatchLoopTest, AnUnreachableDatabaseDoublesTheWaitUpToTheInterval) {
    firstRetry_ = milliseconds(10);
    Make(milliseconds(45));
    database_ = host::CallReport::Database::Unreachable;
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    for (const long expected : {10, 20, 40, 45, 45}) {
        EXPECT_EQ(loop_->RetryWait(), milliseconds(expected));
        EXPECT_EQ(loop_->Step(kWait), Wake::Retry);
    }
    // A call that tries no booking keeps the wait; one that reaches the
    // database ends the outage.
    database_ = host::CallReport::Database::Untested;
    EXPECT_EQ(loop_->Step(kWait), Wake::Retry);
    EXPECT_EQ(loop_->RetryWait(), milliseconds(45));
    database_ = host::CallReport::Database::Reachable;
    EXPECT_EQ(loop_->Step(kWait), Wake::Retry);
    EXPECT_EQ(loop_->RetryWait(), milliseconds(0));
    EXPECT_EQ(loop_->Step(kWait), Wake::Interval);
}

TEST_F(WatchLoopTest, DuringAnOutageOnlyTheFirstNewBookingShortensTheWait) {
    Touch(drop_ + "/a");
    Make();
    database_ = host::CallReport::Database::Unreachable;
    onSearch_ = [this](int) { ClaimAndPutBackEveryFile(drop_); };
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);  // the put-back
    Touch(drop_ + "/b");
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
    Touch(drop_ + "/c");
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    EXPECT_EQ(loop_->Calls(), 2);
}

TEST_F(WatchLoopTest, AnOverflowingEventQueueMakesAFullCall) {
    long limit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> limit;
    if (limit <= 0 || limit > 200000) GTEST_SKIP() << "max_queued_events is " << limit;

    // One more closed file than the queue holds; each name is new, so the
    // kernel cannot merge the events.
    auto flood = [this, limit] {
        for (long i = 0; i <= limit; ++i) {
            const int fd = ::open((drop_ + "/" + std::to_string(i)).c_str(),
                                  O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            ASSERT_GE(fd, 0);
            ::close(fd);
        }
    };
    Make();
    // Bookings pour in while a long call runs and the loop cannot read.
    onSearch_ = [&](int call) {
        if (call == 1) flood();
    };
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::FollowUp);  // the overflow seen right after the call
    EXPECT_EQ(loop_->Calls(), 2);

    // And an overflow between calls.
    onSearch_ = {};
    flood();
    EXPECT_EQ(loop_->Step(kWait), Wake::Overflow);
    EXPECT_TRUE(loop_->Watcher().Watching());
}

TEST_F(WatchLoopTest, TheDirectoryIsWatchedAgainWhenItComesBack) {
    Make();
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);

    ASSERT_EQ(rmdir(drop_.c_str()), 0);
    EXPECT_EQ(loop_->Step(kWait), Wake::Idle);
    EXPECT_FALSE(loop_->Watcher().Watching());
    ASSERT_EQ(mkdir(drop_.c_str(), 0755), 0);
    EXPECT_EQ(loop_->Step(kWait), Wake::DirectoryBack);
    Touch(drop_ + "/a");
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);

    // Moved away: the old directory is no longer the drop directory.
    ASSERT_EQ(rename(drop_.c_str(), root_.File("old").c_str()), 0);
    EXPECT_EQ(loop_->Step(kWait), Wake::Idle);
    EXPECT_FALSE(loop_->Watcher().Watching());
    Touch(root_.File("old") + "/b");
    EXPECT_EQ(loop_->Step(milliseconds(50)), Wake::Idle);
    ASSERT_EQ(rename(root_.File("old").c_str(), drop_.c_str()), 0);
    EXPECT_EQ(loop_->Step(kWait), Wake::DirectoryBack);
    EXPECT_EQ(loop_->Calls(), 4);
    EXPECT_NE(notes_.back().find("again"), std::string::npos);
}

TEST_F(WatchLoopTest, ADirectoryMissingWithItsParentIsFoundByLooking) {
    const std::string parent = root_.File("spool");
    drop_ = parent + "/drop";
    Make();
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    EXPECT_EQ(loop_->Calls(), 0);
    ASSERT_EQ(mkdir(parent.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(drop_.c_str(), 0755), 0);
    // No watch can see this; the short retry finds it.
    EXPECT_EQ(loop_->Step(kWait), Wake::DirectoryBack);
    EXPECT_EQ(loop_->Calls(), 1);
}

TEST_F(WatchLoopTest, TheStartNoteSaysWhyTheDirectoryCannotBeWatched) {
    ASSERT_EQ(rmdir(drop_.c_str()), 0);
    Make();
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    ASSERT_FALSE(notes_.empty());
    EXPECT_EQ(notes_.back(), "the drop directory " + drop_ + " does not exist; waiting for it");

    Touch(drop_);
    notes_.clear();
    Make();
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    ASSERT_FALSE(notes_.empty());
    EXPECT_EQ(notes_.back(), "the drop directory " + drop_ + " is not a directory; waiting for it");
}

TEST_F(WatchLoopTest, CallsAgainAfterTheInterval) {
    Make(milliseconds(30));
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    EXPECT_EQ(loop_->Step(kWait), Wake::Interval);
    EXPECT_EQ(loop_->Step(kWait), Wake::Interval);
}

TEST_F(WatchLoopTest, StopsWithoutCallingWhenTheStopDescriptorIsReadable) {
    Make();
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    Touch(drop_ + "/a");
    const std::uint64_t one = 1;
    ASSERT_EQ(::write(stop_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
    EXPECT_EQ(loop_->Step(kWait), Wake::Stop);
    loop_->Run();  // returns at once
    EXPECT_EQ(loop_->Calls(), 1);
}

}  // namespace
