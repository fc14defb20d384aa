// A point in time as seconds since the epoch, exchanged with the database as
// a timestamp in local time. 64 bits, so dates after January 2038 work.
// A DateTimeValue may hold no value (a fresh member, a null column); using
// it as a value then throws CDBException (22002), as does a value outside
// the local calendar (22008).
#pragma once

#include <cstdint>
#include <optional>

namespace rl {

// A date and time of day on the local calendar, as the database exchanges it.
struct LocalDateTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class DateTimeValue {
  public:
    DateTimeValue() = default;
    explicit DateTimeValue(std::int64_t secondsSinceEpoch) : seconds_(secondsSinceEpoch) {}

    // Local midnight of the given date (fw::FromLocalTime); no value when
    // the date cannot be represented.
    static DateTimeValue FromLocalDate(int year, int month, int day);
    // The fields taken as local time; no value when they name no local time.
    static DateTimeValue FromLocal(const LocalDateTime& local);

    bool HasValue() const { return seconds_.has_value(); }
    void Clear() { seconds_.reset(); }
    std::int64_t Seconds() const;

    // The value broken down into local calendar fields.
    LocalDateTime ToLocal() const;

    bool operator==(const DateTimeValue&) const = default;

  private:
    std::optional<std::int64_t> seconds_;
};

}  // namespace rl
