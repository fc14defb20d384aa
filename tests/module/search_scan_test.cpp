// The scan of the drop directory, with the booking handler replaced by a
// recorder: which entries are handed on, which are passed over with which
// trace line, and what the field table holds meanwhile.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/exclusivefile.h"
#include "recordlayer/CDBException.h"
#include "reservation/BookingClaim.h"
#include "reservation/FileSearch.h"
#include "tests/support/TestSupport.h"

namespace {

struct Handled {
    int mode;
    std::string path;
    resv::BookingFields table;
};

class SearchScan : public ::testing::Test {
  protected:
    void SetUp() override {
        resv::BookingFieldTable = {};
        previous_ = resv::SetBookingHandler([this](int mode, resv::BookingClaim& claim) {
            handled_.push_back({mode, claim.Path(), resv::BookingFieldTable});
            if (onHandle_) onHandle_(claim.Path());
            return resv::Handled::Left;
        });
    }
    void TearDown() override { resv::SetBookingHandler(previous_); }

    std::string Drop(const std::string& name, const std::string& text) {
        const std::string path = dir_.Path() + "/" + name;
        ts::WriteFile(path, text);
        return path;
    }
    void Search(const std::string& request) { resv::RunSearch(request.c_str()); }

    ts::TempDir dir_;
    ts::TraceCapture trace_;
    std::vector<Handled> handled_;
    std::function<void(const std::string&)> onHandle_;
    resv::BookingHandler previous_;
};

TEST_F(SearchScan, HandsEveryFileOnWithItsPathAndTheClerk) {
    const std::string a = Drop("a.txt", "0,A1");
    const std::string b = Drop("noextension", "0,B1");
    Search(dir_.Path() + "?1!Zedi");

    ASSERT_EQ(handled_.size(), 2u);
    std::vector<std::string> paths;
    for (const auto& h : handled_) {
        EXPECT_EQ(h.mode, 1);
        EXPECT_EQ(h.table[17], h.path);
        EXPECT_EQ(h.table[19], "Zedi");
        EXPECT_EQ(h.table[1], h.path == a ? "A1" : "B1");
        paths.push_back(h.path);
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths, (std::vector<std::string>{a, b}));
    EXPECT_EQ(trace_.Lines().size(), 0u);
}

TEST_F(SearchScan, VisitsFilesInTheFileSystemsOrder) {
    for (int i = 0; i < 8; ++i) Drop("f" + std::to_string(i), "x");
    std::vector<std::string> order;
    DIR* d = opendir(dir_.Path().c_str());
    ASSERT_NE(d, nullptr);
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') order.push_back(dir_.Path() + "/" + e->d_name);
    closedir(d);

    Search(dir_.Path() + "/?0!c");
    std::vector<std::string> seen;
    for (const auto& h : handled_) seen.push_back(h.path);
    EXPECT_EQ(seen, order);
    EXPECT_EQ(handled_[0].mode, 0);
}

TEST_F(SearchScan, RelativeDirectoryIsMadeAbsolute) {
    Drop("b1", "x");
    ASSERT_EQ(chdir(dir_.Path().c_str()), 0);
    ASSERT_EQ(mkdir("sub", 0755), 0);
    ts::WriteFile("sub/b2", "y");
    Search("sub?1!c");
    ASSERT_EQ(handled_.size(), 1u);
    EXPECT_EQ(handled_[0].path, dir_.Path() + "/sub/b2");
}

TEST_F(SearchScan, ModesOtherThanOneGoToTheDialog) {
    Drop("b", "x");
    for (const char* mode : {"2", "-1", "", "z", "0"}) Search(dir_.Path() + "?" + mode + "!c");
    ASSERT_EQ(handled_.size(), 5u);
    for (const auto& h : handled_) EXPECT_NE(h.mode, 1);
}

TEST_F(SearchScan, NothingToScanStillStoresTheClerk) {
    Search(dir_.Path() + "/missing?1!Ann");
    EXPECT_EQ(resv::BookingFieldTable[19], "Ann");
    Search(dir_.Path() + "?1!Bob");  // holds only "." and ".."
    EXPECT_EQ(resv::BookingFieldTable[19], "Bob");
    EXPECT_TRUE(handled_.empty());
    EXPECT_TRUE(trace_.Lines().empty());
}

TEST_F(SearchScan, ARequestWithoutDirectoryScansNothing) {
    ASSERT_EQ(chdir(dir_.Path().c_str()), 0);
    Drop("b", "x");
    for (const char* request : {"", "1!c", "?1!c"}) Search(request);
    resv::RunSearch(nullptr);
    EXPECT_TRUE(handled_.empty());
    EXPECT_EQ(trace_.Count("names no drop directory"), 4);
}

TEST_F(SearchScan, EntriesThatAreNotRegularFilesArePassedOverAsAccessDenied) {
    ASSERT_EQ(mkdir((dir_.Path() + "/subdir").c_str(), 0755), 0);
    ASSERT_EQ(mkfifo((dir_.Path() + "/fifo").c_str(), 0600), 0);  // opening it must not block
    const std::string target = Drop("target.keep", "0,T");
    ASSERT_EQ(symlink(target.c_str(), (dir_.Path() + "/link").c_str()), 0);
    Search(dir_.Path() + "?1!c");

    EXPECT_EQ(trace_.Count("can't open file " + dir_.Path() + "/subdir,error=5\n"), 1);
    EXPECT_EQ(trace_.Count("can't open file " + dir_.Path() + "/fifo,error=5\n"), 1);
    EXPECT_EQ(trace_.Count("can't open file " + dir_.Path() + "/link,error=5\n"), 1);
    ASSERT_EQ(handled_.size(), 1u);
    EXPECT_EQ(handled_[0].path, target);
}

TEST_F(SearchScan, AFileHeldOpenByAnotherProcessIsLeftForALaterCall) {
    const std::string path = Drop("busy", "0,BUSY");
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        const int fd = open(path.c_str(), O_WRONLY);
        char c = fd >= 0 ? 'y' : 'n';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');

    Search(dir_.Path() + "?1!c");
    EXPECT_TRUE(handled_.empty());
    EXPECT_EQ(trace_.Count("can't open file " + path + ",error=10\n"), 1);

    ASSERT_EQ(write(release[1], "x", 1), 1);
    int status = 0;
    waitpid(writer, &status, 0);
    Search(dir_.Path() + "?1!c");
    ASSERT_EQ(handled_.size(), 1u);
    EXPECT_EQ(handled_[0].table[1], "BUSY");
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}

TEST_F(SearchScan, BlankFilesAreLeftInPlaceWithATraceLine) {
    const std::string path = Drop("blank", " \r\n");
    Search(dir_.Path() + "?1!c");
    EXPECT_TRUE(handled_.empty());
    EXPECT_TRUE(ts::FileExists(path));
    EXPECT_EQ(trace_.Count(path), 1);
}

TEST_F(SearchScan, TheFileIsClaimedWhileItsBookingIsHandledAndReturnedAfter) {
    const std::string path = Drop("b", "x");
    bool presentDuring = true;
    onHandle_ = [&](const std::string& p) {
        // A second host scanning the same directory now does not find it,
        // and a writer's new file under the name is a file of its own.
        presentDuring = ts::FileExists(p);
    };
    Search(dir_.Path() + "?1!c");
    ASSERT_EQ(handled_.size(), 1u);
    EXPECT_FALSE(presentDuring);
    EXPECT_EQ(ts::ReadFile(path), "x");
}

TEST_F(SearchScan, AnErrorThatEndsTheCallLeavesLaterFilesAndIsTracedOnce) {
    for (int i = 0; i < 4; ++i) Drop("f" + std::to_string(i), "x");
    onHandle_ = [](const std::string&) {
        throw rl::CDBException("08001", 0, "data source unreachable");
    };
    Search(dir_.Path() + "?1!c");
    EXPECT_EQ(handled_.size(), 1u);
    EXPECT_EQ(trace_.Count("data source unreachable"), 1);
    EXPECT_EQ(trace_.Lines().size(), 1u);

    onHandle_ = [](const std::string&) { throw std::runtime_error("boom"); };
    handled_.clear();
    Search(dir_.Path() + "?1!c");
    EXPECT_EQ(handled_.size(), 1u);
    EXPECT_EQ(trace_.Count("boom"), 1);
}

TEST_F(SearchScan, ASecondCallWhileOneRunsReturnsAtOnce) {
    Drop("a", "x");
    onHandle_ = [this](const std::string&) { Search(dir_.Path() + "?1!other"); };
    Search(dir_.Path() + "?1!first");
    EXPECT_EQ(handled_.size(), 1u);
    EXPECT_EQ(trace_.Count("already running"), 1);
    EXPECT_EQ(resv::BookingFieldTable[19], "first");
}

TEST_F(SearchScan, TheTableCarriesOverBetweenFilesAndCalls) {
    Drop("a", "0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16");
    Search(dir_.Path() + "?1!c");
    resv::BookingFieldTable[18] = "eighteen";
    std::remove((dir_.Path() + "/a").c_str());
    Drop("b", "x,y");
    Search(dir_.Path() + "?1!d");
    ASSERT_EQ(handled_.size(), 2u);
    EXPECT_EQ(handled_[1].table[0], "x");
    EXPECT_EQ(handled_[1].table[2], "");  // cleared, not inherited from the first booking
    EXPECT_EQ(handled_[1].table[18], "eighteen");
}

}  // namespace
