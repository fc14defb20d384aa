// What reservation-host tells an operator or a script: the summary line and
// exit status of a one-shot run on a pipe, usage errors, and the service
// notifications of a watch. The module here is mostly outcome_module.so,
// which reports an outcome per file by its name, so each count can be
// produced on demand; one run of the real module on SQLite shows its
// refused and failed bookings reaching the counts.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/host/HostChild.h"
#include "tests/support/TestSupport.h"

namespace {

using hosttest::HostChild;
using hosttest::NotifySocket;

std::string OutcomeModule() {
    return std::string(std::getenv("RESERVATION_BINARY_DIR")) + "/tests/host/outcome_module.so";
}

class HostRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        drop_ = root_.File("drop");
        ASSERT_EQ(mkdir(drop_.c_str(), 0755), 0);
    }
    // Names with a "/" are made in the claim of another host.
    void Touch(const std::vector<std::string>& names) const {
        for (const auto& name : names) {
            if (name.find('/') != std::string::npos) {
                mkdir((drop_ + "/.claims").c_str(), 0755);
                mkdir((drop_ + "/.claims/other+1+2+3").c_str(), 0755);
            }
            ts::WriteFile(drop_ + "/" + name, "x");
        }
    }

    ts::TempDir root_;
    std::string drop_;
};

TEST_F(HostRunTest, OneShotEndsWithTheSummaryLineAndAnExitStatusForAScript) {
    const struct {
        std::vector<std::string> files;
        std::string summary;
        int status;
    } cases[] = {
        {{}, "0 imported, 0 already imported, 0 refused, 0 busy, 0 failed, 0 left", 0},
        {{"imported-1", "imported-2", "already-3", "busy-4", ".partial"},
         "2 imported, 1 already imported, 0 refused, 1 busy, 0 failed, 1 left",
         0},
        {{"imported-1", "refused-2"},
         "1 imported, 0 already imported, 1 refused, 0 busy, 0 failed, 1 left",
         1},
        {{"failed-1", "busy-2"},
         "0 imported, 0 already imported, 0 refused, 1 busy, 1 failed, 2 left",
         1},
        {{"busy-1", ".claims/other+1+2+3/a", ".claims/other+1+2+3/.b"},
         "0 imported, 0 already imported, 0 refused, 1 busy, 0 failed, 1 left, 1 held by other "
         "hosts",
         0},
        // Nothing can be imported: every booking waiting failed.
        {{"notimporting-1", "x"},
         "0 imported, 0 already imported, 0 refused, 0 busy, 2 failed, 2 left",
         1},
    };
    for (const auto& c : cases) {
        ts::TempDir root;
        drop_ = root.File("drop");
        ASSERT_EQ(mkdir(drop_.c_str(), 0755), 0);
        Touch(c.files);
        HostChild host({"--module", OutcomeModule(), drop_ + "?1!Zedi"});
        EXPECT_EQ(host.Finish(), c.status) << host.Text();
        EXPECT_EQ(host.Text(), "reservation-host: " + c.summary + "\n");
    }
}

// What the metrics file says, read by the Prometheus client's parser.
std::string ParsedMetrics(const std::string& path) {
    const std::string script =
        std::string(std::getenv("RESERVATION_SOURCE_DIR")) + "/tests/host/parse_metrics.py";
    HostChild parser({script, path}, HostChild::Output::Pipe, "/usr/bin/python3");
    EXPECT_EQ(parser.Finish(), 0) << parser.Text();
    return parser.Text();
}

