// What a mode-1 import writes: the three rows of a booking and the
// conversions on the way (nightly rate, room type, payment, market, note).
#include <gtest/gtest.h>

#include <string>

#include "reservation/FileSearch.h"
#include "tests/import/ImportFixture.h"

namespace importtest {
namespace {

class ImportRows : public ImportTest {};

TEST_P(ImportRows, OneBookingBecomesProfileReservationAndFolio) {
    const std::string path = Drop("booking1.txt", Booking{});
    ImportAll("Zedi");

    EXPECT_FALSE(ts::FileExists(path));
    const ts::Row profile =
        One("select Acct, ChnName, Phone, OrgDate, OrgTime, OrgClerk from GstProfile");
    ASSERT_EQ(profile.size(), 6u);
    const std::string acct = *profile[0];
    EXPECT_EQ(Text(profile[1]), "张三");
    EXPECT_EQ(Text(profile[2]), "13800000000");
    EXPECT_EQ(Text(profile[3]), "2026-03-07");
    EXPECT_EQ(Text(profile[4]), "09:05:03");
    EXPECT_EQ(Text(profile[5]), "Zedi");

    const ts::Row r =
        One("select GstAcct, CRONum, Adults, ArrDate, DptDate, RmType, RmNumbers, Paymethod, "
            "RateCode, FolioRate, RmRate,"
            " ConsumStyle, MarketCode, Note, OrgDate, OrgTime, OrgClerk from Reservation");
    ASSERT_EQ(r.size(), 17u);
    EXPECT_EQ(*r[0], acct);
    EXPECT_EQ(Text(r[1]), "WB-1001");
    EXPECT_EQ(Text(r[2]), "2");
    EXPECT_EQ(Text(r[3]).substr(0, 19), "2026-03-17 00:00:00");
    EXPECT_EQ(Text(r[4]).substr(0, 19), "2026-03-20 00:00:00");
    EXPECT_EQ(Text(r[5]), "STD");
    EXPECT_EQ(Text(r[6]), "1");
    EXPECT_EQ(Text(r[7]), "CASH");
    EXPECT_EQ(Text(r[8]), "RACK");
    EXPECT_EQ(Text(r[9]), "333");
    EXPECT_EQ(Text(r[10]), "333");
    EXPECT_EQ(Text(r[11]), "0");
    EXPECT_EQ(Text(r[12]), "NET");
    EXPECT_EQ(Text(r[13]), "(预定公司携程 电话:021-5555) 无烟");
    EXPECT_EQ(Text(r[14]), "2026-03-07");
    EXPECT_EQ(Text(r[15]), "09:05:03");
    EXPECT_EQ(Text(r[16]), "Zedi");

    const ts::Row folio = One("select GstAcct, Code, Descp from FOLIO");
    ASSERT_EQ(folio.size(), 3u);
    EXPECT_EQ(*folio[0], acct);
    EXPECT_EQ(Text(folio[1]), "A");
    EXPECT_EQ(Text(folio[2]), "标准帐本");

    EXPECT_EQ(std::to_string(resv::ImportedGuestAccount), acct);
    EXPECT_EQ(resv::BookingFieldTable[2], "NET");
    EXPECT_EQ(resv::BookingFieldTable[5], "STD");
    EXPECT_EQ(resv::BookingFieldTable[15], "333");
    EXPECT_EQ(trace_.Count("imported " + path + " as guest account " + acct + "\n"), 1u);
}

TEST_P(ImportRows, NightlyRateIsThePriceOverTheNightsTruncatedTowardZero) {
    struct Case {
        const char* price;
        const char* arrival;
        const char* departure;
        const char* rate;
    } cases[] = {
        {"1000", "2026-03-17", "2026-03-20", "333"},
        {"1000.9", "2026-03-17", "2026-03-18", "1000"},
        {"-7", "2026-03-17", "2026-03-19", "-3"},
        {"1000", "2026-03-17", "2026-03-17", "0"},
        {"about 900", "2026-03-17", "2026-03-18", "0"},
        {"  600元", "2026/3/1", "2026.3.3", "300"},
        {"900", "2026年3月28日", "2026-03-31 12:00", "300"},  // across the spring clock change
        {"0x20", "2026-03-17", "2026-03-18", "0"},
    };
    int n = 0;
    for (const Case& c : cases) {
        Booking b;
        b.number = ts::Cat("N", ++n);
        b.price = c.price;
        b.arrival = c.arrival;
        b.departure = c.departure;
        Drop("rate.txt", b);
        ImportAll();
        const ts::Row r =
            One("select RmRate, FolioRate from Reservation where CRONum = '" + b.number + "'");
        ASSERT_EQ(r.size(), 2u) << c.price;
        EXPECT_EQ(Text(r[0]), c.rate) << c.price << " " << c.arrival << " " << c.departure;
        EXPECT_EQ(Text(r[1]), c.rate);
    }
}

TEST_P(ImportRows, RoomTypeNamesMapThroughTheIniFileByteForByte) {
    struct Case {
        const char* name;
        const char* code;
    } cases[] = {{"豪华间", "DLX"},      {"套间", "STE"},        {"商务间", "BIZ"},
                 {" 标准间", " 标准间"}, {"标准间 ", "标准间 "}, {"大床房", "大床房"}};
    int n = 0;
    for (const Case& c : cases) {
        Booking b;
        b.number = ts::Cat("R", ++n);
        b.roomType = c.name;
        Drop("room.txt", b);
        ImportAll();
        EXPECT_EQ(Text(One("select RmType from Reservation where CRONum = '" + b.number + "'")[0]),
                  c.code)
            << c.name;
    }

    // Without its key a configured name maps to the empty text.
    db_->WriteIni({{"DefaultRateCode", "RACK"}, {"标准间", "STD"}});
    Booking b;
    b.number = "R-nokey";
    b.roomType = "豪华间";
    Drop("room.txt", b);
    ImportAll();
    EXPECT_EQ(resv::BookingFieldTable[5], "");
    const ts::Row r = One("select RmType, RateCode from Reservation where CRONum = 'R-nokey'");
    EXPECT_TRUE(!r[0] || r[0]->empty());
    EXPECT_EQ(Text(r[1]), "RACK");

    // Without the ini file at all: no rate code, names map to nothing.
    db_->RemoveIni();
    b.number = "R-noini";
    b.roomType = "标准间";
    Drop("room.txt", b);
    ImportAll();
    const ts::Row none = One("select RmType, RateCode from Reservation where CRONum = 'R-noini'");
    EXPECT_TRUE(!none[0] || none[0]->empty());
    EXPECT_TRUE(!none[1] || none[1]->empty());
}

TEST_P(ImportRows, LookupsTrimTrailingBlanksOfTheTableNotOfTheBooking) {
    db_->Execute("insert into Payment (Code, Descp) values ('VCH  ', '" + ts::Gbk("代金券") +
                 "   ')");
    db_->Execute("insert into Market (Code, Descp) values ('DUP1', '" + ts::Gbk("团队") + "')");
    db_->Execute("insert into Market (Code, Descp) values ('DUP2', '" + ts::Gbk("团队") + "')");

    Booking b;
    b.number = "L1";
    b.payment = "代金券";
    b.type = "团队";
    Drop("l1.txt", b);
    ImportAll();
    ts::Row r = One("select Paymethod, MarketCode from Reservation where CRONum = 'L1'");
    EXPECT_EQ(Text(r[0]), "VCH");
    EXPECT_EQ(Text(r[1]), "DUP1");  // the first row returned wins

    b.number = "L2";
    b.payment = "现金 ";
    b.type = "不存在的类型";
    Drop("l2.txt", b);
    ImportAll();
    r = One("select Paymethod, MarketCode from Reservation where CRONum = 'L2'");
    EXPECT_TRUE(!r[0] || r[0]->empty());
    EXPECT_EQ(Text(r[1]), "不存在的类型");
}

TEST_P(ImportRows, NoteCountsAndEmptyFields) {
    Booking b;
    b.company = "";
    b.companyPhone = "";
    b.remarks = "";
    b.guests = "3人";
    b.rooms = "";
    Drop("b.txt", b);
    ImportAll();
    const ts::Row r = One("select Note, Adults, RmNumbers from Reservation");
    EXPECT_EQ(Text(r[0]), "(预定公司 电话:) ");
    EXPECT_EQ(Text(r[1]), "3");
    EXPECT_EQ(Text(r[2]), "0");
}

TEST_P(ImportRows, ALongRemarkIsCutAtACharacterBoundaryAndImports) {
    Booking b;
    b.remarks = "";
    for (int i = 0; i < 150; ++i) b.remarks += "长";  // 300 bytes of GBK
    const std::string path = Drop("long.txt", b);
    ImportAll();
    EXPECT_FALSE(ts::FileExists(path));
    const ts::Row r = One("select Note from Reservation");
    ASSERT_TRUE(r[0].has_value());
    EXPECT_LE(r[0]->size(), 255u);
    EXPECT_GE(r[0]->size(), 254u);
    EXPECT_NO_THROW(ts::Utf8(*r[0]));  // whole characters only
}

TEST_P(ImportRows, AGuestNameWithQuotesAndSqlImportsAsWritten) {
    Booking b;
    b.guest = "O'Brien'; drop table GstProfile; --";
    Drop("q.txt", b);
    ImportAll();
    const ts::Row p = One("select Acct, ChnName from GstProfile");
    EXPECT_EQ(Text(p[1]), b.guest);
    EXPECT_EQ(*One("select GstAcct from Reservation")[0], *p[0]);
}

TEST_P(ImportRows, EachBookingGetsItsOwnProfileEvenWithTheSameNameInTheSameSecond) {
    // An older profile of the same name created at the same time of day.
    db_->Execute("insert into GstProfile (ChnName, OrgDate, OrgTime) values ('" + ts::Gbk("张三") +
                 "', '2020-01-01', '09:05:03')");
    const std::string old = db_->Scalar("select Acct from GstProfile");
    Booking a, b;
    a.number = "SAME-1";
    b.number = "SAME-2";
    Drop("a.txt", a);
    Drop("b.txt", b);
    ImportAll();  // both within the pinned second

    EXPECT_EQ(db_->Count("GstProfile"), 3);
    const std::string accA = *One("select GstAcct from Reservation where CRONum = 'SAME-1'")[0];
    const std::string accB = *One("select GstAcct from Reservation where CRONum = 'SAME-2'")[0];
    EXPECT_NE(accA, accB);
    EXPECT_NE(accA, old);
    EXPECT_NE(accB, old);
    EXPECT_EQ(db_->Count("FOLIO"), 2);
    EXPECT_EQ(Text(One("select count(*) from FOLIO where GstAcct = " + accA)[0]), "1");
    EXPECT_EQ(Text(One("select count(*) from FOLIO where GstAcct = " + accB)[0]), "1");
}

INSTANTIATE_BACKENDS(ImportRows);

}  // namespace
}  // namespace importtest
