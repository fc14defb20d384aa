// Reading one booking file into the field table: the one read of 4096 bytes,
// the NUL cut, the trim, the split at commas that are not trail bytes, and
// the entries a file may and may not write.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "framework/exclusivefile.h"
#include "reservation/FileSearch.h"
#include "tests/support/TestSupport.h"

namespace {

using resv::BookingFields;
using resv::SplitBooking;

BookingFields Filled(const char* text) {
    BookingFields t;
    for (auto& e : t) e = text;
    return t;
}

TEST(BookingSplit, FieldsLandInOrderAndEarlierEntriesAreCleared) {
    BookingFields t = Filled("old");
    EXPECT_EQ(SplitBooking("a,b,c", t), 3);
    EXPECT_EQ(t[0], "a");
    EXPECT_EQ(t[1], "b");
    EXPECT_EQ(t[2], "c");
    for (int i = 3; i < 17; ++i) EXPECT_EQ(t[i], "") << i;
    // Path, entry 18 and clerk are not the file's to write.
    EXPECT_EQ(t[17], "old");
    EXPECT_EQ(t[18], "old");
    EXPECT_EQ(t[19], "old");
}

TEST(BookingSplit, EmptyFieldsAndBlanksBelongToTheirFields) {
    BookingFields t;
    SplitBooking("a , b,,c,", t);
    EXPECT_EQ(t[0], "a ");
    EXPECT_EQ(t[1], " b");
    EXPECT_EQ(t[2], "");
    EXPECT_EQ(t[3], "c");
    EXPECT_EQ(t[4], "");
}

TEST(BookingSplit, OuterWhiteSpaceIsTrimmedInnerLineBreaksStay) {
    BookingFields t;
    SplitBooking(" \t\r\na,x\r\ny,c\r\n\v\f", t);
    EXPECT_EQ(t[0], "a");
    EXPECT_EQ(t[1], "x\r\ny");
    EXPECT_EQ(t[2], "c");
}

TEST(BookingSplit, TextEndsAtTheFirstNul) {
    BookingFields t;
    std::string raw(100, 'x');
    raw += std::string("\0,y,z", 5);
    EXPECT_EQ(SplitBooking(raw, t), 1);
    EXPECT_EQ(t[0], std::string(100, 'x'));
    EXPECT_EQ(t[1], "");
}

TEST(BookingSplit, CommaAfterALeadByteIsNotASeparator) {
    BookingFields t;
    const std::string name = "\xB9,\xC0\xEE";  // a lead byte, then 0x2C as its trail byte
    EXPECT_EQ(SplitBooking("n," + name + ",p", t), 3);
    EXPECT_EQ(t[1], name);
    EXPECT_EQ(t[2], "p");
    // Chinese text is stored byte for byte.
    SplitBooking(std::string("1,2,3,4,5,") + "\xB1\xEA\xD7\xBC\xBC\xE4", t);
    EXPECT_EQ(t[5], "\xB1\xEA\xD7\xBC\xBC\xE4");
}

TEST(BookingSplit, SurplusFieldsAreDroppedAndNeverReachThePathOrClerk) {
    BookingFields t = Filled("keep");
    std::string raw;
    for (int i = 0; i < 20; ++i) raw += ts::Cat("f", i, ",");
    raw += "last";
    EXPECT_EQ(SplitBooking(raw, t), 21);
    EXPECT_EQ(t[16], "f16");
    EXPECT_EQ(t[17], "keep");
    EXPECT_EQ(t[18], "keep");
    EXPECT_EQ(t[19], "keep");

    const std::string commas(10000, ',');
    EXPECT_EQ(SplitBooking(commas, t), 10001);
    for (int i = 0; i < 17; ++i) EXPECT_EQ(t[i], "");
    EXPECT_EQ(t[17], "keep");
}

class ReadBookingFileTest : public ::testing::Test {
  protected:
    resv::ReadOutcome Read(const std::string& bytes, BookingFields& t) {
        const std::string path = dir_.Path() + "/booking";
        ts::WriteFile(path, bytes);
        fw::FileError error = fw::FileError::None;
        fw::ExclusiveFile file =
            fw::ExclusiveFile::Open(fw::Directory::Open(dir_.Path(), error), "booking", error);
        EXPECT_TRUE(file.IsOpen()) << static_cast<unsigned>(error);
        return resv::ReadBookingFile(file, t);
    }
    ts::TempDir dir_;
};

TEST_F(ReadBookingFileTest, OnlyTheFirst4096BytesCountEvenInsideACharacter) {
    BookingFields t;
    std::string raw(4095, 'a');
    raw += "\xB1\xEA,tail";  // the lead byte is byte 4096, its trail byte is cut off
    ASSERT_EQ(Read(raw, t), resv::ReadOutcome::Read);
    EXPECT_EQ(t[0].size(), 4096u);
    EXPECT_EQ(static_cast<unsigned char>(t[0].back()), 0xB1);
    EXPECT_EQ(t[1], "");
}

TEST_F(ReadBookingFileTest, EmptyOrBlankFilesAreNotBookingsAndChangeNothing) {
    BookingFields t = Filled("prev");
    EXPECT_EQ(Read("", t), resv::ReadOutcome::Empty);
    EXPECT_EQ(Read(" \r\n\t ", t), resv::ReadOutcome::Empty);
    EXPECT_EQ(Read(std::string("\0abc", 4), t), resv::ReadOutcome::Empty);
    for (const auto& e : t) EXPECT_EQ(e, "prev");
}

TEST_F(ReadBookingFileTest, AMegabyteFileReadsItsFirstBlockOnly) {
    BookingFields t;
    std::string raw = "a,b,";
    raw += std::string(1 << 20, 'z');
    ASSERT_EQ(Read(raw, t), resv::ReadOutcome::Read);
    EXPECT_EQ(t[0], "a");
    EXPECT_EQ(t[2].size(), 4096u - 4u);
}

}  // namespace
