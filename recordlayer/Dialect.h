// How the connected data source writes identifiers, learned from SQLGetInfo,
// and the one table of what truly differs per database family. Turns the
// declared names of the hotel schema ("[dbo].[GstProfile]", "[GstAcct]") into
// what the driver understands.
#pragma once

#include <string>
#include <string_view>

namespace rl {

// MySQL stands for MariaDB too: one identity function serves both.
enum class DbFamily { Other, SQLite, PostgreSQL, SqlServer, MySQL };

struct Dialect {
    std::string quote = "\"";  // SQL_IDENTIFIER_QUOTE_CHAR; " " or "" means none
    bool schemas = false;      // SQL_SCHEMA_USAGE says owners may qualify tables
    bool lowerCase = false;    // SQL_IDENTIFIER_CASE == SQL_IC_LOWER
    DbFamily family = DbFamily::Other;

    // "[dbo].[GstProfile]" -> "dbo"."gstprofile" / "GstProfile" / [dbo].[GstProfile]
    std::string RenderName(std::string_view declared) const;

    // An SQL expression for the identity the connection last assigned, for
    // the given rendered table and column, usable in a select list or a where
    // clause; empty when the family has none (Other: a database this table
    // does not know).
    std::string IdentityExpression(std::string_view renderedTable,
                                   std::string_view renderedColumn) const;

    // Whether a transaction may read first and write later without risking
    // a deadlock against another connection doing the same: true where plain
    // reads take no locks (PostgreSQL, MariaDB); false for SQLite, whose
    // reader holds a file lock that its first write must upgrade, and for
    // any family this table is not sure of.
    bool ReadsTakeNoLocks() const;
};

// Picks the family from SQL_DBMS_NAME.
DbFamily FamilyFromDbmsName(std::string_view dbmsName);

}  // namespace rl
