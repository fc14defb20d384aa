// bench_throughput: bookings per second of the module's mode-1 import
// against the two floors of bench/Floor.h (the same rows written by five
// prepared statements on one connection; what the rules of the import demand,
// in plain ODBC), on SQLite and, when a test server is set up, PostgreSQL or
// MariaDB.
//
//   bench_throughput [--count N] [--backend sqlite|postgresql|mariadb|all|both]
//                    [--rounds R] [--config stock|shipped|both]
//                    [--pooling auto|always|never] [--only module|host|floor|rules]
//                    [--dsn Keyword=value]... [--callgrind]
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
// --only runs one side alone (to profile it, or to time it as a whole
// process) and prints no ratio. --dsn sets
// a driver keyword of the data source for every run, e.g. SyncPragma=FULL
// (SQLite) or Protocol=7.4-1 (PostgreSQL: no savepoint around each
// statement); a driver ignores the keywords of the other. --wal makes the
// SQLite database what scripts/make-db creates: write-ahead log, full sync.
//
// Besides the time, each side in this process counts its heap allocations
// and the ODBC handles it allocates per booking (bench/CallCount.h). Under
// valgrind --tool=callgrind --collect-atstart=no, --callgrind collects the
// instructions of each side's bookings after the first round (a warm-up)
// and dumps them per side ("floor", "rules floor", "module"); the host is
// not run.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
// Statements that do nothing, as valgrind's own are outside valgrind.
#define CALLGRIND_TOGGLE_COLLECT \
    do {                         \
    } while (0)
#define CALLGRIND_DUMP_STATS_AT(name) \
    do {                              \
        (void)(name);                 \
    } while (0)
#endif

#include "bench/BenchSupport.h"
#include "bench/CallCount.h"
#include "bench/Floor.h"
#include "bench/HostRun.h"
#include "bench/RunConfiguration.h"
#include "tests/support/TempDir.h"

