// One ODBC connection (with its own environment handle), owned for its whole
// life. Not thread-safe; one thread uses a connection. The destructor rolls
// back a transaction that was begun and not ended, disconnects and never
// throws. Every failing call throws CDBException.
#pragma once

#include <sql.h>
#include <sqlext.h>

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

    // Runs one statement that returns no rows (schema set-up, tests).
    void ExecuteDirect(std::string_view sql);

    // The identity value the database assigned to the last row this
    // connection inserted into table (a declared name such as
    // "[dbo].[GstProfile]") whose identity column is column.
    long LastInsertedIdentity(std::string_view table, std::string_view column);

    SQLHDBC Handle() const { return dbc_; }

  private:
    // Records with a statement open on this connection; CloseConnection
    // closes them first, so no record is left holding a freed handle.
    friend class TableRecord;
    void Attach(TableRecord* record);
    void Detach(TableRecord* record);

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
    std::vector<TableRecord*> openRecords_;
};

// Rolls back unless Commit() ran; for code outside the import path.
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

  private:
    DbConnection& db_;
    bool committed_ = false;
};

}  // namespace rl
