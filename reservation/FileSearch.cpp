#include "reservation/FileSearch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "framework/directory.h"
#include "framework/direnum.h"
#include "framework/exclusivefile.h"
#include "framework/gbktext.h"
#include "framework/outcome.h"
#include "framework/sha256.h"
#include "framework/trace.h"
#include "recordlayer/CDBException.h"
#include "reservation/BookingClaim.h"
#include "reservation/ImportBooking.h"
#include "reservation/reservationDialog.h"

namespace resv {

namespace {

Handled DefaultHandler(int mode, BookingClaim& claim) {
    return mode == 1 ? ImportBooking(claim) : ShowConfirmDialog(claim);
}

BookingHandler& Handler() {
    static BookingHandler handler = DefaultHandler;
    return handler;
}

std::atomic<bool> searchRunning{false};
std::atomic<std::uint64_t> searchCalls{0};

// The versions of booking files refused for their content. An unchanged file
// is passed over without a word until the module is loaded again; a changed
// one (size, modification time, identity) is tried again. Bounded, so that a
// directory full of refused files cannot grow it without end.
// A hard link counts: the same file with one link less is tried again.
using VersionKey =
    std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t, std::uint64_t>;
std::set<VersionKey>& RefusedVersions() {
    static std::set<VersionKey> versions;
    return versions;
}
constexpr std::size_t kRefusedVersionsMax = 100000;

VersionKey Key(const fw::FileVersion& v) {
    return std::make_tuple(v.device, v.inode, v.size, v.modifiedNs, v.links);
}

void RememberRefused(const fw::FileVersion& version) {
    if (RefusedVersions().size() < kRefusedVersionsMax) RefusedVersions().insert(Key(version));
}

// Bookings the database refused (mode 1), by version: each is tried again
// after 1 s, then 2, 4, ... up to kRetryMax, so that a booking the database
// will never take costs a line and a transaction now and then, not one per
// call. A new start of the host, or a changed file, tries at once.
struct Retry {
    int failures = 0;
    std::chrono::steady_clock::time_point notBefore;
};
constexpr std::chrono::seconds kRetryMax{60};
std::map<VersionKey, Retry>& FailedVersions() {
    static std::map<VersionKey, Retry> versions;
    return versions;
}

void RememberOutcome(const fw::FileVersion& version, Handled handled) {
    if (handled != Handled::Failed) {
        FailedVersions().erase(Key(version));
        return;
    }
    if (FailedVersions().size() >= kRefusedVersionsMax) FailedVersions().clear();
    Retry& retry = FailedVersions()[Key(version)];
    retry.failures = std::min(retry.failures + 1, 16);
    retry.notBefore = std::chrono::steady_clock::now() +
                      std::min<std::chrono::seconds>(
                          std::chrono::seconds(1) * (1 << (retry.failures - 1)), kRetryMax);
}

bool WaitingForRetry(const fw::FileVersion& version) {
    const auto found = FailedVersions().find(Key(version));
    return found != FailedVersions().end() &&
           std::chrono::steady_clock::now() < found->second.notBefore;
}

// How long a booking file that cannot be leased must stay unchanged:
// RESERVATION_MIN_AGE seconds (a decimal number; default 5), the same for
// the whole call. A value that is not a number is said once per call.
std::int64_t MinimumAgeNs() {
    const std::int64_t standard = std::int64_t{fw::kQuietSeconds} * 1000000000;
    const char* text = std::getenv("RESERVATION_MIN_AGE");
    if (text == nullptr || *text == '\0') return standard;
    char* end = nullptr;
    const double seconds = std::strtod(text, &end);
    if (end != text && *end == '\0' && seconds >= 0 && seconds <= 86400)
        return static_cast<std::int64_t>(seconds * 1e9);
    fw::Trace(fw::Priority::Warning,
              "RESERVATION_MIN_AGE=\"%s\" is not a number of seconds from 0 to 86400; %d s it is\n",
              fw::TraceGbk(text).c_str(), fw::kQuietSeconds);
    return standard;
}

// Tells the host what became of a booking; one left alone is not news.
void Report(Handled handled, const std::string& path) {
    switch (handled) {
        case Handled::Imported:
            return fw::ReportOutcome(fw::Outcome::Imported, path);
        case Handled::AlreadyImported:
            return fw::ReportOutcome(fw::Outcome::AlreadyImported, path);
        case Handled::Refused:
            return fw::ReportOutcome(fw::Outcome::Refused, path);
        case Handled::Busy:
            return fw::ReportOutcome(fw::Outcome::Busy, path);
        case Handled::Failed:
            return fw::ReportOutcome(fw::Outcome::Failed, path);
        case Handled::Left:
            return;
    }
}

// Ends the call with one trace line when the error reaches it. A database
// error (databaseError set: the driver's message) is also told to the host,
// which waits before its next call. Calls that keep stopping on the
// database say so once, until a call reaches it again: an outage writes one
// line, not one per call, whatever the driver's message becomes meanwhile.
struct SearchStopped {
    std::string reason;
    std::string databaseError;
};

// Whether the last call that stopped, or reached the database, stopped on a
// database error.
bool& LastCallStoppedOnTheDatabase() {
    static bool stopped = false;
    return stopped;
}

// One call's scan of one drop directory.
class Scan {
  public:
    Scan(const SearchRequest& request, fw::Directory drop, std::string dropPath)
        : request_(request), drop_(std::move(drop)), dropPath_(std::move(dropPath)) {
        quiet_.minimumAgeNs = MinimumAgeNs();
        quiet_.fileSystemNow = [this](std::int64_t& ns) { return area_->FileSystemNow(ns); };
        quiet_.provenDone = ReturnedUnchanged;
    }

