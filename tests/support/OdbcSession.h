// A bare ODBC connection for test set-up and for checking what a test left
// in the database, independent of the record layer under test. Statements
// are sent as they are; results come back as text bytes exactly as the driver
// returns them. Failures throw std::runtime_error with the driver's message.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ts {

using Row = std::vector<std::optional<std::string>>;  // nullopt for NULL

// A result column as the driver describes it.
struct ColumnDescription {
    std::string name;
    short sqlType;  // SQL_INTEGER, SQL_VARCHAR, ... (an SQLSMALLINT)
};

class OdbcSession {
  public:
    // Connects with connect (no prompt).
    explicit OdbcSession(const std::string& connect);
    ~OdbcSession();
    OdbcSession(const OdbcSession&) = delete;
    OdbcSession& operator=(const OdbcSession&) = delete;

    void Execute(std::string_view sql);
    std::vector<Row> Query(std::string_view sql);

    // The columns of sql's result (SQLDescribeCol), without fetching a row.
    std::vector<ColumnDescription> Describe(std::string_view sql);

    // Runs several statements in one transaction.
    void ExecuteInTransaction(const std::vector<std::string>& statements);

    // The DBMS name the driver reports.
    std::string DbmsName();

  private:
    // An SQLHENV and an SQLHDBC: no ODBC header outside the record layer's
    // private files.
    void* env_ = nullptr;
    void* dbc_ = nullptr;
    bool connected_ = false;
};

// Splits a script into statements at ";" (outside quotes), dropping "--"
// comments and blank statements. Good enough for the schema and seed files.
std::vector<std::string> SplitSqlScript(std::string_view script);

}  // namespace ts
