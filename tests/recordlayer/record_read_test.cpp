// Reading through table records and the plain query record on both
// backends: the default query as each driver gets it, opening for an insert
// without reading, positional binding of a caller's select, parameters,
// ColumnText, and the 255-byte limit of texts on the way in.
#include <gtest/gtest.h>

#include "recordlayer/CDBException.h"
#include "recordlayer/TableRecord.h"
#include "reservation/FOLIOTbl.h"
#include "reservation/GstProfileTbl.h"
#include "reservation/reservationTbl.h"
#include "tests/recordlayer/RecordFixture.h"

namespace {

using ReadTest = RecordTest;

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}
bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST_P(ReadTest, DefaultQueryRendersBoundColumnsForTheDriver) {
    CFOLIOTbl folio(&db_);
    folio.OpenRows(rl::SnapshotOpen);
    CreservationTbl reservation(&db_);
    reservation.OpenRows(rl::KeysetOpen);
    CGstProfileTbl profile(&db_);
    profile.OpenRows(rl::KeysetOpen);
    if (OnPostgreSQL()) {
        EXPECT_TRUE(StartsWith(folio.LastSelectSql(), "select \"serial\",\"gstacct\","));
        EXPECT_TRUE(EndsWith(folio.LastSelectSql(), ",\"note\" from \"dbo\".\"folio\""))
            << folio.LastSelectSql();
        EXPECT_TRUE(StartsWith(reservation.LastSelectSql(), "select \"register\",\"cronum\","));
        EXPECT_TRUE(EndsWith(reservation.LastSelectSql(),
                             ",\"confirmclerk\" from \"dbo\".\"reservation\""));
        EXPECT_TRUE(StartsWith(profile.LastSelectSql(), "select \"acct\","));
        EXPECT_TRUE(
            EndsWith(profile.LastSelectSql(), ",\"roomservice\" from \"dbo\".\"gstprofile\""));
    } else {
        EXPECT_TRUE(StartsWith(Dq(folio.LastSelectSql()), "select \"Serial\",\"GstAcct\","));
        EXPECT_TRUE(EndsWith(Dq(folio.LastSelectSql()), ",\"Note\" from \"FOLIO\""))
            << Dq(folio.LastSelectSql());
        EXPECT_TRUE(StartsWith(Dq(reservation.LastSelectSql()), "select \"Register\",\"CRONum\","));
        EXPECT_TRUE(
            EndsWith(Dq(reservation.LastSelectSql()), ",\"ConfirmClerk\" from \"Reservation\""));
        EXPECT_TRUE(EndsWith(Dq(profile.LastSelectSql()), ",\"RoomService\" from \"GstProfile\""));
    }
    const std::string& sql = reservation.LastSelectSql();
    EXPECT_EQ(std::count(sql.begin(), sql.end(), ','), 107);
    EXPECT_EQ(folio.CurrentOpenType(), rl::SnapshotOpen);
    // An explicit type wins over the class's default.
    folio.OpenRows(rl::KeysetOpen);
    EXPECT_EQ(folio.CurrentOpenType(), rl::KeysetOpen);
    folio.OpenRows();
    EXPECT_EQ(folio.CurrentOpenType(), rl::SnapshotOpen);
}

TEST_P(ReadTest, KeysetOpenOfTheDefaultQueryReadsNothingUntilAsked) {
    hotel_->Execute("insert into FOLIO (GstAcct, Code) values (7, 'A')");
    CFOLIOTbl folio(&db_);
    folio.OpenRows(rl::KeysetOpen);
    EXPECT_TRUE(folio.IsOpen());
    EXPECT_EQ(folio.GstAcct.Value(), 0);
    EXPECT_TRUE(folio.Code.empty());
    ASSERT_FALSE(folio.AtEnd());
    EXPECT_EQ(folio.GstAcct.Value(), 7);
    EXPECT_EQ(folio.Code, "A");
    EXPECT_TRUE(folio.Descp.empty());  // NULL column
    folio.NextRow();
    EXPECT_TRUE(folio.AtEnd());

    // A snapshot stands on its first row straight away.
    CFOLIOTbl snapshot(&db_);
    snapshot.OpenRows(rl::SnapshotOpen);
    EXPECT_EQ(snapshot.GstAcct.Value(), 7);
}

