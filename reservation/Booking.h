// Booking: one booking converted from its entries in one step, before the
// connection opens, so that the transaction only writes. Every refusal of a
// booking for its content has its home here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>

#include "framework/clock.h"
#include "recordlayer/DateTimeValue.h"
#include "reservation/BookingText.h"

namespace resv {

// The room type names of booking files that velmar.ini maps to codes, in the
// order they are tried.
extern const std::array<const char*, 4> kRoomNames;

// The values the rows of one booking are written from. Texts are GBK, cut at
// a character boundary to the 255 bytes of a text column.
struct Booking {
    fw::ClockReading now;                      // the one reading of the clock: OrgTime and OrgDate
    std::string rateCode;                      // DefaultRateCode of velmar.ini
    std::array<std::string, 4> roomTypeCodes;  // velmar.ini's code of each of kRoomNames
    rl::DateTimeValue arrival;
    rl::DateTimeValue departure;
    std::string nightlyRate;  // "%d" of the price over the nights, also in entry 15
    std::int32_t guests = 0;  // fits a small-integer column
    std::int32_t rooms = 0;
    std::string number;  // CRONum
    std::string guestName;
    std::string guestPhone;
    std::string note;  // "(预定公司%s 电话:%s) %s" of company, phone and remarks
    std::string clerk;
    // Filled on the connection, from velmar.ini and the lookup tables.
    std::string roomType;
    std::string paymentCode;
    std::string marketCode;
};

// Why a booking will not import as it is. Its file stays for a person.
struct Refusal {
    std::string reason;  // for the line "can't import FILE: REASON"
};

// text cut at a character boundary to the 255 bytes of a text column.
std::string CutToColumn(const std::string& text);

// Reads the clock, and DefaultRateCode and the room type codes from one read
// of velmar.ini; parses the dates, turns the price of
// the whole stay (entry 15) into the nightly rate and writes it back into
// entry 15, and reads the counts. Refuses dates that cannot be read,
// a departure before the arrival, and counts beyond a small-integer column;
// a refused booking leaves the table unchanged. The room type, payment and
// market codes are left for the connection.
std::variant<Booking, Refusal> ConvertBooking(BookingFields& table);

}  // namespace resv
