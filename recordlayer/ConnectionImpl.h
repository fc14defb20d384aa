// Private to the record layer: what a DbConnection holds behind its public
// header. Its ODBC handles, its state, and the statement handles it lends:
// a statement handle is lent for one statement at a time and taken back
// closed and unbound, so that a booking's statements share one handle
// instead of each allocating its own.
#pragma once

#include <string>
#include <vector>

#include "recordlayer/Dialect.h"
#include "recordlayer/OdbcCall.h"

namespace rl {

class DbConnection;

struct ConnectionImpl {
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    bool inTransaction = false;
    bool abandoned = false;  // RollbackTransaction was called since the connect
    bool autocommit = true;  // the driver's commit mode now
    Dialect dialect;
    std::string dbmsName;

    // Counts the closes: a statement lent before the last close is gone.
    unsigned generation = 0;
    std::vector<SQLHSTMT> lent;
    std::vector<SQLHSTMT> spare;

    // A statement handle of this connection, ready for a statement; throws.
    SQLHSTMT LendStatement();
    // Takes a lent handle back (of this generation); frees it when it cannot
    // be made ready for the next statement.
    void TakeBack(SQLHSTMT stmt) noexcept;
    // Switches the driver's commit mode; throws.
    void SetAutocommit(bool on, const char* what);
    // Before a statement runs: outside a transaction, back to autocommit.
    void BeforeStatement();

    // Frees every statement handle, lent or spare, and starts a new
    // generation.
    void FreeStatements() noexcept;
};

ConnectionImpl& ImplOf(DbConnection& db);

}  // namespace rl
