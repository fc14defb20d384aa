// How declared names become what each driver understands, and which identity
// query each database family gets.
#include "recordlayer/Dialect.h"

#include <gtest/gtest.h>

namespace {

rl::Dialect Make(std::string quote, bool schemas, bool lowerCase,
                 rl::DbFamily family = rl::DbFamily::Other) {
    rl::Dialect d;
    d.quote = std::move(quote);
    d.schemas = schemas;
    d.lowerCase = lowerCase;
    d.family = family;
    return d;
}

TEST(Dialect, RendersDeclaredNamesPerDriver) {
    const rl::Dialect sqlite = Make("\"", false, false, rl::DbFamily::SQLite);
    EXPECT_EQ(sqlite.RenderName("[dbo].[GstProfile]"), "\"GstProfile\"");
    EXPECT_EQ(sqlite.RenderName("[GstAcct]"), "\"GstAcct\"");

    const rl::Dialect postgres = Make("\"", true, true, rl::DbFamily::PostgreSQL);
    EXPECT_EQ(postgres.RenderName("[dbo].[GstProfile]"), "\"dbo\".\"gstprofile\"");
    EXPECT_EQ(postgres.RenderName("[Txfr_Gstacct]"), "\"txfr_gstacct\"");

    const rl::Dialect sqlServer = Make("\"", true, false, rl::DbFamily::SqlServer);
    EXPECT_EQ(sqlServer.RenderName("[dbo].[FOLIO]"), "[dbo].[FOLIO]");
}

TEST(Dialect, WithoutAQuoteCharacterNamesGoBare) {
    EXPECT_EQ(Make(" ", true, false).RenderName("[dbo].[FOLIO]"), "dbo.FOLIO");
    EXPECT_EQ(Make("", false, true).RenderName("[dbo].[FOLIO]"), "folio");
    EXPECT_EQ(Make("`", false, false).RenderName("[Code]"), "`Code`");
}

TEST(Dialect, PlainNamesAndDotsInsideBrackets) {
    const rl::Dialect d = Make("\"", true, false);
    EXPECT_EQ(d.RenderName("Payment"), "\"Payment\"");
    EXPECT_EQ(d.RenderName("dbo.Payment"), "\"dbo\".\"Payment\"");
    EXPECT_EQ(d.RenderName("[odd.name]"), "\"odd.name\"");
}

TEST(Dialect, IdentityExpressionPerFamily) {
    EXPECT_EQ(Make("\"", false, false, rl::DbFamily::SQLite)
                  .IdentityExpression("\"GstProfile\"", "\"Acct\""),
              "last_insert_rowid()");
    EXPECT_EQ(Make("\"", true, false, rl::DbFamily::SqlServer)
                  .IdentityExpression("[dbo].[GstProfile]", "[Acct]"),
              "@@IDENTITY");
    // The sequence function takes the column name literally: no quotes.
    EXPECT_EQ(Make("\"", true, true, rl::DbFamily::PostgreSQL)
                  .IdentityExpression("\"dbo\".\"gstprofile\"", "\"acct\""),
              "currval(pg_get_serial_sequence('\"dbo\".\"gstprofile\"', 'acct'))");
    EXPECT_EQ(
        Make("`", false, false, rl::DbFamily::MySQL).IdentityExpression("`GstProfile`", "`Acct`"),
        "last_insert_id()");
    EXPECT_EQ(Make("\"", true, false, rl::DbFamily::Other).IdentityExpression("t", "c"), "");
}

TEST(Dialect, FamilyFromTheDbmsName) {
    EXPECT_EQ(rl::FamilyFromDbmsName("SQLite"), rl::DbFamily::SQLite);
    EXPECT_EQ(rl::FamilyFromDbmsName("PostgreSQL"), rl::DbFamily::PostgreSQL);
    EXPECT_EQ(rl::FamilyFromDbmsName("Microsoft SQL Server"), rl::DbFamily::SqlServer);
    EXPECT_EQ(rl::FamilyFromDbmsName("MySQL"), rl::DbFamily::MySQL);
    EXPECT_EQ(rl::FamilyFromDbmsName("MariaDB"), rl::DbFamily::MySQL);
    EXPECT_EQ(rl::FamilyFromDbmsName("Informix"), rl::DbFamily::Other);
}

}  // namespace