    bool ReachedDatabase() const { return reachedDatabase_; }

    void Run() {
        // Claims abandoned by a host that died come first: their bookings
        // have waited longest.
        fw::FileVersion area;
        if (drop_.Stat(kClaimAreaName, area)) {
            if (!PrepareArea()) return;
            for (const std::string& name : area_->TakeUpAbandoned(quiet_)) {
                std::unique_ptr<BookingClaim> claim;
                const fw::FileError error = BookingClaim::Adopt(*area_, name, claim);
                if (error != fw::FileError::None) {
                    CannotOpen(fw::EntryPath(dropPath_, name), error);
                    continue;
                }
                Handle(*claim);
            }
        }

        fw::DirectoryScan scan;
        if (!scan.Start(drop_)) return;
        std::string name;
        while (scan.Next(name)) {
            // "." and "..", names ending in "." (never read), and names
            // starting with ".": writers' temporary files and the claim area.
            if (name.back() == '.' || name.front() == '.') continue;
            if (!Offer(name)) return;
        }
    }

  private:
    // Returns false when the scan must end (the drop directory cannot be
    // written).
    bool Offer(const std::string& name) {
        const std::string path = fw::EntryPath(dropPath_, name);
        // The claim area first: its directory gives the file system's clock.
        if (!PrepareArea()) return false;
        fw::FileError error = fw::FileError::None;
        fw::ExclusiveFile file = fw::ExclusiveFile::Open(drop_, name, error, quiet_);
        if (!file.IsOpen() && file.Version().links > 1) {
            // A file this call put back is seen again by the scan; through a
            // mount whose put-back is a link and an unlink, its cached link
            // count may still count the link the unlink removed.
            const fw::FileVersion linked = file.Version();
            if (handled_.count({linked.device, linked.inode})) return true;
            if (error == fw::FileError::MultipleLinks)
                RefuseLinked(path, linked);
            else
                CannotOpen(path, error);
            return true;
        }
        if (!file.IsOpen()) {
            CannotOpen(path, error);
            return true;
        }
        const fw::FileVersion version = file.Version();
        // A file put back earlier in this call, or refused before unchanged.
        if (!handled_.insert({version.device, version.inode}).second) return true;
        if (RefusedVersions().count(Key(version))) return true;
        if (request_.mode == 1 && WaitingForRetry(version)) return true;
        SayProof(file.Proof());

        std::unique_ptr<BookingClaim> claim;
        error = BookingClaim::Claim(*area_, name, std::move(file), claim);
        if (error != fw::FileError::None) {
            CannotOpen(path, error);
            return true;
        }
        Handle(*claim);
        return true;
    }

