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
            // unixODBC finds the user's odbc.ini by the password database,
            // not HOME: one that a demo left there is hidden, as the
            // service's user has none.
            " && h=$(getent passwd $(id -u) | cut -d: -f6) && { [ ! -e \"$h/.odbc.ini\" ] || "
            "mount --bind /dev/null \"$h/.odbc.ini\"; }" +
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

    const std::string system = run("ODBCSYSINI=" + ShellQuote(etc.Path()));
    EXPECT_NE(system.find("imported " + booking + " as guest account"), std::string::npos)
        << system;
    EXPECT_EQ(hotel.Count("Reservation"), 1);
}

}  // namespace
