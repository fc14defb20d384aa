// The batch import: the request grammar, the scan of the drop directory, the
// module-global BookingFieldTable and the reading of one booking file.
// Everything here runs in the thread that called Search; Search is not
// re-entrant and refuses a second call while one runs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace fw {
class ExclusiveFile;
}

namespace resv {

// Twenty GBK texts: entries 0..16 the fields of the last booking file read,
// 17 its full path, 19 the clerk's name. Module-global, never cleared between
// files or calls.
constexpr int kBookingFieldCount = 20;
constexpr int kFileFieldCount = 17;  // entries a booking file may write
constexpr int kEntryPath = 17;
constexpr int kEntryClerk = 19;
using BookingFields = std::array<std::string, kBookingFieldCount>;
extern BookingFields BookingFieldTable;

// The account number the last mode-1 import read back; 0 at load.
extern std::int32_t ImportedGuestAccount;

// The three values of a request "directory?mode!clerk".
struct SearchRequest {
    std::string directory;
    int mode = 0;
    std::string clerk;
};
SearchRequest ParseRequest(std::string_view request);

// Splits booking text (already read, at most 4096 bytes) into entries 0..16:
// cut at the first NUL, trim, split at "," stepping over double-byte
// characters. Entries 0..16 are cleared first; fields past the 17th are
// dropped. Returns the number of fields the text held.
int SplitBooking(std::string_view raw, BookingFields& table);

// One read of at most 4096 bytes from the open file, then SplitBooking.
// Returns false, leaving the table as it was, when the read fails or the text
// is empty or white space only (a file still being written).
constexpr std::size_t kBookingReadMax = 4096;
enum class ReadOutcome { Read, Empty, Failed };
ReadOutcome ReadBookingFile(fw::ExclusiveFile& file, BookingFields& table);

// What Search does with one booking once its file is read and closed: mode 1
// imports, any other mode shows the confirmation dialog. Tests replace it.
using BookingHandler = std::function<void(int mode, const std::string& path)>;
BookingHandler SetBookingHandler(BookingHandler handler);

// Search's body, with every error caught and traced.
void RunSearch(const char* request);

// Counts the calls of RunSearch that ran (0 before the first), so that a
// notice due once per call can tell one call from the next.
std::uint64_t SearchCallNumber();

}  // namespace resv
