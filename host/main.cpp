// reservation-host [--module PATH] REQUEST...
// reservation-host [--module PATH] [--interval SECONDS] --watch REQUEST
//
// Loads the module and calls its Search export: once per request, or, with
// --watch, whenever booking files arrive in the request's drop directory,
// until SIGTERM or SIGINT. Then unloads it.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "host/HostOptions.h"
#include "host/ModuleLoader.h"
#include "host/Progress.h"
#include "host/StopSignals.h"
#include "host/WatchLoop.h"

namespace {

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
        "  -h, --help        show this text\n"
        "\n"
        "On a terminal a one-shot run shows its progress on standard error.\n"
        "\n"
        "examples: reservation-host '/var/spool/reservation/frontdesk?1!frontdesk'\n"
        "          reservation-host --watch '/var/spool/reservation/frontdesk?1!frontdesk'\n",
        out);
}

// The host's own lines, in the log beside the module's trace lines.
void Note(std::string_view text) {
    const std::string line = "reservation-host: " + std::string(text) + "\n";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, line.data(), line.size());
}

int Watch(host::ModuleLoader& module, const std::string& request, const std::string& directory,
          const host::HostOptions& options, host::StopSignals& stop) {
    host::WatchLoop::Options loopOptions;
    loopOptions.directory = directory;
    loopOptions.interval = std::chrono::seconds(options.intervalSeconds);
    loopOptions.stopFd = stop.Fd();
    host::WatchLoop loop(
        loopOptions, [&] { module.Search()(request.c_str()); }, Note);
    if (!loop.Ok()) {
        Note("cannot watch " + directory + ": " + loop.Error());
        return 1;
    }
    loop.Run();
    const int signal = stop.Take();
    Note(std::string("stopping on ") + (signal == SIGINT ? "SIGINT" : "SIGTERM"));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto options = host::ParseHostOptions(argc, argv, error);
    if (!options) {
        std::fprintf(stderr, "reservation-host: %s\n", error.c_str());
        Usage(stderr);
        return 2;
    }
    if (options->help) {
        Usage(stdout);
        return 0;
    }

    std::string watched;
    if (options->watch) {
        watched = host::DropDirectoryOf(options->requests.front());
        if (watched.empty()) {
            Note("the request \"" + options->requests.front() +
                 "\" names no drop directory (DIRECTORY?MODE!CLERK)");
            return 2;
        }
    }
    // Before the module loads and its libraries start threads, so that the
    // stop signals reach only the loop's descriptor.
    std::unique_ptr<host::StopSignals> stop;
    if (options->watch) {
        stop = std::make_unique<host::StopSignals>();
        if (stop->Fd() < 0) {
            Note("cannot set up the stop signals");
            return 1;
        }
    }

    const std::string modulePath =
        options->modulePath.empty() ? host::DefaultModulePath() : options->modulePath;
    host::ModuleLoader module;
    if (!module.Load(modulePath)) {
        std::fprintf(stderr, "reservation-host: cannot load the module %s: %s\n",
                     modulePath.c_str(), module.Error().c_str());
        return 1;
    }

    int status = 0;
    if (options->watch) {
        status = Watch(module, options->requests.front(), watched, *options, *stop);
    } else {
        for (const std::string& request : options->requests) {
            const auto progress = host::ProgressLine::Start(host::DropDirectoryOf(request));
            module.Search()(request.c_str());
        }
    }
    module.Unload();
    return status;
}
