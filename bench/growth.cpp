// bench_growth: the module's cost per booking when the hotel tables already
// hold many guests, against empty tables.
//
//   bench_growth [--rows 100000] [--count 2000] [--rounds 5]
//                [--backend sqlite|postgresql|both]
//
// The floor (see bench_throughput) is measured beside the module, taking
// turns in rounds, to tell what the database itself makes of the bigger
// tables.
//
// The full database gets its rows (guest profiles, each with a reservation
// and an opening folio) in one transaction of three insert-select
// statements, then fresh statistics, as a database in daily use has them.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/Floor.h"
#include "tests/support/Encoding.h"
#include "tests/support/OdbcSession.h"
#include "tests/support/TempDir.h"

namespace {

constexpr double kTargetRatio = 1.2;

// Three insert-select statements that add rows guests, numbered from 1,
// with a reservation and a folio each. Assumes an empty GstProfile, so that
// guest i gets account i.
std::vector<std::string> FillStatements(ts::Backend backend, int rows) {
    const bool sqlite = backend == ts::Backend::SQLite;
    const std::string n =
        "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
        std::to_string(rows) + ") ";
    const std::string timeOfDay =
        sqlite ? "printf('%02d:%02d:%02d', i / 3600 % 24, i / 60 % 60, i % 60)"
               : "lpad((i / 3600 % 24)::text, 2, '0') || ':' || lpad((i / 60 % 60)::text, 2, '0') "
                 "|| ':' || "
                 "lpad((i % 60)::text, 2, '0')";
    const std::string orgDate = sqlite ? "date('2024-01-01', '+' || (i % 700) || ' days')"
                                       : "to_char(date '2024-01-01' + i % 700, 'YYYY-MM-DD')";
    const std::string arrival = sqlite ? "datetime('2024-01-01', '+' || (i % 700) || ' days')"
                                       : "timestamp '2024-01-01' + (i % 700) * interval '1 day'";
    const std::string departure = sqlite
                                      ? "datetime('2024-01-01', '+' || (i % 700 + 2) || ' days')"
                                      : "timestamp '2024-01-01' + (i % 700 + 2) * interval '1 day'";
    const std::string guest = ts::Gbk("老客");
    const std::string note = ts::Gbk("(预定公司携程 电话:021-5555) 无烟");
    const std::string folio = ts::Gbk("标准帐本");
    return {
        "insert into GstProfile (ChnName, Phone, OrgDate, OrgTime, OrgClerk) " + n + "select '" +
            guest + "' || i, '139' || i, " + orgDate + ", " + timeOfDay + ", 'fill' from n",
        "insert into Reservation (GstAcct, CRONum, Adults, ArrDate, DptDate, RmType, RmNumbers, "
        "Paymethod, "
        "RateCode, FolioRate, RmRate, ConsumStyle, MarketCode, Note, OrgDate, OrgTime, OrgClerk) " +
            n + "select i, 'OLD-' || i, 2, " + arrival + ", " + departure +
            ", 'STD', 1, 'CASH', 'RACK', '333', '333', 0, 'NET', '" + note + "', " + orgDate +
            ", " + timeOfDay + ", 'fill' from n",
        "insert into FOLIO (GstAcct, Code, Descp) " + n + "select i, 'A', '" + folio + "' from n",
    };
}

void Fill(ts::HotelDatabase& db, int rows) {
    bench::Stopwatch clock;
    ts::OdbcSession session(ts::kModuleConnect);
    session.ExecuteInTransaction(FillStatements(db.Backend(), rows));
    session.Execute(db.Backend() == ts::Backend::SQLite
                        ? "analyze"
                        : "analyze dbo.gstprofile, dbo.reservation, dbo.folio");
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

bool Measure(ts::Backend backend, int rows, int count, int rounds) {
    std::optional<Costs> empty, full;
    {
        ts::HotelDatabase db(backend);
        std::printf("%s, %d bookings in %d rounds, %s\n", ts::BackendName(backend), count, rounds,
                    bench::DurabilitySettings(db).c_str());
        empty = CostsPerBooking(count, rounds);
        if (!empty) return false;
        bench::PrintRate("module, empty tables", count, empty->module * count);
        bench::PrintRate("floor, empty tables", count, empty->floor * count);
    }
    {
        ts::HotelDatabase db(backend);
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
        for (ts::Backend backend : options.Backends()) {
            if (!bench::BackendReady(backend)) continue;
            if (!Measure(backend, rows, count, rounds)) return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_growth: %s\n", e.what());
        return 1;
    }
}
