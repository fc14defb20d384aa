#include "host/WatchLoop.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <utility>

#include "host/HostOptions.h"
#include "host/Platform.h"

namespace host {
namespace {

constexpr auto kInfo = fw::Priority::Info;
constexpr auto kWarning = fw::Priority::Warning;

}  // namespace

WatchLoop::WatchLoop(Options options, Search search, Note note, std::function<void()> afterCall)
    : options_(std::move(options)),
      search_(std::move(search)),
      note_(std::move(note)),
      afterCall_(std::move(afterCall)),
      watcher_(options_.directory),
      followUps_(options_.directory) {}

void WatchLoop::Run() {
    while (Step(std::chrono::hours(24)) != Wake::Stop) {
    }
}

WatchLoop::Clock::duration WatchLoop::TimeToNextEvent(Clock::time_point now) const {
    Clock::duration wait = nextInterval_ - now;
    if (!watcher_.Watching()) wait = std::min(wait, nextMissingRetry_ - now);
    return std::max(wait, Clock::duration::zero());
}

Wake WatchLoop::Step(std::chrono::milliseconds maxWait) {
    const std::string& dir = options_.directory;
    if (!started_) {
        started_ = true;
        const auto now = Clock::now();
        nextInterval_ = now + options_.interval;
        nextMissingRetry_ = now + options_.missingRetry;
        if (watcher_.Watching()) {
            note_(kInfo, "watching " + dir);
            followUps_.Known(ListDrop(dir));
            Call();
            return Wake::Start;
        }
        // Missing, or there but not readable to this user: the operator's
        // remedy differs.
        const std::string problem = DropDirectoryProblem(dir);
        note_(kWarning, "the drop directory " + dir + " " +
                            (problem.empty() ? "cannot be watched" : problem) + "; waiting for it");
        return Wake::Idle;
    }

    Clock::duration wait = followUpDue_
                               ? Clock::duration::zero()
                               : std::min<Clock::duration>(maxWait, TimeToNextEvent(Clock::now()));
    if (followUps_.HoldsAny())
        wait = std::min<Clock::duration>(wait, FollowUpPolicy::kRecheckEvery);
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    const struct timespec timeout {
        static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)
    };
    struct pollfd fds[2] = {{options_.stopFd, POLLIN, 0}, {watcher_.Fd(), POLLIN, 0}};
    const int ready = ppoll(fds, 2, &timeout, nullptr);
    if (ready > 0 && (fds[0].revents & POLLIN)) return Wake::Stop;

    Wake why = followUpDue_ ? Wake::FollowUp : Wake::Idle;
    followUpDue_ = false;
    if (ready > 0 && (fds[1].revents & POLLIN)) {
        const DropBatch batch = watcher_.Drain();
        if (batch.gone)
            note_(kWarning, "the drop directory " + dir + " is gone; waiting for it to come back");
        if (batch.back) {
            note_(kInfo, "watching " + dir + " again");
            why = Wake::DirectoryBack;
        } else if (followUps_.BringsNews(batch) && watcher_.Watching() && why == Wake::Idle &&
                   NewsCalls()) {
            why = batch.overflow ? Wake::Overflow : Wake::Files;
        }
    }

    if (why == Wake::Idle && followUps_.HoldsAny() && followUps_.RecheckHeld() &&
        watcher_.Watching() && NewsCalls())
        why = Wake::Files;

    auto now = Clock::now();
    if (!watcher_.Watching() && now >= nextMissingRetry_) {
        nextMissingRetry_ = now + options_.missingRetry;
        if (watcher_.Rearm()) {
            note_(kInfo, "watching " + dir + " again");
            why = Wake::DirectoryBack;
        }
    }
    if (why == Wake::Idle && now >= nextInterval_) {
        if (!watcher_.Verify()) {
            if (watcher_.Watching())
                note_(kInfo, "watching " + dir + " again");
            else
                note_(kWarning,
                      "the drop directory " + dir + " is gone; waiting for it to come back");
            nextMissingRetry_ = now + options_.missingRetry;
        }
        if (watcher_.Watching())
            why = retryWait_.count() > 0 ? Wake::Retry : Wake::Interval;
        else
            nextInterval_ = now + options_.interval;
    }
    if (why == Wake::Idle) return Wake::Idle;
    Call();
    return why;
}

bool WatchLoop::NewsCalls() {
    if (retryWait_.count() == 0) return true;
    return !std::exchange(newsCalledInOutage_, true);
}

void WatchLoop::Call() {
    ++calls_;
    const CallReport::Database database = search_();
    if (database == CallReport::Database::Unreachable) {
        retryWait_ = retryWait_.count() == 0 ? std::min(options_.firstRetry, options_.interval)
                                             : std::min(retryWait_ * 2, options_.interval);
    } else if (database == CallReport::Database::Reachable) {
        retryWait_ = std::chrono::milliseconds(0);
        newsCalledInOutage_ = false;
    }
    nextInterval_ = Clock::now() + (retryWait_.count() > 0 ? retryWait_ : options_.interval);

    // The events of the call are judged against what waited before it, and
    // the listing, made before they are drained, is what later put-backs
    // will be judged against.
    contents_ = ListDrop(options_.directory);
    const DropBatch during = watcher_.Drain();
    if (during.gone)
        note_(kWarning,
              "the drop directory " + options_.directory + " is gone; waiting for it to come back");
    if (during.back) note_(kInfo, "watching " + options_.directory + " again");
    followUpDue_ = followUps_.AfterCall(during, contents_) && NewsCalls();
    if (afterCall_) afterCall_();
}

}  // namespace host
