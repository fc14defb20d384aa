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
    const int fd = posix::Sys().openat(dir.Descriptor(), kClaimLockName,
                                       O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                                       static_cast<mode_t>(mode & 0666));
    if (fd < 0) return ClaimLock();
    if (posix::Sys().flock(fd, LOCK_EX | LOCK_NB) != 0) {
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
