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

std::string Dialect::IdentityExpression(std::string_view renderedTable,
                                        std::string_view renderedColumn) const {
    switch (family) {
        case DbFamily::SQLite:
            return "last_insert_rowid()";
        case DbFamily::SqlServer:
            return "@@IDENTITY";
        case DbFamily::MySQL:
            // Per connection, like the others: another session's insert does
            // not move it.
            return "last_insert_id()";
        case DbFamily::PostgreSQL: {
            // pg_get_serial_sequence parses the table as SQL (quotes allowed)
            // but takes the column name literally, so the column goes unquoted.
            std::string column(renderedColumn);
            if (!quote.empty() && quote != " ") {
                std::string bare;
                for (char c : column)
                    if (quote.find(c) == std::string::npos) bare += c;
                column = bare;
            }
            std::string table;
            for (char c : renderedTable) {
                table += c;
                if (c == '\'') table += '\'';
            }
            return "currval(pg_get_serial_sequence('" + table + "', '" + column + "'))";
        }
        case DbFamily::Other:
            break;
    }
    return "";
}

DbFamily FamilyFromDbmsName(std::string_view dbmsName) {
    if (ContainsIgnoringCase(dbmsName, "sqlite")) return DbFamily::SQLite;
    if (ContainsIgnoringCase(dbmsName, "postgres")) return DbFamily::PostgreSQL;
    if (ContainsIgnoringCase(dbmsName, "sql server")) return DbFamily::SqlServer;
    if (ContainsIgnoringCase(dbmsName, "mariadb") || ContainsIgnoringCase(dbmsName, "mysql"))
        return DbFamily::MySQL;
    return DbFamily::Other;
}

}  // namespace rl
