// ClaimLock: the lock a live claim holds on its directory in the claim area,
// so that another process can tell a claim that is being worked on from one
// whose process is gone, whatever that process's name, its process id
// namespace or /proc show. The lock is a file in the directory (name
// ".lock", a dot name the claim's scan passes over), held with an exclusive
// flock on POSIX and opened with share mode 0 on Win32; the operating system
// drops it when the process ends, however it ends.
//
// Move-only; owns the lock file's descriptor or handle and releases the lock
// when it goes (it does not remove the file). Never throws.
#pragma once

#include <cstdint>
#include <string>

#include "framework/directory.h"

namespace fw {

inline constexpr const char* kClaimLockName = ".lock";

class ClaimLock {
  public:
    enum class State {
        Taken,          // this object holds it now
        HeldElsewhere,  // another process holds it: its claim is alive
        Unknown,        // no lock could be tried here (no permission, no locks on this
                        // file system): nothing can be told from it
    };

    ClaimLock() = default;
    ~ClaimLock();
    ClaimLock(ClaimLock&& other) noexcept;
    ClaimLock& operator=(ClaimLock&& other) noexcept;
    ClaimLock(const ClaimLock&) = delete;
    ClaimLock& operator=(const ClaimLock&) = delete;

    // Takes the lock of the claim directory dir without waiting, creating the
    // lock file (with mode) when it is missing.
    static ClaimLock Take(const Directory& dir, unsigned mode, State& state);

    bool Held() const { return handle_ != -1; }

  private:
    std::intptr_t handle_ = -1;  // descriptor, or HANDLE; -1 when not held
};

}  // namespace fw
