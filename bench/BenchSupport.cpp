#include "bench/BenchSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "framework/trace.h"
#include "reservation/FileSearch.h"
#include "tests/support/Encoding.h"
#include "tests/support/OdbcSession.h"
#include "tests/support/TempDir.h"
#include "tests/support/TraceCapture.h"

namespace bench {
namespace {

struct GbkTexts {
    std::string type = ts::Gbk("网络预订");
    std::string company = ts::Gbk("携程");
    std::string roomType = ts::Gbk("标准间");
    std::string payment = ts::Gbk("现金");
    std::string guestPrefix = ts::Gbk("宾客");
    std::string remarks = ts::Gbk("无烟");
};

const GbkTexts& Texts() {
    static const GbkTexts texts;
    return texts;
}

std::string Numbered(const char* format, int serial) {
    char buffer[32];
    const int length = std::snprintf(buffer, sizeof buffer, format, serial);
    return std::string(buffer, length > 0 && length < 32 ? static_cast<std::size_t>(length) : 0);
}

std::string FirstValue(ts::HotelDatabase& db, const std::string& sql) {
    std::vector<ts::Row> rows = db.Query(sql);
    if (rows.empty() || rows[0].empty() || !rows[0][0]) return "?";
    return *rows[0][0];
}

}  // namespace

BookingValues BookingFor(int serial) {
    const GbkTexts& t = Texts();
    return BookingValues{.number = Numbered("WB-%07d", serial),
                         .type = t.type,
                         .company = t.company,
                         .companyPhone = "021-5555",
                         .roomType = t.roomType,
                         .payment = t.payment,
                         .arrival = "2026-03-17",
                         .departure = "2026-03-20",
                         .guest = t.guestPrefix + Numbered("%07d", serial),
                         .guestPhone = Numbered("138%08d", serial),
                         .guests = "2",
                         .rooms = "1",
                         .price = "1000",
                         .remarks = t.remarks};
}

std::string BookingFileText(const BookingValues& b) {
    const std::string* fields[] = {&b.number,   &b.type,       &b.company, &b.companyPhone,
                                   &b.roomType, &b.payment,    &b.arrival, &b.departure,
                                   &b.guest,    &b.guestPhone, &b.guests,  &b.rooms};
    std::string text = "NET";
    for (const std::string* field : fields) text += "," + *field;
    text += ",,";  // entries 13 and 14 are not used by the import
    text += "," + b.price + "," + b.remarks;
    return text;
}

void WriteBookingFiles(const std::string& dir, int first, int count) {
    for (int serial = first; serial < first + count; ++serial)
        ts::WriteFile(dir + Numbered("/booking-%07d.txt", serial),
                      BookingFileText(BookingFor(serial)));
}

ImportRun ImportDropDirectory(const std::string& dir) {
    ImportRun run;
    fw::TraceSink previous = fw::SetTraceSink([&run](std::string_view line) {
        if (line.starts_with("imported ")) {
            ++run.imported;
            return;
        }
        if (ts::IsLedgerNotice(line)) return;
        ++run.otherLines;
        if (line.ends_with('\n')) line.remove_suffix(1);
        if (run.firstProblems.size() < 3) run.firstProblems.emplace_back(line);
    });
    const std::string request = dir + "?1!bench";
    Stopwatch clock;
    resv::RunSearch(request.c_str());
    run.seconds = clock.Seconds();
    fw::SetTraceSink(std::move(previous));
    return run;
}

std::string DurabilitySettings(ts::HotelDatabase& db) {
    if (db.Backend() == ts::Backend::SQLite) {
        const std::string sync = FirstValue(db, "pragma synchronous");
        const char* names[] = {"OFF", "NORMAL", "FULL", "EXTRA"};
        const int level = std::atoi(sync.c_str());
        const std::string name = sync != "?" && level >= 0 && level <= 3 ? names[level] : "?";
        return "synchronous=" + sync + " (" + name +
               "), journal_mode=" + FirstValue(db, "pragma journal_mode");
    }
    if (db.Backend() == ts::Backend::MariaDB)
        return "innodb_flush_log_at_trx_commit=" +
               FirstValue(db, "select @@innodb_flush_log_at_trx_commit") +
               ", innodb_doublewrite=" + FirstValue(db, "select @@innodb_doublewrite");
    return "fsync=" + FirstValue(db, "show fsync") +
           ", synchronous_commit=" + FirstValue(db, "show synchronous_commit");
}

bool BackendReady(ts::Backend backend) {
    std::string why;
    if (ts::BackendAvailable(backend, &why)) return true;
    std::printf("%s: skipped (%s)\n", ts::BackendName(backend), why.c_str());
    return false;
}

Options::Options(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!arg.starts_with("--")) throw std::invalid_argument("unexpected argument " + arg);
        arg.erase(0, 2);
        const std::size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            values_.emplace_back(arg.substr(0, equals), arg.substr(equals + 1));
        } else if (i + 1 < argc && std::string_view(argv[i + 1]).substr(0, 2) != "--") {
            values_.emplace_back(arg, argv[++i]);
        } else {
            values_.emplace_back(arg, "");
        }
    }
}

