// Fault injection at the file system calls of the POSIX platform layer:
// while a SyscallFault lives, the calls of one entry of fw::posix::Sys() on a
// path that matches a pattern fail with the errno the test chose; every
// other call passes on to the real one. The destructor puts the real call
// back. Several may live at once, one per entry.
//
// A call's path is the one the kernel would resolve: the directory
// descriptor's path joined with the name (openat, fstatat, unlinkat, mkdirat;
// for renameat, renameat2 and linkat the source), or the descriptor's own
// path (read, fstat, futimens, flock), as /proc/self/fd tells it. Use from
// the test's thread: the module makes its file calls in the thread that
// called Search.
#pragma once

#include <string>

namespace ts {

class SyscallFault {
  public:
    enum class Call {
        Openat,
        Read,
        Fstat,
        Fstatat,
        Renameat,
        Renameat2,
        Linkat,
        Unlinkat,
        Mkdirat,
        Futimens,
        Flock,
    };

    // Fails the calls of call whose path matches pathPattern (fnmatch(3)
    // without flags: "*" also matches "/") with err, once the first skip of
    // them have passed; at most times of them fail (-1: all). One fault per
    // call at a time.
    SyscallFault(Call call, std::string pathPattern, int err, int skip = 0, int times = -1);
    ~SyscallFault();
    SyscallFault(const SyscallFault&) = delete;
    SyscallFault& operator=(const SyscallFault&) = delete;

    // How many calls it has failed so far.
    int Failed() const;

  private:
    Call call_;
};

}  // namespace ts
