// The built host with the built module: what a run writes from the load to
// the unload, and a module that cannot be loaded.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/host/HostChild.h"
#include "tests/support/TestSupport.h"

namespace {

using hosttest::HostChild;

const std::string kAttach = "RESERVATION.DLL Initializing!\n";
const std::string kDetach = "RESERVATION.DLL Terminating!\n";

TEST(HostRun, LoadAndUnloadWithoutABookingWriteExactlyTheTwoLines) {
    ts::TempDir dir;
    // A request for an empty drop directory: the scan adds no line of its own.
    HostChild host({"--module", hosttest::ModulePath(), dir.Path() + "?1!c"});
    EXPECT_EQ(host.Finish(), 0);
    EXPECT_EQ(host.Text(), kAttach + kDetach);
}

TEST(HostRun, ShowsTheScanBetweenLoadAndUnload) {
    ts::TempDir dir;
    ASSERT_EQ(mkdir(dir.File("inner").c_str(), 0755), 0);
    HostChild host({dir.Path() + "?1!c"});
    EXPECT_EQ(host.Finish(), 0);
    EXPECT_EQ(host.Text(),
              kAttach + "can't open file " + dir.Path() + "/inner,error=5\n" + kDetach);
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
