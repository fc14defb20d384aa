// Directory enumeration in the order the file system gives, "." and ".."
// included; every name matches. On POSIX it reads an open Directory through a
// descriptor of its own, so the scan sees the directory that was opened,
// whatever the path names later (owns the DIR stream); on Win32 it lists
// Path()\* with FindFirstFileA/FindNextFileA while the Directory's handle
// keeps that directory in place (owns the find handle).
#pragma once

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
    void* stream_ = nullptr;  // DIR*, or the Win32 find state
};

// Makes a path absolute against the current directory (no symlink
// resolution, no normalisation); an absolute path ("/..." on POSIX; "X:\...",
// "\\server\..." or "\..." on Win32) is returned as is.
std::string MakeAbsolute(const std::string& path);

// The path without the separators it ends in, except the one of a root ("/"
// on POSIX; "X:\" or "\" on Win32, where "/" separates too).
std::string TrimTrailingSeparators(std::string path);

// The path of the entry name in the directory dir: dir, the platform's
// separator ("/" on POSIX, "\" on Win32) unless dir ends in a separator
// already, and name.
std::string EntryPath(const std::string& dir, const std::string& name);

}  // namespace fw
