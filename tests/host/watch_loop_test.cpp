// The watch loop in-process, with a stand-in for Search, on real inotify:
// which events make a call, that bursts and self-made events do not multiply
// calls, an overflowing event queue, a directory that goes and comes back,
// and the stop descriptor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

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

// Does to every file what the module does to one it cannot import: opens it
// for reading and writing, writes nothing, closes it (IN_CLOSE_WRITE).
void OpenAndCloseEveryFile(const std::string& dir) {
    for (const char* name : {"a", "b", "c", "held"}) {
        const int fd = ::open((dir + "/" + name).c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) ::close(fd);
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
        loop_ = std::make_unique<host::WatchLoop>(
            options,
            [this] {
                if (onSearch_) onSearch_(loop_->Calls());
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

// The module opens every file read-write and leaves the ones it cannot
// import; their closes must not make the loop call again and again.
TEST_F(WatchLoopTest, TheModulesOwnClosesEndAfterOneFollowUp) {
    Make();
    onSearch_ = [this](int) { OpenAndCloseEveryFile(drop_); };
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    Touch(drop_ + "/a");
    Touch(drop_ + "/b");
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::FollowUp);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    EXPECT_EQ(loop_->Calls(), 3);

    // A changed file is news again.
    Touch(drop_ + "/a", "rewritten booking");
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::FollowUp);
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
}

TEST_F(WatchLoopTest, AFileStillHeldByItsWriterWaitsForItsClose) {
    const std::string held = drop_ + "/held";
    const int writer = ::open(held.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "booking", 7), 7);
    Make();
    onSearch_ = [this](int) { OpenAndCloseEveryFile(drop_); };
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Start);
    // The call's own close of the busy file makes no follow-up...
    EXPECT_EQ(loop_->Step(kNoWait), Wake::Idle);
    // ...the writer's close does.
    ::close(writer);
    EXPECT_EQ(loop_->Step(kWait), Wake::Files);
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
