#include "host/Outcomes.h"

#include "framework/clock.h"

namespace host {
namespace {

constexpr const char* kOutcomeNames[] = {"imported", "already imported", "refused", "busy",
                                         "failed"};

}  // namespace

void OutcomeTally::Add(int outcome, std::string_view path) {
    std::lock_guard<std::mutex> lock(mutex_);
    long* counters[] = {&counts_.imported, &counts_.alreadyImported, &counts_.refused,
                        &counts_.busy, &counts_.failed};
    if (outcome < 0 || outcome >= static_cast<int>(std::size(counters))) return;
    ++*counters[outcome];

    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    last_ = std::string(kOutcomeNames[outcome]) + " " + std::string(name) + " at " +
            fw::ReadLocalClock().time;
}

OutcomeCounts OutcomeTally::Counts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

std::string OutcomeTally::StatusText() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text = std::to_string(counts_.imported + counts_.alreadyImported) + " imported, " +
                       std::to_string(counts_.refused) + " refused, " +
                       std::to_string(counts_.busy) + " busy, " + std::to_string(counts_.failed) +
                       " failed";
    if (!last_.empty()) text += "; last: " + last_;
    return text;
}

OutcomeTally& HostOutcomes() {
    static OutcomeTally tally;
    return tally;
}

std::string SummaryText(const OutcomeCounts& counts, long left) {
    return std::to_string(counts.imported) + " imported, " +
           std::to_string(counts.alreadyImported) + " already imported, " +
           std::to_string(counts.refused) + " refused, " + std::to_string(counts.busy) + " busy, " +
           std::to_string(counts.failed) + " failed, " + std::to_string(left) + " left";
}

}  // namespace host
