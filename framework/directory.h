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
#include <ctime>
#include <string>
#include <utility>

#include "fileerror.h"

namespace fw {

// What identifies one version of a file: the same file (device and inode)
// with the same size and modification time. The change time and the link
// count come with it: the change time is set by the file system's own clock
// at every change (a write, a rename, a new link, a new modification time),
// and no writer can set it back.
struct FileVersion {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedNs = 0;  // modification time, nanoseconds since the epoch
    std::int64_t changedNs = 0;   // change time (ctime), nanoseconds since the epoch
    std::uint64_t links = 1;      // hard links

    bool SameFile(const FileVersion& o) const { return device == o.device && inode == o.inode; }
    bool operator==(const FileVersion&) const = default;
};

// The version of the file an lstat/fstat describes.
FileVersion VersionOf(const struct stat& st);

// A time stamp in nanoseconds since the epoch, held at the ends of the range
// where a writer set one beyond it (touch -d can).
std::int64_t NanosecondsOf(const struct timespec& t);

// What an entry of a directory is, not following a symbolic link.
enum class EntryKind { Regular, Directory, SymbolicLink, Other };

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

    // The permission bits of the directory (0777: never the set-id bits,
    // which a sandbox may forbid to set and which a directory made inside a
    // setgid directory inherits anyway); 0700 when they cannot be read. Win32
    // has ACLs instead, inherited by new entries: 0700.
    unsigned Permissions() const;
    // Sets the permission bits of mode (0777), keeping the set-id bits the
    // directory has; nothing on Win32.
    FileError SetPermissions(unsigned mode) const;

    // The version of the entry name (a symbolic link itself, not followed).
    // False when it cannot be read; kind tells what it is.
    bool Stat(const std::string& name, FileVersion& version, EntryKind* kind = nullptr) const;

    // Moves the entry from of this directory to the name to in target.
    // Without noReplace an existing entry to is replaced; atomic, also on a
    // network file system, so that of several processes moving one entry
    // exactly one succeeds and the others get NotFound. With noReplace an
    // existing entry to is never overwritten (AlreadyExists); on a file system
    // that cannot rename without replacing, a hard link and an unlink of from
    // do it, and when from cannot be unlinked (another process moved it
    // meanwhile) the link is taken back and that error returned, so that the
    // entry is never in both places.
    FileError Rename(const std::string& from, const Directory& target, const std::string& to,
                     bool noReplace) const;

    // unlinkat of a file, or of an empty subdirectory when directory is true.
    FileError Remove(const std::string& name, bool directory = false) const;

    // Sets the modification time of the directory itself to now, by the
    // file system's clock.
    FileError Touch() const;

    // The file system's clock now, in nanoseconds since the epoch: the change
    // time the directory itself gets from a Touch(). On a network file system
    // that is the server's clock, whatever this machine's says. False when the
    // directory cannot be touched.
    bool FileSystemNow(std::int64_t& ns) const;

    // The modification time of the directory itself, in nanoseconds since
    // the epoch; 0 when unreadable.
    std::int64_t ModifiedAtNs() const;

  private:
    Directory(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
    std::intptr_t handle_ = -1;  // descriptor, or HANDLE; -1 (INVALID_HANDLE_VALUE) when closed
    std::string path_;
};

}  // namespace fw
