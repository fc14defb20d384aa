// The database goes away or is held by another writer in the middle of a
// batch: no partial booking, no file lost, a trace line that says what
// happened, and the next call imports the rest.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/host/HostChild.h"
#include "tests/import/ImportFixture.h"
#include "tests/robustness/Ledger.h"

namespace robust {
namespace {

using hosttest::CountOf;
using hosttest::HostChild;

using namespace std::chrono_literals;

std::set<std::string> DropBookings(const ts::TempDir& drop, const std::string& prefix, int count) {
    std::set<std::string> numbers;
    for (int i = 0; i < count; ++i) {
        importtest::Booking b;
        b.number = prefix + std::to_string(i);
        b.guest = "客" + b.number;
        ts::WriteFile(drop.File(b.number + ".txt"), b.FileText());
        numbers.insert(b.number);
    }
    return numbers;
}

// A database server of this test's own, so that it can be stopped hard
// without disturbing the tests that share the suite's server.
class PrivateServer {
  public:
    virtual ~PrivateServer() = default;
    virtual bool Ok() const = 0;
    virtual const std::string& Port() const = 0;
    virtual void StopHard() = 0;
    virtual void Start() = 0;
};

class PrivateCluster : public PrivateServer {
  public:
    PrivateCluster() {
        const std::string script = ts::SourceDir() + "/scripts/pgcluster.sh";
        const std::string out =
            ts::RunCommand(
                "bash -c 'source \"" + script +
                "\" && pg_cluster_start 2>/dev/null && echo \"$PG_CLUSTER_DIR $PG_CLUSTER_BINDIR "
                "$RESERVATION_TEST_PG_PORT\"'")
                .first;
        char dir[512] = {}, bindir[512] = {};
        int port = 0;
        if (std::sscanf(out.c_str(), "%511s %511s %d", dir, bindir, &port) == 3) {
            dir_ = dir;
            bindir_ = bindir;
            port_ = std::to_string(port);
            // The suite's clusters trade durability for speed; this one must
            // keep what it acknowledged across a hard stop, as a real server does.
            Stop("fast");  // a clean stop: nothing written so far may be lost
            Start();
        }
    }
    ~PrivateCluster() override {
        if (dir_.empty()) return;
        StopHard();
        ts::RunCommand("rm -rf '" + dir_ + "'");
    }
    bool Ok() const override { return !dir_.empty(); }
    const std::string& Port() const override { return port_; }
    void StopHard() override { Stop("immediate"); }
    void Stop(const std::string& mode) {
        ts::RunCommand(AsOwner() + bindir_ + "/pg_ctl -D " + dir_ + "/data -m " + mode +
                       " stop >/dev/null 2>&1");
    }
    void Start() override {
        ts::RunCommand(
            AsOwner() + bindir_ + "/pg_ctl -D " + dir_ + "/data -l " + dir_ +
            "/server.log -w -o \"-p " + port_ + " -k " + dir_ +
            "/sock -c listen_addresses=127.0.0.1 -c fsync=on -c synchronous_commit=on\" start "
            ">/dev/null 2>&1");
    }

  private:
    static std::string AsOwner() { return getuid() == 0 ? "runuser -u postgres -- " : ""; }
    std::string dir_, bindir_, port_;
};

// A MariaDB server of the test's own, from scripts/mariadbcluster.sh.
class PrivateMariaDB : public PrivateServer {
  public:
    PrivateMariaDB() {
        const std::string out = Script(
            "mariadb_cluster_start 2>/dev/null && echo "
            "\"$MARIADB_CLUSTER_DIR $RESERVATION_TEST_MARIADB_PORT\"");
        char dir[512] = {};
        int port = 0;
        if (std::sscanf(out.c_str(), "%511s %d", dir, &port) == 2) {
            dir_ = dir;
            port_ = std::to_string(port);
            // Started for speed; restarted to keep what it acknowledges.
            Script("mariadb_cluster_shutdown");
            Start();
        }
    }
    ~PrivateMariaDB() override {
        if (!dir_.empty()) Script("mariadb_cluster_stop");
    }
    bool Ok() const override { return !dir_.empty(); }
    const std::string& Port() const override { return port_; }
    void StopHard() override { Script("mariadb_cluster_kill"); }
    void Start() override { Script("mariadb_cluster_restart " + port_ + " >/dev/null 2>&1"); }

