// Another machine's view of a drop directory on one machine: a FUSE mirror
// of the directory (bindfs), with a device number of its own and no
// RENAME_NOREPLACE, as a network file system's client has. The mount goes
// with the object. Needs bindfs and /dev/fuse (root in CI): Available() says
// why not, for a test to skip with.
#pragma once

#include <string>

#include "tests/support/TempDir.h"

namespace ts {

class FuseMirror {
  public:
    // Mounts a mirror of directory; Path() is empty when it failed (Why()).
    explicit FuseMirror(const std::string& directory);
    ~FuseMirror();
    FuseMirror(const FuseMirror&) = delete;
    FuseMirror& operator=(const FuseMirror&) = delete;

    bool Mounted() const { return !path_.empty(); }
    const std::string& Why() const { return why_; }
    // The mirror of the directory.
    const std::string& Path() const { return path_; }

    // True when mirrors can be mounted here; otherwise why says what is missing.
    static bool Available(std::string* why);

  private:
    TempDir mountPoint_;
    std::string path_;
    std::string why_;
};

}  // namespace ts
