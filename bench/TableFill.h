// Bulk rows for the hotel tables, for measuring the import on tables that a
// hotel has used for years.
#pragma once

#include "tests/support/HotelDatabase.h"

namespace bench {

// Adds rows guest profiles (OrgClerk "fill"), each with one reservation and
// one opening folio that refer to it, in one transaction of three
// insert-select statements through the data source, then refreshes the
// planner's statistics as a database in daily use has them. Names, booking
// numbers, dates and times of day differ from row to row. Throws
// std::runtime_error on a database error.
void FillHotelTables(ts::HotelDatabase& db, int rows);

}  // namespace bench
