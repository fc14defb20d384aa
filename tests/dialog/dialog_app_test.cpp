// Where the dialog's QApplication comes from; that a host without a usable
// display (or without widgets) gets a trace line instead of an abort; and the
// module without its dialog package.
#include <stdlib.h>

#include <QCoreApplication>
#include <QFile>

#include "reservation/reservationDialog.h"
#include "tests/dialog/DialogTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

int g_argc = 1;
char g_arg0[] = "dialog_tests";
char* g_argv[] = {g_arg0, nullptr};

class DialogWithoutDisplay : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name :
             {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY", "XDG_SESSION_TYPE"})
            unsetenv(name);
        path_ = drop_.File("booking.txt");
        ts::WriteFile(path_, "0,WS-1");
        dlgtest::Load(resv::BookingFieldTable, ts::ReadFile(path_), path_);
        claimed_ = std::make_unique<dlgtest::Claimed>(drop_.Path(), "booking.txt");
    }

    // Showing must trace one line naming the file, create nothing and leave
    // the file; a Qt abort would end the test process instead.
    void ExpectNotShown() {
        EXPECT_EQ(resv::ShowConfirmDialog(*claimed_->Get()), resv::Handled::Left);
        EXPECT_EQ(trace_.Count(path_), 1u) << trace_.Text();
        EXPECT_EQ(QCoreApplication::instance(), nullptr);
        claimed_->Release();
        EXPECT_TRUE(ts::FileExists(path_));
    }

    ts::TempDir drop_;
    std::string path_;
    std::unique_ptr<dlgtest::Claimed> claimed_;
    ts::TraceCapture trace_;
};

TEST_F(DialogWithoutDisplay, NoPlatformAndNoDisplay) { ExpectNotShown(); }

TEST_F(DialogWithoutDisplay, XServerThatCannotBeReached) {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    setenv("DISPLAY", ":59731", 1);  // no server listens there
    ExpectNotShown();
}

TEST_F(DialogWithoutDisplay, PlatformWithoutPlugin) {
    setenv("QT_QPA_PLATFORM", "nosuchplatform", 1);
    ExpectNotShown();
}

TEST_F(DialogWithoutDisplay, FallbackListWithAUsablePlatformIsADisplay) {
    setenv("QT_QPA_PLATFORM", "nosuchplatform;offscreen", 1);
    EXPECT_TRUE(fw::DisplayAvailable());
    setenv("QT_QPA_PLATFORM", "xcb;nosuchplatform", 1);
    EXPECT_FALSE(fw::DisplayAvailable());
}

TEST_F(DialogWithoutDisplay, HostWithoutWidgets) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QCoreApplication core(g_argc, g_argv);
    resv::ShowConfirmDialog(*claimed_->Get());
    EXPECT_EQ(trace_.Count(path_), 1u) << trace_.Text();
    EXPECT_EQ(QCoreApplication::instance(), &core);
    EXPECT_FALSE(fw::OwnsGuiApplication());
    claimed_->Release();
    EXPECT_TRUE(ts::FileExists(path_));
}

TEST(DialogApplication, HostsApplicationIsUsedAndOutlivesTheModule) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication host(g_argc, g_argv);
    resv::BookingFields table{};
    {
        dlgtest::PluginDialog shown(table);
        ASSERT_TRUE(shown.IsOpen());
    }
    resv::WithdrawDialogResources();
    EXPECT_EQ(QCoreApplication::instance(), &host);
}

TEST(DialogApplication, PluginsOwnApplicationIsMadeOnceAndGoesWithTheModule) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ASSERT_EQ(QCoreApplication::instance(), nullptr);
    resv::BookingFields table{};
    QCoreApplication* first = nullptr;
    for (int i = 0; i < 2; ++i) {
        dlgtest::PluginDialog shown(table);
        ASSERT_TRUE(shown.IsOpen());
        if (!first) first = QCoreApplication::instance();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(QCoreApplication::instance(), first);
        EXPECT_TRUE(QFile::exists(":/reservation/reservationDialog.ui"));
    }
    resv::WithdrawDialogResources();
    EXPECT_EQ(QCoreApplication::instance(), nullptr);
    EXPECT_FALSE(QFile::exists(":/reservation/reservationDialog.ui"));
}

// The module as the base package installs it: no GUI library linked, and a
// dialog call without the plugin beside it says so once and leaves every
// file, as without a display.
TEST(DialogPackage, TheModuleLinksNoGuiLibrary) {
    const std::string module =
        std::string(std::getenv("RESERVATION_BINARY_DIR")) + "/bin/reservation.so";
    const auto [needed, status] = ts::RunCommand("objdump -p " + ts::ShellQuote(module));
    ASSERT_EQ(status, 0) << needed;
    EXPECT_NE(needed.find("libodbc"), std::string::npos) << needed;
    for (const char* gui : {"Qt", "libX", "libxcb", "libGL", "gtk"})
        EXPECT_EQ(needed.find(gui), std::string::npos) << gui << " in\n" << needed;
}

TEST(DialogPackage, WithoutThePluginEveryBookingStaysAndOneLineSaysWhy) {
    const std::string bin = std::string(std::getenv("RESERVATION_BINARY_DIR")) + "/bin/";
    ts::TempDir lib;
    ts::TempDir drop;
    ASSERT_EQ(ts::RunCommand("cp " + ts::ShellQuote(bin + "reservation.so") + " " +
                             ts::ShellQuote(lib.Path()))
                  .second,
              0);
    for (const char* name : {"a.txt", "b.txt"}) ts::WriteFile(drop.File(name), "0,WS-1");

    const auto [output, status] = ts::RunCommand(
        "DISPLAY= QT_QPA_PLATFORM=offscreen " + ts::ShellQuote(bin + "reservation-host") +
        " --module " + ts::ShellQuote(lib.File("reservation.so")) + " " +
        ts::ShellQuote(drop.Path() + "?0!Zedi"));
    EXPECT_EQ(status, 0) << output;
    std::size_t lines = 0;
    for (std::size_t at = output.find("not shown for confirmation"); at != std::string::npos;
         at = output.find("not shown for confirmation", at + 1))
        ++lines;
    EXPECT_EQ(lines, 1u) << output;
    EXPECT_NE(output.find("reservation-dialog"), std::string::npos) << output;
    EXPECT_TRUE(ts::FileExists(drop.File("a.txt")));
    EXPECT_TRUE(ts::FileExists(drop.File("b.txt")));
}

}  // namespace