namespace {

// Module over rules floor, everywhere; module over floor, on SQLite only.
constexpr double kTargetOverRules = 1.1;
constexpr double kTargetOverFloorSQLite = 1.25;

// Runs this program again for one backend with mode (--pooled or
// --shipped); answers whether it ran to the end.
bool RunChild(const char* mode, ts::Backend backend, int count, int rounds, const std::string& only,
              const std::vector<std::string>& dsn, bool wal) {
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
        if (wal) args.push_back("--wal");
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

// Seconds, bookings and counted calls of one way of writing bookings, over
// all rounds.
struct Side {
    Side(const char* label, const char* dumpName) : label(label), dumpName(dumpName) {}
    const char* label;
    const char* dumpName;  // callgrind's name for its instructions
    double seconds = 0;
    int bookings = 0;
    bench::CallCounts calls;

    // Runs one round of n bookings through run (which answers its seconds),
    // counting its calls; under --callgrind after the first round, collects
    // its instructions.
    template <class Run>
    void Round(int n, bool collect, Run run) {
        const bench::CallCounts before = bench::CountedCalls();
        if (collect) CALLGRIND_TOGGLE_COLLECT;
        seconds += run();
        if (collect) CALLGRIND_TOGGLE_COLLECT;
        const bench::CallCounts after = bench::CountedCalls();
        calls.allocations += after.allocations - before.allocations;
        calls.connectionHandles += after.connectionHandles - before.connectionHandles;
        calls.statementHandles += after.statementHandles - before.statementHandles;
        bookings += n;
    }

    void Print(bool counted) const {
        if (bookings == 0) return;
        bench::PrintRate(label, bookings, seconds);
        if (counted && bench::CallCountsAvailable())
            std::printf(
                "  %-48s %8.1f allocations, %.2f statement and %.2f connection handles each\n", "",
                static_cast<double>(calls.allocations) / bookings,
                static_cast<double>(calls.statementHandles) / bookings,
                static_cast<double>(calls.connectionHandles) / bookings);
    }
};

// Reports a run that did not import all its bookings; answers whether all were.
bool AllImported(const char* who, int imported, int count, const std::vector<std::string>& lines) {
    if (imported == count) return true;
    std::printf("  %s imported only %d of %d bookings; first other trace lines:\n", who, imported,
                count);
    for (const std::string& line : lines) std::printf("    %s\n", line.c_str());
    return false;
}

struct Run {
    int count = 0;
    int rounds = 0;
    bool pooled = false;
    bool shipped = false;
    bool wal = false;
    bool callgrind = false;
    std::string only;
    std::vector<std::string> dsn;
};

// Answers module time over rules floor time (above 1: the module is
// slower), or a negative number when not every booking was imported. The
// floors, the module in this process and the module in the host take turns
// in rounds, so that a slow spell of the shared machine falls on all alike.
double Measure(ts::Backend backend, const Run& run) {
    bench::RunConfiguration configuration(backend,
                                          run.shipped  ? "shipped"
                                          : run.pooled ? "pooled"
                                                       : "stock",
                                          run.dsn, run.wal);
    ts::HotelDatabase db(backend);
    configuration.Apply(db);
    std::printf("%s %s, %d bookings in %d rounds, %s\n", ts::BackendName(backend),
                configuration.Describe().c_str(), run.count, run.rounds,
                bench::DurabilitySettings(db).c_str());

    const bool any = run.only.empty();
    Side floor{"floor (prepared statements, 1 connection)", "floor"};
    Side rules{"rules floor (plain ODBC, what the rules demand)", "rules floor"};
    Side module{"module in this process", "module"};
    Side host{"module in reservation-host", ""};
    int serial = 1;
    for (int round = 0; round < run.rounds; ++round) {
        const int n = run.count / run.rounds + (round < run.count % run.rounds ? 1 : 0);
        const bool collect = run.callgrind && round > 0;
        if (any || run.only == "floor") {
            floor.Round(n, collect, [&] { return bench::RunFloor(serial, n); });
            serial += n;
            if (collect) CALLGRIND_DUMP_STATS_AT(floor.dumpName);
        }
        if (any || run.only == "rules") {
            ts::TempDir drop;
            bench::WriteBookingFiles(drop.Path(), serial, n);
            rules.Round(n, collect,
                        [&] { return bench::RunRulesFloor(backend, drop.Path(), serial, n); });
            serial += n;
            if (collect) CALLGRIND_DUMP_STATS_AT(rules.dumpName);
        }
        if (any || run.only == "module") {
            ts::TempDir drop;
            bench::WriteBookingFiles(drop.Path(), serial, n);
            bench::ImportRun imported;
            module.Round(n, collect, [&] {
                imported = bench::ImportDropDirectory(drop.Path());
                return imported.seconds;
            });
            serial += n;
            if (collect) CALLGRIND_DUMP_STATS_AT(module.dumpName);
            if (!AllImported("the module in this process", imported.imported, n,
                             imported.firstProblems))
                return -1;
        }
        if ((any || run.only == "host") && !run.callgrind) {
            ts::TempDir hostDrop;
            bench::WriteBookingFiles(hostDrop.Path(), serial, n);
            serial += n;
            const bench::HostRun hostRun =
                bench::RunHost(bench::DefaultHostPath(), hostDrop.Path());
            if (!AllImported("reservation-host", hostRun.imported, n, hostRun.otherLines))
                return -1;
            host.seconds += hostRun.seconds;
            host.bookings += n;
        }
    }

    floor.Print(true);
    rules.Print(true);
    module.Print(true);
    host.Print(false);
    if (!any || run.callgrind) return 0;

    const char* which = run.shipped  ? "shipped configuration"
                        : run.pooled ? "stock, pooled"
                                     : "stock, unpooled";
    const double overRules = module.seconds / rules.seconds;
    std::printf(
        "  module / rules floor, %s: %.2f in this process, %.2f in the host (target at most "
        "%.2f)\n",
        which, overRules, host.seconds / rules.seconds, kTargetOverRules);
    std::printf("  module / floor, %s: %.2f in this process, %.2f in the host%s\n", which,
                module.seconds / floor.seconds, host.seconds / floor.seconds,
                backend == ts::Backend::SQLite ? " (target at most 1.25)" : "");
    std::printf("  rules floor / floor: %.2f\n", rules.seconds / floor.seconds);
    return overRules;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const bench::Options options(argc, argv);
        Run run;
        run.count = options.Int("count", 2000);
        run.rounds = std::min(options.Int("rounds", 5), run.count);
        run.pooled = options.Has("pooled");
        run.shipped = options.Has("shipped");
        run.wal = options.Has("wal");
        run.callgrind = options.Has("callgrind");
        run.only = options.Text("only", "");
        run.dsn = options.All("dsn");
        const std::string pooling = options.Text("pooling", "never");
        const std::string configs = options.Text("config", "both");
        if (run.only != "" && run.only != "module" && run.only != "floor" && run.only != "rules" &&
            run.only != "host") {
            std::fprintf(stderr, "bench_throughput: --only is module, host, floor or rules\n");
            return 2;
        }
        const std::vector<ts::Backend> backends = options.Backends();
        if ((run.pooled || run.shipped) && backends.size() != 1) {
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
            if (run.pooled || run.shipped) {
                if (Measure(backend, run) < 0) return 1;
                continue;
            }
            // Each configuration in a child of its own: the driver manager
            // reads the pooling switch once per process.
            if (configs != "stock" && !RunChild("--shipped", backend, run.count, run.rounds,
                                                run.only, run.dsn, run.wal)) {
                std::fprintf(stderr,
                             "bench_throughput: the run in the shipped configuration failed\n");
                return 1;
            }
            if (configs == "shipped") continue;
            const double ratio = Measure(backend, run);
            std::fflush(stdout);
            if (ratio < 0) return 1;
            if (!run.only.empty()) continue;
            if (pooling == "always" || (pooling == "auto" && ratio > kTargetOverRules)) {
                if (!RunChild("--pooled", backend, run.count, run.rounds, run.only, run.dsn,
                              run.wal)) {
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
