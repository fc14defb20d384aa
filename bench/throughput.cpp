// bench_throughput: bookings per second of the module's mode-1 import
// against the floor (the same rows written by five prepared statements on one
// connection), on SQLite and, when a test cluster is set up, PostgreSQL.
//
//   bench_throughput [--count N] [--backend sqlite|postgresql|both]
//                    [--pooling auto|always|never] [--only module|floor]
//                    [--dsn Keyword=value]...
//
// The module is measured twice: in this process (Search's body on a drop
// directory; the test support keeps the ODBC installer library loaded here)
// and in reservation-host, a child process that loads the module as the
// front-office program does. All runs write into one fresh database per
// backend, the floor first, each with its own bookings.
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
bool RunPooledChild(ts::Backend backend, int count, const std::vector<std::string>& dsn) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        const std::string backendArg =
            std::string("--backend=") + (backend == ts::Backend::SQLite ? "sqlite" : "postgresql");
        const std::string countArg = "--count=" + std::to_string(count);
        std::vector<std::string> args = {"bench_throughput", "--pooled", backendArg, countArg};
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

// Answers module time over floor time (above 1: the module is slower), or a
// negative number when not every booking was imported.
double Measure(ts::Backend backend, int count, bool pooled, const std::string& only,
               const std::vector<std::string>& dsn) {
    std::unique_ptr<bench::ConnectionPooling> pooling;
    if (pooled) pooling = std::make_unique<bench::ConnectionPooling>();
    ts::HotelDatabase db(backend);
    const bench::DataSourceCopy dataSource(db, pooled ? bench::PooledDriverName(backend) : "", dsn);

    std::string settings;
    for (const std::string& setting : dsn) settings += ", " + setting;
    std::printf("%s%s, %d bookings, %s%s\n", ts::BackendName(backend),
                pooled ? " with connection pooling" : "", count,
                bench::DurabilitySettings(db).c_str(), settings.c_str());

    double floorSeconds = 0;
    if (only != "module") {
        floorSeconds = bench::RunFloor(1, count);
        bench::PrintRate("floor (5 prepared statements, 1 connection)", count, floorSeconds);
        if (only == "floor") return 0;
    }

    ts::TempDir drop;
    bench::WriteBookingFiles(drop.Path(), count + 1, count);
    const bench::ImportRun run = bench::ImportDropDirectory(drop.Path());
    bench::PrintRate(
        pooled ? "module in this process, pooled connections" : "module in this process",
        run.imported, run.seconds);
    if (run.imported != count) {
        std::printf("  only %d of %d bookings imported; first other trace lines:\n", run.imported,
                    count);
        for (const std::string& line : run.firstProblems) std::printf("    %s", line.c_str());
        return -1;
    }

    ts::TempDir hostDrop;
    bench::WriteBookingFiles(hostDrop.Path(), 2 * count + 1, count);
    const bench::HostRun host = bench::RunHost(bench::DefaultHostPath(), hostDrop.Path());
    bench::PrintRate(
        pooled ? "module in reservation-host, pooled connections" : "module in reservation-host",
        host.imported, host.seconds);
    if (host.imported != count) {
        std::printf("  only %d of %d bookings imported by the host (status %d):\n", host.imported,
                    count, host.exitStatus);
        for (const std::string& line : host.otherLines) std::printf("    %s\n", line.c_str());
        return -1;
    }
    if (only == "module") return 0;

    const double ratio = run.seconds / floorSeconds;
    std::printf(
        "  module cost / floor cost: %.2f in this process, %.2f in the host (target at most "
        "%.2f)\n",
        ratio, host.seconds / floorSeconds, TargetRatio(backend));
    return std::max(ratio, host.seconds / floorSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const bench::Options options(argc, argv);
        const int count = options.Int("count", 2000);
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
            const double ratio = Measure(backend, count, pooled, only, dsn);
            std::fflush(stdout);
            if (ratio < 0) return 1;
            if (pooled || !only.empty()) continue;
            if (pooling == "always" || (pooling == "auto" && ratio > TargetRatio(backend))) {
                if (!RunPooledChild(backend, count, dsn)) {
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
