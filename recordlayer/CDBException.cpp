#include "recordlayer/CDBException.h"

#include <sqlext.h>

#include <algorithm>
#include <utility>

namespace rl {

CDBException::CDBException(std::string sqlState, long nativeError, std::string message)
    : std::runtime_error(message),
      sqlState_(std::move(sqlState)),
      nativeError_(nativeError),
      message_(std::move(message)) {}

CDBException::CDBException(std::string sqlState, long nativeError, std::string message,
                           const std::string& whatText)
    : std::runtime_error(whatText),
      sqlState_(std::move(sqlState)),
      nativeError_(nativeError),
      message_(std::move(message)) {}

CDBException CDBException::FromHandle(SQLSMALLINT handleType, SQLHANDLE handle,
                                      const std::string& what) {
    std::string firstState;
    long firstNative = 0;
    std::string text;
    for (SQLSMALLINT i = 1;; ++i) {
        SQLCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        std::string message(1024, '\0');
        SQLRETURN rc = SQLGetDiagRec(handleType, handle, i, state, &native,
                                     reinterpret_cast<SQLCHAR*>(message.data()),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (!SQL_SUCCEEDED(rc)) break;
        if (static_cast<std::size_t>(length) >= message.size()) {
            message.assign(static_cast<std::size_t>(length) + 1, '\0');
            rc = SQLGetDiagRec(handleType, handle, i, state, &native,
                               reinterpret_cast<SQLCHAR*>(message.data()),
                               static_cast<SQLSMALLINT>(message.size()), &length);
            if (!SQL_SUCCEEDED(rc)) break;
        }
        message.resize(std::min(static_cast<std::size_t>(length), message.size() - 1));
        if (i == 1) {
            firstState = reinterpret_cast<char*>(state);
            firstNative = native;
        }
        if (!text.empty()) text += "\n";
        text += message;
    }
    if (text.empty()) text = what + " failed without a diagnostic";
    if (firstState.empty()) firstState = "HY000";
    return CDBException(firstState, firstNative, text, what + ": " + text);
}

void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what,
               bool allowNoData) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return;
    if (rc == SQL_NO_DATA && allowNoData) return;
    if (rc == SQL_INVALID_HANDLE)
        throw CDBException("HY000", 0, std::string(what) + ": invalid handle");
    throw CDBException::FromHandle(handleType, handle, what);
}

}  // namespace rl
