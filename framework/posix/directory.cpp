#include "framework/directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>
#include <utility>

#include "framework/crashpoint.h"
#include "framework/posix/syscalls.h"

namespace fw {

// framework_crashpoints overrides it in the test module.
__attribute__((weak)) void PauseBetweenLinkAndUnlinkForTest() {}

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

FileError LastError() { return FileErrorFromErrno(errno); }

}  // namespace

std::int64_t NanosecondsOf(const struct timespec& t) {
    constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 1000000000 - 1;
    if (t.tv_sec > kLimit) return std::numeric_limits<std::int64_t>::max();
    if (t.tv_sec < -kLimit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileVersion VersionOf(const struct stat& st) {
    FileVersion v;
    v.device = static_cast<std::uint64_t>(st.st_dev);
    v.inode = static_cast<std::uint64_t>(st.st_ino);
    v.size = static_cast<std::int64_t>(st.st_size);
    v.modifiedNs = NanosecondsOf(st.st_mtim);
    v.changedNs = NanosecondsOf(st.st_ctim);
    v.links = static_cast<std::uint64_t>(st.st_nlink);
    return v;
}

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
    const int fd = posix::Sys().openat(AT_FDCWD, path.c_str(), kDirectoryFlags, 0);
    error = fd < 0 ? LastError() : FileError::None;
    return fd < 0 ? Directory() : Directory(fd, path);
}

Directory Directory::OpenChild(const std::string& name, bool create, unsigned mode,
                               FileError& error) const {
    if (create &&
        posix::Sys().mkdirat(Descriptor(), name.c_str(), static_cast<mode_t>(mode & 0777)) != 0 &&
        errno != EEXIST) {
        error = LastError();
        return Directory();
    }
    const int fd = posix::Sys().openat(Descriptor(), name.c_str(), kDirectoryFlags, 0);
    error = fd < 0 ? LastError() : FileError::None;
    return fd < 0 ? Directory() : Directory(fd, path_ + "/" + name);
}

bool Directory::Stat(const std::string& name, FileVersion& version, EntryKind* kind) const {
    struct stat st {};
    if (posix::Sys().fstatat(Descriptor(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return false;
    version = VersionOf(st);
    if (kind)
        *kind = S_ISREG(st.st_mode)   ? EntryKind::Regular
                : S_ISDIR(st.st_mode) ? EntryKind::Directory
                : S_ISLNK(st.st_mode) ? EntryKind::SymbolicLink
                                      : EntryKind::Other;
    return true;
}

FileError Directory::Rename(const std::string& from, const Directory& target, const std::string& to,
                            bool noReplace) const {
    const posix::Syscalls& sys = posix::Sys();
    if (!noReplace) {
        return sys.renameat(Descriptor(), from.c_str(), target.Descriptor(), to.c_str()) == 0
                   ? FileError::None
                   : LastError();
    }
    if (sys.renameat2(Descriptor(), from.c_str(), target.Descriptor(), to.c_str(),
                      RENAME_NOREPLACE) == 0)
        return FileError::None;
    if (errno != EINVAL && errno != ENOSYS) return LastError();
    // A network file system without RENAME_NOREPLACE: a hard link never
    // replaces. Whoever cannot unlink from afterwards has lost it to another
    // process and takes its link back (unless a writer has put a new file
    // under that name meanwhile).
    FileVersion moved;
    if (!Stat(from, moved)) return LastError();
    if (sys.linkat(Descriptor(), from.c_str(), target.Descriptor(), to.c_str(), 0) != 0)
        return LastError();
    PauseBetweenLinkAndUnlinkForTest();
    if (sys.unlinkat(Descriptor(), from.c_str(), 0) == 0) return FileError::None;
    const FileError lost = LastError();
    FileVersion linked;
    if (target.Stat(to, linked) && linked.SameFile(moved))
        sys.unlinkat(target.Descriptor(), to.c_str(), 0);
    return lost;
}

FileError Directory::Remove(const std::string& name, bool directory) const {
    return posix::Sys().unlinkat(Descriptor(), name.c_str(), directory ? AT_REMOVEDIR : 0) == 0
               ? FileError::None
               : LastError();
}

FileError Directory::Touch() const {
    return posix::Sys().futimens(Descriptor(), nullptr) == 0 ? FileError::None : LastError();
}

bool Directory::FileSystemNow(std::int64_t& ns) const {
    struct stat st {};
    if (Touch() != FileError::None || posix::Sys().fstat(Descriptor(), &st) != 0) return false;
    ns = NanosecondsOf(st.st_ctim);
    return true;
}

unsigned Directory::Permissions() const {
    struct stat st {};
    if (posix::Sys().fstat(Descriptor(), &st) != 0) return 0700;
    return st.st_mode & 0777;
}

FileError Directory::SetPermissions(unsigned mode) const {
    struct stat st {};
    if (!IsOpen() || posix::Sys().fstat(Descriptor(), &st) != 0) return LastError();
    if ((st.st_mode & 0777) == (mode & 0777)) return FileError::None;
    // Keeping an inherited setgid bit means naming it, which a sandbox that
    // forbids set-id bits refuses: then the permissions matter more.
    const mode_t kept = st.st_mode & 07000;
    if (posix::Sys().fchmod(Descriptor(), static_cast<mode_t>((mode & 0777) | kept)) == 0)
        return FileError::None;
    if (kept != 0 && posix::Sys().fchmod(Descriptor(), static_cast<mode_t>(mode & 0777)) == 0)
        return FileError::None;
    return LastError();
}

std::int64_t Directory::ModifiedAtNs() const {
    struct stat st {};
    return posix::Sys().fstat(Descriptor(), &st) == 0 ? NanosecondsOf(st.st_mtim) : 0;
}

}  // namespace fw
