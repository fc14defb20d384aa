// Private to the record layer: one statement on a connection. Its handle is
// lent by the connection when first needed and given back, closed and
// unbound, when the Statement goes. The connection frees its handles when it
// closes; a Statement that outlives the close finds itself dead (Alive()
// false) and gives nothing back. Not copyable.
#pragma once

#include <string_view>

#include "recordlayer/OdbcCall.h"

namespace rl {

class DbConnection;
struct ConnectionImpl;

class Statement {
  public:
    explicit Statement(DbConnection& db);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // The connection has not closed since this was made.
    bool Alive() const;
    // The handle, lent now if it was not yet. Throws CDBException when the
    // connection cannot allocate one.
    SQLHSTMT Handle();

    // Runs sql once, with whatever parameters are bound: one direct
    // execution, nothing prepared. SQL_NO_DATA (an insert or update of no
    // rows) is no error. Throws CDBException; what says what failed.
    void Execute(std::string_view sql, const char* what);

    // Closes the cursor and unbinds the parameters, for the next statement.
    void Reset();

  private:
    ConnectionImpl* owner_;
    SQLHSTMT stmt_;
    unsigned generation_;
};

}  // namespace rl
