// bench_throughput: bookings per second of the module's mode-1 import
// against the floor (the same rows written by five prepared statements on one
// connection), on SQLite and, when a test server is set up, PostgreSQL or
// MariaDB.
//
//   bench_throughput [--count N] [--backend sqlite|postgresql|mariadb|both]
//                    [--rounds R] [--config stock|shipped|both]
//                    [--pooling auto|always|never] [--only module|floor]
//                    [--dsn Keyword=value]...
//
// The module is measured twice: in this process (Search's body on a drop
// directory; the test support keeps the ODBC installer library loaded here)
// and in reservation-host, a child process that loads the module as the
// front-office program does. All runs write into one fresh database per
// backend, each with its own bookings, taking turns in R rounds (default 5;
// each host run includes the host's start, about 10 ms).
//
// Two configurations, each in a process of its own: stock (the data source
// as the test support writes it, the driver by its path, no pooling) and
// shipped (--shipped: packaging/odbcinst.ini through ODBCSYSINI, which pools
// connections, and the driver name and keywords of
// packaging/odbc-<backend>.ini; the floor runs on the same data source).
// --config picks one (default both). --pooling always (or auto: when stock
// misses the target) adds a stock run with bare pooling (--pooled).
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

// Runs this program again for one backend with mode (--pooled or
// --shipped); answers whether it ran to the end.
bool RunChild(const char* mode, ts::Backend backend, int count, int rounds, const std::string& only,
              const std::vector<std::string>& dsn) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        std::string backendArg = std::string("--backend=") + ts::BackendName(backend);
        for (char& c : backendArg)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string countArg = "--count=" + std::to_string(count);
        std::vector<std::string> args = {"bench_throughput", mode, backendArg, countArg,
                                         "--rounds=" + std::to_string(rounds)};
        if (!only.empty()) args.push_back("--only=" + only);
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
double Measure(ts::Backend backend, int count, int rounds, bool pooled, bool shipped,
               const std::string& only, std::vector<std::string> dsn) {
    std::unique_ptr<bench::ConnectionPooling> pooling;
    std::string driver;
    const char* config = " (stock: driver by path, no pooling)";
    if (shipped) {
        bench::ShippedConfiguration configuration = bench::ReadShippedConfiguration(backend);
        if (configuration.driver.empty()) {
            std::printf("%s: no data source shipped; no shipped configuration to measure\n",
                        ts::BackendName(backend));
            return 0;
        }
        pooling = std::make_unique<bench::ConnectionPooling>(configuration.odbcinstIni);
        driver = configuration.driver;
        dsn.insert(dsn.begin(), configuration.settings.begin(), configuration.settings.end());
        config = " in the shipped configuration";
    } else if (pooled) {
        pooling = std::make_unique<bench::ConnectionPooling>();
        driver = bench::PooledDriverName(backend);
        config = " with connection pooling";
    }
    ts::HotelDatabase db(backend);
    const bench::DataSourceCopy dataSource(db, driver, dsn);

    std::string settings;
    if (!driver.empty()) settings += ", Driver=" + driver;
    for (const std::string& setting : dsn) settings += ", " + setting;
    std::printf("%s%s, %d bookings in %d rounds, %s%s\n", ts::BackendName(backend), config, count,
                rounds, bench::DurabilitySettings(db).c_str(), settings.c_str());

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
        bench::PrintRate(pooled || shipped ? "module in this process, pooled connections"
                                           : "module in this process",
                         module.bookings, module.seconds);
        bench::PrintRate(pooled || shipped ? "module in reservation-host, pooled connections"
                                           : "module in reservation-host",
                         host.bookings, host.seconds);
    }
    if (!only.empty()) return 0;

    const double inProcess = module.seconds / floor.seconds;
    const double inHost = host.seconds / floor.seconds;
    std::printf(
        "  module cost / floor cost, %s: %.2f in this process, %.2f in the host (target at most "
        "%.2f)\n",
        shipped  ? "shipped configuration"
        : pooled ? "stock, pooled"
                 : "stock, unpooled",
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
        const bool shipped = options.Has("shipped");
        const std::string pooling = options.Text("pooling", "never");
        const std::string configs = options.Text("config", "both");
        const std::string only = options.Text("only", "");
        const std::vector<std::string> dsn = options.All("dsn");
        if (only != "" && only != "module" && only != "floor") {
            std::fprintf(stderr, "bench_throughput: --only is module or floor\n");
            return 2;
        }
        const std::vector<ts::Backend> backends = options.Backends();
        if ((pooled || shipped) && backends.size() != 1) {
            std::fprintf(stderr,
                         "bench_throughput: --pooled and --shipped measure one --backend\n");
            return 2;
        }
        if (configs != "both" && configs != "stock" && configs != "shipped") {
            std::fprintf(stderr, "bench_throughput: --config is stock, shipped or both\n");
            return 2;
        }

        for (ts::Backend backend : backends) {
            if (!bench::BackendReady(backend)) continue;
            if (pooled || shipped) {
                if (Measure(backend, count, rounds, pooled, shipped, only, dsn) < 0) return 1;
                continue;
            }
            // Each configuration in a child of its own: the driver manager
            // reads the pooling switch once per process.
            if (configs != "stock" && !RunChild("--shipped", backend, count, rounds, only, dsn)) {
                std::fprintf(stderr,
                             "bench_throughput: the run in the shipped configuration failed\n");
                return 1;
            }
            if (configs == "shipped") continue;
            const double ratio = Measure(backend, count, rounds, false, false, only, dsn);
            std::fflush(stdout);
            if (ratio < 0) return 1;
            if (!only.empty()) continue;
            if (pooling == "always" || (pooling == "auto" && ratio > TargetRatio(backend))) {
                if (!RunChild("--pooled", backend, count, rounds, only, dsn)) {
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