TEST_P(ReadTest, NextRowBeforeAnyReadMovesPastTheFirstRow) {
    hotel_->Execute("insert into FOLIO (GstAcct) values (1)");
    hotel_->Execute("insert into FOLIO (GstAcct) values (2)");
    CFOLIOTbl folio(&db_);
    folio.OpenRows(rl::KeysetOpen);
    folio.NextRow();
    ASSERT_FALSE(folio.AtEnd());
    EXPECT_EQ(folio.GstAcct.Value(), 2);
    folio.NextRow();
    EXPECT_TRUE(folio.AtEnd());
    folio.NextRow();
    EXPECT_TRUE(folio.AtEnd());
}

TEST_P(ReadTest, LowerCaseSelectRunsUnchangedAndBindsByPosition) {
    hotel_->Execute(
        "insert into GstProfile (MemNum, ChnName, CompanyAcct, Cashlist, Blacklist, RoomService, "
        "OrgTime) "
        "values ('M1', 'Li', 11, 3, 1, 'svc', '09:05:03')");
    hotel_->Execute("insert into GstProfile (ChnName, OrgTime) values ('Li', '10:00:00')");
    const std::string acct =
        hotel_->Scalar("select Acct from GstProfile where OrgTime = '09:05:03'");

    const char* sql = "select * from GstProfile where OrgTime='09:05:03' and chnname='Li'";
    CGstProfileTbl g(&db_);
    g.OpenRows(rl::SnapshotOpen, sql);
    EXPECT_EQ(g.LastSelectSql(), sql);
    ASSERT_FALSE(g.AtEnd());
    EXPECT_EQ(std::to_string(g.Acct.Value()), acct);
    EXPECT_EQ(g.MemNum, "M1");
    EXPECT_EQ(g.ChnName, "Li");
    EXPECT_EQ(g.CompanyAcct.Value(), 11);
    EXPECT_EQ(g.Cashlist.Value(), 3);
    EXPECT_EQ(g.Blacklist.Value(), 1);
    EXPECT_EQ(g.RoomService, "svc");
    g.NextRow();
    EXPECT_TRUE(g.AtEnd());
}

TEST_P(ReadTest, ParametersCarryQuotesAndTypedValues) {
    hotel_->Execute(
        "insert into GstProfile (ChnName, OrgTime, Cashlist) values ('O''Brien', '08:00:00', 2)");
    CGstProfileTbl g(&db_);
    g.OpenRows(rl::SnapshotOpen, "SELECT * from GstProfile where ChnName = ? and Cashlist = ?", 0,
               {std::string("O'Brien"), std::int64_t{2}});
    ASSERT_FALSE(g.AtEnd());
    EXPECT_EQ(g.ChnName, "O'Brien");
    g.OpenRows(rl::SnapshotOpen, "select * from GstProfile where ChnName = ?", 0,
               {std::string("O' or ''='")});
    EXPECT_TRUE(g.AtEnd());
}

TEST_P(ReadTest, PlainQueryRecordReadsColumnsByName) {
    rl::TableRecord query(&db_);
    query.OpenRows(rl::SnapshotOpen, "select Code,Descp from Payment", 0);
    EXPECT_EQ(query.FieldCount(), 0u);
    std::vector<std::pair<std::string, std::string>> rows;
    while (!query.AtEnd()) {
        std::string code, descp;
        query.ColumnText("Code", code);
        query.ColumnText("DESCP", descp);
        rows.emplace_back(code, descp);
        query.NextRow();
    }
    query.CloseRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_NE(
        std::find(rows.begin(), rows.end(), std::make_pair(std::string("CASH"), ts::Gbk("现金"))),
        rows.end());

    query.OpenRows(rl::SnapshotOpen, "select Code, Descp, 12 as Num from Market where Code = 'TA'",
                   0);
    std::string text;
    EXPECT_THROW(query.ColumnText("Description", text), rl::CDBException);
    query.ColumnText("[Num]", text);
    EXPECT_EQ(text, "12");
    query.ColumnText("Descp", text);
    EXPECT_EQ(text, ts::Gbk("旅行社"));
}

