#include "host/Outcomes.h"

#include "framework/clock.h"
#include "framework/outcome.h"

namespace host {
namespace {

constexpr const char* kOutcomeNames[] = {"imported", "already imported", "refused", "busy",
                                         "failed"};

}  // namespace

void OutcomeTally::Add(int value, std::string_view path) {
    std::lock_guard<std::mutex> lock(mutex_);
    using fw::Outcome;
    const auto outcome = static_cast<Outcome>(value);
    switch (outcome) {
        case Outcome::DatabaseDown:
            call_.database = CallReport::Database::Unreachable;
            call_.databaseError = std::string(path);
            return;
        case Outcome::NotImporting:
            call_.notImporting = std::string(path);
            return;
        case Outcome::Imported:
        case Outcome::AlreadyImported:
            ++(outcome == Outcome::Imported ? counts_.imported : counts_.alreadyImported);
            ++call_.imported;
            lastImport_ = std::time(nullptr);
            for (Outcome kept : {Outcome::Refused, Outcome::Busy, Outcome::Failed})
                counted_.erase({static_cast<int>(kept), std::string(path)});
            break;
        case Outcome::Refused:
        case Outcome::Busy:
        case Outcome::Failed:
            if (counted_.insert({value, std::string(path)}).second)
                ++(outcome == Outcome::Refused ? counts_.refused
                   : outcome == Outcome::Busy  ? counts_.busy
                                               : counts_.failed);
            break;
        default:
            return;
    }
    if (outcome != Outcome::Refused && outcome != Outcome::Busy &&
        call_.database == CallReport::Database::Untested)
        call_.database = CallReport::Database::Reachable;

    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    last_ = std::string(kOutcomeNames[value]) + " " + std::string(name) + " at " +
            fw::ReadLocalClock().time;
}

OutcomeCounts OutcomeTally::Counts() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counts_;
}

void OutcomeTally::BeginCall() {
    std::lock_guard<std::mutex> lock(mutex_);
    call_ = CallReport{};
}

CallReport OutcomeTally::EndCall() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(call_, CallReport{});
}

std::size_t OutcomeTally::Remembered() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return counted_.size();
}

std::optional<std::time_t> OutcomeTally::LastImport() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastImport_;
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

std::string SummaryText(const OutcomeCounts& counts, long left, long heldElsewhere) {
    std::string text = std::to_string(counts.imported) + " imported, " +
                       std::to_string(counts.alreadyImported) + " already imported, " +
                       std::to_string(counts.refused) + " refused, " + std::to_string(counts.busy) +
                       " busy, " + std::to_string(counts.failed) + " failed, " +
                       std::to_string(left) + " left";
    if (heldElsewhere > 0) text += ", " + std::to_string(heldElsewhere) + " held by other hosts";
    return text;
}

}  // namespace host
