// A booking file opened for reading, once it is proven that its writer is done
// with it.
//
// Open() never creates, truncates or writes, never follows a symbolic link
// and never blocks: only a regular file is accepted (anything else is
// AccessDenied). Read access is all it needs, so a file another user wrote
// with mode 0644 can be taken. Then it proves that nobody else is writing it:
//  - a write lease, which the kernel refuses while any other descriptor is
//    open on the file (SharingViolation). It needs the file's owner or
//    CAP_LEASE and a local file system;
//  - where no lease can be had, the file must have been left alone for
//    kQuietSeconds: a modification time that recent is SharingViolation.
// Either way an exclusive non-blocking flock is also taken where the file
// system has one, so that two hosts on one machine never hold one file; a
// flock held elsewhere is SharingViolation. The flock is dropped before the
// descriptor is closed. Move-only.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "directory.h"
#include "fileerror.h"

namespace fw {

// How it was proven that the writer of a file is done with it.
enum class WriterDoneProof {
    Lease,        // no other descriptor was open on the file
    QuietPeriod,  // no lease here; unchanged for kQuietSeconds
};
inline constexpr int kQuietSeconds = 5;

class ExclusiveFile {
  public:
    ExclusiveFile() = default;
    ~ExclusiveFile();
    ExclusiveFile(ExclusiveFile&& other) noexcept;
    ExclusiveFile& operator=(ExclusiveFile&& other) noexcept;
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // Opens the entry name of directory; on failure returns a closed object
    // and sets error.
    static ExclusiveFile Open(const Directory& directory, const std::string& name,
                              FileError& error);

    bool IsOpen() const { return fd_ >= 0; }

    // The proof that was used, and the version of the file when it was opened.
    WriterDoneProof Proof() const { return proof_; }
    const FileVersion& Version() const { return version_; }

    // One read(2) of at most size bytes (retried on EINTR). Returns the count;
    // -1 on failure with error set.
    ssize_t Read(void* buffer, std::size_t size, FileError& error);

    // Drops the flock and closes. Safe to call twice.
    void Close();

  private:
    int fd_ = -1;
    bool locked_ = false;  // holds the exclusive flock taken by Open()
    WriterDoneProof proof_ = WriterDoneProof::Lease;
    FileVersion version_;
};

}  // namespace fw
