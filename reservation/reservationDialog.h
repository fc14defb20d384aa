// The confirmation dialog of every mode other than 1: shows one booking
// read-only; confirm imports it and removes its file, cancel leaves it.
#pragma once

#include "reservation/FileSearch.h"

namespace resv {

class BookingClaim;

// Shows the booking now in BookingFieldTable, whose file claim holds, in a
// modal ConfirmDialog with no parent and waits for the clerk. Uses the host's
// QApplication, or creates one on first need; with no display it writes one
// trace line and returns with the file left in place. Never throws.
Handled ShowConfirmDialog(BookingClaim& claim);

// Resources and run-time records the module registers at load.
void RegisterDialogResources();
void WithdrawDialogResources();

}  // namespace resv
