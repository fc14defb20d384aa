// The host run the way the packaged service runs it (its unit's command line,
// the shipped drivers file with pooling, PostgreSQL), through what a day
// brings: a writer delivering by rename, the server restarted and stopped, a
// second host on another mount of the drop directory, bookings that will not
// import. And a database outage on its own: it must cost a few lines and a
// few calls, not a flood.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "tests/host/HostChild.h"
#include "tests/import/ImportFixture.h"
#include "tests/robustness/Ledger.h"

namespace robust {
namespace {

using hosttest::CountOf;
using hosttest::HostChild;
using namespace std::chrono_literals;

// A PostgreSQL cluster of the test's own (scripts/pgcluster.sh), which it
// may restart and stop; durable, so that a commit it acknowledged survives
// -m immediate.
class OwnCluster {
  public:
    OwnCluster() {
        const auto [out, status] = Script(
            "pg_cluster_start 2>/dev/null && pg_cluster_durable >/dev/null && "
            "echo \"$PG_CLUSTER_DIR $PG_CLUSTER_BINDIR "
            "$RESERVATION_TEST_PG_PORT\"");
        std::istringstream words(out);
        if (status == 0 && words >> dir_ >> bindir_ >> port_)
            setenv("RESERVATION_TEST_PG_PORT", port_.c_str(), 1);
    }
    ~OwnCluster() {
        if (!dir_.empty()) Script("pg_cluster_stop");
    }
    bool Ok() const { return !port_.empty(); }
    // pg_cluster_restart MODE, pg_cluster_halt MODE, pg_cluster_resume.
    bool Run(const std::string& command) const {
        return Script(command + " >/dev/null").second == 0;
    }

  private:
    std::pair<std::string, int> Script(const std::string& commands) const {
        return ts::RunCommand(
            "bash -c 'source \"" + ts::SourceDir() + "/scripts/pgcluster.sh\" && " +
            (dir_.empty() ? ""
                          : "PG_CLUSTER_DIR=" + dir_ + " PG_CLUSTER_BINDIR=" + bindir_ + " && ") +
            commands + "'");
    }
    std::string dir_, bindir_, port_;
};

// The service's configuration as shipped: packaging/odbcinst.ini (pooled
// drivers) and the data source of packaging/odbc-postgresql.ini in
// ODBCSYSINI's odbc.ini, pointed at the test's database; the sample
// velmar.ini. The environment a host needs for it.
std::vector<std::string> ShippedConfiguration(const ts::HotelDatabase& db, const ts::TempDir& dir) {
    const std::string packaging = ts::SourceDir() + "/packaging/";
    ts::WriteFile(dir.File("odbcinst.ini"), ts::ReadFile(packaging + "odbcinst.ini"));
    // The shipped section, with the test server's address and database.
    std::string ini;
    std::istringstream shipped(ts::ReadFile(packaging + "odbc-postgresql.ini"));
    for (std::string line; std::getline(shipped, line);) {
        const std::string key = line.substr(0, line.find_first_of(" ="));
        if (!line.starts_with(";") && key != "Servername" && key != "Port" && key != "Database")
            ini += line + "\n";
    }
    std::istringstream own(ts::ReadFile(db.OdbcIniPath()));
    for (std::string line; std::getline(own, line);)
        if (line.starts_with("Servername") || line.starts_with("Port") ||
            line.starts_with("Database"))
            ini += line + "\n";
    ts::WriteFile(dir.File("odbc.ini"), ini);
    ts::WriteFile(dir.File("empty.ini"), "");
    ts::WriteFile(dir.File("velmar.ini"), ts::Gbk(ts::ReadFile(packaging + "velmar.ini.utf-8")));
    // As the service sees it: no user data source (the test support's
    // ODBCINI and ODBCSEARCH undone).
    return {"ODBCSYSINI=" + dir.Path(), "ODBCINI=" + dir.File("empty.ini"),
            "ODBCSEARCH=ODBC_BOTH_DSN", "VELMAR_INI_DIR=" + dir.Path(), "HOME=" + dir.Path(),
            // A small quarantine, so that the sanitizer's memory says what the host's does.
            "ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=4"};
}

std::string BookingFile(const std::string& number, const std::string& guests = "2") {
    importtest::Booking b;
    b.number = number;
    b.guest = "客" + number;
    b.guests = guests;
    return b.FileText();
}

// Delivers a booking the way a careful writer does: a temporary name, then
// a rename.
void Deliver(const std::string& dir, const std::string& name, const std::string& text) {
    ts::WriteFile(dir + "/.tmp-" + name, text);
    ASSERT_EQ(std::rename((dir + "/.tmp-" + name).c_str(), (dir + "/" + name).c_str()), 0);
}

// User plus system CPU time of a process, in seconds; its resident memory, in kB.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long RssKb(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:")) return std::stol(line.substr(6));
    return -1;
}

// A sample of the metrics file ("reservation_search_calls_total" or, with
// an outcome, "reservation_bookings_total{...,outcome=\"failed\"}"); -1 when
// absent.
long Metric(const std::string& path, const std::string& name, const std::string& outcome = "") {
    const std::regex sample(name + "\\{[^}]*" +
                            (outcome.empty() ? "" : "outcome=\"" + outcome + "\"") +
                            "[^}]*\\} (\\d+)");
    std::smatch m;
    const std::string text = ts::FileExists(path) ? ts::ReadFile(path) : "";
    return std::regex_search(text, m, sample) ? std::stol(m[1]) : -1;
}

// Lines of text not starting with any of the prefixes, nor the once-per-call
// notice of a database without the import ledger (the suite's second run).
int LinesWithout(std::string_view text, std::initializer_list<std::string_view> prefixes) {
    int lines = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line =
            text.substr(at, end == std::string_view::npos ? text.npos : end - at);
        bool skip = false;
        for (std::string_view p : prefixes) skip = skip || line.starts_with(p);
        if (!skip && !ts::IsLedgerNotice(line)) ++lines;
        if (end == std::string_view::npos) break;
        at = end + 1;
    }
    return lines;
}

