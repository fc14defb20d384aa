#include "framework/direnum.h"

#include <windows.h>

#include <new>

namespace fw {
namespace {

// FindFirstFileA hands over the first entry with the handle; Next gives it
// out before asking for more.
struct FindState {
    HANDLE find = INVALID_HANDLE_VALUE;
    WIN32_FIND_DATAA data{};
    bool pending = false;
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

DirectoryScan::~DirectoryScan() { End(); }

bool DirectoryScan::Start(const Directory& directory) {
    End();
    if (!directory.IsOpen()) return false;
    auto* state = new (std::nothrow) FindState;
    if (state == nullptr) return false;
    const std::string pattern = directory.Path() + "\\*";
    state->find = FindFirstFileA(pattern.c_str(), &state->data);
    if (state->find == INVALID_HANDLE_VALUE) {
        delete state;
        return false;
    }
    state->pending = true;
    stream_ = state;
    return true;
}

bool DirectoryScan::Next(std::string& name) {
    auto* state = static_cast<FindState*>(stream_);
    if (state == nullptr) return false;
    if (!state->pending && !FindNextFileA(state->find, &state->data)) return false;
    state->pending = false;
    name = state->data.cFileName;
    return true;
}

void DirectoryScan::End() {
    auto* state = static_cast<FindState*>(stream_);
    if (state == nullptr) return;
    FindClose(state->find);
    delete state;
    stream_ = nullptr;
}

std::string MakeAbsolute(const std::string& path) {
    const bool drive = path.size() >= 3 && path[1] == ':' && IsSeparator(path[2]);
    if (drive || (!path.empty() && IsSeparator(path.front()))) return path;
    const DWORD size = GetCurrentDirectoryA(0, nullptr);
    if (size == 0) return path;
    std::string absolute(size, '\0');
    const DWORD written = GetCurrentDirectoryA(size, absolute.data());
    if (written == 0 || written >= size) return path;
    absolute.resize(written);
    if (path.empty()) return absolute;
    if (!IsSeparator(absolute.back())) absolute += '\\';
    return absolute + path;
}

std::string TrimTrailingSeparators(std::string path) {
    while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

std::string EntryPath(const std::string& dir, const std::string& name) {
    return !dir.empty() && IsSeparator(dir.back()) ? dir + name : dir + "\\" + name;
}

}  // namespace fw
