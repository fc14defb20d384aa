#include "framework/directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

namespace fw {
FileVersion VersionOf(const struct stat& st) {
    FileVersion v;
    v.device = static_cast<std::uint64_t>(st.st_dev);
    v.inode = static_cast<std::uint64_t>(st.st_ino);
    v.size = static_cast<std::int64_t>(st.st_size);
    v.modifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return v;
}

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

}  // namespace

Directory::~Directory() {
    if (IsOpen()) ::close(Descriptor());
}

Directory::Directory(Directory&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (IsOpen()) ::close(Descriptor());
        handle_ = std::exchange(other.handle_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

Directory Directory::Open(const std::string& path, FileError& error) {
    const int fd = ::open(path.c_str(), kDirectoryFlags);
    error = fd < 0 ? FileErrorFromErrno(errno) : FileError::None;
    return fd < 0 ? Directory() : Directory(fd, path);
}

Directory Directory::OpenChild(const std::string& name, bool create, unsigned mode,
                               FileError& error) const {
    if (create && ::mkdirat(Descriptor(), name.c_str(), static_cast<mode_t>(mode)) != 0 &&
        errno != EEXIST) {
        error = FileErrorFromErrno(errno);
        return Directory();
    }
    const int fd = ::openat(Descriptor(), name.c_str(), kDirectoryFlags);
    error = fd < 0 ? FileErrorFromErrno(errno) : FileError::None;
    return fd < 0 ? Directory() : Directory(fd, path_ + "/" + name);
}

bool Directory::Stat(const std::string& name, FileVersion& version, bool* isRegular) const {
    struct stat st {};
    if (::fstatat(Descriptor(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    version = VersionOf(st);
    if (isRegular) *isRegular = S_ISREG(st.st_mode);
    return true;
}

FileError Directory::Rename(const std::string& from, const Directory& target, const std::string& to,
                            bool noReplace) const {
    if (!noReplace) {
        return ::renameat(Descriptor(), from.c_str(), target.Descriptor(), to.c_str()) == 0
                   ? FileError::None
                   : FileErrorFromErrno(errno);
    }
    if (::renameat2(Descriptor(), from.c_str(), target.Descriptor(), to.c_str(),
                    RENAME_NOREPLACE) == 0)
        return FileError::None;
    if (errno != EINVAL && errno != ENOSYS) return FileErrorFromErrno(errno);
    // A network file system without RENAME_NOREPLACE: a hard link never
    // replaces, and the unlink then leaves the file under its new name only.
    if (::linkat(Descriptor(), from.c_str(), target.Descriptor(), to.c_str(), 0) != 0)
        return FileErrorFromErrno(errno);
    ::unlinkat(Descriptor(), from.c_str(), 0);
    return FileError::None;
}

FileError Directory::Remove(const std::string& name, bool directory) const {
    return ::unlinkat(Descriptor(), name.c_str(), directory ? AT_REMOVEDIR : 0) == 0
               ? FileError::None
               : FileErrorFromErrno(errno);
}

FileError Directory::Touch() const {
    return ::futimens(Descriptor(), nullptr) == 0 ? FileError::None : FileErrorFromErrno(errno);
}

unsigned Directory::Permissions() const {
    struct stat st {};
    if (::fstat(Descriptor(), &st) != 0) return 0700;
    return st.st_mode & 07777;
}

void Directory::SetPermissions(unsigned mode) const {
    if (IsOpen()) ::fchmod(Descriptor(), static_cast<mode_t>(mode));
}

std::int64_t Directory::ModifiedAt() const {
    struct stat st {};
    return ::fstat(Descriptor(), &st) == 0 ? st.st_mtim.tv_sec : 0;
}

}  // namespace fw
