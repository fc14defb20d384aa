// The import of one booking: conversions, one connection, one transaction.
#include "reservation/ImportBooking.h"

#include <climits>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "framework/clock.h"
#include "framework/crashpoint.h"
#include "framework/exclusivefile.h"
#include "framework/gbktext.h"
#include "framework/profile.h"
#include "framework/trace.h"
#include "recordlayer/CDBException.h"
#include "recordlayer/DateTimeValue.h"
#include "recordlayer/DbConnection.h"
#include "recordlayer/TableRecord.h"
#include "reservation/FOLIOTbl.h"
#include "reservation/GbkLiterals.h"
#include "reservation/GstProfileTbl.h"
#include "reservation/reservationTbl.h"

namespace resv {

namespace {

namespace lit = gbk_literals;

enum Entry {
    kBookingNumber = 1,
    kBookingType = 2,
    kCompany = 3,
    kCompanyPhone = 4,
    kRoomType = 5,
    kPayment = 6,
    kArrival = 7,
    kDeparture = 8,
    kGuestName = 9,
    kGuestPhone = 10,
    kGuests = 11,
    kRooms = 12,
    kPrice = 15,
    kRemarks = 16,
};

std::string IniValue(const char* key) {
    return fw::GetPrivateProfileString(lit::kIniSection, key, "", 100, lit::kIniFile);
}

// The price of the whole stay over the nights, truncated toward zero; 0 for
// no nights. Rates beyond the 32-bit range are clamped rather than wrapped.
std::int32_t NightlyRate(const std::string& price, long nights) {
    if (nights == 0) return 0;
    const double rate =
        std::trunc(fw::gbk::ParseLeadingDouble(price) / static_cast<double>(nights));
    if (std::isnan(rate)) return 0;
    if (rate >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    if (rate <= static_cast<double>(INT32_MIN)) return INT32_MIN;
    return static_cast<std::int32_t>(rate);
}

// The first row of "select Code,Descp from <table>" whose right-trimmed Descp
// equals description, as its right-trimmed Code.
std::optional<std::string> LookUpCode(rl::TableRecord& query, const char* sql,
                                      const std::string& description) {
    std::optional<std::string> found;
    query.OpenRows(rl::SnapshotOpen, sql, 0);
    std::string code, descp;
    while (!query.AtEnd()) {
        query.ColumnText("Code", code);
        query.ColumnText("Descp", descp);
        if (fw::gbk::TrimRight(descp) == description) {
            found = fw::gbk::TrimRight(code);
            break;
        }
        query.NextRow();
    }
    query.CloseRows();
    return found;
}

std::string Cut(const std::string& text) {
    return fw::gbk::CutAtCharBoundary(text, rl::kTextColumnMax);
}

// A reservation committed earlier for this very booking (same non-empty
// booking number, guest name, dates and nightly rate): the import that wrote
// it died before it could remove the file. Answers that reservation's guest.
std::optional<std::int32_t> EarlierImport(rl::DbConnection& db, const BookingFields& table,
                                          const rl::DateTimeValue& arrival,
                                          const rl::DateTimeValue& departure) {
    if (table[kBookingNumber].empty()) return std::nullopt;
    rl::TableRecord query(&db);
    query.OpenRows(rl::SnapshotOpen,
                   "select r.GstAcct from Reservation r join GstProfile g on g.Acct = r.GstAcct"
                   " where r.CRONum = ? and g.ChnName = ? and r.ArrDate = ? and r.DptDate = ?"
                   " and r.RmRate = ?",
                   0,
                   {Cut(table[kBookingNumber]), Cut(table[kGuestName]), arrival, departure,
                    Cut(table[kPrice])});
    std::optional<std::int32_t> account;
    if (!query.AtEnd()) {
        std::string text;
        query.ColumnText("GstAcct", text);
        account = fw::gbk::ParseLeadingInt(text);
    }
    query.CloseRows();
    return account;
}

}  // namespace

ImportOutcome RunImportTransaction(BookingFields& table, const SpanErrorHandler& onSpanError) {
    ImportOutcome outcome;

    const fw::ClockReading now = fw::ReadLocalClock();
    const std::string rateCode = IniValue(lit::kDefaultRateCodeKey);

    const std::optional<fw::CivilDate> arrivalDate = fw::ParseDate(table[kArrival]);
    const std::optional<fw::CivilDate> departureDate = fw::ParseDate(table[kDeparture]);
    rl::DateTimeValue arrival, departure;
    if (arrivalDate)
        arrival = rl::DateTimeValue::FromLocalDate(arrivalDate->year, arrivalDate->month,
                                                   arrivalDate->day);
    if (departureDate)
        departure = rl::DateTimeValue::FromLocalDate(departureDate->year, departureDate->month,
                                                     departureDate->day);
    if (!arrival.HasValue() || !departure.HasValue()) {
        outcome.status = ImportOutcome::UnreadableDates;
        outcome.message =
            "unreadable dates \"" + table[kArrival] + "\" and \"" + table[kDeparture] + "\"";
        return outcome;
    }
    const long nights = fw::DaysBetween(*arrivalDate, *departureDate);
    table[kPrice] = fw::gbk::Format("%d", NightlyRate(table[kPrice], nights));

    rl::DbConnection db;
    db.OpenConnection(kConnectString, 0);
    rl::TableRecord query(&db);

    const char* const roomNames[] = {lit::kStandardRoom, lit::kDeluxeRoom, lit::kSuite,
                                     lit::kBusinessRoom};
    std::string roomCodes[4];
    for (int i = 0; i < 4; ++i) roomCodes[i] = IniValue(roomNames[i]);
    for (int i = 0; i < 4; ++i) {
        if (table[kRoomType] == roomNames[i]) {
            table[kRoomType] = roomCodes[i];
            break;
        }
    }

    const std::string paymentCode =
        LookUpCode(query, "select Code,Descp from Payment", table[kPayment]).value_or("");
    if (std::optional<std::string> market =
            LookUpCode(query, "select Code,Descp from Market", table[kBookingType]))
        table[kBookingType] = *market;

    db.BeginTransaction();
    fw::CrashPoint("begin");
    try {
        {
            CGstProfileTbl profile(&db);
            profile.OpenRows(rl::KeysetOpen, nullptr, 0);
            profile.BeginNewRow();
            profile.ChnName = table[kGuestName];
            profile.Phone = table[kGuestPhone];
            profile.OrgDate = now.date;
            profile.OrgTime = now.time;
            profile.OrgClerk = table[kEntryClerk];
            profile.SaveRow();
            profile.CloseRows();
        }
        fw::CrashPoint("profile");

        // Only now look for an earlier import of this booking: a transaction
        // that starts with a read and writes later can deadlock against a
        // second host's on an embedded database, one that starts with a
        // write simply waits its turn. The profile above is rolled back.
        if (std::optional<std::int32_t> earlier = EarlierImport(db, table, arrival, departure)) {
            db.RollbackTransaction();
            db.CloseConnection();
            outcome.status = ImportOutcome::AlreadyImported;
            outcome.account = *earlier;
            return outcome;
        }

        // Time of day and name alone can match an older profile; the identity
        // the database just assigned picks exactly the row inserted above.
        // A database the dialect does not know reports none: then the newest
        // profile of this date, time, name and clerk is taken, which a second
        // host importing the same name in the same second can still confuse.
        {
            const std::optional<long> assigned =
                db.LastInsertedIdentity("[dbo].[GstProfile]", "[Acct]");
            CGstProfileTbl readBack(&db);
            if (assigned) {
                readBack.OpenRows(
                    rl::SnapshotOpen,
                    "select * from GstProfile where Acct = ? and OrgTime = ? and ChnName = ?", 0,
                    {std::int64_t{*assigned}, now.time, Cut(table[kGuestName])});
            } else {
                static std::uint64_t tracedCall = 0;
                if (tracedCall != SearchCallNumber()) {
                    tracedCall = SearchCallNumber();
                    fw::Trace(
                        "%s reports no assigned identity; new guest profiles are read back by "
                        "import time, name and clerk\n",
                        db.DbmsName().empty() ? "the database" : db.DbmsName().c_str());
                }
                readBack.OpenRows(
                    rl::SnapshotOpen,
                    "select * from GstProfile where OrgDate = ? and OrgTime = ?"
                    " and ChnName = ? and OrgClerk = ? order by Acct desc",
                    0, {now.date, now.time, Cut(table[kGuestName]), Cut(table[kEntryClerk])});
            }
            if (readBack.AtEnd())
                throw rl::CDBException(
                    "HY000", 0,
                    "the new guest profile of " + table[kGuestName] + " cannot be read back");
            outcome.account = readBack.Acct;
            outcome.accountRead = true;
            readBack.CloseRows();
        }

        {
            CreservationTbl reservation(&db);
            reservation.OpenRows(rl::KeysetOpen, nullptr, 0);
            reservation.BeginNewRow();
            reservation.GstAcct = outcome.account;
            reservation.CRONum = table[kBookingNumber];
            reservation.Adults = fw::gbk::ParseLeadingInt(table[kGuests]);
            reservation.ArrDate = arrival;
            reservation.DptDate = departure;
            reservation.RmType = table[kRoomType];
            reservation.RmNumbers = fw::gbk::ParseLeadingInt(table[kRooms]);
            reservation.Paymethod = paymentCode;
            reservation.RateCode = rateCode;
            reservation.FolioRate = table[kPrice];
            reservation.RmRate = table[kPrice];
            reservation.ConsumStyle = 0;
            reservation.MarketCode = table[kBookingType];
            reservation.Note =
                fw::gbk::Format(lit::kNoteFormat, table[kCompany].c_str(),
                                table[kCompanyPhone].c_str(), table[kRemarks].c_str());
            reservation.OrgDate = now.date;
            reservation.OrgTime = now.time;
            reservation.OrgClerk = table[kEntryClerk];
            reservation.SaveRow();
            reservation.CloseRows();
        }
        fw::CrashPoint("reservation");

        {
            CFOLIOTbl folio(&db);
            folio.OpenRows(rl::KeysetOpen, nullptr, 0);
            folio.BeginNewRow();
            folio.GstAcct = outcome.account;
            folio.Code = lit::kFolioCode;
            folio.Descp = lit::kFolioDescription;
            folio.SaveRow();
            folio.CloseRows();
        }
        fw::CrashPoint("folio");

        db.CommitTransaction();
        db.CloseConnection();
    } catch (const rl::CDBException& e) {
        if (onSpanError) onSpanError(e);
        try {
            db.RollbackTransaction();
        } catch (const rl::CDBException&) {
            // The connection may be gone (server stopped); the server then
            // drops the transaction itself.
        }
        db.CloseConnection();
        outcome.status = ImportOutcome::DatabaseError;
        outcome.message = e.DriverMessage();
        return outcome;
    }
    outcome.status = ImportOutcome::Imported;
    return outcome;
}

void ImportBooking(const std::string& path) {
    const ImportOutcome outcome = RunImportTransaction(BookingFieldTable, {});
    if (outcome.accountRead) ImportedGuestAccount = outcome.account;

    switch (outcome.status) {
        case ImportOutcome::Imported:
        case ImportOutcome::AlreadyImported: {
            fw::CrashPoint("commit");  // committed, file not yet removed
            const fw::FileError removed = fw::DeleteFile(path);
            fw::CrashPoint("remove");
            const char* what =
                outcome.status == ImportOutcome::Imported ? "imported" : "already imported";
            if (removed == fw::FileError::None)
                fw::Trace("%s %s as guest account %d\n", what, path.c_str(),
                          static_cast<int>(outcome.account));
            else
                fw::Trace("%s %s as guest account %d but can't remove the file,error=%u\n", what,
                          path.c_str(), static_cast<int>(outcome.account),
                          static_cast<unsigned>(removed));
            break;
        }
        case ImportOutcome::DatabaseError:
            fw::Trace("can't import %s: %s\n", path.c_str(), outcome.message.c_str());
            break;
        case ImportOutcome::UnreadableDates:
            fw::Trace("can't import %s: %s\n", path.c_str(), outcome.message.c_str());
            break;
    }
}

}  // namespace resv
