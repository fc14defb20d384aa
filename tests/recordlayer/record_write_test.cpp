// Writing through table records on both backends: which columns an insert
// names, values that must survive the trip unchanged (zero, quotes, GBK
// bytes, local midnight, dates past 2038), the 255-byte cut, assigned
// identities, transactions and what a failing statement leaves behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "recordlayer/CDBException.h"
#include "recordlayer/DateTimeValue.h"
#include "recordlayer/TableRecord.h"
#include "reservation/FOLIOTbl.h"
#include "reservation/GstProfileTbl.h"
#include "reservation/reservationTbl.h"
#include "tests/recordlayer/RecordFixture.h"

namespace {

using WriteTest = RecordTest;

long InsertProfile(rl::DbConnection& db, const std::string& name) {
    CGstProfileTbl g(&db);
    g.BeginNewRow();
    g.ChnName = name;
    return static_cast<long>(g.SaveRowGetIdentity("[Acct]").value());
}

TEST_P(WriteTest, InsertNamesOnlyAssignedColumns) {
    CFOLIOTbl folio(&db_);
    folio.OpenRows(rl::KeysetOpen);
    folio.BeginNewRow();
    folio.GstAcct = 0;
    folio.Code = "A";
    folio.Descp = "";
    folio.Txfr_type = 0;
    folio.SaveRow();
    folio.CloseRows();

    const std::string expected =
        OnPostgreSQL()
            ? "insert into \"dbo\".\"folio\" (\"gstacct\",\"code\",\"txfr_type\") values (?,?,?)"
            : "insert into \"FOLIO\" (\"GstAcct\",\"Code\",\"Txfr_type\") values (?,?,?)";
    EXPECT_EQ(Dq(folio.LastInsertSql()), expected);

    auto rows =
        hotel_->Query("select Serial, GstAcct, Code, Descp, Txfr_type, GrpAcct, Note from FOLIO");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0][0].has_value());  // assigned by the database
    EXPECT_EQ(rows[0][1], "0");
    EXPECT_EQ(rows[0][2], "A");
    EXPECT_EQ(rows[0][3], std::nullopt);
    EXPECT_EQ(rows[0][4], "0");
    EXPECT_EQ(rows[0][5], std::nullopt);
    EXPECT_EQ(rows[0][6], std::nullopt);
}

TEST_P(WriteTest, ProfileInsertLeavesTheIdentityToTheDatabase) {
    CGstProfileTbl g(&db_);
    g.OpenRows(rl::KeysetOpen);
    g.BeginNewRow();
    g.ChnName = ts::Gbk("张三");
    g.Phone = "13800000000";
    g.OrgDate = "2024-03-07";
    g.OrgTime = "09:05:03";
    g.OrgClerk = "Zedi";
    g.SaveRow();
    EXPECT_EQ(Dq(g.LastInsertSql()).find(OnPostgreSQL() ? "\"acct\"" : "\"Acct\""),
              std::string::npos);
    EXPECT_EQ(std::count(g.LastInsertSql().begin(), g.LastInsertSql().end(), '?'), 5);
    g.CloseRows();

    CGstProfileTbl readBack(&db_);
    readBack.OpenRows(rl::SnapshotOpen, "select * from GstProfile where OrgTime=? and chnname=?", 0,
                      {std::string("09:05:03"), ts::Gbk("张三")});
    ASSERT_FALSE(readBack.AtEnd());
    EXPECT_GT(readBack.Acct.Value(), 0);
    EXPECT_EQ(readBack.OrgClerk, "Zedi");
    EXPECT_TRUE(readBack.Blacklist.IsNull());
}

TEST_P(WriteTest, SaveRowGetIdentityAnswersTheRowJustInserted) {
    const long first = InsertProfile(db_, "first");
    const long second = InsertProfile(db_, "second");
    EXPECT_GT(second, first);
    EXPECT_EQ(
        hotel_->Scalar("select ChnName from GstProfile where Acct = " + std::to_string(second)),
        "second");
    EXPECT_EQ(
        hotel_->Scalar("select ChnName from GstProfile where Acct = " + std::to_string(first)),
        "first");

    // Another table's identity column.
    CFOLIOTbl folio(&db_);
    folio.BeginNewRow();
    folio.GstAcct = static_cast<std::int32_t>(second);
    const long serial = static_cast<long>(folio.SaveRowGetIdentity("[Serial]").value());
    EXPECT_EQ(hotel_->Scalar("select GstAcct from FOLIO where Serial = " + std::to_string(serial)),
              std::to_string(second));
}

