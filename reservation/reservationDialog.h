// The confirmation dialog of every mode other than 1: shows one booking
// read-only; confirm imports it and removes its file, cancel leaves it. On
// Linux the window comes from the plugin reservation-dialog.so (a package of
// its own), loaded on first need; on Windows it is the DLL's template 130.
#pragma once

#include "reservation/FileSearch.h"

namespace resv {

class BookingClaim;

// Shows the booking now in BookingFieldTable, whose file claim holds, in a
// modal dialog with no parent and waits for the clerk. Where no dialog can be
// shown (no display, no dialog plugin installed) it writes one trace line
// (the missing plugin once per Search call) and returns Left with the file in
// place. Never throws.
Handled ShowConfirmDialog(BookingClaim& claim);

// Called at the module's load and unload: what the dialog needs set up and
// given back (the plugin's place, its Qt application).
void RegisterDialogResources();
void WithdrawDialogResources();

}  // namespace resv
