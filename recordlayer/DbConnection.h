// One ODBC connection, owned for its whole life. Not thread-safe; one thread
// uses a connection. The destructor rolls back a transaction that was begun
// and not ended, disconnects and never throws. Every failing call throws
// CDBException.
//
// What stays between connections: the process has one ODBC environment for
// its whole life, and keeps the connection handle (and the buffers) of a
// closed DbConnection for the next one to connect with. A handle is only the
// driver manager's record of a connection, never the connection itself: each
// DbConnection still connects and disconnects. Allocating a handle per
// connection would cost the driver manager a character converter that it
// never gives back while it pools connections.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "recordlayer/Dialect.h"

namespace rl {

struct ConnectionImpl;  // the handles, private to the record layer

class DbConnection {
  public:
    DbConnection();
    ~DbConnection();
    DbConnection(const DbConnection&) = delete;
    DbConnection& operator=(const DbConnection&) = delete;

    // Connects with an ODBC connect string; a leading "ODBC;" is stripped.
    // options: 0 (read-write, nothing special). Never prompts.
    void OpenConnection(std::string_view connect, unsigned options = 0);

    // Switches to manual commit. Returns true. After the commit or rollback
    // the connection returns to autocommit when a statement next runs
    // outside a transaction, not before.
    bool BeginTransaction();
    bool CommitTransaction();
    bool RollbackTransaction();

    // Rolls back an open transaction, disconnects. Safe to call when closed.
    // Records still open on the connection are closed. The connection is let
    // go of whatever the driver says (a driver that refuses to disconnect is
    // made to, so no failed import leaves a connection and its files open).
    // Throws the first error of the close, except after RollbackTransaction:
    // a caller that rolled back is leaving after an error of its own, which
    // is the one to report.
    void CloseConnection();

    bool IsOpen() const;
    bool InTransaction() const;

    // What the driver reported about identifiers and its family, read once at
    // connect time.
    const Dialect& GetDialect() const;
    // The product the driver names (SQL_DBMS_NAME), for messages: "MariaDB".
    const std::string& DbmsName() const;

    // Runs one statement that returns no rows (schema set-up, tests).
    void ExecuteDirect(std::string_view sql);

    // Whether the database has a table of this plain name ("BookingImport"),
    // in any schema, asked of the driver's catalog (lower-cased where the
    // database stores unquoted names so). Throws when the catalog cannot be
    // read.
    bool HasTable(std::string_view name);

  private:
    friend ConnectionImpl& ImplOf(DbConnection& db);
    void EndTransaction(short completion, const char* what);

    std::unique_ptr<ConnectionImpl> impl_;
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
