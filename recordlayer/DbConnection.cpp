#include "recordlayer/DbConnection.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "framework/odbcdriver.h"
#include "recordlayer/CDBException.h"
#include "recordlayer/TableRecord.h"

namespace rl {
namespace {

// The driver manager loads a driver, and the driver its set-up library, at
// the first connection and unloads them with the last one: with one
// connection per booking that is a load, an ini read and a leak of a few KB
// per booking. Keeping both loaded for the life of the process ends that.
void KeepDriverLoaded(SQLHDBC dbc) {
    SQLCHAR name[512] = {};
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, nullptr))) name[0] = 0;
    fw::PinOdbcDriver(reinterpret_cast<const char*>(name));
}

// A statement handle for one call, freed on every path.
class ScopedStatement {
  public:
    explicit ScopedStatement(SQLHDBC dbc) {
        CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_), SQL_HANDLE_DBC, dbc,
                  "allocate a statement");
    }
    ~ScopedStatement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    ScopedStatement(const ScopedStatement&) = delete;
    ScopedStatement& operator=(const ScopedStatement&) = delete;
    SQLHSTMT get() const { return stmt_; }

  private:
    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

SQLCHAR* SqlText(std::string_view sql) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data()));
}

std::string InfoString(SQLHDBC dbc, SQLUSMALLINT info) {
    char buffer[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, info, buffer, sizeof buffer, &length))) return "";
    return buffer;
}

// The value of key (DSN) in an ODBC connect string, compared ignoring case.
std::string ConnectValue(std::string_view connect, std::string_view key) {
    while (!connect.empty()) {
        const std::size_t semicolon = connect.find(';');
        const std::string_view pair = connect.substr(0, semicolon);
        const std::size_t equals = pair.find('=');
        if (equals == key.size() &&
            std::equal(key.begin(), key.end(), pair.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return std::string(pair.substr(equals + 1));
        if (semicolon == std::string_view::npos) break;
        connect.remove_prefix(semicolon + 1);
    }
    return "";
}

}  // namespace

DbConnection::DbConnection() = default;

DbConnection::~DbConnection() {
    try {
        CloseConnection();
    } catch (...) {
        // Closing is best effort here; the handles are freed regardless.
    }
    FreeHandles();
}

void DbConnection::OpenConnection(std::string_view connect, unsigned /*options*/) {
    if (connected_) CloseConnection();
    abandoned_ = false;
    if (connect.substr(0, 5) == "ODBC;") connect.remove_prefix(5);

    if (env_ == SQL_NULL_HENV) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
            env_ = SQL_NULL_HENV;
            throw CDBException("HY001", 0, "cannot allocate an ODBC environment");
        }
        CheckOdbc(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION,
                                reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
                  SQL_HANDLE_ENV, env_, "set the ODBC version");
        CheckOdbc(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_HANDLE_ENV, env_,
                  "allocate a connection");
    }
    std::string text(connect);
    const SQLRETURN rc =
        SQLDriverConnect(dbc_, nullptr, SqlText(text), static_cast<SQLSMALLINT>(text.size()),
                         nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error = CDBException::FromHandle(SQL_HANDLE_DBC, dbc_, "connect");
        // The driver manager's text names neither the data source nor where
        // it looked, which is what the operator has to fix.
        if (error.SqlState() == "IM002")
            throw CDBException(error.SqlState(), error.NativeError(),
                               error.DriverMessage() + " (data source \"" +
                                   ConnectValue(text, "DSN") + "\", looked for in " +
                                   fw::OdbcDataSourceLocations() + ")");
        throw error;
    }
    connected_ = true;
    inTransaction_ = false;
    KeepDriverLoaded(dbc_);
    ReadDialect();
}

void DbConnection::ReadDialect() {
    Dialect d;
    d.quote = InfoString(dbc_, SQL_IDENTIFIER_QUOTE_CHAR);
    SQLUINTEGER schemaUsage = 0;
    if (SQL_SUCCEEDED(
            SQLGetInfo(dbc_, SQL_SCHEMA_USAGE, &schemaUsage, sizeof schemaUsage, nullptr)))
        d.schemas = (schemaUsage & SQL_SU_DML_STATEMENTS) != 0;
    SQLUSMALLINT identifierCase = 0;
    if (SQL_SUCCEEDED(
            SQLGetInfo(dbc_, SQL_IDENTIFIER_CASE, &identifierCase, sizeof identifierCase, nullptr)))
        d.lowerCase = identifierCase == SQL_IC_LOWER;
    dbmsName_ = InfoString(dbc_, SQL_DBMS_NAME);
    d.family = FamilyFromDbmsName(dbmsName_);
    dialect_ = d;
}

bool DbConnection::BeginTransaction() {
    CheckOdbc(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, dbc_, "begin a transaction");
    inTransaction_ = true;
    return true;
}

void DbConnection::EndTransaction(SQLSMALLINT completion, const char* what) {
    // The transaction is over whatever the outcome: a failed commit leaves
    // nothing to roll back in the drivers we use, and the connection goes back
    // to autocommit either way.
    inTransaction_ = false;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, completion);
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error = CDBException::FromHandle(SQL_HANDLE_DBC, dbc_, what);
        SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
        SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
        throw error;
    }
    CheckOdbc(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0),
              SQL_HANDLE_DBC, dbc_, "return to autocommit");
}

