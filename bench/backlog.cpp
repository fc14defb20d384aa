// bench_backlog: a large backlog of booking files imported by the
// command-line host in a child process: how soon the first booking is
// committed, how much memory the host needs at its peak, and the bookings
// per second over the whole backlog (the drain rate).
//
//   bench_backlog [--files 50000] [--backend sqlite|postgresql|mariadb|all|both]
//                 [--config shipped|pooled|stock] [--wal] [--host PATH]
//                 [--preload LIBRARY]
//
// Default: SQLite in the shipped configuration (see bench/RunConfiguration.h).
// --preload loads LIBRARY into the host first (LD_PRELOAD), e.g.
// libodbcinst.so.2, to see what keeping it loaded changes.
// The first booking counts as committed when the host's trace line
// "imported ..." for it arrives (the module writes it after the commit and
// the file's removal). Peak memory is the child's ru_maxrss; the same host
// on an empty drop directory gives what loading alone costs.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/HostRun.h"
#include "bench/RunConfiguration.h"
#include "tests/support/TempDir.h"

namespace {

constexpr double kTargetFirstSeconds = 1.0;
constexpr long kTargetPeakKiB = 64 * 1024;

// One backlog on one backend; false when not every booking was imported.
bool Backlog(ts::Backend backend, const bench::Options& options) {
    const int files = options.Int("files", 50000);
    const std::string host = options.Text("host", bench::DefaultHostPath());
    const std::string preload = options.Text("preload", "");
    std::vector<std::string> env;
    if (!preload.empty()) env.push_back("LD_PRELOAD=" + preload);

    bench::RunConfiguration configuration(backend, options.Text("config", "shipped"), {},
                                          options.Has("wal"));
    ts::HotelDatabase db(backend);
    configuration.Apply(db);
    std::printf("%s backlog of %d booking files, %s, host %s%s%s, %s\n", ts::BackendName(backend),
                files, configuration.Describe().c_str(), host.c_str(),
                preload.empty() ? "" : " with ", preload.c_str(),
                bench::DurabilitySettings(db).c_str());

    ts::TempDir emptyDrop;
    const bench::HostRun idle = bench::RunHost(host, emptyDrop.Path(), env);
    std::printf("  host on an empty drop directory: %.2f s, peak %.1f MB\n", idle.seconds,
                idle.peakKiB / 1024.0);

    ts::TempDir drop;
    bench::Stopwatch writing;
    bench::WriteBookingFiles(drop.Path(), 1, files);
    std::printf("  %d booking files written in %.1f s\n", files, writing.Seconds());

    const bench::HostRun run = bench::RunHost(host, drop.Path(), env);
    for (const std::string& line : run.otherLines) std::printf("  host: %s\n", line.c_str());
    if (run.exitStatus != 0) std::printf("  the host ended with status %d\n", run.exitStatus);
    if (run.firstImported)
        std::printf("  first booking committed after %.3f s (target at most %.1f s)\n",
                    *run.firstImported, kTargetFirstSeconds);
    else
        std::printf("  no booking was imported\n");
    std::printf("  peak memory of the host: %.1f MB (target under %ld MB)\n", run.peakKiB / 1024.0,
                kTargetPeakKiB / 1024);
    bench::PrintRate("whole backlog (drain rate)", run.imported, run.seconds);
    return run.imported == files && run.exitStatus == 0;
}

}  // namespace

int main(int argc, char** argv) {
    return bench::ForEachBackend(argc, argv, "bench_backlog", {ts::Backend::SQLite}, Backlog);
}
