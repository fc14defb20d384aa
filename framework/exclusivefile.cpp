#include "framework/exclusivefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <mutex>
#include <utility>

namespace fw {
namespace {

// While we hold a lease, another process opening the file makes the kernel
// send us the lease-break signal, SIGIO by default, whose default action
// terminates the process. The lease is held only for an instant, but that
// instant must not kill the host. A host that installed its own SIGIO
// handling keeps it.
void KeepLeaseBreaksHarmless() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGIO, nullptr, &current) != 0) return;
        if ((current.sa_flags & SA_SIGINFO) == 0 && current.sa_handler == SIG_DFL) {
            struct sigaction ignore {};
            ignore.sa_handler = SIG_IGN;
            sigemptyset(&ignore.sa_mask);
            sigaction(SIGIO, &ignore, nullptr);
        }
    });
}

void CloseKeepingErrno(int fd) {
    int saved = errno;
    ::close(fd);
    errno = saved;
}

// Proves that nobody else has the file open, then takes the flock that
// keeps other instances of this code away while we hold the file. Returns
// None, or the category that makes Open fail; sets locked when the flock
// was taken.
FileError Claim(int fd, bool& locked) {
    KeepLeaseBreaksHarmless();
    locked = false;

    bool leased = false;
    if (fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        leased = true;
    } else if (errno == EAGAIN || errno == EBUSY) {
        return FileError::SharingViolation;
    } else if (errno != EACCES && errno != EPERM && errno != EINVAL && errno != ENOSYS) {
        return FileErrorFromErrno(errno);
    }

    FileError result = FileError::None;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        locked = true;
    } else if (errno == EWOULDBLOCK) {
        result = FileError::SharingViolation;
    } else if (!leased) {
        // Neither claim could be made: we cannot promise exclusivity.
        result = FileErrorFromErrno(errno);
    }
    // The lease proved exclusivity at this instant; the flock is what stays.
    // Holding the lease longer would stall a writer's open on every booking.
    if (leased) fcntl(fd, F_SETLEASE, F_UNLCK);
    if (result != FileError::None && locked) {
        flock(fd, LOCK_UN);
        locked = false;
    }
    return result;
}

}  // namespace

ExclusiveFile::~ExclusiveFile() { Close(); }

ExclusiveFile::ExclusiveFile(ExclusiveFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), locked_(std::exchange(other.locked_, false)) {}

ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        locked_ = std::exchange(other.locked_, false);
    }
    return *this;
}

ExclusiveFile ExclusiveFile::Open(const std::string& path, FileError& error) {
    // O_NONBLOCK keeps the open of a FIFO without writer (or of a file
    // another process holds a lease on) from hanging the scan.
    int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        switch (errno) {
            case ELOOP:  // the name itself is a symbolic link
            case ENXIO:  // a socket, or a device without its driver
                error = FileError::AccessDenied;
                break;
            default:
                error = FileErrorFromErrno(errno);
        }
        return ExclusiveFile();
    }

    struct stat st {};
    if (fstat(fd, &st) != 0) {
        error = FileErrorFromErrno(errno);
        CloseKeepingErrno(fd);
        return ExclusiveFile();
    }
    if (!S_ISREG(st.st_mode)) {
        error = FileError::AccessDenied;
        ::close(fd);
        return ExclusiveFile();
    }

    bool locked = false;
    error = Claim(fd, locked);
    if (error != FileError::None) {
        ::close(fd);
        return ExclusiveFile();
    }
    return ExclusiveFile(fd, locked);
}

ssize_t ExclusiveFile::Read(void* buffer, std::size_t size, FileError& error) {
    if (fd_ < 0) {
        error = FileError::InvalidFile;
        return -1;
    }
    ssize_t n;
    do {
        n = ::read(fd_, buffer, size);
    } while (n < 0 && errno == EINTR);
    error = n < 0 ? FileErrorFromErrno(errno) : FileError::None;
    return n;
}

void ExclusiveFile::Close() {
    if (fd_ < 0) return;
    if (locked_) flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
    locked_ = false;
}

FileError DeleteFile(const std::string& path) {
    if (::unlink(path.c_str()) == 0) return FileError::None;
    return FileErrorFromErrno(errno);
}

}  // namespace fw
