// Module entry and the two exported functions of reservation.so. No exception
// crosses the C boundary.
#include "reservation/reservation.h"

#include <cstdint>

#include "framework/registry.h"
#include "framework/trace.h"
#include "reservation/BookingImportTbl.h"
#include "reservation/FOLIOTbl.h"
#include "reservation/FileSearch.h"
#include "reservation/GstProfileTbl.h"
#include "reservation/reservationDialog.h"
#include "reservation/reservationTbl.h"

namespace resv {

namespace {

constexpr const char* kModuleName = "reservation";
bool loaded = false;

void EmptyBookingTable() {
    for (std::string& entry : BookingFieldTable) std::string().swap(entry);
}

}  // namespace

int ModuleEntry(unsigned reason) {
    switch (reason) {
        case kProcessAttach: {
            fw::Trace("%s", "RESERVATION.DLL Initializing!\n");
            fw::ModuleRegistration registration;
            registration.moduleName = kModuleName;
            registration.registerResources = RegisterDialogResources;
            registration.withdrawResources = WithdrawDialogResources;
            registration.classes = {
                &CreservationTbl::classCreservationTbl, &CGstProfileTbl::classCGstProfileTbl,
                &CFOLIOTbl::classCFOLIOTbl, &CBookingImportTbl::classCBookingImportTbl};
            if (!fw::RegisterExtension(registration)) {
                EmptyBookingTable();
                loaded = false;
                return 0;
            }
            loaded = true;
            return 1;
        }
        case kProcessDetach:
            fw::Trace("%s", "RESERVATION.DLL Terminating!\n");
            fw::WithdrawExtension(kModuleName);
            EmptyBookingTable();
            loaded = false;
            return 1;
        default:
            return 1;
    }
}

bool ModuleLoaded() { return loaded; }

}  // namespace resv

extern "C" {

__attribute__((visibility("default"))) int MyGetMes(std::int32_t value) {
    return value != 0 ? 1 : 0;
}

__attribute__((visibility("default"))) void Search(const char* request) {
    try {
        if (!resv::ModuleLoaded()) {
            fw::Trace("reservation module is not loaded (registration failed); request ignored\n");
            return;
        }
        resv::RunSearch(request);
    } catch (...) {
        // RunSearch reports its own errors; this only keeps, say, an
        // allocation failure inside a trace line from reaching the host.
    }
}

}  // extern "C"
