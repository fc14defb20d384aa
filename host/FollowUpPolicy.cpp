#include "host/FollowUpPolicy.h"

#include <sys/inotify.h>
#include <sys/stat.h>

#include <utility>

#include "host/FileProbe.h"

namespace host {
namespace {

auto KeyOf(const fw::FileVersion& v) {
    return std::make_tuple(v.device, v.inode, v.size, v.modifiedNs);
}

}  // namespace

FollowUpPolicy::FollowUpPolicy(std::string directory) : directory_(std::move(directory)) {
    while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
}

std::set<FollowUpPolicy::Key> FollowUpPolicy::KeysOf(const DropContents& listing) {
    std::set<Key> keys;
    for (const auto* files : {&listing.waiting, &listing.mine, &listing.held})
        for (const auto& [name, version] : *files) keys.insert(KeyOf(version));
    return keys;
}

void FollowUpPolicy::Known(const DropContents& contents) { seen_ = KeysOf(contents); }

bool FollowUpPolicy::BringsNews(const DropBatch& batch) {
    std::set<Key> named;
    return Judge(batch, named);
}

bool FollowUpPolicy::AfterCall(const DropBatch& during, const DropContents& listing) {
    std::set<Key> next = KeysOf(listing);
    const bool news = Judge(during, next);
    seen_ = std::move(next);
    return news;
}

bool FollowUpPolicy::Judge(const DropBatch& batch, std::set<Key>& named) {
    bool news = batch.overflow || batch.back;
    for (const DropEvent& event : batch.files) {
        if (event.name.front() == '.') continue;  // a writer's temporary file, the claim area
        const std::string path = directory_ + "/" + event.name;
        struct stat st {};
        if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;  // imported, gone
        const Key key = KeyOf(fw::VersionOf(st));
        named.insert(key);
        if (event.mask & IN_MOVED_TO) {
            if (!seen_.insert(key).second) continue;
        } else if (OtherHolders(path) == Holders::Others) {
            held_[path] = Clock::now() + kRecheckFor;
            continue;
        } else {
            seen_.insert(key);
        }
        news = true;
    }
    return news;
}

bool FollowUpPolicy::RecheckHeld() {
    bool news = false;
    const auto now = Clock::now();
    for (auto it = held_.begin(); it != held_.end();) {
        struct stat st {};
        const bool gone = lstat(it->first.c_str(), &st) != 0 || !S_ISREG(st.st_mode);
        if (gone || now >= it->second) {
            it = held_.erase(it);
        } else if (OtherHolders(it->first) != Holders::Others) {
            seen_.insert(KeyOf(fw::VersionOf(st)));
            news = true;
            it = held_.erase(it);
        } else {
            ++it;
        }
    }
    return news;
}

}  // namespace host
