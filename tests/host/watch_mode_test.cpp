// reservation-host --watch with the real module on a private SQLite hotel
// database, in a child process: bookings written, moved in or released by
// their writer are imported without waiting for the periodic call; the drop
// directory can go and come back; a refused booking is written once until
// its file changes; SIGTERM and SIGINT end it cleanly.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/host/HostChild.h"
#include "tests/support/TestSupport.h"

namespace {

using hosttest::BookingText;
using hosttest::HostChild;

const std::string kUnloadLine = "RESERVATION.DLL Terminating!\n";

class WatchModeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string why;
        if (!ts::BackendAvailable(ts::Backend::SQLite, &why)) GTEST_SKIP() << why;
        db_ = std::make_unique<ts::HotelDatabase>(ts::Backend::SQLite);
        drop_ = root_.File("drop");
        ASSERT_EQ(mkdir(drop_.c_str(), 0755), 0);
    }

    // The periodic call is an hour away: whatever is imported was seen by inotify.
    std::unique_ptr<HostChild> StartWatching(const std::string& extra = "") {
        auto child = std::make_unique<HostChild>(
            std::vector<std::string>{"--interval", "3600", "--watch", drop_ + "?1!Zedi" + extra});
        EXPECT_TRUE(child->WaitFor("reservation-host: watching " + drop_)) << child->Text();
        return child;
    }

    static void ExpectCleanStop(HostChild& child, int signal) {
        child.Signal(signal);
        EXPECT_EQ(child.Finish(), 0) << child.Text();
        const std::string& out = child.Text();
        ASSERT_GE(out.size(), kUnloadLine.size());
        EXPECT_EQ(out.substr(out.size() - kUnloadLine.size()), kUnloadLine) << out;
    }

    long Guests() { return db_->Count("GstProfile"); }

    ts::TempDir root_;
    std::string drop_;
    std::unique_ptr<ts::HotelDatabase> db_;
};

TEST_F(WatchModeTest, ImportsFilesWrittenOrMovedInAfterStartThenStopsOnSigterm) {
    ts::WriteFile(drop_ + "/waiting.txt", BookingText("WB-1"));
    auto host = StartWatching();
    ASSERT_TRUE(host->WaitFor("imported " + drop_ + "/waiting.txt")) << host->Text();

    const std::string written = drop_ + "/written.txt";
    ts::WriteFile(written, BookingText("WB-2", "李四"));
    ASSERT_TRUE(host->WaitFor("imported " + written)) << host->Text();
    EXPECT_FALSE(ts::FileExists(written));

    // Written elsewhere, then renamed in: complete the moment it appears.
    ts::WriteFile(root_.File("moved.txt"), BookingText("WB-3", "王五"));
    ASSERT_EQ(rename(root_.File("moved.txt").c_str(), (drop_ + "/moved.txt").c_str()), 0);
    ASSERT_TRUE(host->WaitFor("imported " + drop_ + "/moved.txt")) << host->Text();
    EXPECT_EQ(Guests(), 3);

    ExpectCleanStop(*host, SIGTERM);
    EXPECT_NE(host->Text().find("reservation-host: stopping on SIGTERM\n"), std::string::npos);
}

TEST_F(WatchModeTest, AFileHeldOpenByItsWriterIsImportedOnceReleased) {
    const std::string path = drop_ + "/held.txt";
    int ready[2], release[2];
    // Close-on-exec, so that the host started below holds no end of them.
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(release, O_CLOEXEC), 0);
    const std::string text = BookingText("WB-10");
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        // The writer: the whole booking written, the file not yet closed.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const bool ok =
            fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::close(ready[0]);
        ::close(release[1]);
        [[maybe_unused]] ssize_t n = ::write(ready[1], ok ? "1" : "0", 1);
        char byte;
        n = ::read(release[0], &byte, 1);  // until the test closes its end
        ::close(fd);
        _exit(ok ? 0 : 1);
    }
    ::close(ready[1]);
    ::close(release[0]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, '1');

    auto host = StartWatching();
    ASSERT_TRUE(host->WaitFor("can't open file " + path + ",error=10")) << host->Text();
    EXPECT_TRUE(ts::FileExists(path));
    EXPECT_EQ(Guests(), 0);

    ::close(release[1]);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_TRUE(host->WaitFor("imported " + path)) << host->Text();
    EXPECT_FALSE(ts::FileExists(path));
    EXPECT_EQ(Guests(), 1);
    ::close(ready[0]);

    ExpectCleanStop(*host, SIGINT);
}

