#include "host/DropWatcher.h"

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace host {
namespace {

constexpr std::uint32_t kFileEvents = IN_CLOSE_WRITE | IN_MOVED_TO;
constexpr std::uint32_t kSelfGone = IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT;
// IN_EXCL_UNLINK: a booking file the module deleted while a writer still
// had it open must not report that writer's close.
constexpr std::uint32_t kDirectoryMask =
    kFileEvents | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
constexpr std::uint32_t kParentMask =
    IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

DropWatcher::DropWatcher(std::string directory) : directory_(std::move(directory)) {
    std::string trimmed = directory_;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    const std::size_t slash = trimmed.rfind('/');
    if (slash != std::string::npos && trimmed != "/") {
        parent_ = slash == 0 ? "/" : trimmed.substr(0, slash);
        baseName_ = trimmed.substr(slash + 1);
    }
    fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::string("inotify: ") + std::strerror(errno);
        return;
    }
    Rearm();
}

DropWatcher::~DropWatcher() {
    if (fd_ >= 0) ::close(fd_);
}

bool DropWatcher::Rearm() {
    if (fd_ < 0) return false;
    if (dirWd_ >= 0) return true;
    auto watchDirectory = [this] {
        const int wd = inotify_add_watch(fd_, directory_.c_str(), kDirectoryMask);
        if (wd < 0) return false;
        dirWd_ = wd;
        struct stat st {};
        if (stat(directory_.c_str(), &st) == 0) {
            dirDevice_ = st.st_dev;
            dirInode_ = st.st_ino;
        }
        return true;
    };
    if (watchDirectory()) {
        DropParentWatch();
        return true;
    }
    WatchParent();
    // The directory may have been created between the two watches.
    if (watchDirectory()) {
        DropParentWatch();
        return true;
    }
    return false;
}

bool DropWatcher::StillTheWatchedDirectory() const {
    if (dirWd_ < 0) return false;
    struct stat st {};
    return stat(directory_.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_dev == dirDevice_ &&
           st.st_ino == dirInode_;
}

DropBatch DropWatcher::Drain() {
    DropBatch batch;
    if (fd_ < 0) return batch;
    bool parentSawDirectory = false;

    alignas(struct inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (const char* p = buffer; p < buffer + n;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(p);
            p += sizeof(struct inotify_event) + event->len;

            if (event->mask & IN_Q_OVERFLOW) {
                batch.overflow = true;
            } else if (dirWd_ >= 0 && event->wd == dirWd_) {
                if (event->mask & kSelfGone) {
                    batch.gone = true;
                    ForgetDirectory();
                } else if ((event->mask & kFileEvents) && !(event->mask & IN_ISDIR) &&
                           event->len > 0) {
                    batch.files.push_back({event->name, event->mask & kFileEvents});
                }
            } else if (parentWd_ >= 0 && event->wd == parentWd_) {
                if (event->mask & kSelfGone) {
                    DropParentWatch();
                } else if ((event->mask & IN_ISDIR) && event->len > 0 && baseName_ == event->name) {
                    parentSawDirectory = true;
                }
            }
        }
    }

    // Lost events may have hidden the directory's removal or replacement.
    if (batch.overflow && dirWd_ >= 0 && !StillTheWatchedDirectory()) {
        batch.gone = true;
        ForgetDirectory();
    }
    if (dirWd_ < 0 && (batch.gone || parentSawDirectory || batch.overflow) && Rearm())
        batch.back = true;
    return batch;
}

bool DropWatcher::Verify() {
    if (dirWd_ < 0 || StillTheWatchedDirectory()) return true;
    ForgetDirectory();
    Rearm();
    return false;
}

void DropWatcher::WatchParent() {
    if (parentWd_ >= 0 || baseName_.empty()) return;
    parentWd_ = inotify_add_watch(fd_, parent_.c_str(), kParentMask);
}

void DropWatcher::DropParentWatch() {
    if (parentWd_ >= 0) inotify_rm_watch(fd_, parentWd_);
    parentWd_ = -1;
}

void DropWatcher::ForgetDirectory() {
    // After IN_MOVE_SELF the watch still follows the moved directory; after
    // IN_DELETE_SELF the kernel has removed it already and this fails harmlessly.
    if (dirWd_ >= 0) inotify_rm_watch(fd_, dirWd_);
    dirWd_ = -1;
}

}  // namespace host
