#include "bench/Floor.h"

#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

#include "bench/BenchSupport.h"
#include "framework/clock.h"
#include "reservation/GbkLiterals.h"

namespace bench {
namespace {

namespace lit = resv::gbk_literals;

SQLCHAR* SqlText(const char* sql) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql)); }

// Throws std::runtime_error with the driver's first message when rc failed.
void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what,
           bool allowNoData = false) {
    if (SQL_SUCCEEDED(rc) || (allowNoData && rc == SQL_NO_DATA)) return;
    SQLCHAR state[6] = {}, message[512] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
    throw std::runtime_error(std::string(what) + ": " + reinterpret_cast<char*>(state) + " " +
                             reinterpret_cast<char*>(message));
}

// A text parameter buffer that stays where it was bound.
struct TextParam {
    char data[256] = {};
    SQLLEN length = 0;
    void Set(const std::string& text) {
        length = static_cast<SQLLEN>(text.size() < sizeof data ? text.size() : sizeof data - 1);
        std::memcpy(data, text.data(), static_cast<std::size_t>(length));
    }
};

SQL_TIMESTAMP_STRUCT Midnight(int year, int month, int day) {
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(year);
    ts.month = static_cast<SQLUSMALLINT>(month);
    ts.day = static_cast<SQLUSMALLINT>(day);
    return ts;
}

// The values of one booking's rows as the module makes them of the
// benchmark's bookings: the codes of the hotel set-up, a three-night stay at
// 1000. Each statement binds the ones it writes.
struct RowValues {
    TextParam name, phone, orgDate, orgTime, clerk, number, roomType, payment, rateCode, rate,
        market, note, folioCode, folioDescp, fileKey, hostTag;
    SQLINTEGER account = 0;
    SQLSMALLINT adults = 2, rooms = 1, consumStyle = 0;
    SQL_TIMESTAMP_STRUCT arrival = Midnight(2026, 3, 17), departure = Midnight(2026, 3, 20);
    SQL_TIMESTAMP_STRUCT importedAt{};

    RowValues() {
        clerk.Set("bench");
        roomType.Set("STD");
        payment.Set("CASH");
        rateCode.Set("RACK");
        rate.Set("333");
        market.Set("NET");
        folioCode.Set(lit::kFolioCode);
        folioDescp.Set(lit::kFolioDescription);
        hostTag.Set("benchhost+0123456789abcdef+1234567+1");
    }

    // The booking's own values and the time of its import.
    void SetBooking(int serial, const BookingValues& booking) {
        const fw::ClockReading now = fw::ReadLocalClock();
        name.Set(booking.guest);
        phone.Set(booking.guestPhone);
        orgDate.Set(now.date);
        orgTime.Set(now.time);
        number.Set(booking.number);
        char noteText[512];
        std::snprintf(noteText, sizeof noteText, lit::kNoteFormat, booking.company.c_str(),
                      booking.companyPhone.c_str(), booking.remarks.c_str());
        note.Set(noteText);
        // A ledger key as long as the module's (a SHA-256 and the file's name).
        char key[128];
        std::snprintf(key, sizeof key, "%064x booking-%07d.txt", static_cast<unsigned>(serial),
                      serial);
        fileKey.Set(key);
        std::tm local{};
        fw::ToLocalTime(static_cast<std::time_t>(now.seconds), local);
        importedAt.year = static_cast<SQLSMALLINT>(local.tm_year + 1900);
        importedAt.month = static_cast<SQLUSMALLINT>(local.tm_mon + 1);
        importedAt.day = static_cast<SQLUSMALLINT>(local.tm_mday);
        importedAt.hour = static_cast<SQLUSMALLINT>(local.tm_hour);
        importedAt.minute = static_cast<SQLUSMALLINT>(local.tm_min);
        importedAt.second = static_cast<SQLUSMALLINT>(local.tm_sec);
    }
};

constexpr const char* kProfileInsert =
    "insert into GstProfile (ChnName, Phone, OrgDate, OrgTime, OrgClerk) values (?, ?, ?, ?, ?)";
constexpr const char* kProfileInsertReturning =
    "insert into GstProfile (ChnName, Phone, OrgDate, OrgTime, OrgClerk) values (?, ?, ?, ?, ?)"
    " returning Acct";
constexpr const char* kReservationInsert =
    "insert into Reservation (GstAcct, CRONum, Adults, ArrDate, DptDate, RmType, RmNumbers,"
    " Paymethod, RateCode, FolioRate, RmRate, ConsumStyle, MarketCode, Note, OrgDate, OrgTime,"
    " OrgClerk) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
constexpr const char* kFolioInsert = "insert into FOLIO (GstAcct, Code, Descp) values (?, ?, ?)";
constexpr const char* kLedgerInsert =
    "insert into BookingImport (FileKey, GstAcct, ImportedAt, HostTag) values (?, ?, ?, ?)";

