// bench_growth: the module's cost per booking when the hotel tables already
// hold many guests, against empty tables.
//
//   bench_growth [--rows 100000] [--count 2000] [--rounds 5]
//                [--backend sqlite|postgresql|mariadb|both] [--keys all|primary]
//
// --keys primary drops the schema's two secondary indexes (guest profiles by
// time and name, reservations by booking number) before the run, as in a
// hotel database that has only its primary keys.
//
// The floor (see bench_throughput) is measured beside the module, taking
// turns in rounds, to tell what the database itself makes of the bigger
// tables.
//
// The full database gets its rows from FillHotelTables (guest profiles, each
// with a reservation and an opening folio, then fresh statistics).
#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/Floor.h"
#include "bench/TableFill.h"
#include "tests/support/TempDir.h"

namespace {

constexpr double kTargetRatio = 1.2;

// The schema's secondary indexes, dropped for --keys primary.
void DropSecondaryIndexes(ts::HotelDatabase& db, ts::Backend backend) {
    switch (backend) {
        case ts::Backend::SQLite:
            db.Execute("drop index GstProfile_OrgTime_ChnName");
            db.Execute("drop index Reservation_CRONum");
            break;
        case ts::Backend::PostgreSQL:
            db.Execute("drop index dbo.gstprofile_orgtime_chnname");
            db.Execute("drop index dbo.reservation_cronum");
            break;
        case ts::Backend::MariaDB:
            db.Execute("drop index GstProfile_OrgTime_ChnName on GstProfile");
            db.Execute("drop index Reservation_CRONum on Reservation");
            break;
    }
}

void Fill(ts::HotelDatabase& db, int rows) {
    bench::Stopwatch clock;
    bench::FillHotelTables(db, rows);
    std::printf(
        "  filled %d guest profiles, reservations and folios in %.1f s (%ld profiles now)\n", rows,
        clock.Seconds(), db.Count("GstProfile"));
}

struct Costs {
    double module = 0;  // seconds per booking
    double floor = 0;
};

// Seconds per booking of count module imports and count floor bookings,
// taking turns in rounds; nullopt when not all were imported.
std::optional<Costs> CostsPerBooking(int count, int rounds) {
    double moduleSeconds = 0, floorSeconds = 0;
    int serial = 1;
    for (int round = 0; round < rounds; ++round) {
        const int n = count / rounds + (round < count % rounds ? 1 : 0);
        ts::TempDir drop;
        bench::WriteBookingFiles(drop.Path(), serial, n);
        serial += n;
        const bench::ImportRun run = bench::ImportDropDirectory(drop.Path());
        if (run.imported != n) {
            std::printf("  only %d of %d bookings imported; first other trace lines:\n",
                        run.imported, n);
            for (const std::string& line : run.firstProblems) std::printf("    %s\n", line.c_str());
            return std::nullopt;
        }
        moduleSeconds += run.seconds;
        floorSeconds += bench::RunFloor(serial, n);
        serial += n;
    }
    return Costs{moduleSeconds / count, floorSeconds / count};
}

bool Measure(ts::Backend backend, int rows, int count, int rounds, bool primaryKeysOnly) {
    std::optional<Costs> empty, full;
    {
        ts::HotelDatabase db(backend);
        if (primaryKeysOnly) DropSecondaryIndexes(db, backend);
        std::printf("%s, %d bookings in %d rounds, %s%s\n", ts::BackendName(backend), count, rounds,
                    bench::DurabilitySettings(db).c_str(),
                    primaryKeysOnly ? ", primary keys only" : "");
        empty = CostsPerBooking(count, rounds);
        if (!empty) return false;
        bench::PrintRate("module, empty tables", count, empty->module * count);
        bench::PrintRate("floor, empty tables", count, empty->floor * count);
    }
    {
        ts::HotelDatabase db(backend);
        if (primaryKeysOnly) DropSecondaryIndexes(db, backend);
        Fill(db, rows);
        full = CostsPerBooking(count, rounds);
        if (!full) return false;
        const std::string guests = std::to_string(rows) + " guests already in";
        bench::PrintRate(("module, " + guests).c_str(), count, full->module * count);
        bench::PrintRate(("floor, " + guests).c_str(), count, full->floor * count);
    }
    std::printf("  cost per booking full / empty: module %.2f (target at most %.2f), floor %.2f\n",
                full->module / empty->module, kTargetRatio, full->floor / empty->floor);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const bench::Options options(argc, argv);
        const int rows = options.Int("rows", 100000);
        const int count = options.Int("count", 2000);
        const int rounds = std::min(options.Int("rounds", 5), count);
        const std::string keys = options.Text("keys", "all");
        if (keys != "all" && keys != "primary") {
            std::fprintf(stderr, "bench_growth: --keys is all or primary\n");
            return 2;
        }
        for (ts::Backend backend : options.Backends()) {
            if (!bench::BackendReady(backend)) continue;
            if (!Measure(backend, rows, count, rounds, keys == "primary")) return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_growth: %s\n", e.what());
        return 1;
    }
}
