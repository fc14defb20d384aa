// The record layer's one error type: every failing ODBC call becomes a
// CDBException carrying the SQLSTATE and native error of the first diagnostic
// record and the text of all of them on one line (what the clerk is shown and
// the trace line quotes).
#pragma once

#include <sql.h>

#include <stdexcept>
#include <string>

namespace rl {

class CDBException : public std::runtime_error {
  public:
    CDBException(std::string sqlState, long nativeError, std::string message);

    // Collects every diagnostic record of handle; what says which call failed.
    static CDBException FromHandle(SQLSMALLINT handleType, SQLHANDLE handle,
                                   const std::string& what);

    const std::string& SqlState() const { return sqlState_; }
    long NativeError() const { return nativeError_; }
    // The driver's message text on one line: all diagnostic records joined
    // by "; ", line breaks inside a record turned into blanks.
    const std::string& DriverMessage() const { return message_; }

  private:
    // what() gets whatText; DriverMessage() stays the driver's text alone.
    CDBException(std::string sqlState, long nativeError, std::string message,
                 const std::string& whatText);

    std::string sqlState_;
    long nativeError_;
    std::string message_;
};

// Throws CDBException::FromHandle when rc is neither SQL_SUCCESS nor
// SQL_SUCCESS_WITH_INFO (SQL_NO_DATA passes too when allowNoData).
void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what,
               bool allowNoData = false);

}  // namespace rl
