#include "tests/support/SyscallFault.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <stdexcept>

#include "framework/posix/syscalls.h"

namespace ts {
namespace {

using Call = SyscallFault::Call;
constexpr std::size_t kCalls = static_cast<std::size_t>(Call::Flock) + 1;

struct Slot {
    bool armed = false;
    std::string pattern;
    int err = 0;
    int skip = 0;
    int times = -1;
    int seen = 0;
    int failed = 0;
};

Slot& SlotOf(Call call) {
    static std::array<Slot, kCalls> slots;
    return slots[static_cast<std::size_t>(call)];
}

std::string FdPath(int fd) {
    char buffer[PATH_MAX];
    const std::string link =
        fd == AT_FDCWD ? "/proc/self/cwd" : "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

std::string At(int dirfd, const char* path) {
    return path[0] == '/' ? std::string(path) : FdPath(dirfd) + "/" + path;
}

// Decides one call; sets errno when it is to fail.
bool Fails(Call call, const std::string& path) {
    Slot& slot = SlotOf(call);
    const int saved = errno;
    const bool matches = slot.armed && fnmatch(slot.pattern.c_str(), path.c_str(), 0) == 0;
    if (!matches || slot.seen++ < slot.skip || (slot.times >= 0 && slot.failed >= slot.times)) {
        errno = saved;
        return false;
    }
    ++slot.failed;
    errno = slot.err;
    return true;
}

const fw::posix::Syscalls& Real() { return fw::posix::RealSyscalls(); }

int Openat(int dirfd, const char* path, int flags, mode_t mode) {
    return Fails(Call::Openat, At(dirfd, path)) ? -1 : Real().openat(dirfd, path, flags, mode);
}
ssize_t Read(int fd, void* buffer, size_t size) {
    return Fails(Call::Read, FdPath(fd)) ? -1 : Real().read(fd, buffer, size);
}
int Fstat(int fd, struct stat* st) {
    return Fails(Call::Fstat, FdPath(fd)) ? -1 : Real().fstat(fd, st);
}
int Fstatat(int dirfd, const char* path, struct stat* st, int flags) {
    return Fails(Call::Fstatat, At(dirfd, path)) ? -1 : Real().fstatat(dirfd, path, st, flags);
}
int Renameat(int fromDir, const char* from, int toDir, const char* to) {
    return Fails(Call::Renameat, At(fromDir, from)) ? -1
                                                    : Real().renameat(fromDir, from, toDir, to);
}
int Renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    return Fails(Call::Renameat2, At(fromDir, from))
               ? -1
               : Real().renameat2(fromDir, from, toDir, to, flags);
}
int Linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    return Fails(Call::Linkat, At(fromDir, from)) ? -1
                                                  : Real().linkat(fromDir, from, toDir, to, flags);
}
int Unlinkat(int dirfd, const char* path, int flags) {
    return Fails(Call::Unlinkat, At(dirfd, path)) ? -1 : Real().unlinkat(dirfd, path, flags);
}
int Mkdirat(int dirfd, const char* path, mode_t mode) {
    return Fails(Call::Mkdirat, At(dirfd, path)) ? -1 : Real().mkdirat(dirfd, path, mode);
}
int Futimens(int fd, const struct timespec times[2]) {
    return Fails(Call::Futimens, FdPath(fd)) ? -1 : Real().futimens(fd, times);
}
int Flock(int fd, int operation) {
    return Fails(Call::Flock, FdPath(fd)) ? -1 : Real().flock(fd, operation);
}

template <typename F>
void Set(F& entry, F hook, F real, bool armed) {
    entry = armed ? hook : real;
}

void Arm(Call call, bool armed) {
    fw::posix::Syscalls& sys = fw::posix::Sys();
    const fw::posix::Syscalls& real = Real();
    switch (call) {
        case Call::Openat:
            return Set(sys.openat, &Openat, real.openat, armed);
        case Call::Read:
            return Set(sys.read, &Read, real.read, armed);
        case Call::Fstat:
            return Set(sys.fstat, &Fstat, real.fstat, armed);
        case Call::Fstatat:
            return Set(sys.fstatat, &Fstatat, real.fstatat, armed);
        case Call::Renameat:
            return Set(sys.renameat, &Renameat, real.renameat, armed);
        case Call::Renameat2:
            return Set(sys.renameat2, &Renameat2, real.renameat2, armed);
        case Call::Linkat:
            return Set(sys.linkat, &Linkat, real.linkat, armed);
        case Call::Unlinkat:
            return Set(sys.unlinkat, &Unlinkat, real.unlinkat, armed);
        case Call::Mkdirat:
            return Set(sys.mkdirat, &Mkdirat, real.mkdirat, armed);
        case Call::Futimens:
            return Set(sys.futimens, &Futimens, real.futimens, armed);
        case Call::Flock:
            return Set(sys.flock, &Flock, real.flock, armed);
    }
}

}  // namespace

SyscallFault::SyscallFault(Call call, std::string pathPattern, int err, int skip, int times)
    : call_(call) {
    Slot& slot = SlotOf(call);
    if (slot.armed) throw std::logic_error("a fault is already injected at this call");
    slot = Slot{true, std::move(pathPattern), err, skip, times, 0, 0};
    Arm(call, true);
}

SyscallFault::~SyscallFault() {
    Arm(call_, false);
    SlotOf(call_).armed = false;
}

int SyscallFault::Failed() const { return SlotOf(call_).failed; }

}  // namespace ts
