// DropWatcher: the inotify watch on one drop directory.
//
// It reports booking files that were closed after writing or moved into the
// directory (IN_CLOSE_WRITE, IN_MOVED_TO), a queue overflow (the kernel
// dropped events, so anything may have arrived), and the directory itself
// going away and coming back. While the directory is missing the watcher
// watches its parent for the directory's re-creation; when the parent is
// missing too, only Rearm() (called by the owner at a short interval) can
// find it again.
//
// Owns one inotify descriptor. Not copyable; used from one thread.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

// One named event inside the drop directory.
struct DropEvent {
    std::string name;
    std::uint32_t mask = 0;  // IN_CLOSE_WRITE or IN_MOVED_TO
};

// What a batch of inotify events means for the scan.
struct DropBatch {
    bool overflow = false;  // IN_Q_OVERFLOW: events were lost
    bool gone = false;      // the watched directory was removed, moved or unmounted
    bool back = false;      // the directory exists again and is watched
    std::vector<DropEvent> files;

    bool Empty() const { return !overflow && !gone && !back && files.empty(); }
};

class DropWatcher {
  public:
    // directory: an absolute path. Sets up the watch when the directory exists.
    explicit DropWatcher(std::string directory);
    ~DropWatcher();
    DropWatcher(const DropWatcher&) = delete;
    DropWatcher& operator=(const DropWatcher&) = delete;

    // False when inotify itself could not be set up (see Error()).
    bool Ok() const { return fd_ >= 0; }
    const std::string& Error() const { return error_; }

    // The inotify descriptor, non-blocking, to poll for POLLIN.
    int Fd() const { return fd_; }
    const std::string& Directory() const { return directory_; }

    // True while the drop directory itself is watched.
    bool Watching() const { return dirWd_ >= 0; }

    // Watches the directory when it exists and is not yet watched, else its
    // parent for its return. True when the directory is watched afterwards.
    bool Rearm();

    // Reads every queued event without blocking and interprets it. A
    // directory that came back is re-watched before this returns (back set).
    DropBatch Drain();

    // Checks that the watched directory is still the one at the path (events
    // about its removal can be lost in an overflow). When it is not, the old
    // watch is dropped and Rearm() tried; returns false then.
    bool Verify();

  private:
    bool StillTheWatchedDirectory() const;
    void WatchParent();
    void DropParentWatch();
    void ForgetDirectory();

    std::string directory_;
    std::string parent_;
    std::string baseName_;
    int fd_ = -1;
    int dirWd_ = -1;
    int parentWd_ = -1;
    dev_t dirDevice_ = 0;
    ino_t dirInode_ = 0;
    std::string error_;
};

}  // namespace host
