#include "tests/support/FuseMirror.h"

#include <unistd.h>

#include "tests/support/Command.h"

namespace ts {

bool FuseMirror::Available(std::string* why) {
    auto fail = [why](const char* reason) {
        if (why) *why = reason;
        return false;
    };
    if (RunCommand("command -v bindfs").second != 0) return fail("bindfs is not installed");
    if (access("/dev/fuse", R_OK | W_OK) != 0) return fail("no usable /dev/fuse here");
    return true;
}

FuseMirror::FuseMirror(const std::string& directory) {
    if (!Available(&why_)) return;
    const std::string mount = mountPoint_.File("mirror");
    const auto [output, status] = RunCommand("mkdir " + ShellQuote(mount) + " && bindfs " +
                                             ShellQuote(directory) + " " + ShellQuote(mount));
    if (status != 0) {
        why_ = "bindfs failed: " + output;
        return;
    }
    path_ = mount;
}

FuseMirror::~FuseMirror() {
    // Lazily, so that a descriptor a failed test left open cannot keep it.
    if (Mounted()) RunCommand("fusermount -u -z " + ShellQuote(path_));
}

}  // namespace ts
