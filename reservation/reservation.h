// Loading and unloading of the module. The ELF constructor and destructor of
// reservation.so call ModuleEntry with the reason code; tests call it
// directly (for instance with registration made to fail).
#pragma once

namespace resv {

enum EntryReason : unsigned {
    kProcessDetach = 0,
    kProcessAttach = 1,
    kThreadAttach = 2,
    kThreadDetach = 3,
};

// Process attach: writes "RESERVATION.DLL Initializing!\n", registers the
// module (dialog resources and the run-time records of the table classes);
// answers 0 when registration fails, after emptying the booking table again.
// Process detach: writes "RESERVATION.DLL Terminating!\n", withdraws the
// registration and empties the table. Thread reasons: answers 1.
int ModuleEntry(unsigned reason);

// True between a successful attach and the detach.
bool ModuleLoaded();

}  // namespace resv
