// One ODBC connection (with its own environment handle), owned for its whole
// life. Not thread-safe; one thread uses a connection. The destructor rolls
// back a transaction that was begun and not ended, disconnects and never
// throws. Every failing call throws CDBException.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Dialect.h"

namespace rl {

class TableRecord;

class DbConnection {
  public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // Connects with an ODBC connect string; a leading "ODBC;" is stripped.
    // options: 0 (read-write, nothing special). Never prompts.
    void OpenConnection(std::string_view connect, unsigned options = 0);

    // Switches to manual commit. Returns true.
    bool BeginTransaction();
    bool CommitTransaction();
    bool RollbackTransaction();

    // Rolls back an open transaction, disconnects. Safe to call when closed.
    // The connection is let go of whatever the driver says (a driver that
    // refuses to disconnect is made to, so no failed import leaves a
    // connection and its files open). Throws the first error of the close,
    // except after RollbackTransaction: a caller that rolled back is leaving
    // after an error of its own, which is the one to report.
    void CloseConnection();

    bool IsOpen() const { return connected_; }
    bool InTransaction() const { return inTransaction_; }

    // What the driver reported about identifiers and its family, read once at
    // connect time.
    const Dialect& GetDialect() const { return dialect_; }
    // The product the driver names (SQL_DBMS_NAME), for messages: "MariaDB".
    const std::string& DbmsName() const { return dbmsName_; }

    // Runs one statement that returns no rows (schema set-up, tests).
    void ExecuteDirect(std::string_view sql);

    // Whether the database has a table of this plain name ("BookingImport"),
    // in any schema, asked of the driver's catalog (lower-cased where the
    // database stores unquoted names so). Throws when the catalog cannot be
    // read.
    bool HasTable(std::string_view name);

    // The identity value the database assigned to the last row this
    // connection inserted into table (a declared name such as
    // "[dbo].[GstProfile]") whose identity column is column. nullopt when
    // the dialect knows no way to ask (a database family it does not know);
    // the caller then finds the row some other way. Throws when the query
    // fails or the connection assigned none.
    std::optional<long> LastInsertedIdentity(std::string_view table, std::string_view column);
    // The same identity as an SQL expression, for a statement that reads the
    // new row by it in the same round trip ("... where Acct = <expression>");
    // empty when the dialect knows no way to ask.
    std::string IdentityExpression(std::string_view table, std::string_view column) const;

  private:
    // Records with a statement open on this connection; CloseConnection
    // closes them first, so no record is left holding a freed handle.
    friend class TableRecord;
    void Attach(TableRecord* record);
    void Detach(TableRecord* record);
    // A new statement handle on this connection, owned by the caller.
    SQLHSTMT AllocateStatement();

    void EndTransaction(SQLSMALLINT completion, const char* what);
    void ForceDisconnect() noexcept;
    void ReadDialect();
    void FreeHandles() noexcept;

    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
    bool inTransaction_ = false;
    bool abandoned_ = false;  // RollbackTransaction was called since the connect
    Dialect dialect_;
    std::string dbmsName_;
    std::vector<TableRecord*> openRecords_;
};

// One transaction on a connection: begun by the constructor (which throws as
// BeginTransaction does), rolled back by the destructor unless Commit() ran.
class Transaction {
  public:
    explicit Transaction(DbConnection& db) : db_(db) { db_.BeginTransaction(); }
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit() {
        db_.CommitTransaction();
        committed_ = true;
    }
    // Rolls back now. Never throws: when the connection is gone the server
    // drops the transaction itself.
    void Rollback() noexcept;

  private:
    DbConnection& db_;
    bool committed_ = false;
};

}  // namespace rl
