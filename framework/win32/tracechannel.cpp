// The trace channel on Win32: the debugger's output (OutputDebugStringA),
// which DebugView or a debugger shows, and Wine with WINEDEBUG=+debugstr.
#include <windows.h>

#include <string>

#include "framework/sysdeps.h"
#include "framework/trace.h"

namespace fw {

void WriteTraceChannel(std::string_view line) {
    try {
        const std::string terminated(line);
        OutputDebugStringA(terminated.c_str());
    } catch (...) {
        // nowhere left to report a failing diagnostic channel
    }
}

// There is no journal on Windows.
bool StandardErrorIsJournal() { return false; }

}  // namespace fw
