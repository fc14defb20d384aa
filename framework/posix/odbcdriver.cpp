// unixODBC's side: dlopen pins the libraries; odbc.ini as "odbcinst -j" lists it.
#include "framework/odbcdriver.h"

#include <dlfcn.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace fw {

void PinOdbcDriver(const std::string& driverFile) {
    static const bool setupPinned =
        dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE | RTLD_GLOBAL) != nullptr;
    (void)setupPinned;
    if (driverFile.empty()) return;
    dlopen(driverFile.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

// The user's ($ODBCINI, else ~/.odbc.ini) and the system's
// ($ODBCSYSINI/odbc.ini, else /etc/odbc.ini).
std::string OdbcDataSourceLocations() {
    std::string user;
    if (const char* ini = std::getenv("ODBCINI"); ini != nullptr && *ini != '\0') {
        user = ini;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            const struct passwd* entry = getpwuid(getuid());
            home = entry != nullptr ? entry->pw_dir : "~";
        }
        user = std::string(home) + "/.odbc.ini";
    }
    const char* sysini = std::getenv("ODBCSYSINI");
    const std::string system =
        std::string(sysini != nullptr && *sysini != '\0' ? sysini : "/etc") + "/odbc.ini";
    return user + " and " + system;
}

}  // namespace fw
