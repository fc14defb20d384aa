// What ExclusiveFile does alike on every platform; the opening, reading and
// closing are in posix/ and win32/.
#include "framework/exclusivefile.h"

#include <utility>

namespace fw {

ExclusiveFile::~ExclusiveFile() { Close(); }

ExclusiveFile::ExclusiveFile(ExclusiveFile&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      locked_(std::exchange(other.locked_, false)),
      proof_(other.proof_),
      version_(other.version_) {}

ExclusiveFile& ExclusiveFile::operator=(ExclusiveFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, -1);
        locked_ = std::exchange(other.locked_, false);
        proof_ = other.proof_;
        version_ = other.version_;
    }
    return *this;
}

}  // namespace fw
