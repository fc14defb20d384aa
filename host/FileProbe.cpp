#include "host/FileProbe.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <mutex>

namespace host {
namespace {

// A writer opening the file during the instant we hold the lease makes the
// kernel send the lease-break signal, SIGIO by default, which would end the
// host. Leave a disposition the host already chose alone.
void KeepLeaseBreaksHarmless() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGIO, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
            current.sa_handler == SIG_DFL)
            signal(SIGIO, SIG_IGN);
    });
}

}  // namespace

Holders OtherHolders(const std::string& path) {
    KeepLeaseBreaksHarmless();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Holders::Unknown;
    Holders result = Holders::Unknown;
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
        result = Holders::None;
    } else if (errno == EAGAIN || errno == EBUSY) {
        result = Holders::Others;
    }
    ::close(fd);
    return result;
}

}  // namespace host
