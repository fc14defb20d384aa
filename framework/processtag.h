// Process tags: a name for this process that any process on any machine can
// read, and that a process on the same machine can check for life.
//
// A tag is "HOST+BOOT+PID+START": the machine's host name (characters other
// than letters, digits, "-", "." and "_" replaced by "_"), then, on POSIX,
// the first eight characters of the kernel's boot id, the process id and the
// process's start time in clock ticks since boot; on Win32 the session id,
// the process id and its creation time. It holds no "/" and does not start
// with ".", so it can name a directory.
//
// Life on POSIX is not read from /proc, which a process in another process
// id namespace, or under hidepid, cannot see: a process that has its tag also
// holds a beacon, an abstract Unix socket named after the tag, which the
// kernel takes away when the process ends. On Win32 it is the process itself,
// asked by id and creation time.
#pragma once

#include <string>

namespace fw {

// The tag of this process, computed once; on POSIX the first call also
// raises the beacon.
const std::string& ThisProcessTag();

enum class TagState {
    Running,       // this machine, and that very process still holds its tag
    Gone,          // this machine, and no process holds that tag (it ended, the machine
                   // rebooted, or the process never was one of ours)
    OtherMachine,  // another host name: nothing can be told from here
    NotATag,       // not of the form above
    Unknown,       // this machine, but its beacon cannot be probed now (no descriptor,
                   // no Unix sockets): the claim's lock must tell
};
TagState CheckProcessTag(const std::string& tag);

}  // namespace fw
