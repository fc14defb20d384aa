// The import of one booking into the hotel database: one connection, one
// transaction with the guest profile, the reservation and the opening folio.
// Shared by mode 1 (ImportBooking) and the confirmation dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "reservation/BookingText.h"
#include "reservation/FileSearch.h"

namespace rl {
class CDBException;
}

namespace resv {

class BookingClaim;

// The connect string every booking's connection uses.
inline constexpr const char* kConnectString = "DSN=velmardb;UID=sa;PWD=";

// The account number the last mode-1 import read back; 0 at load.
extern std::int32_t ImportedGuestAccount;

struct ImportOutcome {
    enum Status {
        Imported,         // committed; the caller removes the file
        AlreadyImported,  // this booking's rows were committed earlier; nothing written
        DatabaseError,    // an error in the guarded span; rolled back, nothing written
        Refused,          // the content will not import as it is; nothing done
        ClaimLost,        // another host took the booking over; rolled back
    };
    Status status = DatabaseError;
    std::int32_t account = 0;  // the guest account read back, or of the earlier import
    bool accountRead = false;  // account holds a read-back (also before a later error)
    std::string message;       // the driver's message (DatabaseError) or the reason (Refused)
    // DatabaseError raised by the commit itself: the server may have made the
    // transaction permanent all the same (its answer lost with the
    // connection), so the next import of the file looks for it first.
    bool commitInDoubt = false;
};

struct ImportOptions {
    // Look for rows an earlier, interrupted import committed for this very
    // booking: only for a booking found claimed after a crash, or one whose
    // earlier commit failed (BookingClaim::MayBeImported).
    bool checkEarlierImport = false;
    // Asked right before the commit; false rolls back with ClaimLost.
    std::function<bool()> stillClaimed;
    // Called inside the guarded span with the error, before the rollback
    // (the dialog shows it to the clerk there).
    std::function<void(const rl::CDBException&)> onSpanError;
};

// Converts the booking in table (entries 2, 5 and 15 are rewritten in place)
// and runs its transaction. Errors before the guarded span (connecting, the
// lookups, beginning the transaction) throw; a CDBException inside the span
// is handled (rolled back, connection closed) and reported in the outcome.
ImportOutcome RunImportTransaction(BookingFields& table, const ImportOptions& options);

// After a commit, or an earlier one found: removes the claimed booking file,
// writes the "imported" or "already imported" line and reports the outcome.
// Returns false, after its own trace line, when the file could not be
// removed.
bool CompleteImport(BookingClaim& claim, const ImportOutcome& outcome);

// Mode 1: RunImportTransaction on BookingFieldTable for the claimed booking,
// ImportedGuestAccount set from the read-back, then CompleteImport, or one
// line saying why the booking stays. Returns what became of it.
Handled ImportBooking(BookingClaim& claim);

}  // namespace resv
