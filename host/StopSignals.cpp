#include "host/StopSignals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace host {

StopSignals::StopSignals() {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stop, &previous_);
    fd_ = signalfd(-1, &stop, SFD_NONBLOCK | SFD_CLOEXEC);
}

StopSignals::~StopSignals() {
    if (fd_ >= 0) ::close(fd_);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

int StopSignals::Take() {
    if (fd_ < 0) return 0;
    struct signalfd_siginfo info {};
    ssize_t n;
    do {
        n = ::read(fd_, &info, sizeof info);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
}

}  // namespace host
