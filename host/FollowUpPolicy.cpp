#include "host/FollowUpPolicy.h"

#include <sys/inotify.h>

#include <utility>

namespace host {

FollowUpPolicy::FollowUpPolicy(std::string directory) : directory_(std::move(directory)) {
    while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
}

bool FollowUpPolicy::NeedsAnotherCall(const DropBatch& during) {
    ForgetChangedFiles();
    // Then the events say too little, or the scan has to start over anyway.
    if (during.overflow || during.back) return true;
    bool again = false;
    for (const DropEvent& event : during.files) {
        const std::string path = directory_ + "/" + event.name;
        const auto signature = SignatureOf(path);
        if (!signature) continue;  // imported and removed, or not a file

        if (event.mask & IN_MOVED_TO) {
            offered_[event.name] = *signature;
            again = true;
            continue;
        }
        const auto known = offered_.find(event.name);
        if (known != offered_.end() && known->second == *signature) continue;
        if (OtherHolders(path) == Holders::Others) continue;
        offered_[event.name] = *signature;
        again = true;
    }
    return again;
}

void FollowUpPolicy::ForgetChangedFiles() {
    for (auto it = offered_.begin(); it != offered_.end();) {
        const auto now = SignatureOf(directory_ + "/" + it->first);
        if (now && *now == it->second)
            ++it;
        else
            it = offered_.erase(it);
    }
}

}  // namespace host
