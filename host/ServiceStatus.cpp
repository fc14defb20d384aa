#include "host/ServiceStatus.h"

#include "framework/clock.h"

namespace host {
namespace {

std::string LocalTime(std::time_t t) {
    std::tm local{};
    if (!fw::ToLocalTime(t, local)) return "?";
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

long WholeSeconds(std::chrono::milliseconds wait) {
    return static_cast<long>((wait.count() + 999) / 1000);
}

}  // namespace

std::string FormatDuration(std::chrono::seconds duration) {
    const long s = static_cast<long>(duration.count());
    if (s < 60) return std::to_string(s) + " s";
    if (s < 3600) return std::to_string(s / 60) + " min " + std::to_string(s % 60) + " s";
    return std::to_string(s / 3600) + " h " + std::to_string(s % 3600 / 60) + " min";
}

void ServiceStatus::AfterCall(const CallReport& report, std::chrono::milliseconds retryWait) {
    retryWait_ = retryWait;
    // Every call that can import nothing says so: one that did not (mended,
    // or nothing left to import) ends it.
    notImporting_ = report.notImporting;

    if (down_) importedSinceDown_ += report.imported;
    if (report.database == CallReport::Database::Unreachable && !down_) {
        down_ = true;
        downSince_ = std::time(nullptr);
        downAt_ = std::chrono::steady_clock::now();
        importedSinceDown_ = report.imported;
        note_(fw::Priority::Error, "database unreachable since " + LocalTime(downSince_) + ": " +
                                       fw::TraceGbk(report.databaseError) + "; next try in " +
                                       std::to_string(WholeSeconds(retryWait)) +
                                       " s, then after doubling waits up to the interval");
    } else if (report.database == CallReport::Database::Reachable && down_) {
        down_ = false;
        const auto down = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - downAt_);
        note_(fw::Priority::Info, "database reachable again after " + FormatDuration(down) +
                                      " (unreachable since " + LocalTime(downSince_) + "); " +
                                      std::to_string(importedSinceDown_) +
                                      " bookings imported since");
    }
}

std::string ServiceStatus::Text(const OutcomeTally& tally) const {
    std::string text;
    if (notImporting_)
        text = "not importing: " + *notImporting_;
    else if (down_)
        return "database unreachable since " + LocalTime(downSince_) + ", next try in " +
               std::to_string(WholeSeconds(retryWait_)) + " s";
    else
        text = tally.StatusText();
    return fw::JournalText(text);
}

}  // namespace host
