#include "tests/support/HotelDatabase.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <thread>

#include "tests/support/Encoding.h"

namespace ts {
namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A connection to database of the test cluster; by default the one to
// connect to for CREATE DATABASE.
std::string PgAdminConnect(std::string database = "") {
    std::string host = Env("RESERVATION_TEST_PG_HOST");
    std::string user = Env("RESERVATION_TEST_PG_USER");
    if (database.empty()) database = Env("RESERVATION_TEST_PG_ADMIN_DB");
    return "Driver=" + DriverPath(Backend::PostgreSQL) +
           ";Servername=" + (host.empty() ? "127.0.0.1" : host) +
           ";Port=" + Env("RESERVATION_TEST_PG_PORT") +
           ";Database=" + (database.empty() ? "postgres" : database) +
           ";UID=" + (user.empty() ? "sa" : user) + ";PWD=;";
}

std::string MariaDBAdminConnect() {
    std::string host = Env("RESERVATION_TEST_MARIADB_HOST");
    std::string user = Env("RESERVATION_TEST_MARIADB_USER");
    return "Driver=" + DriverPath(Backend::MariaDB) +
           ";Server=" + (host.empty() ? "127.0.0.1" : host) +
           ";Port=" + Env("RESERVATION_TEST_MARIADB_PORT") +
           ";UID=" + (user.empty() ? "sa" : user) + ";PWD=;CHARSET=gbk;";
}

std::string UniqueDatabaseName() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return "velmar_t" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
           std::to_string(random() % 100000);
}

// The driver manager unloads a driver when its last connection goes, and the
// SQLite driver loads and unloads the installer library on its own; what they
// leak then shows up under an unknown module, which the leak checker's
// suppressions cannot name. Holding one reference keeps them loaded.
void PinDriver(const std::string& path) {
    static_cast<void>(dlopen(path.c_str(), RTLD_NOW | RTLD_NODELETE));
    static_cast<void>(dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE));
}

// The installer library caches what it reads from odbc.ini for 20 seconds,
// keyed by section, key and search mode, not by file. So within one process
// the data source must keep the same values: the database lives at a path
// (SQLite) or under a name (PostgreSQL, MariaDB) fixed for the process, and
// SQLite reads the user odbc.ini under a search mode of its own, which keeps
// its cached values apart. There are only two such modes that read the file
// ODBCINI names, so the two servers share one: a process that uses both must
// leave 20 seconds between them (CTest runs one case per process), or the
// constructor refuses.
TempDir& ProcessDir() {
    static TempDir dir;
    return dir;
}

const std::string& ProcessPgDatabaseName() {
    static const std::string name = UniqueDatabaseName();
    return name;
}

int liveDatabases = 0;

// Which server last read the shared search mode's odbc.ini values, and when
// it last used them.
struct ServerUse {
    Backend backend;
    std::chrono::steady_clock::time_point at;
};
std::optional<ServerUse> lastServer;

void CheckServerSwitch(Backend backend) {
    if (backend == Backend::SQLite || !lastServer || lastServer->backend == backend) return;
    if (std::chrono::steady_clock::now() - lastServer->at > std::chrono::seconds(21)) return;
    throw std::logic_error(std::string(BackendName(backend)) + " right after " +
                           BackendName(lastServer->backend) +
                           " in one process would get the other's cached data source; run one "
                           "server per process (CTest does; or --gtest_filter='*/" +
                           BackendName(backend) + "')");
}

bool Contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

const char* BackendName(Backend backend) {
    switch (backend) {
        case Backend::SQLite:
            return "SQLite";
        case Backend::PostgreSQL:
            return "PostgreSQL";
        case Backend::MariaDB:
            return "MariaDB";
    }
    return "?";
}

std::string SourceDir() {
    std::string fromEnv = Env("RESERVATION_SOURCE_DIR");
    return fromEnv.empty() ? RESERVATION_SOURCE_DIR : fromEnv;
}

std::string DriverPath(Backend backend) {
    const char* file = backend == Backend::SQLite       ? "libsqlite3odbc.so"
                       : backend == Backend::PostgreSQL ? "psqlodbca.so"
                                                        : "libmaodbc.so";
    const std::string dirs[] = {RESERVATION_ODBC_DRIVER_DIR,
                                "/usr/lib/x86_64-linux-gnu/odbc",
                                "/usr/lib/aarch64-linux-gnu/odbc",
                                "/usr/lib/odbc",
                                "/usr/lib64",
                                "/usr/lib"};
    for (const auto& dir : dirs) {
        if (dir.empty()) continue;
        std::string path = dir + "/" + file;
        if (access(path.c_str(), R_OK) == 0) return path;
    }
    return "";
}

