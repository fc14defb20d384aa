// Leaks a statement handle on purpose, the way code that forgets to free one
// would: allocated, run, and left to the disconnect. StatementHandleCheck
// must fail this run; CTest passes it only when it does.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include "tests/support/TestSupport.h"

namespace {

TEST(StatementHandleCheck, ALeakedStatementHandleFailsTheRun) {
    ts::HotelDatabase hotel(ts::Backend::SQLite);
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(
        dbc, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(ts::kModuleConnect)), SQL_NTS,
        nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt)));
    SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>("select Code from Payment")),
                  SQL_NTS);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
}

}  // namespace
