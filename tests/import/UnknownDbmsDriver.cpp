// The SQLite ODBC driver under another product's name: every function is the
// real driver's (this library needs it, so the driver manager finds them
// there) except SQLGetInfo, which calls the database "Nimbus DB", a family the
// record layer does not know. A real database behind an unknown name, for the
// import's read-back without an identity query.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>

extern "C" SQLRETURN SQL_API SQLGetInfo(SQLHDBC dbc, SQLUSMALLINT type, SQLPOINTER value,
                                        SQLSMALLINT size, SQLSMALLINT* length) {
    if (type == SQL_DBMS_NAME) {
        static const char name[] = "Nimbus DB";
        if (value != nullptr && size > 0) {
            std::strncpy(static_cast<char*>(value), name, static_cast<std::size_t>(size));
            static_cast<char*>(value)[size - 1] = '\0';
        }
        if (length != nullptr) *length = static_cast<SQLSMALLINT>(sizeof name - 1);
        return SQL_SUCCESS;
    }
    using GetInfo = SQLRETURN (*)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT*);
    auto real = reinterpret_cast<GetInfo>(dlsym(RTLD_NEXT, "SQLGetInfo"));
    return real != nullptr ? real(dbc, type, value, size, length) : SQL_ERROR;
}
