// Directory: a directory opened once, by which every later open, rename and
// removal is made relative to it (openat, renameat, unlinkat). A directory
// swapped in under the same path later, or a symbolic link put in its place,
// is never reached through it.
//
// Owns one descriptor; move-only. Every operation reports its failure as a
// FileError and never throws.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "fileerror.h"

namespace fw {

// What identifies one version of a file: the same file (device and inode)
// with the same size and modification time.
struct FileVersion {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch

    bool SameFile(const FileVersion& o) const { return device == o.device && inode == o.inode; }
    bool operator==(const FileVersion&) const = default;
};

// The version of the file an lstat/fstat describes.
FileVersion VersionOf(const struct stat& st);

class Directory {
  public:
    Directory() = default;
    ~Directory();
    Directory(Directory&& other) noexcept;
    Directory& operator=(Directory&& other) noexcept;
    Directory(const Directory&) = delete;
    Directory& operator=(const Directory&) = delete;

    // Opens path (absolute, or relative to the current directory) without
    // following a symbolic link in its last component. A closed object and
    // error on failure.
    static Directory Open(const std::string& path, FileError& error);

    // Opens the subdirectory name of this one, creating it first (with mode,
    // less the umask) when create is true and it is missing.
    Directory OpenChild(const std::string& name, bool create, unsigned mode,
                        FileError& error) const;

    bool IsOpen() const { return fd_ >= 0; }
    int Descriptor() const { return fd_; }

    // The version of the entry name (a symbolic link itself, not followed).
    // False when it cannot be read; isRegular tells a regular file.
    bool Stat(const std::string& name, FileVersion& version, bool* isRegular = nullptr) const;

    // Moves the entry from of this directory to the name to in target. With
    // noReplace an existing entry to is never overwritten: AlreadyExists.
    // Atomic on a local file system; with noReplace on a file system that
    // cannot rename without replacing, a hard link and an unlink do it.
    FileError Rename(const std::string& from, const Directory& target, const std::string& to,
                     bool noReplace) const;

    // unlinkat of a file, or of an empty subdirectory when directory is true.
    FileError Remove(const std::string& name, bool directory = false) const;

    // Sets the modification time of the directory itself to now.
    FileError Touch() const;

    // The modification time of the directory itself; 0 when unreadable.
    std::time_t ModifiedAt() const;

  private:
    explicit Directory(int fd) : fd_(fd) {}
    int fd_ = -1;
};

}  // namespace fw
