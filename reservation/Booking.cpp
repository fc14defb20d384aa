#include "reservation/Booking.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

#include "framework/gbktext.h"
#include "framework/profile.h"
#include "framework/trace.h"
#include "recordlayer/TableRecord.h"
#include "reservation/FileSearch.h"
#include "reservation/GbkLiterals.h"

namespace resv {
namespace {

namespace lit = gbk_literals;

// A small-integer column holds these; a count beyond them is refused rather
// than wrapped or clamped.
constexpr int kSmallIntMin = -32768;
constexpr int kSmallIntMax = 32767;

// The price of the whole stay over the nights, truncated toward zero; 0 for
// no nights. Rates beyond the 32-bit range are clamped rather than wrapped.
std::int32_t NightlyRate(const std::string& price, long nights) {
    if (nights == 0) return 0;
    const double rate =
        std::trunc(fw::gbk::ParseLeadingDouble(price) / static_cast<double>(nights));
    if (std::isnan(rate)) return 0;
    if (rate >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    if (rate <= static_cast<double>(INT32_MIN)) return INT32_MIN;
    return static_cast<std::int32_t>(rate);
}

std::optional<Refusal> CountBeyondColumn(const char* what, const std::string& text, int value) {
    if (value >= kSmallIntMin && value <= kSmallIntMax) return std::nullopt;
    return Refusal{fw::gbk::Format("%s \"%s\" beyond the column's range %d to %d", what,
                                   text.c_str(), kSmallIntMin, kSmallIntMax)};
}

// A missing or unreadable velmar.ini reads as empty codes, as missing keys
// do; the operator hears of it once per call rather than once per booking.
void SayWhenIniUnreadable(const fw::PrivateProfile& ini) {
    static std::uint64_t saidInCall = 0;
    if (ini.ReadError() == 0 || saidInCall == SearchCallNumber()) return;
    saidInCall = SearchCallNumber();
    fw::Trace(fw::Priority::Warning,
              "can't read %s (%s): the rate code and the room type codes are empty\n",
              ini.Path().c_str(), std::strerror(ini.ReadError()));
}

}  // namespace

const std::array<const char*, 4> kRoomNames = {lit::kStandardRoom, lit::kDeluxeRoom, lit::kSuite,
                                               lit::kBusinessRoom};

std::string CutToColumn(const std::string& text) {
    return fw::gbk::CutAtCharBoundary(text, rl::kTextColumnMax);
}

std::variant<Booking, Refusal> ConvertBooking(BookingFields& table) {
    Booking b;
    b.now = fw::ReadLocalClock();
    // velmar.ini is read once for the rate code and the room types.
    const fw::PrivateProfile ini(lit::kIniFile);
    b.rateCode = CutToColumn(ini.Get(lit::kIniSection, lit::kDefaultRateCodeKey, "", 100));
    for (std::size_t i = 0; i < kRoomNames.size(); ++i)
        b.roomTypeCodes[i] = ini.Get(lit::kIniSection, kRoomNames[i], "", 100);

    const std::optional<fw::CivilDate> arrival = fw::ParseDate(table[kArrival]);
    const std::optional<fw::CivilDate> departure = fw::ParseDate(table[kDeparture]);
    if (arrival)
        b.arrival = rl::DateTimeValue::FromLocalDate(arrival->year, arrival->month, arrival->day);
    if (departure)
        b.departure =
            rl::DateTimeValue::FromLocalDate(departure->year, departure->month, departure->day);
    if (!b.arrival.HasValue() || !b.departure.HasValue())
        return Refusal{"unreadable dates \"" + table[kArrival] + "\" and \"" + table[kDeparture] +
                       "\""};
    const long nights = fw::DaysBetween(*arrival, *departure);
    if (nights < 0)
        return Refusal{"departure \"" + table[kDeparture] + "\" is before arrival \"" +
                       table[kArrival] + "\""};

    b.guests = fw::gbk::ParseLeadingInt(table[kGuests]);
    b.rooms = fw::gbk::ParseLeadingInt(table[kRooms]);
    if (auto refused = CountBeyondColumn("guests", table[kGuests], b.guests)) return *refused;
    if (auto refused = CountBeyondColumn("rooms", table[kRooms], b.rooms)) return *refused;

    SayWhenIniUnreadable(ini);
    b.nightlyRate = fw::gbk::Format("%d", NightlyRate(table[kPrice], nights));
    table[kPrice] = b.nightlyRate;

    b.number = CutToColumn(table[kBookingNumber]);
    b.guestName = CutToColumn(table[kGuestName]);
    b.guestPhone = CutToColumn(table[kGuestPhone]);
    b.note = CutToColumn(fw::gbk::Format(lit::kNoteFormat, table[kCompany].c_str(),
                                         table[kCompanyPhone].c_str(), table[kRemarks].c_str()));
    b.clerk = CutToColumn(table[kEntryClerk]);
    return b;
}

}  // namespace resv
