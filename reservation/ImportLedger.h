// The import ledger: what makes a booking file import exactly once, whatever
// the file systems and clocks of the hosts sharing its drop directory do.
//
// Each import inserts one row into the hotel database's BookingImport table
// (BookingImportTbl.h) inside the booking's own transaction, keyed by the
// booking file's identity. Only the database sees every host's commit: a
// second importer of the same file, on this machine or another, waits on the
// key until the first commits or rolls back, and then fails on it (its
// transaction is rolled back and the booking is "already imported"), or
// goes on. A commit whose answer was lost is settled the same way by
// whoever imports the file next.
//
// A database without the table works as before it existed, with the checks
// of the claim area alone (BookingClaim.h); each call then says once that
// exactly once across machines is off.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recordlayer/DateTimeValue.h"

class CBookingImportTbl;

namespace rl {
class DbConnection;
}

namespace resv {

// The identity of a booking file: the SHA-256 of its bytes (those read, at
// most 4096) and its name in the drop directory, written as
// "DIGEST NAME", or "DIGEST #SHA256(NAME)" when the name is not short
// printable ASCII (a key must be the same text on every database, whatever
// its encoding). A "~N" the module added when it put the file back under
// another name is not part of the name; touching the file, or moving it to
// another mount or machine, changes nothing.
std::string BookingFileKey(std::string_view name, std::string_view digest);

// Whether the connected database has the ledger. Asked with one statement on
// the first connection of each Search call and remembered for the call;
// when it is missing the call says so once, as a warning. Throws
// CDBException when the database cannot be reached at all.
bool LedgerPresent(rl::DbConnection& db);

// The ledger row of key, begun on its record and filled but for its guest
// account, for an insert that also writes the guest profile (see
// TableRecord::SaveRowsGetIdentity).
void PrepareLedgerRow(CBookingImportTbl& row, const std::string& key,
                      const rl::DateTimeValue& importedAt);

// Inserts the ledger row of key inside the open transaction. Throws
// CDBException like any insert; a second import of key throws there (at
// once, or once the first importer commits).
void WriteLedgerRow(rl::DbConnection& db, const std::string& key, std::int32_t account,
                    const rl::DateTimeValue& importedAt);

// The guest account of the committed import of key; nullopt when the ledger
// has no row for it. Throws CDBException when the query fails.
std::optional<std::int32_t> LedgerAccount(rl::DbConnection& db, const std::string& key);

}  // namespace resv
