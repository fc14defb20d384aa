// WatchLoop: keeps calling Search for one drop directory.
//
// A call is made
//   - once at the start, for what is already waiting;
//   - when booking files are closed after writing or moved in; every event
//     queued by then is drained first, so a burst becomes one call;
//   - once more after a call during which bookings arrived that the host had
//     not seen waiting (FollowUpPolicy: the files the module puts back are
//     not news);
//   - after an inotify queue overflow (a full call: Search always scans the
//     whole directory);
//   - when the directory comes back after it was removed or moved away;
//   - every interval after the last call, for files that were busy or
//     failed earlier.
// After a call that stopped on a database error (the search function says
// so) the next call waits instead: firstRetry, doubling after each call
// that stops so again, up to the interval. Meanwhile news makes a call at
// once only the first time in the outage; later news waits for the retry.
// A call that reaches the database ends the outage; one that does not try
// the database (nothing waiting) leaves the wait as it is.
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
#include "host/DropContents.h"
#include "host/DropWatcher.h"
#include "host/FollowUpPolicy.h"
#include "host/Outcomes.h"

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
    Retry,          // the next try after a call stopped on a database error
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
        // The first wait after a call stopped on a database error.
        std::chrono::milliseconds firstRetry{1000};
    };

    // search: makes one call of Search and says whether it reached the
    // database.
    using Search = std::function<CallReport::Database()>;
    // note: one line for the log with its priority, without a trailing
    // newline (the host's own messages, not the module's).
    using Note = std::function<void(fw::Priority, std::string_view)>;
    // afterCall: runs after each call, once the loop has listed what waits
    // (Contents()) and set the next try (RetryWait()).
    WatchLoop(Options options, Search search, Note note, std::function<void()> afterCall = nullptr);
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
    // What waited in the drop directory right after the last call.
    const DropContents& Contents() const { return contents_; }
    // The wait before the next try while the database is unreachable; zero
    // when it is not.
    std::chrono::milliseconds RetryWait() const { return retryWait_; }

  private:
    void Call();
    // Whether news (files, an overflow) makes a call now; inside an outage
    // only the first news does.
    bool NewsCalls();
    Clock::duration TimeToNextEvent(Clock::time_point now) const;

    Options options_;
    Search search_;
    Note note_;
    std::function<void()> afterCall_;
    DropWatcher watcher_;
    FollowUpPolicy followUps_;
    bool started_ = false;
    bool followUpDue_ = false;
    bool reportedMissing_ = false;
    Clock::time_point nextInterval_;
    Clock::time_point nextMissingRetry_;
    int calls_ = 0;
    DropContents contents_;
    std::chrono::milliseconds retryWait_{0};
    bool newsCalledInOutage_ = false;
};

}  // namespace host