const std::string* Options::Find(const std::string& name) const {
    for (const auto& [key, value] : values_)
        if (key == name) return &value;
    return nullptr;
}

bool Options::Has(const std::string& name) const { return Find(name) != nullptr; }

int Options::Int(const std::string& name, int fallback) const {
    const std::string* value = Find(name);
    if (value == nullptr) return fallback;
    const int number = std::atoi(value->c_str());
    if (number <= 0) throw std::invalid_argument("--" + name + " wants a positive number");
    return number;
}

std::string Options::Text(const std::string& name, const std::string& fallback) const {
    const std::string* value = Find(name);
    return value != nullptr ? *value : fallback;
}

std::vector<std::string> Options::All(const std::string& name) const {
    std::vector<std::string> all;
    for (const auto& [key, value] : values_)
        if (key == name) all.push_back(value);
    return all;
}

std::vector<ts::Backend> Options::Backends() const {
    const std::string which = Text("backend", "both");
    if (which == "sqlite") return {ts::Backend::SQLite};
    if (which == "postgresql") return {ts::Backend::PostgreSQL};
    if (which == "mariadb") return {ts::Backend::MariaDB};
    if (which == "both") return {ts::Backend::SQLite, ts::Backend::PostgreSQL};
    if (which == "all") return {ts::Backend::SQLite, ts::Backend::PostgreSQL, ts::Backend::MariaDB};
    throw std::invalid_argument("--backend is sqlite, postgresql, mariadb, all or both");
}

void PrintRate(const char* label, int count, double seconds) {
    std::printf("  %-48s %8.1f bookings/s  (%d in %.2f s, %.2f ms each)\n", label, count / seconds,
                count, seconds, 1000.0 * seconds / count);
}

int ForEachBackend(int argc, char** argv, const char* name, std::vector<ts::Backend> defaults,
                   const std::function<bool(ts::Backend, const Options&)>& measure) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        const Options options(argc, argv);
        bool all = true;
        for (ts::Backend backend : options.Has("backend") ? options.Backends() : defaults) {
            if (!BackendReady(backend)) continue;
            // Each backend in a process of its own: the driver manager reads
            // the pooling switch once per process and keeps what it read of
            // the ini files for a while.
            std::fflush(stdout);
            const pid_t child = fork();
            if (child < 0) throw std::runtime_error("fork failed");
            if (child == 0) {
                int status = 1;
                try {
                    status = measure(backend, options) ? 0 : 1;
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "%s: %s\n", name, e.what());
                }
                std::fflush(stdout);
                _exit(status);
            }
            int status = 0;
            while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            all = WIFEXITED(status) && WEXITSTATUS(status) == 0 && all;
        }
        return all ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", name, e.what());
        return 1;
    }
}

}  // namespace bench