// A statement handle with its parameters bound one after another.
class Statement {
  public:
    explicit Statement(SQLHDBC dbc) {
        Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_), SQL_HANDLE_DBC, dbc,
              "allocate a statement");
    }
    ~Statement() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    SQLHSTMT Handle() const { return stmt_; }
    void Bind(TextParam& p) {
        Param(SQL_C_CHAR, SQL_VARCHAR, 255, p.data, sizeof p.data, &p.length);
    }
    void Bind(SQLINTEGER& value) { Param(SQL_C_SLONG, SQL_INTEGER, 10, &value, 0, nullptr); }
    void Bind(SQLSMALLINT& value) { Param(SQL_C_SSHORT, SQL_SMALLINT, 5, &value, 0, nullptr); }
    void Bind(SQL_TIMESTAMP_STRUCT& value) {
        Param(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, &value, sizeof value, nullptr);
    }
    template <class... T>
    void BindAll(T&... values) {
        (Bind(values), ...);
    }

    // The first column of the next row as an integer; false at the end.
    bool FetchInteger(SQLINTEGER& value) {
        const SQLRETURN rc = SQLFetch(stmt_);
        Check(rc, SQL_HANDLE_STMT, stmt_, "fetch", true);
        if (rc == SQL_NO_DATA) return false;
        Check(SQLGetData(stmt_, 1, SQL_C_SLONG, &value, 0, nullptr), SQL_HANDLE_STMT, stmt_,
              "read");
        return true;
    }

    // Closes the cursor and unbinds the parameters, for the next statement.
    void Reset() {
        SQLFreeStmt(stmt_, SQL_CLOSE);
        SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
        bound_ = 0;
    }

  private:
    void Param(SQLSMALLINT cType, SQLSMALLINT sqlType, SQLULEN size, SQLPOINTER value,
               SQLLEN bufferLength, SQLLEN* length) {
        Check(SQLBindParameter(stmt_, ++bound_, SQL_PARAM_INPUT, cType, sqlType, size, 0, value,
                               bufferLength, length),
              SQL_HANDLE_STMT, stmt_, "bind a parameter");
    }

    SQLHSTMT stmt_ = SQL_NULL_HSTMT;
    SQLUSMALLINT bound_ = 0;
};

void BindProfile(Statement& s, RowValues& v) {
    s.BindAll(v.name, v.phone, v.orgDate, v.orgTime, v.clerk);
}
void BindReservation(Statement& s, RowValues& v) {
    s.BindAll(v.account, v.number, v.adults, v.arrival, v.departure, v.roomType, v.rooms, v.payment,
              v.rateCode, v.rate, v.rate, v.consumStyle, v.market, v.note, v.orgDate, v.orgTime,
              v.clerk);
}
void BindFolio(Statement& s, RowValues& v) { s.BindAll(v.account, v.folioCode, v.folioDescp); }
void BindLedger(Statement& s, RowValues& v) {
    s.BindAll(v.fileKey, v.account, v.importedAt, v.hostTag);
}

// The process's environment and one connection handle on it.
class Handles {
  public:
    Handles() {
        Check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_), SQL_HANDLE_ENV, env_,
              "allocate an environment");
        Check(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                            0),
              SQL_HANDLE_ENV, env_, "choose ODBC 3");
        Check(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_HANDLE_ENV, env_,
              "allocate a connection");
    }
    ~Handles() {
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    Handles(const Handles&) = delete;
    Handles& operator=(const Handles&) = delete;

    SQLHDBC Dbc() const { return dbc_; }
    void Connect() {
        Check(SQLDriverConnect(dbc_, nullptr, SqlText(ts::kModuleConnect), SQL_NTS, nullptr, 0,
                               nullptr, SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, dbc_, "connect");
    }
    // Switches the commit mode when it is not the one wanted (a pooled
    // connection keeps the mode of its last user).
    void Autocommit(bool on) {
        SQLULEN mode = SQL_AUTOCOMMIT_ON;
        SQLGetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, &mode, 0, nullptr);
        if ((mode != SQL_AUTOCOMMIT_OFF) == on) return;
        Check(SQLSetConnectAttr(
                  dbc_, SQL_ATTR_AUTOCOMMIT,
                  reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, dbc_, "switch the commit mode");
    }
    void Commit() {
        Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "commit");
    }

  private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
};

// One statement prepared once and executed many times on the floor's
// connection; its parameters are bound to buffers the caller refills.
class Prepared : public Statement {
  public:
    Prepared(SQLHDBC dbc, const char* sql) : Statement(dbc) {
        Check(SQLPrepare(Handle(), SqlText(sql), SQL_NTS), SQL_HANDLE_STMT, Handle(), "prepare");
    }
    void Execute() { Check(SQLExecute(Handle()), SQL_HANDLE_STMT, Handle(), "execute", true); }
};

