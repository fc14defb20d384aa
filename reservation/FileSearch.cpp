// Search: the scan of the drop directory. One booking at a time, in the order
// the file system gives; the booking file stays claimed (open, flock held)
// while its booking is imported or shown, so that a second host scanning the
// same directory passes it over instead of importing it twice.
#include "reservation/FileSearch.h"

#include <atomic>
#include <exception>
#include <string>
#include <utility>

#include "framework/direnum.h"
#include "framework/exclusivefile.h"
#include "framework/gbktext.h"
#include "framework/trace.h"
#include "recordlayer/CDBException.h"
#include "reservation/ImportBooking.h"
#include "reservation/reservationDialog.h"

namespace resv {

BookingFields BookingFieldTable;
std::int32_t ImportedGuestAccount = 0;

namespace {

void DefaultHandler(int mode, const std::string& path) {
    if (mode == 1)
        ImportBooking(path);
    else
        ShowConfirmDialog(path);
}

BookingHandler& Handler() {
    static BookingHandler handler = DefaultHandler;
    return handler;
}

std::atomic<bool> searchRunning{false};
std::atomic<std::uint64_t> searchCalls{0};

// Ends the call with one trace line when the error reaches it.
struct SearchStopped {
    std::string reason;
};

void ScanDirectory(const SearchRequest& request) {
    fw::DirectoryScan scan;
    if (!scan.Start(request.directory)) return;

    std::string base = fw::MakeAbsolute(request.directory);
    while (!base.empty() && base.back() == '/') base.pop_back();

    std::string name;
    while (scan.Next(name)) {
        const std::string path = base + "/" + name;
        if (path.back() == '.') continue;  // "." and ".."

        fw::FileError error = fw::FileError::None;
        fw::ExclusiveFile file = fw::ExclusiveFile::Open(path, error);
        if (!file.IsOpen()) {
            fw::Trace("can't open file %s,error=%u\n", path.c_str(), static_cast<unsigned>(error));
            continue;
        }
        BookingFieldTable[kEntryPath] = path;

        switch (ReadBookingFile(file, BookingFieldTable)) {
            case ReadOutcome::Read:
                break;
            case ReadOutcome::Empty:
                fw::Trace("booking file %s is empty, left for a later call\n", path.c_str());
                continue;
            case ReadOutcome::Failed:
                throw SearchStopped{"can't read file " + path};
        }

        try {
            Handler()(request.mode, path);
        } catch (const rl::CDBException& e) {
            throw SearchStopped{"database error at " + path + ": " + e.DriverMessage()};
        } catch (const std::exception& e) {
            throw SearchStopped{"error at " + path + ": " + e.what()};
        }
    }
}

}  // namespace

ReadOutcome ReadBookingFile(fw::ExclusiveFile& file, BookingFields& table) {
    char buffer[kBookingReadMax];
    fw::FileError error = fw::FileError::None;
    const ssize_t count = file.Read(buffer, sizeof buffer, error);
    if (count < 0) return ReadOutcome::Failed;

    std::string_view raw(buffer, static_cast<std::size_t>(count));
    const std::size_t nul = raw.find('\0');
    if (nul != std::string_view::npos) raw = raw.substr(0, nul);
    bool blank = true;
    for (unsigned char c : raw) blank = blank && fw::gbk::IsSpace(c);
    if (blank) return ReadOutcome::Empty;

    SplitBooking(raw, table);
    return ReadOutcome::Read;
}

std::uint64_t SearchCallNumber() { return searchCalls; }

BookingHandler SetBookingHandler(BookingHandler handler) {
    BookingHandler previous = std::move(Handler());
    Handler() = handler ? std::move(handler) : BookingHandler(DefaultHandler);
    return previous;
}

void RunSearch(const char* request) {
    if (searchRunning.exchange(true)) {
        fw::Trace("Search is already running; this call is ignored\n");
        return;
    }
    struct Release {
        ~Release() { searchRunning = false; }
    } release;
    ++searchCalls;

    try {
        const SearchRequest parsed = ParseRequest(request ? request : "");
        BookingFieldTable[kEntryClerk] = parsed.clerk;
        if (parsed.directory.empty()) {
            fw::Trace("request \"%s\" names no drop directory; nothing scanned\n",
                      request ? request : "");
            return;
        }
        ScanDirectory(parsed);
    } catch (const SearchStopped& stop) {
        fw::Trace("Search stopped: %s\n", stop.reason.c_str());
    } catch (const std::exception& e) {
        fw::Trace("Search stopped: %s\n", e.what());
    } catch (...) {
        fw::Trace("Search stopped: unknown error\n");
    }
}

}  // namespace resv
