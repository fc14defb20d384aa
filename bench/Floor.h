// The floor under any import of a booking: the five statements one booking
// needs (guest profile insert, read-back of its account, reservation insert,
// folio insert, commit) on one connection kept open for the whole run, with
// every statement prepared once. No file, no ini, no lookups, no new
// connection: what the database itself charges per booking.
#pragma once

namespace bench {

// Writes the bookings with serials first .. first+count-1 through the data
// source "velmardb" (which the caller has set up) and returns the seconds
// taken, connection set-up excluded. Writes the same rows the module writes
// for those bookings. Throws rl::CDBException on a database error.
double RunFloor(int first, int count);

}  // namespace bench
