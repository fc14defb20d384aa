// What the module reported, counted by the host: the summary line of a
// one-shot run, its exit status, the service status and the metrics of a
// watch. The module reports through the C function ReservationHostOutcome
// that reservation-host exports (see framework/outcome.h); the host never
// reads trace lines to count.
//
// Counts are bookings, not attempts: a booking the module reports refused,
// busy or failed call after call is counted once for each of these outcomes
// while it waits. To keep that memory bounded the tally remembers only the
// bookings still waiting: an import forgets its file, and Keep() forgets
// every file no longer in the drop directory or a claim.
//
// The outcomes of a whole call (the database down, nothing importable) are
// gathered between BeginCall() and EndCall().
//
// OutcomeTally is thread-safe; HostOutcomes() is the process's one tally.
#pragma once

#include <ctime>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace host {

struct OutcomeCounts {
    long imported = 0;
    long alreadyImported = 0;
    long refused = 0;
    long busy = 0;
    long failed = 0;
};

// What one call told beyond the bookings' own outcomes.
struct CallReport {
    enum class Database {
        Untested,     // no booking reached the database
        Reachable,    // a booking was imported, found imported, or failed there (a
                      // failure for want of the database comes with Unreachable)
        Unreachable,  // the call stopped on a database error (databaseError)
    };
    Database database = Database::Untested;
    std::string databaseError;                // the driver's message, GBK
    std::optional<std::string> notImporting;  // why the call could import nothing
    long imported = 0;                        // imported and already imported
};

class OutcomeTally {
  public:
    // outcome: the value of fw::Outcome; others are ignored. path: the
    // booking file's path, or the reason of a call's outcome.
    void Add(int outcome, std::string_view path);
    OutcomeCounts Counts() const;

    // Starts gathering one call's report; EndCall() returns it.
    void BeginCall();
    CallReport EndCall();

    // Forgets the refused, busy and failed bookings for which waiting(path)
    // is false: their files are gone, and one back later is a new booking.
    template <typename Waiting>
    void Keep(Waiting&& waiting) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = counted_.begin(); it != counted_.end();)
            it = waiting(it->second) ? std::next(it) : counted_.erase(it);
    }
    // How many bookings are remembered (a bound for tests).
    std::size_t Remembered() const;

    // The wall-clock time of the last import; nullopt before the first.
    std::optional<std::time_t> LastImport() const;

    // For the service status: "12 imported, 2 refused, 0 busy, 1 failed;
    // last: imported a.txt at 08:12:03" (the last file's name without its
    // directory, its outcome and the local time it was reported). Raw
    // bytes: the caller makes them fit its channel.
    std::string StatusText() const;

  private:
    mutable std::mutex mutex_;
    OutcomeCounts counts_;
    std::set<std::pair<int, std::string>> counted_;
    CallReport call_;
    std::optional<std::time_t> lastImport_;
    std::string last_;
};

OutcomeTally& HostOutcomes();

// "N imported, N already imported, N refused, N busy, N failed, N left",
// with ", N held by other hosts" when bookings wait in other processes'
// claims.
std::string SummaryText(const OutcomeCounts& counts, long left, long heldElsewhere = 0);

// Whether a run with these counts needs a person: something was refused or failed.
inline bool NeedsAPerson(const OutcomeCounts& counts) {
    return counts.refused > 0 || counts.failed > 0;
}

}  // namespace host
