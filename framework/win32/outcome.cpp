#include "framework/outcome.h"

#include <windows.h>

namespace fw {
namespace {

using HostOutcomeFn = void(__cdecl*)(int, const char*);

// The host exports it from its executable, the module that loaded us.
HostOutcomeFn HostOutcome() {
    static const HostOutcomeFn host = reinterpret_cast<HostOutcomeFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA(nullptr), "ReservationHostOutcome")));
    return host;
}

}  // namespace

void ReportOutcome(Outcome outcome, const std::string& path) {
    if (const HostOutcomeFn host = HostOutcome()) host(static_cast<int>(outcome), path.c_str());
}

}  // namespace fw
