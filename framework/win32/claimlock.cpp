#include "framework/claimlock.h"

#include <windows.h>

#include <utility>

namespace fw {
namespace {

HANDLE AsHandle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

ClaimLock::~ClaimLock() {
    if (Held()) CloseHandle(AsHandle(handle_));
}

ClaimLock::ClaimLock(ClaimLock&& other) noexcept : handle_(std::exchange(other.handle_, -1)) {}

ClaimLock& ClaimLock::operator=(ClaimLock&& other) noexcept {
    if (this != &other) {
        if (Held()) CloseHandle(AsHandle(handle_));
        handle_ = std::exchange(other.handle_, -1);
    }
    return *this;
}

ClaimLock ClaimLock::Take(const Directory& dir, unsigned /*mode*/, State& state) {
    state = State::Unknown;
    // Share mode 0: while one process has it open, every other open fails
    // with a sharing violation, on a file server too.
    const std::string path = dir.Path() + "\\" + kClaimLockName;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_SHARING_VIOLATION) state = State::HeldElsewhere;
        return ClaimLock();
    }
    state = State::Taken;
    ClaimLock lock;
    lock.handle_ = reinterpret_cast<std::intptr_t>(h);
    return lock;
}

}  // namespace fw