bool BackendAvailable(Backend backend, std::string* why) {
    auto fail = [why](std::string reason) {
        if (why != nullptr) *why = std::move(reason);
        return false;
    };
    if (DriverPath(backend).empty())
        return fail(std::string("no ODBC driver for ") + BackendName(backend));
    if (backend == Backend::PostgreSQL && Env("RESERVATION_TEST_PG_PORT").empty())
        return fail(
            "RESERVATION_TEST_PG_PORT is not set (start the test cluster with "
            "scripts/pgcluster.sh)");
    if (backend == Backend::MariaDB && Env("RESERVATION_TEST_MARIADB_PORT").empty())
        return fail(
            "RESERVATION_TEST_MARIADB_PORT is not set (start the test server with "
            "scripts/mariadbcluster.sh)");
    return true;
}

IniEntries DefaultIniEntries() {
    return {{"DefaultRateCode", "RACK"},
            {"标准间", "STD"},
            {"豪华间", "DLX"},
            {"套间", "STE"},
            {"商务间", "BIZ"}};
}

HotelDatabase::HotelDatabase(ts::Backend backend, const IniEntries& ini) : backend_(backend) {
    std::string why;
    if (!BackendAvailable(backend, &why)) throw std::runtime_error(why);
    if (liveDatabases > 0) throw std::logic_error("one HotelDatabase at a time per process");
    CheckServerSwitch(backend);
    PinDriver(DriverPath(backend));
    if (backend == ts::Backend::SQLite)
        CreateSqlite();
    else if (backend == ts::Backend::PostgreSQL)
        CreatePostgreSQL();
    else
        CreateMariaDB();
    ++liveDatabases;
    WriteOdbcIni();
    WriteIni(ini);
    setenv("ODBCINI", OdbcIniPath().c_str(), 1);
    setenv("ODBCSEARCH", backend == ts::Backend::SQLite ? "ODBC_BOTH_DSN" : "ODBC_USER_DSN", 1);
    setenv("VELMAR_INI_DIR", dir_.Path().c_str(), 1);
}

HotelDatabase::~HotelDatabase() {
    session_.reset();
    if (backend_ != ts::Backend::SQLite)
        lastServer = ServerUse{backend_, std::chrono::steady_clock::now()};
    if (backend_ == ts::Backend::PostgreSQL) {
        try {
            OdbcSession admin(PgAdminConnect());
            admin.Execute("drop database if exists " + database_ + " with (force)");
        } catch (const std::exception&) {
            // A database left behind goes away with the throwaway cluster.
        }
    } else if (backend_ == ts::Backend::MariaDB) {
        try {
            OdbcSession admin(MariaDBAdminConnect());
            admin.Execute("drop database if exists " + database_);
        } catch (const std::exception&) {
            // A database left behind goes away with the throwaway server.
        }
    } else {
        RemoveSqliteFiles();
    }
    --liveDatabases;
    unsetenv("ODBCINI");
    unsetenv("ODBCSEARCH");
    unsetenv("VELMAR_INI_DIR");
}

std::string HotelDatabase::OdbcIniPath() const { return ProcessDir().File("odbc.ini"); }

void HotelDatabase::RemoveSqliteFiles() {
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        unlink((database_ + suffix).c_str());
}

void HotelDatabase::CreateSqlite() {
    database_ = ProcessDir().File("velmar.db");
    RemoveSqliteFiles();
    driverSection_ = "Driver = " + DriverPath(ts::Backend::SQLite) + "\nDatabase = " + database_ +
                     "\nTimeout = 10000\n";
    OdbcSession setup("Driver=" + DriverPath(ts::Backend::SQLite) + ";Database=" + database_ +
                      ";Timeout=10000;");
    std::vector<std::string> statements =
        SplitSqlScript(ReadFile(SourceDir() + "/db/sqlite/schema.sql"));
    for (auto& seed : SplitSqlScript(Gbk(ReadFile(SourceDir() + "/db/seed.sql"))))
        statements.push_back(std::move(seed));
    if (!HasLedger()) statements.push_back("drop table BookingImport");
    setup.ExecuteInTransaction(statements);
}

void HotelDatabase::CreatePostgreSQL() {
    database_ = ProcessPgDatabaseName();
    std::string template_ = Env("RESERVATION_TEST_PG_TEMPLATE");
    if (template_.empty()) template_ = "velmar_template";
    OdbcSession admin(PgAdminConnect());
    admin.Execute("drop database if exists " + database_ + " with (force)");
    // CREATE DATABASE refuses while anything else touches the template (an
    // autovacuum worker, say); that passes quickly.
    for (int attempt = 1;; ++attempt) {
        try {
            admin.Execute("create database " + database_ + " template " + template_);
            break;
        } catch (const std::runtime_error& e) {
            if (attempt >= 20 || !Contains(e.what(), "being accessed by other users")) throw;
            std::this_thread::yield();
        }
    }
    if (!HasLedger())
        OdbcSession(PgAdminConnect(database_)).Execute("drop table dbo.bookingimport");
    driverSection_ =
        "Driver = " + DriverPath(ts::Backend::PostgreSQL) + "\nServername = " +
        (Env("RESERVATION_TEST_PG_HOST").empty() ? "127.0.0.1" : Env("RESERVATION_TEST_PG_HOST")) +
        "\nPort = " + Env("RESERVATION_TEST_PG_PORT") + "\nDatabase = " + database_ +
        "\nConnSettings = SET client_encoding TO 'GBK'\n";
}

