// What waits in one drop directory, as the host sees it after a call: the
// booking files in the directory itself (regular files whose names do not
// start with "."), those left in this process's own claim (a file whose
// removal after its commit failed: the next call takes it up), and those held
// in the claims of other processes, which their hosts may never finish
// (DROP/.claims/TAG/NAME, names not starting with ".").
//
// Read through the platform layer (fw::Directory), so the same on both
// platforms. A listing is a snapshot: files come and go while it is read.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>

#include "framework/directory.h"

namespace host {

struct DropContents {
    bool readable = false;                           // false: the drop directory cannot be listed
    std::map<std::string, fw::FileVersion> waiting;  // name -> version, in the drop directory
    std::map<std::string, fw::FileVersion> mine;     // name -> version, in this process's claim
    std::map<std::string, fw::FileVersion> held;     // name -> version, in other claims

    // What this host's next call takes up.
    long Waiting() const {
        return (readable ? static_cast<long>(waiting.size()) : 0) + static_cast<long>(mine.size());
    }
    long Held() const { return static_cast<long>(held.size()); }
    // Whether a file of this name waits here or in a claim.
    bool Has(const std::string& name) const {
        return waiting.count(name) || mine.count(name) || held.count(name);
    }
};

DropContents ListDrop(const std::string& directory);

}  // namespace host
