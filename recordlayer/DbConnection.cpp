#include "recordlayer/DbConnection.h"

#include <algorithm>
#include <cctype>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "framework/gbktext.h"
#include "framework/nodestructor.h"
#include "framework/odbcdriver.h"
#include "recordlayer/ConnectionImpl.h"

namespace rl {
namespace {

// The process's ODBC environment, and the handles of the last closed
// connection for the next one. Kept until the process ends: a module that is
// unloaded leaves them to it (freeing an environment can unload a driver,
// which Windows forbids while it unloads a DLL).
class Kept {
  public:
    static Kept& Get() {
        static fw::NoDestructor<Kept> kept;
        return *kept;
    }

    // A connection's handles: the kept ones, or new ones on the process's
    // environment. Throws.
    std::unique_ptr<ConnectionImpl> Take() {
        std::unique_ptr<ConnectionImpl> impl;
        {
            const std::lock_guard<std::mutex> lock(guard_);
            impl = std::move(spare_);
        }
        return impl ? std::move(impl) : std::make_unique<ConnectionImpl>();
    }

    SQLHDBC AllocateConnection() {
        const std::lock_guard<std::mutex> lock(guard_);
        if (env_ == SQL_NULL_HENV) {
            SQLHENV env = SQL_NULL_HENV;
            if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
                throw CDBException("HY001", 0, "cannot allocate an ODBC environment");
            const SQLRETURN rc = SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                               reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
            if (!SQL_SUCCEEDED(rc)) {
                CDBException error = DiagnosticsOf(SQL_HANDLE_ENV, env, "set the ODBC version");
                SQLFreeHandle(SQL_HANDLE_ENV, env);
                throw error;
            }
            env_ = env;
        }
        SQLHDBC dbc = SQL_NULL_HDBC;
        CheckOdbc(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc), SQL_HANDLE_ENV, env_,
                  "allocate a connection");
        return dbc;
    }

    // Keeps a closed connection's handles for the next, or frees them when
    // some are kept already.
    void Give(std::unique_ptr<ConnectionImpl> impl) noexcept {
        if (impl->dbc != SQL_NULL_HDBC && !impl->connected) {
            // Nothing of the last connection but its handle and buffers.
            impl->dialect = Dialect();
            impl->dbmsName.clear();
            const std::lock_guard<std::mutex> lock(guard_);
            if (!spare_) {
                spare_ = std::move(impl);
                return;
            }
        }
        if (impl->dbc != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, impl->dbc);
    }

  private:
    std::mutex guard_;  // connections of different threads share both
    SQLHENV env_ = SQL_NULL_HENV;
    std::unique_ptr<ConnectionImpl> spare_;
};

std::string InfoString(SQLHDBC dbc, SQLUSMALLINT info) {
    char buffer[256] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, info, buffer, sizeof buffer, &length))) return "";
    return buffer;
}

// The driver manager loads a driver, and the driver its set-up library, at
// the first connection and unloads them with the last one: with one
// connection per booking that is a load, an ini read and a leak of a few KB
// per booking. Keeping both loaded for the life of the process ends that.
void KeepDriverLoaded(SQLHDBC dbc) {
    SQLCHAR name[512] = {};
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, nullptr))) name[0] = 0;
    fw::PinOdbcDriver(reinterpret_cast<const char*>(name));
}

