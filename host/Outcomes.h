// What the module reported about each booking file, counted by the host:
// the summary line of a one-shot run, its exit status and the service
// status of a watch. The module reports through the C function
// ReservationHostOutcome that reservation-host exports (see
// framework/outcome.h); the host never reads trace lines to count.
//
// OutcomeTally is thread-safe; HostOutcomes() is the process's one tally.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace host {

struct OutcomeCounts {
    long imported = 0;
    long alreadyImported = 0;
    long refused = 0;
    long busy = 0;
    long failed = 0;
};

class OutcomeTally {
  public:
    // outcome: the value of fw::Outcome; others are ignored.
    void Add(int outcome, std::string_view path);
    OutcomeCounts Counts() const;

    // For the service status: "12 imported, 2 refused, 0 busy, 1 failed;
    // last: imported a.txt at 08:12:03" (the last file's name without its
    // directory, its outcome and the local time it was reported).
    std::string StatusText() const;

  private:
    mutable std::mutex mutex_;
    OutcomeCounts counts_;
    std::string last_;
};

OutcomeTally& HostOutcomes();

// "N imported, N already imported, N refused, N busy, N failed, N left".
std::string SummaryText(const OutcomeCounts& counts, long left);

// Whether a run with these counts needs a person: something was refused or failed.
inline bool NeedsAPerson(const OutcomeCounts& counts) {
    return counts.refused > 0 || counts.failed > 0;
}

}  // namespace host
