// The trace channel and the journal test on POSIX: standard error.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "framework/sysdeps.h"
#include "framework/trace.h"

namespace fw {

void WriteTraceChannel(std::string_view line) {
    const char* p = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // nowhere left to report a failing diagnostic channel
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

bool StandardErrorIsJournal() {
    const char* stream = std::getenv("JOURNAL_STREAM");
    if (stream == nullptr) return false;
    std::uintmax_t device = 0, inode = 0;
    if (std::sscanf(stream, "%" SCNuMAX ":%" SCNuMAX, &device, &inode) != 2) return false;
    struct stat st {};
    if (fstat(STDERR_FILENO, &st) != 0) return false;
    return static_cast<std::uintmax_t>(st.st_dev) == device &&
           static_cast<std::uintmax_t>(st.st_ino) == inode;
}

}  // namespace fw