void HotelDatabase::CreateMariaDB() {
    // The process's PostgreSQL name would do, but a name of its own keeps a
    // process that uses both servers from dropping the wrong database.
    static const std::string name = UniqueDatabaseName();
    database_ = name;
    std::string template_ = Env("RESERVATION_TEST_MARIADB_TEMPLATE");
    if (template_.empty()) template_ = "velmar_template";
    // Copying five tables is far quicker than running the schema script,
    // which made the template.
    OdbcSession admin(MariaDBAdminConnect());
    std::vector<std::string> statements = {
        "drop database if exists " + database_,
        "create database " + database_ + " character set gbk collate gbk_bin"};
    std::vector<std::string> tables = {"GstProfile", "Reservation", "FOLIO", "Payment", "Market"};
    if (HasLedger()) tables.push_back("BookingImport");
    for (const std::string& table : tables)
        statements.push_back("create table " + database_ + "." + table + " like " + template_ +
                             "." + table);
    for (const char* table : {"Payment", "Market"})
        statements.push_back("insert into " + database_ + "." + table + " select * from " +
                             template_ + "." + table);
    for (const std::string& statement : statements) admin.Execute(statement);
    driverSection_ =
        "Driver = " + DriverPath(ts::Backend::MariaDB) + "\nServer = " +
        (Env("RESERVATION_TEST_MARIADB_HOST").empty() ? "127.0.0.1"
                                                      : Env("RESERVATION_TEST_MARIADB_HOST")) +
        "\nPort = " + Env("RESERVATION_TEST_MARIADB_PORT") + "\nDatabase = " + database_ +
        "\nCHARSET = gbk\n";
}

bool HotelDatabase::HasLedger() { return Env("RESERVATION_TEST_NO_LEDGER").empty(); }

void HotelDatabase::ForgetImports() {
    for (const char* table : {"FOLIO", "Reservation", "GstProfile"})
        Execute("delete from " + TableName(table));
    if (HasLedger()) Execute("delete from " + TableName("BookingImport"));
}

void HotelDatabase::WriteOdbcIni() { WriteFile(OdbcIniPath(), "[velmardb]\n" + driverSection_); }

void HotelDatabase::WriteIni(const IniEntries& entries) {
    std::string text = "[INTERNETRESERVE]\r\n";
    for (const auto& [key, value] : entries) text += Gbk(key) + "=" + Gbk(value) + "\r\n";
    WriteIniBytes(text);
}

void HotelDatabase::WriteIniBytes(std::string_view bytes) { WriteFile(IniPath(), bytes); }

void HotelDatabase::RemoveIni() { unlink(IniPath().c_str()); }

OdbcSession& HotelDatabase::Session() {
    if (!session_) session_ = std::make_unique<OdbcSession>(kModuleConnect);
    return *session_;
}

void HotelDatabase::Execute(std::string_view sql) { Session().Execute(sql); }

std::vector<Row> HotelDatabase::Query(std::string_view sql) { return Session().Query(sql); }

std::string HotelDatabase::Scalar(std::string_view sql) {
    std::vector<Row> rows = Query(sql);
    if (rows.size() != 1 || rows[0].size() != 1)
        throw std::runtime_error("expected one value from " + std::string(sql));
    return rows[0][0].value_or("");
}

long HotelDatabase::Count(std::string_view table) {
    return std::stol(Scalar("select count(*) from " + std::string(table)));
}

std::string HotelDatabase::TableName(const std::string& table) const {
    if (backend_ != ts::Backend::PostgreSQL) return table;
    std::string lower = table;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

void HotelDatabase::FailInsertsInto(const std::string& table) {
    const std::string name = TableName(table);
    const std::string message = std::string(kInjectedFailure) + " into " + name;
    if (backend_ == ts::Backend::SQLite) {
        Execute("create trigger fail_insert_" + name + " before insert on " + name +
                " begin select raise(abort, '" + message + "'); end");
    } else if (backend_ == ts::Backend::MariaDB) {
        Execute("create trigger fail_insert_" + name + " before insert on " + name +
                " for each row signal sqlstate '45000' set message_text = '" + message + "'");
    } else {
        Execute(
            "create or replace function dbo.fail_insert() returns trigger language plpgsql as "
            "$$ begin raise exception '% into %', TG_ARGV[0], TG_TABLE_NAME; end $$");
        Execute("create trigger fail_insert_" + name + " before insert on dbo." + name +
                " for each row execute function dbo.fail_insert('" + kInjectedFailure + "')");
    }
}

void HotelDatabase::RemoveInsertFailure(const std::string& table) {
    const std::string name = TableName(table);
    if (backend_ != ts::Backend::PostgreSQL)
        Execute("drop trigger if exists fail_insert_" + name);
    else
        Execute("drop trigger if exists fail_insert_" + name + " on dbo." + name);
}

}  // namespace ts
