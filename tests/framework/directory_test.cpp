#include "framework/directory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <limits>
#include <string>

#include "tests/support/OpenAt.h"
#include "tests/support/TempDir.h"

using fw::FileError;

TEST(Directory, RemoveAndRenameReportWhyNot) {
    ts::TempDir dir;
    fw::Directory d = ts::OpenDirectory(dir.Path());
    ASSERT_TRUE(d.IsOpen());
    dir.Write("a", "old");
    dir.Write("b", "new");
    ASSERT_EQ(mkdir((dir.File("sub")).c_str(), 0700), 0);

    EXPECT_EQ(d.Rename("a", d, "b", true), FileError::AlreadyExists);
    EXPECT_EQ(ts::ReadFile(dir.File("a")), "old");
    EXPECT_EQ(ts::ReadFile(dir.File("b")), "new");
    EXPECT_EQ(d.Rename("a", d, "c", true), FileError::None);
    EXPECT_EQ(d.Rename("a", d, "c", true), FileError::NotFound);

    EXPECT_EQ(d.Remove("c"), FileError::None);
    EXPECT_EQ(d.Remove("c"), FileError::NotFound);
    EXPECT_EQ(d.Remove("sub"), FileError::AccessDenied);
    EXPECT_EQ(d.Remove("sub", true), FileError::None);
}

// Someone who can write the parent swaps the directory for a symbolic link
// to another one: what was opened before is still what is reached.
TEST(Directory, ASwappedDirectoryIsNeverReached) {
    ts::TempDir dir;
    ASSERT_EQ(mkdir((dir.File("drop")).c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir.File("other")).c_str(), 0700), 0);
    dir.Write("drop/book.txt", "booking");
    dir.Write("other/book.txt", "not ours");
    fw::Directory drop = ts::OpenDirectory(dir.File("drop"));
    ASSERT_TRUE(drop.IsOpen());

    std::filesystem::rename(dir.File("drop"), dir.File("moved"));
    std::filesystem::create_directory_symlink(dir.File("other"), dir.File("drop"));

    EXPECT_EQ(drop.Remove("book.txt"), FileError::None);
    EXPECT_EQ(ts::ReadFile(dir.File("other/book.txt")), "not ours");
    EXPECT_FALSE(std::filesystem::exists(dir.File("moved/book.txt")));
    // A symbolic link in the directory's own place is not opened.
    EXPECT_FALSE(ts::OpenDirectory(dir.File("drop")).IsOpen());
}

// A writer may date a file far beyond what nanoseconds since the epoch hold
// (touch -d @10000000000): its version saturates instead of overflowing.
TEST(Directory, ATimeStampBeyondTheRangeIsHeldAtItsEnd) {
    ts::TempDir dir;
    dir.Write("far.txt", "booking");
    const struct timespec times[2] = {{10000000000, 0}, {10000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, dir.File("far.txt").c_str(), times, 0), 0);
    fw::FileVersion version;
    ASSERT_TRUE(ts::OpenDirectory(dir.Path()).Stat("far.txt", version));
    EXPECT_EQ(version.modifiedNs, std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(fw::NanosecondsOf({-10000000000, 0}), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(fw::NanosecondsOf({2, 5}), 2000000005);
}
