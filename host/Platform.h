// What the host does differently per platform, behind one set of
// declarations; posix/ and win32/ implement them and the build picks one.
// Everything else of reservation-host is one source for both.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "framework/trace.h"
#include "host/HostOptions.h"
#include "host/ModuleLoader.h"

namespace host {

// One of the host's own lines, "reservation-host: TEXT". On POSIX it goes
// where the module's trace lines go, standard error, with its priority in
// the journal; on Windows, whose trace channel is the debugger's output, to
// standard error.
void Note(fw::Priority priority, std::string_view text);

// Why Search could not scan directory (a name in the system's narrow
// encoding, GBK on a Chinese Windows): "does not exist", "is not a
// directory" or "cannot be read (REASON)"; empty when it can be listed.
std::string DropDirectoryProblem(const std::string& directory);

// reservation-host --watch: Search whenever bookings arrive, until a stop
// signal, with the service manager told of readiness and status. Not every
// platform has it.
class WatchMode {
  public:
    // Before the module is loaded (on POSIX this blocks the stop signals
    // before the module's libraries start threads). Null with error set where
    // it cannot be had.
    static std::unique_ptr<WatchMode> Prepare(std::string& error);
    virtual ~WatchMode() = default;

    // Watches the drop directory of request (the clerk already in GBK) until
    // stopped; the exit status.
    virtual int Run(ModuleLoader& module, const std::string& request, const std::string& directory,
                    const HostOptions& options) = 0;
};

}  // namespace host
