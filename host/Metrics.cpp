#include "host/Metrics.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

namespace host {
namespace {

// A label value: backslash, double quote and newline escaped.
std::string LabelValue(std::string_view text) {
    std::string out;
    for (char c : fw::JournalText(text)) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out;
}

class Family {
  public:
    Family(std::string& out, const char* name, const char* type, const char* help,
           std::string labels)
        : out_(out), name_(name), labels_(std::move(labels)) {
        out_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
    }
    void Sample(long long value, const std::string& extraLabel = "") {
        out_ += name_ + "{" + labels_ + extraLabel + "} " + std::to_string(value) + "\n";
    }

  private:
    std::string& out_;
    std::string name_;
    std::string labels_;
};

}  // namespace

std::string MetricsText(const MetricsSnapshot& s) {
    std::string out;
    const std::string labels = "directory=\"" + LabelValue(s.directory) + "\"";
    Family bookings(out, "reservation_bookings_total", "counter",
                    "Bookings by what became of them since the host started; a booking that "
                    "failed or was busy again and again counts once.",
                    labels);
    const std::pair<const char*, long> outcomes[] = {{"imported", s.counts.imported},
                                                     {"already_imported", s.counts.alreadyImported},
                                                     {"refused", s.counts.refused},
                                                     {"busy", s.counts.busy},
                                                     {"failed", s.counts.failed}};
    for (const auto& [outcome, count] : outcomes)
        bookings.Sample(count, std::string(",outcome=\"") + outcome + "\"");
    Family(out, "reservation_search_calls_total", "counter",
           "Calls of the module's Search since the host started.", labels)
        .Sample(s.calls);
    Family(out, "reservation_bookings_waiting", "gauge",
           "Booking files in the drop directory after the last call.", labels)
        .Sample(s.waiting);
    Family(out, "reservation_bookings_held_by_other_hosts", "gauge",
           "Booking files in the claims of other processes after the last call.", labels)
        .Sample(s.heldElsewhere);
    Family lastImport(out, "reservation_last_import_timestamp_seconds", "gauge",
                      "When the last booking was imported (no sample before the first).", labels);
    if (s.lastImport) lastImport.Sample(static_cast<long long>(*s.lastImport));
    Family(out, "reservation_database_up", "gauge",
           "1 unless the last call that tried the database could not reach it.", labels)
        .Sample(s.databaseReachable ? 1 : 0);
    return out;
}

MetricsFile::MetricsFile(std::string path, Note note)
    : path_(std::move(path)), note_(std::move(note)) {
    const std::size_t slash = path_.find_last_of("/\\");  // a Windows path has either
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    temporary_ = path_.substr(0, base) + "." + path_.substr(base) + ".tmp";
}

void MetricsFile::Write(const MetricsSnapshot& snapshot) {
    const std::string text = MetricsText(snapshot);
    std::string problem;
    if (FILE* out = std::fopen(temporary_.c_str(), "wb")) {
        const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
        const int writeErrno = errno;
        namespace fs = std::filesystem;
        const bool closed = std::fclose(out) == 0;
        const int closeErrno = errno;
        // Readable by the collector whatever the service's umask: counts and
        // a directory's name, nothing of a guest's.
        std::error_code ignored;
        fs::permissions(temporary_,
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read,
                        ignored);
        if (!closed || !written)
            problem = std::strerror(written ? closeErrno : writeErrno);
        else if (std::error_code error; fs::rename(temporary_, path_, error), error)
            problem = error.message();  // replaces the old file on Windows too
        if (!problem.empty()) std::remove(temporary_.c_str());
    } else {
        problem = std::strerror(errno);
    }
    if (problem.empty()) {
        failing_ = false;
        return;
    }
    if (std::exchange(failing_, true)) return;
    note_(fw::Priority::Warning, "cannot write the metrics file " + path_ + " (" + problem +
                                     "); importing goes on, and this is said again only after "
                                     "a write has succeeded");
}

}  // namespace host
