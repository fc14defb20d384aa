// The booking as text: the module-global BookingFieldTable and the names of
// its entries, the request grammar "directory?mode!clerk" and the split of a
// booking text into the table. Pure functions over GBK bytes, so the fuzzers
// drive them without a database or a file.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace resv {

// The entries of the BookingFieldTable. 0..16 are the fields of a booking
// file in their order; the others are written by the scan.
enum Entry : int {
    kSource = 0,  // no meaning is given to it
    kBookingNumber = 1,
    kBookingType = 2,  // a market description; the import puts the market code here
    kCompany = 3,
    kCompanyPhone = 4,
    kRoomType = 5,  // a room-type name; the import puts the configured code here
    kPayment = 6,
    kArrival = 7,
    kDeparture = 8,
    kGuestName = 9,
    kGuestPhone = 10,
    kGuests = 11,
    kRooms = 12,
    kField13 = 13,
    kField14 = 14,
    kPrice = 15,  // the price of the whole stay; the import puts the nightly rate here
    kRemarks = 16,
    kEntryPath = 17,   // the full path of the booking file in hand
    kEntryClerk = 19,  // the clerk's name from the request
};
constexpr int kBookingFieldCount = 20;
constexpr int kFileFieldCount = 17;  // entries a booking file may write

// Twenty GBK texts. Module-global, never cleared between files or calls.
using BookingFields = std::array<std::string, kBookingFieldCount>;
extern BookingFields BookingFieldTable;

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

}  // namespace resv
