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

// How an insert learns the identity the database assigned to its row, the
// cheapest way each database offers; each gives the identity of this
// connection's own insert, never another session's.
enum class IdentityRead {
    None,        // the family is not known: the caller finds the row itself
    Returning,   // "insert ... returning <column>": the insert's own result
    QueryAfter,  // a second statement on the connection right after the insert
    SameBatch,   // "insert ...; select <function>": one batch, one scope
};

struct Dialect {
    std::string quote = "\"";  // SQL_IDENTIFIER_QUOTE_CHAR; " " or "" means none
    bool schemas = false;      // SQL_SCHEMA_USAGE says owners may qualify tables
    bool lowerCase = false;    // SQL_IDENTIFIER_CASE == SQL_IC_LOWER
    DbFamily family = DbFamily::Other;
    IdentityRead identity = IdentityRead::None;

    // "[dbo].[GstProfile]" -> "dbo"."gstprofile" / "GstProfile" / [dbo].[GstProfile]
    std::string RenderName(std::string_view declared) const;

    // What follows an insert's text so that it also answers the identity of
    // renderedColumn: " returning ..." or "; select SCOPE_IDENTITY()"; empty
    // for the other ways.
    std::string IdentityClause(std::string_view renderedColumn) const;
    // The statement that answers the identity just assigned, for
    // IdentityRead::QueryAfter; empty for the other ways.
    std::string_view IdentityQuery() const;

    // Whether a transaction may read first and write later without risking
    // a deadlock against another connection doing the same: true where plain
    // reads take no locks (PostgreSQL, MariaDB); false for SQLite, whose
    // reader holds a file lock that its first write must upgrade, and for
    // any family this table is not sure of.
    bool ReadsTakeNoLocks() const;

    // Whether one statement can insert a row and a second row that refers to
    // the first's identity: PostgreSQL's data-modifying WITH, whose insert
    // returns the identity. Elsewhere that takes two statements.
    bool ChainsInserts() const {
        return family == DbFamily::PostgreSQL && identity == IdentityRead::Returning;
    }

    bool operator==(const Dialect&) const = default;
};

// Picks the family from SQL_DBMS_NAME.
DbFamily FamilyFromDbmsName(std::string_view dbmsName);

// The way to read an identity for the product SQL_DBMS_NAME and
// SQL_DBMS_VER name.
IdentityRead IdentityReadFor(std::string_view dbmsName, std::string_view dbmsVersion);

}  // namespace rl
