// ServiceStatus: what a watching host tells its operator after each call,
// beyond the module's own lines: one line when the database becomes
// unreachable (naming the driver's error) and one when it is reachable again
// (how long it was down, what was imported since), and the service status
// text (sd_notify STATUS=): "not importing: REASON" while the drop directory
// can import nothing, "database unreachable since HH:MM:SS, next try in N s"
// during an outage, else the counts.
//
// Used from the thread that calls Search. Not copyable.
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "framework/trace.h"
#include "host/Outcomes.h"

namespace host {

class ServiceStatus {
  public:
    using Note = std::function<void(fw::Priority, std::string_view)>;
    explicit ServiceStatus(Note note) : note_(std::move(note)) {}
    ServiceStatus(const ServiceStatus&) = delete;
    ServiceStatus& operator=(const ServiceStatus&) = delete;

    // report: what the call told. retryWait: the wait before the next try
    // while the database is unreachable.
    void AfterCall(const CallReport& report, std::chrono::milliseconds retryWait);

    // The status text, UTF-8: file names escaped as in the journal.
    std::string Text(const OutcomeTally& tally) const;

    bool DatabaseReachable() const { return !down_; }

  private:
    Note note_;
    bool down_ = false;
    std::time_t downSince_ = 0;
    std::chrono::steady_clock::time_point downAt_;
    long importedSinceDown_ = 0;
    std::chrono::milliseconds retryWait_{0};
    std::optional<std::string> notImporting_;
};

// "45 s", "3 min 5 s", "2 h 10 min".
std::string FormatDuration(std::chrono::seconds duration);

}  // namespace host
