// bench_ledger: what the import ledger costs per booking, on one backend:
// the module's mode-1 import in this process on one hotel database, taking
// turns with the BookingImport table and without it (renamed away between
// turns, as on a database from before the ledger), so that both sides meet
// the same machine, disk and server alike.
//
//   bench_ledger --backend sqlite|postgresql|mariadb [--count N] [--rounds R]
//                [--config shipped|pooled|stock] [--of module|rules]
//
// N bookings on each side (default 1000) in R rounds (default 10); the
// configuration as in bench_throughput (default shipped; MariaDB, which has
// no shipped data source, then runs pooled). --of rules measures the rules
// floor instead, writing the ledger's row and not writing it in turns: what
// the row costs the database when nothing else is in the way.
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
#include "tests/support/TempDir.h"

namespace {

// Renames the ledger table to name or back from it.
void RenameLedger(ts::HotelDatabase& db, const std::string& from, const std::string& to) {
    switch (db.Backend()) {
        case ts::Backend::PostgreSQL:
            return db.Execute("alter table dbo." + from + " rename to " + to);
        case ts::Backend::MariaDB:
            return db.Execute("rename table " + from + " to " + to);
        case ts::Backend::SQLite:
            return db.Execute("alter table " + from + " rename to " + to);
    }
}

int Run(ts::Backend backend, int count, int rounds, std::string config, bool rulesFloor) {
    if (config == "shipped" && bench::ReadShippedConfiguration(backend).driver.empty())
        config = "pooled";
    std::unique_ptr<bench::ConnectionPooling> pooling;
    std::string driver;
    std::vector<std::string> dsn;
    if (config == "shipped") {
        const bench::ShippedConfiguration shipped = bench::ReadShippedConfiguration(backend);
        pooling = std::make_unique<bench::ConnectionPooling>(shipped.odbcinstIni);
        driver = shipped.driver;
        dsn = shipped.settings;
    } else if (config == "pooled") {
        pooling = std::make_unique<bench::ConnectionPooling>();
        driver = bench::PooledDriverName(backend);
    }
    ts::HotelDatabase db(backend);
    if (!ts::HotelDatabase::HasLedger()) {
        std::fprintf(stderr, "bench_ledger: RESERVATION_TEST_NO_LEDGER is set\n");
        return 2;
    }
    const bench::DataSourceCopy dataSource(db, driver, dsn);
    const std::string table =
        backend == ts::Backend::PostgreSQL ? "bookingimport" : "BookingImport";
    const char* const who = rulesFloor ? "rules floor" : "module";
    std::printf("%s, %s, %s, %d bookings on each side in %d rounds, %s\n", who,
                ts::BackendName(backend), config.c_str(), count, rounds,
                bench::DurabilitySettings(db).c_str());

    double seconds[2] = {0, 0};  // with the table, without
    int serial = 1;
    for (int round = 0; round < rounds; ++round) {
        const int n = count / rounds + (round < count % rounds ? 1 : 0);
        // Which side goes first alternates, so neither always follows the
        // other's cache and disk state.
        for (int turn = 0; turn < 2; ++turn) {
            const int side = (round + turn) % 2;
            ts::TempDir drop;
            bench::WriteBookingFiles(drop.Path(), serial, n);
            if (rulesFloor) {
                seconds[side] += bench::RunRulesFloor(backend, drop.Path(), serial, n, side == 0);
                serial += n;
                continue;
            }
            serial += n;
            if (side == 1) RenameLedger(db, table, table + "_off");
            const bench::ImportRun run = bench::ImportDropDirectory(drop.Path());
            if (side == 1) RenameLedger(db, table + "_off", table);
            if (run.imported != n) {
                std::printf("  imported only %d of %d bookings\n", run.imported, n);
                for (const std::string& line : run.firstProblems)
                    std::printf("    %s\n", line.c_str());
                return 1;
            }
            seconds[side] += run.seconds;
        }
    }
    bench::PrintRate(
        rulesFloor ? "rules floor with the ledger's row" : "module with the ledger table", count,
        seconds[0]);
    bench::PrintRate(rulesFloor ? "rules floor without it" : "module without it", count,
                     seconds[1]);
    std::printf("  with / without: %.3f (%+.2f ms per booking)\n", seconds[0] / seconds[1],
                (seconds[0] - seconds[1]) * 1000 / count);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const bench::Options options(argc, argv);
        const std::vector<ts::Backend> backends = options.Backends();
        if (backends.size() != 1) {
            std::fprintf(stderr, "bench_ledger: name one --backend\n");
            return 2;
        }
        const std::string config = options.Text("config", "shipped");
        if (config != "shipped" && config != "pooled" && config != "stock") {
            std::fprintf(stderr, "bench_ledger: --config is shipped, pooled or stock\n");
            return 2;
        }
        if (!bench::BackendReady(backends[0])) return 1;
        const std::string of = options.Text("of", "module");
        if (of != "module" && of != "rules") {
            std::fprintf(stderr, "bench_ledger: --of is module or rules\n");
            return 2;
        }
        const int count = options.Int("count", 1000);
        return Run(backends[0], count, std::min(options.Int("rounds", 10), count), config,
                   of == "rules");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_ledger: %s\n", e.what());
        return 1;
    }
}