    void Handle(BookingClaim& claim) {
        const fw::FileVersion version = claim.File().Version();
        handled_.insert({version.device, version.inode});
        BookingFieldTable[kEntryPath] = claim.Path();
        std::string digest;
        switch (ReadBookingFile(claim.File(), BookingFieldTable, &digest)) {
            case ReadOutcome::Read:
                claim.SetContentDigest(digest);
                break;
            case ReadOutcome::Empty:
                fw::Trace(fw::Priority::Warning,
                          "booking file %s is empty, left for a later call\n",
                          claim.Path().c_str());
                return;
            case ReadOutcome::Failed:
                throw SearchStopped{"can't read file " + claim.Path(), {}};
        }

        Handled handled = Handled::Failed;
        try {
            handled = Handler()(request_.mode, claim);
        } catch (const rl::CDBException& e) {
            fw::ReportOutcome(fw::Outcome::Failed, claim.Path());
            throw SearchStopped{"database error at " + claim.Path() + ": " + e.DriverMessage(),
                                e.DriverMessage()};
        } catch (const std::exception& e) {
            fw::ReportOutcome(fw::Outcome::Failed, claim.Path());
            throw SearchStopped{"error at " + claim.Path() + ": " + e.what(), {}};
        }
        Report(handled, claim.Path());
        if (handled == Handled::Imported || handled == Handled::AlreadyImported ||
            handled == Handled::Failed)
            reachedDatabase_ = true;
        if (request_.mode != 1) return;
        if (handled == Handled::Refused) RememberRefused(version);
        RememberOutcome(version, handled);
    }

    // A hard link may name a file its writer could not read itself (a host
    // that runs as root would read it for them): refused unread, once per
    // version, naming the file only.
    void RefuseLinked(const std::string& path, const fw::FileVersion& version) {
        if (RefusedVersions().count(Key(version))) return;
        fw::Trace(fw::Priority::Error,
                  "refused %s unread: it has %llu hard links, and a booking file has one\n",
                  path.c_str(), static_cast<unsigned long long>(version.links));
        fw::ReportOutcome(fw::Outcome::Refused, path);
        RememberRefused(version);
    }

    // The claim area, made when the first booking file needs it. A drop
    // directory that cannot be written imports nothing: its bookings could
    // not be claimed, nor removed once imported.
    bool PrepareArea() {
        if (area_) return true;
        std::string problem;
        area_ = ClaimArea::Prepare(drop_, dropPath_, problem);
        if (area_) return true;
        fw::Trace(fw::Priority::Error, "%s\n", problem.c_str());
        fw::ReportOutcome(fw::Outcome::NotImporting, problem);
        return false;
    }

    void CannotOpen(const std::string& path, fw::FileError error) {
        fw::Trace(
            error == fw::FileError::SharingViolation ? fw::Priority::Warning : fw::Priority::Error,
            "can't open file %s,error=%u\n", path.c_str(), static_cast<unsigned>(error));
        if (error == fw::FileError::SharingViolation) fw::ReportOutcome(fw::Outcome::Busy, path);
    }

    // Once per call: how this host tells that a writer is done with a file
    // it has no lease on.
    void SayProof(fw::WriterDoneProof proof) {
        if (proof != fw::WriterDoneProof::QuietPeriod || quietSaid_) return;
        quietSaid_ = true;
        fw::Trace(fw::Priority::Warning,
                  "no write lease on booking files in %s (not their owner, no CAP_LEASE, or a file "
                  "system without leases): a file is taken once unchanged for %g s\n",
                  dropPath_.c_str(), static_cast<double>(quiet_.minimumAgeNs) / 1e9);
    }

