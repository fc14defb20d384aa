// Process tags: a name for this process that any process on any machine can
// read, and that a process on the same machine can check for life.
//
// A tag is "HOST+BOOT+PID+START": the machine's host name (characters other
// than letters, digits, "-", "." and "_" replaced by "_"), the first eight
// characters of the kernel's boot id, the process id and the process's start
// time in clock ticks since boot. Boot id and start time keep a reused process
// id, or one from before a reboot, from passing for the process that is gone.
// It holds no "/" and does not start with ".", so it can name a directory.
#pragma once

#include <string>

namespace fw {

// The tag of this process, computed once.
const std::string& ThisProcessTag();

enum class TagState {
    Running,       // this machine, and that very process still runs
    Gone,          // this machine, and that process has ended (or the machine rebooted)
    OtherMachine,  // another host name: nothing can be told from here
    NotATag,       // not of the form above
};
TagState CheckProcessTag(const std::string& tag);

}  // namespace fw
