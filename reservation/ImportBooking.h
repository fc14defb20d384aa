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
        DatabaseError,    // an error in the guarded span; rolled back (see commitInDoubt)
        Refused,          // the content will not import as it is; nothing done
        ClaimLost,        // another host took the booking over; rolled back
    };
    Status status = DatabaseError;
    std::int32_t account = 0;  // the guest account read back, or of the earlier import
    bool accountRead = false;  // account holds a read-back (also before a later error)
    std::string message;       // the driver's message (DatabaseError) or the reason (Refused)
    // DatabaseError raised by the commit itself: the server may have made the
    // transaction permanent all the same (its answer lost with the
    // connection). Whoever imports the file next must find out.
    bool commitInDoubt = false;
    // The import ledger fenced this transaction: a commit in doubt is
    // settled by the ledger row, with no mark of the module's own.
    bool ledger = false;
};

struct ImportOptions {
    // The booking file's ledger key (BookingFileKey); where the database has
    // the ledger, the transaction writes its row under this key. Empty: no
    // ledger row (a booking shown without a file).
    std::string fileKey;
    // Without the ledger only: true when rows an earlier, interrupted import
    // committed for this very booking may exist (a booking found claimed
    // after a crash, or one whose earlier commit failed:
    // BookingClaim::MayBeImported); they are then looked for.
    std::function<bool()> mayBeImported;
    // Without the ledger only: asked right before the commit; false rolls
    // back with ClaimLost.
    std::function<bool()> stillClaimed;
    // Called with an error of the guarded span once it is known not to be a
    // second import of the file (the dialog shows it to the clerk there).
    std::function<void(const rl::CDBException&)> onSpanError;
};

// Converts the booking in table (entries 2, 5 and 15 are rewritten in place)
// and runs its transaction. Errors before the guarded span (connecting, the
// lookups, beginning the transaction) throw; a CDBException inside the span
// is reported in the outcome, which is complete before the transaction is
// rolled back and the connection closed (by their destructors, which never
// throw), so that no cleanup can lose it.
ImportOutcome RunImportTransaction(BookingFields& table, const ImportOptions& options);

// The options for importing the booking claim holds: its ledger key, and
// the checks a database without the ledger needs.
ImportOptions ImportOptionsFor(BookingClaim& claim);

// After a transaction that failed: where the ledger did not fence it and the
// commit itself failed, marks the file so that its next import, by any
// process, checks for this one first.
void KeepDoubt(BookingClaim& claim, const ImportOutcome& outcome);

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