// A row and a second one that refers to its identity (the import ledger's
// row and its guest profile): one statement on PostgreSQL, two elsewhere,
// whole or not at all either way.
TEST_P(WriteTest, SaveRowsGetIdentityGivesTheFollowerTheRowsIdentityOrFailsWhole) {
    CGstProfileTbl profile(&db_);
    profile.BeginNewRow();
    profile.ChnName = "chained";
    CFOLIOTbl folio(&db_);
    folio.BeginNewRow();
    folio.Code = "A";
    const long acct =
        static_cast<long>(profile.SaveRowsGetIdentity("[Acct]", folio, "[GstAcct]").value());
    EXPECT_EQ(folio.GstAcct.Value(), acct);
    EXPECT_EQ(hotel_->Scalar("select GstAcct from FOLIO where Code = 'A'"), std::to_string(acct));
    EXPECT_EQ(hotel_->Scalar("select ChnName from GstProfile where Acct = " + std::to_string(acct)),
              "chained");
    if (OnPostgreSQL()) {
        EXPECT_EQ(
            Dq(profile.LastInsertSql()).rfind("with i as (insert into \"dbo\".\"gstprofile\"", 0),
            0u)
            << profile.LastInsertSql();
    }

    hotel_->FailInsertsInto("FOLIO");
    db_.BeginTransaction();
    CGstProfileTbl refused(&db_);
    refused.BeginNewRow();
    refused.ChnName = "refused";
    CFOLIOTbl refusedFolio(&db_);
    refusedFolio.BeginNewRow();
    refusedFolio.Code = "B";
    EXPECT_THROW(refused.SaveRowsGetIdentity("[Acct]", refusedFolio, "[GstAcct]"),
                 rl::CDBException);
    db_.RollbackTransaction();
    EXPECT_EQ(hotel_->Count("GstProfile"), 1);
    EXPECT_EQ(hotel_->Count("FOLIO"), 1);
}

TEST_P(WriteTest, LocalMidnightAndLateDatesRoundTrip) {
    const rl::DateTimeValue arrival = rl::DateTimeValue::FromLocalDate(2024, 3, 7);
    const rl::DateTimeValue late = rl::DateTimeValue::FromLocalDate(2040, 1, 2);
    ASSERT_GT(late.Seconds(), std::int64_t{INT32_MAX});
    CreservationTbl r(&db_);
    r.OpenRows(rl::KeysetOpen);
    r.BeginNewRow();
    r.CRONum = "B1";
    r.ArrDate = arrival;
    r.DptDate = late;
    r.Adults = 2;
    r.Childs = 255;
    r.SaveRow();
    r.CloseRows();

    auto rows = hotel_->Query(
        "select ArrDate, DptDate, Adults, Childs from Reservation where CRONum = 'B1'");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].value_or("").substr(0, 19), "2024-03-07 00:00:00");
    EXPECT_EQ(rows[0][1].value_or("").substr(0, 19), "2040-01-02 00:00:00");
    EXPECT_EQ(rows[0][2], "2");
    EXPECT_EQ(rows[0][3], "255");

    CreservationTbl back(&db_);
    back.OpenRows(rl::SnapshotOpen, "select * from Reservation where CRONum = ?", 0,
                  {std::string("B1")});
    ASSERT_FALSE(back.AtEnd());
    EXPECT_EQ(back.ArrDate, arrival);
    EXPECT_EQ(back.DptDate, late);
    EXPECT_EQ(back.Childs.Value(), 255);
    EXPECT_FALSE(back.ConfirmDate.HasValue());

    // A date-time parameter finds the row by its value.
    rl::TableRecord query(&db_);
    query.OpenRows(rl::SnapshotOpen, "select CRONum from Reservation where ArrDate = ?", 0,
                   {arrival});
    EXPECT_FALSE(query.AtEnd());
}