TEST_P(ReadTest, NullColumnsReadAsEmptyOrNull) {
    hotel_->Execute("insert into Payment (Code) values ('NUL')");
    rl::TableRecord query(&db_);
    query.OpenRows(rl::SnapshotOpen, "select Code, Descp from Payment where Code = 'NUL'", 0);
    std::string descp = "stale";
    query.ColumnText("Descp", descp);
    EXPECT_EQ(descp, "");

    hotel_->Execute("insert into FOLIO (Code) values ('N')");
    CFOLIOTbl folio(&db_);
    folio.OpenRows(rl::SnapshotOpen, "select * from FOLIO where Code = 'N'");
    EXPECT_TRUE(folio.GstAcct.IsNull());
    EXPECT_TRUE(folio.Txfr_type.IsNull());
    std::string account = "stale";
    folio.ColumnText("GstAcct", account);
    EXPECT_EQ(account, "");
}

TEST_P(ReadTest, LongTextsAreCutAtACharacterBoundaryWhenRead) {
    // 1 + 150 double-byte characters = 301 bytes; 255 would split a character.
    std::string stored = "x";
    for (int i = 0; i < 150; ++i) stored += ts::Gbk("乗");
    std::string literal;
    for (char c : stored) {
        literal += c;
        if (c == '\'') literal += '\'';
    }
    hotel_->Execute("insert into GstProfile (ChnName, Address) values ('long', '" + literal + "')");
    ASSERT_EQ(hotel_->Scalar("select Address from GstProfile where ChnName = 'long'"), stored);

    CGstProfileTbl g(&db_);
    g.OpenRows(rl::SnapshotOpen, "select * from GstProfile where ChnName = 'long'");
    EXPECT_EQ(g.Address.size(), 255u);
    EXPECT_EQ(g.Address, stored.substr(0, 255));

    rl::TableRecord query(&db_);
    // "||" is MariaDB's "or" unless the server is told otherwise.
    query.OpenRows(rl::SnapshotOpen,
                   OnMariaDB() ? "select concat('a', Address) as a from GstProfile"
                               : "select 'a' || Address as a from GstProfile",
                   0);
    std::string text;
    query.ColumnText("a", text);
    EXPECT_EQ(text.size(), 254u);
    EXPECT_EQ(text, "a" + stored.substr(0, 253));
}

TEST_P(ReadTest, FailingQueryRaisesTheDriversMessage) {
    rl::TableRecord query(&db_);
    try {
        query.OpenRows(rl::SnapshotOpen, "select Code from NoSuchTable", 0);
        FAIL() << "no error";
    } catch (const rl::CDBException& e) {
        EXPECT_NE(e.DriverMessage().find(OnPostgreSQL() ? "nosuchtable" : "NoSuchTable"),
                  std::string::npos)
            << e.DriverMessage();
        EXPECT_EQ(e.SqlState().size(), 5u);
    }
    EXPECT_FALSE(query.IsOpen());
    EXPECT_TRUE(query.AtEnd());
}

TEST_P(ReadTest, ARecordWithoutAConnectionOpensItsOwn) {
    hotel_->Execute("insert into FOLIO (GstAcct) values (5)");
    CFOLIOTbl folio(nullptr);
    folio.OpenRows();
    ASSERT_FALSE(folio.AtEnd());
    EXPECT_EQ(folio.GstAcct.Value(), 5);
    folio.BeginNewRow();
    folio.GstAcct = 6;
    folio.SaveRow();
    folio.CloseRows();
    EXPECT_EQ(hotel_->Count("FOLIO"), 2);
}

INSTANTIATE_BACKENDS(ReadTest);

}  // namespace
