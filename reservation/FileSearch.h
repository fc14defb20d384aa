// Search: the scan of the drop directory. One booking at a time, in the order
// the file system gives; each booking file is claimed (BookingClaim) while its
// booking is imported or shown. Everything here runs in the thread that
// called Search; Search is not re-entrant and refuses a second call while one
// runs.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "reservation/BookingText.h"

namespace fw {
class ExclusiveFile;
}

namespace resv {

class BookingClaim;

// One read of at most 4096 bytes from the open file, then SplitBooking.
// Leaves the table as it was when the read fails (Failed) or the text is
// empty or white space only (Empty: a file still being written). digest, when
// given, receives the SHA-256 of the bytes read.
constexpr std::size_t kBookingReadMax = 4096;
enum class ReadOutcome { Read, Empty, Failed };
ReadOutcome ReadBookingFile(fw::ExclusiveFile& file, BookingFields& table,
                            std::string* digest = nullptr);

// What became of one booking in hand.
enum class Handled {
    Imported,
    AlreadyImported,
    Refused,  // its content will not import as it is
    Busy,     // another host has it
    Failed,   // the database refused it or could not be reached
    Left,     // not imported, nothing wrong (a cancelled dialog, no display)
};

// What Search does with one claimed booking once its file is read: mode 1
// imports, any other mode shows the confirmation dialog. Tests replace it.
using BookingHandler = std::function<Handled(int mode, BookingClaim& claim)>;
BookingHandler SetBookingHandler(BookingHandler handler);

// Search's body, with every error caught and traced.
void RunSearch(const char* request);

// Counts the calls of RunSearch that ran (0 before the first), so that a
// notice due once per call can tell one call from the next.
std::uint64_t SearchCallNumber();

}  // namespace resv