const std::vector<std::string> kUnitCommandLine = {"--interval", "60", "--watch"};

TEST(Outage, TwentySecondsWithOneBookingWaitingCostAFewLinesAndCalls) {
    OwnCluster cluster;
    ASSERT_TRUE(cluster.Ok());
    ts::HotelDatabase db(ts::Backend::PostgreSQL);
    ts::TempDir drop, config;
    const auto env = ShippedConfiguration(db, config);
    ts::WriteFile(drop.File("OUT-1.txt"), BookingFile("OUT-1"));
    const std::string metrics = config.File("reservation.prom");
    hosttest::NotifySocket systemd(config.File("notify"));

    ASSERT_TRUE(cluster.Run("pg_cluster_halt fast"));
    auto args = kUnitCommandLine;
    args.insert(args.end(), {drop.Path() + "?1!desk", "--metrics", metrics});
    HostChild host(args, HostChild::Output::Pipe, hosttest::HostPath(), env);
    ASSERT_TRUE(host.WaitFor("database unreachable since ", 30s)) << host.Text();
    std::string status;
    while (!status.starts_with("STATUS=database unreachable since ")) {
        status = systemd.Next();
        ASSERT_FALSE(status.empty()) << host.Text();
    }
    EXPECT_TRUE(std::regex_match(status, std::regex("STATUS=database unreachable since "
                                                    "\\d\\d:\\d\\d:\\d\\d, next try in \\d+ s")))
        << status;
    host.Drain(20s);
    ASSERT_TRUE(cluster.Run("pg_cluster_resume"));
    ASSERT_TRUE(host.WaitFor("database reachable again after ", 60s)) << host.Text();
    host.Signal(SIGTERM);
    EXPECT_EQ(host.Finish(), 0) << host.Text();

    const std::string& out = host.Text();
    const std::string outage = out.substr(out.find("reservation-host: watching"));
    // The module's own line, the host's two.
    EXPECT_LE(LinesWithout(outage, {"reservation-host: watching", "imported ",
                                    "reservation-host: stopping", "RESERVATION.DLL"}),
              3)
        << out;
    EXPECT_LE(Metric(metrics, "reservation_search_calls_total"), 10) << ts::ReadFile(metrics);
    EXPECT_EQ(Metric(metrics, "reservation_bookings_total", "failed"), 1) << ts::ReadFile(metrics);
    EXPECT_EQ(Metric(metrics, "reservation_database_up"), 1);
    ExpectExactlyOnce(db, drop.Path(), {"OUT-1"}, true);
}

