// WatchLoop: keeps calling Search for one drop directory.
//
// A call is made
//   - once at the start, for what is already waiting;
//   - when booking files are closed after writing or moved in; every event
//     queued by then is drained first, so a burst becomes one call;
//   - once more after a call during which files arrived (FollowUpPolicy);
//   - after an inotify queue overflow (a full call: Search always scans the
//     whole directory);
//   - when the directory comes back after it was removed or moved away;
//   - every interval after the last call, for files that were busy or
//     failed earlier.
// Between calls it waits in ppoll on the inotify descriptor and the stop
// descriptor; a stop ends the loop after the call in hand, never inside one.
//
// Search runs in the thread that calls Run() or Step(). Not copyable.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "framework/trace.h"
#include "host/DropWatcher.h"
#include "host/FollowUpPolicy.h"

namespace host {

// Why Step() returned.
enum class Wake {
    Idle,           // the wait ended without a reason to call
    Start,          // the first call
    Files,          // booking files arrived
    FollowUp,       // files arrived during the previous call
    Overflow,       // the event queue overflowed
    DirectoryBack,  // the drop directory exists (again)
    Interval,       // the periodic call
    Stop,           // the stop descriptor became readable; nothing was called
};

class WatchLoop {
  public:
    using Clock = std::chrono::steady_clock;

    struct Options {
        std::string directory;  // absolute
        std::chrono::milliseconds interval{60000};
        int stopFd = -1;  // readable means stop; -1 for none
        // While the directory is missing and its parent cannot be watched,
        // how often to look for it.
        std::chrono::milliseconds missingRetry{1000};
    };

    // search: makes one call of Search. note: one line for the log with its
    // priority, without a trailing newline (the host's own messages, not the
    // module's).
    using Note = std::function<void(fw::Priority, std::string_view)>;
    WatchLoop(Options options, std::function<void()> search, Note note);
    WatchLoop(const WatchLoop&) = delete;
    WatchLoop& operator=(const WatchLoop&) = delete;

    // False when inotify could not be set up; Error() says why.
    bool Ok() const { return watcher_.Ok(); }
    const std::string& Error() const { return watcher_.Error(); }

    // Steps until a stop; returns after the call in hand has finished.
    void Run();

    // Waits at most maxWait for a reason, then makes at most one call.
    // Returns the reason of the call, Stop, or Idle. The stop descriptor is
    // not read; its owner does that.
    Wake Step(std::chrono::milliseconds maxWait);

    int Calls() const { return calls_; }
    const DropWatcher& Watcher() const { return watcher_; }

  private:
    void Call();
    Clock::duration TimeToNextEvent(Clock::time_point now) const;

    Options options_;
    std::function<void()> search_;
    Note note_;
    DropWatcher watcher_;
    FollowUpPolicy followUps_;
    bool started_ = false;
    bool followUpDue_ = false;
    bool reportedMissing_ = false;
    Clock::time_point nextInterval_;
    Clock::time_point nextMissingRetry_;
    int calls_ = 0;
};

}  // namespace host
