// The service's data source under ProtectSystem=strict, where /etc is
// read-only: unixODBC ignores, without a word, a user odbc.ini (ODBCINI) it
// cannot open for writing, but reads a system one (ODBCSYSINI) there. Run in
// a private mount namespace with the configuration directory bind-mounted
// read-only, as systemd does.
#include <gtest/gtest.h>

#include <string>

#include "tests/host/HostChild.h"
#include "tests/support/TestSupport.h"

namespace {

using hosttest::HostChild;
using ts::ShellQuote;

TEST(ServiceDataSource, ASystemOdbcIniIsReadFromAReadOnlyDirectoryWhereAUserOneIsNot) {
    std::string why;
    if (!ts::BackendAvailable(ts::Backend::SQLite, &why)) GTEST_SKIP() << why;
    if (ts::RunCommand("unshare -m true").second != 0)
        GTEST_SKIP() << "no private mount namespace here (needs CAP_SYS_ADMIN)";

    ts::HotelDatabase hotel(ts::Backend::SQLite);
    ts::TempDir etc, empty, home, drop;
    ts::WriteFile(etc.File("odbc.ini"),
                  "[velmardb]\nDriver = " + ts::DriverPath(ts::Backend::SQLite) +
                      "\nDatabase = " + hotel.DatabaseName() + "\nTimeout = 10000\n");
    ts::WriteFile(etc.File("odbcinst.ini"), "");
    const std::string booking = drop.File("booking.txt");
    ts::WriteFile(booking, hosttest::BookingText("RO-1"));

    auto run = [&](const std::string& odbcEnvironment) {
        const std::string script =
            "mount --bind -o ro " + ShellQuote(etc.Path()) + " " + ShellQuote(etc.Path()) +
            " && unset ODBCINI ODBCSEARCH && HOME=" + ShellQuote(home.Path()) + " " +
            odbcEnvironment + " exec " + ShellQuote(hosttest::HostPath()) + " " +
            ShellQuote(drop.Path() + "?1!Zedi");
        HostChild host({"-m", "sh", "-c", script}, HostChild::Output::Pipe, "/usr/bin/unshare");
        host.Finish();
        return host.Text();
    };

    const std::string user = run("ODBCINI=" + ShellQuote(etc.File("odbc.ini")) +
                                 " ODBCSYSINI=" + ShellQuote(empty.Path()));
    // The premise: what the service did with ODBCINI (an empty database).
    EXPECT_EQ(user.find("imported " + booking), std::string::npos) << user;
    ASSERT_TRUE(ts::FileExists(booking));

    // The service's user has no odbc.ini of its own; this process's user may
    // (unixODBC takes the home directory from the password database, not
    // HOME), and its [velmardb] would hide the system one.
    ts::WriteFile(home.File("odbc.ini"), "");
    const std::string system = run("ODBCINI=" + ShellQuote(home.File("odbc.ini")) +
                                   " ODBCSYSINI=" + ShellQuote(etc.Path()));
    EXPECT_NE(system.find("imported " + booking + " as guest account"), std::string::npos)
        << system;
    EXPECT_EQ(hotel.Count("Reservation"), 1);
}

}  // namespace
