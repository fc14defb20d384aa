// Loads the module (reservation.so, or reservation.dll on Windows) and
// resolves its two exports. Owns the handle: the destructor unloads the
// module (its unload trace line is written then).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace host {

class ModuleLoader {
  public:
    using SearchFn = void (*)(const char*);
    using MyGetMesFn = std::int32_t (*)(std::int32_t);

    ModuleLoader() = default;
    ~ModuleLoader();
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;

    // False with error() set when the file cannot be loaded or lacks an export.
    bool Load(const std::string& path);
    void Unload();

    SearchFn Search() const { return search_; }
    MyGetMesFn MyGetMes() const { return myGetMes_; }
    const std::string& Error() const { return error_; }

  private:
    void* handle_ = nullptr;
    SearchFn search_ = nullptr;
    MyGetMesFn myGetMes_ = nullptr;
    std::string error_;
};

// The platform's dynamic loader (dlopen on POSIX, LoadLibraryA on Windows):
// a handle, or null with error set; an export by name, or null.
void* OpenLibrary(const std::string& path, std::string& error);
void* LibrarySymbol(void* library, const char* name);
void CloseLibrary(void* library);

// Where the host looks for the module without --module, in order, for an
// executable in exeDir: beside it (a build tree), then relative to it the way
// an installation lays things out (exeDir/../<libdir>/reservation/, also
// when the tree was moved, staged under DESTDIR or unpacked elsewhere), and
// last the path compiled in for the configured prefix.
std::vector<std::string> ModuleCandidates(const std::string& exeDir);

// The first candidate for this executable that exists, else the compiled-in
// installed path (so that the error names it).
std::string DefaultModulePath();

}  // namespace host
