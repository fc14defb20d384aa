// What the watch loop can learn about one booking file without disturbing
// it: whether another process holds it open right now.
#pragma once

#include <string>

namespace host {

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
