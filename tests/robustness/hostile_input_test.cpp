// Booking files and drop directories that are broken or change under the
// scan: nothing crashes, nothing is lost, and what is not imported says why.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "reservation/BookingClaim.h"
#include "reservation/FileSearch.h"
#include "reservation/ImportBooking.h"
#include "tests/import/ImportFixture.h"

namespace importtest {
namespace {

class HostileInput : public ImportTest {};

TEST_P(HostileInput, InvalidGbkIsImportedAsBytesOrKeptWithAReason) {
    Booking b;
    b.number = "BADGBK";
    std::string text = b.FileText();
    const std::string broken = "\x80\xFF";  // no GBK character, no lead byte to swallow the ","
    text.replace(text.find(ts::Gbk("张三")), ts::Gbk("张三").size(), broken);
    const std::string path = DropBytes("b.txt", text);
    ImportAll();

    if (ts::FileExists(path)) {
        // The server refused the bytes: rolled back, kept, and traced.
        EXPECT_EQ(db_->Count("GstProfile"), 0);
        EXPECT_EQ(trace_.Count("can't import " + path), 1u) << trace_.Text();
    } else {
        EXPECT_EQ(db_->Scalar("select ChnName from GstProfile"), broken);
        EXPECT_EQ(db_->Count("Reservation"), 1);
    }
}

TEST_P(HostileInput, NulBytesEndTheBookingText) {
    Booking b;
    b.remarks = "before";
    std::string text = b.FileText() + std::string("\0,tail,after,the,nul", 20);
    DropBytes("nul.txt", text);
    ImportAll();
    EXPECT_EQ(Text(One("select Note from Reservation")[0]), "(预定公司携程 电话:021-5555) before");
}

TEST_P(HostileInput, AFileThatVanishesBetweenListingAndOpeningIsPassedOver) {
    Booking a, b;
    a.number = "V1";
    b.number = "V2";
    const std::string first = Drop("1.txt", a);
    const std::string second = Drop("2.txt", b);
    // Whichever is handled first removes the other before the scan gets to it.
    auto previous = resv::SetBookingHandler([&](int, resv::BookingClaim& claim) {
        std::remove((claim.Path() == first ? second : first).c_str());
        return resv::ImportBooking(claim);
    });
    ImportAll();
    resv::SetBookingHandler(previous);
    EXPECT_EQ(db_->Count("Reservation"), 1);
    EXPECT_EQ(trace_.Count(",error=2\n"), 1u) << trace_.Text();
}

TEST_P(HostileInput, ADropDirectoryRemovedDuringTheScanEndsItCleanly) {
    for (int i = 0; i < 5; ++i) {
        Booking b;
        b.number = ts::Cat("D", i);
        Drop(b.number + ".txt", b);
    }
    const std::string dir = drop_.Path();
    auto previous = resv::SetBookingHandler([&](int, resv::BookingClaim& claim) {
        const resv::Handled handled = resv::ImportBooking(claim);
        std::filesystem::remove_all(dir);
        return handled;
    });
    ImportAll();
    resv::SetBookingHandler(previous);
    // The first booking is in; the others went with the directory, and the
    // scan ended without touching anything else.
    EXPECT_EQ(db_->Count("Reservation"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir));
    std::filesystem::create_directory(dir);  // for the fixture's clean-up
}

TEST_P(HostileInput, ThousandsOfCommasAndAMegabyteFileImportWhatTheyHold) {
    Booking b;
    b.number = "COMMAS";
    DropBytes("commas.txt", b.FileText() + std::string(10000, ','));
    Booking big;
    big.number = "BIG";
    DropBytes("big.txt", big.FileText() + std::string(1 << 20, 'x'));
    ImportAll();
    EXPECT_EQ(db_->Count("Reservation"), 2);
    // The megabyte file: the remark is what fits in the first 4096 bytes, cut
    // to a column's 255 bytes.
    const std::string note = *One("select Note from Reservation where CRONum = 'BIG'")[0];
    EXPECT_EQ(note.size(), 255u);
}

INSTANTIATE_BACKENDS(HostileInput);

}  // namespace
}  // namespace importtest