TEST_P(WriteTest, QuotesAndGbkBytesRoundTripUnchanged) {
    // Trail bytes 0x5C and 0x7C, a quote, a backslash and a question mark.
    const std::string name = ts::Gbk("乗俓") + "O'Brien \\ ?" + ts::Gbk("中文|") + "\x81\x7c";
    CGstProfileTbl g(&db_);
    g.OpenRows(rl::KeysetOpen);
    g.BeginNewRow();
    g.ChnName = name;
    g.Notice = "it's";
    g.SaveRow();
    g.CloseRows();

    EXPECT_EQ(hotel_->Scalar("select ChnName from GstProfile"), name);
    CGstProfileTbl back(&db_);
    back.OpenRows(rl::SnapshotOpen, "select * from GstProfile where chnname = ?", 0, {name});
    ASSERT_FALSE(back.AtEnd());
    EXPECT_EQ(back.ChnName, name);
    EXPECT_EQ(back.Notice, "it's");
}

TEST_P(WriteTest, LongTextsAreCutAtACharacterBoundaryWhenWritten) {
    std::string remark = "ab";
    for (int i = 0; i < 200; ++i) remark += ts::Gbk("预");
    CreservationTbl r(&db_);
    r.OpenRows(rl::KeysetOpen);
    r.BeginNewRow();
    r.CRONum = "LONG";
    r.Note = remark;
    r.SaveRow();
    r.CloseRows();
    const std::string stored = hotel_->Scalar("select Note from Reservation where CRONum = 'LONG'");
    EXPECT_EQ(stored.size(), 254u);
    EXPECT_EQ(stored, remark.substr(0, 254));
    EXPECT_EQ(r.Note, remark);  // the member itself is left alone
}

TEST_P(WriteTest, RolledBackTransactionLeavesNothing) {
    db_.BeginTransaction();
    EXPECT_TRUE(db_.InTransaction());
    const long acct = InsertProfile(db_, "gone");
    CFOLIOTbl folio(&db_);
    folio.OpenRows(rl::KeysetOpen);
    folio.BeginNewRow();
    folio.GstAcct = static_cast<std::int32_t>(acct);
    folio.SaveRow();
    folio.CloseRows();
    db_.RollbackTransaction();
    EXPECT_FALSE(db_.InTransaction());
    EXPECT_EQ(hotel_->Count("GstProfile"), 0);
    EXPECT_EQ(hotel_->Count("FOLIO"), 0);

    // Back in autocommit: the next insert stays without a commit.
    InsertProfile(db_, "kept");
    EXPECT_EQ(hotel_->Count("GstProfile"), 1);
}

TEST_P(WriteTest, ClosingOrDestroyingAConnectionRollsBack) {
    db_.BeginTransaction();
    InsertProfile(db_, "closed");
    db_.CloseConnection();
    EXPECT_FALSE(db_.IsOpen());
    EXPECT_EQ(hotel_->Count("GstProfile"), 0);

    {
        rl::DbConnection other;
        other.OpenConnection(std::string("ODBC;") + ts::kModuleConnect);
        other.BeginTransaction();
        InsertProfile(other, "destroyed");
    }
    EXPECT_EQ(hotel_->Count("GstProfile"), 0);

    {
        rl::DbConnection other;
        other.OpenConnection(ts::kModuleConnect);
        rl::Transaction tx(other);
        InsertProfile(other, "committed");
        tx.Commit();
    }
    EXPECT_EQ(hotel_->Count("GstProfile"), 1);
}

