// The import of one booking: the conversions (Booking), one connection, one
// transaction written as named steps.
#include "reservation/ImportBooking.h"

#include <charconv>
#include <limits>
#include <optional>
#include <string>
#include <variant>

#include "framework/crashpoint.h"
#include "framework/gbktext.h"
#include "framework/trace.h"
#include "recordlayer/CDBException.h"
#include "recordlayer/DbConnection.h"
#include "recordlayer/TableRecord.h"
#include "reservation/Booking.h"
#include "reservation/BookingClaim.h"
#include "reservation/BookingImportTbl.h"
#include "reservation/FOLIOTbl.h"
#include "reservation/GbkLiterals.h"
#include "reservation/GstProfileTbl.h"
#include "reservation/ImportLedger.h"
#include "reservation/reservationTbl.h"

namespace resv {

std::int32_t ImportedGuestAccount = 0;

namespace {

namespace lit = gbk_literals;

// A row of Payment or Market as the lookups read it: the two columns bound
// by position, so no result column is looked up by its name.
class CodeRow : public rl::TableRecord {
  public:
    explicit CodeRow(rl::DbConnection* db) : rl::TableRecord(db) { fieldCount_ = 2; }
    void ExchangeFields(rl::FieldExchange& fx) override {
        fx.Text("[Code]", Code);
        fx.Text("[Descp]", Descp);
    }
    std::string Code;
    std::string Descp;
};

// The first row of "select Code,Descp from <table>" whose right-trimmed Descp
// equals description, as its right-trimmed Code.
std::optional<std::string> LookUpCode(CodeRow& query, const char* sql,
                                      const std::string& description) {
    std::optional<std::string> found;
    query.OpenRows(rl::SnapshotOpen, sql, 0);
    for (; !query.AtEnd(); query.NextRow()) {
        if (fw::gbk::TrimRight(query.Descp) == description) {
            found = fw::gbk::TrimRight(query.Code);
            break;
        }
    }
    query.CloseRows();
    return found;
}

// The room type through velmar.ini, the payment method and the booking type
// through Payment and Market; entries 5 and 2 rewritten in place.
void MapCodes(rl::DbConnection& db, BookingFields& table, Booking& booking) {
    for (std::size_t i = 0; i < kRoomNames.size(); ++i) {
        if (table[kRoomType] == kRoomNames[i]) {
            table[kRoomType] = booking.roomTypeCodes[i];
            break;
        }
    }
    booking.roomType = CutToColumn(table[kRoomType]);

    CodeRow query(&db);
    booking.paymentCode = CutToColumn(
        LookUpCode(query, "select Code,Descp from Payment", table[kPayment]).value_or(""));
    if (std::optional<std::string> market =
            LookUpCode(query, "select Code,Descp from Market", table[kBookingType]))
        table[kBookingType] = *market;
    booking.marketCode = CutToColumn(table[kBookingType]);
}

// The guest profile, and, given ledgerRow (prepared: PrepareLedgerRow), the
// import ledger's row with the profile's account, in one statement where the
// database can. Returns the account the database assigned; nullopt, with the
// ledger row not written, on a database whose identity the dialect cannot
// ask for.
std::optional<std::int64_t> InsertProfile(rl::DbConnection& db, const Booking& b,
                                          CBookingImportTbl* ledgerRow = nullptr) {
    CGstProfileTbl profile(&db);
    profile.BeginNewRow();
    profile.ChnName = b.guestName;
    profile.Phone = b.guestPhone;
    profile.OrgDate = b.now.date;
    profile.OrgTime = b.now.time;
    profile.OrgClerk = b.clerk;
    if (ledgerRow) return profile.SaveRowsGetIdentity("[Acct]", *ledgerRow, "[GstAcct]");
    return profile.SaveRowGetIdentity("[Acct]");
}

// The account of the profile InsertProfile wrote: the identity the database
// assigned it, which picks exactly that row. A database the dialect does not
// know tells none: then the newest profile of this date and time with this
// name and clerk is taken, which a second host importing the same name in
// the same second can still confuse. Names are compared here, byte for byte,
// because an empty text is stored as NULL. Only the three columns it needs
// are read: a driver describes every column of a result, and the profile
// has 79.
std::int32_t ReadBackAccount(rl::DbConnection& db, const Booking& b,
                             std::optional<std::int64_t> assigned) {
    if (assigned) {
        if (*assigned < 1 || *assigned > std::numeric_limits<std::int32_t>::max())
            throw rl::CDBException("22003", 0,
                                   "the new guest profile of " + b.guestName +
                                       " was given the account " + std::to_string(*assigned) +
                                       ", outside the accounts a reservation can refer to");
        return static_cast<std::int32_t>(*assigned);
    }
    static std::uint64_t tracedCall = 0;
    if (tracedCall != SearchCallNumber()) {
        tracedCall = SearchCallNumber();
        fw::Trace(fw::Priority::Warning,
                  "%s reports no assigned identity; new guest profiles are read back by import "
                  "time, name and clerk\n",
                  db.DbmsName().empty() ? "the database" : db.DbmsName().c_str());
    }
    rl::TableRecord readBack(&db);
    readBack.OpenRows(rl::SnapshotOpen,
                      "select Acct,ChnName,OrgClerk from GstProfile"
                      " where OrgDate = ? and OrgTime = ? order by Acct desc",
                      0, {b.now.date, b.now.time});
    std::string account, name, clerk;
    for (; !readBack.AtEnd(); readBack.NextRow()) {
        readBack.ColumnText("ChnName", name);
        readBack.ColumnText("OrgClerk", clerk);
        if (name == b.guestName && clerk == b.clerk) break;
    }
    if (readBack.AtEnd())
        throw rl::CDBException("02000", 0,
                               "the new guest profile of " + b.guestName + " cannot be read back");
    readBack.ColumnText("Acct", account);
    readBack.CloseRows();
    std::int32_t value = 0;
    const auto [end, error] =
        std::from_chars(account.data(), account.data() + account.size(), value);
    if (error != std::errc() || end != account.data() + account.size())
        throw rl::CDBException("22018", 0,
                               "the new guest profile of " + b.guestName +
                                   " was read back with the account \"" + account + "\"");
    return value;
}

void InsertReservation(rl::DbConnection& db, const Booking& b, std::int32_t account) {
    CreservationTbl reservation(&db);
    reservation.BeginNewRow();
    reservation.GstAcct = account;
    reservation.CRONum = b.number;
    reservation.Adults = b.guests;
    reservation.ArrDate = b.arrival;
    reservation.DptDate = b.departure;
    reservation.RmType = b.roomType;
    reservation.RmNumbers = b.rooms;
    reservation.Paymethod = b.paymentCode;
    reservation.RateCode = b.rateCode;
    reservation.FolioRate = b.nightlyRate;
    reservation.RmRate = b.nightlyRate;
    reservation.ConsumStyle = 0;
    reservation.MarketCode = b.marketCode;
    reservation.Note = b.note;
    reservation.OrgDate = b.now.date;
    reservation.OrgTime = b.now.time;
    reservation.OrgClerk = b.clerk;
    reservation.SaveRow();
}

void InsertFolio(rl::DbConnection& db, std::int32_t account) {
    CFOLIOTbl folio(&db);
    folio.BeginNewRow();
    folio.GstAcct = account;
    folio.Code = lit::kFolioCode;
    folio.Descp = lit::kFolioDescription;
    folio.SaveRow();
}

// A reservation an earlier, interrupted import committed for this very
// booking (a database without the import ledger): the same non-empty booking
// number, guest, dates, rate, counts, room type and note, so that an amended
// booking is a new one. The database narrows by number and dates; the texts
// are compared here, byte for byte, whatever its collation makes equal.
std::optional<std::int32_t> EarlierImport(rl::DbConnection& db, const Booking& b) {
    if (b.number.empty()) return std::nullopt;
    rl::TableRecord query(&db);
    query.OpenRows(rl::SnapshotOpen,
                   "select r.GstAcct, r.CRONum, g.ChnName, g.Phone, r.RmRate, r.Adults,"
                   " r.RmNumbers, r.RmType, r.Note from Reservation r"
                   " join GstProfile g on g.Acct = r.GstAcct"
                   " where r.CRONum = ? and r.ArrDate = ? and r.DptDate = ?",
                   0, {b.number, b.arrival, b.departure});
    const std::pair<const char*, std::string> expected[] = {
        {"CRONum", b.number},
        {"ChnName", b.guestName},
        {"Phone", b.guestPhone},
        {"RmRate", b.nightlyRate},
        {"Adults", std::to_string(b.guests)},
        {"RmNumbers", std::to_string(b.rooms)},
        {"RmType", b.roomType},
        {"Note", b.note},
    };
    std::optional<std::int32_t> account;
    std::string value;
    for (; !query.AtEnd() && !account; query.NextRow()) {
        bool same = true;
        for (const auto& [column, text] : expected) {
            query.ColumnText(column, value);
            same = same && value == text;
        }
        if (!same) continue;
        query.ColumnText("GstAcct", value);
        account = fw::gbk::ParseLeadingInt(value);
    }
    query.CloseRows();
    return account;
}

// The guarded span: the lookups, then the booking's rows in one transaction.
// The outcome is complete when this returns; the transaction, unless
// committed, is rolled back by its destructor on the way out. Errors of the
// lookups and of beginning the transaction pass out (the call stops).
// ledgerRefused: why the profile and ledger rows could not be written (a
// second import of the file, or an error the caller tells apart once the
// transaction is gone).
void WriteBooking(rl::DbConnection& db, BookingFields& table, Booking& booking,
                  const ImportOptions& options, ImportOutcome& outcome,
                  std::optional<rl::CDBException>& ledgerRefused) {
    // Where reads take no locks the lookups run inside the transaction, and
    // the driver sends its BEGIN with the first of them: a round trip less.
    // Elsewhere they run before it, for the reason EarlierImport's call gives.
    // A lookup that fails inside the transaction rolls back nothing written.
    std::optional<rl::Transaction> transaction;
    if (db.GetDialect().ReadsTakeNoLocks()) transaction.emplace(db);
    MapCodes(db, table, booking);
    if (!transaction) transaction.emplace(db);
    fw::CrashPoint("begin");
    try {
        // With the ledger its row goes with the profile's insert: a second
        // import of the file waits here, before it has written anything else,
        // and fails once the first commits.
        std::optional<std::int64_t> assigned;
        CBookingImportTbl ledgerRow(&db);
        if (outcome.ledger) {
            PrepareLedgerRow(ledgerRow, options.fileKey, rl::DateTimeValue(booking.now.seconds));
            try {
                assigned = InsertProfile(db, booking, &ledgerRow);
            } catch (const rl::CDBException& e) {
                ledgerRefused = e;
                return;
            }
        } else {
            assigned = InsertProfile(db, booking);
        }
        fw::CrashPoint("profile");
        if (!outcome.ledger && options.mayBeImported && options.mayBeImported()) {
            // Looked for only after the first write: a transaction that
            // starts with a read and writes later can deadlock against a
            // second host's on an embedded database, one that starts with a
            // write waits its turn.
            if (std::optional<std::int32_t> earlier = EarlierImport(db, booking)) {
                outcome.status = ImportOutcome::AlreadyImported;
                outcome.account = *earlier;
                return;
            }
        }
        outcome.account = ReadBackAccount(db, booking, assigned);
        outcome.accountRead = true;
        if (outcome.ledger && !assigned) {
            // A database whose identity is read back: the row follows.
            try {
                WriteLedgerRow(db, options.fileKey, outcome.account,
                               rl::DateTimeValue(booking.now.seconds));
            } catch (const rl::CDBException& e) {
                ledgerRefused = e;
                return;
            }
        }
        fw::CrashPoint("ledger");
        InsertReservation(db, booking, outcome.account);
        fw::CrashPoint("reservation");
        InsertFolio(db, outcome.account);
        fw::CrashPoint("folio");
        if (!outcome.ledger && options.stillClaimed && !options.stillClaimed()) {
            outcome.status = ImportOutcome::ClaimLost;
            return;
        }
        // From here an error may come after the server made the transaction
        // permanent.
        outcome.commitInDoubt = true;
        transaction->Commit();
        outcome.commitInDoubt = false;
        outcome.status = ImportOutcome::Imported;
    } catch (const rl::CDBException& e) {
        if (options.onSpanError) options.onSpanError(e);
        outcome.status = ImportOutcome::DatabaseError;
        outcome.message = e.DriverMessage();
    }
}

}  // namespace

ImportOutcome RunImportTransaction(BookingFields& table, const ImportOptions& options) {
    ImportOutcome outcome;
    std::variant<Booking, Refusal> converted = ConvertBooking(table);
    if (auto* refusal = std::get_if<Refusal>(&converted)) {
        outcome.status = ImportOutcome::Refused;
        outcome.message = refusal->reason;
        return outcome;
    }
    Booking& booking = std::get<Booking>(converted);

    // Rolls back what is still open and disconnects when it goes, whatever
    // happened, and never throws.
    rl::DbConnection db;
    db.OpenConnection(kConnectString, 0);
    outcome.ledger = !options.fileKey.empty() && LedgerPresent(db);
    std::optional<rl::CDBException> ledgerRefused;
    WriteBooking(db, table, booking, options, outcome, ledgerRefused);
    if (!ledgerRefused) return outcome;

    // The transaction is rolled back. The ledger row was refused: a second
    // import of the file, once the first one has committed, or any other
    // error of the insert, which the ledger tells apart.
    outcome.accountRead = false;
    try {
        if (std::optional<std::int32_t> earlier = LedgerAccount(db, options.fileKey)) {
            outcome.status = ImportOutcome::AlreadyImported;
            outcome.account = *earlier;
            return outcome;
        }
    } catch (const rl::CDBException&) {
        // The insert's own error is the one to report.
    }
    if (options.onSpanError) options.onSpanError(*ledgerRefused);
    outcome.status = ImportOutcome::DatabaseError;
    outcome.message = ledgerRefused->DriverMessage();
    return outcome;
}

ImportOptions ImportOptionsFor(BookingClaim& claim) {
    ImportOptions options;
    options.fileKey = claim.FileKey();
    options.mayBeImported = [&claim] { return claim.MayBeImported(); };
    options.stillClaimed = [&claim] { return claim.Refresh(); };
    return options;
}

void KeepDoubt(BookingClaim& claim, const ImportOutcome& outcome) {
    if (outcome.status == ImportOutcome::DatabaseError && outcome.commitInDoubt && !outcome.ledger)
        claim.MarkInDoubt();
}

bool CompleteImport(BookingClaim& claim, const ImportOutcome& outcome) {
    fw::CrashPoint("commit");  // committed, file not yet removed
    const fw::FileError removed = claim.Remove();
    fw::CrashPoint("remove");
    claim.ClearInDoubt();
    const char* what = outcome.status == ImportOutcome::Imported ? "imported" : "already imported";
    const std::string path = claim.Path();
    if (removed == fw::FileError::None) {
        fw::Trace("%s %s as guest account %d\n", what, path.c_str(),
                  static_cast<int>(outcome.account));
        return true;
    }
    if (removed == fw::FileError::NotFound) {
        // Another host judged the claim abandoned and took the file over
        // while this one imported it; its import finds this one (by the
        // ledger, or without it by the earlier-import check) and removes
        // the file.
        fw::Trace("%s %s as guest account %d; another host took its file over\n", what,
                  path.c_str(), static_cast<int>(outcome.account));
        return true;
    }
    fw::Trace(fw::Priority::Error,
              "%s %s as guest account %d but can't remove the file,error=%u; the next call finds "
              "it imported\n",
              what, path.c_str(), static_cast<int>(outcome.account),
              static_cast<unsigned>(removed));
    return false;
}

Handled ImportBooking(BookingClaim& claim) {
    const ImportOutcome outcome = RunImportTransaction(BookingFieldTable, ImportOptionsFor(claim));
    if (outcome.accountRead) ImportedGuestAccount = outcome.account;
    KeepDoubt(claim, outcome);

    const std::string path = claim.Path();
    switch (outcome.status) {
        case ImportOutcome::Imported:
            CompleteImport(claim, outcome);
            return Handled::Imported;
        case ImportOutcome::AlreadyImported:
            CompleteImport(claim, outcome);
            return Handled::AlreadyImported;
        case ImportOutcome::DatabaseError:
            fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path.c_str(),
                      fw::TraceGbk(outcome.message).c_str());
            return Handled::Failed;
        case ImportOutcome::Refused:
            fw::Trace(fw::Priority::Error, "can't import %s: %s\n", path.c_str(),
                      fw::TraceGbk(outcome.message).c_str());
            return Handled::Refused;
        case ImportOutcome::ClaimLost:
            fw::Trace(fw::Priority::Warning,
                      "can't import %s: another host took the booking over\n", path.c_str());
            return Handled::Busy;
    }
    return Handled::Failed;
}

}  // namespace resv
