// The import of one booking into the hotel database: one connection, one
// transaction with the guest profile, the reservation and the opening folio.
// Shared by mode 1 (ImportBooking) and the confirmation dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "FileSearch.h"

namespace rl {
class CDBException;
}

namespace resv {

// The connect string every booking's connection uses.
inline constexpr const char* kConnectString = "DSN=velmardb;UID=sa;PWD=";

struct ImportOutcome {
    enum Status {
        Imported,         // committed; the caller removes the file
        AlreadyImported,  // this booking's rows were committed earlier; nothing written
        DatabaseError,    // an error in the guarded span; rolled back, nothing written
        UnreadableDates,  // entries 7/8 are not dates the database can hold; nothing done
    };
    Status status = DatabaseError;
    std::int32_t account = 0;  // the guest account read back, or of the earlier import
    bool accountRead = false;  // account holds a read-back (also before a later error)
    std::string message;       // the driver's message (DatabaseError) or the reason
};

// Called inside the guarded span with the error, before the rollback (the
// dialog shows it to the clerk there). May be empty.
using SpanErrorHandler = std::function<void(const rl::CDBException&)>;

// Runs the conversions and the transaction on table (entries 2, 5 and 15 are
// rewritten in place). Errors before the guarded span (connecting, the
// lookups, beginning the transaction) throw; a CDBException inside the span
// is handled (rolled back, connection closed) and reported in the outcome.
ImportOutcome RunImportTransaction(BookingFields& table, const SpanErrorHandler& onSpanError);

// Mode 1: RunImportTransaction on BookingFieldTable, ImportedGuestAccount set
// from the read-back, the file at path removed after a commit; one trace line
// either way.
void ImportBooking(const std::string& path);

}  // namespace resv
