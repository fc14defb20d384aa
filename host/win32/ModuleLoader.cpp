// The module loader's Windows side: LoadLibraryA, the way the front-office
// program loads reservation.dll, which lives beside the host.
#include "host/ModuleLoader.h"

#include <windows.h>

namespace host {

void* OpenLibrary(const std::string& path, std::string& error) {
    HMODULE library = LoadLibraryA(path.c_str());
    if (library == nullptr) error = "error " + std::to_string(GetLastError());
    return library;
}

void* LibrarySymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(void* library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::vector<std::string> ModuleCandidates(const std::string& exeDir) {
    std::string dir = exeDir;
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
    return {dir + "reservation.dll"};
}

std::string DefaultModulePath() {
    char self[MAX_PATH + 1] = {};
    const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, n);
    const std::size_t slash = path.find_last_of("\\/");
    return ModuleCandidates(slash == std::string::npos ? "" : path.substr(0, slash + 1)).front();
}

}  // namespace host