// The drop directory seen through a bindfs mount, for a second host.
class BindMount {
  public:
    BindMount(const std::string& source, const std::string& target) : target_(target) {
        ok_ = mkdir(target.c_str(), 0755) == 0 &&
              ts::RunCommand("bindfs " + ts::ShellQuote(source) + " " + ts::ShellQuote(target))
                      .second == 0;
    }
    ~BindMount() {
        if (ok_)
            ts::RunCommand("fusermount -u " + ts::ShellQuote(target_) + " || umount -l " +
                           ts::ShellQuote(target_));
    }
    bool Ok() const { return ok_; }

  private:
    std::string target_;
    bool ok_ = false;
};

TEST(OperatorsDay, BookingsThroughRestartsAnOutageAndASecondHost) {
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0 ||
        ts::RunCommand("command -v bindfs").second != 0)
        GTEST_SKIP()
            << "needs root, /dev/fuse and bindfs (scripts/setup) for the second host's mount";
    OwnCluster cluster;
    ASSERT_TRUE(cluster.Ok());
    ts::HotelDatabase db(ts::Backend::PostgreSQL);
    ts::TempDir root, config;
    const std::string drop = root.File("drop");
    ASSERT_EQ(mkdir(drop.c_str(), 0755), 0);
    BindMount mount(drop, root.File("mirror"));
    if (!mount.Ok()) GTEST_SKIP() << "bindfs cannot mount here";
    const auto env = ShippedConfiguration(db, config);

    // Waiting from the start: a booking the server refuses every time (bytes
    // that are not GBK), and one the module refuses (guests out of range).
    importtest::Booking poison;
    poison.number = "POISON";
    std::string poisonText = poison.FileText();
    poisonText.replace(poisonText.find(ts::Gbk("无烟")), 4, "\x80\xff\x80\xff");
    ts::WriteFile(drop + "/poison.txt", poisonText);
    ts::WriteFile(drop + "/refused.txt", BookingFile("REFUSED", "70000"));

    hosttest::NotifySocket systemd(config.File("notify"));
    const std::string metrics = config.File("frontdesk.prom");
    auto args = kUnitCommandLine;
    args.insert(args.end(), {drop + "?1!desk", "--metrics", metrics});
    HostChild host(args, HostChild::Output::Pipe, hosttest::HostPath(), env);
    auto argsB = kUnitCommandLine;
    argsB.insert(argsB.end(),
                 {root.File("mirror") + "?1!desk", "--metrics", config.File("second.prom")});
    auto envB = env;
    envB.push_back("NOTIFY_SOCKET=");  // one service manager, one host
    HostChild second(argsB, HostChild::Output::Pipe, hosttest::HostPath(), envB);
    ASSERT_TRUE(host.WaitFor("reservation-host: watching")) << host.Text();

    std::atomic<bool> writing{true};
    std::set<std::string> numbers;
    std::thread writer([&] {
        for (int i = 0; writing; ++i) {
            const std::string number = "DAY-" + std::to_string(i);
            Deliver(drop, number + ".txt", BookingFile(number));
            numbers.insert(number);
            std::this_thread::sleep_for(200ms);  // 5 a second
        }
    });
    const auto start = std::chrono::steady_clock::now();
    std::string status;
    // Reads what the hosts say, as a journal and systemd would.
    auto listen = [&] {
        host.Drain(200ms);
        second.Drain(10ms);
        for (std::string message; !(message = systemd.Next(0ms)).empty();)
            if (message.starts_with("STATUS=")) status = message;
    };
    auto until = [&](std::chrono::seconds t) {
        while (std::chrono::steady_clock::now() - start < t) listen();
    };

    until(60s);
    const long rssAfterAMinute = RssKb(host.Pid());
    EXPECT_TRUE(cluster.Run("pg_cluster_restart fast"));
    until(90s);
    EXPECT_TRUE(cluster.Run("pg_cluster_restart immediate"));
    until(120s);

    // Thirty seconds down.
    host.Drain(100ms);
    const std::size_t before = host.Text().size();
    const int reachableBefore = CountOf(host.Text(), "database reachable again");
    const double cpuBefore = CpuSeconds(host.Pid());
    EXPECT_TRUE(cluster.Run("pg_cluster_halt fast"));
    until(150s);
    const double cpuDown = CpuSeconds(host.Pid()) - cpuBefore;
    host.Drain(100ms);
    const std::string down = host.Text().substr(before);
    EXPECT_TRUE(cluster.Run("pg_cluster_resume"));
    for (int i = 0; i < 300 && CountOf(host.Text(), "database reachable again") == reachableBefore;
         ++i)
        listen();
    EXPECT_EQ(CountOf(host.Text(), "database reachable again"), reachableBefore + 1)
        << host.Text().substr(before);
    until(180s);
    writing = false;
    writer.join();

    // Everything good imported, by one host or the other; the bad two wait.
    const auto settled = [&] {
        int files = 0;
        for (const std::string& n : numbers) files += ts::FileExists(drop + "/" + n + ".txt");
        return files == 0 && db.Count("Reservation") >= static_cast<long>(numbers.size());
    };
    for (int i = 0; i < 600 && !settled(); ++i) listen();
    const long rssAtTheEnd = RssKb(host.Pid());
    listen();
    host.Signal(SIGTERM);
    second.Signal(SIGTERM);
    EXPECT_EQ(host.Finish(), 0) << host.Text();
    EXPECT_EQ(second.Finish(), 0) << second.Text();

    ExpectExactlyOnce(db, drop, numbers, true);
    EXPECT_TRUE(ts::FileExists(drop + "/poison.txt"));
    EXPECT_TRUE(ts::FileExists(drop + "/refused.txt"));
    // The module's line, the host's two (the third after the server is back).
    EXPECT_LE(LinesWithout(down, {"imported ", "already imported "}) + 1, 3) << down;
    EXPECT_LT(cpuDown, 1.0);
    // The metrics say what the service status says.
    const std::regex counts("STATUS=(\\d+) imported, (\\d+) refused, (\\d+) busy, (\\d+) failed.*");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(status, m, counts)) << status;
    EXPECT_EQ(Metric(metrics, "reservation_bookings_total", "imported") +
                  Metric(metrics, "reservation_bookings_total", "already_imported"),
              std::stol(m[1]));
    EXPECT_EQ(Metric(metrics, "reservation_bookings_total", "refused"), std::stol(m[2]));
    EXPECT_EQ(Metric(metrics, "reservation_bookings_total", "busy"), std::stol(m[3]));
    EXPECT_EQ(Metric(metrics, "reservation_bookings_total", "failed"), std::stol(m[4]));
    const std::string parsed = ts::RunCommand("/usr/bin/python3 " + ts::SourceDir() +
                                              "/tests/host/parse_metrics.py " + metrics)
                                   .first;
    EXPECT_NE(parsed.find("reservation_bookings counter"), std::string::npos) << parsed;
    EXPECT_EQ(Metric(metrics, "reservation_bookings_waiting"), 2) << ts::ReadFile(metrics);
    if (HasFailure()) {
        // Both hosts' whole days, beside the test's other output, for a person.
        ts::WriteFile("operators-day-host.log", host.Text());
        ts::WriteFile("operators-day-second-host.log", second.Text());
        ADD_FAILURE() << "the hosts' lines are in operators-day-host.log and "
                         "operators-day-second-host.log; what is left in the drop directory:\n"
                      << ts::RunCommand("cd " + ts::ShellQuote(drop) +
                                        " && find . -name 'DAY-*' | sort | head -50")
                             .first
                      << "the metrics:\n"
                      << (ts::FileExists(metrics) ? ts::ReadFile(metrics) : "none");
    }
    // Memory flat: within 10 % of what it was after the first minute.
    EXPECT_LE(std::abs(rssAtTheEnd - rssAfterAMinute) * 10, rssAfterAMinute)
        << rssAfterAMinute << " kB after a minute, " << rssAtTheEnd << " kB at the end";
}

}  // namespace
}  // namespace robust
#include "tests/support/TraceCapture.h"
