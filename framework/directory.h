// Directory: a directory opened once, by which every later open, rename and
// removal is made relative to it. On POSIX through its descriptor (openat,
// renameat, unlinkat): a directory swapped in under the same path later, or a
// symbolic link put in its place, is never reached through it. On Win32 it
// holds a directory handle (for the times, and refusing a junction or link
// at open) and names its entries by the path it was opened with (MoveFileExA,
// DeleteFileA, CreateDirectoryA): a directory renamed away and replaced under
// that path later is reached there.
//
// Owns one descriptor or handle; move-only. Every operation reports its failure as a
// FileError and never throws.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>

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

    bool IsOpen() const { return handle_ != -1; }
    // The POSIX descriptor; meaningless on Win32.
    int Descriptor() const { return static_cast<int>(handle_); }
    // The path it was opened with, absolute when that was.
    const std::string& Path() const { return path_; }

    // The permission bits of the directory (with setgid); 0700 when they
    // cannot be read. Win32 has ACLs instead, inherited by new entries: 0700.
    unsigned Permissions() const;
    // Sets them; nothing on Win32.
    void SetPermissions(unsigned mode) const;

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

    // The modification time of the directory itself, seconds since the
    // epoch; 0 when unreadable.
    std::int64_t ModifiedAt() const;

  private:
    Directory(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    std::intptr_t handle_ = -1;  // descriptor, or HANDLE; -1 (INVALID_HANDLE_VALUE) when closed
    std::string path_;
};

}  // namespace fw
