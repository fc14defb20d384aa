// The load and unload notifications of reservation.dll: DllMain passes its
// reason code (process attach 1, detach 0, thread attach 2, detach 3) to the
// entry routine. A failed registration makes LoadLibrary fail, as the
// loader does for any DLL whose DllMain answers FALSE at attach. Only the
// DLL links this file.
#include <windows.h>

#include "reservation/reservation.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    // A detach after a failed attach finds nothing registered.
    if (reason == DLL_PROCESS_DETACH && !resv::ModuleLoaded()) return TRUE;
    return resv::ModuleEntry(static_cast<unsigned>(reason)) != 0 ? TRUE : FALSE;
}
