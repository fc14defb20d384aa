#include "framework/outcome.h"

#include <dlfcn.h>

namespace fw {
namespace {

using HostOutcomeFn = void (*)(int, const char*);

HostOutcomeFn HostOutcome() {
    static const HostOutcomeFn host =
        reinterpret_cast<HostOutcomeFn>(dlsym(RTLD_DEFAULT, "ReservationHostOutcome"));
    return host;
}

}  // namespace

void ReportOutcome(Outcome outcome, const std::string& path) {
    if (const HostOutcomeFn host = HostOutcome()) host(static_cast<int>(outcome), path.c_str());
}

}  // namespace fw
