// A booking file opened for reading and writing and shared with nobody.
//
// Open() never creates or truncates, never follows a symbolic link and never
// blocks: only a regular file is accepted (anything else is AccessDenied).
// Then it claims the file against every other process: a write lease, which
// the kernel refuses while any other descriptor is open on the file; where no
// lease can be had (not the owner, no CAP_LEASE, a file system without leases)
// an exclusive non-blocking flock. A refused claim is SharingViolation.
// The claim is dropped before the descriptor is closed. Move-only.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "fileerror.h"

namespace fw {

class ExclusiveFile {
  public:
    ExclusiveFile() = default;
    ~ExclusiveFile();
    ExclusiveFile(ExclusiveFile&& other) noexcept;
    ExclusiveFile& operator=(ExclusiveFile&& other) noexcept;
    ExclusiveFile(const ExclusiveFile&) = delete;
    ExclusiveFile& operator=(const ExclusiveFile&) = delete;

    // Opens path; on failure returns a closed object and sets error.
    static ExclusiveFile Open(const std::string& path, FileError& error);

    bool IsOpen() const { return fd_ >= 0; }

    // One read(2) of at most size bytes (retried on EINTR). Returns the count;
    // -1 on failure with error set.
    ssize_t Read(void* buffer, std::size_t size, FileError& error);

    // Drops the claim and closes. Safe to call twice.
    void Close();

  private:
    ExclusiveFile(int fd, bool locked) : fd_(fd), locked_(locked) {}
    int fd_ = -1;
    bool locked_ = false;  // holds the exclusive flock taken by Open()
};

// unlink(2); returns FileError::None on success.
FileError DeleteFile(const std::string& path);

}  // namespace fw
