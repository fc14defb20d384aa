// The Win32 side of the platform layer, run under Wine: the exclusive open and
// its sharing violation, the claim's rename and removal of a held file,
// enumeration, the profile reader in the Windows directory, the local clock
// and dates, process tags, the failure categories and GBK display text.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "framework/clock.h"
#include "framework/directory.h"
#include "framework/direnum.h"
#include "framework/exclusivefile.h"
#include "framework/gbktext.h"
#include "framework/processtag.h"
#include "framework/profile.h"
#include "framework/trace.h"
#include "framework/win32/win32error.h"
#include "tests/windows/WinTempDir.h"

namespace {

using fw::FileError;
using wintest::WinTempDir;

fw::Directory OpenDir(const std::string& path) {
    FileError error = FileError::Generic;
    fw::Directory dir = fw::Directory::Open(path, error);
    EXPECT_EQ(error, FileError::None) << path;
    return dir;
}

// An open by another program in the given share mode; INVALID_HANDLE_VALUE and
// the error code when refused.
HANDLE OpenOther(const std::string& path, DWORD access, DWORD share, DWORD& error) {
    HANDLE h = CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    error = h == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    return h;
}

TEST(ExclusiveOpen, HoldsTheFileAgainstEveryOtherOpenAndReadsIt) {
    WinTempDir tmp;
    tmp.Write("booking.txt", "abc");
    fw::Directory dir = OpenDir(tmp.Path());
    FileError error = FileError::Generic;
    fw::ExclusiveFile file = fw::ExclusiveFile::Open(dir, "booking.txt", error);
    ASSERT_TRUE(file.IsOpen()) << static_cast<unsigned>(error);
    EXPECT_EQ(file.Proof(), fw::WriterDoneProof::ShareNone);
    EXPECT_EQ(file.Version().size, 3);

    // Another program, however it shares, cannot read or write it now.
    for (DWORD access : {DWORD{GENERIC_READ}, DWORD{GENERIC_WRITE}}) {
        DWORD code = 0;
        HANDLE other = OpenOther(tmp / "booking.txt", access,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, code);
        if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
        EXPECT_EQ(code, static_cast<DWORD>(ERROR_SHARING_VIOLATION)) << access;
    }
    FileError second = FileError::None;
    EXPECT_FALSE(fw::ExclusiveFile::Open(dir, "booking.txt", second).IsOpen());
    EXPECT_EQ(second, FileError::SharingViolation);

    char buffer[16];
    EXPECT_EQ(file.Read(buffer, sizeof buffer, error), 3);
    EXPECT_EQ(std::string(buffer, 3), "abc");
    EXPECT_EQ(file.Read(buffer, sizeof buffer, error), 0);

    file.Close();
    EXPECT_TRUE(fw::ExclusiveFile::Open(dir, "booking.txt", second).IsOpen());
}

// A writer that still has the file open, in any share mode, keeps it out of
// reach: the booking is never read half-written.
TEST(ExclusiveOpen, AFileStillOpenForWritingIsASharingViolation) {
    WinTempDir tmp;
    tmp.Write("booking.txt", "abc");
    fw::Directory dir = OpenDir(tmp.Path());
    DWORD code = 0;
    HANDLE writer = OpenOther(tmp / "booking.txt", GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, code);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE) << code;
    FileError error = FileError::None;
    EXPECT_FALSE(fw::ExclusiveFile::Open(dir, "booking.txt", error).IsOpen());
    EXPECT_EQ(error, FileError::SharingViolation);
    EXPECT_EQ(static_cast<unsigned>(error), 10u);
    CloseHandle(writer);
}

