// Private to the record layer (no header outside recordlayer/ includes it):
// the ODBC API, and how a failed ODBC call becomes a CDBException.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

#include "recordlayer/CDBException.h"

namespace rl {

// Every diagnostic record of handle; what says which call failed. HY000 when
// the driver left none.
CDBException DiagnosticsOf(SQLSMALLINT handleType, SQLHANDLE handle, std::string_view what);

// Throws DiagnosticsOf(...) when rc is neither SQL_SUCCESS nor
// SQL_SUCCESS_WITH_INFO (SQL_NO_DATA passes too when allowNoData).
inline void CheckOdbc(SQLRETURN rc, SQLSMALLINT handleType, SQLHANDLE handle, const char* what,
                      bool allowNoData = false) {
    if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) return;
    if (rc == SQL_NO_DATA && allowNoData) return;
    if (rc == SQL_INVALID_HANDLE) throw CDBException("HY000", 0, "invalid handle", what);
    throw DiagnosticsOf(handleType, handle, what);
}

// SQL text as the ODBC API takes it (which never writes to it).
inline SQLCHAR* SqlText(std::string_view sql) {
    return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.data()));
}
inline SQLINTEGER SqlLength(std::string_view sql) { return static_cast<SQLINTEGER>(sql.size()); }

}  // namespace rl
