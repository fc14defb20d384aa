#include "framework/claimlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "framework/posix/syscalls.h"

namespace fw {

ClaimLock::~ClaimLock() {
    if (Held()) ::close(static_cast<int>(handle_));
}

ClaimLock::ClaimLock(ClaimLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

ClaimLock& ClaimLock::operator=(ClaimLock&& other) noexcept {
    if (this != &other) {
        if (Held()) ::close(static_cast<int>(handle_));
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

ClaimLock ClaimLock::Take(const Directory& dir, unsigned mode, State& state) {
    state = State::Unknown;
    const posix::Syscalls& sys = posix::Sys();
    int fd = sys.openat(dir.Descriptor(), kClaimLockName,
                        O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                        static_cast<mode_t>(mode & 0666));
    if (fd >= 0) {
        // The umask must not keep the hosts of other users from the lock
        // (a service's is often 027); no harm where the file is another's.
        static_cast<void>(sys.fchmod(fd, static_cast<mode_t>(mode & 0666)));
    } else if (errno == EACCES) {
        // Another user's lock file: a lock on a read-only descriptor holds
        // all the same on a local file system.
        fd = sys.openat(dir.Descriptor(), kClaimLockName, O_RDONLY | O_NOFOLLOW | O_CLOEXEC, 0);
    }
    if (fd < 0) return ClaimLock();
    if (sys.flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) state = State::HeldElsewhere;
        ::close(fd);
        return ClaimLock();
    }
    state = State::Taken;
    ClaimLock lock;
    lock.handle_ = fd;
    return lock;
}

}  // namespace fw
