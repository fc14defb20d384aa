// `cmake --install` of the build under test, staged with DESTDIR under a
// prefix other than the configured one: everything lands where it belongs,
// and the staged host finds the staged module and the staged GBK velmar.ini
// and imports a booking.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "host/ModuleLoader.h"
#include "tests/host/HostChild.h"
#include "tests/support/TestSupport.h"

namespace {

using hosttest::HostChild;
using ts::RunCommand;
using ts::ShellQuote;

TEST(Install, AStagedInstallationUnderAnotherPrefixImportsWithoutModuleOption) {
    if (access(RESERVATION_TEST_INSTALLED_MODULE, F_OK) == 0)
        GTEST_SKIP() << "a module is installed at " << RESERVATION_TEST_INSTALLED_MODULE
                     << "; the staged host could load it instead";
    ts::HotelDatabase db(ts::Backend::SQLite);
    ts::TempDir stage;
    const char* binaryDir = std::getenv("RESERVATION_BINARY_DIR");
    ASSERT_NE(binaryDir, nullptr);
    const auto [log, status] = RunCommand("DESTDIR=" + ShellQuote(stage.Path()) +
                                          " " RESERVATION_TEST_CMAKE " --install " +
                                          ShellQuote(binaryDir) + " --prefix /opt/resv");
    ASSERT_EQ(status, 0) << log;

    const std::string root = stage.Path() + "/opt/resv/";
    const std::string share = root + RESERVATION_TEST_DATADIR "/reservation/";
    for (const std::string& file :
         {root + RESERVATION_TEST_BINDIR "/reservation-host",
          root + RESERVATION_TEST_LIBDIR "/reservation/reservation.so",
          root + RESERVATION_TEST_MANDIR "/man1/reservation-host.1.gz", share + "db/seed.sql",
          share + "db/sqlite/schema.sql", share + "db/postgresql/schema.sql",
          share + "db/mariadb/schema.sql", share + "examples/velmar.ini",
          share + "examples/odbc-sqlite.ini", share + "examples/odbc-postgresql.ini",
          share + "examples/odbcinst.ini", share + "examples/example.conf",
          root + "lib/systemd/system/reservation-import@.service",
          root + "lib/sysusers.d/reservation.conf"})
        EXPECT_TRUE(ts::FileExists(file)) << file;

    const std::string ini = ts::ReadFile(share + "examples/velmar.ini");
    EXPECT_NE(ini.find(ts::Gbk("标准间=STD")), std::string::npos) << "velmar.ini is not GBK";
    EXPECT_NE(ts::ReadFile(root + "lib/systemd/system/reservation-import@.service")
                  .find("ExecStart=" RESERVATION_TEST_FULL_BINDIR
                        "/reservation-host --interval ${INTERVAL} --metrics ${METRICS} --watch "
                        "${REQUEST}\n"),
              std::string::npos);

    setenv("VELMAR_INI_DIR", (share + "examples").c_str(), 1);
    ts::TempDir drop;
    ts::WriteFile(drop.File("b.txt"), hosttest::BookingText("WB-77"));
    HostChild host({drop.Path() + "?1!Zedi"}, HostChild::Output::Pipe,
                   root + RESERVATION_TEST_BINDIR "/reservation-host");
    EXPECT_EQ(host.Finish(), 0) << host.Text();
    EXPECT_NE(host.Text().find("imported " + drop.File("b.txt")), std::string::npos) << host.Text();
    EXPECT_EQ(db.Scalar("select RmType from Reservation"), "STD");
    EXPECT_EQ(db.Scalar("select RateCode from Reservation"), "RACK");
}

TEST(Install, TheHostLooksBesideItselfThenRelativeThenAtTheConfiguredPath) {
    const auto candidates = host::ModuleCandidates("/stage/usr/bin");
    ASSERT_GE(candidates.size(), 3u);
    EXPECT_EQ(candidates.front(), "/stage/usr/bin/reservation.so");
    EXPECT_EQ(candidates[1],
              "/stage/usr/bin/../" RESERVATION_TEST_LIBDIR "/reservation/reservation.so");
    EXPECT_EQ(candidates.back(), RESERVATION_TEST_INSTALLED_MODULE);
    const std::string multiarch =
        "/stage/usr/bin/../lib/" RESERVATION_TEST_ARCH "/reservation/reservation.so";
    if (sizeof(RESERVATION_TEST_ARCH) > 1) {
        EXPECT_NE(std::find(candidates.begin(), candidates.end(), multiarch), candidates.end());
    }
}

}  // namespace
