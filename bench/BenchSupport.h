// What the import benchmarks share: booking files to import, the module's
// mode-1 import of a drop directory timed in this process, the database
// settings a figure depends on, and a small command line.
//
// Benchmarks print figures; nothing here asserts a speed.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/HotelDatabase.h"

namespace bench {

// The fields of the booking with this serial number, as GBK bytes: unique
// booking number and guest name, a three-night stay at 1000 in a standard
// room, paid cash, booked online.
struct BookingValues {
    std::string number, type, company, companyPhone, roomType, payment, arrival, departure, guest,
        guestPhone, guests, rooms, price, remarks;
};
BookingValues BookingFor(int serial);

// The 17 comma-separated fields of a booking file.
std::string BookingFileText(const BookingValues& booking);

// Writes count booking files, serials first .. first+count-1, into dir.
// Throws std::runtime_error when a file cannot be written.
void WriteBookingFiles(const std::string& dir, int first, int count);

// Seconds since construction, on the monotonic clock.
class Stopwatch {
  public:
    Stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

  private:
    std::chrono::steady_clock::time_point start_;
};

// One mode-1 Search over a drop directory, in this process, with the
// module's trace lines counted instead of written.
struct ImportRun {
    int imported = 0;
    int otherLines = 0;                      // anything but "imported ..." lines
    std::vector<std::string> firstProblems;  // the first few of those, without "\n"
    double seconds = 0;
};
ImportRun ImportDropDirectory(const std::string& dir);

// How durable a commit is on the database db is connected to, e.g.
// "synchronous=2 (FULL), journal_mode=delete" or "fsync=on,
// synchronous_commit=on" or "innodb_flush_log_at_trx_commit=1, ...". Asked of
// the server through the data source.
std::string DurabilitySettings(ts::HotelDatabase& db);

// Whether the backend can be benchmarked here; prints why not when it cannot.
bool BackendReady(ts::Backend backend);

// Arguments of the form --name=value or --name value, and bare flags.
class Options {
  public:
    Options(int argc, char** argv);
    bool Has(const std::string& name) const;
    int Int(const std::string& name, int fallback) const;
    std::string Text(const std::string& name, const std::string& fallback) const;
    // Every value given for a name that may repeat, in order.
    std::vector<std::string> All(const std::string& name) const;
    // The backends named by --backend (sqlite, postgresql, mariadb, all;
    // both: SQLite and PostgreSQL; default both).
    std::vector<ts::Backend> Backends() const;

  private:
    const std::string* Find(const std::string& name) const;
    std::vector<std::pair<std::string, std::string>> values_;
};

void PrintRate(const char* label, int count, double seconds);

// The main of a benchmark run once per backend: measure, in a child process
// of its own, for each backend --backend names (defaults without it) that
// can be used here. Answers the
// exit status: 0 when every measure answered true, 1 when one did not or
// something threw (said on standard error after name).
int ForEachBackend(int argc, char** argv, const char* name, std::vector<ts::Backend> defaults,
                   const std::function<bool(ts::Backend, const Options&)>& measure);

}  // namespace bench