bool DbConnection::CommitTransaction() {
    EndTransaction(SQL_COMMIT, "commit");
    return true;
}

bool DbConnection::RollbackTransaction() {
    abandoned_ = true;
    EndTransaction(SQL_ROLLBACK, "roll back");
    return true;
}

void DbConnection::CloseConnection() {
    // Closing a record detaches it.
    while (!openRecords_.empty()) openRecords_.back()->CloseRows();
    if (!connected_) return;
    connected_ = false;
    std::optional<CDBException> error;
    if (inTransaction_) {
        try {
            RollbackTransaction();
        } catch (const CDBException& e) {
            error = e;
        }
    }
    inTransaction_ = false;
    if (!SQL_SUCCEEDED(SQLDisconnect(dbc_))) {
        if (!error) error = CDBException::FromHandle(SQL_HANDLE_DBC, dbc_, "disconnect");
        ForceDisconnect();
    }
    // A caller that rolled back is on its way out after an error of its own:
    // that one is reported, and what the close says after it would hide it.
    if (error && !abandoned_) throw *error;
}

void DbConnection::ForceDisconnect() noexcept {
    const auto endAndDisconnect = [this] {
        SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
        SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                          reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
        return SQL_SUCCEEDED(SQLDisconnect(dbc_));
    };
    // The driver refuses while it still counts a transaction open (after a
    // rollback that failed, say); ending it its own way lets go of it.
    if (endAndDisconnect()) return;
    // A driver whose database already rolled back by itself (SQLite after a
    // full disk or an I/O error) still counts the transaction, and its
    // rollback fails for want of one: give it one to end.
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) {
        SQLExecDirect(stmt, SqlText("BEGIN"), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    endAndDisconnect();
}

void DbConnection::FreeHandles() noexcept {
    if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    dbc_ = SQL_NULL_HDBC;
    env_ = SQL_NULL_HENV;
}

void DbConnection::ExecuteDirect(std::string_view sql) {
    ScopedStatement stmt(dbc_);
    CheckOdbc(SQLExecDirect(stmt.get(), SqlText(sql), static_cast<SQLINTEGER>(sql.size())),
              SQL_HANDLE_STMT, stmt.get(), "execute", true);
}

bool DbConnection::HasTable(std::string_view name) {
    std::string stored(name);
    if (dialect_.lowerCase)
        for (char& c : stored) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ScopedStatement stmt(dbc_);
    CheckOdbc(SQLTables(stmt.get(), nullptr, 0, nullptr, 0, SqlText(stored),
                        static_cast<SQLSMALLINT>(stored.size()), nullptr, 0),
              SQL_HANDLE_STMT, stmt.get(), "look up a table");
    const SQLRETURN rc = SQLFetch(stmt.get());
    CheckOdbc(rc, SQL_HANDLE_STMT, stmt.get(), "look up a table", true);
    return rc != SQL_NO_DATA;
}

std::optional<long> DbConnection::LastInsertedIdentity(std::string_view table,
                                                       std::string_view column) {
    const std::string expression = IdentityExpression(table, column);
    if (expression.empty()) return std::nullopt;
    const std::string sql = "select " + expression;
    ScopedStatement stmt(dbc_);
    CheckOdbc(SQLExecDirect(stmt.get(), SqlText(sql), static_cast<SQLINTEGER>(sql.size())),
              SQL_HANDLE_STMT, stmt.get(), "read the assigned identity");
    CheckOdbc(SQLFetch(stmt.get()), SQL_HANDLE_STMT, stmt.get(), "read the assigned identity");
    SQLINTEGER value = 0;
    SQLLEN indicator = 0;
    CheckOdbc(SQLGetData(stmt.get(), 1, SQL_C_SLONG, &value, 0, &indicator), SQL_HANDLE_STMT,
              stmt.get(), "read the assigned identity");
    if (indicator == SQL_NULL_DATA)
        throw CDBException("HY000", 0, "no identity was assigned on this connection");
    return value;
}

std::string DbConnection::IdentityExpression(std::string_view table,
                                             std::string_view column) const {
    return dialect_.IdentityExpression(dialect_.RenderName(table), dialect_.RenderName(column));
}

SQLHSTMT DbConnection::AllocateStatement() {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_HANDLE_DBC, dbc_,
              "allocate a statement");
    return stmt;
}

void DbConnection::Attach(TableRecord* record) {
    if (std::find(openRecords_.begin(), openRecords_.end(), record) == openRecords_.end())
        openRecords_.push_back(record);
}

void DbConnection::Detach(TableRecord* record) {
    openRecords_.erase(std::remove(openRecords_.begin(), openRecords_.end(), record),
                       openRecords_.end());
}

Transaction::~Transaction() { Rollback(); }

void Transaction::Rollback() noexcept {
    if (committed_ || !db_.InTransaction()) return;
    try {
        db_.RollbackTransaction();
    } catch (...) {
        // A destructor must not throw; the server rolls back when the
        // connection goes.
    }
}

}  // namespace rl