TEST_F(WatchModeTest, ADropDirectoryRemovedAndRecreatedIsWatchedAgain) {
    auto host = StartWatching();
    ASSERT_EQ(rmdir(drop_.c_str()), 0);
    ASSERT_TRUE(host->WaitFor("the drop directory " + drop_ + " is gone")) << host->Text();

    ASSERT_EQ(mkdir(drop_.c_str(), 0755), 0);
    ASSERT_TRUE(host->WaitFor("watching " + drop_ + " again")) << host->Text();
    ts::WriteFile(drop_ + "/after.txt", BookingText("WB-20"));
    ASSERT_TRUE(host->WaitFor("imported " + drop_ + "/after.txt")) << host->Text();
    EXPECT_EQ(Guests(), 1);

    ExpectCleanStop(*host, SIGTERM);
}

TEST_F(WatchModeTest, ADropDirectoryMissingAtStartIsWatchedOnceCreated) {
    ASSERT_EQ(rmdir(drop_.c_str()), 0);
    HostChild host({"--interval", "3600", "--watch", drop_ + "?1!Zedi"});
    ASSERT_TRUE(host.WaitFor("does not exist; waiting for it")) << host.Text();

    // Created under another name, filled, then renamed into place.
    const std::string staging = root_.File("staging");
    ASSERT_EQ(mkdir(staging.c_str(), 0755), 0);
    ts::WriteFile(staging + "/early.txt", BookingText("WB-30"));
    ASSERT_EQ(rename(staging.c_str(), drop_.c_str()), 0);
    ASSERT_TRUE(host.WaitFor("imported " + drop_ + "/early.txt")) << host.Text();

    ExpectCleanStop(host, SIGTERM);
}

TEST_F(WatchModeTest, ARefusedBookingIsWrittenOnceUntilItsFileChanges) {
    const std::string poison = drop_ + "/poison.txt";
    const std::string line = "can't import " + poison + ": ";
    ts::WriteFile(poison, BookingText("P-1", "张三", "70000"));
    auto host = StartWatching();
    ASSERT_TRUE(host->WaitFor(line)) << host->Text();

    // Each booking written in is one more scan that passes the poison over.
    for (const std::string number : {"W-1", "W-2", "W-3"}) {
        ts::WriteFile(drop_ + "/" + number + ".txt", BookingText(number));
        ASSERT_TRUE(host->WaitFor("imported " + drop_ + "/" + number + ".txt")) << host->Text();
    }
    EXPECT_EQ(hosttest::CountOf(host->Text(), line), 1) << host->Text();

    // Changed, it is tried and refused again, once.
    ts::WriteFile(poison, BookingText("P-22", "张三", "70000"));
    ASSERT_TRUE(host->WaitFor(line, hosttest::milliseconds(8000), 2)) << host->Text();
    ts::WriteFile(drop_ + "/W-4.txt", BookingText("W-4"));
    ASSERT_TRUE(host->WaitFor("imported " + drop_ + "/W-4.txt")) << host->Text();
    EXPECT_EQ(hosttest::CountOf(host->Text(), line), 2) << host->Text();
    EXPECT_TRUE(ts::FileExists(poison));
    EXPECT_EQ(db_->Count("Reservation"), 4);

    ExpectCleanStop(*host, SIGTERM);
}

TEST_F(WatchModeTest, RefusesARequestWithoutADropDirectory) {
    HostChild host({"--watch", "no-directory-here"});
    EXPECT_EQ(host.Finish(), 2);
    EXPECT_NE(host.Text().find("names no drop directory"), std::string::npos) << host.Text();
    EXPECT_EQ(host.Text().find("RESERVATION.DLL Initializing!"), std::string::npos) << host.Text();
}

}  // namespace