    const SearchRequest& request_;
    fw::Directory drop_;
    std::string dropPath_;
    std::unique_ptr<ClaimArea> area_;
    std::set<std::pair<std::uint64_t, std::uint64_t>> handled_;
    bool quietSaid_ = false;
    bool reachedDatabase_ = false;
    fw::QuietRule quiet_;
};

// reached: whether a booking of the scan reached the database.
void ScanDirectory(const SearchRequest& request, bool& reached) {
    std::string path = fw::TrimTrailingSeparators(fw::MakeAbsolute(request.directory));
    fw::FileError error = fw::FileError::None;
    fw::Directory drop = fw::Directory::Open(path, error);
    if (!drop.IsOpen()) return;
    Scan scan(request, std::move(drop), path);
    try {
        scan.Run();
    } catch (...) {
        // A call stopped on its sixth booking still reached the database
        // with its first five: this outage is news.
        reached = scan.ReachedDatabase();
        throw;
    }
    reached = scan.ReachedDatabase();
}

}  // namespace

std::uint64_t SearchCallNumber() { return searchCalls; }

ReadOutcome ReadBookingFile(fw::ExclusiveFile& file, BookingFields& table, std::string* digest) {
    char buffer[kBookingReadMax];
    fw::FileError error = fw::FileError::None;
    const ssize_t count = file.Read(buffer, sizeof buffer, error);
    if (count < 0) return ReadOutcome::Failed;

    std::string_view raw(buffer, static_cast<std::size_t>(count));
    if (digest) *digest = fw::Sha256Hex(raw);
    const std::size_t nul = raw.find('\0');
    if (nul != std::string_view::npos) raw = raw.substr(0, nul);
    bool blank = true;
    for (unsigned char c : raw) blank = blank && fw::gbk::IsSpace(c);
    if (blank) return ReadOutcome::Empty;

    SplitBooking(raw, table);
    return ReadOutcome::Read;
}

BookingHandler SetBookingHandler(BookingHandler handler) {
    BookingHandler previous = std::move(Handler());
    Handler() = handler ? std::move(handler) : BookingHandler(DefaultHandler);
    return previous;
}

void RunSearch(const char* request) {
    if (searchRunning.exchange(true)) {
        fw::Trace(fw::Priority::Warning, "Search is already running; this call is ignored\n");
        return;
    }
    struct Release {
        ~Release() { searchRunning = false; }
    } release;
    ++searchCalls;
    // Until a call reaches the database again, an outage has been said.
    bool reached = false;

    try {
        const SearchRequest parsed = ParseRequest(request ? request : "");
        BookingFieldTable[kEntryClerk] = parsed.clerk;
        if (parsed.directory.empty()) {
            fw::Trace(fw::Priority::Error,
                      "request \"%s\" names no drop directory; nothing scanned\n",
                      request ? request : "");
            return;
        }
        ScanDirectory(parsed, reached);
        if (reached) LastCallStoppedOnTheDatabase() = false;
    } catch (const SearchStopped& stop) {
        if (reached) LastCallStoppedOnTheDatabase() = false;
        const bool database = !stop.databaseError.empty();
        if (!database || !LastCallStoppedOnTheDatabase())
            fw::Trace(fw::Priority::Error, "Search stopped: %s\n",
                      fw::TraceGbk(stop.reason).c_str());
        LastCallStoppedOnTheDatabase() = database;
        if (database) fw::ReportOutcome(fw::Outcome::DatabaseDown, stop.databaseError);
    } catch (const std::exception& e) {
        fw::Trace(fw::Priority::Error, "Search stopped: %s\n", fw::TraceGbk(e.what()).c_str());
    } catch (...) {
        fw::Trace(fw::Priority::Error, "Search stopped: unknown error\n");
    }
}

}  // namespace resv
