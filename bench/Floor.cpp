#include "bench/Floor.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "bench/BenchSupport.h"
#include "framework/clock.h"
#include "reservation/GbkLiterals.h"
#include "tests/support/HotelDatabase.h"

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

// The floor's own connection in manual commit for the whole run: each
// booking ends in a bare commit, without the switch back to autocommit that
// a DbConnection transaction makes. Owns its environment and connection.
class Connection {
  public:
    explicit Connection(const std::string& connect) {
        Check(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_), SQL_HANDLE_ENV, env_,
              "allocate an environment");
        Check(SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                            0),
              SQL_HANDLE_ENV, env_, "choose ODBC 3");
        Check(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_), SQL_HANDLE_ENV, env_,
              "allocate a connection");
        Check(SQLDriverConnect(dbc_, nullptr, SqlText(connect.c_str()), SQL_NTS, nullptr, 0,
                               nullptr, SQL_DRIVER_NOPROMPT),
              SQL_HANDLE_DBC, dbc_, "connect");
        connected_ = true;
        Check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
              SQL_HANDLE_DBC, dbc_, "switch to manual commit");
    }
    ~Connection() {
        if (connected_) {
            SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
            SQLDisconnect(dbc_);
        }
        if (dbc_ != SQL_NULL_HDBC) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        if (env_ != SQL_NULL_HENV) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    SQLHDBC Handle() const { return dbc_; }
    void Commit() {
        Check(SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT), SQL_HANDLE_DBC, dbc_, "commit");
    }

  private:
    SQLHENV env_ = SQL_NULL_HENV;
    SQLHDBC dbc_ = SQL_NULL_HDBC;
    bool connected_ = false;
};

// One statement prepared once and executed many times; its parameters are
// bound to buffers the caller keeps alive and refills before each run.
class Prepared {
  public:
    Prepared(Connection& db, const char* sql) {
        Check(SQLAllocHandle(SQL_HANDLE_STMT, db.Handle(), &stmt_), SQL_HANDLE_DBC, db.Handle(),
              "allocate a statement");
        Check(SQLPrepare(stmt_, SqlText(sql), SQL_NTS), SQL_HANDLE_STMT, stmt_, "prepare");
    }
    ~Prepared() { SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;

    void Bind(TextParam& p) {
        Param(SQL_C_CHAR, SQL_VARCHAR, 255, p.data, sizeof p.data, &p.length);
    }
    void Bind(SQLINTEGER& value) { Param(SQL_C_SLONG, SQL_INTEGER, 10, &value, 0, nullptr); }
    void BindSmall(SQLSMALLINT& value) { Param(SQL_C_SSHORT, SQL_SMALLINT, 5, &value, 0, nullptr); }
    void Bind(SQL_TIMESTAMP_STRUCT& value) {
        Param(SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 19, &value, sizeof value, nullptr);
    }

    void Execute() { Check(SQLExecute(stmt_), SQL_HANDLE_STMT, stmt_, "execute", true); }

    // Runs a one-column integer query and answers its first row's value.
    SQLINTEGER ExecuteForInteger() {
        Execute();
        SQLINTEGER value = 0;
        SQLLEN indicator = 0;
        Check(SQLFetch(stmt_), SQL_HANDLE_STMT, stmt_, "fetch");
        Check(SQLGetData(stmt_, 1, SQL_C_SLONG, &value, 0, &indicator), SQL_HANDLE_STMT, stmt_,
              "read");
        Check(SQLCloseCursor(stmt_), SQL_HANDLE_STMT, stmt_, "close the cursor");
        return value;
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

SQL_TIMESTAMP_STRUCT Midnight(int year, int month, int day) {
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = static_cast<SQLSMALLINT>(year);
    ts.month = static_cast<SQLUSMALLINT>(month);
    ts.day = static_cast<SQLUSMALLINT>(day);
    return ts;
}

// The timed part; its statements are freed before the connection closes.
double WriteBookings(Connection& db, int first, int count) {
    TextParam name, phone, orgDate, orgTime, clerk, number, roomType, payment, rateCode, rate,
        market, note, folioCode, folioDescp;
    SQLINTEGER account = 0;
    SQLSMALLINT adults = 2, rooms = 1, consumStyle = 0;
    SQL_TIMESTAMP_STRUCT arrival = Midnight(2026, 3, 17), departure = Midnight(2026, 3, 20);

    Prepared profile(db,
                     "insert into GstProfile (ChnName, Phone, OrgDate, OrgTime, OrgClerk) values "
                     "(?, ?, ?, ?, ?)");
    for (TextParam* p : {&name, &phone, &orgDate, &orgTime, &clerk}) profile.Bind(*p);

    Prepared readBack(db, "select Acct from GstProfile where OrgTime = ? and ChnName = ?");
    readBack.Bind(orgTime);
    readBack.Bind(name);

    Prepared reservation(
        db,
        "insert into Reservation (GstAcct, CRONum, Adults, ArrDate, DptDate, RmType, RmNumbers,"
        " Paymethod, RateCode, FolioRate, RmRate, ConsumStyle, MarketCode, Note, OrgDate, OrgTime,"
        " OrgClerk) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    reservation.Bind(account);
    reservation.Bind(number);
    reservation.BindSmall(adults);
    reservation.Bind(arrival);
    reservation.Bind(departure);
    reservation.Bind(roomType);
    reservation.BindSmall(rooms);
    reservation.Bind(payment);
    reservation.Bind(rateCode);
    reservation.Bind(rate);
    reservation.Bind(rate);
    reservation.BindSmall(consumStyle);
    reservation.Bind(market);
    reservation.Bind(note);
    reservation.Bind(orgDate);
    reservation.Bind(orgTime);
    reservation.Bind(clerk);

    Prepared folio(db, "insert into FOLIO (GstAcct, Code, Descp) values (?, ?, ?)");
    folio.Bind(account);
    folio.Bind(folioCode);
    folio.Bind(folioDescp);

    // What the conversions of the module make of these bookings: the codes
    // of the hotel set-up and a three-night stay at 1000.
    clerk.Set("bench");
    roomType.Set("STD");
    payment.Set("CASH");
    rateCode.Set("RACK");
    rate.Set("333");
    market.Set("NET");
    folioCode.Set(lit::kFolioCode);
    folioDescp.Set(lit::kFolioDescription);

    Stopwatch clock;
    for (int serial = first; serial < first + count; ++serial) {
        const BookingValues booking = BookingFor(serial);
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

        profile.Execute();
        account = readBack.ExecuteForInteger();
        reservation.Execute();
        folio.Execute();
        db.Commit();
    }
    return clock.Seconds();
}

}  // namespace

double RunFloor(int first, int count) {
    Connection db(ts::kModuleConnect);
    return WriteBookings(db, first, count);
}

}  // namespace bench