// The value of key (DSN) in an ODBC connect string, compared ignoring case.
std::string ConnectValue(std::string_view connect, std::string_view key) {
    while (!connect.empty()) {
        const std::size_t semicolon = connect.find(';');
        const std::string_view pair = connect.substr(0, semicolon);
        const std::size_t equals = pair.find('=');
        if (equals == key.size() &&
            std::equal(key.begin(), key.end(), pair.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return std::string(pair.substr(equals + 1));
        if (semicolon == std::string_view::npos) break;
        connect.remove_prefix(semicolon + 1);
    }
    return "";
}

void SetAutocommit(SQLHDBC dbc, SQLULEN mode) {
    SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(mode), 0);
}

void ReadDialect(ConnectionImpl& c) {
    Dialect d;
    d.quote = InfoString(c.dbc, SQL_IDENTIFIER_QUOTE_CHAR);
    SQLUINTEGER schemaUsage = 0;
    if (SQL_SUCCEEDED(
            SQLGetInfo(c.dbc, SQL_SCHEMA_USAGE, &schemaUsage, sizeof schemaUsage, nullptr)))
        d.schemas = (schemaUsage & SQL_SU_DML_STATEMENTS) != 0;
    SQLUSMALLINT identifierCase = 0;
    if (SQL_SUCCEEDED(SQLGetInfo(c.dbc, SQL_IDENTIFIER_CASE, &identifierCase, sizeof identifierCase,
                                 nullptr)))
        d.lowerCase = identifierCase == SQL_IC_LOWER;
    c.dbmsName = InfoString(c.dbc, SQL_DBMS_NAME);
    d.family = FamilyFromDbmsName(c.dbmsName);
    d.identity = IdentityReadFor(c.dbmsName, InfoString(c.dbc, SQL_DBMS_VER));
    c.dialect = std::move(d);
}

// A statement handle of the connection for one call, taken back on every path.
struct LentStatement {
    explicit LentStatement(ConnectionImpl& c) : owner(c), handle(c.LendStatement()) {}
    ~LentStatement() { owner.TakeBack(handle); }
    LentStatement(const LentStatement&) = delete;
    LentStatement& operator=(const LentStatement&) = delete;
    ConnectionImpl& owner;
    const SQLHSTMT handle;
};

// Lets go of a connection the driver refused to disconnect; false when it
// still will not.
bool ForceDisconnect(SQLHDBC dbc) noexcept {
    const auto endAndDisconnect = [dbc] {
        SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK);
        SetAutocommit(dbc, SQL_AUTOCOMMIT_ON);
        return SQL_SUCCEEDED(SQLDisconnect(dbc));
    };
    // The driver refuses while it still counts a transaction open (after a
    // rollback that failed, say); ending it its own way lets go of it.
    if (endAndDisconnect()) return true;
    // A driver whose database already rolled back by itself (SQLite after a
    // full disk or an I/O error) still counts the transaction, and its
    // rollback fails for want of one: give it one to end.
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
        SQLExecDirect(stmt, SqlText("BEGIN"), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    return endAndDisconnect();
}

}  // namespace

SQLHSTMT ConnectionImpl::LendStatement() {
    if (!connected) throw CDBException("08003", 0, "the connection is not open");
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    if (!spare.empty()) {
        stmt = spare.back();
        spare.pop_back();
    } else {
        CheckOdbc(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc,
                  "allocate a statement");
    }
    lent.push_back(stmt);
    return stmt;
}

