// How declared names become what each driver understands, and how each
// database product tells an insert its identity.
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

TEST(Dialect, IdentityReadPerProduct) {
    struct Case {
        const char* name;
        const char* version;
        rl::IdentityRead expected;
    };
    const Case cases[] = {
        {"PostgreSQL", "15.0.0", rl::IdentityRead::Returning},
        {"SQLite", "3.40.1", rl::IdentityRead::QueryAfter},
        {"Microsoft SQL Server", "16.00.1000", rl::IdentityRead::SameBatch},
        {"MariaDB", "10.11.0019", rl::IdentityRead::Returning},
        {"MariaDB", "10.05.0000", rl::IdentityRead::Returning},
        {"MySQL", "5.5.5-10.4.32-MariaDB", rl::IdentityRead::QueryAfter},
        {"MariaDB", "10.4.32", rl::IdentityRead::QueryAfter},
        {"MySQL", "8.0.36", rl::IdentityRead::QueryAfter},
        {"Informix", "14.10", rl::IdentityRead::None},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rl::IdentityReadFor(c.name, c.version), c.expected) << c.name << " " << c.version;
}

TEST(Dialect, IdentityClauseAndQueryPerWay) {
    rl::Dialect d = Make("\"", true, true, rl::DbFamily::PostgreSQL);
    d.identity = rl::IdentityRead::Returning;
    EXPECT_EQ(d.IdentityClause("\"acct\""), " returning \"acct\"");
    EXPECT_EQ(d.IdentityQuery(), "");
    d = Make("`", false, false, rl::DbFamily::MySQL);
    d.identity = rl::IdentityRead::QueryAfter;
    EXPECT_EQ(d.IdentityClause("`Acct`"), "");
    EXPECT_EQ(d.IdentityQuery(), "select last_insert_id()");
    d = Make("\"", false, false, rl::DbFamily::SQLite);
    d.identity = rl::IdentityRead::QueryAfter;
    EXPECT_EQ(d.IdentityQuery(), "select last_insert_rowid()");
    d = Make("\"", true, false, rl::DbFamily::SqlServer);
    d.identity = rl::IdentityRead::SameBatch;
    EXPECT_EQ(d.IdentityClause("[Acct]"), "; select SCOPE_IDENTITY()");
    EXPECT_EQ(Make("\"", true, false).IdentityClause("c"), "");
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
