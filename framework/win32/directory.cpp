#include "framework/directory.h"

#include <windows.h>

#include <utility>

#include "framework/win32/win32error.h"

namespace fw {
namespace {

// A FILETIME (100 ns since 1601) as nanoseconds since the epoch.
std::int64_t EpochNanoseconds(const FILETIME& ft) {
    const std::int64_t ticks =
        (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return (ticks - 116444736000000000LL) * 100;
}

// FILE_SHARE_DELETE is granted because the claim areas are removed while
// their Directory objects are still open (RemoveDirectoryA then takes effect
// when the last handle closes).
HANDLE OpenDirectoryHandle(const std::string& path) {
    return CreateFileA(
        path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

FileVersion VersionOf(const struct stat& st) {
    FileVersion v;
    v.device = static_cast<std::uint64_t>(st.st_dev);
    v.inode = static_cast<std::uint64_t>(st.st_ino);
    v.size = static_cast<std::int64_t>(st.st_size);
    v.modifiedNs = static_cast<std::int64_t>(st.st_mtime) * 1000000000;
    return v;
}

Directory::~Directory() {
    if (IsOpen()) CloseHandle(AsHandle(handle_));
}

Directory::Directory(Directory&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (IsOpen()) CloseHandle(AsHandle(handle_));
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

Directory Directory::Open(const std::string& path, FileError& error) {
    HANDLE h = OpenDirectoryHandle(path);
    if (h == INVALID_HANDLE_VALUE) {
        error = LastFileError();
        return Directory();
    }
    BY_HANDLE_FILE_INFORMATION info{};
    // A reparse point (a junction or a symbolic link) in place of the
    // directory is refused, as O_NOFOLLOW refuses a link on POSIX.
    if (!GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        CloseHandle(h);
        error = FileError::BadPath;
        return Directory();
    }
    error = FileError::None;
    std::string stored = path;
    while (stored.size() > 1 && (stored.back() == '\\' || stored.back() == '/') &&
           stored[stored.size() - 2] != ':')
        stored.pop_back();
    return Directory(reinterpret_cast<std::intptr_t>(h), stored);
}

Directory Directory::OpenChild(const std::string& name, bool create, unsigned /*mode*/,
                               FileError& error) const {
    const std::string child = path_ + "\\" + name;
    if (create && !CreateDirectoryA(child.c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
        error = LastFileError();
        return Directory();
    }
    return Open(child, error);
}

bool Directory::Stat(const std::string& name, FileVersion& version, EntryKind* kind) const {
    const std::string full = path_ + "\\" + name;
    HANDLE h = CreateFileA(
        full.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    const bool changed =
        ok && GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic) != 0;
    CloseHandle(h);
    if (!ok) return false;
    version.device = info.dwVolumeSerialNumber;
    version.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    version.size = (static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    version.modifiedNs = EpochNanoseconds(info.ftLastWriteTime);
    version.changedNs =
        changed ? (basic.ChangeTime.QuadPart - 116444736000000000LL) * 100 : version.modifiedNs;
    version.links = info.nNumberOfLinks;
    if (kind)
        *kind = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
                    ? EntryKind::SymbolicLink
                : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Directory
                : (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0    ? EntryKind::Other
                                                                          : EntryKind::Regular;
    return true;
}

FileError Directory::Rename(const std::string& from, const Directory& target, const std::string& to,
                            bool noReplace) const {
    const std::string source = path_ + "\\" + from;
    const std::string destination = target.path_ + "\\" + to;
    // Without MOVEFILE_REPLACE_EXISTING an existing destination is never
    // overwritten; without MOVEFILE_COPY_ALLOWED the move stays a rename
    // within the volume, atomic on a file server too.
    const DWORD flags = noReplace ? 0 : MOVEFILE_REPLACE_EXISTING;
    return MoveFileExA(source.c_str(), destination.c_str(), flags) ? FileError::None
                                                                   : LastFileError();
}

FileError Directory::Remove(const std::string& name, bool directory) const {
    const std::string full = path_ + "\\" + name;
    const BOOL ok = directory ? RemoveDirectoryA(full.c_str()) : DeleteFileA(full.c_str());
    return ok ? FileError::None : LastFileError();
}

FileError Directory::Touch() const {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return SetFileTime(AsHandle(handle_), nullptr, nullptr, &now) ? FileError::None
                                                                  : LastFileError();
}

bool Directory::FileSystemNow(std::int64_t& ns) const {
    // A file server keeps the time a client sets; the client's clock is the
    // one there is.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    ns = EpochNanoseconds(now);
    return true;
}

std::int64_t Directory::ModifiedAtNs() const {
    FILETIME written{};
    if (!GetFileTime(AsHandle(handle_), nullptr, nullptr, &written)) return 0;
    return EpochNanoseconds(written);
}

unsigned Directory::Permissions() const { return 0700; }

FileError Directory::SetPermissions(unsigned /*mode*/) const { return FileError::None; }

}  // namespace fw
