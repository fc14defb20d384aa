// The system calls the POSIX platform layer makes on files and directories,
// every one of them through this table, so that a test can make any of them
// fail at the moment it chooses (fault injection) and check that nothing is
// lost. The shipped module only ever uses the real calls: nothing outside
// the platform layer and its tests includes this header, and the table is
// not exported.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>

namespace fw::posix {

struct Syscalls {
    int (*openat)(int dirfd, const char* path, int flags, mode_t mode);
    ssize_t (*read)(int fd, void* buffer, size_t size);
    int (*fstat)(int fd, struct stat* st);
    int (*fstatat)(int dirfd, const char* path, struct stat* st, int flags);
    int (*renameat)(int fromDir, const char* from, int toDir, const char* to);
    int (*renameat2)(int fromDir, const char* from, int toDir, const char* to, unsigned flags);
    int (*linkat)(int fromDir, const char* from, int toDir, const char* to, int flags);
    int (*unlinkat)(int dirfd, const char* path, int flags);
    int (*mkdirat)(int dirfd, const char* path, mode_t mode);
    int (*futimens)(int fd, const struct timespec times[2]);
    int (*fchmod)(int fd, mode_t mode);
    int (*flock)(int fd, int operation);
    int (*setLease)(int fd, int type);  // fcntl(fd, F_SETLEASE, type)
};

// The table in use; starts out with the real calls.
Syscalls& Sys();
// The real calls, for a test to restore or to pass a call on.
const Syscalls& RealSyscalls();

}  // namespace fw::posix
