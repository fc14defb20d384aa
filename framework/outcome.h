// What became of one booking file, told to the host program that loaded the
// module. A host that wants to know (reservation-host counts them for its
// summary line, its exit status, the service status and its metrics)
// defines the C function
//     extern "C" void ReservationHostOutcome(int outcome, const char* path);
// and exports it from its executable; the module looks it up once per
// process, with dlsym(RTLD_DEFAULT, ...) on POSIX and GetProcAddress on the
// executable's own module on Windows. Any other host (the front-office
// program) is told nothing. The call comes from the thread that called
// Search, in the middle of the call; the host must not throw out of it.
#pragma once

#include <string>

namespace fw {

// The values are the int the host function receives; never renumber them.
enum class Outcome {
    Imported = 0,         // the booking is in the database, its file removed
    AlreadyImported = 1,  // an earlier, interrupted call had committed it
    Refused = 2,          // the content will not import as it is
    Busy = 3,             // held open by another process or claimed by another host
    Failed = 4,           // the database refused or could not be reached

    // What became of a whole call rather than of one file: path then carries
    // a one-line reason (the bytes the module's own trace line quotes, GBK
    // where it quotes a driver), not a file's path. Reported once per call,
    // after the outcome of the booking in hand, if any.
    DatabaseDown = 5,  // connecting, a lookup or beginning a transaction failed:
                       // the call ended there and every booking waits
    NotImporting = 6,  // the drop directory's claim area cannot be used: the call
                       // imported nothing (the reason names what to fix)
};

// Calls the host's ReservationHostOutcome when it has one (looked up once per
// process). Never throws.
void ReportOutcome(Outcome outcome, const std::string& path);

}  // namespace fw
