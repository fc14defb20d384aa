#include "tests/support/OdbcSession.h"

#include <sql.h>
#include <sqlext.h>

#include <stdexcept>

namespace ts {
namespace {

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::string text;
    SQLCHAR state[6];
    SQLINTEGER native = 0;
    SQLCHAR message[1024];
    SQLSMALLINT length = 0;
    for (SQLSMALLINT i = 1; SQL_SUCCEEDED(
             SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length));
         ++i) {
        if (!text.empty()) text += "\n";
        text +=
            std::string(reinterpret_cast<char*>(state)) + ": " + reinterpret_cast<char*>(message);
    }
    return text;
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& what) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) return;
    throw std::runtime_error(what + ": " + Diagnostics(type, handle));
}

class Statement {
  public:
    explicit Statement(SQLHDBC dbc) {
        Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_), SQL_HANDLE_DBC, dbc,
              "allocate statement");
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT get() const { return stmt_; }

  private:
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

SQLCHAR* Sql(std::string_view sql) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data()));
}

// Runs sql; the number of columns of its result.
SQLSMALLINT RunForResult(const Statement& stmt, std::string_view sql, const std::string& what) {
    Check(SQLExecDirect(stmt.get(), Sql(sql), static_cast<SQLINTEGER>(sql.size())), SQL_HANDLE_STMT,
          stmt.get(), what);
    SQLSMALLINT columns = 0;
    Check(SQLNumResultCols(stmt.get(), &columns), SQL_HANDLE_STMT, stmt.get(), what);
    return columns;
}

}  // namespace

OdbcSession::OdbcSession(const std::string& connect) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)))
        throw std::runtime_error("cannot allocate an ODBC environment");
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        throw std::runtime_error("cannot allocate an ODBC connection");
    }
    SQLRETURN rc =
        SQLDriverConnect(dbc_, nullptr, Sql(connect), static_cast<SQLSMALLINT>(connect.size()),
                         nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        std::string message =
            "cannot connect with " + connect + ": " + Diagnostics(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        throw std::runtime_error(message);
    }
    connected_ = true;
}

OdbcSession::~OdbcSession() {
    if (connected_) {
        SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
        SQLDisconnect(dbc_);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

void OdbcSession::Execute(std::string_view sql) {
    Statement stmt(dbc_);
    Check(SQLExecDirect(stmt.get(), Sql(sql), static_cast<SQLINTEGER>(sql.size())), SQL_HANDLE_STMT,
          stmt.get(), "execute " + std::string(sql));
}

std::vector<ColumnDescription> OdbcSession::Describe(std::string_view sql) {
    Statement stmt(dbc_);
    const std::string what = "describe " + std::string(sql);
    const SQLSMALLINT columns = RunForResult(stmt, sql, what);
    std::vector<ColumnDescription> described;
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
        SQLCHAR name[256] = {};
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        Check(SQLDescribeCol(stmt.get(), c, name, sizeof name, &nameLength, &type, &size, &digits,
                             &nullable),
              SQL_HANDLE_STMT, stmt.get(), what);
        described.push_back({reinterpret_cast<char*>(name), type});
    }
    return described;
}

std::vector<Row> OdbcSession::Query(std::string_view sql) {
    Statement stmt(dbc_);
    const std::string what = "query " + std::string(sql);
    const SQLSMALLINT columns = RunForResult(stmt, sql, what);
    std::vector<Row> rows;
    for (;;) {
        SQLRETURN rc = SQLFetch(stmt.get());
        if (rc == SQL_NO_DATA) break;
        Check(rc, SQL_HANDLE_STMT, stmt.get(), what);
        Row row;
        for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
            std::string value;
            bool isNull = false;
            char buffer[512];
            for (;;) {
                SQLLEN indicator = 0;
                rc = SQLGetData(stmt.get(), c, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
                if (rc == SQL_NO_DATA) break;
                Check(rc, SQL_HANDLE_STMT, stmt.get(), what);
                if (indicator == SQL_NULL_DATA) {
                    isNull = true;
                    break;
                }
                bool more =
                    indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof buffer);
                value.append(buffer,
                             more ? sizeof buffer - 1 : static_cast<std::size_t>(indicator));
                if (!more) break;
            }
            row.push_back(isNull ? std::nullopt : std::optional<std::string>(value));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void OdbcSession::ExecuteInTransaction(const std::vector<std::string>& statements) {
    Check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc_, "begin transaction");
    try {
        for (const auto& sql : statements) Execute(sql);
        Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "commit");
    } catch (...) {
        SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
        SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
        throw;
    }
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                      0);
}

std::string OdbcSession::DbmsName() {
    char name[128] = {};
    SQLSMALLINT length = 0;
    Check(SQLGetInfo(dbc_, SQL_DBMS_NAME, name, sizeof name, &length), SQL_HANDLE_DBC, dbc_,
          "SQLGetInfo");
    return name;
}

std::vector<std::string> SplitSqlScript(std::string_view script) {
    std::vector<std::string> statements;
    std::string current;
    bool inQuote = false;
    for (std::size_t i = 0; i < script.size(); ++i) {
        char c = script[i];
        if (!inQuote && c == '-' && i + 1 < script.size() && script[i + 1] == '-') {
            while (i < script.size() && script[i] != '\n') ++i;
            current += '\n';
            continue;
        }
        if (c == '\'') inQuote = !inQuote;
        if (c == ';' && !inQuote) {
            if (current.find_first_not_of(" \t\r\n") != std::string::npos)
                statements.push_back(current);
            current.clear();
            continue;
        }
        current += c;
    }
    if (current.find_first_not_of(" \t\r\n") != std::string::npos) statements.push_back(current);
    return statements;
}

}  // namespace ts
