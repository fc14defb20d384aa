#include "host/ModuleLoader.h"

namespace host {

ModuleLoader::~ModuleLoader() { Unload(); }

bool ModuleLoader::Load(const std::string& path) {
    Unload();
    handle_ = OpenLibrary(path, error_);
    if (handle_ == nullptr) return false;
    search_ = reinterpret_cast<SearchFn>(LibrarySymbol(handle_, "Search"));
    myGetMes_ = reinterpret_cast<MyGetMesFn>(LibrarySymbol(handle_, "MyGetMes"));
    if (search_ == nullptr || myGetMes_ == nullptr) {
        error_ = path + " does not export Search and MyGetMes";
        Unload();
        return false;
    }
    return true;
}

void ModuleLoader::Unload() {
    if (handle_ != nullptr) CloseLibrary(handle_);
    handle_ = nullptr;
    search_ = nullptr;
    myGetMes_ = nullptr;
}

}  // namespace host
