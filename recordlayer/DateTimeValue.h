// A point in time as seconds since the epoch, exchanged with the database as
// an ODBC timestamp in local time. 64 bits, so dates after January 2038 work.
// A DateTimeValue may hold no value (a fresh member, a null column).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <optional>

namespace rl {

class DateTimeValue {
  public:
    DateTimeValue() = default;
    explicit DateTimeValue(std::int64_t secondsSinceEpoch) : seconds_(secondsSinceEpoch) {}

    // Local midnight of the given date (fw::FromLocalTime); no value when
    // the date cannot be represented.
    static DateTimeValue FromLocalDate(int year, int month, int day);

    // The timestamp's fields taken as local time.
    static DateTimeValue FromTimestamp(const SQL_TIMESTAMP_STRUCT& ts);

    bool HasValue() const { return seconds_.has_value(); }
    void Clear() { seconds_.reset(); }
    std::int64_t Seconds() const { return seconds_.value(); }

    // The value broken down into local calendar fields. Requires a value.
    SQL_TIMESTAMP_STRUCT ToTimestamp() const;

    bool operator==(const DateTimeValue&) const = default;

  private:
    std::optional<std::int64_t> seconds_;
};

}  // namespace rl
