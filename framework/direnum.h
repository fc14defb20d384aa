// Directory enumeration in the order the file system gives, "." and ".."
// included; every name matches. Reads an open Directory through a descriptor
// of its own, so the scan sees the directory that was opened, whatever the
// path names later. Owns the DIR stream.
#pragma once

#include <dirent.h>

#include <string>

#include "directory.h"

namespace fw {

class DirectoryScan {
  public:
    DirectoryScan() = default;
    ~DirectoryScan();
    DirectoryScan(const DirectoryScan&) = delete;
    DirectoryScan& operator=(const DirectoryScan&) = delete;

    // Starts the enumeration of directory. False when it cannot be read.
    bool Start(const Directory& directory);

    // Fetches the next entry name; false at the end (or when the directory
    // went away under the scan).
    bool Next(std::string& name);

    void End();

  private:
    DIR* dir_ = nullptr;
};

// Makes a path absolute against the current directory (no symlink
// resolution, no normalisation); a path starting with "/" is returned as is.
std::string MakeAbsolute(const std::string& path);

}  // namespace fw
