// What the watch loop can learn about one booking file without disturbing
// it: whether it is still the same content (a signature from lstat), and
// whether another process holds it open right now.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace host {

// Identity and last change of a regular file. Two equal signatures mean the
// file has not been written or replaced in between.
struct FileSignature {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    long long changedNs = 0;

    bool operator==(const FileSignature&) const = default;
};

// The signature of the regular file at path; nullopt when there is none
// (missing, a directory, a symbolic link, ...).
std::optional<FileSignature> SignatureOf(const std::string& path);

enum class Holders {
    None,     // nobody else has the file open
    Others,   // another descriptor is open on it: its writer is not done
    Unknown,  // no lease could be taken here (not the owner, no CAP_LEASE, ...)
};

// Whether any other descriptor is open on the file, asked the way the module
// asks: a write lease, which the kernel refuses while one is. The file is
// opened read-only, so its closing raises no IN_CLOSE_WRITE, and the lease
// is dropped at once.
Holders OtherHolders(const std::string& path);

}  // namespace host
