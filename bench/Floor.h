// Two floors under any import of a booking, each what the database and the
// driver charge for writing the module's rows, written in plain ODBC:
//
// - the floor: the statements one booking needs (guest profile insert,
//   read-back of its account, the import ledger's row, reservation insert,
//   folio insert, commit) on one connection kept open for the whole run,
//   every statement prepared once. No file, no ini, no lookups, no new
//   connection.
// - the rules floor: what the rules of the import demand of every booking,
//   the cheapest way plain ODBC allows. The booking file renamed out of the
//   drop directory and unlinked after the commit; a connect and a disconnect
//   per booking on one connection handle kept for the run (from the driver
//   manager's pool when the configuration pools); the Payment and Market
//   lookups, every row read until the booking's description is found; the
//   profile insert with the cheapest read-back of its account the database
//   offers (RETURNING on PostgreSQL and MariaDB, last_insert_rowid() on
//   SQLite); the ledger row (BookingImport, a key as long as the module's);
//   the reservation and folio inserts; one commit. One statement
//   handle per booking, every statement executed directly (a connection that
//   lives for one booking runs each statement once). The commit mode is
//   switched only when it must be: the lookups run inside the transaction
//   where reads take no locks, before it on SQLite, as the module does.
#pragma once

#include <string>

#include "tests/support/HotelDatabase.h"

namespace bench {

// Writes the bookings with serials first .. first+count-1 through the data
// source "velmardb" (which the caller has set up) and returns the seconds
// taken, connection set-up excluded. Writes the same rows the module writes
// for those bookings. Throws std::runtime_error on a database error.
double RunFloor(int first, int count);

// The same for the rules floor, on backend's database, taking the booking
// files of those serials from dropDir (written by WriteBookingFiles). Without
// ledger it writes no BookingImport row: what the rules demanded before the
// import ledger, to tell what the row itself costs the database.
double RunRulesFloor(ts::Backend backend, const std::string& dropDir, int first, int count,
                     bool ledger = true);

}  // namespace bench
