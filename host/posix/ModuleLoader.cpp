// The module loader's POSIX side: dlopen, and where an installation keeps
// reservation.so.
#include "host/ModuleLoader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <utility>

namespace host {

void* OpenLibrary(const std::string& path, std::string& error) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        error = why ? why : ("cannot load " + path);
    }
    return library;
}

void* LibrarySymbol(void* library, const char* name) { return dlsym(library, name); }

void CloseLibrary(void* library) { dlclose(library); }

std::vector<std::string> ModuleCandidates(const std::string& exeDir) {
    std::string dir = exeDir;
    if (!dir.empty() && dir.back() != '/') dir += '/';
    std::vector<std::string> candidates;
    auto add = [&candidates](std::string path) {
        for (const auto& known : candidates)
            if (known == path) return;
        candidates.push_back(std::move(path));
    };
    add(dir + "reservation.so");
    add(dir + "../" RESERVATION_INSTALL_LIBDIR "/reservation/reservation.so");
    if (sizeof(RESERVATION_LIBRARY_ARCHITECTURE) > 1)
        add(dir + "../lib/" RESERVATION_LIBRARY_ARCHITECTURE "/reservation/reservation.so");
    add(dir + "../lib/reservation/reservation.so");
    add(RESERVATION_INSTALLED_MODULE);
    return candidates;
}

std::string DefaultModulePath() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string dir(self, static_cast<std::size_t>(n));
        dir.erase(dir.rfind('/') + 1);
        for (const auto& candidate : ModuleCandidates(dir))
            if (access(candidate.c_str(), R_OK) == 0) return candidate;
    }
    return RESERVATION_INSTALLED_MODULE;
}

}  // namespace host
