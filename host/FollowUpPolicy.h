// FollowUpPolicy: whether the events that arrived while Search ran call for
// one more call.
//
// Search itself raises IN_CLOSE_WRITE: the module opens every booking file
// for reading and writing, also one it then leaves in place (held open by
// its writer, not importable, empty). Calling again for those closes would
// never end. So a file named by an event from within a call earns another
// call only when
//   - it was moved in (the module never renames), or
//   - it is new or changed since it was last offered to a follow-up call, and
//   - no other process holds it open (then its writer's close is still to
//     come, and that close, arriving between calls, starts a call itself).
// A file that stays unchanged is thus offered to at most one follow-up call;
// after that the periodic call takes it up. An overflow or the directory's
// return always calls.
//
// Not thread-safe; owned by the watch loop.
#pragma once

#include <map>
#include <string>

#include "host/DropWatcher.h"
#include "host/FileProbe.h"

namespace host {

class FollowUpPolicy {
  public:
    // directory: the absolute drop directory the event names are relative to.
    explicit FollowUpPolicy(std::string directory);

    // during: the events drained right after a call returned.
    bool NeedsAnotherCall(const DropBatch& during);

  private:
    void ForgetChangedFiles();

    std::string directory_;
    std::map<std::string, FileSignature> offered_;
};

}  // namespace host
