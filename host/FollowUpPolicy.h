// FollowUpPolicy: which inotify events bring news, a booking the host has not
// yet seen waiting, and so call for a call of Search.
//
// Search itself raises events: the module claims a booking file by renaming
// it into the claim area (DROP/.claims/TAG/) and, when it does not import
// it (busy, refused, failed, the database down), renames it back, which
// raises IN_MOVED_TO in the drop directory (as NAME~2 when a newer file took
// its name). So does another host sharing the directory. Answering those
// with another call would never end while a booking keeps failing. A file
// moved in is news only when its version (device, inode, size, modification
// time; the rename keeps all four) is not one the host saw waiting: the drop
// directory and the claims are listed after every call (Known()), and every
// file an event brings is remembered as seen. IN_CLOSE_WRITE comes only from
// writers (the module opens booking files read-only): news unless another
// process still holds the file open, whose last close is still to come. That
// may also be the closing writer itself: the kernel queues the event before
// it lets go of the file, and a writer preempted there still holds it. So a
// file found held is looked at again (RecheckHeld()) for a while, and is news
// once it is let go of. An overflow or the directory's return is always news
// (the events say too little).
//
// Only the versions waiting at the last listing and those seen since are
// remembered. Not thread-safe; owned by the watch loop.
#pragma once

#include <chrono>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "host/DropContents.h"
#include "host/DropWatcher.h"

namespace host {

class FollowUpPolicy {
  public:
    // directory: the absolute drop directory the event names are relative to.
    explicit FollowUpPolicy(std::string directory);

    // What waits now: the files put back from it later are no news.
    void Known(const DropContents& contents);

    // Whether the batch brings news; the files it names are seen afterwards.
    bool BringsNews(const DropBatch& batch);

    // After a call: whether the events raised while it ran bring news, judged
    // by what waited before it; then what is seen is listing, made after the
    // call and before those events were drained, and the files they name. (A
    // file delivered between the listing and the drain is news by its event;
    // listing after draining would take it for a known one.)
    bool AfterCall(const DropBatch& during, const DropContents& listing);

    // Whether a file written and closed was found still held and is being
    // looked at again; how often to look.
    bool HoldsAny() const { return !held_.empty(); }
    static constexpr std::chrono::milliseconds kRecheckEvery{50};
    // Whether one of those files is let go of now: news. A file still held
    // after kRecheckFor is left to its writer's last close.
    bool RecheckHeld();

  private:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::seconds kRecheckFor{2};

    using Key = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t>;

    // The keys of what listing holds.
    static std::set<Key> KeysOf(const DropContents& listing);
    // BringsNews, adding the keys of the files it names to named.
    bool Judge(const DropBatch& batch, std::set<Key>& named);

    std::string directory_;
    std::set<Key> seen_;
    std::map<std::string, Clock::time_point> held_;  // path -> when to stop looking
};

}  // namespace host
