// The load and unload notifications of reservation.so. Only the module links
// this file; tests call ModuleEntry themselves.
#include "reservation/reservation.h"

// A shared object has no load notification of its own on Linux: the ELF
// constructor and destructor stand in for process attach and detach. A failed
// registration cannot make dlopen fail, so it leaves the module unloaded and
// Search refuses to run.
__attribute__((constructor)) static void ReservationAttach() {
    resv::ModuleEntry(resv::kProcessAttach);
}
__attribute__((destructor)) static void ReservationDetach() {
    if (resv::ModuleLoaded()) resv::ModuleEntry(resv::kProcessDetach);
}
