#include "framework/exclusivefile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>

#include "tests/support/Encoding.h"
#include "tests/support/OpenAt.h"
#include "tests/support/TempDir.h"

using fw::ExclusiveFile;
using fw::FileError;

namespace {

// A child process that runs body, sends its one-byte result to the parent
// and then waits, keeping whatever body opened, until the parent releases it.
class ChildProcess {
  public:
    explicit ChildProcess(const std::function<int()>& body) {
        if (pipe2(ready_, O_CLOEXEC) != 0 || pipe2(release_, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        pid_ = fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::close(ready_[0]);
            ::close(release_[1]);
            unsigned char result = static_cast<unsigned char>(body());
            if (::write(ready_[1], &result, 1) != 1) _exit(2);
            char c;
            while (::read(release_[0], &c, 1) < 0 && errno == EINTR) {
            }
            _exit(0);
        }
        ::close(ready_[1]);
        ::close(release_[0]);
    }
    ~ChildProcess() {
        Release();
        ::close(ready_[0]);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The result of body; -1 when the child died before reporting.
    int Result() {
        unsigned char result;
        ssize_t n;
        while ((n = ::read(ready_[0], &result, 1)) < 0 && errno == EINTR) {
        }
        return n == 1 ? result : -1;
    }

    // Lets the child exit and reaps it; everything it held is closed then.
    void Release() {
        if (pid_ <= 0) return;
        ::close(release_[1]);
        int status;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
    int ready_[2] = {-1, -1};
    int release_[2] = {-1, -1};
};

unsigned Code(FileError e) { return static_cast<unsigned>(e); }

FileError OpenError(const std::string& path) {
    FileError error = FileError::None;
    ExclusiveFile file = ts::OpenBookingFile(path, error);
    EXPECT_EQ(file.IsOpen(), error == FileError::None);
    return error;
}

}  // namespace

TEST(ExclusiveFileOpen, RegularFileIsReadWithoutBeingChanged) {
    ts::TempDir dir;
    const std::string content = "a,b,c\r\n";
    std::string path = dir.Write("booking.txt", content);

    FileError error = FileError::Generic;
    ExclusiveFile file = ts::OpenBookingFile(path, error);
    ASSERT_EQ(error, FileError::None);
    ASSERT_TRUE(file.IsOpen());
    char buffer[4096];
    EXPECT_EQ(file.Read(buffer, sizeof buffer, error), static_cast<ssize_t>(content.size()));
    EXPECT_EQ(error, FileError::None);
    EXPECT_EQ(std::string(buffer, content.size()), content);
    EXPECT_EQ(file.Read(buffer, sizeof buffer, error), 0);
    file.Close();
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ts::ReadFile(path), content);
}

TEST(ExclusiveFileOpen, ReadReturnsAtMostTheRequestedCount) {
    ts::TempDir dir;
    std::string path = dir.Write("big.txt", std::string(5000, 'x'));
    FileError error;
    ExclusiveFile file = ts::OpenBookingFile(path, error);
    ASSERT_TRUE(file.IsOpen());
    std::string buffer(4096, '\0');
    EXPECT_EQ(file.Read(buffer.data(), buffer.size(), error), 4096);
}

TEST(ExclusiveFileOpen, MissingFileIsNotFoundAndNotCreated) {
    ts::TempDir dir;
    std::string path = dir.File("missing.txt");
    EXPECT_EQ(Code(OpenError(path)), 2u);
    EXPECT_NE(access(path.c_str(), F_OK), 0);
}

TEST(ExclusiveFileOpen, PathsThatCannotNameAFileAreBadPaths) {
    ts::TempDir dir;
    std::string file = dir.Write("plain.txt", "x");
    FileError error = FileError::None;
    EXPECT_FALSE(fw::Directory::Open(file, error).IsOpen());
    EXPECT_EQ(error, FileError::BadPath);
    EXPECT_EQ(OpenError(dir.File(std::string(300, 'n'))), FileError::BadPath);
}

TEST(ExclusiveFileOpen, NonRegularFilesAreAccessDenied) {
    ts::TempDir dir;
    std::string sub = dir.File("subdir");
    ASSERT_EQ(mkdir(sub.c_str(), 0700), 0);
    EXPECT_EQ(Code(OpenError(sub)), 5u);
    EXPECT_EQ(OpenError("/dev/null"), FileError::AccessDenied);

    std::string socketPath = dir.File("sock");
    int s = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, socketPath.c_str());
    ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(OpenError(socketPath), FileError::AccessDenied);
    ::close(s);
}

TEST(ExclusiveFileOpen, FifoIsAccessDeniedWithoutBlocking) {
    ts::TempDir dir;
    std::string fifo = dir.File("pipe");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(30);  // a blocking open would otherwise hang the test run
    EXPECT_EQ(OpenError(fifo), FileError::AccessDenied);
    alarm(0);
}

TEST(ExclusiveFileOpen, SymbolicLinkIsAccessDeniedAndTargetUntouched) {
    ts::TempDir dir;
    std::string target = dir.Write("target.txt", "keep me");
    std::string link = dir.File("link.txt");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(OpenError(link), FileError::AccessDenied);
    EXPECT_EQ(ts::ReadFile(target), "keep me");
    // No claim was left behind on the target.
    EXPECT_EQ(OpenError(target), FileError::None);
}

TEST(ExclusiveFileOpen, AnotherDescriptorInThisProcessIsASharingViolation) {
    ts::TempDir dir;
    std::string path = dir.Write("b.txt", "x");
    FileError error;
    ExclusiveFile first = ts::OpenBookingFile(path, error);
    ASSERT_TRUE(first.IsOpen());
    EXPECT_EQ(Code(OpenError(path)), 10u);
    first.Close();
    EXPECT_EQ(OpenError(path), FileError::None);
}

TEST(ExclusiveFileOpen, FileHeldOpenByAnotherProcessIsASharingViolation) {
    ts::TempDir dir;
    std::string path = dir.Write("writing.txt", "half a booking");
    {
        ChildProcess writer([&] { return ::open(path.c_str(), O_RDONLY) >= 0 ? 0 : 1; });
        ASSERT_EQ(writer.Result(), 0);
        EXPECT_EQ(OpenError(path), FileError::SharingViolation);
        writer.Release();
        EXPECT_EQ(OpenError(path), FileError::None);
    }
    EXPECT_EQ(ts::ReadFile(path), "half a booking");
}

TEST(ExclusiveFileOpen, SecondClaimInAnotherProcessIsASharingViolation) {
    ts::TempDir dir;
    std::string path = dir.Write("b.txt", "x");
    FileError error;
    ExclusiveFile held = ts::OpenBookingFile(path, error);
    ASSERT_TRUE(held.IsOpen());
    {
        ChildProcess other([&] { return static_cast<int>(OpenError(path)); });
        EXPECT_EQ(other.Result(), static_cast<int>(FileError::SharingViolation));
    }
    held.Close();
    ChildProcess again([&] { return static_cast<int>(OpenError(path)); });
    EXPECT_EQ(again.Result(), static_cast<int>(FileError::None));
}

// Without ownership and CAP_LEASE no lease can be had: a file another user
// may still be writing is taken only once it has been left alone for a
// while, and the flock keeps two claimants apart.
TEST(ExclusiveFileOpen, WithoutLeasesAQuietPeriodAndTheFlockStandIn) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a user without CAP_LEASE";
    ts::TempDir dir;
    std::string path = dir.Write("b.txt", "x");
    ASSERT_EQ(chmod(dir.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(path.c_str(), 0644), 0);
    ASSERT_EQ(chown(path.c_str(), 12345, 12345), 0);
    // The file system's clock, seen as this machine's (the rule's fallback),
    // or as a server's that runs ahead of it.
    auto ahead = [](std::int64_t aheadNs) {
        fw::QuietRule quiet;
        if (aheadNs != 0)
            quiet.fileSystemNow = [aheadNs](std::int64_t& ns) {
                struct timespec now {};
                clock_gettime(CLOCK_REALTIME, &now);
                ns = std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec + aheadNs;
                return true;
            };
        return quiet;
    };
    auto proofAsOtherUser = [&](std::int64_t aheadNs) {
        return [&path, quiet = ahead(aheadNs)] {
            if (setgid(65534) != 0 || setuid(65534) != 0) return 255;
            FileError error;
            ExclusiveFile file = ts::OpenBookingFile(path, error, quiet);
            if (error != FileError::None) return static_cast<int>(error);
            return file.Proof() == fw::WriterDoneProof::QuietPeriod ? 0 : 254;
        };
    };
    // Just written: its writer may be in the middle of it, whatever it says
    // its modification time is.
    const struct timespec old[2] = {{time(nullptr) - 60, 0}, {time(nullptr) - 60, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
    const std::int64_t second = 1000000000;
    const struct {
        std::int64_t fileSystemAhead;
        int expected;
    } cases[] = {
        {0, static_cast<int>(FileError::SharingViolation)},
        {4 * second, static_cast<int>(FileError::SharingViolation)},
        {6 * second, 0},
    };
    for (const auto& c : cases) {
        ChildProcess child(proofAsOtherUser(c.fileSystemAhead));
        EXPECT_EQ(child.Result(), c.expected) << c.fileSystemAhead;
    }
    auto openAsOtherUser = [&path, quiet = ahead(6 * second)] {
        if (setgid(65534) != 0 || setuid(65534) != 0) return 255;
        FileError error;
        // Deliberately leaked: the claim must outlive this function.
        auto* file = new ExclusiveFile(ts::OpenBookingFile(path, error, quiet));
        (void)file;
        return static_cast<int>(error);
    };
    {
        ChildProcess first(openAsOtherUser);
        ASSERT_EQ(first.Result(), static_cast<int>(FileError::None));
        ChildProcess second(openAsOtherUser);
        EXPECT_EQ(second.Result(), static_cast<int>(FileError::SharingViolation));
    }
    ChildProcess afterwards(openAsOtherUser);
    EXPECT_EQ(afterwards.Result(), static_cast<int>(FileError::None));
}

// Each test runs in a process of its own, where SIGIO starts at its default.
TEST(ExclusiveFileOpen, LeaseBreakSignalCannotKillTheProcess) {
    ts::TempDir dir;
    std::string path = dir.Write("b.txt", "x");
    EXPECT_EQ(OpenError(path), FileError::None);
    struct sigaction current {};
    ASSERT_EQ(sigaction(SIGIO, nullptr, &current), 0);
    EXPECT_NE(current.sa_handler, SIG_DFL);
}

TEST(ExclusiveFileMove, OwnershipMovesAndTheClaimEndsWithTheOwner) {
    ts::TempDir dir;
    std::string path = dir.Write("b.txt", "x");
    FileError error;
    ExclusiveFile a = ts::OpenBookingFile(path, error);
    ExclusiveFile b(std::move(a));
    EXPECT_FALSE(a.IsOpen());
    ASSERT_TRUE(b.IsOpen());
    ExclusiveFile c;
    c = std::move(b);
    EXPECT_FALSE(b.IsOpen());
    EXPECT_EQ(OpenError(path), FileError::SharingViolation);
    c = ExclusiveFile();
    EXPECT_EQ(OpenError(path), FileError::None);

    char byte;
    EXPECT_EQ(c.Read(&byte, 1, error), -1);
    EXPECT_EQ(error, FileError::InvalidFile);
}
