#include "framework/direnum.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

namespace fw {

DirectoryScan::~DirectoryScan() { End(); }

bool DirectoryScan::Start(const Directory& directory) {
    End();
    if (!directory.IsOpen()) return false;
    // The stream owns and closes its descriptor, and reads from its own
    // position: a duplicate keeps the Directory usable on its own.
    const int fd = ::fcntl(directory.Descriptor(), F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return false;
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        ::close(fd);
        return false;
    }
    ::rewinddir(dir);
    stream_ = dir;
    return true;
}

bool DirectoryScan::Next(std::string& name) {
    if (stream_ == nullptr) return false;
    // A directory removed under the scan reads as its end (readdir gives
    // nullptr, with or without errno), which is what callers want.
    const dirent* entry = ::readdir(static_cast<DIR*>(stream_));
    if (entry == nullptr) return false;
    name = entry->d_name;
    return true;
}

void DirectoryScan::End() {
    if (stream_ != nullptr) {
        ::closedir(static_cast<DIR*>(stream_));
        stream_ = nullptr;
    }
}

std::string MakeAbsolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    // Without a current directory (it was removed) the path stays relative;
    // opening it fails the same way later.
    if (!cwd) return path;
    std::string absolute = cwd.get();
    if (path.empty()) return absolute;
    if (absolute.back() != '/') absolute += '/';
    return absolute + path;
}

std::string TrimTrailingSeparators(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string EntryPath(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

}  // namespace fw
