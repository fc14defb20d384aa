#include "reservation/ImportLedger.h"

#include "framework/gbktext.h"
#include "framework/processtag.h"
#include "framework/sha256.h"
#include "framework/trace.h"
#include "recordlayer/CDBException.h"
#include "recordlayer/DbConnection.h"
#include "recordlayer/TableRecord.h"
#include "reservation/BookingImportTbl.h"
#include "reservation/FileSearch.h"

namespace resv {
namespace {

constexpr std::size_t kPlainNameMax = 120;

// The name a booking file was delivered under: without the "~N" suffixes
// (N from 2 to 999) the module gives a file it puts back when a newer file
// has taken its name.
std::string_view DeliveredName(std::string_view name) {
    for (;;) {
        const std::size_t tilde = name.rfind('~');
        if (tilde == std::string_view::npos || tilde == 0) return name;
        const std::string_view number = name.substr(tilde + 1);
        if (number.empty() || number.size() > 3 || number.front() == '0' ||
            number.find_first_not_of("0123456789") != std::string_view::npos || number == "1")
            return name;
        name = name.substr(0, tilde);
    }
}

bool PlainName(std::string_view name) {
    if (name.empty() || name.size() > kPlainNameMax || name.front() == '#') return false;
    for (unsigned char c : name)
        if (c <= 0x20 || c >= 0x7F) return false;
    return true;
}

// "Base table not found": ODBC's SQLSTATE, PostgreSQL's own, and the
// SQLite driver's message (its SQLSTATE is the general S1000).
bool NamesAMissingTable(const rl::CDBException& e) {
    const std::string& state = e.SqlState();
    return state == "42S02" || state == "S0002" || state == "42P01" ||
           e.DriverMessage().find("no such table") != std::string::npos;
}

// Errors that say nothing about the table: a lost connection, a timeout, a
// transaction the server rolled back, a locked SQLite database (whose
// catalog then reads as empty).
bool Transient(const rl::CDBException& e) {
    const std::string& state = e.SqlState();
    return state.rfind("08", 0) == 0 || state.rfind("40", 0) == 0 || state.rfind("HYT", 0) == 0 ||
           e.DriverMessage().find("database is locked") != std::string::npos ||
           e.DriverMessage().find("database table is locked") != std::string::npos;
}

}  // namespace

std::string BookingFileKey(std::string_view name, std::string_view digest) {
    const std::string_view delivered = DeliveredName(name);
    std::string key(digest);
    key += ' ';
    if (PlainName(delivered)) {
        key += delivered;
    } else {
        key += '#';
        key += fw::Sha256Hex(delivered);
    }
    return key;
}

bool LedgerPresent(rl::DbConnection& db) {
    static std::uint64_t askedInCall = 0;
    static bool present = false;
    if (askedInCall == SearchCallNumber() && askedInCall != 0) return present;
    // The common case costs one cheap statement; only when it fails is the
    // catalog asked whether the table is missing or the statement failed
    // for another reason (a locked database, a lost connection), which
    // passes out like any error before the transaction.
    try {
        rl::TableRecord probe(&db);
        probe.OpenRows(rl::SnapshotOpen, "select FileKey from BookingImport where 1 = 0", 0);
        probe.CloseRows();
        present = true;
    } catch (const rl::CDBException& e) {
        if (!NamesAMissingTable(e) && (Transient(e) || db.HasTable("BookingImport"))) throw;
        present = false;
        fw::Trace(fw::Priority::Warning,
                  "no import ledger in the database (%s): exactly once across machines is off "
                  "until the table BookingImport exists\n",
                  fw::TraceGbk(e.DriverMessage()).c_str());
    }
    askedInCall = SearchCallNumber();
    return present;
}

void PrepareLedgerRow(CBookingImportTbl& row, const std::string& key,
                      const rl::DateTimeValue& importedAt) {
    row.BeginNewRow();
    row.FileKey = key;
    row.ImportedAt = importedAt;
    row.HostTag = fw::ThisProcessTag();
}

void WriteLedgerRow(rl::DbConnection& db, const std::string& key, std::int32_t account,
                    const rl::DateTimeValue& importedAt) {
    CBookingImportTbl row(&db);
    PrepareLedgerRow(row, key, importedAt);
    row.GstAcct = account;
    row.SaveRow();
}

std::optional<std::int32_t> LedgerAccount(rl::DbConnection& db, const std::string& key) {
    rl::TableRecord query(&db);
    query.OpenRows(rl::SnapshotOpen, "select GstAcct from BookingImport where FileKey = ?", 0,
                   {key});
    std::optional<std::int32_t> account;
    if (!query.AtEnd()) {
        std::string text;
        query.ColumnText("GstAcct", text);
        account = fw::gbk::ParseLeadingInt(text);
    }
    query.CloseRows();
    return account;
}

}  // namespace resv
