#include "framework/exclusivefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <ctime>
#include <mutex>
#include <utility>

#include "framework/crashpoint.h"
#include "framework/posix/syscalls.h"

namespace fw {

// framework_crashpoints overrides it in the test module.
__attribute__((weak)) bool LocksDisabledForTest() { return false; }

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

// Changed less than the minimum age before the file system's clock now (or
// in its future). Without that clock this machine's is the judge, either way
// (a writer on another machine may run a little ahead).
bool RecentlyChanged(const struct stat& st, const QuietRule& quiet) {
    const std::int64_t changed = NanosecondsOf(st.st_ctim);
    std::int64_t now = 0;
    if (quiet.fileSystemNow && quiet.fileSystemNow(now)) return now - changed < quiet.minimumAgeNs;
    struct timespec local {};
    clock_gettime(CLOCK_REALTIME, &local);
    now = NanosecondsOf(local);
    return changed > now - quiet.minimumAgeNs && changed < now + quiet.minimumAgeNs;
}

// Proves that the writer is done with the file, then takes the flock that
// keeps other hosts of this machine away while we hold it. Returns None, or
// the category that makes Open fail.
FileError Claim(int fd, const struct stat& st, const QuietRule& quiet, bool& locked,
                WriterDoneProof& proof) {
    KeepLeaseBreaksHarmless();
    locked = false;
    const bool locksOff = LocksDisabledForTest();
    const posix::Syscalls& sys = posix::Sys();

    bool leased = false;
    if (!locksOff && sys.setLease(fd, F_WRLCK) == 0) {
        leased = true;
    } else if (!locksOff && (errno == EAGAIN || errno == EBUSY)) {
        return FileError::SharingViolation;
    } else if (!locksOff && errno != EACCES && errno != EPERM && errno != EINVAL &&
               errno != ENOSYS) {
        return FileErrorFromErrno(errno);
    }
    // The lease proved exclusivity at this instant; holding it longer would
    // stall a writer's open on every booking.
    if (leased) sys.setLease(fd, F_UNLCK);
    proof = leased ? WriterDoneProof::Lease : WriterDoneProof::QuietPeriod;
    if (!leased && !(quiet.provenDone && quiet.provenDone(VersionOf(st))) &&
        RecentlyChanged(st, quiet))
        return FileError::SharingViolation;

    if (locksOff) return FileError::None;
    if (sys.flock(fd, LOCK_EX | LOCK_NB) == 0) {
        locked = true;
    } else if (errno == EWOULDBLOCK) {
        return FileError::SharingViolation;
    }
    // A file system without flock: the claim of the caller keeps other hosts
    // away.
    return FileError::None;
}

}  // namespace

ExclusiveFile ExclusiveFile::Open(const Directory& directory, const std::string& name,
                                  FileError& error, const QuietRule& quiet) {
    // O_NONBLOCK keeps the open of a FIFO without writer (or of a file
    // another process holds a lease on) from hanging the scan.
    int fd = posix::Sys().openat(directory.Descriptor(), name.c_str(),
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0);
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
    if (posix::Sys().fstat(fd, &st) != 0) {
        error = FileErrorFromErrno(errno);
        CloseKeepingErrno(fd);
        return ExclusiveFile();
    }
    ExclusiveFile file;
    if (!S_ISREG(st.st_mode)) {
        error = FileError::AccessDenied;
        ::close(fd);
        return file;
    }
    if (st.st_nlink != 1) {
        // A link made a moment ago is most likely another host's put-back
        // on a file system without RENAME_NOREPLACE, between its link and its
        // unlink: busy. One that stays is refused.
        error = RecentlyChanged(st, quiet) ? FileError::SharingViolation : FileError::MultipleLinks;
        ::close(fd);
        file.version_ = VersionOf(st);
        return file;
    }

    error = Claim(fd, st, quiet, file.locked_, file.proof_);
    if (error != FileError::None) {
        if (file.locked_) flock(fd, LOCK_UN);
        ::close(fd);
        file.locked_ = false;
        return ExclusiveFile();
    }
    file.handle_ = fd;
    file.version_ = VersionOf(st);
    return file;
}

ssize_t ExclusiveFile::Read(void* buffer, std::size_t size, FileError& error) {
    if (!IsOpen()) {
        error = FileError::InvalidFile;
        return -1;
    }
    ssize_t n;
    do {
        n = posix::Sys().read(static_cast<int>(handle_), buffer, size);
    } while (n < 0 && errno == EINTR);
    error = n < 0 ? FileErrorFromErrno(errno) : FileError::None;
    return n;
}

void ExclusiveFile::Close() {
    if (!IsOpen()) return;
    const int fd = static_cast<int>(handle_);
    if (locked_) flock(fd, LOCK_UN);
    ::close(fd);
    handle_ = -1;
    locked_ = false;
}

}  // namespace fw