// The timed part of the floor; its statements are freed before the
// connection closes.
double WriteBookings(Handles& db, int first, int count) {
    RowValues v;
    Prepared profile(db.Dbc(), kProfileInsert);
    BindProfile(profile, v);
    Prepared readBack(db.Dbc(), "select Acct from GstProfile where OrgTime = ? and ChnName = ?");
    readBack.BindAll(v.orgTime, v.name);
    Prepared reservation(db.Dbc(), kReservationInsert);
    BindReservation(reservation, v);
    Prepared folio(db.Dbc(), kFolioInsert);
    BindFolio(folio, v);
    Prepared ledger(db.Dbc(), kLedgerInsert);
    BindLedger(ledger, v);

    Stopwatch clock;
    for (int serial = first; serial < first + count; ++serial) {
        v.SetBooking(serial, BookingFor(serial));
        profile.Execute();
        readBack.Execute();
        if (!readBack.FetchInteger(v.account)) throw std::runtime_error("read-back found nothing");
        SQLCloseCursor(readBack.Handle());
        ledger.Execute();
        reservation.Execute();
        folio.Execute();
        db.Commit();
    }
    return clock.Seconds();
}

// Runs sql directly on the statement's handle.
void Run(Statement& s, const char* sql, const char* what) {
    Check(SQLExecDirect(s.Handle(), SqlText(sql), SQL_NTS), SQL_HANDLE_STMT, s.Handle(), what,
          true);
}

// The Code of the first row of "select Code,Descp from <table>" whose Descp is
// description, into code; every row up to it is read.
void LookUp(Statement& s, const char* sql, const std::string& description, TextParam& code) {
    Run(s, sql, "look up a code");
    char text[256];
    SQLLEN length = 0;
    while (SQL_SUCCEEDED(SQLFetch(s.Handle()))) {
        Check(SQLGetData(s.Handle(), 1, SQL_C_CHAR, code.data, sizeof code.data, &code.length),
              SQL_HANDLE_STMT, s.Handle(), "read a code");
        Check(SQLGetData(s.Handle(), 2, SQL_C_CHAR, text, sizeof text, &length), SQL_HANDLE_STMT,
              s.Handle(), "read a description");
        if (length >= 0 && description == std::string_view(text, static_cast<std::size_t>(length)))
            break;
    }
    s.Reset();
}

}  // namespace

double RunFloor(int first, int count) {
    Handles db;
    db.Connect();
    db.Autocommit(false);
    const double seconds = WriteBookings(db, first, count);
    SQLEndTran(SQL_HANDLE_DBC, db.Dbc(), SQL_ROLLBACK);
    SQLDisconnect(db.Dbc());
    return seconds;
}

double RunRulesFloor(ts::Backend backend, const std::string& dropDir, int first, int count,
                     bool ledger) {
    const bool readsLock = backend == ts::Backend::SQLite;
    const std::string claimed = dropDir + "/.claimed";
    mkdir(claimed.c_str(), 0700);
    Handles db;
    RowValues v;
    char from[4096], to[4096];

    Stopwatch clock;
    for (int serial = first; serial < first + count; ++serial) {
        const BookingValues booking = BookingFor(serial);
        std::snprintf(from, sizeof from, "%s/booking-%07d.txt", dropDir.c_str(), serial);
        std::snprintf(to, sizeof to, "%s/booking-%07d.txt", claimed.c_str(), serial);
        if (std::rename(from, to) != 0) throw std::runtime_error(std::string("rename ") + from);
        v.SetBooking(serial, booking);

        db.Connect();
        {
            Statement s(db.Dbc());
            db.Autocommit(readsLock);
            LookUp(s, "select Code,Descp from Payment", booking.payment, v.payment);
            LookUp(s, "select Code,Descp from Market", booking.type, v.market);
            db.Autocommit(false);

            BindProfile(s, v);
            if (readsLock) {
                Run(s, kProfileInsert, "insert a profile");
                s.Reset();
                Run(s, "select last_insert_rowid()", "read the account");
            } else {
                Run(s, kProfileInsertReturning, "insert a profile");
            }
            if (!s.FetchInteger(v.account)) throw std::runtime_error("no account assigned");
            s.Reset();
            if (ledger) {
                BindLedger(s, v);
                Run(s, kLedgerInsert, "insert a ledger row");
                s.Reset();
            }
            BindReservation(s, v);
            Run(s, kReservationInsert, "insert a reservation");
            s.Reset();
            BindFolio(s, v);
            Run(s, kFolioInsert, "insert a folio");
            db.Commit();
        }
        Check(SQLDisconnect(db.Dbc()), SQL_HANDLE_DBC, db.Dbc(), "disconnect");
        if (unlink(to) != 0) throw std::runtime_error(std::string("unlink ") + to);
    }
    return clock.Seconds();
}

}  // namespace bench
