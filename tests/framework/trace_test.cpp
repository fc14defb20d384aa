#include "framework/trace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/Encoding.h"
#include "tests/support/TempDir.h"

namespace {

// Points fd 2 at a file for one test and restores it.
class CapturedStderr {
  public:
    explicit CapturedStderr(const std::string& path) {
        saved_ = dup(STDERR_FILENO);
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~CapturedStderr() {
        dup2(saved_, STDERR_FILENO);
        close(saved_);
    }
    CapturedStderr(const CapturedStderr&) = delete;
    CapturedStderr& operator=(const CapturedStderr&) = delete;

  private:
    int saved_;
};

}  // namespace

TEST(Trace, SinkReceivesEachFormattedLine) {
    std::vector<std::string> lines;
    fw::TraceSink previous = fw::SetTraceSink([&](std::string_view l) { lines.emplace_back(l); });
    fw::Trace("can't open file %s,error=%u\n", "/drop/a.txt", 10u);
    fw::Trace("no newline");
    fw::SetTraceSink(previous);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "can't open file /drop/a.txt,error=10\n");
    EXPECT_EQ(lines[1], "no newline");
}

TEST(Trace, DefaultSinkWritesToStandardError) {
    ts::TempDir dir;
    std::string path = dir.File("stderr");
    std::string longPath(6000, 'p');
    {
        CapturedStderr capture(path);
        fw::SetTraceSink([](std::string_view) {});
        // Installing an empty sink brings back the default.
        fw::SetTraceSink({});
        fw::Trace("RESERVATION.DLL Initializing!\n");
        fw::Trace("can't open file %s,error=%u\n", longPath.c_str(), 2u);
    }
    EXPECT_EQ(ts::ReadFile(path),
              "RESERVATION.DLL Initializing!\ncan't open file " + longPath + ",error=2\n");
}

TEST(Trace, SetTraceSinkReturnsThePreviousSink) {
    int first = 0, second = 0;
    fw::SetTraceSink([&](std::string_view) { ++first; });
    fw::TraceSink previous = fw::SetTraceSink([&](std::string_view) { ++second; });
    fw::Trace("x");
    previous("y");
    fw::SetTraceSink({});
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 1);
}
