#include "framework/directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/framework/testutil.h"

using fw::FileError;

TEST(Directory, RemoveAndRenameReportWhyNot) {
    fwtest::TempDir dir;
    fw::Directory d = fwtest::Dir(dir.path());
    ASSERT_TRUE(d.IsOpen());
    dir.Write("a", "old");
    dir.Write("b", "new");
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0700), 0);

    EXPECT_EQ(d.Rename("a", d, "b", true), FileError::AlreadyExists);
    EXPECT_EQ(fwtest::ReadAll(dir / "a"), "old");
    EXPECT_EQ(fwtest::ReadAll(dir / "b"), "new");
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
    fwtest::TempDir dir;
    ASSERT_EQ(mkdir((dir / "drop").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir / "other").c_str(), 0700), 0);
    dir.Write("drop/book.txt", "booking");
    dir.Write("other/book.txt", "not ours");
    fw::Directory drop = fwtest::Dir(dir / "drop");
    ASSERT_TRUE(drop.IsOpen());

    std::filesystem::rename(dir / "drop", dir / "moved");
    std::filesystem::create_directory_symlink(dir / "other", dir / "drop");

    EXPECT_EQ(drop.Remove("book.txt"), FileError::None);
    EXPECT_EQ(fwtest::ReadAll(dir / "other/book.txt"), "not ours");
    EXPECT_FALSE(std::filesystem::exists(dir / "moved/book.txt"));
    // A symbolic link in the directory's own place is not opened.
    EXPECT_FALSE(fwtest::Dir(dir / "drop").IsOpen());
}