TEST_P(WriteTest, FailingInsertRaisesTheDriversMessageAndRollsBack) {
    hotel_->FailInsertsInto("Reservation");
    db_.BeginTransaction();
    InsertProfile(db_, "guest");
    CreservationTbl r(&db_);
    r.OpenRows(rl::KeysetOpen);
    r.BeginNewRow();
    r.CRONum = "X";
    try {
        r.SaveRow();
        FAIL() << "insert not refused";
    } catch (const rl::CDBException& e) {
        EXPECT_NE(e.DriverMessage().find(ts::kInjectedFailure), std::string::npos)
            << e.DriverMessage();
        EXPECT_NE(std::string(e.what()).find(ts::kInjectedFailure), std::string::npos);
        EXPECT_FALSE(e.SqlState().empty());
    }
    r.CloseRows();
    db_.RollbackTransaction();
    db_.CloseConnection();
    EXPECT_EQ(hotel_->Count("GstProfile"), 0);
    EXPECT_EQ(hotel_->Count("Reservation"), 0);
}

TEST_P(WriteTest, ARecordOutlivingItsResultSet) {
    InsertProfile(db_, "a");
    InsertProfile(db_, "b");
    {
        CGstProfileTbl g(&db_);
        g.OpenRows(rl::SnapshotOpen, "select * from GstProfile");
        ASSERT_FALSE(g.AtEnd());
    }  // destroyed while open
    db_.BeginTransaction();
    InsertProfile(db_, "c");
    db_.CommitTransaction();
    EXPECT_EQ(hotel_->Count("GstProfile"), 3);

    // Closing the connection under an open record closes the record.
    CGstProfileTbl open(&db_);
    open.OpenRows(rl::SnapshotOpen, "select * from GstProfile");
    db_.CloseConnection();
    EXPECT_FALSE(open.IsOpen());
    EXPECT_TRUE(open.AtEnd());
}

TEST_P(WriteTest, AConnectionTheServerDroppedStillClosesAndReopens) {
    if (GetBackend() == ts::Backend::SQLite)
        GTEST_SKIP() << "an embedded database cannot drop a connection";
    db_.BeginTransaction();
    InsertProfile(db_, "lost");
    if (OnPostgreSQL()) {
        hotel_->Execute(
            "select pg_terminate_backend(pid) from pg_stat_activity"
            " where datname = current_database() and pid <> pg_backend_pid()");
    } else {
        for (const ts::Row& row : hotel_->Query("select id from information_schema.processlist"
                                                " where db = database() and id <> connection_id()"))
            hotel_->Execute("kill " + row[0].value_or("0"));
    }
    EXPECT_THROW(InsertProfile(db_, "after"), rl::CDBException);
    try {
        db_.RollbackTransaction();
    } catch (const rl::CDBException&) {
        // Nothing left to roll back on a dead connection.
    }
    EXPECT_FALSE(db_.InTransaction());
    try {
        db_.CloseConnection();
    } catch (const rl::CDBException&) {
        // Whether the driver reports the lost connection here is its affair;
        // what counts is that the connection is closed and usable again.
    }
    EXPECT_FALSE(db_.IsOpen());
    db_.OpenConnection(ts::kModuleConnect);
    InsertProfile(db_, "again");
    EXPECT_EQ(hotel_->Count("GstProfile"), 1);
}

TEST_P(WriteTest, ConnectingToAMissingDataSourceThrows) {
    rl::DbConnection other;
    EXPECT_THROW(other.OpenConnection("DSN=no_such_source;UID=sa;PWD="), rl::CDBException);
    EXPECT_FALSE(other.IsOpen());
    other.OpenConnection(ts::kModuleConnect);
    EXPECT_TRUE(other.IsOpen());
}

TEST_P(WriteTest, DialectReadFromTheDriver) {
    const rl::Dialect& d = db_.GetDialect();
    EXPECT_EQ(d.quote, OnMariaDB() ? "`" : "\"");
    EXPECT_EQ(d.family, OnPostgreSQL() ? rl::DbFamily::PostgreSQL
                        : OnMariaDB()  ? rl::DbFamily::MySQL
                                       : rl::DbFamily::SQLite);
    EXPECT_EQ(d.schemas, OnPostgreSQL());
    EXPECT_EQ(d.lowerCase, OnPostgreSQL());
    // The test servers are PostgreSQL 15 and MariaDB 10.11.
    EXPECT_EQ(d.identity, GetBackend() == ts::Backend::SQLite ? rl::IdentityRead::QueryAfter
                                                              : rl::IdentityRead::Returning);
}

INSTANTIATE_BACKENDS(WriteTest);

}  // namespace