  private:
    std::string Script(const std::string& commands) const {
        return ts::RunCommand(
                   "bash -c 'source \"" + ts::SourceDir() + "/scripts/mariadbcluster.sh\" && " +
                   (dir_.empty() ? "" : "MARIADB_CLUSTER_DIR=" + dir_ + " && ") + commands + "'")
            .first;
    }
    std::string dir_, port_;
};

class DatabaseFault : public ts::BackendTest {};

TEST_P(DatabaseFault, ServerStoppedHardInTheMiddleOfABatch) {
    std::unique_ptr<PrivateServer> server;
    if (GetBackend() == ts::Backend::PostgreSQL)
        server = std::make_unique<PrivateCluster>();
    else
        server = std::make_unique<PrivateMariaDB>();
    PrivateServer& cluster = *server;
    ASSERT_TRUE(cluster.Ok());
    setenv(GetBackend() == ts::Backend::PostgreSQL ? "RESERVATION_TEST_PG_PORT"
                                                   : "RESERVATION_TEST_MARIADB_PORT",
           cluster.Port().c_str(), 1);
    ts::HotelDatabase db(GetBackend());
    ts::TempDir drop;
    const std::set<std::string> numbers = DropBookings(drop, "P", 60);
    const std::string request = drop.Path() + "?1!desk";

    {
        HostChild host({request});
        ASSERT_TRUE(host.WaitFor("imported ", 20s, 5)) << host.Text();
        cluster.StopHard();
        EXPECT_EQ(host.Finish(kBatchRun), 1);  // a booking failed meanwhile
        // The call ends with a line that names the failure.
        EXPECT_TRUE(CountOf(host.Text(), "Search stopped") == 1 ||
                    CountOf(host.Text(), "can't import") >= 1)
            << host.Text();
    }
    cluster.Start();
    ExpectExactlyOnce(db, drop.Path(), numbers, false);
    HostChild rest({request});
    EXPECT_EQ(rest.Finish(kBatchRun), 0) << rest.Text();
    ExpectExactlyOnce(db, drop.Path(), numbers, true);
}

INSTANTIATE_TEST_SUITE_P(Servers, DatabaseFault,
                         ::testing::Values(ts::Backend::PostgreSQL, ts::Backend::MariaDB),
                         ts::BackendParamName);

// The service's data source as the package ships it: packaging/odbcinst.ini
// (pooled drivers) in dir, and ODBCINI pointed at an odbc.ini there that
// holds the database's own data source with the driver name and keywords of
// packaging/odbc-postgresql.ini. Answers the "ODBCSYSINI=dir" a host needs.
std::string ShippedPostgreSQLSource(const ts::HotelDatabase& db, const ts::TempDir& dir) {
    const std::string packaging = ts::SourceDir() + "/packaging/";
    ts::WriteFile(dir.File("odbcinst.ini"), ts::ReadFile(packaging + "odbcinst.ini"));
    std::string ini;
    std::istringstream own(ts::ReadFile(db.OdbcIniPath()));
    for (std::string line; std::getline(own, line);)
        if (!line.starts_with("Driver")) ini += line + "\n";
    std::istringstream shipped(ts::ReadFile(packaging + "odbc-postgresql.ini"));
    for (std::string line; std::getline(shipped, line);) {
        const std::string key = line.substr(0, line.find_first_of(" ="));
        if (line.find('=') != std::string::npos && !line.starts_with(";") && key != "Servername" &&
            key != "Port" && key != "Database")
            ini += line + "\n";
    }
    ts::WriteFile(dir.File("user-odbc.ini"), ini);
    // Here, not in the host's extra environment: the first of two entries
    // of one name is the one that counts, and ODBCINI is inherited.
    setenv("ODBCINI", dir.File("user-odbc.ini").c_str(), 1);
    return "ODBCSYSINI=" + dir.Path();
}

// A watching host keeps its connection in the driver manager's pool between
// bookings; the server stopped hard leaves it dead there. Once the server is
// back the same host imports again, and no booking is lost or partial.
TEST(DatabaseFault, PooledConnectionOutlivesAServerStoppedHard) {
    std::string why;
    if (!ts::BackendAvailable(ts::Backend::PostgreSQL, &why)) GTEST_SKIP() << why;
    PrivateCluster cluster;
    ASSERT_TRUE(cluster.Ok());
    setenv("RESERVATION_TEST_PG_PORT", cluster.Port().c_str(), 1);
    ts::HotelDatabase db(ts::Backend::PostgreSQL);
    ts::TempDir drop, config;
    const std::string sysini = ShippedPostgreSQLSource(db, config);
    std::set<std::string> numbers = DropBookings(drop, "P", 40);
    const std::string request = drop.Path() + "?1!desk";

    HostChild host({"--interval", "1", "--watch", request}, HostChild::Output::Pipe,
                   hosttest::HostPath(), {sysini});
    ASSERT_TRUE(host.WaitFor("imported ", 20s, 5)) << host.Text();
    cluster.StopHard();
    // The booking in hand fails in its transaction, or the call stops at its
    // connection or lookups: which one depends on the moment.
    const auto failed = [&] {
        return CountOf(host.Text(), "can't import") + CountOf(host.Text(), "Search stopped") > 0;
    };
    for (int i = 0; i < 40 && !failed(); ++i) host.Drain(500ms);
    ASSERT_TRUE(failed()) << host.Text();
    cluster.Start();
    // New bookings wake the host; the failed ones come back with the interval.
    for (const std::string& n : DropBookings(drop, "Q", 5)) numbers.insert(n);
    EXPECT_TRUE(host.WaitFor("imported ", 60s, static_cast<int>(numbers.size()))) << host.Text();
    host.Signal(SIGTERM);
    EXPECT_EQ(host.Finish(kBatchRun), 0) << host.Text();
    ExpectExactlyOnce(db, drop.Path(), numbers, true);
}

TEST(DatabaseFault, SQLiteDatabaseLockedByAnotherWriter) {
    ts::HotelDatabase db(ts::Backend::SQLite);
    ts::TempDir drop;
    const std::set<std::string> numbers = DropBookings(drop, "S", 5);
    const std::string request = drop.Path() + "?1!desk";

    // The host gets a data source with a short busy timeout of its own.
    const std::string ini = drop.File("../odbc-locked-" + std::to_string(getpid()) + ".ini");
    ts::WriteFile(ini, "[velmardb]\nDriver = " + ts::DriverPath(ts::Backend::SQLite) +
                           "\nDatabase = " + db.DatabaseName() + "\nTimeout = 200\n");

    // Another writer holds the database: sqlite3 inside an exclusive transaction.
    int toLocker[2], fromLocker[2];
    ASSERT_EQ(pipe(toLocker), 0);
    ASSERT_EQ(pipe(fromLocker), 0);
    const pid_t locker = fork();
    if (locker == 0) {
        dup2(toLocker[0], STDIN_FILENO);
        dup2(fromLocker[1], STDOUT_FILENO);
        close(toLocker[1]);
        close(fromLocker[0]);
        execlp("sqlite3", "sqlite3", db.DatabaseName().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(toLocker[0]);
    close(fromLocker[1]);
    const std::string lock = "begin exclusive;\nselect 'locked';\n";
    ASSERT_EQ(write(toLocker[1], lock.data(), lock.size()), static_cast<ssize_t>(lock.size()));
    char buf[16] = {};
    ASSERT_GT(read(fromLocker[0], buf, sizeof buf - 1), 0);
    ASSERT_STREQ(buf, "locked\n");

    {
        HostChild host({request}, HostChild::Output::Pipe, hosttest::HostPath(),
                       {"ODBCINI=" + ini});
        EXPECT_EQ(host.Finish(kBatchRun), 1);  // a booking failed meanwhile
        EXPECT_EQ(CountOf(host.Text(), "locked"), 1) << host.Text();
    }
    // Nothing lost while the database was held (the fixture's own queries
    // would wait for the lock too, so only the files are looked at here).
    for (const std::string& n : numbers) EXPECT_TRUE(ts::FileExists(drop.File(n + ".txt"))) << n;

    const std::string release = "commit;\n.quit\n";
    ASSERT_EQ(write(toLocker[1], release.data(), release.size()),
              static_cast<ssize_t>(release.size()));
    close(toLocker[1]);
    close(fromLocker[0]);
    waitpid(locker, nullptr, 0);
    EXPECT_EQ(db.Count("Reservation"), 0);

    HostChild host({request}, HostChild::Output::Pipe, hosttest::HostPath(), {"ODBCINI=" + ini});
    EXPECT_EQ(host.Finish(kBatchRun), 0) << host.Text();
    std::remove(ini.c_str());
    ExpectExactlyOnce(db, drop.Path(), numbers, true);
}

}  // namespace
}  // namespace robust
