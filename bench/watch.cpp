// bench_watch: the host in watch mode, as the service runs it, fed bookings
// in batches: its resident memory after each batch, to see whether it grows
// with the bookings it has imported.
//
//   bench_watch [--bookings 20000] [--batch 1000]
//               [--backend sqlite|postgresql|mariadb|all|both]
//               [--config shipped|pooled|stock] [--wal]
//
// Default: SQLite in the shipped configuration (bench/RunConfiguration.h).
// Each batch is written beside the drop directory and renamed into it, and
// the next is written once the host has reported every booking of the last
// imported. Prints the host's VmRSS after the first batch, after every
// fifth, and after the last, and the last over the first.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/HostRun.h"
#include "bench/RunConfiguration.h"
#include "tests/support/TempDir.h"

namespace {

constexpr double kTargetGrowth = 1.10;

bool Watch(ts::Backend backend, const bench::Options& options) {
    const int bookings = options.Int("bookings", 20000);
    const int batch = options.Int("batch", 1000);
    bench::RunConfiguration configuration(backend, options.Text("config", "shipped"), {},
                                          options.Has("wal"));
    ts::HotelDatabase db(backend);
    configuration.Apply(db);
    std::printf("%s, %d bookings in batches of %d to a watching host, %s, %s\n",
                ts::BackendName(backend), bookings, batch, configuration.Describe().c_str(),
                bench::DurabilitySettings(db).c_str());

    ts::TempDir staging, drop;
    bench::WatchingHost host(bench::DefaultHostPath(), drop.Path());
    long first = 0, last = 0, peak = 0;
    bench::Stopwatch clock;
    for (int done = 0; done < bookings;) {
        const int n = std::min(batch, bookings - done);
        bench::WriteBookingFiles(staging.Path(), done + 1, n);
        for (const auto& entry : std::filesystem::directory_iterator(staging.Path()))
            std::filesystem::rename(entry.path(),
                                    std::filesystem::path(drop.Path()) / entry.path().filename());
        done += n;
        if (host.WaitForImported(done) < done) {
            std::printf("  the host reported only part of %d bookings\n", done);
            for (const std::string& line : host.OtherLines())
                std::printf("  host: %s\n", line.c_str());
            return false;
        }
        last = host.ResidentKiB();
        if (first == 0) first = last;
        peak = std::max(peak, last);
        const int batchNumber = done / batch;
        if (batchNumber == 1 || batchNumber % 5 == 0 || done == bookings)
            std::printf("  after %6d bookings: VmRSS %.1f MB\n", done, last / 1024.0);
    }
    const double seconds = clock.Seconds();
    for (const std::string& line : host.OtherLines()) std::printf("  host: %s\n", line.c_str());
    std::printf(
        "  VmRSS after the last batch / after the first: %.3f (target at most %.2f), "
        "highest %.1f MB\n",
        static_cast<double>(last) / static_cast<double>(first), kTargetGrowth, peak / 1024.0);
    bench::PrintRate("all batches", bookings, seconds);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    return bench::ForEachBackend(argc, argv, "bench_watch", {ts::Backend::SQLite}, Watch);
}
