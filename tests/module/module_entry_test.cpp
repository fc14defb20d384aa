// Loading and unloading: the entry routine called directly (so registration
// can be made to fail), and the real reservation.so seen through dlopen and
// nm. The host running the module is tested in tests/host.
#include <dlfcn.h>
#include <gtest/gtest.h>

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
    const auto [out, status] =
        ts::RunCommand("nm -D --defined-only '" + ModulePath() +
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

}  // namespace
