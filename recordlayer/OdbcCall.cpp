#include "recordlayer/OdbcCall.h"

#include <algorithm>

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

CDBException DiagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view what) {
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
    if (text.empty()) text = std::string(what) + " failed without a diagnostic";
    if (firstState.empty()) firstState = "HY000";
    return CDBException(firstState, firstNative, text, what);
}

}  // namespace rl
