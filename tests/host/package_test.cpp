// The Debian packages, end to end: a separate Release build of the source
// tree without sanitizers, `cpack -G DEB`, their control fields (the base
// package headless, the dialog in a package of its own), lintian (no errors,
// no hardening tags), and the base package unpacked into a scratch root (not
// installed on this machine), whose host then imports a booking on a SQLite
// database made from the packaged schema, finding the packaged module by
// itself. (scripts/test-service installs them in a booted system.)
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/host/HostChild.h"
#include "tests/support/TestSupport.h"

namespace {

using hosttest::HostChild;
using ts::RunCommand;
using ts::ShellQuote;

// The value of one field of `dpkg-deb -I` output ("" when absent).
std::string Field(const std::string& info, const std::string& name) {
    const std::string key = "\n " + name + ": ";
    const std::size_t at = info.find(key);
    if (at == std::string::npos) return "";
    const std::size_t start = at + key.size();
    return info.substr(start, info.find('\n', start) - start);
}

TEST(DebianPackage, BuildsAndItsUnpackedHostImportsABooking) {
    const std::string driver = ts::DriverPath(ts::Backend::SQLite);
    if (driver.empty()) GTEST_SKIP() << "no SQLite ODBC driver";
    if (RunCommand("command -v dpkg-deb cpack ninja").second != 0)
        GTEST_SKIP() << "dpkg-deb, cpack or ninja missing";

    ts::TempDir work;
    const std::string build = work.File("build");
    const std::string q = ShellQuote(build);
    auto step = [](const std::string& command) {
        const auto [log, status] = RunCommand(command);
        EXPECT_EQ(status, 0) << command << "\n" << log;
        return status == 0;
    };
    ASSERT_TRUE(step(RESERVATION_TEST_CMAKE " -S " + ShellQuote(ts::SourceDir()) + " -B " + q +
                     " -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr"
                     " -DRESERVATION_TESTS=OFF -DRESERVATION_BENCH=OFF"));
    ASSERT_TRUE(step(RESERVATION_TEST_CMAKE " --build " + q + " -j2"));
    ASSERT_TRUE(step("cd " + q + " && cpack -G DEB"));

    std::map<std::string, std::string> debs;  // package name: file
    for (const auto& entry : std::filesystem::directory_iterator(build)) {
        const std::string name = entry.path().filename();
        if (entry.path().extension() == ".deb") debs[name.substr(0, name.find('_'))] = entry.path();
    }
    ASSERT_EQ(debs.size(), 2u);
    ASSERT_EQ(debs.count("reservation"), 1u);
    ASSERT_EQ(debs.count("reservation-dialog"), 1u);
    const std::string deb = ShellQuote(debs["reservation"]);
    const std::string dialogDeb = ShellQuote(debs["reservation-dialog"]);

    const auto [info, infoStatus] = RunCommand("dpkg-deb -I " + deb);
    ASSERT_EQ(infoStatus, 0) << info;
    EXPECT_EQ(Field(info, "Package"), "reservation");
    const std::string depends = Field(info, "Depends");
    for (const char* library : {"libodbc2", "libsystemd0", "libstdc++6", "libc6", "unixodbc"})
        EXPECT_NE(depends.find(library), std::string::npos)
            << library << " missing from: " << depends;
    for (const char* unwanted : {"libasan", "libqt", "libx11", "libgl"})
        EXPECT_EQ(depends.find(unwanted), std::string::npos) << unwanted << " in: " << depends;
    EXPECT_NE(depends.find("adduser"), std::string::npos) << depends;  // the post-install script
    EXPECT_EQ(Field(info, "Recommends"), "libsqliteodbc, sqlite3");
    EXPECT_EQ(Field(info, "Suggests"), "odbc-postgresql, reservation-dialog");

    const auto [dialogInfo, dialogStatus] = RunCommand("dpkg-deb -I " + dialogDeb);
    ASSERT_EQ(dialogStatus, 0) << dialogInfo;
    const std::string dialogDepends = Field(dialogInfo, "Depends");
    for (const char* library : {"reservation (= ", "libqt6widgets6", "libqt6core6"})
        EXPECT_NE(dialogDepends.find(library), std::string::npos)
            << library << " missing from: " << dialogDepends;
    const auto [dialogFiles, filesStatus] = RunCommand("dpkg-deb -c " + dialogDeb);
    EXPECT_NE(dialogFiles.find("/reservation/reservation-dialog.so"), std::string::npos)
        << dialogFiles;

    if (RunCommand("command -v lintian").second == 0) {
        const auto [lint, lintStatus] =
            RunCommand("lintian -I --fail-on error " + deb + " " + dialogDeb);
        EXPECT_EQ(lintStatus, 0) << lint;
        for (const char* tag : {"hardening-no-", "national-encoding"})
            EXPECT_EQ(lint.find(tag), std::string::npos) << lint;
    }

    const std::string root = work.File("root");
    ASSERT_TRUE(step("dpkg-deb -x " + deb + " " + ShellQuote(root)));
    const std::string share = root + "/usr/share/reservation/";
    EXPECT_NE(ts::ReadFile(root + "/usr/lib/systemd/system/reservation-import@.service")
                  .find("ExecStart=/usr/bin/reservation-host "),
              std::string::npos);
    EXPECT_TRUE(ts::FileExists(root + "/usr/share/man/man1/reservation-host.1") ||
                ts::FileExists(root + "/usr/share/man/man1/reservation-host.1.gz"));
    for (const char* doc : {"README.md", "copyright", "changelog.gz"})
        EXPECT_TRUE(ts::FileExists(root + "/usr/share/doc/reservation/" + doc)) << doc;

    // A private data source on a database made from the packaged schema.
    const std::string database = work.File("velmar.db");
    {
        ts::OdbcSession setup("Driver=" + driver + ";Database=" + database + ";Timeout=10000;");
        std::vector<std::string> statements =
            ts::SplitSqlScript(ts::ReadFile(share + "db/sqlite/schema.sql"));
        for (auto& seed : ts::SplitSqlScript(ts::Gbk(ts::ReadFile(share + "db/seed.sql"))))
            statements.push_back(std::move(seed));
        setup.ExecuteInTransaction(statements);
    }
    ts::WriteFile(work.File("odbc.ini"), "[velmardb]\nDriver = " + driver +
                                             "\nDatabase = " + database + "\nTimeout = 10000\n");
    setenv("ODBCINI", work.File("odbc.ini").c_str(), 1);
    setenv("VELMAR_INI_DIR", (share + "examples").c_str(), 1);

    ts::TempDir drop;
    ts::WriteFile(drop.File("booking.txt"), hosttest::BookingText("WB-DEB"));
    HostChild host({drop.Path() + "?1!Zedi"}, HostChild::Output::Pipe,
                   root + "/usr/bin/reservation-host");
    EXPECT_EQ(host.Finish(), 0) << host.Text();
    EXPECT_NE(host.Text().find("imported " + drop.File("booking.txt")), std::string::npos)
        << host.Text();
    EXPECT_FALSE(ts::FileExists(drop.File("booking.txt")));

    ts::OdbcSession check("Driver=" + driver + ";Database=" + database + ";");
    const auto rows = check.Query("select RmType, RateCode from Reservation");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0].value_or(""), "STD");
    EXPECT_EQ(rows[0][1].value_or(""), "RACK");
}

}  // namespace
