// Loads reservation.so with dlopen and resolves its two exports. Owns the
// handle: the destructor unloads the module (its unload trace line is
// written then).
#pragma once

#include <cstdint>
#include <string>

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

// The module the host loads without --module: reservation.so beside the
// executable when there is one (a build tree), else the installed one.
std::string DefaultModulePath();

}  // namespace host
