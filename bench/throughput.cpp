// bench_throughput: bookings per second of the module's mode-1 import
// against the floor (the same rows written by five prepared statements on one
// connection), on SQLite and, when a test server is set up, PostgreSQL or
// MariaDB.
//
//   bench_throughput [--count N] [--backend sqlite|postgresql|mariadb|both]
//                    [--rounds R] [--pooling auto|always|never]
//                    [--only module|floor] [--dsn Keyword=value]...
//
// The module is measured twice: in this process (Search's body on a drop
// directory; the test support keeps the ODBC installer library loaded here)
// and in reservation-host, a child process that loads the module as the
// front-office program does. All runs write into one fresh database per
// backend, each with its own bookings, taking turns in R rounds (default 5;
// each host run includes the host's start, about 10 ms).
//
// When the module is slower than the floor by more than the backend's target,
// the run is repeated in a child process with the driver manager's connection
// pooling switched on (--pooled, which measures one backend).
//
// --only runs one side alone (to profile it) and prints no ratio. --dsn sets
// a driver keyword of the data source for every run, e.g. SyncPragma=FULL
// (SQLite) or Protocol=7.4-1 (PostgreSQL: no savepoint around each
// statement); a driver ignores the keywords of the other.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/ConnectionPooling.h"
#include "bench/DataSourceCopy.h"
#include "bench/Floor.h"
#include "bench/HostRun.h"
#include "tests/support/TempDir.h"

namespace {

double TargetRatio(ts::Backend backend) { return backend == ts::Backend::SQLite ? 1.25 : 1.5; }

// Runs this program again for one backend with pooling on; answers whether
// it ran to the end.
bool RunPooledChild(ts::Backend backend, int count, int rounds,
                    const std::vector<std::string>& dsn) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        std::string backendArg = std::string("--backend=") + ts::BackendName(backend);
        for (char& c : backendArg)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string countArg = "--count=" + std::to_string(count);
        std::vector<std::string> args = {"bench_throughput", "--pooled", backendArg, countArg,
                                         "--rounds=" + std::to_string(rounds)};
        for (const std::string& setting : dsn) args.push_back("--dsn=" + setting);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Seconds and bookings of one way of writing bookings, over all rounds.
struct Side {
    double seconds = 0;
    int bookings = 0;
};

// Reports a run that did not import all its bookings; answers whether all were.
bool AllImported(const char* who, int imported, int count, const std::vector<std::string>& lines) {
    if (imported == count) return true;
    std::printf("  %s imported only %d of %d bookings; first other trace lines:\n", who, imported,
                count);
    for (const std::string& line : lines) std::printf("    %s\n", line.c_str());
    return false;
}

// Answers module time over floor time (above 1: the module is slower), or a
// negative number when not every booking was imported. The floor, the module
// in this process and the module in the host take turns in rounds, so that a
// slow spell of the shared machine falls on all three alike.
double Measure(ts::Backend backend, int count, int rounds, bool pooled, const std::string& only,
               const std::vector<std::string>& dsn) {
    std::unique_ptr<bench::ConnectionPooling> pooling;
    if (pooled) pooling = std::make_unique<bench::ConnectionPooling>();
    ts::HotelDatabase db(backend);
    const bench::DataSourceCopy dataSource(db, pooled ? bench::PooledDriverName(backend) : "", dsn);

    std::string settings;
    for (const std::string& setting : dsn) settings += ", " + setting;
    std::printf("%s%s, %d bookings in %d rounds, %s%s\n", ts::BackendName(backend),
                pooled ? " with connection pooling" : "", count, rounds,
                bench::DurabilitySettings(db).c_str(), settings.c_str());

    Side floor, module, host;
    int serial = 1;
    for (int round = 0; round < rounds; ++round) {
        const int n = count / rounds + (round < count % rounds ? 1 : 0);
        if (only != "module") {
            floor.seconds += bench::RunFloor(serial, n);
            floor.bookings += n;
            serial += n;
        }
        if (only == "floor") continue;

        ts::TempDir drop;
        bench::WriteBookingFiles(drop.Path(), serial, n);
        serial += n;
        const bench::ImportRun run = bench::ImportDropDirectory(drop.Path());
        if (!AllImported("the module in this process", run.imported, n, run.firstProblems))
            return -1;
        module.seconds += run.seconds;
        module.bookings += n;

        ts::TempDir hostDrop;
        bench::WriteBookingFiles(hostDrop.Path(), serial, n);
        serial += n;
        const bench::HostRun hostRun = bench::RunHost(bench::DefaultHostPath(), hostDrop.Path());
        if (!AllImported("reservation-host", hostRun.imported, n, hostRun.otherLines)) return -1;
        host.seconds += hostRun.seconds;
        host.bookings += n;
    }

    if (floor.bookings > 0)
        bench::PrintRate("floor (5 prepared statements, 1 connection)", floor.bookings,
                         floor.seconds);
    if (module.bookings > 0) {
        bench::PrintRate(
            pooled ? "module in this process, pooled connections" : "module in this process",
            module.bookings, module.seconds);
        bench::PrintRate(pooled ? "module in reservation-host, pooled connections"
                                : "module in reservation-host",
                         host.bookings, host.seconds);
    }
    if (!only.empty()) return 0;

    const double inProcess = module.seconds / floor.seconds;
    const double inHost = host.seconds / floor.seconds;
    std::printf(
        "  module cost / floor cost: %.2f in this process, %.2f in the host (target at most "
        "%.2f)\n",
        inProcess, inHost, TargetRatio(backend));
    return std::max(inProcess, inHost);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const bench::Options options(argc, argv);
        const int count = options.Int("count", 2000);
        const int rounds = std::min(options.Int("rounds", 5), count);
        const bool pooled = options.Has("pooled");
        const std::string pooling = options.Text("pooling", "auto");
        const std::string only = options.Text("only", "");
        const std::vector<std::string> dsn = options.All("dsn");
        if (only != "" && only != "module" && only != "floor") {
            std::fprintf(stderr, "bench_throughput: --only is module or floor\n");
            return 2;
        }
        const std::vector<ts::Backend> backends = options.Backends();
        if (pooled && backends.size() != 1) {
            std::fprintf(stderr, "bench_throughput: --pooled measures one --backend\n");
            return 2;
        }

        for (ts::Backend backend : backends) {
            if (!bench::BackendReady(backend)) continue;
            const double ratio = Measure(backend, count, rounds, pooled, only, dsn);
            std::fflush(stdout);
            if (ratio < 0) return 1;
            if (pooled || !only.empty()) continue;
            if (pooling == "always" || (pooling == "auto" && ratio > TargetRatio(backend))) {
                if (!RunPooledChild(backend, count, rounds, dsn)) {
                    std::fprintf(stderr, "bench_throughput: the pooled run failed\n");
                    return 1;
                }
            }
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_throughput: %s\n", e.what());
        return 1;
    }
}
