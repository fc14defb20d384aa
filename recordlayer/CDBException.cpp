#include "recordlayer/CDBException.h"

#include <sqlext.h>

#include <algorithm>
#include <string_view>
#include <utility>

namespace rl {
namespace {

// A driver's message as one line: its own line breaks (psqlODBC's "connection
// refused" spans three lines, the last one empty) become single blanks.
void AppendOneLine(std::string& text, std::string_view message) {
    std::size_t at = 0;
    while (at < message.size()) {
        std::size_t end = message.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = message.size();
        std::string_view part = message.substr(at, end - at);
        while (!part.empty() && (part.front() == ' ' || part.front() == '\t'))
            part.remove_prefix(1);
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
        if (!part.empty()) {
            if (!text.empty() && text.back() != ' ') text += ' ';
            text += part;
        }
        at = end + 1;
    }
}

}  // namespace

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
        if (!text.empty()) text += ";";
        AppendOneLine(text, message);
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
