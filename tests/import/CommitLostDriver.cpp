// The SQLite ODBC driver with the answer to a commit lost: while the
// environment variable RESERVATION_TEST_COMMIT_LOST is set, SQLEndTran
// commits and then reports a failure, as when the connection to a server
// goes at that moment, and the next SQLDisconnect disconnects and then
// reports a failure too. Every other function is the real driver's (this
// library needs it, so the driver manager finds them there). A real database
// whose commit is in doubt, for the import's cleanup after it.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>

namespace {

bool disconnectFails = false;

template <class Fn>
Fn Real(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" SQLRETURN SQL_API SQLEndTran(SQLSMALLINT type, SQLHANDLE handle,
                                        SQLSMALLINT completion) {
    using EndTran = SQLRETURN (*)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT);
    const auto real = Real<EndTran>("SQLEndTran");
    const SQLRETURN rc = real != nullptr ? real(type, handle, completion) : SQL_ERROR;
    if (completion != SQL_COMMIT || std::getenv("RESERVATION_TEST_COMMIT_LOST") == nullptr)
        return rc;
    disconnectFails = true;
    return SQL_ERROR;
}

extern "C" SQLRETURN SQL_API SQLDisconnect(SQLHDBC dbc) {
    using Disconnect = SQLRETURN (*)(SQLHDBC);
    const auto real = Real<Disconnect>("SQLDisconnect");
    const SQLRETURN rc = real != nullptr ? real(dbc) : SQL_ERROR;
    if (!disconnectFails) return rc;
    disconnectFails = false;
    return SQL_ERROR;
}
