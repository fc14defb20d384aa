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
    if (fd_ >= 0) ::close(fd_);
}

Directory::Directory(Directory&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

Directory Directory::Open(const std::string& path, FileError& error) {
    const int fd = ::open(path.c_str(), kDirectoryFlags);
    error = fd < 0 ? FileErrorFromErrno(errno) : FileError::None;
    return Directory(fd);
}

Directory Directory::OpenChild(const std::string& name, bool create, unsigned mode,
                               FileError& error) const {
    if (create && ::mkdirat(fd_, name.c_str(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
        error = FileErrorFromErrno(errno);
        return Directory();
    }
    const int fd = ::openat(fd_, name.c_str(), kDirectoryFlags);
    error = fd < 0 ? FileErrorFromErrno(errno) : FileError::None;
    return Directory(fd);
}

bool Directory::Stat(const std::string& name, FileVersion& version, bool* isRegular) const {
    struct stat st {};
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    version = VersionOf(st);
    if (isRegular) *isRegular = S_ISREG(st.st_mode);
    return true;
}

FileError Directory::Rename(const std::string& from, const Directory& target, const std::string& to,
                            bool noReplace) const {
    if (!noReplace) {
        return ::renameat(fd_, from.c_str(), target.fd_, to.c_str()) == 0
                   ? FileError::None
                   : FileErrorFromErrno(errno);
    }
    if (::renameat2(fd_, from.c_str(), target.fd_, to.c_str(), RENAME_NOREPLACE) == 0)
        return FileError::None;
    if (errno != EINVAL && errno != ENOSYS) return FileErrorFromErrno(errno);
    // A network file system without RENAME_NOREPLACE: a hard link never
    // replaces, and the unlink then leaves the file under its new name only.
    if (::linkat(fd_, from.c_str(), target.fd_, to.c_str(), 0) != 0)
        return FileErrorFromErrno(errno);
    ::unlinkat(fd_, from.c_str(), 0);
    return FileError::None;
}

FileError Directory::Remove(const std::string& name, bool directory) const {
    return ::unlinkat(fd_, name.c_str(), directory ? AT_REMOVEDIR : 0) == 0
               ? FileError::None
               : FileErrorFromErrno(errno);
}

FileError Directory::Touch() const {
    return ::futimens(fd_, nullptr) == 0 ? FileError::None : FileErrorFromErrno(errno);
}

std::time_t Directory::ModifiedAt() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? st.st_mtim.tv_sec : 0;
}

}  // namespace fw