TEST(ExclusiveOpen, WhatIsNotABookingFileFailsWithItsCategory) {
    WinTempDir tmp;
    fw::Directory dir = OpenDir(tmp.Path());
    ASSERT_TRUE(CreateDirectoryA((tmp / "sub").c_str(), nullptr));
    struct Case {
        const char* name;
        FileError expected;
    };
    for (const Case& c :
         {Case{"missing.txt", FileError::NotFound}, Case{"sub", FileError::AccessDenied},
          Case{"nodir\\x.txt", FileError::BadPath}}) {
        FileError error = FileError::None;
        EXPECT_FALSE(fw::ExclusiveFile::Open(dir, c.name, error).IsOpen()) << c.name;
        EXPECT_EQ(error, c.expected) << c.name;
    }
}

// The claim renames the file it holds into the claim area and removes it
// after the import; neither may replace a file that took the name meanwhile.
TEST(ExclusiveOpen, TheHeldFileCanBeClaimedAndRemovedButNeverReplacesAnother) {
    WinTempDir tmp;
    tmp.Write("booking.txt", "abc");
    fw::Directory drop = OpenDir(tmp.Path());
    FileError error = FileError::Generic;
    fw::Directory area = drop.OpenChild(".claims", true, 0700, error);
    ASSERT_TRUE(area.IsOpen()) << static_cast<unsigned>(error);
    fw::ExclusiveFile file = fw::ExclusiveFile::Open(drop, "booking.txt", error);
    ASSERT_TRUE(file.IsOpen());

    tmp.Write("taken.txt", "other");
    EXPECT_EQ(drop.Rename("booking.txt", drop, "taken.txt", true), FileError::AlreadyExists);
    EXPECT_EQ(wintest::ReadAll(tmp / "taken.txt"), "other");

    EXPECT_EQ(drop.Rename("booking.txt", area, "booking.txt", true), FileError::None);
    EXPECT_EQ(wintest::ReadAll(tmp / ".claims\\booking.txt"), "");  // held: nobody reads it
    EXPECT_EQ(area.Remove("booking.txt"), FileError::None);
    file.Close();
    EXPECT_EQ(GetFileAttributesA((tmp / ".claims\\booking.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(drop.Remove(".claims", true), FileError::None);
}

TEST(Directory, OpenFailsForAFileOrAMissingPath) {
    WinTempDir tmp;
    tmp.Write("file.txt", "x");
    for (const std::string& path : {tmp / "file.txt", tmp / "missing"}) {
        FileError error = FileError::None;
        EXPECT_FALSE(fw::Directory::Open(path, error).IsOpen()) << path;
        EXPECT_NE(error, FileError::None) << path;
    }
}

TEST(Enumeration, ListsEveryNameOnceWithDotAndDotDot) {
    WinTempDir tmp;
    for (const char* name : {"a.txt", "b.txt", ".hidden", "noext"}) tmp.Write(name, "x");
    fw::Directory dir = OpenDir(tmp.Path());
    fw::DirectoryScan scan;
    ASSERT_TRUE(scan.Start(dir));
    std::vector<std::string> names;
    std::string name;
    while (scan.Next(name)) names.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{".", "..", ".hidden", "a.txt", "b.txt", "noext"}));
    EXPECT_FALSE(scan.Next(name));

    // A second scan of the same Directory starts again.
    ASSERT_TRUE(scan.Start(dir));
    EXPECT_TRUE(scan.Next(name));
}

TEST(Enumeration, MakeAbsoluteKeepsAbsolutePathsAndPrefixesTheCurrentDirectory) {
    for (const char* path : {"C:\\drop", "\\\\server\\share\\drop", "\\drop", "D:/drop"})
        EXPECT_EQ(fw::MakeAbsolute(path), path);
    char cwd[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string expected = cwd;
    if (expected.back() != '\\') expected += '\\';
    EXPECT_EQ(fw::MakeAbsolute("drop"), expected + "drop");
}

TEST(Profile, ReadsWithThePrivateProfileRules) {
    WinTempDir tmp;
    tmp.Write("velmar.ini",
              "[Other]\r\nPath=wrong\r\n[Reservation]\r\n  PATH =  \"C:\\drop\"  \r\n"
              "Long=0123456789\r\n");
    const std::string ini = tmp / "velmar.ini";
    struct Case {
        const char* section;
        const char* key;
        std::size_t buffer;
        const char* expected;
    };
    for (const Case& c :
         {Case{"Reservation", "Path", 100, "C:\\drop"},
          Case{"reservation", "path", 100, "C:\\drop"}, Case{"Reservation", "Missing", 100, "dflt"},
          Case{"Missing", "Path", 100, "dflt"}, Case{"Reservation", "Long", 5, "0123"}})
        EXPECT_EQ(fw::ReadProfileString(ini, c.section, c.key, "dflt", c.buffer), c.expected)
            << c.section << "/" << c.key;
    EXPECT_EQ(fw::ReadProfileString(tmp / "none.ini", "Reservation", "Path", "dflt", 100), "dflt");
}

// A file name without a directory names a file in the Windows directory.
TEST(Profile, AFileNameAloneIsLookedUpInTheWindowsDirectory) {
    const std::string name = "velmar-test-" + std::to_string(GetCurrentProcessId()) + ".ini";
    const std::string path = fw::ProfileDirectory() + "\\" + name;
    char windows[MAX_PATH + 1] = {};
    GetWindowsDirectoryA(windows, sizeof windows);
    EXPECT_EQ(fw::ProfileDirectory(), windows);
    ASSERT_TRUE(WritePrivateProfileStringA("Reservation", "Path", "C:\\bookings", path.c_str()));
    EXPECT_EQ(fw::GetPrivateProfileString("Reservation", "Path", "", 100, name), "C:\\bookings");
    DeleteFileA(path.c_str());
    EXPECT_EQ(fw::GetPrivateProfileString("Reservation", "Path", "gone", 100, name), "gone");
}

// The CRT's time_t of the 32-bit build ends in January 2038; the clock and
// the booking dates must not.
TEST(Clock, ReadsAndConvertsInstantsAfter2038) {
    // Noon UTC: the same calendar day in every zone within twelve hours.
    fw::SetClockSource([] { return fw::EpochSeconds{2214043200}; });  // 2040-02-28 12:00Z
    const fw::ClockReading reading = fw::ReadLocalClock();
    fw::SetClockSource({});
    EXPECT_EQ(reading.date, "2040-02-28");
    ASSERT_EQ(reading.time.size(), 8u);
    EXPECT_EQ(reading.time.substr(5), ":00");
    EXPECT_EQ(fw::ReadLocalClock().date.size(), 10u);

    // A booking's arrival on 29 February 2040: local midnight, within a zone
    // offset of 2040-02-29 00:00Z, and back.
    const std::optional<fw::EpochSeconds> arrival = fw::FromLocalTime({2040, 2, 29}, 0, 0, 0);
    ASSERT_TRUE(arrival);
    EXPECT_LE(std::llabs(*arrival - 2214086400), 14 * 3600) << *arrival;
    std::tm local{};
    ASSERT_TRUE(fw::ToLocalTime(*arrival, local));
    EXPECT_EQ(std::vector<int>({local.tm_year, local.tm_mon, local.tm_mday, local.tm_hour}),
              std::vector<int>({140, 1, 29, 0}));
    EXPECT_FALSE(fw::FromLocalTime({2039, 2, 29}, 0, 0, 0));
}

TEST(Clock, ParsesBookingDates) {
    EXPECT_EQ(fw::ParseDate("2024-2-29"), (fw::CivilDate{2024, 2, 29}));
    EXPECT_EQ(fw::ParseDate("2024\xC4\xEA"
                            "3\xD4\xC2"
                            "1\xC8\xD5"),
              (fw::CivilDate{2024, 3, 1}));
    EXPECT_FALSE(fw::ParseDate("2023-02-29"));
    EXPECT_EQ(fw::DaysBetween({2024, 2, 28}, {2024, 3, 1}), 2);
}

TEST(ProcessTag, TellsThisProcessFromOneThatIsGone) {
    const std::string tag = fw::ThisProcessTag();
    EXPECT_EQ(fw::CheckProcessTag(tag), fw::TagState::Running);
    EXPECT_EQ(tag.find('/'), std::string::npos);
    EXPECT_EQ(tag.find('\\'), std::string::npos);
    // The same process id with another creation time: a reused id.
    const std::size_t last = tag.rfind('+');
    EXPECT_EQ(fw::CheckProcessTag(tag.substr(0, last + 1) + "1"), fw::TagState::Gone);
    EXPECT_EQ(fw::CheckProcessTag("elsewhere+1+" + std::to_string(GetCurrentProcessId()) + "+1"),
              fw::TagState::OtherMachine);
    EXPECT_EQ(fw::CheckProcessTag("not a tag"), fw::TagState::NotATag);
    // A planted name whose process id no DWORD holds names no process.
    EXPECT_EQ(fw::CheckProcessTag(tag.substr(0, tag.find('+')) + "+1+9999999999+1"),
              fw::TagState::Gone);
}

// The trace line prints the category's number, the same on both platforms.
TEST(FileErrors, Win32CodesMapOntoTheSameCategoryNumbers) {
    struct Case {
        DWORD code;
        unsigned category;
    };
    for (const Case& c :
         {Case{ERROR_SUCCESS, 0}, Case{ERROR_FILE_NOT_FOUND, 2}, Case{ERROR_PATH_NOT_FOUND, 3},
          Case{ERROR_TOO_MANY_OPEN_FILES, 4}, Case{ERROR_ACCESS_DENIED, 5},
          Case{ERROR_INVALID_HANDLE, 6}, Case{ERROR_CRC, 9}, Case{ERROR_SHARING_VIOLATION, 10},
          Case{ERROR_LOCK_VIOLATION, 11}, Case{ERROR_DISK_FULL, 12}, Case{ERROR_ALREADY_EXISTS, 14},
          Case{ERROR_FILE_EXISTS, 14}, Case{ERROR_NOT_SUPPORTED, 1}})
        EXPECT_EQ(static_cast<unsigned>(fw::FileErrorFromWin32(c.code)), c.category) << c.code;
}

TEST(GbkText, ConvertsThroughCodePage936AndMarksWhatIsNotGbk) {
    EXPECT_EQ(fw::gbk::ToUtf8("ab\xD6\xD0\xCE\xC4"), "ab\xE4\xB8\xAD\xE6\x96\x87");  // 中文
    EXPECT_EQ(fw::gbk::ToUtf8Escaped("\xFF"
                                     "a"),
              "\\xff"
              "a");
    EXPECT_EQ(fw::gbk::ToUtf8("\xD6"), "\xEF\xBF\xBD");
    EXPECT_DOUBLE_EQ(fw::gbk::ParseLeadingDouble(" +12.5e1x"), 125.0);
}

TEST(Trace, ASinkReceivesTheEscapedLine) {
    std::vector<std::string> lines;
    fw::TraceSink previous =
        fw::SetTraceSink([&](std::string_view line) { lines.emplace_back(line); });
    fw::Trace("a\x1b%s\n", "b");
    fw::SetTraceSink(previous);
    EXPECT_EQ(lines, (std::vector<std::string>{"a\\x1bb\n"}));
    EXPECT_EQ(fw::TraceGbk("\xD6\xD0"), "\xD6\xD0");  // no journal on Windows
}

// Run by CTest with WINEDEBUG=+debugstr, which must show the line: the
// default channel is OutputDebugStringA.
TEST(TraceChannel, WritesThroughOutputDebugString) {
    fw::Trace("trace channel probe %d\n", 42);
    SUCCEED();
}

}  // namespace
