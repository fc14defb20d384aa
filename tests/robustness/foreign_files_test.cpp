// A host that does not run as root, among files other users write: it takes a
// booking file it can read from a directory it can write, never one whose
// writer may still be at it, and imports nothing from a directory it cannot
// write (where it could not claim, nor remove what it imported).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/host/HostChild.h"
#include "tests/import/ImportFixture.h"

namespace robust {
namespace {

using hosttest::CountOf;
using hosttest::HostChild;

constexpr uid_t kHostUser = 65534;    // the host's account, without CAP_LEASE
constexpr uid_t kWriterUser = 12345;  // another user's writer

class ForeignFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two other users";
        db_ = std::make_unique<ts::HotelDatabase>(ts::Backend::SQLite);
        ASSERT_EQ(chmod(root_.Path().c_str(), 0755), 0);
        drop_ = root_.File("drop");
        ASSERT_EQ(mkdir(drop_.c_str(), 0755), 0);
    }

    // A booking file of the writer's, mode 0644.
    std::string DropForeign(const std::string& name, const std::string& number) {
        const std::string path = drop_ + "/" + name;
        importtest::Booking b;
        b.number = number;
        ts::WriteFile(path, b.FileText());
        EXPECT_EQ(chown(path.c_str(), kWriterUser, kWriterUser), 0);
        EXPECT_EQ(chmod(path.c_str(), 0644), 0);
        return path;
    }

    // One-shot reservation-host as the host's account, which reaches its data
    // source, database and ini file. Without a lease, a file is taken once
    // unchanged for minAge seconds (the files here are fresh; a change time
    // cannot be set back).
    std::string RunHost(const std::string& minAge = "0") {
        namespace fs = std::filesystem;
        const fs::perms readWrite = fs::perms::owner_read | fs::perms::owner_write |
                                    fs::perms::group_read | fs::perms::group_write |
                                    fs::perms::others_read | fs::perms::others_write;
        for (const fs::path& dir :
             {fs::path(db_->Dir()), fs::path(db_->OdbcIniPath()).parent_path()}) {
            fs::permissions(dir, fs::perms::all);
            for (const auto& f : fs::directory_iterator(dir)) fs::permissions(f.path(), readWrite);
        }
        HostChild host({"--reuid=65534", "--regid=65534", "--clear-groups", "--inh-caps=-all",
                        hosttest::HostPath(), drop_ + "?1!desk"},
                       HostChild::Output::Pipe, "/usr/bin/setpriv",
                       {"RESERVATION_MIN_AGE=" + minAge});
        host.Finish();
        return host.Text();
    }

    std::unique_ptr<ts::HotelDatabase> db_;
    ts::TempDir root_;
    std::string drop_;
};

TEST_F(ForeignFiles, AnotherUsersReadOnlyFileImportsFromAWritableDirectory) {
    ASSERT_EQ(chown(drop_.c_str(), kHostUser, kHostUser), 0);
    const std::string path = DropForeign("b.txt", "F1");
    const std::string out = RunHost();
    EXPECT_EQ(CountOf(out, "imported " + path), 1) << out;
    EXPECT_EQ(CountOf(out, "no write lease"), 1) << out;  // the proof in use, said once
    EXPECT_FALSE(ts::FileExists(path));
    EXPECT_EQ(db_->Count("Reservation"), 1);
}

TEST_F(ForeignFiles, AFileItsWriterHoldsOpenWithoutFlockIsLeftUntilItIsDone) {
    ASSERT_EQ(chown(drop_.c_str(), kHostUser, kHostUser), 0);
    ASSERT_EQ(chmod(drop_.c_str(), 0777), 0);  // the writer's too
    const std::string path = drop_ + "/w.txt";
    importtest::Booking b;
    b.number = "HALF";
    b.guest = "欧阳修远";
    const std::string text = b.FileText();
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        // Half the booking, then a pause with the file open, as a writer
        // that takes its time; no flock, no lease.
        close(ready[0]);
        close(release[1]);
        if (setgid(kWriterUser) != 0 || setuid(kWriterUser) != 0) _exit(1);
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const std::size_t half = text.size() / 2;
        if (fd < 0 || write(fd, text.data(), half) != static_cast<ssize_t>(half)) _exit(2);
        char c = 'r';
        if (write(ready[1], &c, 1) != 1 || read(release[0], &c, 1) != 1) _exit(3);
        if (write(fd, text.data() + half, text.size() - half) < 0) _exit(4);
        close(fd);
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);  // 0: the writer failed

    const std::string during = RunHost("5");
    EXPECT_EQ(CountOf(during, "can't open file " + path + ",error=10"), 1) << during;
    EXPECT_EQ(db_->Count("Reservation"), 0);

    ASSERT_EQ(write(release[1], &c, 1), 1);
    int status = 0;
    ASSERT_EQ(waitpid(writer, &status, 0), writer);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string after = RunHost();
    EXPECT_EQ(CountOf(after, "imported " + path), 1) << after;
    EXPECT_EQ(db_->Scalar("select ChnName from GstProfile"), ts::Gbk("欧阳修远"));
}

TEST_F(ForeignFiles, ADirectoryTheHostCannotWriteImportsNothingAndSaysSo) {
    const std::string path = DropForeign("b.txt", "RO1");
    for (int call = 0; call < 3; ++call) {
        const std::string out = RunHost();
        EXPECT_EQ(CountOf(out, "drop directory " + drop_ + " is not writable"), 1) << out;
        EXPECT_EQ(CountOf(out, "imported " + drop_), 0) << out;
    }
    EXPECT_EQ(db_->Count("Reservation"), 0);
    EXPECT_TRUE(ts::FileExists(path));
}

}  // namespace
}  // namespace robust
