// A fresh, private hotel database for one test, reachable the way the module
// reaches it: through the data source "velmardb" of a user odbc.ini.
//
// The constructor creates the database with the hotel schema and the seed
// rows of Payment and Market (SQLite: a file in a temporary directory;
// PostgreSQL: a new database on the test cluster cloned from its template;
// MariaDB: a new gbk database on the test server whose tables are copied
// from its template database),
// writes odbc.ini and velmar.ini, and points ODBCINI, ODBCSEARCH and
// VELMAR_INI_DIR of this process at them. The destructor drops the database
// and removes the files. One HotelDatabase at a time per process (it owns
// those environment variables, and the database's place is fixed for the
// process); several in turn are fine, on any backend, except PostgreSQL and
// MariaDB within 20 seconds of each other (see ProcessDir). Not copyable.
//
// All texts passed to Execute and returned by Query are GBK bytes, as the
// module stores them, on both backends.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/support/OdbcSession.h"
#include "tests/support/TempDir.h"

namespace ts {

enum class Backend { SQLite, PostgreSQL, MariaDB };

const char* BackendName(Backend backend);

// Entries of section INTERNETRESERVE of velmar.ini, in UTF-8; they are
// written as GBK.
using IniEntries = std::vector<std::pair<std::string, std::string>>;

// DefaultRateCode=RACK and the four room types (标准间, 豪华间, 套间, 商务间)
// mapped to STD, DLX, STE and BIZ.
IniEntries DefaultIniEntries();

// True when the backend can be used here; otherwise why says what is missing.
bool BackendAvailable(Backend backend, std::string* why = nullptr);

// The connect string the module uses.
inline constexpr const char* kModuleConnect = "DSN=velmardb;UID=sa;PWD=";

// Part of the error message of an insert refused by FailInsertsInto.
inline constexpr const char* kInjectedFailure = "injected insert failure";

class HotelDatabase {
  public:
    explicit HotelDatabase(ts::Backend backend = ts::Backend::SQLite,
                           const IniEntries& ini = DefaultIniEntries());
    ~HotelDatabase();
    HotelDatabase(const HotelDatabase&) = delete;
    HotelDatabase& operator=(const HotelDatabase&) = delete;

    ts::Backend Backend() const { return backend_; }

    // The directory holding velmar.ini, private to this object.
    const std::string& Dir() const { return dir_.Path(); }
    std::string OdbcIniPath() const;
    std::string IniPath() const { return dir_.File("velmar.ini"); }
    // SQLite: the database file; PostgreSQL, MariaDB: the database name.
    const std::string& DatabaseName() const { return database_; }

    // Replaces velmar.ini with section INTERNETRESERVE holding entries.
    void WriteIni(const IniEntries& entries);
    // Replaces velmar.ini with these bytes as they are.
    void WriteIniBytes(std::string_view bytes);
    void RemoveIni();

    // Runs a statement on a connection of the fixture's own (autocommit).
    void Execute(std::string_view sql);
    std::vector<Row> Query(std::string_view sql);
    // The single value of a one-row, one-column query ("" for NULL).
    std::string Scalar(std::string_view sql);
    long Count(std::string_view table);

    // Whether databases of this run have the import ledger BookingImport:
    // the suite also runs without it (RESERVATION_TEST_NO_LEDGER set), as on a
    // hotel database from before it existed.
    static bool HasLedger();
    // Deletes every imported row (profiles, reservations, folios, ledger).
    void ForgetImports();

    // Makes every insert into table (a plain name: "Reservation") fail with an
    // error whose message contains kInjectedFailure.
    void FailInsertsInto(const std::string& table);
    void RemoveInsertFailure(const std::string& table);

  private:
    OdbcSession& Session();
    void CreateSqlite();
    void RemoveSqliteFiles();
    void CreatePostgreSQL();
    void CreateMariaDB();
    void WriteOdbcIni();
    std::string TableName(const std::string& table) const;

    ts::Backend backend_;
    TempDir dir_;
    std::string database_;
    std::string driverSection_;
    std::unique_ptr<OdbcSession> session_;
};

// The source tree root (for db/ and other test data).
std::string SourceDir();

// The ODBC driver file of the backend; empty when not installed.
std::string DriverPath(Backend backend);

}  // namespace ts
