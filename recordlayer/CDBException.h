// The record layer's one error type: every failure of the record layer is a
// CDBException carrying an SQLSTATE, a native error and a message on one
// line (what the clerk is shown and the trace line quotes).
//
// A failing ODBC call gives the SQLSTATE and native error of the driver's
// first diagnostic record and the text of all of them. Failures the layer
// finds itself carry the SQLSTATE of the standard that names them, native
// error 0:
//   02000  no data: a row the caller relies on is not there (an identity the
//          database did not assign, a new row that cannot be read back)
//   08003  a statement on a connection that is not open
//   22002  a date-time without a value used as a value
//   22008  a date-time outside the local calendar
//   22018  a value that does not convert to the type asked for
//   24000  no current row to read a column of
//   42S22  no result column of that name
//   54011  a record class of more columns than a table can have
//   HY001  no memory for an ODBC environment
//   HY009  a query parameter without a value
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace rl {

class CDBException : public std::runtime_error {
  public:
    // what() is the message.
    CDBException(std::string sqlState, long nativeError, std::string message);
    // what() is "context: message" (context says which call failed);
    // DriverMessage() stays the message alone.
    CDBException(std::string sqlState, long nativeError, std::string message,
                 std::string_view context);

    const std::string& SqlState() const { return sqlState_; }
    long NativeError() const { return nativeError_; }
    // The message on one line: all of a driver's diagnostic records joined
    // by "; ", line breaks inside a record turned into blanks.
    const std::string& DriverMessage() const { return message_; }

  private:
    std::string sqlState_;
    long nativeError_;
    std::string message_;
};

}  // namespace rl
