#include "framework/posix/syscalls.h"

#include <sys/file.h>
#include <unistd.h>

#include <cstdio>

namespace fw::posix {
namespace {

const Syscalls kReal = {
    [](int dirfd, const char* path, int flags, mode_t mode) {
        return ::openat(dirfd, path, flags, mode);
    },
    ::read,
    ::fstat,
    ::fstatat,
    ::renameat,
    [](int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
        return ::renameat2(fromDir, from, toDir, to, flags);
    },
    ::linkat,
    ::unlinkat,
    ::mkdirat,
    ::futimens,
    ::fchmod,
    ::flock,
    [](int fd, int type) { return ::fcntl(fd, F_SETLEASE, type); },
};

}  // namespace

Syscalls& Sys() {
    static Syscalls table = kReal;
    return table;
}

const Syscalls& RealSyscalls() { return kReal; }

}  // namespace fw::posix
