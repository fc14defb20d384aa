// reservation-host [--module PATH] [--metrics FILE] REQUEST...
// reservation-host [--module PATH] [--interval SECONDS] [--metrics FILE] --watch REQUEST
//
// Loads the module and calls its Search export: once per request, or, with
// --watch (not on Windows), whenever booking files arrive in the request's
// drop directory, until SIGTERM or SIGINT. Then unloads it. A one-shot run
// ends with a summary line and an exit status that says whether a person is
// needed. One source for both platforms; what differs is in Platform.h.
#include <cstdio>
#include <exception>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "framework/outcome.h"
#include "host/DropContents.h"
#include "host/HostOptions.h"
#include "host/Metrics.h"
#include "host/ModuleLoader.h"
#include "host/Outcomes.h"
#include "host/Platform.h"
#include "host/Progress.h"

// The module reports each booking file's outcome, and a call's, here (found
// by name, hence exported from the executable; see framework/outcome.h).
extern "C" void ReservationHostOutcome(int outcome, const char* path) {
    try {
        host::HostOutcomes().Add(outcome, path != nullptr ? path : "");
    } catch (...) {
        // A count lost to a failed allocation must not unwind into the module.
    }
}

namespace {

// Exit statuses besides 0. kNeedsAPerson: bookings refused or failed, or a
// drop directory that cannot be scanned or imported from.
constexpr int kNeedsAPerson = 1;
constexpr int kModuleNotLoaded = 1;
constexpr int kUsage = 2;

void Usage(FILE* out) {
    std::fputs(
        "usage: reservation-host [--module PATH] [--metrics FILE] REQUEST...\n"
        "       reservation-host [--module PATH] [--interval SECONDS] [--metrics FILE]\n"
        "                        --watch REQUEST\n"
        "\n"
        "Loads the booking-import module and calls its Search export once for\n"
        "each REQUEST, in order, then unloads it. A request names the drop\n"
        "directory, the mode and the clerk:  DIRECTORY?MODE!CLERK\n"
        "  mode 1      import every booking file into the database, no questions\n"
        "  other modes show each booking for the clerk to confirm or cancel\n"
        "\n"
        "options:\n"
        "  --module PATH     the module to load (default: the one beside this\n"
        "                    program, else the installed one)\n"
        "  --watch           keep running: call Search whenever booking files are\n"
        "                    written or moved into the drop directory, until SIGTERM\n"
        "                    or SIGINT (not on Windows)\n"
        "  --interval SECS   with --watch, also call Search this often for files that\n"
        "                    were busy or failed earlier (default 60)\n"
        "  --metrics FILE    after every call, replace FILE with the counts in the\n"
        "                    Prometheus text format (one request only)\n"
        "  --version         show the version\n"
        "  -h, --help        show this text\n"
        "\n"
        "A one-shot run ends with the line \"N imported, N already imported,\n"
        "N refused, N busy, N failed, N left\" and exits with 0 when nothing was\n"
        "refused or failed, 1 when something was (or a drop directory is missing,\n"
        "unreadable or cannot be imported from, or the module cannot be loaded),\n"
        "2 on a usage error. On a terminal it shows its progress on standard error.\n"
        "\n"
        "examples: reservation-host '/var/spool/reservation/frontdesk?1!frontdesk'\n"
        "          reservation-host --watch '/var/spool/reservation/frontdesk?1!frontdesk'\n",
        out);
}

// Calls Search once per request; the exit status of the run.
int OneShot(host::ModuleLoader& module, const host::HostOptions& options) {
    int status = 0;
    std::set<std::string> scanned;
    host::OutcomeTally& tally = host::HostOutcomes();
    std::unique_ptr<host::MetricsFile> metrics;
    if (!options.metricsPath.empty())
        metrics = std::make_unique<host::MetricsFile>(options.metricsPath, host::Note);
    long calls = 0;
    bool reachable = true;
    for (const std::string& request : options.requests) {
        const std::string directory = host::DropDirectoryOf(request);
        if (directory.empty()) {
            status = kNeedsAPerson;  // the module says why, and scans nothing
        } else if (const std::string problem = host::DropDirectoryProblem(directory);
                   !problem.empty()) {
            // Search would pass over it without a word.
            host::Note(fw::Priority::Error,
                       "the drop directory " + directory + " " + problem + "; nothing imported");
            status = kNeedsAPerson;
            continue;
        } else {
            scanned.insert(directory);
        }
        tally.BeginCall();
        {
            const auto progress = host::ProgressLine::Start(directory);
            module.Search()(host::ClerkToGbk(request).c_str());
        }
        ++calls;
        const host::CallReport report = tally.EndCall();
        if (report.database != host::CallReport::Database::Untested)
            reachable = report.database == host::CallReport::Database::Reachable;
        const host::DropContents contents = host::ListDrop(directory);
        if (report.notImporting) {
            // Every booking of the directory failed to import.
            status = kNeedsAPerson;
            for (const auto& [name, version] : contents.waiting)
                tally.Add(static_cast<int>(fw::Outcome::Failed), directory + "/" + name);
        }
        if (metrics) {
            host::MetricsSnapshot snapshot{directory,          tally.Counts(),  calls,
                                           contents.Waiting(), contents.Held(), tally.LastImport(),
                                           reachable};
            metrics->Write(snapshot);
        }
    }

    long left = 0, held = 0;
    for (const std::string& directory : scanned) {
        const host::DropContents contents = host::ListDrop(directory);
        left += contents.Waiting();
        held += contents.Held();
    }
    const host::OutcomeCounts counts = tally.Counts();
    host::Note(fw::Priority::Info, host::SummaryText(counts, left, held));
    return host::NeedsAPerson(counts) ? kNeedsAPerson : status;
}

int Run(int argc, char** argv) {
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
    std::unique_ptr<host::WatchMode> watch;
    if (options->watch) {
        watched = host::DropDirectoryOf(options->requests.front());
        if (watched.empty()) {
            host::Note(fw::Priority::Error,
                       "the request \"" + options->requests.front() +
                           "\" names no drop directory (DIRECTORY?MODE!CLERK)");
            return kUsage;
        }
        watch = host::WatchMode::Prepare(error);
        if (!watch) {
            std::fprintf(stderr, "reservation-host: %s\n", error.c_str());
            return kUsage;
        }
    }

    const std::string modulePath =
        options->modulePath.empty() ? host::DefaultModulePath() : options->modulePath;
    host::ModuleLoader module;
    if (!module.Load(modulePath)) {
        host::Note(fw::Priority::Error,
                   "cannot load the module " + modulePath + ": " + module.Error());
        return kModuleNotLoaded;
    }

    const int status =
        watch ? watch->Run(module, host::ClerkToGbk(options->requests.front()), watched, *options)
              : OneShot(module, *options);
    module.Unload();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        host::Note(fw::Priority::Error, std::string("stopped: ") + e.what());
    } catch (...) {
        host::Note(fw::Priority::Error, "stopped: unknown error");
    }
    return kNeedsAPerson;
}