TEST_F(HostRunTest, TheMetricsFileParsesAndAgreesWithTheSummary) {
    if (std::system("/usr/bin/python3 -c 'import prometheus_client' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-prometheus-client is not installed (scripts/setup installs it)";
    Touch({"imported-1", "imported-2", "failed-3", "refused-4", ".claims/other+1+2+3/x"});
    const std::string metrics = root_.File("reservation.prom");
    // A service's umask (0027) must not keep the collector out.
    const mode_t umaskBefore = umask(027);
    HostChild host({"--module", OutcomeModule(), "--metrics", metrics, drop_ + "?1!Zedi"});
    umask(umaskBefore);
    EXPECT_EQ(host.Finish(), 1) << host.Text();
    struct stat st {};
    ASSERT_EQ(stat(metrics.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_NE(host.Text().find("2 imported, 0 already imported, 1 refused, 0 busy, 1 failed, 2 "
                               "left, 1 held by other hosts"),
              std::string::npos)
        << host.Text();
    const std::string d = " " + drop_ + "\n";
    EXPECT_EQ(ParsedMetrics(metrics),
              "reservation_bookings counter\n"
              "reservation_bookings_held_by_other_hosts gauge\n"
              "reservation_bookings_held_by_other_hosts{} 1" +
                  d + "reservation_bookings_total{already_imported} 0" + d +
                  "reservation_bookings_total{busy} 0" + d +
                  "reservation_bookings_total{failed} 1" + d +
                  "reservation_bookings_total{imported} 2" + d +
                  "reservation_bookings_total{refused} 1" + d +
                  "reservation_bookings_waiting gauge\n"
                  "reservation_bookings_waiting{} 2" +
                  d +
                  "reservation_database_up gauge\n"
                  "reservation_database_up{} 1" +
                  d +
                  "reservation_last_import_timestamp_seconds gauge\n"
                  "reservation_last_import_timestamp_seconds{} recent" +
                  d +
                  "reservation_search_calls counter\n"
                  "reservation_search_calls_total{} 1" +
                  d);
    EXPECT_EQ(ts::FileExists(root_.File(".reservation.prom.tmp")), false);
}

TEST_F(HostRunTest, ADropDirectoryThatCannotBeScannedIsNamedAndFailsTheRun) {
    const std::string file = root_.File("plain");
    ts::WriteFile(file, "x");
    const struct {
        std::string directory;
        std::string says;
    } cases[] = {{root_.File("missing"), " does not exist"}, {file, " is not a directory"}};
    for (const auto& c : cases) {
        // The other request is still served.
        Touch({"imported-1"});
        HostChild host({"--module", OutcomeModule(), c.directory + "?1!Zedi", drop_ + "?1!Zedi"});
        EXPECT_EQ(host.Finish(), 1) << host.Text();
        EXPECT_EQ(host.Text(),
                  "reservation-host: the drop directory " + c.directory + c.says +
                      "; nothing imported\n"
                      "reservation-host: 1 imported, 0 already imported, 0 refused, 0 busy, 0 "
                      "failed, 0 left\n");
    }
}

TEST_F(HostRunTest, ADropDirectoryThereButUnreadableIsNotCalledMissing) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run the host as another user";
    // The test's directories are private to root; nobody cannot reach them.
    HostChild host({"--reuid=65534", "--regid=65534", "--clear-groups", hosttest::HostPath(),
                    "--module", OutcomeModule(), drop_ + "?1!Zedi"},
                   HostChild::Output::Pipe, "/usr/bin/setpriv");
    EXPECT_EQ(host.Finish(), 1) << host.Text();
    EXPECT_NE(host.Text().find("the drop directory " + drop_ +
                               " cannot be read (Permission denied); nothing imported\n"),
              std::string::npos)
        << host.Text();
}

TEST_F(HostRunTest, UsageErrorsTakeOneLineAndStatusTwo) {
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-v"}, {"--frobnicate", drop_ + "?1!c"}, {}}) {
        HostChild host(args);
        EXPECT_EQ(host.Finish(), 2) << host.Text();
        EXPECT_EQ(hosttest::CountOf(host.Text(), "\n"), 1) << host.Text();
        EXPECT_NE(host.Text().find("(try --help)"), std::string::npos) << host.Text();
    }
    HostChild version({"--version"});
    EXPECT_EQ(version.Finish(), 0);
    EXPECT_EQ(version.Text().rfind("reservation-host 1.", 0), 0u) << version.Text();

    HostChild noModule({"--module", root_.File("none.so"), drop_ + "?1!c"});
    EXPECT_EQ(noModule.Finish(), 1);
    EXPECT_NE(noModule.Text().find("cannot load the module"), std::string::npos);
}

TEST_F(HostRunTest, TheClerkTypedInUtf8ReachesTheModuleInGbkAndTheDirectoryAsTyped) {
    const std::string chinese = root_.File("前台");  // the file system's (UTF-8) bytes
    ASSERT_EQ(mkdir(chinese.c_str(), 0755), 0);
    for (const auto& [clerk, expected] : std::vector<std::pair<std::string, std::string>>{
             {"张三", ts::Gbk("张三")}, {ts::Gbk("李四"), ts::Gbk("李四")}, {"Zedi", "Zedi"}}) {
        HostChild host({"--module", OutcomeModule(), chinese + "?1!" + clerk});
        EXPECT_EQ(host.Finish(), 0) << host.Text();
        EXPECT_EQ(ts::ReadFile(chinese + "/.clerk"), expected);
    }
}

// A booking that fails call after call is one failed booking; a metrics
// file that cannot be written is said once, and the watch goes on.
TEST_F(HostRunTest, AWatchCountsBookingsNotAttempts) {
    Touch({"failed-1"});
    NotifySocket systemd(root_.File("notify"));
    const std::string metrics = root_.File("none/x.prom");
    HostChild host({"--module", OutcomeModule(), "--interval", "1", "--metrics", metrics, "--watch",
                    drop_ + "?1!Zedi"});
    int statuses = 0;
    std::string status;
    while (statuses < 3) {
        const std::string message = systemd.Next();
        ASSERT_FALSE(message.empty()) << host.Text();
        if (message.rfind("STATUS=", 0) == 0) status = message, ++statuses;
    }
    EXPECT_EQ(status.rfind("STATUS=0 imported, 0 refused, 0 busy, 1 failed; last: ", 0), 0u)
        << status;
    host.Signal(SIGTERM);
    EXPECT_EQ(host.Finish(), 0) << host.Text();
    EXPECT_EQ(hosttest::CountOf(host.Text(), "cannot write the metrics file " + metrics + " ("), 1)
        << host.Text();
}

TEST_F(HostRunTest, AWatchThatCanImportNothingSaysSoInItsStatusUntilACallCan) {
    Touch({"notimporting-1"});
    NotifySocket systemd(root_.File("notify"));
    HostChild host({"--module", OutcomeModule(), "--interval", "1", "--watch", drop_ + "?1!Zedi"});
    EXPECT_EQ(systemd.Next(), "READY=1");
    EXPECT_EQ(systemd.Next(), "STATUS=not importing: " + drop_ + "/notimporting-1");
    ASSERT_EQ(std::remove((drop_ + "/notimporting-1").c_str()), 0);
    std::string status = systemd.Next();
    for (int calls = 0; calls < 10 && status.starts_with("STATUS=not importing"); ++calls)
        status = systemd.Next();
    EXPECT_TRUE(status.starts_with("STATUS=0 imported")) << status << host.Text();
    host.Signal(SIGTERM);
    EXPECT_EQ(host.Finish(), 0) << host.Text();
}

TEST_F(HostRunTest, AWatchTellsSystemdItIsReadyItsCountsAndThatItStops) {
    Touch({"imported-1", "refused-2"});
    NotifySocket systemd(root_.File("notify"));
    HostChild host({"--module", OutcomeModule(), "--watch", drop_ + "?1!Zedi"});
    EXPECT_EQ(systemd.Next(), "READY=1");  // before the first scan, however long it takes
    const std::string status = systemd.Next();
    EXPECT_EQ(status.rfind("STATUS=1 imported, 1 refused, 0 busy, 0 failed; last: ", 0), 0u)
        << status;
    host.Signal(SIGTERM);
    std::string message;
    do message = systemd.Next();
    while (!message.empty() && message != "STOPPING=1");
    EXPECT_EQ(message, "STOPPING=1");
    EXPECT_EQ(host.Finish(), 0) << host.Text();
}

const std::string kAttach = "RESERVATION.DLL Initializing!\n";
const std::string kDetach = "RESERVATION.DLL Terminating!\n";
// The host's own last line of a one-shot run over nothing.
const std::string kSummary =
    "reservation-host: 0 imported, 0 already imported, 0 refused, 0 busy, 0 failed, 0 left\n";

TEST(HostRun, LoadAndUnloadWithoutABookingWriteTheTwoLinesAndTheSummary) {
    ts::TempDir dir;
    // A request for an empty drop directory: the module adds no line of its own.
    HostChild host({"--module", hosttest::ModulePath(), dir.Path() + "?1!c"});
    EXPECT_EQ(host.Finish(), 0);
    EXPECT_EQ(host.Text(), kAttach + kSummary + kDetach);
}

TEST(HostRun, ShowsTheScanBetweenLoadAndUnload) {
    ts::TempDir dir;
    ASSERT_EQ(mkdir(dir.File("inner").c_str(), 0755), 0);
    HostChild host({dir.Path() + "?1!c"});
    EXPECT_EQ(host.Finish(), 0);
    EXPECT_EQ(host.Text(),
              kAttach + "can't open file " + dir.Path() + "/inner,error=5\n" + kSummary + kDetach);
}

TEST(HostRun, CountsTheRealModulesImportedRefusedAndFailedBookingsAndExitsOne) {
    std::string why;
    if (!ts::BackendAvailable(ts::Backend::SQLite, &why)) GTEST_SKIP() << why;
    ts::HotelDatabase db(ts::Backend::SQLite);
    // The database refuses the reservation of booking BAD only.
    db.Execute(
        "create trigger fail_bad before insert on Reservation when new.CRONum = 'BAD'"
        " begin select raise(abort, 'injected reservation failure'); end");
    ts::TempDir dir;
    ts::WriteFile(dir.File("good.txt"), hosttest::BookingText("WB-1"));
    ts::WriteFile(dir.File("refused.txt"), hosttest::BookingText("WB-2", "张三", "70000"));
    ts::WriteFile(dir.File("failing.txt"), hosttest::BookingText("BAD", "李四"));

    HostChild host({dir.Path() + "?1!Zedi"});
    EXPECT_EQ(host.Finish(), 1) << host.Text();
    const std::string& out = host.Text();
    EXPECT_EQ(hosttest::CountOf(out,
                                "reservation-host: 1 imported, 0 already imported, 1 refused, "
                                "0 busy, 1 failed, 2 left\n"),
              1)
        << out;
    EXPECT_EQ(hosttest::CountOf(out, "can't import " + dir.File("refused.txt") + ": guests"), 1)
        << out;
    EXPECT_EQ(hosttest::CountOf(out, "can't import " + dir.File("failing.txt") + ": "), 1) << out;
    EXPECT_EQ(db.Count("Reservation"), 1);
}

TEST(HostRun, ReportsAModuleThatCannotBeLoaded) {
    HostChild host({"--module", "/nonexistent/reservation.so", "/tmp?1!c"});
    EXPECT_NE(host.Finish(), 0);
    EXPECT_NE(host.Text().find("cannot load the module /nonexistent/reservation.so"),
              std::string::npos)
        << host.Text();

    HostChild help({"--help"});
    EXPECT_EQ(help.Finish(), 0);
    EXPECT_NE(help.Text().find("DIRECTORY?MODE!CLERK"), std::string::npos) << help.Text();
}

}  // namespace
