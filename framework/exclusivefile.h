// A booking file opened for reading, once it is proven that its writer is done
// with it.
//
// Open() never creates, truncates or writes, never follows a symbolic link
// and never blocks: only a regular file with exactly one link is accepted
// (anything else is refused unread: AccessDenied, or MultipleLinks for a
// hard link, which may name a file its writer could not read itself). Read
// access is all it needs, so a file another user wrote with mode 0644 can be
// taken. Then it proves that nobody else is writing it:
//  - a write lease, which the kernel refuses while any other descriptor is
//    open on the file (SharingViolation). It needs the file's owner or
//    CAP_LEASE and a local file system;
//  - where no lease can be had, the file must have been left alone for the
//    quiet rule's minimum age: its change time (which the file system sets at
//    every write, and no writer can set back), to the nanosecond, at least
//    that long before the file system's own clock now. A host whose clock is
//    off, or a writer that backdates the modification time, changes nothing.
//    A younger file is SharingViolation.
// Either way an exclusive non-blocking flock is also taken where the file
// system has one, so that two hosts on one machine never hold one file; a
// flock held elsewhere is SharingViolation. The flock is dropped before the
// descriptor is closed.
// On Win32 the proof is the open itself: CreateFileA with share mode 0 fails
// with ERROR_SHARING_VIOLATION (32) while anyone else has the file open, and
// keeps everyone else out while we hold it. Move-only.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "directory.h"
#include "fileerror.h"

namespace fw {

// How it was proven that the writer of a file is done with it.
enum class WriterDoneProof {
    Lease,        // no other descriptor was open on the file
    QuietPeriod,  // no lease here; unchanged for kQuietSeconds
    ShareNone,    // Win32: opened with share mode 0
};
inline constexpr int kQuietSeconds = 5;

// How long a file that cannot be leased must have been left alone, and the
// clock to measure it by.
struct QuietRule {
    std::int64_t minimumAgeNs = std::int64_t{kQuietSeconds} * 1000000000;
    // The file system's clock now, in nanoseconds since the epoch (see
    // Directory::FileSystemNow); false when it cannot be read. Without one,
    // this machine's clock is used.
    std::function<bool(std::int64_t&)> fileSystemNow;
    // A version already proven done (one this process put back itself, the
    // same since): no wait for it.
    std::function<bool(const FileVersion&)> provenDone;
};

class ExclusiveFile {
  public:
    ExclusiveFile() = default;
    ~ExclusiveFile();
    ExclusiveFile(ExclusiveFile&& other) noexcept;
    ExclusiveFile& operator=(ExclusiveFile&& other) noexcept;
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // Opens the entry name of directory; on failure returns a closed object
    // and sets error. A file refused for what it is (MultipleLinks) leaves
    // its Version() in the closed object.
    static ExclusiveFile Open(const Directory& directory, const std::string& name, FileError& error,
                              const QuietRule& quiet = {});

    bool IsOpen() const { return handle_ != -1; }

    // The proof that was used, and the version of the file when it was opened.
    WriterDoneProof Proof() const { return proof_; }
    const FileVersion& Version() const { return version_; }

    // One read(2) (retried on EINTR) or ReadFile of at most size bytes. Returns the count;
    // -1 on failure with error set.
    ssize_t Read(void* buffer, std::size_t size, FileError& error);

    // Drops the flock and closes. Safe to call twice.
    void Close();

  private:
    std::intptr_t handle_ = -1;  // descriptor, or HANDLE; -1 when closed
    bool locked_ = false;        // holds the exclusive flock taken by Open()
    WriterDoneProof proof_ = WriterDoneProof::Lease;
    FileVersion version_;
};

}  // namespace fw
