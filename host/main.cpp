// reservation-host [--module PATH] REQUEST...
// reservation-host [--module PATH] [--interval SECONDS] --watch REQUEST
//
// Loads the module and calls its Search export: once per request, or, with
// --watch, whenever booking files arrive in the request's drop directory,
// until SIGTERM or SIGINT. Then unloads it. A one-shot run ends with a
// summary line and an exit status that says whether a person is needed.
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "framework/trace.h"
#include "host/HostOptions.h"
#include "host/ModuleLoader.h"
#include "host/Outcomes.h"
#include "host/Progress.h"
#include "host/StopSignals.h"
#include "host/WatchLoop.h"

// The module reports each booking file's outcome here (found with dlsym,
// hence exported from the executable; see framework/outcome.h).
extern "C" __attribute__((visibility("default"))) void ReservationHostOutcome(int outcome,
                                                                              const char* path) {
    try {
        host::HostOutcomes().Add(outcome, path != nullptr ? path : "");
    } catch (...) {
        // A count lost to a failed allocation must not unwind into the module.
    }
}

namespace {

// Exit statuses besides 0. kNeedsAPerson: bookings refused or failed, or a
// drop directory that cannot be scanned.
constexpr int kNeedsAPerson = 1;
constexpr int kModuleNotLoaded = 1;
constexpr int kUsage = 2;

void Usage(FILE* out) {
    std::fputs(
        "usage: reservation-host [--module PATH] REQUEST...\n"
        "       reservation-host [--module PATH] [--interval SECONDS] --watch REQUEST\n"
        "\n"
        "Loads the booking-import module and calls its Search export once for\n"
        "each REQUEST, in order, then unloads it. A request names the drop\n"
        "directory, the mode and the clerk:  DIRECTORY?MODE!CLERK\n"
        "  mode 1      import every booking file into the database, no questions\n"
        "  other modes show each booking for the clerk to confirm or cancel\n"
        "\n"
        "options:\n"
        "  --module PATH     the module to load (default: reservation.so beside this\n"
        "                    program, else the installed one)\n"
        "  --watch           keep running: call Search whenever booking files are\n"
        "                    written or moved into the drop directory, until SIGTERM\n"
        "                    or SIGINT\n"
        "  --interval SECS   with --watch, also call Search this often for files that\n"
        "                    were busy or failed earlier (default 60)\n"
        "  --version         show the version\n"
        "  -h, --help        show this text\n"
        "\n"
        "A one-shot run ends with the line \"N imported, N already imported,\n"
        "N refused, N busy, N failed, N left\" and exits with 0 when nothing was\n"
        "refused or failed, 1 when something was (or a drop directory is missing\n"
        "or unreadable, or the module cannot be loaded), 2 on a usage error.\n"
        "On a terminal it shows its progress on standard error.\n"
        "\n"
        "examples: reservation-host '/var/spool/reservation/frontdesk?1!frontdesk'\n"
        "          reservation-host --watch '/var/spool/reservation/frontdesk?1!frontdesk'\n",
        out);
}

// The host's own lines, in the log beside the module's trace lines.
void Note(fw::Priority priority, std::string_view text) {
    fw::Trace(priority, "reservation-host: %.*s\n", static_cast<int>(text.size()), text.data());
}

int Watch(host::ModuleLoader& module, const std::string& request, const std::string& directory,
          const host::HostOptions& options, host::StopSignals& stop) {
    host::WatchLoop::Options loopOptions;
    loopOptions.directory = directory;
    loopOptions.interval = std::chrono::seconds(options.intervalSeconds);
    loopOptions.stopFd = stop.Fd();
    host::WatchLoop loop(
        loopOptions,
        [&] {
            module.Search()(request.c_str());
            sd_notifyf(0, "STATUS=%s", host::HostOutcomes().StatusText().c_str());
        },
        Note);
    if (!loop.Ok()) {
        Note(fw::Priority::Error, "cannot watch " + directory + ": " + loop.Error());
        return 1;
    }
    // Ready once the module is loaded and what was waiting has been scanned
    // (or the missing directory has been reported).
    loop.Step(std::chrono::milliseconds(0));
    if (!loop.Watcher().Watching())
        sd_notifyf(0, "STATUS=waiting for the drop directory %s", directory.c_str());
    sd_notify(0, "READY=1");
    loop.Run();
    sd_notify(0, "STOPPING=1");
    const int signal = stop.Take();
    Note(fw::Priority::Info,
         std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    return 0;
}

// Calls Search once per request; the exit status of the run.
int OneShot(host::ModuleLoader& module, const std::vector<std::string>& requests) {
    int status = 0;
    std::set<std::string> scanned;
    for (const std::string& request : requests) {
        const std::string directory = host::DropDirectoryOf(request);
        if (directory.empty()) {
            status = kNeedsAPerson;  // the module says why, and scans nothing
        } else if (const std::string problem = host::DropDirectoryProblem(directory);
                   !problem.empty()) {
            // Search would pass over it without a word.
            Note(fw::Priority::Error,
                 "the drop directory " + directory + " " + problem + "; nothing imported");
            status = kNeedsAPerson;
            continue;
        } else {
            scanned.insert(directory);
        }
        const auto progress = host::ProgressLine::Start(directory);
        module.Search()(host::ClerkToGbk(request).c_str());
    }

    long left = 0;
    for (const std::string& directory : scanned)
        left += std::max(0L, host::CountWaitingFiles(directory));
    const host::OutcomeCounts counts = host::HostOutcomes().Counts();
    Note(fw::Priority::Info, host::SummaryText(counts, left));
    return host::NeedsAPerson(counts) ? kNeedsAPerson : status;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = host::ParseHostOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "reservation-host: %s (try --help)\n", error.c_str());
        return kUsage;
    }
    if (options->help) {
        Usage(stdout);
        return 0;
    }
    if (options->version) {
        std::printf("reservation-host %s\n", RESERVATION_VERSION);
        return 0;
    }

    std::string watched;
    if (options->watch) {
        watched = host::DropDirectoryOf(options->requests.front());
        if (watched.empty()) {
            Note(fw::Priority::Error, "the request \"" + options->requests.front() +
                                          "\" names no drop directory (DIRECTORY?MODE!CLERK)");
            return kUsage;
        }
    }
    // Before the module loads and its libraries start threads, so that the
    // stop signals reach only the loop's descriptor.
    std::unique_ptr<host::StopSignals> stop;
    if (options->watch) {
        stop = std::make_unique<host::StopSignals>();
        if (stop->Fd() < 0) {
            Note(fw::Priority::Error, "cannot set up the stop signals");
            return 1;
        }
    }

    const std::string modulePath =
        options->modulePath.empty() ? host::DefaultModulePath() : options->modulePath;
    host::ModuleLoader module;
    if (!module.Load(modulePath)) {
        Note(fw::Priority::Error, "cannot load the module " + modulePath + ": " + module.Error());
        return kModuleNotLoaded;
    }

    const int status = options->watch ? Watch(module, host::ClerkToGbk(options->requests.front()),
                                              watched, *options, *stop)
                                      : OneShot(module, options->requests);
    module.Unload();
    return status;
}