void ConnectionImpl::TakeBack(SQLHSTMT stmt) noexcept {
    const auto at = std::find(lent.begin(), lent.end(), stmt);
    if (at == lent.end()) return;
    lent.erase(at);
    // Records read with SQLGetData and bind no columns: closing the cursor
    // and unbinding the parameters is all a handle needs.
    if (SQL_SUCCEEDED(SQLFreeStmt(stmt, SQL_CLOSE)) &&
        SQL_SUCCEEDED(SQLFreeStmt(stmt, SQL_RESET_PARAMS))) {
        spare.push_back(stmt);
        return;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

void ConnectionImpl::SetAutocommit(bool on, const char* what) {
    CheckOdbc(SQLSetConnectAttr(
                  dbc, SQL_ATTR_AUTOCOMMIT,
                  reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, dbc, what);
    autocommit = on;
}

void ConnectionImpl::BeforeStatement() {
    if (!inTransaction && !autocommit) SetAutocommit(true, "return to autocommit");
}

void ConnectionImpl::FreeStatements() noexcept {
    for (SQLHSTMT stmt : lent) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    for (SQLHSTMT stmt : spare) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    lent.clear();
    spare.clear();
    ++generation;
}

ConnectionImpl& ImplOf(DbConnection& db) { return *db.impl_; }

DbConnection::DbConnection() : impl_(Kept::Get().Take()) {}

DbConnection::~DbConnection() {
    try {
        CloseConnection();
    } catch (...) {
        // Closing is best effort here; the handles are let go of regardless.
    }
    Kept::Get().Give(std::move(impl_));
}

bool DbConnection::IsOpen() const { return impl_->connected; }
bool DbConnection::InTransaction() const { return impl_->inTransaction; }
const Dialect& DbConnection::GetDialect() const { return impl_->dialect; }
const std::string& DbConnection::DbmsName() const { return impl_->dbmsName; }

void DbConnection::OpenConnection(std::string_view connect, unsigned /*options*/) {
    ConnectionImpl& c = *impl_;
    if (c.connected) CloseConnection();
    c.abandoned = false;
    if (connect.substr(0, 5) == "ODBC;") connect.remove_prefix(5);
    if (c.dbc == SQL_NULL_HDBC) c.dbc = Kept::Get().AllocateConnection();

    const SQLRETURN rc =
        SQLDriverConnect(c.dbc, nullptr, SqlText(connect), static_cast<SQLSMALLINT>(connect.size()),
                         nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error = DiagnosticsOf(SQL_HANDLE_DBC, c.dbc, "connect");
        // The driver manager's text names neither the data source nor where
        // it looked, which is what the operator has to fix.
        if (error.SqlState() == "IM002")
            throw CDBException(error.SqlState(), error.NativeError(),
                               error.DriverMessage() + " (data source \"" +
                                   ConnectValue(connect, "DSN") + "\", looked for in " +
                                   fw::OdbcDataSourceLocations() + ")");
        throw error;
    }
    c.connected = true;
    c.inTransaction = false;
    // A connection from the driver manager's pool keeps the commit mode its
    // last user left it in.
    SQLULEN mode = SQL_AUTOCOMMIT_ON;
    c.autocommit =
        !SQL_SUCCEEDED(SQLGetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, &mode, 0, nullptr)) ||
        mode != SQL_AUTOCOMMIT_OFF;
    KeepDriverLoaded(c.dbc);
    ReadDialect(c);
}

bool DbConnection::BeginTransaction() {
    ConnectionImpl& c = *impl_;
    if (c.autocommit) c.SetAutocommit(false, "begin a transaction");
    c.inTransaction = true;
    return true;
}

void DbConnection::EndTransaction(short completion, const char* what) {
    ConnectionImpl& c = *impl_;
    // The transaction is over whatever the outcome: a failed commit leaves
    // nothing to roll back in the drivers we use. The connection stays in
    // manual commit until a statement runs outside a transaction: switching
    // back costs MariaDB a round trip, which a connection that is closed
    // after its commit, or begins the next transaction, never needs.
    c.inTransaction = false;
    SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, c.dbc, completion);
    if (!SQL_SUCCEEDED(rc)) {
        CDBException error = DiagnosticsOf(SQL_HANDLE_DBC, c.dbc, what);
        SQLEndTran(SQL_HANDLE_DBC, c.dbc, SQL_ROLLBACK);
        throw error;
    }
}

bool DbConnection::CommitTransaction() {
    EndTransaction(SQL_COMMIT, "commit");
    return true;
}

bool DbConnection::RollbackTransaction() {
    impl_->abandoned = true;
    EndTransaction(SQL_ROLLBACK, "roll back");
    return true;
}

void DbConnection::CloseConnection() {
    ConnectionImpl& c = *impl_;
    // Records still open find their statements gone.
    c.FreeStatements();
    if (!c.connected) return;
    std::optional<CDBException> error;
    // Only a caller's own rollback excuses the close's errors, not this one.
    const bool abandoned = c.abandoned;
    if (c.inTransaction) {
        try {
            RollbackTransaction();
        } catch (const CDBException& e) {
            error = e;
        }
    }
    c.abandoned = abandoned;
    c.inTransaction = false;
    c.connected = false;
    if (!SQL_SUCCEEDED(SQLDisconnect(c.dbc))) {
        if (!error) error = DiagnosticsOf(SQL_HANDLE_DBC, c.dbc, "disconnect");
        if (!ForceDisconnect(c.dbc)) {
            // The driver keeps it: the handle is let go of (a driver manager
            // that refuses to free a connected handle leaks it, and the
            // server's session with it), and the next connect gets a new one.
            SQLFreeHandle(SQL_HANDLE_DBC, c.dbc);
            c.dbc = SQL_NULL_HDBC;
        }
    }
    // A caller that rolled back is on its way out after an error of its own:
    // that one is reported, and what the close says after it would hide it.
    if (error && !c.abandoned) throw *error;
}

void DbConnection::ExecuteDirect(std::string_view sql) {
    impl_->BeforeStatement();
    const LentStatement stmt(*impl_);
    CheckOdbc(SQLExecDirect(stmt.handle, SqlText(sql), SqlLength(sql)), SQL_HANDLE_STMT,
              stmt.handle, "execute", true);
}

bool DbConnection::HasTable(std::string_view name) {
    std::string stored(name);
    if (impl_->dialect.lowerCase)
        for (char& c : stored) c = fw::gbk::AsciiLower(c);
    const LentStatement stmt(*impl_);
    CheckOdbc(SQLTables(stmt.handle, nullptr, 0, nullptr, 0, SqlText(stored),
                        static_cast<SQLSMALLINT>(stored.size()), nullptr, 0),
              SQL_HANDLE_STMT, stmt.handle, "look up a table");
    const SQLRETURN rc = SQLFetch(stmt.handle);
    CheckOdbc(rc, SQL_HANDLE_STMT, stmt.handle, "look up a table", true);
    return rc != SQL_NO_DATA;
}

Transaction::~Transaction() { Rollback(); }

void Transaction::Rollback() noexcept {
    if (committed_ || !db_.InTransaction()) return;
    try {
        db_.RollbackTransaction();
    } catch (...) {
        // A destructor must not throw; the server rolls back when the
        // connection goes.
    }
}

}  // namespace rl
