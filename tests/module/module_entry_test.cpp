// Loading and unloading: the entry routine called directly (so registration
// can be made to fail), and the real reservation.so seen through dlopen, nm
// and the command-line host in child processes.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>

#include "framework/registry.h"
#include "reservation/FileSearch.h"
#include "reservation/reservation.h"
#include "tests/support/TestSupport.h"

namespace {

const std::string kAttach = "RESERVATION.DLL Initializing!\n";
const std::string kDetach = "RESERVATION.DLL Terminating!\n";

std::string BinaryDir() {
    const char* dir = std::getenv("RESERVATION_BINARY_DIR");
    return dir ? dir : ".";
}
std::string ModulePath() { return BinaryDir() + "/bin/reservation.so"; }
// The host unloads the module and with it Qt, unixODBC and their
// dependencies; what their static initialisers allocated then shows as
// leaks of unknown modules. The module's own leaks are checked in-process.
std::string HostPath() {
    return "ASAN_OPTIONS=detect_leaks=0 " + BinaryDir() + "/bin/reservation-host";
}

// Runs a shell command, returns what it wrote on stdout (stderr folded in by
// the command itself when wanted) and its exit status.
std::pair<std::string, int> RunCommand(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr) return {"", -1};
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) out.append(buf.data(), n);
    const int status = pclose(p);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(ModuleEntry, AttachAndDetachWriteTheirLinesAndRegister) {
    ts::TraceCapture trace;
    ASSERT_EQ(resv::ModuleEntry(resv::kProcessAttach), 1);
    EXPECT_TRUE(resv::ModuleLoaded());
    EXPECT_TRUE(fw::IsExtensionRegistered("reservation"));
    EXPECT_NE(fw::FindRegisteredClass("CGstProfileTbl"), nullptr);
    EXPECT_NE(fw::FindRegisteredClass("CreservationTbl"), nullptr);
    EXPECT_NE(fw::FindRegisteredClass("CFOLIOTbl"), nullptr);
    for (const auto& e : resv::BookingFieldTable) EXPECT_EQ(e, "");

    EXPECT_EQ(resv::ModuleEntry(resv::kThreadAttach), 1);
    EXPECT_EQ(resv::ModuleEntry(resv::kThreadDetach), 1);
    ASSERT_EQ(resv::ModuleEntry(resv::kProcessDetach), 1);
    EXPECT_FALSE(fw::IsExtensionRegistered("reservation"));
    EXPECT_EQ(fw::FindRegisteredClass("CGstProfileTbl"), nullptr);
    EXPECT_EQ(trace.Text(), kAttach + kDetach);
}

TEST(ModuleEntry, FailedRegistrationFailsTheLoadAfterTheAttachLine) {
    ts::TraceCapture trace;
    resv::BookingFieldTable[3] = "left over";
    fw::SetRegistrationFailure(true);
    EXPECT_EQ(resv::ModuleEntry(resv::kProcessAttach), 0);
    fw::SetRegistrationFailure(false);
    EXPECT_FALSE(resv::ModuleLoaded());
    EXPECT_EQ(trace.Text(), kAttach);
    EXPECT_EQ(resv::BookingFieldTable[3], "");
}

TEST(ModuleExports, ExactlySearchAndMyGetMesAreExported) {
    const auto [out, status] = RunCommand("nm -D --defined-only '" + ModulePath() +
                                          "' | awk '$2 ~ /^[TtWwDdBbRrVvi]$/ {print $3}' | sort");
    ASSERT_EQ(status, 0);
    EXPECT_EQ(out, "MyGetMes\nSearch\n");
}

TEST(ModuleExports, MyGetMesAnswersOneForNonZero) {
    void* handle = dlopen(ModulePath().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << dlerror();
    auto myGetMes = reinterpret_cast<int (*)(int)>(dlsym(handle, "MyGetMes"));
    ASSERT_NE(myGetMes, nullptr);
    EXPECT_EQ(myGetMes(0), 0);
    EXPECT_EQ(myGetMes(1), 1);
    EXPECT_EQ(myGetMes(7), 1);
    EXPECT_EQ(myGetMes(-1), 1);
    dlclose(handle);
}

TEST(ModuleExports, LoadAndUnloadWithoutACallWriteExactlyTheTwoLines) {
    ts::TempDir dir;
    // A request for an empty drop directory: the scan adds no line of its own.
    const auto [out, status] =
        RunCommand(HostPath() + " --module '" + ModulePath() + "' '" + dir.Path() + "?1!c' 2>&1");
    EXPECT_EQ(status, 0);
    // The module itself writes only the two lines; the host adds its summary.
    EXPECT_EQ(out, kAttach +
                       "reservation-host: 0 imported, 0 already imported, 0 refused, 0 busy, 0 "
                       "failed, 0 left\n" +
                       kDetach);
}

TEST(ReservationHost, ReportsAModuleThatCannotBeLoaded) {
    const auto [out, status] =
        RunCommand(HostPath() + " --module /nonexistent/reservation.so '/tmp?1!c' 2>&1");
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("cannot load the module /nonexistent/reservation.so"), std::string::npos)
        << out;

    const auto [help, helpStatus] = RunCommand(HostPath() + " --help");
    EXPECT_EQ(helpStatus, 0);
    EXPECT_NE(help.find("DIRECTORY?MODE!CLERK"), std::string::npos);
}

TEST(ReservationHost, ShowsTheScanBetweenLoadAndUnload) {
    ts::TempDir dir;
    ASSERT_EQ(mkdir((dir.Path() + "/inner").c_str(), 0755), 0);
    const auto [out, status] = RunCommand(HostPath() + " '" + dir.Path() + "?1!c' 2>&1");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, kAttach + "can't open file " + dir.Path() + "/inner,error=5\n" +
                       "reservation-host: 0 imported, 0 already imported, 0 refused, 0 busy, 0 "
                       "failed, 0 left\n" +
                       kDetach);
}

}  // namespace
