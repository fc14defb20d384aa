#include "framework/direnum.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/Encoding.h"
#include "tests/support/OpenAt.h"
#include "tests/support/TempDir.h"

namespace {

std::map<std::string, int> ScanCounts(const std::string& directory) {
    std::map<std::string, int> counts;
    fw::DirectoryScan scan;
    EXPECT_TRUE(scan.Start(ts::OpenDirectory(directory)));
    std::string name;
    while (scan.Next(name)) ++counts[name];
    return counts;
}

// Restores the working directory a test changed.
class CurrentDirectory {
  public:
    explicit CurrentDirectory(const std::string& dir) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~CurrentDirectory() { std::filesystem::current_path(saved_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

  private:
    std::filesystem::path saved_;
};

}  // namespace

TEST(DirectoryScan, ListsEveryEntryOnceWithDotAndDotDot) {
    ts::TempDir dir;
    dir.Write("a.txt", "1");
    dir.Write("noext", "2");
    dir.Write(".hidden", "3");
    dir.Write(ts::Gbk("预定") + ".txt", "4");
    ASSERT_EQ(mkdir((dir.File("sub")).c_str(), 0700), 0);

    std::map<std::string, int> expected = {{".", 1},
                                           {"..", 1},
                                           {"a.txt", 1},
                                           {"noext", 1},
                                           {".hidden", 1},
                                           {"sub", 1},
                                           {ts::Gbk("预定") + ".txt", 1}};
    EXPECT_EQ(ScanCounts(dir.Path()), expected);
}

TEST(DirectoryScan, RelativeDirectoryIsScannedFromTheCurrentDirectory) {
    ts::TempDir dir;
    ASSERT_EQ(mkdir((dir.File("drop")).c_str(), 0700), 0);
    dir.Write("drop/x.txt", "x");
    CurrentDirectory cwd(dir.Path());
    EXPECT_EQ(ScanCounts("drop").count("x.txt"), 1u);
}

TEST(DirectoryScan, UnopenableDirectoryAndIdleScanYieldNothing) {
    ts::TempDir dir;
    fw::DirectoryScan scan;
    std::string name = "unchanged";
    EXPECT_FALSE(scan.Next(name));
    EXPECT_FALSE(scan.Start(ts::OpenDirectory(dir.File("missing"))));
    EXPECT_FALSE(scan.Next(name));
    EXPECT_FALSE(scan.Start(ts::OpenDirectory(dir.Write("file", "x"))));
    EXPECT_EQ(name, "unchanged");

    ASSERT_TRUE(scan.Start(ts::OpenDirectory(dir.Path())));
    EXPECT_TRUE(scan.Next(name));
    scan.End();
    scan.End();
    EXPECT_FALSE(scan.Next(name));
}

TEST(DirectoryScan, RestartBeginsAnew) {
    ts::TempDir dir;
    dir.Write("only", "x");
    fw::DirectoryScan scan;
    std::string name;
    ASSERT_TRUE(scan.Start(ts::OpenDirectory(dir.Path())));
    int first = 0;
    while (scan.Next(name)) ++first;
    ASSERT_TRUE(scan.Start(ts::OpenDirectory(dir.Path())));
    int second = 0;
    while (scan.Next(name)) ++second;
    EXPECT_EQ(first, 3);
    EXPECT_EQ(second, 3);
}

TEST(DirectoryScan, DirectoryRemovedDuringTheScanEndsIt) {
    ts::TempDir dir;
    std::string drop = dir.File("drop");
    ASSERT_EQ(mkdir(drop.c_str(), 0700), 0);
    const int files = 500;
    for (int i = 0; i < files; ++i) dir.Write("drop/f" + std::to_string(i), "x");

    fw::DirectoryScan scan;
    ASSERT_TRUE(scan.Start(ts::OpenDirectory(drop)));
    std::string name;
    ASSERT_TRUE(scan.Next(name));
    std::filesystem::remove_all(drop);
    int more = 0;
    while (scan.Next(name)) ASSERT_LE(++more, files + 2);
    EXPECT_FALSE(scan.Next(name));
}

TEST(MakeAbsolute, ResolvesRelativePathsAgainstTheCurrentDirectory) {
    ts::TempDir dir;
    std::string real = std::filesystem::canonical(dir.Path());
    CurrentDirectory cwd(real);
    EXPECT_EQ(fw::MakeAbsolute("drop"), real + "/drop");
    EXPECT_EQ(fw::MakeAbsolute("a/../b"), real + "/a/../b");
    EXPECT_EQ(fw::MakeAbsolute(""), real);
    EXPECT_EQ(fw::MakeAbsolute("/var/drop"), "/var/drop");
    EXPECT_EQ(fw::MakeAbsolute("/"), "/");
}

TEST(MakeAbsolute, RootAsCurrentDirectoryGivesNoDoubleSlash) {
    CurrentDirectory cwd("/");
    EXPECT_EQ(fw::MakeAbsolute("drop"), "/drop");
}
