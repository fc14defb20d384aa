#include "recordlayer/Dialect.h"

#include <vector>

#include "framework/gbktext.h"

namespace rl {
namespace {

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    if (part.size() > text.size()) return false;
    for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
        std::size_t j = 0;
        while (j < part.size() && fw::gbk::AsciiLower(text[i + j]) == fw::gbk::AsciiLower(part[j]))
            ++j;
        if (j == part.size()) return true;
    }
    return false;
}

// "[dbo].[GstProfile]" -> {"dbo", "GstProfile"}; a dot inside brackets is part
// of the name.
std::vector<std::string> SplitDeclared(std::string_view declared) {
    std::vector<std::string> parts(1);
    bool inBracket = false;
    for (char c : declared) {
        if (c == '[' && !inBracket) {
            inBracket = true;
        } else if (c == ']' && inBracket) {
            inBracket = false;
        } else if (c == '.' && !inBracket) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

}  // namespace

std::string Dialect::RenderName(std::string_view declared) const {
    // The declared form is the SQL Server form already.
    if (family == DbFamily::SqlServer) return std::string(declared);

    std::vector<std::string> parts = SplitDeclared(declared);
    if (!schemas && parts.size() > 1) parts.erase(parts.begin(), parts.end() - 1);

    const bool quoted = !quote.empty() && quote != " ";
    std::string rendered;
    for (std::string& part : parts) {
        if (lowerCase)
            for (char& c : part) c = fw::gbk::AsciiLower(c);
        if (!rendered.empty()) rendered += '.';
        if (quoted) {
            rendered += quote;
            rendered += part;
            rendered += quote;
        } else {
            rendered += part;
        }
    }
    return rendered;
}

bool Dialect::ReadsTakeNoLocks() const {
    return family == DbFamily::PostgreSQL || family == DbFamily::MySQL;
}

std::string Dialect::IdentityClause(std::string_view renderedColumn) const {
    switch (identity) {
        case IdentityRead::Returning:
            return " returning " + std::string(renderedColumn);
        case IdentityRead::SameBatch:
            // The scope of this batch: an insert a trigger makes elsewhere
            // does not count, as it would for @@IDENTITY.
            return "; select SCOPE_IDENTITY()";
        case IdentityRead::QueryAfter:
        case IdentityRead::None:
            break;
    }
    return "";
}

std::string_view Dialect::IdentityQuery() const {
    if (identity != IdentityRead::QueryAfter) return "";
    // Both per connection: another session's insert does not move them. The
    // SQLite driver hides the result of "insert ... returning", so SQLite asks
    // afterwards, which costs no round trip in an embedded database.
    return family == DbFamily::SQLite ? "select last_insert_rowid()" : "select last_insert_id()";
}

DbFamily FamilyFromDbmsName(std::string_view dbmsName) {
    if (ContainsIgnoringCase(dbmsName, "sqlite")) return DbFamily::SQLite;
    if (ContainsIgnoringCase(dbmsName, "postgres")) return DbFamily::PostgreSQL;
    if (ContainsIgnoringCase(dbmsName, "sql server")) return DbFamily::SqlServer;
    if (ContainsIgnoringCase(dbmsName, "mariadb") || ContainsIgnoringCase(dbmsName, "mysql"))
        return DbFamily::MySQL;
    return DbFamily::Other;
}

IdentityRead IdentityReadFor(std::string_view dbmsName, std::string_view dbmsVersion) {
    switch (FamilyFromDbmsName(dbmsName)) {
        case DbFamily::PostgreSQL:
            return IdentityRead::Returning;
        case DbFamily::SQLite:
            return IdentityRead::QueryAfter;
        case DbFamily::SqlServer:
            return IdentityRead::SameBatch;
        case DbFamily::MySQL: {
            // MariaDB answers "insert ... returning" from 10.5 on; MySQL never.
            if (!ContainsIgnoringCase(dbmsName, "mariadb") &&
                !ContainsIgnoringCase(dbmsVersion, "mariadb"))
                return IdentityRead::QueryAfter;
            int major = 0, minor = 0;
            std::size_t at = 0;
            while (at < dbmsVersion.size() && dbmsVersion[at] >= '0' && dbmsVersion[at] <= '9')
                major = major * 10 + (dbmsVersion[at++] - '0');
            if (at < dbmsVersion.size() && dbmsVersion[at] == '.') ++at;
            while (at < dbmsVersion.size() && dbmsVersion[at] >= '0' && dbmsVersion[at] <= '9')
                minor = minor * 10 + (dbmsVersion[at++] - '0');
            return major > 10 || (major == 10 && minor >= 5) ? IdentityRead::Returning
                                                             : IdentityRead::QueryAfter;
        }
        case DbFamily::Other:
            break;
    }
    return IdentityRead::None;
}

}  // namespace rl
