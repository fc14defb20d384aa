// unixODBC's side: dlopen pins the libraries; odbc.ini as "odbcinst -j" lists it.
#include "framework/odbcdriver.h"

#include <dlfcn.h>
#include <link.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <string_view>
#include <vector>

namespace fw {
namespace {

// The loaded object whose file name is name ("libsqlite3odbc.so"), as the
// path it was loaded by; empty when none is.
std::string LoadedPath(const std::string& name) {
    struct Search {
        const std::string* name;
        std::string path;
    } search{&name, ""};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            const std::string_view path = info->dlpi_name != nullptr ? info->dlpi_name : "";
            const std::size_t slash = path.rfind('/');
            if (path.substr(slash == std::string_view::npos ? 0 : slash + 1) != *s->name) return 0;
            s->path = path;
            return 1;
        },
        &search);
    return search.path;
}

}  // namespace

// Done once per driver: the driver reports its file name without the
// directory, which the dynamic loader would otherwise search the library path
// for on every connection. Only a library that is loaded already is marked;
// nothing new is loaded.
void PinOdbcDriver(const std::string& driverFile) {
    static const bool setupPinned =
        dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE | RTLD_GLOBAL) != nullptr;
    (void)setupPinned;
    if (driverFile.empty()) return;
    static std::mutex guard;  // connections of different threads share the list
    static std::vector<std::string> pinned;
    const std::lock_guard<std::mutex> lock(guard);
    if (std::find(pinned.begin(), pinned.end(), driverFile) != pinned.end()) return;
    pinned.push_back(driverFile);
    const std::string path = LoadedPath(driverFile);
    dlopen(path.empty() ? driverFile.c_str() : path.c_str(),
           RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
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
